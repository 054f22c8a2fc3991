#!/usr/bin/env bash
# Times the 256-colour median cut of quivra-img against the IJG library's
# two-pass quantizer (djpeg -colors 256) and ImageMagick (-colors 256
# +dither) on the same 12-megapixel JPEG, and prints the ratios
# (peer time / our time), in processor seconds. Decoding and writing are
# timed alone as well (24-bit output, where the quantized runs write 8 bits).
set -euo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
Q="$ROOT/$BUILD/tools/quivra-img"
for tool in convert djpeg bc; do
  command -v "$tool" >/dev/null || { echo "$tool is missing"; exit 0; }
done
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
convert -size 4000x3000 plasma:fractal -blur 0x2 -quality 92 "$WORK/big.jpg" 2>/dev/null

time_of() {  # processor seconds (user + system) of the best of three runs
  local best=999
  for _ in 1 2 3; do
    local t
    t=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}')
    best=$(echo "$best $t" | awk '{print ($2 < $1) ? $2 : $1}')
  done
  echo "$best"
}

plain=$(time_of "$Q" convert "$WORK/big.jpg" "$WORK/plain.bmp")
ours=$(time_of "$Q" convert "$WORK/big.jpg" --depth 18:0 "$WORK/q.bmp")
djplain=$(time_of djpeg -bmp -outfile "$WORK/dj-plain.bmp" "$WORK/big.jpg")
dj=$(time_of djpeg -colors 256 -dither none -bmp -outfile "$WORK/dj.bmp" "$WORK/big.jpg")
im=$(time_of convert "$WORK/big.jpg" +dither -colors 256 "$WORK/im.bmp")

printf "%-44s %8s\n" "task (12 megapixels)" "seconds"
printf "%-44s %8.3f\n" "quivra-img load + save" "$plain"
printf "%-44s %8.3f\n" "quivra-img load + median cut 256 + save" "$ours"
printf "%-44s %8.3f\n" "djpeg decode + write" "$djplain"
printf "%-44s %8.3f\n" "djpeg -colors 256 -dither none" "$dj"
printf "%-44s %8.3f\n" "convert +dither -colors 256" "$im"
printf "%-44s %8.2f\n" "ratio whole run, djpeg / quivra-img" "$(echo "$dj / $ours" | bc -l)"
printf "%-44s %8.2f\n" "ratio whole run, ImageMagick / quivra-img" "$(echo "$im / $ours" | bc -l)"
