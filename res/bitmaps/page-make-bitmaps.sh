#!/usr/bin/env bash
# Regenerates the status page's bitmaps with ImageMagick. The results are
# committed; run this only to change them. 24-bit BMP (version 3 header, as
# the resource compiler wants it), drawn on the colour of the place where the
# page shows them (the static control paints the whole bitmap).
set -euo pipefail
cd "$(dirname "$0")"
bmp() { local out=$1; shift; convert "$@" -type TrueColor -alpha off BMP3:"$out"; }
INK='#2D4C8C'
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# Help icon on the help band (RGB FF FF E7), 16 x 16.
bmp page-help.bmp -size 16x16 xc:'#FFFFE7' -fill '#3A78D8' -stroke $INK -draw "circle 7.5,7.5 7.5,0.5" \
    -fill white -stroke none -font $FONT -pointsize 12 -gravity center -annotate +0+0 '?'

# State icons on white, 16 x 16: on (green tick) and off (red bar).
bmp page-state-on.bmp -size 16x16 xc:white -fill '#3C9C3C' -stroke '#2A6E2A' -draw "circle 7.5,7.5 7.5,0.5" \
    -stroke white -strokewidth 2 -fill none -draw "polyline 4,8 7,11 12,5"
bmp page-state-off.bmp -size 16x16 xc:white -fill '#D04040' -stroke '#8C2A2A' -draw "circle 7.5,7.5 7.5,0.5" \
    -stroke white -strokewidth 2 -fill none -draw "line 4,8 11,8"

# Block counter icon on white, 16 x 16: a shield.
bmp page-counter.bmp -size 16x16 xc:white -fill '#3A78D8' -stroke $INK \
    -draw "path 'M8,1 L14,3 L14,8 Q14,13 8,15 Q2,13 2,8 L2,3 Z'" \
    -stroke white -strokewidth 1.5 -fill none -draw "polyline 5,8 7,10 11,6"
