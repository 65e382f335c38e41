#!/bin/bash
# Draws the installer's pictures with ImageMagick; run once, the results are
# kept in res/:
#   logo.bmp   64 x 64, 24 bits: the product logo
#   menu.bmp   307 x 175, 16 colours (4 bits): the host's menu bar with the
#              plug-in's menu opened and a red arrow at its title
#   SetUp.ico  16, 32 and 48 pixels: the program's icon
# Needs a CJK font (fonts-wqy-microhei).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$here/.." && pwd)
font=${TX_ART_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- Logo: stacked sheets coming out of a printer, on the dialog's green. ---
logo() {  # logo SIZE-INDEPENDENT drawing at 64 px, then scaled
  convert -size 64x64 xc:'rgb(170,210,150)' \
    -fill 'rgb(10,70,40)' -stroke none -draw 'roundrectangle 3,3 60,60 10,10' \
    -fill white -draw 'rectangle 18,9 42,30' \
    -fill 'rgb(225,235,220)' -draw 'rectangle 22,13 46,34' \
    -fill white -draw 'rectangle 14,28 50,46' \
    -fill 'rgb(200,40,30)' -draw 'circle 44,33 46,33' \
    -fill white -draw 'rectangle 19,42 45,56' \
    -stroke 'rgb(10,70,40)' -strokewidth 2 \
    -draw 'line 23,47 41,47' -draw 'line 23,51 37,51' \
    "$1"
}
logo "$tmp/logo.png"
convert "$tmp/logo.png" -alpha off -type TrueColor BMP3:"$out/logo.bmp"
convert "$tmp/logo.png" -alpha off \
  \( -clone 0 -resize 48x48 \) \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
  -delete 0 "$out/SetUp.ico"

# --- Menu picture. ---
bar=21            # menu bar height
bar_top=16        # below a strip of the host's title bar
title_x=150       # left edge of the plug-in's menu title
menu_x=150; menu_w=157
item_h=20
entries=("单张打印到文件" "批量打印到文件" "批量打印到纸张" "信息设置" "自定义格式批量打印到文件")
menu_top=$((bar_top + bar))
menu_h=$((${#entries[@]} * item_h + 6))

draw=(
  -fill 'rgb(0,0,128)' -draw "rectangle 0,0 306,$((bar_top - 1))"
  -fill white -font "$font" -pointsize 11 -draw "text 6,12 'AutoCAD - [Drawing1.dwg]'"
  -fill 'rgb(212,208,200)' -draw "rectangle 0,$bar_top 306,$((bar_top + bar - 1))"
  -fill black -pointsize 12
)
x=4
for item in "参数(P)" "窗口(W)" "帮助(H)"; do
  draw+=(-draw "text $x,$((bar_top + 15)) '$item'")
  x=$((x + 48))
done
# The opened title: pressed, in the highlight colour.
draw+=(
  -fill 'rgb(0,0,128)' -draw "rectangle $title_x,$((bar_top + 1)) $((title_x + 48)),$((bar_top + bar - 2))"
  -fill white -draw "text $((title_x + 6)),$((bar_top + 15)) '批打印'"
  # The drop-down menu with a shadow.
  -fill 'rgb(128,128,128)' -draw "rectangle $((menu_x + 3)),$((menu_top + 3)) $((menu_x + menu_w)),$((menu_top + menu_h + 2))"
  -fill 'rgb(212,208,200)' -stroke 'rgb(64,64,64)' -draw "rectangle $menu_x,$menu_top $((menu_x + menu_w - 3)),$((menu_top + menu_h - 1))"
  -stroke none
)
y=$((menu_top + 3))
for i in "${!entries[@]}"; do
  if [ "$i" -eq 0 ]; then
    draw+=(-fill 'rgb(0,0,128)' -draw "rectangle $((menu_x + 3)),$y $((menu_x + menu_w - 6)),$((y + item_h - 1))"
           -fill white)
  else
    draw+=(-fill black)
  fi
  draw+=(-pointsize 11 -draw "text $((menu_x + 12)),$((y + 14)) '${entries[$i]}'")
  y=$((y + item_h))
done
# Red arrow from the free space on the left up to the title.
tip_x=$((title_x - 2)); tip_y=$((bar_top + bar - 4))
draw+=(
  -stroke 'rgb(230,0,0)' -strokewidth 5 -draw "line 24,160 $((tip_x - 14)),$((tip_y + 18))"
  -stroke none -fill 'rgb(230,0,0)'
  -draw "polygon $tip_x,$tip_y $((tip_x - 26)),$((tip_y + 8)) $((tip_x - 10)),$((tip_y + 26))"
)
convert -size 307x175 xc:'rgb(255,255,255)' "${draw[@]}" "$tmp/menu.png"
convert "$tmp/menu.png" -alpha off -dither None -colors 16 -type Palette BMP3:"$out/menu.bmp"
