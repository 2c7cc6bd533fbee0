#!/usr/bin/env bash
# Writes the demo's show document: thirteen slides, most with a picture drawn here by
# ImageMagick from the commands below (gradients, seeded plasma, shapes, rendered
# text), carried inside the document as base64, as the player reads it.
#
#   scripts/demo-show.sh OUTPUT WORKFOLDER
#
# The same commands give the same bytes: plasma takes a fixed seed and the PNG files
# carry no time chunks, so the show can be made again and compared.
set -euo pipefail
output=$1
work=$2
mkdir -p "$work"

W=960
H=720
font=DejaVu-Sans # ImageMagick's own default font is not installed on Debian
bold=DejaVu-Sans-Bold
fixed=(-define png:exclude-chunk=date,time +set date:create +set date:modify)

picture() { # name, then ImageMagick's arguments up to the output
  local name=$1
  shift
  convert "$@" "${fixed[@]}" "$work/$name"
}

picture heading.png -size ${W}x$H gradient:'#0d1524-#3b6fb5' \
  -font $bold -pointsize 120 -fill white -gravity center -annotate +0-50 'Tarnby' \
  -font $font -pointsize 48 -fill '#f2a63b' -annotate +0+70 'quarterly review'
picture colour.png -size ${W}x$H -seed 11 plasma:'#1d3a6b-#f2a63b'
picture bars.png -size ${W}x$H xc:'#f4f1ea' -stroke '#333333' -strokewidth 4 \
  -fill '#3b6fb5' -draw 'rectangle 100,480 240,640' -fill '#f2a63b' -draw 'rectangle 310,360 450,640' \
  -fill '#2e8b57' -draw 'rectangle 520,240 660,640' -fill '#c0392b' -draw 'rectangle 730,140 870,640' \
  -draw 'line 70,640 900,640' -stroke none -fill '#333333' -font $font -pointsize 36 \
  -annotate +140+690 'Q1' -annotate +350+690 'Q2' -annotate +560+690 'Q3' -annotate +770+690 'Q4'
picture shares.png -size ${W}x$H xc:white -stroke white -strokewidth 6 \
  -fill '#3b6fb5' -draw "path 'M 480,360 L 480,80 A 280,280 0 0,1 747,446 Z'" \
  -fill '#f2a63b' -draw "path 'M 480,360 L 747,446 A 280,280 0 0,1 288,564 Z'" \
  -fill '#2e8b57' -draw "path 'M 480,360 L 288,564 A 280,280 0 0,1 480,80 Z'"
picture growth.png -size ${W}x$H gradient:'#ffffff-#dfe8f3' -stroke '#c0392b' -strokewidth 10 \
  -draw 'line 60,620 200,560' -draw 'line 200,560 340,590' -draw 'line 340,590 480,430' \
  -draw 'line 480,430 620,380' -draw 'line 620,380 760,250' -draw 'line 760,250 900,120' \
  -stroke '#3b6fb5' -strokewidth 3 -draw 'line 60,660 900,660' -draw 'line 60,660 60,60'
picture regions.png -size ${W}x$H xc:'#e8eef5' -stroke '#1d3a6b' -strokewidth 5 \
  -fill '#f2a63b' -draw 'circle 250,250 250,120' -fill '#2e8b57' -draw 'circle 650,220 650,120' \
  -fill '#3b6fb5' -draw 'circle 480,500 480,330' -stroke none -fill white -font $bold -pointsize 40 \
  -annotate +200+265 'North' -annotate +605+235 'East' -annotate +430+515 'South'
picture texture.png -size ${W}x$H -seed 7 plasma:fractal -blur 0x1.5
picture launch.png -size ${W}x$H radial-gradient:'#f2a63b-#1d3a6b' -fill white -stroke '#1d3a6b' \
  -strokewidth 6 -draw 'polygon 480,90 560,420 480,370 400,420' -fill '#c0392b' -stroke none \
  -draw 'polygon 440,420 480,560 520,420'
picture roadmap.png -size ${W}x$H xc:'#f4f1ea' -stroke none -font $bold -pointsize 40 \
  -fill '#3b6fb5' -draw 'rectangle 40,300 230,420' -fill '#f2a63b' -draw 'rectangle 270,300 460,420' \
  -fill '#2e8b57' -draw 'rectangle 500,300 690,420' -fill '#c0392b' -draw 'rectangle 730,300 920,420' \
  -fill white -annotate +95+375 'Plan' -annotate +320+375 'Build' -annotate +555+375 'Test' \
  -annotate +775+375 'Ship'
picture team.png -size ${W}x$H gradient:'#2c3e5c-#0d1524' -stroke white -strokewidth 4 \
  -fill '#3b6fb5' -draw 'circle 240,240 240,150' -fill '#f2a63b' -draw 'circle 480,240 480,150' \
  -fill '#2e8b57' -draw 'circle 720,240 720,150' -fill '#c0392b' -draw 'circle 360,500 360,410' \
  -fill '#8e44ad' -draw 'circle 600,500 600,410'
picture summer.jpg -size ${W}x$H -seed 23 plasma:'#ffd166-#ef476f' -quality 90
picture next.png -size ${W}x$H pattern:checkerboard -fill '#1d3a6bcc' -draw "rectangle 0,240 $W,480" \
  -font $bold -pointsize 96 -fill white -gravity center -annotate +0+0 'Next year'

# The show: a slide is "= title", its text, and "@picture file" for a picture, which
# is written into the document as the player's @picture block.
show_source() {
  cat <<'SHOW'
# The demo show: thirteen slides with pictures drawn by scripts/demo-show.sh.
@title Tarnby quarterly review
@duration 1.5
= Welcome
Quarterly review, as a self-running show
- one signed program: launcher, document and player
- nothing to install, nothing left behind
@picture heading.png
= The quarter in colour
@picture colour.png
= Figures
- visitors up 12%
- shows started: 4,210
- every quarter better than the last
@picture bars.png
= Where shows are watched
- desktops 52%
- meeting rooms 31%
- kiosks 17%
@picture shares.png
= Growth
Downloads per week, from January to December
@picture growth.png
= Regions
- North leads
- East doubled
- South steady
@picture regions.png
= A texture of the quarter
@picture texture.png
= Launch
The new launcher shipped in week 40.
@picture launch.png
= Roadmap
Plan, build, test, ship: every quarter.
@picture roadmap.png
= The team
Five people, one product.
@picture team.png
= Summer
@picture summer.jpg
= Next year
@picture next.png
= Thank you
Questions welcome.
SHOW
}

while IFS= read -r line; do
  if [[ $line == "@picture "* ]]; then
    echo "@picture"
    base64 -w 76 "$work/${line#@picture }"
    echo "@end"
  else
    printf '%s\n' "$line"
  fi
done < <(show_source) > "$output"
