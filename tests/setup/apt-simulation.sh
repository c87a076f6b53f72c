#!/usr/bin/env bash
# Simulates, with apt-get -s (nothing downloaded, nothing changed), the
# installs the set-up scripts would ask for on this machine, and fails if
# apt would remove any package for them. Skips (77) without apt-get or
# without package lists.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/scripts/common.sh"
if ! command -v apt-get >/dev/null 2>&1; then
  echo "apt-simulation: no apt-get here; skipped"
  exit 77
fi

# The scripts pass only what is missing; --no-upgrade leaves the installed
# ones alone in the same way.
sets=("setup-debian.sh" "setup-debian.sh --artwork" "setup-windows.sh" "setup-bench.sh" "setup-macos.sh"
  "build-macos-standin.sh" "test-aarch64.sh")
passed=0 failed=0 unknown=0
for s in "${sets[@]}"; do
  # shellcheck disable=SC2086
  packages=$("$root"/tools/scripts/$s --list) || { echo "$s --list failed"; failed=$((failed + 1)); continue; }
  # shellcheck disable=SC2086
  plan=$(LC_ALL=C apt-get install -s --no-remove --no-upgrade --no-install-recommends $packages 2>&1)
  status=$?
  removed=$(removed_packages <<<"$plan" | tr '\n' ' ')
  if [ -n "$removed" ]; then
    echo "$s: installing its packages would remove: $removed"
    failed=$((failed + 1))
  elif ((status)) && grep -q '^E: Unable to locate package' <<<"$plan"; then
    grep '^E:' <<<"$plan"
    unknown=$((unknown + 1))
  elif ((status)); then
    echo "$s: apt-get refuses its packages:"
    tail -n 20 <<<"$plan"
    failed=$((failed + 1))
  else
    echo "$s: $(grep -c '^Inst ' <<<"$plan") package(s) to install, none removed"
    passed=$((passed + 1))
  fi
done
echo "apt-simulation: $passed passed, $failed failed"
if ((failed)); then exit 1; fi
if ((unknown)); then
  echo "apt-simulation: apt's package lists lack packages (apt-get update not run?); skipped"
  exit 77
fi
