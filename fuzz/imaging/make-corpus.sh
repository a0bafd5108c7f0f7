#!/usr/bin/env bash
# Makes the seed corpora of the imaging fuzz targets: small valid files of
# every format, written by ImageMagick and by our own encoders.
#   make-corpus.sh FOLDER CORPUS-TOOL
set -euo pipefail
out=$1
tool=$2
mkdir -p "$out"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
convert -size 13x7 gradient:red-blue -fill yellow -draw "rectangle 2,2 6,5" "$src/rgb.png"
convert -size 9x5 xc:white -fill black -draw "line 0,0 8,4" "$src/bw.png"
convert "$src/rgb.png" -alpha set -channel A -evaluate set 60% +channel "$src/rgba.png"

seed() { # format name convert-arguments...
    local fmt=$1 name=$2
    shift 2
    mkdir -p "$out/$fmt"
    convert "$@" "$out/$fmt/$name" 2>/dev/null || echo "skipped $fmt/$name" >&2
}
seed bmp 24.bmp "$src/rgb.png"
seed bmp 8.bmp "$src/rgb.png" -colors 16 -type palette
seed bmp 1.bmp "$src/bw.png" -type bilevel
seed gif a.gif "$src/rgb.png"
seed gif t.gif "$src/rgba.png"
seed ico a.ico "$src/rgba.png"
seed ico p.ico "$src/rgb.png" -colors 16
seed ico big.ico -size 256x256 xc:orange
seed tga raw.tga "$src/rgb.png"
seed tga rle.tga "$src/rgba.png" -compress RLE
seed tga p.tga "$src/rgb.png" -colors 8 -type palette
seed tga g.tga "$src/rgb.png" -colorspace gray
seed pcx 24.pcx "$src/rgb.png"
seed pcx 8.pcx "$src/rgb.png" -colors 16 -type palette
seed pcx 1.pcx "$src/bw.png" -type bilevel
seed wbmp a.wbmp "$src/bw.png"
seed pgx a.pgx "$src/rgb.png" -colorspace gray
seed pnm a.ppm "$src/rgb.png"
seed pnm a.pgm "$src/rgb.png" -colorspace gray
seed pnm a.pbm "$src/bw.png"
seed pnm plain.ppm "$src/rgb.png" -compress none
seed ras 24.ras "$src/rgb.png"
seed ras 8.ras "$src/rgb.png" -colors 16 -type palette
seed ras 1.ras "$src/bw.png" -type bilevel
"$tool" "$out"
# Detection sees every format, including the library-backed ones.
mkdir -p "$out/detect"
for fmt in bmp gif ico tga pcx wbmp pgx pnm ras ska wmf raw; do
    cp "$out/$fmt"/* "$out/detect/"
done
for ext in png jpg tif jp2 j2k mng; do
    convert "$src/rgb.png" "$out/detect/a.$ext" 2>/dev/null || echo "skipped detect/a.$ext" >&2
done
