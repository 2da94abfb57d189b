#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates all of Abacorn's artwork in this directory.
#
# Needs ImageMagick 6 (`convert`, Debian package "imagemagick") and, for the
# nicest lettering, the Comic Neue font (Debian package "fonts-comic-neue");
# DejaVu Sans Bold is used when Comic Neue is missing.
#
# Usage: ./make-artwork.sh        (run from anywhere; writes next to itself)
#        ./make-artwork.sh --web-icons DIR
#                                  (only the icon at 192 and 512 px, for the
#                                  browser build, into DIR; nothing else)
#        ./make-artwork.sh --web-3x DIR
#                                  (the window's pictures at three times
#                                  their size, for the browser build, into
#                                  DIR as PNG, JPEG and GIF; nothing else)
#
# The signs, speaker and button are drawn at a multiple of their final size
# and scaled down with a box filter, which gives clean anti-aliased edges.
# Running it again gives byte-identical files (PNG time stamps are left out).

set -euo pipefail

WEB_ICONS="" WEB_3X=""
X=1  # the pictures' scale
if [[ ${1:-} == --web-icons ]]; then
    [[ $# == 2 ]] || { echo "usage: $0 [--web-icons DIR | --web-3x DIR]" >&2; exit 2; }
    WEB_ICONS=$(realpath -m "$2")
elif [[ ${1:-} == --web-3x ]]; then
    [[ $# == 2 ]] || { echo "usage: $0 [--web-icons DIR | --web-3x DIR]" >&2; exit 2; }
    WEB_3X=$(realpath -m "$2")
    X=3
    mkdir -p "$WEB_3X"
fi

cd "$(dirname "$0")"

command -v convert >/dev/null || { echo "ImageMagick 'convert' is needed" >&2; exit 1; }

pick_font() {
    local f
    for f in "$@"; do
        # Not "grep -q": it would stop reading early, and with pipefail the
        # resulting SIGPIPE in convert would count as "font not found".
        if convert -list font | grep "Font: $f\$" >/dev/null; then
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
# The acorns: Quilla and the icon.
OUTLINE='rgb(85,45,15)'
SKIN='rgb(238,172,80)'
CAP='rgb(150,90,42)'
HATCH='rgb(112,64,26)'

# PNG files must not carry creation/modification times.
PNG_OPTS=(-define png:exclude-chunks=date,time +set date:create +set date:modify)

# The program icon's 512x512 master, transparent around the acorn; below.
icon_master() {   # icon_master <file.png>
    local i icon_hatch=()
    for ((i = -200; i <= 600; i += 60)); do
        icon_hatch+=(-draw "line $i,40 $((i + 200)),240" -draw "line $((i + 200)),40 $i,240")
    done

    convert -size 512x512 xc:none \
        -stroke "$OUTLINE" -strokewidth 18 -fill 'rgb(120,70,30)' \
        -draw "roundrectangle 234,12 278,100 16,16" \
        -fill 'rgb(240,176,72)' \
        -draw "path 'M 70,160 C 62,380 186,474 256,502 C 326,474 450,380 442,160 Z'" \
        \( -size 512x512 xc:none -fill "$CAP" -draw "ellipse 256,142 220,84 0,360" \
           -stroke "$HATCH" -strokewidth 12 "${icon_hatch[@]}" \
           \( -size 512x512 xc:none -fill black -draw "ellipse 256,142 220,84 0,360" \) \
           -compose DstIn -composite -compose Over \) -composite \
        -fill none -stroke "$OUTLINE" -strokewidth 18 -draw "ellipse 256,142 220,84 0,360" \
        -stroke 'rgb(170,30,30)' -strokewidth 10 -fill 'rgb(170,30,30)' \
        -font "$FONT" -pointsize 190 \
        -gravity center -annotate +0+66 '1+1' +gravity \
        "PNG32:$1"
}

if [[ -n $WEB_ICONS ]]; then
    mkdir -p "$WEB_ICONS"
    master=$(mktemp --suffix=.png)
    trap 'rm -f "$master"' EXIT
    icon_master "$master"
    for size in 192 512; do
        convert "$master" -filter Triangle -resize "${size}x${size}" \
            "${PNG_OPTS[@]}" "PNG32:$WEB_ICONS/abacorn-$size.png"
    done
    exit 0
fi

# Where a picture goes: its file beside this script, or at three times its
# size into the browser's folder, a BMP there as PNG.
# picture_out <format> <file>
picture_out() {
    if [[ -z $WEB_3X ]]; then
        echo "$1:$2"
    elif [[ $1 == BMP3 ]]; then
        echo "PNG24:$WEB_3X/${2%.bmp}.png"
    else
        echo "$1:$WEB_3X/$2"
    fi
}

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
        -filter Box -resize $((32 * X))x$((32 * X)) \
        -alpha off -type TrueColor "${PNG_OPTS[@]}" "$(picture_out BMP3 "$out")"
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
        -filter Box -resize $((68 * X))x$((61 * X)) \
        -alpha off -sampling-factor 1x1 -quality 95 "$(picture_out JPEG "$out")"
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
    -filter Box -resize $((90 * X))x$((39 * X)) \
    -alpha off -type TrueColor "${PNG_OPTS[@]}" "$(picture_out BMP3 button.bmp)"

# ---------------------------------------------------------------------------
# Quilla, the acorn who writes the sums: 199x272 GIF, white is transparent.
#
# Drawn on a transparent canvas so the coverage of every pixel is known.
# Edge pixels are then made either fully opaque (in their own colour) or
# fully transparent, so no pale fringe shows on a coloured panel.  None of
# the colours below is pure white; only the background becomes white.
#
# The window shows the caption "Quilla writes ..." under the right half of
# this picture, so the band x >= 95, 160 <= y <= 196 must stay empty: the
# slate fills the top, Quilla stands in the lower left with both arms up,
# and two little counting acorns sit in the lower right, below the caption.
# ---------------------------------------------------------------------------
# Quilla herself is drawn at a larger size on her own layer and then scaled
# by QS, with (100,0) moved to (QX,QY).  Line widths on that layer are
# divided by QS so they keep their weight in the final picture.
QS=0.66 QX=48 QY=92
lw() { awk -v w="$1" -v s="$QS" 'BEGIN { printf "%.2f", w / s }'; }

# Criss-cross lines for the cap's scales.
hatch=()
for ((i = -80; i <= 200; i += 14)); do
    hatch+=(-draw "line $i,120 $((i + 60)),200" -draw "line $((i + 60)),120 $i,200")
done

# An arm in final coordinates: a two-piece line with a rounded elbow,
# outlined, with a hand on the end.  Appends the drawing options to ARMS.
# arm <x1> <y1> <x2> <y2> <x3> <y3>
ARMS=()
arm() {
    local x1=$1 y1=$2 x2=$3 y2=$4 x3=$5 y3=$6
    ARMS+=(-stroke "$OUTLINE" -strokewidth 10
        -draw "line $x1,$y1 $x2,$y2" -draw "line $x2,$y2 $x3,$y3"
        -stroke none -fill "$OUTLINE" -draw "circle $x2,$y2 $((x2 + 4)),$y2"
        -stroke "$SKIN" -strokewidth 5.5
        -draw "line $x1,$y1 $x2,$y2" -draw "line $x2,$y2 $x3,$y3"
        -stroke none -fill "$SKIN" -draw "circle $x2,$y2 $((x2 + 2)),$y2"
        -stroke "$OUTLINE" -strokewidth 2 -fill "$SKIN"
        -draw "circle $x3,$y3 $((x3 + 7)),$y3")
}
arm 76 214 86 172 80 128   # writing arm, hand at the slate
arm 20 214 8 176 14 132    # waving arm

# A little counting acorn, final coordinates, top of the stem at (cx,ty).
# Appends the drawing options to NUTS.
NUTS=()
nut() {
    local cx=$1 ty=$2
    NUTS+=(-stroke "$OUTLINE" -strokewidth 2 -fill 'rgb(120,70,30)'
        -draw "roundrectangle $((cx - 2)),$ty $((cx + 2)),$((ty + 8)) 1,1"
        -fill "$SKIN"
        -draw "path 'M $((cx - 13)),$((ty + 14)) C $((cx - 14)),$((ty + 36)) $((cx - 4)),$((ty + 42)) $cx,$((ty + 44)) C $((cx + 4)),$((ty + 42)) $((cx + 14)),$((ty + 36)) $((cx + 13)),$((ty + 14)) Z'"
        -fill "$CAP" -draw "ellipse $cx,$((ty + 13)) 16,8 0,360"
        -stroke none -fill 'rgb(250,200,130)'
        -draw "ellipse $((cx - 6)),$((ty + 26)) 2.5,5 0,360")
}
nut 128 220
nut 168 220

# quilla <scale> <output>: drawn in the final coordinates, times the scale.
quilla() {
    local x=$1 out=$2
    convert -size $((199 * x))x$((272 * x)) xc:none -affine "$x,0,0,$x,0,0" \
        -stroke 'rgb(90,50,20)' -strokewidth 2 -fill 'rgb(196,128,62)' \
        -draw "roundrectangle 4,6 194,106 9,9" \
        -stroke 'rgb(30,52,42)' -strokewidth 1.5 -fill 'rgb(46,86,70)' \
        -draw "rectangle 14,16 184,96" \
        -stroke 'rgb(70,108,92)' -strokewidth 3 -fill none \
        -draw "line 26,84 58,80" -draw "line 128,26 170,22" -draw "line 140,88 160,86" \
        -stroke none -fill "$CHALK" -font "$FONT" -pointsize $((42 * x)) \
        -gravity center -annotate +0-$((80 * x)) '1 + 1 = 2' +gravity -affine "$x,0,0,$x,0,0" \
        -stroke 'rgb(120,120,110)' -strokewidth 7 -draw "line 82,122 90,99" \
        -stroke "$CHALK" -strokewidth 4 -draw "line 82,122 90,99" \
        "${ARMS[@]}" \
        \( -size $((199 * x))x$((272 * x)) xc:none -affine "$x,0,0,$x,0,0" \
           -stroke "$OUTLINE" -strokewidth "$(lw 2.5)" -fill 'rgb(150,88,38)' \
           -draw "ellipse 80,262 13,7 0,360" -draw "ellipse 120,262 13,7 0,360" \
           -fill "$SKIN" \
           -draw "path 'M 44,168 C 40,236 80,262 100,266 C 120,262 160,236 156,168 Z'" \
           \( -size $((199 * x))x$((272 * x)) xc:none -affine "$x,0,0,$x,0,0" -fill "$CAP" -draw "ellipse 100,160 64,28 0,360" \
              -stroke "$HATCH" -strokewidth "$(lw 1.5)" "${hatch[@]}" \
              \( -size $((199 * x))x$((272 * x)) xc:none -affine "$x,0,0,$x,0,0" -fill black -draw "ellipse 100,160 64,28 0,360" \) \
              -compose DstIn -composite -compose Over \) -composite -affine "$x,0,0,$x,0,0" \
           -fill none -stroke "$OUTLINE" -strokewidth "$(lw 2.5)" \
           -draw "ellipse 100,160 64,28 0,360" \
           -fill 'rgb(120,70,30)' -draw "roundrectangle 94,112 106,134 4,4" \
           -stroke "$OUTLINE" -strokewidth "$(lw 2)" -fill "$CHALK" \
           -draw "ellipse 84,208 9,11 0,360" -draw "ellipse 116,208 9,11 0,360" \
           -stroke none -fill 'rgb(30,20,10)' \
           -draw "circle 86,210 86,215" -draw "circle 118,210 118,215" \
           -fill "$CHALK" -draw "circle 88,207 88,209.5" -draw "circle 120,207 120,209.5" \
           -fill 'rgb(250,140,140)' \
           -draw "ellipse 68,228 7,5 0,360" -draw "ellipse 132,228 7,5 0,360" \
           -stroke "$OUTLINE" -strokewidth "$(lw 2)" -fill 'rgb(160,40,40)' \
           -draw "path 'M 86,225 A 14,13 0 0,0 114,225 Z'" \
           -stroke none -fill 'rgb(240,110,120)' -draw "ellipse 100,234 7,3.5 0,360" \
           +affine -virtual-pixel transparent -distort SRT "$((100 * x)),0 $QS 0 $((QX * x)),$((QY * x))" \) \
        -composite -affine "$x,0,0,$x,0,0" \
        "${NUTS[@]}" \
        -channel A -threshold 50% +channel \
        -background white -alpha remove -alpha off \
        +dither -colors 255 -transparent white -transparent-color white \
        "$out"
}
quilla "$X" "$(picture_out GIF quilla.gif)"

# ---------------------------------------------------------------------------
# Program icon: an acorn with "1+1" on it.  One 512x512 master with a
# transparent background, scaled to the PNG sizes; the 32x32 .ico is a
# 256-colour version of it with on/off transparency.
# ---------------------------------------------------------------------------
master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT
icon_master "$master"

if [[ -n $WEB_3X ]]; then
    # The window's icon, which the browser build shows as a picture.
    convert "$master" -filter Triangle -resize "$((32 * X))x$((32 * X))" \
        "${PNG_OPTS[@]}" "PNG32:$WEB_3X/abacorn.png"
    exit 0
fi

mkdir -p icons
for size in 32 48 64 128 256; do
    convert "$master" -filter Triangle -resize "${size}x${size}" \
        "${PNG_OPTS[@]}" "PNG32:icons/abacorn-$size.png"
done

# The .ico entry keeps hard edges: each pixel is either opaque in its own
# colour or fully transparent, as an 8-bit icon's mask allows.
convert icons/abacorn-32.png \
    -channel A -threshold 50% +channel \
    +dither -colors 256 -type PaletteMatte \
    ICO:abacorn.ico

echo "done (font: $FONT)"
