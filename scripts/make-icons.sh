#!/usr/bin/env bash
# Renders the menu icon's PNG sizes (resources/icons/SIZE/quorvel.png) from the scalable
# resources/quorvel.svg. Run after changing the SVG and commit the result.
set -euo pipefail
source "$(dirname "$0")/common.sh"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$ROOT/resources/icons/$size"
    rsvg-convert -w "$size" -h "$size" "$ROOT/resources/quorvel.svg" \
        -o "$ROOT/resources/icons/$size/quorvel.png"
done
