#!/usr/bin/env bash
# Renders the icons of src/resources/icons/*.svg to the 48x48 PNGs beside them,
# which are committed, so a build never needs this. Run it after editing an SVG.
# Needs rsvg-convert from the Debian package librsvg2-bin (not part of setup.sh).
set -euo pipefail
cd "$(dirname "$0")/../src/resources/icons"

command -v rsvg-convert >/dev/null || {
  echo "render-icons: rsvg-convert not found; install librsvg2-bin" >&2
  exit 1
}
for svg in *.svg; do
  rsvg-convert --width 48 --height 48 --format png --output "${svg%.svg}.png" "$svg"
  echo "render-icons: ${svg%.svg}.png"
done
