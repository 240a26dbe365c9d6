#!/usr/bin/env bash
# Renders the hicolor PNG sizes of the icon from yuvlumo.svg. Run after
# changing the SVG and commit the PNGs (needs librsvg2-bin, not a build need).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256 512; do
  rsvg-convert -w "$size" -h "$size" yuvlumo.svg -o "yuvlumo-$size.png"
done
