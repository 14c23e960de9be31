#!/usr/bin/env bash
# Renders the program's icon (data/icons/dralvo.svg) into the PNG sizes the
# desktop's icon theme uses. The PNGs are committed, so the build needs no SVG
# renderer; run this after editing the SVG (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" dralvo.svg -o "dralvo-$size.png"
done
