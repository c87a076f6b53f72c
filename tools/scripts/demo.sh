#!/usr/bin/env bash
# Builds the plug-in, installs it where Linux hosts look (~/.vst/, and the
# LV2 bundle in ~/.lv2/) and renders the built-in demo phrase through it
# twice: with the default preset and with "Classic Delay Triplet".
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/tools/scripts/setup-debian.sh"

build="$root/build-release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_TESTS=OFF "${launcher[@]}"
cmake --build "$build" -j "$jobs" --target Quorvex2 Quorvex2_lv2 quorvex-render

plugin="$build/effect/Quorvex2.so"
mkdir -p "$HOME/.vst"
cp "$plugin" "$HOME/.vst/Quorvex2.so"
echo "Installed $HOME/.vst/Quorvex2.so"

# The whole bundle is replaced: a file an older build left would be read too.
mkdir -p "$HOME/.lv2"
rm -rf "${HOME:?}/.lv2/Quorvex2.lv2"
cp -R "$build/lv2/Quorvex2.lv2" "$HOME/.lv2/Quorvex2.lv2"
echo "Installed $HOME/.lv2/Quorvex2.lv2"

out="$root/out"
mkdir -p "$out"
render="$build/tools/render/quorvex-render"
"$render" --plugin "$plugin" -o "$out/demo-default.wav"
"$render" --plugin "$plugin" --program "Classic Delay Triplet" -o "$out/demo-classic-delay-triplet.wav"
