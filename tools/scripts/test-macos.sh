#!/usr/bin/env bash
# A stand-in for a Mac, which CI does not have: GNUstep on Linux in place of
# Apple's AppKit. Builds the Cocoa editor layer (framework/platform/
# IGraphicsMac.mm) against GNUstep with warnings as errors (with gobjc++,
# and with clang compile only), links it with the framework, runs its smoke
# test in a window on a private Xvfb (opened in a parent view, clicks and
# drags, modifier bits, the entry box, timer ticks, closing), and the Linux
# tests of the layer's rules that need no AppKit.
# Passing here is not passing on a Mac: the Apple-only code (Core Graphics
# presenting, NSApplicationLoad, the common run-loop modes) is not even
# compiled, and GNUstep's AppKit differs from Apple's in places.
set -euo pipefail
source "$(dirname "$0")/common.sh"
echo "test-macos.sh: stand-in for a Mac (GNUstep on Linux, not Apple's AppKit)"
"$root/tools/scripts/setup-debian.sh"
"$root/tools/scripts/setup-macos.sh"

objcxx_launcher=()
if command -v ccache >/dev/null 2>&1; then objcxx_launcher=(-DCMAKE_OBJCXX_COMPILER_LAUNCHER=ccache); fi
build="$root/build-gnustep"
cmake -S "$root" -B "$build" -DQUORVEX_GNUSTEP=ON -DQUORVEX_WERROR=ON -DQUORVEX_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${objcxx_launcher[@]}"
cmake --build "$build" -j "$jobs" --target quorvex_gnustep_layer quorvex_mac_smoke_tests quorvex_mac_tests
ctest --test-dir "$build" --output-on-failure --timeout 300 -R '^(MacSmoke|MacRules\.)'

# A Mac compiles the layer with clang: its warnings must pass too. Compiled
# only, on GCC's Objective-C runtime (GNUstep's), with GCC's objc/ headers
# exposed alone rather than GCC's whole include folder.
objc_headers="$build/objc-headers"
mkdir -p "$objc_headers"
ln -sfn "$(gcc -print-file-name=include)/objc" "$objc_headers/objc"
clang++ -x objective-c++ -std=c++17 -Wall -Wextra -Werror -fobjc-runtime=gcc -fobjc-exceptions \
  -fconstant-string-class=NSConstantString -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1 \
  -isystem "$objc_headers" -isystem "$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS)" \
  -I"$root/framework" -I"$root/framework/platform" -I"$root/raster" -I"$root/containers" \
  -c "$root/framework/platform/IGraphicsMac.mm" -o "$build/IGraphicsMac-clang.o"
echo "test-macos.sh: IGraphicsMac.mm also compiles with clang (-Wall -Wextra -Werror)"

# The Darwin stand-in: the bundle cross-built for both slices and checked
# structurally; then the engine tests on 64-bit Arm under qemu-user.
"$root/tools/scripts/build-macos-standin.sh"
"$root/tools/scripts/test-aarch64.sh"
