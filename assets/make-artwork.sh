#!/bin/bash
# Regenerates all of Abacorn's artwork in this directory.
#
# Needs ImageMagick 6 (`convert`, Debian package "imagemagick") and, for the
# nicest lettering, the Comic Neue font (Debian package "fonts-comic-neue");
# DejaVu Sans Bold is used when Comic Neue is missing.
#
# Usage: ./make-artwork.sh        (run from anywhere; writes next to itself)
#
# Most pictures are drawn at a multiple of their final size and scaled down
# with a box filter, which gives clean anti-aliased edges.  The output is
# deterministic: PNG time stamps are left out.

set -euo pipefail

cd "$(dirname "$0")"

command -v convert >/dev/null || { echo "ImageMagick 'convert' is needed" >&2; exit 1; }

pick_font() {
    local f
    for f in "$@"; do
        if convert -list font | grep -q "Font: $f\$"; then
            echo "$f"
            return
        fi
    done
    echo "DejaVu-Sans"
}
FONT=$(pick_font Comic-Neue-Bold DejaVu-Sans-Bold)

# Colours shared by several pictures.
LAVENDER='rgb(192,192,255)'   # the panel colour behind speaker and buttons
INK='rgb(16,16,16)'           # "black" for signs and outlines
CHALK='rgb(250,250,240)'      # off-white: never the transparent GIF white

# PNG files must not carry creation/modification times.
PNG_OPTS=(-define png:exclude-chunks=date,time +set date:create +set date:modify)

# ---------------------------------------------------------------------------
# Operation signs: 32x32 24-bit BMP.  Drawn at 256x256 (8x) and boxed down,
# so the 8 px frame becomes exactly one darker pixel.
# ---------------------------------------------------------------------------
sign() {   # sign <file> <fill colour> <border colour> <draw commands...>
    local out=$1 fill=$2 border=$3
    shift 3
    convert -size 256x256 "xc:$border" \
        -fill "$fill" -draw "rectangle 8,8 247,247" \
        -fill "$INK" -stroke none "$@" \
        -filter Box -resize 32x32 \
        -alpha off -type TrueColor "BMP3:$out"
}

# Plus: two bars 48 px (6 px after scaling) thick.
sign plus.bmp 'rgb(0,215,235)' 'rgb(0,120,140)' \
    -draw "rectangle 40,104 215,151" \
    -draw "rectangle 104,40 151,215"

# Minus: one bar, same thickness as the plus.
sign minus.bmp 'rgb(0,150,140)' 'rgb(0,85,80)' \
    -draw "rectangle 40,104 215,151"

# Times: two crossed bars with square ends.
sign times.bmp 'rgb(235,45,45)' 'rgb(140,20,20)' \
    -stroke "$INK" -strokewidth 50 -draw "line 56,56 199,199" \
    -draw "line 56,199 199,56"

# Divide: one slanted bar, lower left to upper right.
sign divide.bmp 'rgb(255,220,0)' 'rgb(170,135,0)' \
    -stroke "$INK" -strokewidth 50 -draw "line 78,212 177,43"

# ---------------------------------------------------------------------------
# Speech on/off: 68x61 JPEG on the lavender panel colour.  Drawn at 4x.
# ---------------------------------------------------------------------------
SPEAKER=(
    -stroke "$INK" -strokewidth 8 -draw "stroke-linejoin round"
    -fill 'rgb(70,70,110)'  -draw "roundrectangle 34,88 88,156 6,6"
    -fill 'rgb(95,95,150)'  -draw "polygon 88,88 140,46 140,198 88,156"
    -stroke none -fill 'rgb(150,150,205)' -draw "polygon 96,96 132,66 132,86 96,112"
)
# A thick arc to the right of (cx,cy) with round ends, as a filled shape
# (stroking an open path closes it in some ImageMagick 6 versions).
# wave <cx> <cy> <radius> <width> <half angle in degrees>
wave() {
    awk -v cx="$1" -v cy="$2" -v r="$3" -v w="$4" -v a="$5" 'BEGIN {
        t = a * atan2(0, -1) / 180; c = cos(t); s = sin(t)
        ro = r + w / 2; ri = r - w / 2
        printf "path \x27M %.1f,%.1f A %.1f,%.1f 0 0,1 %.1f,%.1f ", cx + ro*c, cy - ro*s, ro, ro, cx + ro*c, cy + ro*s
        printf "L %.1f,%.1f A %.1f,%.1f 0 0,0 %.1f,%.1f Z\x27 ", cx + ri*c, cy + ri*s, ri, ri, cx + ri*c, cy - ri*s
        printf "circle %.1f,%.1f %.1f,%.1f ", cx + r*c, cy - r*s, cx + r*c + w/2, cy - r*s
        printf "circle %.1f,%.1f %.1f,%.1f", cx + r*c, cy + r*s, cx + r*c + w/2, cy + r*s
    }'
}
WAVES=(
    -stroke none -fill "$INK"
    -draw "$(wave 140 122 34 14 50)"
    -draw "$(wave 140 122 70 14 48)"
    -draw "$(wave 140 122 106 14 46)"
)
speaker() {   # speaker <file> <draw commands...>
    local out=$1
    shift
    convert -size 272x244 "xc:$LAVENDER" "$@" \
        -filter Box -resize 68x61 \
        -alpha off -sampling-factor 1x1 -quality 95 "JPEG:$out"
}
speaker speaker_on.jpg "${SPEAKER[@]}" "${WAVES[@]}"
speaker speaker_off.jpg "${SPEAKER[@]}" \
    -fill none -stroke 'rgb(120,0,0)' -strokewidth 30 -draw "stroke-linecap round" \
    -draw "line 28,40 200,208" \
    -stroke 'rgb(230,20,20)' -strokewidth 20 -draw "line 28,40 200,208"

# ---------------------------------------------------------------------------
# Button face: 90x39 24-bit BMP, rounded, corners in the panel colour.
# Drawn at 4x: dark rim, face, soft highlight on the upper half.
# ---------------------------------------------------------------------------
convert -size 360x156 "xc:$LAVENDER" \
    -fill 'rgb(90,90,175)'  -draw "roundrectangle 0,0 359,155 44,44" \
    -fill 'rgb(150,150,230)' -draw "roundrectangle 8,8 351,147 36,36" \
    \( -size 360x156 xc:none \
       -fill 'rgba(205,205,250,0.85)' -draw "roundrectangle 22,16 337,76 28,28" \
       -blur 0x6 \) -composite \
    \( -size 360x156 xc:none \
       -fill 'rgba(110,110,200,0.6)' -draw "roundrectangle 22,118 337,140 10,10" \
       -blur 0x5 \) -composite \
    -filter Box -resize 90x39 \
    -alpha off -type TrueColor BMP3:button.bmp

echo "done (font: $FONT)"
