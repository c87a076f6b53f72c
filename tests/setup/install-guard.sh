#!/usr/bin/env bash
# The set-up's package choices and install_packages' guard, against stand-ins
# for dpkg-query and apt-get: which JACK development package setup-debian.sh
# asks for beside librtaudio-dev, and that an install apt would pay for with
# a removal stops before anything is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- stand-ins ---------------------------------------------------------------
mkdir -p "$work/bin"
# dpkg-query -W -f=... PACKAGE: installed when named in FAKE_INSTALLED.
cat >"$work/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
for p in $FAKE_INSTALLED; do
  if [ "$p" = "${!#}" ]; then printf 'install ok installed'; exit 0; fi
done
exit 1
SH
# apt-get: logs its arguments; a simulation prints FAKE_PLAN and exits with
# FAKE_PLAN_STATUS.
cat >"$work/bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_LOG"
for a in "$@"; do
  if [ "$a" = -s ]; then cat "$FAKE_PLAN"; exit "$FAKE_PLAN_STATUS"; fi
done
exit 0
SH
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH" FAKE_LOG="$work/apt.log" FAKE_PLAN="$work/plan"

passed=0 failed=0
# expect MESSAGE COMMAND...: counts COMMAND's outcome, prints MESSAGE on failure.
expect() {
  local message="$1"
  shift
  if "$@"; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    echo "FAILED: $message"
  fi
}

# ---- which JACK: the one already there, jackd2's when there is none ---------
# installed packages | JACK lines setup-debian.sh --list must print
jack_cases=(
  "|librtaudio-dev libjack-jackd2-dev"
  "jackd2 libjack-jackd2-0|librtaudio-dev libjack-jackd2-dev"
  "pipewire-jack|librtaudio-dev libjack-jackd2-dev"
  "libjack-jackd2-0 libjack-jackd2-dev librtaudio-dev|librtaudio-dev"
  "jackd1 libjack0|librtaudio-dev libjack-dev"
  "libjack0 libjack-dev|librtaudio-dev"
)
for c in "${jack_cases[@]}"; do
  installed=${c%%|*} want=${c#*|}
  got=$(FAKE_INSTALLED=$installed "$root/tools/scripts/setup-debian.sh" --list | grep -E 'jack|rtaudio' |
    tr '\n' ' ' | sed 's/ $//')
  expect "with '$installed' installed the set-up asks for '$got', not '$want'" [ "$got" = "$want" ]
done

# ---- the guard ------------------------------------------------------------------
declare -A plans
# What apt-get printed, asked for librtaudio-dev on a machine with jackd2.
plans[removing_jackd2]='Reading package lists...
Building dependency tree...
Reading state information...
The following additional packages will be installed:
  libjack-dev libjack0
Suggested packages:
  jackd1 librtmidi-dev
The following packages will be REMOVED:
  jackd2 libjack-jackd2-0 qjackctl*
The following NEW packages will be installed:
  libjack-dev libjack0 librtaudio-dev
0 upgraded, 3 newly installed, 3 to remove and 0 not upgraded.
E: Packages need to be removed but remove is disabled.'
# The same plan where a configuration lets apt remove anyway.
plans[remv_steps]='Remv jackd2 [1.9.21~dfsg-3]
Remv libjack-jackd2-0 [1.9.21~dfsg-3] [librtaudio6:amd64 ]
Inst libjack0 (1:0.126.0-2 Debian:12 [amd64])
Inst librtaudio-dev (5.2.0~ds1-2 Debian:12 [amd64])'
plans[clean]='Inst libjack-jackd2-dev (1.9.21~dfsg-3 Debian:12 [amd64])
Inst librtaudio-dev (5.2.0~ds1-2 Debian:12 [amd64])
Conf libjack-jackd2-dev (1.9.21~dfsg-3 Debian:12 [amd64])
Conf librtaudio-dev (5.2.0~ds1-2 Debian:12 [amd64])'
plans[unknown]='E: Unable to locate package librtaudio-dev'

# name | plan | plan status | exit status | packages reported removed | installs
guard_cases=(
  "refused removal|removing_jackd2|100|1|jackd2 libjack-jackd2-0 qjackctl|no"
  "removal steps|remv_steps|0|1|jackd2 libjack-jackd2-0|no"
  "clean plan|clean|0|0||yes"
  "failed plan|unknown|100|1||no"
)
for c in "${guard_cases[@]}"; do
  IFS='|' read -r name plan status want_rc want_removed want_install <<<"$c"
  printf '%s\n' "${plans[$plan]}" >"$FAKE_PLAN"
  : >"$FAKE_LOG"
  rc=0
  FAKE_PLAN_STATUS=$status FAKE_INSTALLED=librtaudio6 bash -c \
    'set -euo pipefail; source "$1/tools/scripts/common.sh"; install_packages librtaudio6 librtaudio-dev' \
    _ "$root" >"$work/out" 2>"$work/err" || rc=$?
  removed=$(sed -n 's/^install_packages: not installing: apt-get would remove \(.*\)$/\1/p' "$work/err" |
    tr '\n' ' ' | sed 's/ $//')
  installs=no
  if grep -v -- ' -s ' "$FAKE_LOG" | grep -q ' install '; then installs=yes; fi
  expect "$name: exit status $rc, not $want_rc" [ "$rc" = "$want_rc" ]
  expect "$name: reported removals '$removed', not '$want_removed'" [ "$removed" = "$want_removed" ]
  expect "$name: installed: $installs, expected $want_install" [ "$installs" = "$want_install" ]
  # Simulated and installed alike, never with leave to remove, and never
  # asking again for what is installed.
  expect "$name: an apt-get install without --no-remove" \
    [ -z "$(grep ' install ' "$FAKE_LOG" | grep -v -- '--no-remove')" ]
  expect "$name: asked for a package that is installed" [ -z "$(grep ' install .*librtaudio6' "$FAKE_LOG")" ]
  expect "$name: stopped without saying why" [ "$want_rc" = 0 -o -s "$work/err" ]
done

# Nothing missing: apt-get is not run at all.
: >"$FAKE_LOG"
FAKE_INSTALLED="librtaudio-dev" bash -c 'source "$1/tools/scripts/common.sh"; install_packages librtaudio-dev' _ "$root"
expect "apt-get was run with every package installed" [ ! -s "$FAKE_LOG" ]

echo "install-guard: $passed passed, $failed failed"
((failed == 0))
