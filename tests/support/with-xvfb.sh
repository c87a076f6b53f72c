#!/usr/bin/env bash
# Runs a command against a private Xvfb server on a free display number, so
# tests need no X server of their own and may run in parallel.
#   with-xvfb.sh COMMAND [ARGS...]
set -u
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "with-xvfb.sh: Xvfb is not installed (Debian package xvfb)" >&2
  exit 1
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Xvfb picks a free display itself and writes its number to the fd.
exec 3>"$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 1 200); do
  [ -s "$dir/display" ] && break
  if ! kill -0 "$xvfb" 2>/dev/null; then
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -s "$dir/display" ]; then
  echo "with-xvfb.sh: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -n1 "$dir/display")"
"$@"
rc=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $rc
