#!/usr/bin/env bash
# Draws the program's icon (a loudspeaker on a blue tile) with ImageMagick and writes
# src/ui/setup.ico: every image as PNG (Windows Vista and later read PNG icon images of any size),
# 16 and 32 pixels with full alpha, 256 pixels with 32 colours: 3.6 KB where bitmaps took 9.7 KB.
# The icon is kept in git, so the build does not need ImageMagick; run this only to change it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
convert -size 256x256 xc:none -fill none -stroke white -strokewidth 15 \
    -draw 'circle 100,128 150,128' -draw 'circle 100,128 190,128' rings.png
convert -size 256x256 xc:none -fill white -draw 'polygon 100,128 250,-22 250,278' wedge.png
convert rings.png wedge.png -compose DstIn -composite waves.png
convert -size 256x256 xc:none -fill '#1f5fa8' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill white -draw 'polygon 30,100 70,100 116,58 116,198 70,156 30,156' \
    waves.png -compose over -composite tile.png
convert tile.png -resize 16x16 -strip PNG32:s16.png
convert tile.png -resize 32x32 -strip PNG32:s32.png
convert tile.png -strip -colors 32 PNG8:s256.png
# The icon file: its header, one directory entry per image (a width of 0 means 256), the PNGs.
python3 - "$top/src/ui/setup.ico" s16.png s32.png s256.png <<'PY'
import struct, sys
images = [open(name, 'rb').read() for name in sys.argv[2:]]
sizes = [16, 32, 256]
offset = 6 + 16 * len(images)
out = struct.pack('<HHH', 0, 1, len(images))
for size, data in zip(sizes, images):
    out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
open(sys.argv[1], 'wb').write(out + b''.join(images))
PY
echo "wrote $top/src/ui/setup.ico ($(stat -c %s "$top/src/ui/setup.ico") bytes)"
