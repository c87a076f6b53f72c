#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of its own:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The first run creates the prefix (serialised, so parallel tests can share it).
set -euo pipefail
prefix="$(realpath -m "$1")"
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# Keep Wine away from any display it might find, unless the caller set up
# one for the program (tests of the editor window run under Xvfb).
if [ -z "${QUORVEX_WINE_DISPLAY:-}" ]; then
  unset DISPLAY WAYLAND_DISPLAY
else
  export DISPLAY="$QUORVEX_WINE_DISPLAY"
fi

wine="$(command -v wine64 || true)"
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
if [ -z "$wine" ]; then
  echo "wine-run.sh: wine64 not found (run tools/scripts/setup-windows.sh)" >&2
  exit 127
fi

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
      "$(dirname "$wine")/wineserver64" -w 2>/dev/null || wineserver -w 2>/dev/null || true
    fi
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
