#!/usr/bin/env bash
# Every apt-get install in the repository's scripts passes --no-remove, so
# that none can take a package (a musician's JACK, say) off the machine.
#   no-remove.sh [REPO_ROOT]
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
self=$(realpath "$0")

# Reads a file, joins continued lines, drops comment lines, splits commands
# at | ; & and prints "ok|bad<TAB>LINE<TAB>COMMAND" for each package install
# (apt-get, apt, aptitude, or a wrapper named apt_get): bad without
# --no-remove.
installs() {
  awk '
    { line = (held == "" ? $0 : held " " $0); if (held == "") first = FNR }
    /\\$/ { held = substr(line, 1, length(line) - 1); next }
    { held = "" }
    line ~ /^[ \t]*#/ { next }
    {
      n = split(line, cmds, /[|;&]+/)
      for (i = 1; i <= n; i++) {
        c = " " cmds[i] " "
        if (c ~ /[^A-Za-z0-9_-](apt-get|apt_get|aptitude|apt)[^A-Za-z0-9_-]/ &&
            c ~ /[^A-Za-z0-9_-]install[^A-Za-z0-9_-]/)
          print (index(c, "--no-remove") ? "ok" : "bad") "\t" first "\t" cmds[i]
      }
    }'
}

# The checker first, on lines it must and must not report.
failed=0
check() {
  local want="$1" text="$2" got
  got=$(printf '%b\n' "$text" | installs | grep -c '^bad' || true)
  if [ "$got" != "$want" ]; then
    echo "checker: expected $want report(s) for: $text (got $got)"
    failed=$((failed + 1))
  fi
}
check 1 'apt-get install -y foo'
check 1 'sudo apt install foo'
check 1 'aptitude install foo'
check 1 'apt_get install foo'
check 1 'apt-get -o X=1 \\\n  install -y \\\n  foo'
check 1 'apt-get install --no-remove foo && apt-get install bar'
check 1 'subprocess.run(["apt-get", "install", "foo"])'
check 0 'apt-get -o X=1 \\\n  install -y --no-remove foo'
check 0 'apt-get update -qq && apt-get install --no-remove foo'
check 0 'plan="$(apt-get install -s --no-remove foo 2>&1)"'
check 0 '# apt-get install foo'
check 0 'apt-get source foo'
check 0 'apt-cache show foo'
check 0 'apt-get install-foo'
check 0 'install_packages foo bar'
check 0 'apt-get -o DPkg::Lock::Timeout=600 update -qq'

# Then every text file of the repository but its documentation.
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files --cached --others --exclude-standard)
else
  files=$(find . -path ./.git -prune -o -path './build*' -prune -o -path ./out -prune -o -type f -print)
fi
installs=0
while IFS= read -r f; do
  [ -f "$f" ] || continue
  case "$f" in *.md | *.png | *.wav) continue ;; esac
  # These tests quote apt-get command lines as data.
  [ "$(dirname "$(realpath "$f")")" = "$(dirname "$self")" ] && continue
  grep -Iq . "$f" 2>/dev/null || continue
  grep -q install "$f" || continue
  while IFS=$'\t' read -r state line cmd; do
    installs=$((installs + 1))
    [ "$state" = ok ] && continue
    echo "$f:$line: package install without --no-remove:$cmd"
    failed=$((failed + 1))
  done < <(installs <"$f")
done <<<"$files"

# The shared installer at least must have been seen, or the scan is blind.
if ((installs == 0)); then
  echo "no package install found in the repository's scripts"
  failed=$((failed + 1))
fi
echo "no-remove: $installs package install(s) found, $failed problem(s)"
((failed == 0))
