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

vst=/usr/lib/vst
lsp=$vst/lsp-plugins
exec "$build/bench/engine/peer_bench" "$@" \
  "ZamDelay (mono, 2 instances);$vst/ZamDelay-vst.so;mono;Time=500;Feedback=0.6" \
  "LSP Artistic Delay Stereo;$lsp/art-delay-stereo.so;on0=on;dadd0=0.5;fbe0=on;fbg0=-4.44;fbadd0=0.5" \
  "LSP Slapback Delay Stereo;$lsp/slap-delay-stereo.so;dm0=Time;dt0=500" \
  "LSP Delay Compensator Stereo;$lsp/comp-delay-stereo.so;mode=Time;time=500"
