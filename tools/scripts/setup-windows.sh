#!/usr/bin/env bash
# Prepares the Windows cross build: Debian's mingw-w64 compiler (posix
# thread model), zlib for mingw-w64, Wine with Xvfb for the editor window
# tests, and libpng and GoogleTest built
# for Windows from Debian's sources. The built libraries are cached in
# build-windows-deps/ (never committed) and rebuilt only when the toolchain
# file or a source version changes. Idempotent. `--list` prints the Debian
# packages it installs and does nothing else.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(
  build-essential cmake ccache dpkg-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  googletest
  wine64 xvfb xauth
)
if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi

install_packages "${packages[@]}"

deps="$root/build-windows-deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
mkdir -p "$deps/src"

# Everything built here depends on the compiler and the toolchain file.
toolchain_key="$(x86_64-w64-mingw32-g++-posix -dumpfullversion)-$(sha256sum "$toolchain" | cut -c1-16)"

cross_args=(-DQUORVEX_WINDOWS_DEPS="$prefix")

# ---- libpng, from Debian's libpng1.6 source package --------------------------
if ! ls "$prefix"/.libpng-*-"$toolchain_key" >/dev/null 2>&1; then
  fetch_source libpng1.6
  rm -rf "$deps/libpng-build"
  echo "Building libpng $src_version for Windows"
  cross_cmake "$src_dir" "$deps/libpng-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
  rm -f "$prefix"/.libpng-*
  touch "$prefix/.libpng-$src_version-$toolchain_key"
fi

# ---- libsndfile for quorvex-render (WAV, AIFF and W64; no external codecs) ---
if ! ls "$prefix"/.libsndfile-*-"$toolchain_key" >/dev/null 2>&1; then
  fetch_source libsndfile
  rm -rf "$deps/libsndfile-build"
  echo "Building libsndfile $src_version for Windows"
  cross_cmake "$src_dir" "$deps/libsndfile-build" -DBUILD_SHARED_LIBS=OFF -DENABLE_EXTERNAL_LIBS=OFF \
    -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF \
    -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=OFF
  rm -f "$prefix"/.libsndfile-*
  touch "$prefix/.libsndfile-$src_version-$toolchain_key"
fi

# ---- GoogleTest, from Debian's googletest sources ----------------------------
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
gtest_stamp="$prefix/.googletest-$gtest_version-$toolchain_key"
if [ ! -f "$gtest_stamp" ]; then
  rm -rf "$deps/googletest-build"
  echo "Building GoogleTest $gtest_version for Windows"
  cross_cmake /usr/src/googletest "$deps/googletest-build" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
    -Dgtest_force_shared_crt=ON
  rm -f "$prefix"/.googletest-*
  touch "$gtest_stamp"
fi

echo "Windows dependencies ready in build-windows-deps/"
