#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# packages already present are not fetched again, and none is ever removed
# (install_packages stops instead). `--list` prints the packages it needs
# on this machine and installs nothing.
#
# Redrawing the editor images is done on purpose, never by the build:
#   artwork packages: python3-pil python3-numpy fonts-liberation fonts-dejavu-core
# `setup-debian.sh --artwork` installs them too, for tools/artwork/make_artwork.py.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# librtaudio-dev needs JACK's development files: those of the JACK already
# here, so that apt never swaps it for another.
jack="$(jack_dev_package)"
packages=(
  build-essential cmake pkg-config ccache
  libgtest-dev
  libpng-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  libsndfile1-dev
  valgrind clang libclang-rt-14-dev
  clang-format-14
  libx11-dev libxext-dev libxtst-dev xvfb
  librtaudio-dev ${jack:+"$jack"} libasound2-dev
  lv2-dev liblilv-dev libsuil-dev lilv-utils
)
list=
for arg in "$@"; do
  case "$arg" in
    --artwork) packages+=(python3-pil python3-numpy fonts-liberation fonts-dejavu-core) ;;
    --list) list=1 ;;
    *) echo "usage: setup-debian.sh [--artwork] [--list]" >&2; exit 2 ;;
  esac
done

if [ -n "$list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
install_packages "${packages[@]}"
