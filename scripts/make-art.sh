#!/usr/bin/env bash
# Draws Tapwing's artwork from the shapes below and writes it into assets/:
#   Tapwing.ico  program icon: 48, 32 and 16 px, each in 8-bit palette and 32-bit alpha (BMP entries)
#   Tapwing.PNG  side banner, 122x230; the program shows it at half size with the top 20 px cut off
# The mark: a white pointer whose click rays say "tap", with an amber wing, on a teal tile.
# 48 and 32 px are vector drawings rendered 8-12x larger and box-filtered down (their lines sit
# on whole pixels); 16 px is pixel art, because a downscale of the large one is mush.
# Output is byte-for-byte reproducible. Needs ImageMagick 6, icoutils, awk and the DejaVu and
# WenQuanYi Micro Hei fonts. Usage: scripts/make-art.sh [output-dir]   (default: assets/)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/assets}
convert=/usr/bin/convert
font_latin=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
font_han=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

for f in "$convert" "$(command -v icotool || echo icotool)" "$font_latin" "$font_han"; do
  [ -e "$f" ] || { echo "make-art: missing $f (see scripts/setup.sh)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# Palette, chosen to sit on the dark teal/slate window skin.
ink='#0b2d33'       # outlines
amber='#ffc24b'     # the wing
tile_hi='#2bb0a2'   # tile gradient, top left ...
tile_lo='#123f55'   # ... to bottom right
ray='#e8fbf7'       # click rays (16 px)

# PNG metadata (timestamps) would make every run differ.
png_opts=(-strip -define "png:exclude-chunks=date,time")

# sweep X0 Y0 CX CY X1 Y1 R0 R1 GROW COLOUR: MVG discs along a quadratic curve, radius R0 -> R1
# (+GROW). Stroking curves with round caps misrenders in ImageMagick 6, discs do not.
sweep() {
  awk -v a="$*" 'BEGIN { split(a, v, " "); n = 48
    printf "fill %s stroke none\n", v[10]
    for (i = 0; i <= n; i++) { t = i / n; u = 1 - t
      x = u*u*v[1] + 2*u*t*v[3] + t*t*v[5]; y = u*u*v[2] + 2*u*t*v[4] + t*t*v[6]
      r = v[7] + (v[8] - v[7]) * t + v[9]
      printf "circle %.3f,%.3f %.3f,%.3f\n", x, y, x + r, y } }'
}
# feather OUTLINE X0 Y0 CX CY X1 Y1 R0 R1: an outlined, tapered feather. Feathers drawn later
# overlap earlier ones, and their outline is what separates them.
feather() {
  local w=$1; shift
  sweep "$@" "$w" "'$ink'"
  sweep "$@" 0 "'$amber'"
}

# The mark in a 48-unit grid (one unit = one pixel of the 48 px icon).
tile48='roundrectangle 2,2 46,46 9,9'
mark48() {
  feather 1 19 23 31 21 40 9   1.8 3.2
  feather 1 19 24 32 25 41 17  1.8 2.9
  feather 1 19 25 31 29 38 25  1.8 2.6
  echo "fill white stroke none rectangle 11,5 13,9 rectangle 5,12 9,14"
  echo "stroke white stroke-width 2.2 stroke-linecap butt line 9.9,10.9 6.6,7.6"
  echo "fill white stroke '$ink' stroke-width 2 stroke-linejoin round"
  echo "path 'M 12,13 L 12,38 L 17.5,33 L 21,41 L 25,39.2 L 21.5,32 L 29,32 Z'"
}

# The same mark redrawn for 32 px: 1 px outlines on pixel centres, rays as whole pixels.
tile32='roundrectangle 1,1 31,31 6,6'
mark32() {
  feather 1 12.5 15   21 14   27 6      1.3 2.2
  feather 1 12.5 16   21.5 16.5 27.5 11.5 1.3 2.0
  feather 1 12.5 16.5 21 19   25.5 17   1.3 1.8
  echo "fill white stroke none rectangle 8,4 9,7 rectangle 4,8 7,9 rectangle 5,5 6,6 rectangle 6,6 7,7"
  echo "fill white stroke '$ink' stroke-width 1 stroke-linejoin round"
  echo "path 'M 8.5,8.5 L 8.5,25.5 L 12,22 L 14.5,27.5 L 17,26.3 L 14.5,21.5 L 19.5,21.5 Z'"
}

