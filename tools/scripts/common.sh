# Shared by the build scripts: repository root, job count, compiler cache.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
jobs="${QUORVEX_JOBS:-2}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths relative to the checkout, so a fresh clone elsewhere (CI's) hits
  # the cache an earlier build filled.
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
  export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# JACK's development files, from the JACK the machine already has. Left to
# itself, apt satisfies librtaudio-dev's "libjack-dev | libjack-jackd2-dev"
# with jack1's libjack-dev, which takes jackd2 (what most users run) away.
jack_dev_package() {
  if is_installed libjack-dev || is_installed libjack-jackd2-dev; then return 0; fi
  if is_installed libjack0; then echo libjack-dev; else echo libjack-jackd2-dev; fi
}

# Packages that installing the given ones would remove, one a line, from
# apt-get's simulation output on stdin (C locale): the "REMOVED" summary
# (printed even when --no-remove refuses) and the "Remv" steps.
removed_packages() {
  awk '/^The following packages will be REMOVED:/ { block = 1; next }
       block && /^  / { for (i = 1; i <= NF; i++) print $i; next }
       { block = 0 }
       /^Remv / { print $2 }' | sed 's/\*$//' | sort -u
}

# Installs the Debian packages given that are not installed yet (as root, or
# through sudo). Waits for another apt run to finish rather than failing.
# Never removes a package: the install is simulated first and refused if
# apt would take anything away (a musician's JACK, say).
install_packages() {
  local missing=() p
  for p in "$@"; do
    is_installed "$p" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}"
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  local plan status=0 removed
  plan="$(LC_ALL=C apt-get -o DPkg::Lock::Timeout=600 install -s --no-remove --no-install-recommends \
    "${missing[@]}" 2>&1)" || status=$?
  removed="$(removed_packages <<<"$plan")"
  if [ -n "$removed" ]; then
    while read -r p; do
      echo "install_packages: not installing: apt-get would remove $p" >&2
    done <<<"$removed"
    return 1
  fi
  if ((status)); then
    tail -n 20 <<<"$plan" >&2
    echo "install_packages: apt-get refuses these packages (see above); nothing installed" >&2
    return 1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 \
    install -y -qq --no-remove --no-install-recommends "${missing[@]}"
}

# ---- Debian source packages -------------------------------------------------
newest_sources() { apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV; }

# apt-get source needs a deb-src entry; add one mirroring the binary entries.
ensure_deb_src() {
  [ -n "$(newest_sources "$1")" ] && return 0
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  local list=/etc/apt/sources.list.d/quorvex-deb-src.sources tmp f
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$list" ] || continue
    sed -e 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$f" >>"$tmp"
    echo >>"$tmp"
  done
  if [ -s "$tmp" ]; then "${sudo_cmd[@]}" cp "$tmp" "$list"; fi
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >"$tmp"
    if [ -s "$tmp" ]; then "${sudo_cmd[@]}" cp "$tmp" /etc/apt/sources.list.d/quorvex-deb-src.list; fi
  fi
  rm -f "$tmp"
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
}

# Configures, builds and installs a dependency from its source folder src
# in bld with the cross toolchain, into $prefix; the log is bld.log. Needs
# $toolchain, $prefix and cross_args (the toolchain's own settings); the
# arguments after src and bld go to CMake.
cross_cmake() {
  local src="$1" bld="$2"
  shift 2
  cmake -S "$src" -B "$bld" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" "${cross_args[@]}" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >"$bld.log" 2>&1 ||
    { cat "$bld.log"; return 1; }
  cmake --build "$bld" -j "$jobs" >>"$bld.log" 2>&1 || { tail -40 "$bld.log"; return 1; }
  cmake --install "$bld" >>"$bld.log" 2>&1
}

# Unpacks the newest version of a source package that downloads (the newest
# listed is not always on the mirror yet) into $deps/src/NAME; sets
# src_dir and src_version. Needs $deps.
fetch_source() {
  local name="$1" v
  ensure_deb_src "$name"
  rm -rf "${deps:?}/src/$name" && mkdir -p "$deps/src/$name"
  src_version=""
  for v in $(newest_sources "$name"); do
    if (cd "$deps/src/$name" && apt-get source -qq --only-source "$name=$v" >/dev/null 2>&1); then
      src_version="$v"
      break
    fi
    rm -rf "${deps:?}/src/$name/"*
  done
  if [ -z "$src_version" ]; then
    echo "$(basename "$0"): cannot fetch the $name source package" >&2
    exit 1
  fi
  src_dir="$(find "$deps/src/$name" -mindepth 1 -maxdepth 1 -type d | head -1)"
}
