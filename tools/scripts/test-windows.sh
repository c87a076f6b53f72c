#!/usr/bin/env bash
# Cross-builds the Windows half (the plug-in DLL, the reference host and the
# test programs) with warnings as errors and runs its tests under Wine,
# including the byte-for-byte comparison with the Linux build in build/
# (whose needed targets are built here if missing). The Wine prefix lives
# in build-windows/wine and is created by the first test that starts.
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/tools/scripts/setup-debian.sh"
"$root/tools/scripts/setup-windows.sh"

linux="$root/build"
if [ ! -f "$linux/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$linux" -DQUORVEX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
fi
cmake --build "$linux" -j "$jobs" --target Quorvex2 quorvex_fidelity quorvex-render

build="$root/build-windows"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQUORVEX_WINDOWS_DEPS="$root/build-windows-deps/prefix" -DQUORVEX_LINUX_BUILD="$linux" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_WERROR=ON -DQUORVEX_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300
