#!/usr/bin/env bash
# Installs the Debian packages of the peer delays that bench/engine's
# peer comparison loads (VST 2 plug-ins for Linux). Run on demand, not by
# the test setup or CI. Idempotent.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(zam-plugins lsp-plugins-vst)

install_packages "${packages[@]}"
