#!/usr/bin/env bash
# Runs the kernel benchmarks, then times quivra-img against peer tools on
# the same inputs and prints the ratios (peer time / our time).
set -euo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="$ROOT/$BUILD"
for b in "$BIN"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
Q="$BIN/tools/quivra-img"
if command -v convert >/dev/null; then
  convert -size 3000x2000 plasma:fractal -depth 8 "$WORK/big.bmp" 2>/dev/null
  convert "$WORK/big.bmp" -quality 90 "$WORK/big.jpg"
  convert "$WORK/big.bmp" "$WORK/big.png"
  time_of() {  # seconds for the best of three runs
    local best=999
    for _ in 1 2 3; do
      local s e
      s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
      best=$(echo "$best $(echo "$e - $s" | bc)" | awk '{print ($2 < $1) ? $2 : $1}')
    done
    echo "$best"
  }
  printf "%-34s %10s %10s %8s\n" "task" "quivra-img" "peer" "ratio"
  for input in big.bmp big.jpg big.png; do
    ours=$(time_of "$Q" convert "$WORK/$input" "$WORK/out.bmp")
    peer=$(time_of convert "$WORK/$input" "$WORK/peer.bmp")
    printf "%-34s %10.3f %10.3f %8.2f\n" "$input -> bmp" "$ours" "$peer" "$(echo "$peer / $ours" | bc -l)"
    ours=$(time_of "$Q" convert --box 160x120 --smooth "$WORK/$input" "$WORK/out.bmp")
    peer=$(time_of convert "$WORK/$input" -resize 160x120 "$WORK/peer.bmp")
    printf "%-34s %10.3f %10.3f %8.2f\n" "$input -> 160x120 thumbnail" "$ours" "$peer" "$(echo "$peer / $ours" | bc -l)"
  done
fi
