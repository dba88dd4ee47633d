# Whether a picture of the launcher's ready screen shows text. Its status rows and its headline are
# drawn in cream (0xF1E6C0) on dark panels where nothing else has that colour (the embers are
# orange), so counting cream pixels there tells text from none: a ready screen measured 600-850
# in the rows and 120-150 in the headline at 96 DPI, with Tahoma or with a fallback font, and 0
# when no font could be made. Sourced by scripts/demo and the font fallback test.
# Needs ImageMagick's /usr/bin/convert (another "convert" may come first in PATH).

# qv_cream_pixels PNG GEOMETRY: pixels within 20 % of the cream in the rectangle WxH+X+Y of PNG.
qv_cream_pixels() {
  /usr/bin/convert "$1" -crop "$2" +repage -alpha off -fuzz 20% -fill white -opaque '#F1E6C0' \
    -fill black +opaque white -format '%[fx:round(mean*w*h)]' info:
}

# qv_design_rect LEFT TOP PERCENT W H X Y: the geometry WxH+X+Y of a design rectangle in a picture
# where the window starts at (LEFT, TOP) and is drawn at PERCENT of its design size.
qv_design_rect() {
  local left=$1 top=$2 p=$3
  echo "$(($4 * p / 100))x$(($5 * p / 100))+$((left + $6 * p / 100))+$((top + $7 * p / 100))"
}

# qv_ready_screen_has_text PNG LEFT TOP PERCENT: 0 when the ready screen whose window starts at
# (LEFT, TOP) in PNG, drawn at PERCENT of its design size, carries text in its four status rows and
# in its headline; prints what it counted.
qv_ready_screen_has_text() {
  local png=$1 left=$2 top=$3 percent=$4 rows headline
  rows=$(qv_cream_pixels "$png" "$(qv_design_rect "$left" "$top" "$percent" 400 108 522 258)") || return 1
  headline=$(qv_cream_pixels "$png" "$(qv_design_rect "$left" "$top" "$percent" 560 22 38 428)") || return 1
  echo "text pixels in $(basename "$png"): status rows $rows, headline $headline"
  # A quarter of what text gives, scaled with the area.
  [ "$rows" -ge $((150 * percent * percent / 10000)) ] && [ "$headline" -ge $((30 * percent * percent / 10000)) ]
}
