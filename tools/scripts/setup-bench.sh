#!/usr/bin/env bash
# Installs the Debian packages of the peer delays that the peer
# comparisons load: VST 2 plug-ins for Linux (bench/engine) and LV2 ones
# (bench/lv2). Run on demand, not by the test setup or CI. Idempotent;
# `--list` prints the packages instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(zam-plugins lsp-plugins-vst lsp-plugins-lv2 ardour-lv2-plugins)

if [ "${1:-}" = "--list" ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
install_packages "${packages[@]}"
