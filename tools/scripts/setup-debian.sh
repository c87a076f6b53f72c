#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# packages already present are not fetched again.
#
# Redrawing the editor images is done on purpose, never by the build:
#   artwork packages: python3-pil python3-numpy fonts-liberation fonts-dejavu-core
# `setup-debian.sh --artwork` installs them too, for tools/artwork/make_artwork.py.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(
  build-essential cmake pkg-config ccache
  libgtest-dev
  libpng-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  libsndfile1-dev
  valgrind clang libclang-rt-14-dev
  libx11-dev libxext-dev libxtst-dev xvfb
  librtaudio-dev libasound2-dev
)
if [ "${1:-}" = "--artwork" ]; then
  packages+=(python3-pil python3-numpy fonts-liberation fonts-dejavu-core)
fi

install_packages "${packages[@]}"
