#!/usr/bin/env bash
# Opens the X11 test plug-in's editor in Audacity (Debian package audacity,
# 3.2) under a private Xvfb, takes a screenshot of the editor window and
# compares it with the headless render of the same editor.
#
#   tests/hosts/audacity.sh [--effect] [BUILD_DIR] [OUT_DIR]
#
# With --effect the plug-in is the effect itself (Quorvex2.so), compared with
# its quorvex-render --snapshot picture.
#
# BUILD_DIR defaults to build/, OUT_DIR to BUILD_DIR/hosts-audacity. Needs the
# Debian packages audacity, xvfb, xdotool and x11-apps (xwd). Audacity is
# driven through its scripting pipe (mod-script-pipe) to make a selection,
# and through its Effect menu (the test plug-in is its last entry) to open
# the effect's dialog, as a user would.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
effect=
if [ "${1:-}" = "--effect" ]; then effect=1; shift; fi
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/hosts-audacity}
compare=$build/tests/hosts/quorvex_frame_compare
if [ -n "$effect" ]; then
  plugin=$build/effect/Quorvex2.so
  reference=$build/tools/render/quorvex-render
  title='Quorvex 2'
  size=545x210
else
  plugin=$build/tests/testplug/TestPlugX11.so
  reference=$build/tests/testplug/TestPlugEditor.so
  title='Quorvex Test Plug'
  size=300x200
fi
for f in "$plugin" "$reference" "$compare"; do
  [ -e "$f" ] || { echo "audacity.sh: $f is missing; build the tests first" >&2; exit 2; }
done
for p in audacity Xvfb xdotool xwd python3; do
  command -v "$p" >/dev/null || { echo "audacity.sh: $p is not installed" >&2; exit 2; }
done

if [ -z "${QUORVEX_IN_XVFB:-}" ]; then
  QUORVEX_IN_XVFB=1 exec "$root/tests/support/with-xvfb.sh" "$0" ${effect:+--effect} "$build" "$out"
fi

mkdir -p "$out"
work=$(mktemp -d)
audacity_pid=
cleanup() {
  if [ -n "$audacity_pid" ]; then
    kill "$audacity_pid" 2>/dev/null || true
    sleep 1
    kill -9 "$audacity_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A fresh profile with the plug-in in ~/.vst. A first start registers every
# plug-in without asking and writes the profile; the second, with the
# scripting module switched on and the first session forgotten, is driven.
export HOME=$work/home
mkdir -p "$HOME/.vst" "$work/tmp"
cp "$plugin" "$HOME/.vst/"
cfg=$HOME/.config/audacity/audacity.cfg

wait_main() {
  main=
  for _ in $(seq 1 1200); do
    main=$(xdotool search --onlyvisible --name '^Audacity$' 2>/dev/null | head -n1 || true)
    [ -n "$main" ] && return 0
    kill -0 "$audacity_pid" 2>/dev/null || { echo "audacity.sh: Audacity exited" >&2; exit 1; }
    sleep 0.1
  done
  echo "audacity.sh: Audacity's window did not appear" >&2
  exit 1
}

audacity >"$out/audacity-first.log" 2>&1 &
audacity_pid=$!
wait_main
for _ in $(seq 1 100); do
  grep -q 'mod-script-pipe' "$cfg" 2>/dev/null && grep -q "$(basename "$plugin")" "$HOME/.config/audacity/pluginregistry.cfg" 2>/dev/null && break
  sleep 0.1
done
sleep 2
kill "$audacity_pid"
wait "$audacity_pid" 2>/dev/null || true
audacity_pid=

python3 - "$cfg" "$work/tmp" <<'PY'
import os, re, sys
path, tmp = sys.argv[1], sys.argv[2]
text = open(path).read()
text = re.sub(r'(?m)^mod-script-pipe=\d+$', 'mod-script-pipe=1', text)
# Forget the killed session (ours alone), so no recovery dialog comes up.
m = re.search(r'(?ms)^\[ActiveProjects\]\n((?:[^\[].*\n)*)', text)
if m:
    for line in m.group(1).splitlines():
        f = line.split('=', 1)[-1]
        for suffix in ('', '-wal', '-shm'):
            if os.path.isfile(f + suffix):
                os.remove(f + suffix)
    text = text[:m.start()] + text[m.end():]
text = re.sub(r'(?m)^TempDir=.*$', 'TempDir=' + tmp, text)
open(path, 'w').write(text)
PY

# Pipes left by an earlier run would take our commands to nobody.
rm -f "/tmp/audacity_script_pipe.to.$(id -u)" "/tmp/audacity_script_pipe.from.$(id -u)"
audacity >"$out/audacity.log" 2>&1 &
audacity_pid=$!
wait_main

# Scripting pipe: one command per line, answers end with an empty line.
timeout 150 python3 - "$(id -u)" <<'PY'
import os, sys, time
uid = sys.argv[1]
to, fr = '/tmp/audacity_script_pipe.to.' + uid, '/tmp/audacity_script_pipe.from.' + uid
for _ in range(600):
    if os.path.exists(to) and os.path.exists(fr):
        break
    time.sleep(0.1)
else:
    sys.exit('audacity.sh: the scripting pipe did not appear')
w, r = open(to, 'w'), open(fr)
for c in ['NewMonoTrack:', 'Select: Start=0 End=2 Track=0', 'Tone: Frequency=440 Amplitude=0.5',
          'Select: Start=0 End=2 Track=0']:
    w.write(c + '\n'); w.flush()
    reply = ''
    while True:
        line = r.readline()
        if not line or (line == '\n' and reply):
            break
        reply += line
    if 'finished: OK' not in reply:
        sys.exit('audacity.sh: %s failed: %s' % (c, reply.strip()))
PY

xdotool windowfocus --sync "$main"
xdotool key alt+c
sleep 1.5
xdotool key End
sleep 0.5
xdotool key Return

dialog=
for _ in $(seq 1 100); do
  dialog=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || { echo "audacity.sh: the effect dialog did not open" >&2; exit 1; }

# The editor is the window of its size inside the dialog.
editor=
for _ in $(seq 1 100); do
  editor=$(xwininfo -tree -id "$dialog" | awk -v s=" $size+" 'index($0, s) { print $1; exit }')
  [ -n "$editor" ] && break
  sleep 0.1
done
[ -n "$editor" ] || { echo "audacity.sh: no editor window in the dialog" >&2; exit 1; }
sleep 1  # a few frames
xwd -silent -root -out "$out/audacity-screen.xwd"
xwd -silent -id "$editor" -out "$out/audacity-editor.xwd"
xwd -silent -root -out "$out/audacity-screen.xwd"
if [ -n "$effect" ]; then
  "$reference" --snapshot "$out/snapshot.png" >/dev/null
  reference=$out/snapshot.png
fi
"$compare" "$reference" "$out/audacity-editor.xwd"
