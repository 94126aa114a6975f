#!/usr/bin/env bash
# Regenerates the update page's row pictures and the main window's built-in
# animated picture with ImageMagick. The results are committed; run this only
# to change them.
#   update-states.bmp   four 16 x 16 row pictures side by side (queued,
#                       downloading, failed, done) on magenta (transparent),
#                       24-bit BMP version 3 as the resource compiler wants it
#   promo.gif           the picture shown before any feed: four frames
set -euo pipefail
cd "$(dirname "$0")"
KEY='#FF00FF'
INK='#2D4C8C'
FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

convert +antialias -size 64x16 xc:$KEY \
    -fill '#B8C0D0' -stroke '#6C7890' -draw "circle 7,7 7,1" -stroke $INK -draw "line 7,7 7,3" -draw "line 7,7 10,8" \
    -fill '#3A78D8' -stroke $INK -draw "polygon 23,13 18,8 21,8 21,2 25,2 25,8 28,8" \
    -fill '#D04040' -stroke '#8C2A2A' -draw "circle 39,7 39,1" -stroke white -strokewidth 2 \
        -draw "line 36,4 42,10" -draw "line 42,4 36,10" \
    -fill '#3C9C3C' -stroke '#2A6E2A' -strokewidth 1 -draw "circle 55,7 55,1" -stroke white -strokewidth 2 -fill none \
        -draw "polyline 52,8 54,10 58,5" \
    -type TrueColor -alpha off BMP3:update-states.bmp

# A shield on the caption blue with a light that sweeps across it.
frames=()
for i in 0 1 2 3; do
    x=$((14 + i * 30))
    f=promo-$i.gif
    convert -size 117x88 gradient:'#6E8CCB-#3C5A9C' \
        -fill '#FFFFFF30' -stroke none -draw "rectangle $x,0 $((x + 16)),88" \
        -fill '#3C8C3C' -stroke white -strokewidth 2 -draw "path 'M58,10 L80,19 L80,40 Q80,62 58,72 Q36,62 36,40 L36,19 Z'" \
        -stroke white -strokewidth 4 -fill none -draw "polyline 47,41 55,49 70,32" \
        -font $FONT -fill white -stroke none -pointsize 11 -gravity south -annotate +0+3 'Harrowmere' "$f"
    frames+=("$f")
done
convert -delay 40 -loop 0 "${frames[@]}" -layers Optimize promo.gif
rm -f "${frames[@]}"
