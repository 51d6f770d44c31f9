#!/usr/bin/env bash
# Draws the tray program's two icons (ImageMagick): a key cap with a V, blue while
# "Vantor eingeschaltet" is on, grey while it is off. Run again after changing the drawing;
# the .ico files are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
draw() {  # out body face letter
  convert -size 256x256 xc:none \
    -fill "$2" -draw "roundrectangle 12,16 244,244 40,40" \
    -fill "$3" -draw "roundrectangle 28,20 228,212 32,32" \
    -fill "$4" -draw "polygon 60,52 100,52 128,150 156,52 196,52 146,190 110,190" \
    -define icon:auto-resize=48,32,24,16 "$1"
}
draw Vantor32.ico '#0B4EA2' '#2F80ED' white
draw Vantor32Aus.ico '#5F6368' '#BDC1C6' '#6E7276'
