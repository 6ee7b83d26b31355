#!/bin/bash
# Draws the program icon (a blue tile with a white globe and a check mark) and writes app.ico
# with 16, 32 and 48 pixel images. Needs ImageMagick; the result is kept in the repository, so
# building does not need it.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
    -fill '#1f5fbf' -draw 'roundrectangle 8,8 247,247 40,40' \
    -fill none -stroke white -strokewidth 14 \
    -draw 'circle 128,128 128,44' \
    -draw 'ellipse 128,128 38,84 0,360' \
    -draw 'line 44,128 212,128' \
    -stroke '#3ad16a' -strokewidth 26 -draw 'polyline 120,184 158,220 232,140' \
    "$work/big.png"
for size in 16 32 48; do
    convert "$work/big.png" -resize ${size}x${size} "PNG32:$work/icon$size.png"
done
# BMP-based images in the .ico for the widest compatibility with resource compilers.
convert "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" app.ico
