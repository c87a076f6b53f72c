#!/usr/bin/env bash
# Installs the peer delays (tools/scripts/setup-bench.sh) and runs the peer
# comparison with settings comparable to Quorvex 2's default preset: echoes
# 0.5 s apart (1/4 at 120 bpm), feedback 60 % (-4.44 dB).
#   bench/engine/run-peers.sh [build dir] [peer_bench options]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
shift || true
"$root/tools/scripts/setup-bench.sh"
cmake --build "$build" --target peer_bench >/dev/null

# Where the packages put their VST 2 libraries.
lib() { dpkg -L "$1" | grep -m1 "/$2\$"; }
exec "$build/bench/engine/peer_bench" "$@" \
  "ZamDelay (mono, 2 instances);$(lib zam-plugins ZamDelay-vst.so);mono;Time=500;Feedback=0.6" \
  "LSP Artistic Delay Stereo;$(lib lsp-plugins-vst art-delay-stereo.so);on0=on;dadd0=0.5;fbe0=on;fbg0=-4.44;fbadd0=0.5" \
  "LSP Slapback Delay Stereo;$(lib lsp-plugins-vst slap-delay-stereo.so);dm0=Time;dt0=500" \
  "LSP Delay Compensator Stereo;$(lib lsp-plugins-vst comp-delay-stereo.so);mode=Time;time=500"
