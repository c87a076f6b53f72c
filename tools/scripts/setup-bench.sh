#!/usr/bin/env bash
# Installs the Debian packages of the peer delays that bench/engine's
# peer comparison loads (VST 2 plug-ins for Linux). Run on demand, not by
# the test setup or CI. Idempotent; `--list` prints the packages instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(zam-plugins lsp-plugins-vst)

if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
install_packages "${packages[@]}"
