#!/usr/bin/env bash
# Runs a command with a private X server for Wine's windows:
#   with-display.sh COMMAND [ARGS...]
# The command sees the server's display in QUORVEX_WINE_DISPLAY.
set -euo pipefail
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  bash -c 'QUORVEX_WINE_DISPLAY="$DISPLAY" exec "$@"' with-display "$@"
