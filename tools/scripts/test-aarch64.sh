#!/usr/bin/env bash
# Builds the engine tests for 64-bit Arm Linux (g++-aarch64-linux-gnu) and
# runs them under qemu-user: the effect through its exported entry point,
# with the same render checksums as x86-64, and the engine's own state.
# The build is headless (no window system or fonts exist for the target).
#
#   test-aarch64.sh [--list]
#
# zlib, libpng and GoogleTest are built for the target from Debian's sources
# into build-aarch64-deps/ (kept between runs, never committed); the build
# goes to build-aarch64/.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(cmake ccache dpkg-dev g++-aarch64-linux-gnu qemu-user googletest)
if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi

started=$SECONDS
install_packages "${packages[@]}"

deps="$root/build-aarch64-deps"
prefix="$deps/prefix"
build="$root/build-aarch64"
toolchain="$root/cmake/aarch64-linux-gnu.cmake"
mkdir -p "$deps/src" "$prefix"

# Everything built here depends on the compiler and the toolchain file.
toolchain_key="$(aarch64-linux-gnu-g++ -dumpfullversion)-$(sha256sum "$toolchain" | cut -c1-16)"

cross_args=(-DQUORVEX_AARCH64_DEPS="$prefix" -DCMAKE_POSITION_INDEPENDENT_CODE=ON)

# ---- zlib, from Debian's zlib source package (the compression core, static) --
if ! ls "$prefix"/.zlib-*-"$toolchain_key" >/dev/null 2>&1; then
  fetch_source zlib
  echo "Building zlib $src_version for aarch64"
  rm -rf "$deps/zlib-build" && mkdir -p "$deps/zlib-build" "$prefix/lib" "$prefix/include"
  for f in adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil; do
    aarch64-linux-gnu-gcc -O2 -fPIC -w -c "$src_dir/$f.c" -o "$deps/zlib-build/$f.o"
  done
  rm -f "$prefix/lib/libz.a"
  aarch64-linux-gnu-ar rcs "$prefix/lib/libz.a" "$deps/zlib-build/"*.o
  cp "$src_dir/zlib.h" "$src_dir/zconf.h" "$prefix/include/"
  rm -f "$prefix"/.zlib-*
  touch "$prefix/.zlib-$src_version-$toolchain_key"
fi

# ---- libpng, from Debian's libpng1.6 source package ---------------------------
if ! ls "$prefix"/.libpng-*-"$toolchain_key" >/dev/null 2>&1; then
  fetch_source libpng1.6
  echo "Building libpng $src_version for aarch64"
  rm -rf "$deps/libpng-build"
  cross_cmake "$src_dir" "$deps/libpng-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
  rm -f "$prefix"/.libpng-*
  touch "$prefix/.libpng-$src_version-$toolchain_key"
fi

# ---- GoogleTest, from Debian's googletest sources ------------------------------
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
if [ ! -f "$prefix/.googletest-$gtest_version-$toolchain_key" ]; then
  echo "Building GoogleTest $gtest_version for aarch64"
  rm -rf "$deps/googletest-build"
  cross_cmake /usr/src/googletest "$deps/googletest-build" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  rm -f "$prefix"/.googletest-*
  touch "$prefix/.googletest-$gtest_version-$toolchain_key"
fi
deps_done=$SECONDS

# ---- the engine tests ------------------------------------------------------------
tests=(quorvex_effect_tests)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORVEX_AARCH64_DEPS="$prefix" \
  -DQUORVEX_HEADLESS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WERROR=ON -DQUORVEX_BUILD_BENCH=OFF \
  "${launcher[@]}" >"$deps/configure.log" 2>&1 || { cat "$deps/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target "${tests[@]}"
build_done=$SECONDS

# qemu-user maps its own memory into the process, so an address-space limit
# cannot make the line's allocation fail there.
status=0
GTEST_FILTER='-EffectEngine.LineAllocationFailurePassesTheDrySignal' \
  ctest --test-dir "$build" --output-on-failure --timeout 900 -R "^($(IFS='|'; echo "${tests[*]}"))\$" || status=$?
echo "test-aarch64: dependencies $((deps_done - started)) s, build $((build_done - deps_done)) s," \
  "tests under qemu $((SECONDS - build_done)) s"
exit $status
