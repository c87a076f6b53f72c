#!/usr/bin/env bash
# Renders the same session through the Linux plug-in and the Windows DLL
# and compares the results byte for byte; then loads each build's chunks
# into the other and compares what it saves again.
#   compare.sh WORKDIR LINUX_TOOL LINUX_PLUGIN WIN_TOOL WIN_PLUGIN RUNNER...
set -euo pipefail
work="$1" linux_tool="$2" linux_plugin="$3" win_tool="$4" win_plugin="$5"
shift 5
runner=("$@")

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows" "$work/linux-from-windows" "$work/windows-from-linux"
"$linux_tool" "$linux_plugin" "$work/linux"
"${runner[@]}" "$win_tool" "$win_plugin" "$work/windows"
"$linux_tool" "$linux_plugin" "$work/linux-from-windows" "$work/windows"
"${runner[@]}" "$win_tool" "$win_plugin" "$work/windows-from-linux" "$work/linux"

passed=0 failed=0
same() {
  if cmp -s "$1" "$2" && [ -s "$1" ]; then
    passed=$((passed + 1))
  else
    echo "differ: ${1#$work/} ${2#$work/}"
    cmp "$1" "$2" | head -1 || true
    failed=$((failed + 1))
  fi
}
same "$work/linux/render.bin" "$work/windows/render.bin"
for kind in program bank; do
  same "$work/linux/$kind.chunk" "$work/windows/$kind.chunk"
  same "$work/linux-from-windows/$kind.resaved" "$work/windows/$kind.chunk"
  same "$work/windows-from-linux/$kind.resaved" "$work/linux/$kind.chunk"
done
echo "render: $(stat -c %s "$work/linux/render.bin") bytes per build"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
