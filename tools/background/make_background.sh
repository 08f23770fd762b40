#!/usr/bin/env bash
# Draws the main window's background picture at 96 dpi, res/background.png
# (600 x 400), and the same art at two and three times that size for scaled
# displays, res/background-2x.png and res/background-3x.png: every length,
# stroke and font size multiplied, so the larger ones are drawn, not enlarged.
# 8 bits per channel with alpha. A deep blue field with open radio arcs at
# the top right, clear of the product name and the two lines of text, and a
# calm light panel along the bottom where the progress bar (about y 300-320)
# and the button row (about y 355-390) sit, so both stay easy to read. Needs
# ImageMagick and the Liberation fonts.
#
#   make_background.sh [FOLDER]     (res/ unless given)
set -euo pipefail
folder=${1:-$(dirname "$0")/../../res}
font_bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf

# The radio arcs are rings around the dot at (560, 112) cut to the sector
# from 145 to 215 degrees, the side facing the text: open arcs with square
# ends (ImageMagick strokes an arc or a polyline as a closed outline). The
# sector as a polygon at scale S, reaching beyond the largest ring.
sector() {
  awk -v s="$1" 'BEGIN {
    pi = atan2(0, -1); cx = 560; cy = 112; r = 90
    printf "polygon %.2f,%.2f", cx * s, cy * s
    for (a = 145; a <= 215; a += 35) {
      printf " %.2f,%.2f", (cx + r * cos(a * pi / 180)) * s, (cy + r * sin(a * pi / 180)) * s
    }
  }'
}

ring() {  # ring R S: a circle of radius R around the dot
  echo "circle $((560 * $2)),$((112 * $2)) $(((560 + $1) * $2)),$((112 * $2))"
}

# draw S FILE: the picture at scale S.
draw() {
  local s=$1 out=$2
  convert -size $((600 * s))x$((400 * s)) gradient:'#0b2a4a'-'#1d5f96' \
    \( -size $((600 * s))x$((400 * s)) xc:none -fill none -strokewidth $((3 * s)) \
       -stroke 'rgba(255,255,255,0.45)' -draw "$(ring 22 "$s")" \
       -stroke 'rgba(255,255,255,0.30)' -draw "$(ring 42 "$s")" \
       -stroke 'rgba(255,255,255,0.18)' -draw "$(ring 62 "$s")" \
       \( -size $((600 * s))x$((400 * s)) xc:none -stroke none -fill white -draw "$(sector "$s")" \) \
       -compose DstIn -composite -compose Over \
       -stroke none -fill 'rgba(255,255,255,0.60)' \
       -draw "circle $((560 * s)),$((112 * s)) $((566 * s)),$((112 * s))" \) -composite \
    -fill 'rgba(255,255,255,0.92)' -stroke none \
    -draw "roundrectangle $((18 * s)),$((268 * s)) $((582 * s)),$((392 * s)) $((10 * s)),$((10 * s))" \
    -fill '#e8eef5' -draw "rectangle $((18 * s)),$((268 * s)) $((582 * s)),$((276 * s))" \
    -font "$font_bold" -pointsize $((34 * s)) -fill white -annotate +$((40 * s))+$((78 * s)) 'Tavrolin' \
    -font "$font" -pointsize $((20 * s)) -fill '#cfe3f5' \
    -annotate +$((40 * s))+$((110 * s)) 'Combo Upgrade' \
    -font "$font" -pointsize $((14 * s)) -fill '#cfe3f5' \
    -annotate +$((40 * s))+$((170 * s)) 'Firmware upgrade and RF adjustment for the Tavrolin USB dongle.' \
    -annotate +$((40 * s))+$((194 * s)) 'Plug the dongle in, then press Upgrade or Adjust RF.' \
    -font "$font" -pointsize $((12 * s)) -fill '#4a6178' \
    -annotate +$((40 * s))+$((294 * s)) 'Do not remove the dongle while the firmware is being written.' \
    -define png:color-type=6 -depth 8 -define png:exclude-chunks=date,time "PNG32:$out"
  echo "$out"
}

draw 1 "$folder/background.png"
draw 2 "$folder/background-2x.png"
draw 3 "$folder/background-3x.png"