# render GRID TILE MARKFN SIZE OUTPUT: gradient tile plus mark, drawn large, box-filtered to SIZE.
render() {
  local grid=$1 tile=$2 markfn=$3 size=$4 dst=$5
  local k=$(( (size * 8 + grid - 1) / grid ))  # supersampling factor, at least 8x
  local big=$(( grid * k ))
  "$convert" -size "${big}x${big}" -define gradient:angle=135 gradient:"$tile_hi-$tile_lo" \
    \( -size "${big}x${big}" xc:black -fill white -draw "scale $k,$k $tile" \) \
    -alpha off -compose CopyOpacity -composite -compose over \
    -draw "scale $k,$k $($markfn)" \
    -filter box -resize "${size}x${size}" -depth 8 "${png_opts[@]}" "PNG32:$dst"
}

render 48 "$tile48" mark48 48 "$tmp/48-32.png"
render 32 "$tile32" mark32 32 "$tmp/32-32.png"

# 16 px: the tile is drawn, the glyph is placed pixel by pixel.
# K outline, w pointer, a wing, r click rays, . tile shows through.
glyph16='
....r...........
....r.......KK..
..r.......KKaK..
.rr.K...KKaaaK..
....KKKKaaaaK...
....KwKaaaKKKK..
....KwwKaaaaaaK.
....KwwwKaaaaK..
....KwwwwKKKK...
....KwwwwwK.....
....KwwwwwwK....
....KwwwKKKK....
....KwKwwK......
....KK.KwwK.....
........KK......
................'
{
  printf '/* XPM */\nstatic char *glyph[] = {\n"16 16 5 1",\n'
  printf '". c None",\n"K c %s",\n"w c #ffffff",\n"a c %s",\n"r c %s",\n' "$ink" "$amber" "$ray"
  printf '%s\n' "$glyph16" | sed -n 's/^\(.\{16\}\)$/"\1",/p'
  printf '};\n'
} > "$tmp/glyph16.xpm"
"$convert" -size 128x128 -define gradient:angle=135 gradient:"$tile_hi-$tile_lo" \
  \( -size 128x128 xc:black -fill white -draw "scale 8,8 roundrectangle 0,0 16,16 3.5,3.5" \) \
  -alpha off -compose CopyOpacity -composite -filter box -resize 16x16 \
  "$tmp/glyph16.xpm" -compose over -composite -depth 8 "${png_opts[@]}" "PNG32:$tmp/16-32.png"

# 8-bit entries: 1-bit transparency (the AND mask) and at most 255 colours, undithered.
for s in 48 32 16; do
  "$convert" "$tmp/$s-32.png" -channel A -threshold 50% +channel +dither -colors 255 \
    "${png_opts[@]}" "PNG8:$tmp/$s-8.png"
done

# No --raw: Windows XP and the 8-bit slots want BMP entries, not PNG.
icotool -c -o "$out/Tapwing.ico" \
  -b 8 "$tmp/48-8.png" -b 8 "$tmp/32-8.png" -b 8 "$tmp/16-8.png" \
  -b 32 "$tmp/48-32.png" -b 32 "$tmp/32-32.png" -b 32 "$tmp/16-32.png"

# Banner, 122x230. Rows 0-19 are never shown; everything is at least 2 px thick so it
# survives being halved without smoothing.
render 48 "$tile48" mark48 96 "$tmp/mark96.png"
"$convert" -size 122x230 gradient:'#21505a-#0c1f26' \
  \( -size 122x122 radial-gradient:'rgba(90,220,200,0.30)-rgba(90,220,200,0)' \) \
  -geometry +0+13 -compose over -composite \
  \( "$tmp/mark96.png" -background black -shadow 50x3+0+3 \) -geometry +7+27 -composite \
  "$tmp/mark96.png" -geometry +13+29 -composite \
  -gravity north -font "$font_latin" -pointsize 23 -fill white -annotate +0+133 'Tapwing' \
  -gravity northwest -fill "$amber" -stroke none -draw 'roundrectangle 46,169 76,171 1,1' \
  -gravity north -font "$font_han" -pointsize 24 -fill '#a8e6dc' -annotate +0+179 '连点器' \
  -alpha off -depth 8 "${png_opts[@]}" "PNG24:$out/Tapwing.PNG"

echo "make-art: wrote $out/Tapwing.ico and $out/Tapwing.PNG"
