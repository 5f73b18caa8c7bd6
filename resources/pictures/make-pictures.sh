#!/usr/bin/env bash
# Draws the main window's status pictures with ImageMagick: a film screen for
# the video panel (100 active, 101 idle) and a speaker for the audio panels
# (200 kept, 201 idle, 202 dropped). 48x48, transparent background.
# The PNGs are committed; run this only to change them. The packet editor's
# search arrows come from make-arrows.py (no ImageMagick needed).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

screen() { # out, frame colour, screen colour
    convert -size 48x48 xc:none \
        -fill "$2" -stroke "#202020" -strokewidth 1 -draw "roundrectangle 3,8 44,38 4,4" \
        -fill "$3" -stroke none -draw "rectangle 7,12 40,34" \
        -fill "$2" -draw "polygon 18,38 30,38 33,44 15,44" \
        -fill white -draw "polygon 20,17 20,29 30,23" \
        -define png:color-type=6 "$1"
}

speaker() { # out, body colour, waves colour, crossed
    local args=(-size 48x48 xc:none
        -fill "$2" -stroke "#202020" -strokewidth 1 -draw "polygon 6,18 14,18 25,8 25,40 14,30 6,30"
        -fill none -stroke "$3" -strokewidth 3 -draw "arc 20,14 36,34 -50,50" -draw "arc 22,8 44,40 -50,50")
    if [ "$4" = yes ]; then
        args+=(-stroke "#d01010" -strokewidth 4 -draw "line 8,8 42,42")
    fi
    convert "${args[@]}" -define png:color-type=6 "$1"
}

screen 100.png "#3a6ea5" "#1c3f66"
screen 101.png "#a0a0a0" "#707070"
speaker 200.png "#3a6ea5" "#3a6ea5" no
speaker 201.png "#a0a0a0" "#b0b0b0" no
speaker 202.png "#a0a0a0" "#b0b0b0" yes

# The about box's picture: a quiet gradient with the program's name.
convert -size 360x200 gradient:"#1c3f66"-"#3a6ea5" \
    -fill white -font DejaVu-Sans-Bold -pointsize 40 -gravity north -annotate +0+40 "Tarnwick" \
    -fill "#d8e4f0" -font DejaVu-Sans -pointsize 14 -gravity north -annotate +0+96 "DVB recording check and repair" \
    -define png:color-type=2 about.png
