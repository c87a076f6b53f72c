#!/usr/bin/env bash
# Darwin stand-in cross build: compiles and links the macOS bundle
# (Quorvex2.vst, x86_64 and arm64) on Debian, then checks its structure.
#
# THE BUNDLE IT MAKES IS A STAND-IN AND IS NEVER SHIPPED OR LOADED. Debian
# has no Apple SDK: the C library headers are musl's, whose records differ
# from Apple's (pthread_mutex_t is 40 bytes there, 64 on macOS), and the
# system libraries are hand-written .tbd stubs (tools/macos-standin/sdk)
# declaring only names. What it proves: the Apple branch of the CMake files
# and sources compiles for both slices with warnings as errors, links with
# ld64.lld against nothing but the stubbed libraries (no
# -undefined dynamic_lookup), and lays out a well-formed bundle.
#
#   build-macos-standin.sh [--list]
#
# libpng and zlib are built from Debian's source packages for both slices
# into build-macos-deps/ (kept between runs, never committed); the bundle
# goes to build-macos/effect/Quorvex2.vst. Until the Cocoa view is merged
# the bundle's editor is the headless layer (nothing on screen).
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(cmake ccache dpkg-dev python3 clang-14 lld-14 llvm-14 libc++-14-dev libc++abi-14-dev musl-dev)
if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi

started=$SECONDS
install_packages "${packages[@]}"

deps="$root/build-macos-deps"
prefix="$deps/prefix"
build="$root/build-macos"
sdk="$build/sdk"
musl_include=/usr/include/x86_64-linux-musl
archs=(x86_64 arm64)
declare -A triple=([x86_64]=x86_64-apple-macos10.13 [arm64]=arm64-apple-macos11)

# ---- the stand-in SDK: stubs and declarations from the tree, musl's C headers
rm -rf "$sdk"
mkdir -p "$build"
cp -a "$root/tools/macos-standin/sdk" "$sdk"
ln -s "$musl_include" "$sdk/usr/include"
mkdir -p "$sdk/usr/bin"
ln -s "$(command -v llvm-lipo-14)" "$sdk/usr/bin/lipo"

# ---- libpng and zlib for both slices ------------------------------------------
# Rebuilt when the compiler, musl or the recipe below changes.
recipe=2
deps_key="$(clang-14 -dumpversion)-$(dpkg-query -W -f='${Version}' musl-dev)-$recipe"

cc_slice() {
  local arch="$1"
  shift
  clang-14 --target="${triple[$arch]}" -isysroot "$sdk" -include "$root/tools/macos-standin/darwin-names.h" \
    -D_BSD_SOURCE -D_XOPEN_SOURCE=700 -O2 -fvisibility=hidden -w "$@"
}

# build_archive NAME SRC_DIR INCLUDE_DIR FILE...: libNAME.a for both slices,
# joined into one universal archive in $prefix/lib.
build_archive() {
  local name="$1" src="$2" inc="$3" arch f
  shift 3
  local out="$deps/$name-build"
  rm -rf "$out"
  for arch in "${archs[@]}"; do
    mkdir -p "$out/$arch"
    for f in "$@"; do
      cc_slice "$arch" -I"$inc" -I"$prefix/include" -DPNG_ARM_NEON_OPT=0 -c "$src/$f.c" -o "$out/$arch/$f.o"
    done
    llvm-ar-14 rcs "$out/lib$name-$arch.a" "$out/$arch/"*.o
  done
  mkdir -p "$prefix/lib"
  llvm-lipo-14 -create -output "$prefix/lib/lib$name.a" "$out/lib$name-"*.a
}

if [ ! -f "$prefix/.zlib-$deps_key" ]; then
  fetch_source zlib
  echo "Building zlib $src_version for x86_64 and arm64"
  mkdir -p "$prefix/include"
  # libpng needs the compression core only, not the gz* file layer.
  build_archive z "$src_dir" "$src_dir" adler32 compress crc32 deflate infback inffast inflate inftrees \
    trees uncompr zutil
  cp "$src_dir/zlib.h" "$src_dir/zconf.h" "$prefix/include/"
  rm -f "$prefix"/.zlib-*
  touch "$prefix/.zlib-$deps_key"
fi

if [ ! -f "$prefix/.libpng-$deps_key" ]; then
  fetch_source libpng1.6
  echo "Building libpng $src_version for x86_64 and arm64"
  cp "$src_dir/scripts/pnglibconf.h.prebuilt" "$prefix/include/pnglibconf.h"
  cp "$src_dir/png.h" "$src_dir/pngconf.h" "$prefix/include/"
  build_archive png16 "$src_dir" "$src_dir" png pngerror pngget pngmem pngpread pngread pngrio pngrtran \
    pngrutil pngset pngtrans pngwio pngwrite pngwtran pngwutil
  rm -f "$prefix"/.libpng-*
  touch "$prefix/.libpng-$deps_key"
fi
deps_done=$SECONDS

# ---- the bundle -----------------------------------------------------------------
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/darwin-standin.cmake" \
  -DQUORVEX_MACOS_SDK="$sdk" -DQUORVEX_MACOS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DQUORVEX_WERROR=ON "${launcher[@]}" >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target Quorvex2
build_done=$SECONDS

