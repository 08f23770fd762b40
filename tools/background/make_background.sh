#!/usr/bin/env bash
# Draws the main window's background picture, res/background.png: 600 x 400,
# 8 bits per channel with alpha. A deep blue field with soft radio arcs and the
# product name at the top, and a calm light panel along the bottom where the
# progress bar (about y 300-320) and the button row (about y 355-390) sit, so
# both stay easy to read. Needs ImageMagick and the Liberation fonts.
set -euo pipefail
out=${1:-$(dirname "$0")/../../res/background.png}
font_bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf

convert -size 600x400 gradient:'#0b2a4a'-'#1d5f96' \
  \( -size 600x400 xc:none -fill none -strokewidth 3 \
     -stroke 'rgba(255,255,255,0.30)' -draw "arc 490,100 590,200 145,215" \
     -stroke 'rgba(255,255,255,0.20)' -draw "arc 450,60 630,240 145,215" \
     -stroke 'rgba(255,255,255,0.12)' -draw "arc 410,20 670,280 145,215" \
     -stroke none -fill 'rgba(255,255,255,0.55)' -draw "circle 556,150 562,150" \) -composite \
  -fill 'rgba(255,255,255,0.92)' -stroke none \
  -draw "roundrectangle 18,268 582,392 10,10" \
  -fill '#e8eef5' -draw "rectangle 18,268 582,276" \
  -font "$font_bold" -pointsize 34 -fill white -annotate +40+78 'Tavrolin' \
  -font "$font" -pointsize 20 -fill '#cfe3f5' -annotate +40+110 'Combo Upgrade' \
  -font "$font" -pointsize 14 -fill '#cfe3f5' \
  -annotate +40+170 'Firmware upgrade and RF adjustment for the Tavrolin USB dongle.' \
  -annotate +40+194 'Plug the dongle in, then press Upgrade or Adjust RF.' \
  -font "$font" -pointsize 12 -fill '#4a6178' \
  -annotate +40+294 'Do not remove the dongle while the firmware is being written.' \
  -define png:color-type=6 -depth 8 "PNG32:$out"
echo "$out"
