#!/usr/bin/env bash
# Installs the Debian packages of the peer delays that bench/engine's
# peer comparison loads (VST 2 plug-ins for Linux). Run on demand, not by
# the test setup or CI. Idempotent.
set -euo pipefail

packages=(zam-plugins lsp-plugins-vst)

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