# ---- structural check -------------------------------------------------------------
bundle="$build/effect/Quorvex2.vst"
binary="$bundle/Contents/MacOS/Quorvex2"
passed=0 failed=0
check() { # check NAME COMMAND...: runs the command, reports PASS or FAIL with its output
  local name="$1" out
  shift
  if out="$("$@" 2>&1)"; then
    echo "PASS  $name"
    passed=$((passed + 1))
  else
    echo "FAIL  $name"
    [ -z "$out" ] || sed 's/^/      /' <<<"$out"
    failed=$((failed + 1))
  fi
}

images=(bg knob knob2 radio slider)
layout() {
  local want got
  want="$(printf '%s\n' Contents/Info.plist Contents/MacOS/Quorvex2 Contents/PkgInfo \
    "${images[@]/#/Contents/Resources/}" | sed 's/\(Resources\/.*\)$/\1.png/' | sort)"
  got="$(cd "$bundle" && find . -type f | sed 's|^\./||' | sort)"
  [ "$want" = "$got" ] || { diff <(echo "$want") <(echo "$got"); return 1; }
}

plist() {
  python3 - "$bundle/Contents/Info.plist" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    p = plistlib.load(f)
want = {
    "CFBundlePackageType": "BNDL",
    "CFBundleExecutable": "Quorvex2",
    "CFBundleIdentifier": "audio.vantu.plugins.quorvex2",
    "CFBundleSignature": "ug2b",
    "CFBundleVersion": "1.2.0",
    "CFBundleShortVersionString": "1.2.0",
    "LSMinimumSystemVersionByArchitecture": {"x86_64": "10.13", "arm64": "11.0"},
}
bad = [f"{k}: {p.get(k)!r}, want {v!r}" for k, v in want.items() if p.get(k) != v]
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
}

pkginfo() { [ "$(cat "$bundle/Contents/PkgInfo")" = "BNDLug2b" ] && [ "$(wc -c <"$bundle/Contents/PkgInfo")" = 8 ]; }

same_images() {
  local i
  for i in "${images[@]}"; do cmp "$root/effect/img/$i.png" "$bundle/Contents/Resources/$i.png" || return 1; done
}

slices() { [ "$(llvm-lipo-14 -archs "$binary" | xargs -n1 | sort | xargs)" = "arm64 x86_64" ]; }

# The slice's file type, flags and oldest macOS (both load command forms).
header() { llvm-objdump-14 --macho --arch="$1" --private-header "$binary" | tail -1; }
min_os() {
  llvm-objdump-14 --macho --arch="$1" --private-headers "$binary" |
    awk '/cmd LC_VERSION_MIN_MACOSX/ { v = 1 } v && $1 == "version" { print $2; exit }
         /cmd LC_BUILD_VERSION/ { b = 1 } b && $1 == "minos" { print $2; exit }'
}
bundle_slice() { header "$1" | grep -qw BUNDLE && header "$1" | grep -qw TWOLEVEL; }
min_os_is() { local got; got="$(min_os "$1")"; [ "$got" = "$2" ] || { echo "minimum macOS $got"; return 1; }; }

exports() {
  local got
  got="$(llvm-nm-14 --arch="$1" -gU "$binary" | awk '{ print $3 }' | sort | xargs)"
  [ "$got" = "_VSTPluginMain _main" ] || { echo "exported: $got"; return 1; }
}

# Every library the slice loads is a stubbed one, and every import is bound
# to one of them (nothing left to be looked up at run time).
stubbed_names() {
  find "$sdk" -name '*.tbd' -exec sed -n "s/^install-name: *'\(.*\)'$/\1/p" {} + | sort
}
only_stubbed() {
  local lib ok=0
  while read -r lib; do
    grep -qxF "$lib" <(stubbed_names) || { echo "loads $lib"; ok=1; }
  done < <(llvm-objdump-14 --macho --arch="$1" --dylibs-used "$binary" | tail -n +2 | sed 's/^[[:space:]]*//; s/ (compatibility.*//')
  llvm-nm-14 --arch="$1" -m -u "$binary" | grep -v "(from " && ok=1
  llvm-nm-14 --arch="$1" -u "$binary" | grep -E "___cpu_model|___cpu_indicator_init" && ok=1
  return $ok
}

ident_in_code() { grep -qaF "audio.vantu.plugins.quorvex2" "$binary"; }

echo "Structural check of the stand-in bundle (build-macos/effect/Quorvex2.vst):"
check "layout: Info.plist, PkgInfo, MacOS/Quorvex2, five images in Resources" layout
check "Info.plist keys and values" plist
check "PkgInfo is BNDLug2b" pkginfo
check "images are the tree's effect/img files" same_images
check "universal binary: x86_64 and arm64" slices
for arch in x86_64 arm64; do
  check "$arch: MH_BUNDLE, two-level namespace" bundle_slice "$arch"
  want_min=10.13
  [ "$arch" = arm64 ] && want_min=11.0
  check "$arch: minimum macOS $want_min as in Info.plist" min_os_is "$arch" "$want_min"
  check "$arch: exports exactly _VSTPluginMain and _main" exports "$arch"
  check "$arch: loads only stubbed system libraries, no compiler-rt names" only_stubbed "$arch"
done
check "bundle identifier compiled in for the editor" ident_in_code

echo "build-macos-standin: dependencies $((deps_done - started)) s, bundle $((build_done - deps_done)) s," \
  "check $((SECONDS - build_done)) s"
echo "build-macos-standin: a stand-in bundle, never to be shipped or loaded (musl records, stub libraries)"
echo "build-macos-standin: structural check $passed passed, $failed failed"
((failed == 0))
