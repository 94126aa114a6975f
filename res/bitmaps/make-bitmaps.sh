#!/usr/bin/env bash
# Regenerates the control library's bitmaps with ImageMagick. The results are
# committed; run this only to change them. 24-bit BMP (version 3 header, as
# the resource compiler wants it). Images drawn with a transparent part use
# magenta (255,0,255) there, drawn without antialiasing so that no edge
# pixel mixes with it; the code takes the top-left pixel as the key.
set -euo pipefail
cd "$(dirname "$0")"
bmp() { local out=$1; shift; convert +antialias "$@" -type TrueColor -alpha off BMP3:"$out"; }
KEY='#FF00FF'
INK='#2D4C8C'      # dark blue of the glyphs
FRAME='#8496C6'    # frame colour of the skin
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# Tab pictures, 24 x 24.
bmp TabStatus.bmp -size 24x24 xc:$KEY -fill '#3C8C3C' -stroke $INK -draw "path 'M12,2 L21,6 L21,12 Q21,19 12,22 Q3,19 3,12 L3,6 Z'" \
    -stroke white -strokewidth 2 -fill none -draw "polyline 8,12 11,15 16,9"
bmp TabLog.bmp -size 24x24 xc:$KEY -fill white -stroke $INK -draw "rectangle 5,2 19,21" \
    -stroke $INK -draw "line 8,7 16,7" -draw "line 8,11 16,11" -draw "line 8,15 16,15" -draw "line 8,18 13,18"
bmp TabSettings.bmp -size 24x24 xc:$KEY -fill '#7A8AB0' -stroke $INK -strokewidth 1 \
    -draw "rectangle 10,1 13,22" -draw "rectangle 1,10 22,13" \
    -draw "translate 12,12 rotate 45 rectangle -2,-11 1,10" -draw "translate 12,12 rotate 45 rectangle -11,-2 10,1" \
    -draw "circle 12,12 12,5" -fill $KEY -draw "circle 12,12 12,9"
bmp TabUpdate.bmp -size 24x24 xc:$KEY -fill '#3A78D8' -stroke $INK -draw "circle 12,12 12,1" \
    -fill white -stroke none -draw "polygon 12,19 6,12 10,12 10,5 14,5 14,12 18,12"
bmp TabHelp.bmp -size 24x24 xc:$KEY -fill '#E8A020' -stroke $INK -draw "circle 12,12 12,1" \
    -fill white -stroke none -font $FONT -pointsize 16 -gravity center -annotate +0+1 '?'

# Caption buttons, 18 x 18: minimise and close, normal and hover.
button() { # file background glyph
    bmp "$1" -size 18x18 xc:"$2" -fill none -stroke $FRAME -draw "rectangle 0,0 17,17" \
        -stroke white -strokewidth 2 -draw "$3"
}
button MinNormal.bmp '#5A78B8' "line 5,12 12,12"
button MinHover.bmp '#7C9AD8' "line 5,12 12,12"
button CloseNormal.bmp '#5A78B8' "line 5,5 12,12 line 12,5 5,12"
button CloseHover.bmp '#D85A5A' "line 5,5 12,12 line 12,5 5,12"

# Skin of the main window: caption band (tiled across), border and client
# background tiles, and the four edges of the tab strip (tiled along it).
bmp SkinCaption.bmp -size 8x24 gradient:'#6E8CCB-#3C5A9C'
bmp SkinBorder.bmp -size 4x4 xc:$FRAME
bmp SkinBackground.bmp -size 8x8 xc:'#EFF3F7'
bmp TabEdgeTop.bmp -size 8x4 gradient:'#D6DEF7-#EFF3F7'
bmp TabEdgeBottom.bmp -size 8x4 gradient:'#EFF3F7-#D6DEF7'
bmp TabEdgeLeft.bmp -size 8x4 gradient:'#D6DEF7-#EFF3F7' -rotate 90
bmp TabEdgeRight.bmp -size 8x4 gradient:'#EFF3F7-#D6DEF7' -rotate 90
