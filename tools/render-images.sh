#!/usr/bin/env bash
# Renders the vector sources in resources/svg/ to the double-resolution PNGs
# the application loads (resources/images/NAME@2x.png). Sources whose name
# ends in .jpg.svg become JPEG pictures (NAME@2x.jpg). Run after editing a
# source; the PNGs are committed so that a build needs no renderer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/resources/images"
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for svg in "$root"/resources/svg/*.svg; do
  name=$(basename "$svg" .svg)
  if [[ "$name" == *.jpg ]]; then
    name=${name%.jpg}
    rsvg-convert -z 2 "$svg" -o "$scratch/$name.png"
    convert "$scratch/$name.png" -quality 88 "$out/$name@2x.jpg"
  else
    rsvg-convert -z 2 "$svg" -o "$out/$name@2x.png"
  fi
done
echo "rendered $(ls "$root"/resources/svg/*.svg | wc -l) images into resources/images"
