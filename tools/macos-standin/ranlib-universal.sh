#!/usr/bin/env bash
# ranlib for the Darwin stand-in build: like Apple's, it turns an archive of
# universal objects (what `clang -arch x86_64 -arch arm64 -c` makes) into a
# universal archive of one indexed archive per architecture, which ld64.lld
# reads. Options are ignored; the archive is the last argument.
set -euo pipefail
archive="$(realpath "${*: -1}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/all"
(cd "$work/all" && llvm-ar-14 x "$archive")
members=("$work/all"/*)
if [ ! -e "${members[0]}" ]; then exit 0; fi
archs="$(llvm-lipo-14 -archs "${members[0]}" 2>/dev/null || true)"
# Thin members already: an index is all that is missing.
if [ "$(wc -w <<<"$archs")" -le 1 ]; then
  llvm-ranlib-14 "$archive"
  exit 0
fi
slices=()
for arch in $archs; do
  mkdir "$work/$arch"
  for m in "${members[@]}"; do
    llvm-lipo-14 -thin "$arch" -output "$work/$arch/$(basename "$m")" "$m"
  done
  llvm-ar-14 rcs "$work/lib-$arch.a" "$work/$arch"/*
  slices+=("$work/lib-$arch.a")
done
llvm-lipo-14 -create -output "$archive" "${slices[@]}"
