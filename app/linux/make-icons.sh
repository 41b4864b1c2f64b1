#!/usr/bin/env bash
# Makes the Linux icons in icons/ from assets/Tapwing.ico: the 16, 32 and 48 px images are the
# icon's own 32-bit images, and 256 px is the 48 px one scaled up. The output is committed; run
# this again only when the icon changes. Needs icoutils and ImageMagick 6 (scripts/setup.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
ico=$here/../../assets/Tapwing.ico
convert=/usr/bin/convert  # ImageMagick itself, not a stand-in earlier on PATH
png_opts=(-strip -define "png:exclude-chunks=date,time")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
icotool --extract --bit-depth=32 --output="$tmp" "$ico"
mkdir -p "$here/icons"
for size in 16 32 48; do
  "$convert" "$tmp"/*_"${size}x${size}"x32.png "${png_opts[@]}" "PNG32:$here/icons/tapwing-$size.png"
done
"$convert" "$tmp"/*_48x48x32.png -filter Catrom -resize 256x256 "${png_opts[@]}" "PNG32:$here/icons/tapwing-256.png"
