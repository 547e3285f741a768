#!/bin/sh
# Renders the committed PNGs from these sources (needs rsvg-convert from librsvg2-bin).
# Run by hand after changing a source; the build uses only the committed PNGs.
set -e
cd "$(dirname "$0")"
out=..
rsvg-convert -w 16 -h 16 ferrymail-16.svg -o $out/ferrymail-16.png
rsvg-convert -w 32 -h 32 ferrymail.svg -o $out/ferrymail-32.png
rsvg-convert -w 256 -h 256 ferrymail.svg -o $out/ferrymail-256.png
rsvg-convert -w 16 -h 16 send-16.svg -o $out/send-16.png
rsvg-convert -w 32 -h 32 send.svg -o $out/send-32.png
rsvg-convert -w 16 -h 16 browse-16.svg -o $out/browse-16.png
rsvg-convert -w 16 -h 16 about-16.svg -o $out/about-16.png
rsvg-convert -w 32 -h 32 emblem-32.svg -o $out/emblem-32.png
