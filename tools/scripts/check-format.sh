#!/usr/bin/env bash
# Checks that the C, C++ and Objective-C++ sources are formatted as the
# repository's .clang-format says (clang-format-14). Changes nothing:
# prints every place that differs and fails when there is one.
#   tools/scripts/check-format.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
install_packages clang-format-14

# The project's folders; the stand-in SDK's headers mirror Apple's layout
# and names, and build folders hold generated code.
cd "$root"
mapfile -d '' files < <(find containers raster framework effect tests tools bench \
  \( -path tools/macos-standin/sdk -o -name 'build*' \) -prune -o \
  -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.mm' \) -print0 | sort -z)
if ! printf '%s\0' "${files[@]}" | xargs -0 clang-format-14 --dry-run --Werror; then
  echo "check-format.sh: not formatted as .clang-format says (clang-format-14 -i FILE rewrites one)" >&2
  exit 1
fi
echo "check-format.sh: ${#files[@]} files formatted"
