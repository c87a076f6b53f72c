#!/usr/bin/env bash
# Installs the peer delays (tools/scripts/setup-bench.sh) and runs the LV2
# comparison with settings comparable to Quorvex 2's default preset: echoes
# 0.5 s apart (1/4 at 120 bpm, the tempo without a host transport),
# feedback 60 % (-4.44 dB).
#   bench/lv2/run-peers.sh [build dir] [lv2_bench options]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
shift || true
"$root/tools/scripts/setup-bench.sh"
cmake --build "$build" --target lv2_bench >/dev/null

exec "$build/bench/lv2/lv2_bench" "$@" \
  "ZamDelay (mono, 2 instances);urn:zamaudio:ZamDelay;mono;time=500;feedb=0.6" \
  "a-delay (mono, 2 instances);urn:ardour:a-delay;mono;time=500;feedback=60" \
  "LSP Artistic Delay Stereo;http://lsp-plug.in/plugins/lv2/art_delay_stereo;on0=1;dadd0=0.5;fbe0=1;fbg0=0.6;fbadd0=0.5" \
  "LSP Slapback Delay Stereo;http://lsp-plug.in/plugins/lv2/slap_delay_stereo;dm0=1;dt0=500" \
  "LSP Delay Compensator Stereo;http://lsp-plug.in/plugins/lv2/comp_delay_stereo;mode=2;time=500"
