#!/usr/bin/env bash
# Times the TIFF reader against libtiff on an A4 page scanned at 300 dpi,
# stored with each of the usual compressions. quivra-img converts the page
# to an uncompressed BMP; libtiff's side is `tiffcp -c none` (decode and
# write raw) and `tiff2rgba`. Times are CPU seconds. All files live in memory (/dev/shm when
# there is one). Ratios above 1 mean the reader is faster than the peer.
set -euo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
Q="$ROOT/$BUILD/tools/quivra-img"
BASE=/dev/shm
[ -d "$BASE" ] || BASE=/tmp
WORK="$(mktemp -d "$BASE/tiffbench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# A page of text-like marks and a photograph-like area, as a scanner makes.
convert -size 2480x3508 xc:white -fill black -font DejaVu-Sans -pointsize 28 \
  -draw "text 150,300 'Quivra TIFF reader benchmark page'" \
  -draw "rectangle 200,600 2200,640" -draw "circle 1240,1800 1240,2600" \
  \( -size 1600x900 plasma:fractal -seed 7 \) -geometry +440+2400 -composite \
  -colorspace gray -depth 8 "$WORK/grey.tif" 2>/dev/null
convert "$WORK/grey.tif" -threshold 55% -alpha off -depth 1 "$WORK/bw.tif"
convert "$WORK/grey.tif" -colorspace sRGB -type TrueColor "$WORK/rgb.tif"

tiffcp -c lzw "$WORK/grey.tif" "$WORK/lzw.tif"
tiffcp -c lzw:2 "$WORK/rgb.tif" "$WORK/lzw2.tif"
tiffcp -c zip "$WORK/grey.tif" "$WORK/zip.tif"
tiffcp -c packbits "$WORK/grey.tif" "$WORK/packbits.tif"
tiffcp -c g4 "$WORK/bw.tif" "$WORK/g4.tif"
tiffcp -c g3:2d "$WORK/bw.tif" "$WORK/g3.tif"
tiffcp -c lzw "$WORK/bw.tif" "$WORK/lzw1.tif"
tiffcp -c jpeg -r 16 "$WORK/rgb.tif" "$WORK/jpeg.tif"

# CPU seconds (user + system) for the best of five runs: the machine may
# be busy with other work, which wall-clock time would count.
time_of() {
  local best=999
  for _ in 1 2 3 4 5; do
    local t
    /usr/bin/time -o "$WORK/time" -f "%U %S" "$@" >/dev/null 2>&1 || true
    t=$(tail -1 "$WORK/time" | awk '{print $1 + $2}')
    best=$(echo "$best $t" | awk '{print ($2 < $1) ? $2 : $1}')
  done
  echo "$best"
}

printf "%-14s %10s %10s %8s %10s %8s\n" "page" "quivra-img" "tiffcp" "ratio" "tiff2rgba" "ratio"
for f in lzw lzw2 zip packbits g4 g3 lzw1 jpeg; do
  ours=$(time_of "$Q" convert "$WORK/$f.tif" "$WORK/out.bmp")
  cp=$(time_of tiffcp -c none "$WORK/$f.tif" "$WORK/raw.tif")
  rgba=$(time_of tiff2rgba -c none "$WORK/$f.tif" "$WORK/rgba.tif")
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
  printf "%-14s %10.3f %10.3f %8s %10.3f %8s\n" "$f" "$ours" "$cp" "$(ratio "$cp" "$ours")" \
    "$rgba" "$(ratio "$rgba" "$ours")"
done
