#!/usr/bin/env bash
# Regenerates the process manager's button icons (16 x 16, transparent) with
# ImageMagick. The results are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")/../icons"
INK='#2D4C8C'
ico() { local out=$1; shift; convert -size 16x16 xc:none "$@" -define icon:auto-resize=16 "$out"; }
# Magnifier drawn over a picture (find module, find handle).
LENS=(-fill '#D8E8FF' -stroke "$INK" -strokewidth 1.5 -draw "circle 10,10 10,6" -strokewidth 2 -draw "line 13,13 15,15")

# View modules: three stacked blocks.
ico TaskModules.ico -fill '#3A78D8' -stroke "$INK" -draw "rectangle 1,2 11,5" -fill '#5A98E8' -draw "rectangle 3,7 13,10" \
    -fill '#7AB8F8' -draw "rectangle 5,12 15,15"
# Properties: a sheet with lines.
ico TaskProperties.ico -fill white -stroke "$INK" -draw "rectangle 2,1 13,14" \
    -draw "line 4,4 11,4" -draw "line 4,7 11,7" -draw "line 4,10 9,10"
# End process: a red disc with a white cross.
ico TaskEnd.ico -fill '#D03030' -stroke '#801010' -draw "circle 8,8 8,1" \
    -stroke white -strokewidth 2 -draw "line 5,5 11,11" -draw "line 11,5 5,11"
# Find module: a block under a magnifier.
ico TaskFindModule.ico -fill '#3A78D8' -stroke "$INK" -draw "rectangle 0,0 8,5" "${LENS[@]}"
# Find handle: a sheet under a magnifier.
ico TaskFindHandle.ico -fill white -stroke "$INK" -draw "rectangle 0,0 7,9" "${LENS[@]}"
# View handles: a key.
ico TaskHandles.ico -fill '#E8C048' -stroke '#8C6A14' -draw "circle 5,8 5,4" -fill none -draw "circle 5,8 5,7" \
    -fill '#E8C048' -draw "rectangle 8,7 15,9" -draw "rectangle 12,9 13,12" -draw "rectangle 14,9 15,11"
