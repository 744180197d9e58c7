#!/usr/bin/env bash
# Draws one picture as PNG, PDF and SVG under Wine, renders the PDF with
# pdftoppm and the SVG with rsvg-convert, and compares each rendering with
# the PNG pixel by pixel. Edges lie on half pixels, which renderers shade
# differently by up to half the contrast; a shape missing, moved or
# recoloured differs by more.
# Usage: documents.sh DRAW-DOCUMENTS.EXE WORK-FOLDER
set -euo pipefail
tool=$1
work=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)

rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$root/scripts/wine-run" "$tool"

# One point is one pixel at 72 dots per inch.
pdftoppm -r 72 -png -singlefile picture.pdf from-pdf
rsvg-convert -w 160 -h 100 -b white picture.svg -o from-svg.png

compare() {
  python3 - "$1" "$2" <<'PY'
import subprocess, sys
def pixels(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo",
                           "-pix_fmt", "rgb24", "-"], check=True, capture_output=True).stdout
a, b = pixels(sys.argv[1]), pixels(sys.argv[2])
if len(a) != len(b):
    sys.exit(f"{sys.argv[2]}: {len(b) // 3} pixels, expected {len(a) // 3}")
count = len(a) // 3
off = sum(max(abs(x - y) for x, y in zip(a[i:i + 3], b[i:i + 3])) > 128 for i in range(0, len(a), 3))
print(f"{sys.argv[2]}: {off} of {count} pixels differ")
if off > count * 0.005:
    sys.exit(f"{sys.argv[2]} differs from {sys.argv[1]} in {off} pixels")
PY
}
compare picture.png from-pdf.png
compare picture.png from-svg.png
