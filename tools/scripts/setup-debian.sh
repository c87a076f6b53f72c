#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# packages already present are not fetched again.
#
# Redrawing the editor images is done on purpose, never by the build:
#   artwork packages: python3-pil python3-numpy fonts-liberation fonts-dejavu-core
# `setup-debian.sh --artwork` installs them too, for tools/artwork/make_artwork.py.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libgtest-dev
  libpng-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  libsndfile1-dev
  valgrind clang libclang-rt-14-dev
)
if [ "${1:-}" = "--artwork" ]; then
  packages+=(python3-pil python3-numpy fonts-liberation fonts-dejavu-core)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
