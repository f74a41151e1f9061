#!/bin/sh
# Fetches the colour photographs that tools/pixconv-quality measures the Bayer conversions with. They
# are the sample images that Debian's python3-skimage package ships; the package is only downloaded
# and unpacked into a cache folder (nothing is installed and nothing lands in the repository).
# The halved set (the default) is all five. The full-resolution set (pixconv-quality --full) is the four
# lossless PNGs as they are: astronaut (512 x 512, NASA, public domain), chelsea (451 x 300, CC0),
# coffee (600 x 400, CC0) and motorcycle_left (741 x 500, Middlebury 2014 stereo set, downscaled by 4).
# rocket.jpg stays out of it: a JPEG's chroma is subsampled, which would flatter every method.
#   tools/fetch-pixconv-photos.sh [FOLDER]   default: ~/.cache/ocuviewer/photos
set -eu
dest=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/ocuviewer/photos}
photos="astronaut.png chelsea.png coffee.png rocket.jpg motorcycle_left.png"

missing=
for f in $photos; do
    [ -s "$dest/$f" ] || missing=1
done
[ -n "$missing" ] || exit 0

SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt's download user must be able to write here
if ! (cd "$work" && apt-get download -q python3-skimage >/dev/null 2>&1); then
    $SUDO apt-get update -q >/dev/null
    (cd "$work" && apt-get download -q python3-skimage >/dev/null)
fi
dpkg-deb -x "$work"/python3-skimage_*.deb "$work/pkg"
mkdir -p "$dest"
for f in $photos; do
    cp "$work/pkg/usr/lib/python3/dist-packages/skimage/data/$f" "$dest/$f"
done
echo "Photographs in $dest"
