#!/usr/bin/env bash
# Checks a Windows plug-in DLL: it imports system DLLs only and exports
# exactly the two VST 2 entry points.
#   check-binary.sh OBJDUMP DLL
set -euo pipefail
objdump="$1" dll="$2"
dump="$("$objdump" -p "$dll")"

# Everything a Windows installation ships that the build may use.
allowed=" kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll wininet.dll advapi32.dll msvcrt.dll "
failed=0
imports="$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)"
for dll_name in $imports; do
  if [[ "$allowed" != *" $dll_name "* ]]; then
    echo "unexpected import: $dll_name"
    failed=1
  fi
done
if ! grep -qx 'kernel32.dll' <<<"$imports"; then
  echo "no import table found"
  failed=1
fi

exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[\s*[0-9]*\] //p' <<<"$dump" | sort | tr '\n' ' ')"
if [ "$exports" != "VSTPluginMain main " ]; then
  echo "exports are '$exports', expected 'VSTPluginMain main '"
  failed=1
fi

echo "imports: $(tr '\n' ' ' <<<"$imports")"
[ "$failed" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$failed"
