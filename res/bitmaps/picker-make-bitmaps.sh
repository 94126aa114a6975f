#!/usr/bin/env bash
# Regenerates the registry picker's pictures with ImageMagick. The results are
# committed; run this only to change them. The strip is a 24-bit BMP (version
# 3 header) on magenta, which the image list masks out; the two value icons
# are 16 x 16 icon files.
set -euo pipefail
cd "$(dirname "$0")"
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
MAGENTA='#FF00FF'

# Three 16 x 16 pictures side by side: closed key, open key, computer.
convert -size 16x16 xc:$MAGENTA -fill '#E8C048' -stroke '#8C6A14' \
    -draw "path 'M1,3 L6,3 L7,5 L14,5 L14,13 L1,13 Z'" closed.png
convert -size 16x16 xc:$MAGENTA -fill '#F4D878' -stroke '#8C6A14' \
    -draw "path 'M1,3 L6,3 L7,5 L13,5 L13,7 L4,7 L1,13 Z'" \
    -fill '#FBE9A8' -draw "path 'M4,7 L15,7 L12,13 L1,13 Z'" open.png
convert -size 16x16 xc:$MAGENTA -fill '#C8D4E8' -stroke '#2D4C8C' -draw "rectangle 1,1 14,10" \
    -fill '#3A78D8' -stroke none -draw "rectangle 3,3 12,8" \
    -fill '#808890' -draw "rectangle 6,11 9,12" -draw "rectangle 3,13 12,14" computer.png
convert closed.png open.png computer.png +append -type TrueColor -alpha off BMP3:picker-keys.bmp
rm -f closed.png open.png computer.png

# Value pictures: text values ("ab", red) and other values ("01", blue).
convert -size 16x16 xc:white -fill white -stroke '#808080' -draw "rectangle 0,1 15,14" \
    -fill '#C02020' -stroke none -font $FONT -pointsize 9 -gravity center -annotate +0+0 'ab' \
    -define icon:auto-resize=16 ../icons/ValueText.ico
convert -size 16x16 xc:white -fill white -stroke '#808080' -draw "rectangle 0,1 15,14" \
    -fill '#2050C0' -stroke none -font $FONT -pointsize 8 -gravity center -annotate +0+0 '01' \
    -define icon:auto-resize=16 ../icons/ValueOther.ico
