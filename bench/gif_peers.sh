#!/usr/bin/env bash
# GIF decoding and encoding against giflib and ImageMagick on the same
# 3000 x 2000, 256-colour picture: best CPU time (user + system) of five
# runs of each command, and the ratio peer / quivra-img (above 1: we are
# faster). Usage: bench/gif_peers.sh [BUILD]
set -euo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
Q="$ROOT/$BUILD/tools/quivra-img"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
command -v convert >/dev/null || { echo "gif_peers: ImageMagick missing"; exit 0; }
convert -size 3000x2000 plasma:fractal -colors 256 "$WORK/big.gif" 2>/dev/null

cpu_of() {  # best user+system seconds of five runs
  local best=999
  for _ in 1 2 3 4 5; do
    local t
    t=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}')
    best=$(awk -v a="$best" -v b="$t" 'BEGIN{print (b < a) ? b : a}')
  done
  echo "$best"
}
row() {  # task ours peer
  printf "%-40s %8.3f %8.3f %8.2f\n" "$1" "$2" "$3" "$(awk -v a="$2" -v b="$3" 'BEGIN{print (a > 0) ? b / a : 0}')"
}
printf "%-40s %8s %8s %8s\n" "task (CPU seconds)" "ours" "peer" "ratio"
# Decoding alone: our GIF -> raw-ish BMP against gif2rgb's raw RGB output.
ours=$(cpu_of "$Q" convert "$WORK/big.gif" "$WORK/q.bmp")
if command -v gif2rgb >/dev/null; then
  row "decode: gif -> bmp vs giflib gif2rgb" "$ours" "$(cpu_of gif2rgb -o "$WORK/g.rgb" "$WORK/big.gif")"
fi
row "decode: gif -> bmp vs ImageMagick" "$ours" "$(cpu_of convert "$WORK/big.gif" "$WORK/m.bmp")"
# Decoding and encoding again.
ours=$(cpu_of "$Q" convert "$WORK/big.gif" "$WORK/q.gif")
row "decode + encode: gif -> gif vs ImageMagick" "$ours" "$(cpu_of convert "$WORK/big.gif" "$WORK/m.gif")"
echo "sizes: ours $(stat -c %s "$WORK/q.gif"), ImageMagick $(stat -c %s "$WORK/m.gif") bytes"
