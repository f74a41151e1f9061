#!/bin/sh
# Fetches the colour photographs that tools/pixconv-quality measures the Bayer conversions with, from two
# Debian packages that are only downloaded and unpacked into a cache folder (nothing is installed and
# nothing lands in the repository).
# - The skimage set: the sample photographs of python3-skimage. Downscaled (the default), all five; at
#   full resolution (pixconv-quality --full) the four lossless PNGs as they are: astronaut (512 x 512,
#   NASA, public domain), chelsea (451 x 300, CC0), coffee (600 x 400, CC0) and motorcycle_left (741 x 500,
#   Middlebury 2014 stereo set, downscaled by 4). rocket.jpg stays out of it there: a JPEG's chroma is
#   subsampled, which would flatter every method.
# - The wallpapers set (pixconv-quality --set wallpapers, downscaled only): nine photographs of
#   plasma-workspace-wallpapers (GPL-2+ as the package states it), 2560 x 1600 JPEGs, in wallpapers/:
#   a jetty, a pier in fog, coloured cups, boats at sunset, autumn leaves, a curved facade, a kite in the
#   sky, a field of moss, a forest path. The package's paintings and near-empty skies stay out.
#   tools/fetch-pixconv-photos.sh [FOLDER]   default: ~/.cache/ocuviewer/photos
set -eu
dest=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/ocuviewer/photos}
photos="astronaut.png chelsea.png coffee.png rocket.jpg motorcycle_left.png"
wallpapers="BytheWater ColdRipple ColorfulCups EveningGlow FallenLeaf Grey Kite OneStandsOut Path"

SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
updated=
# Downloads and unpacks a package into $work/NAME.
unpack() {
    if ! (cd "$work" && apt-get download -q "$1" >/dev/null 2>&1); then
        [ -n "$updated" ] || $SUDO apt-get update -q >/dev/null
        updated=1
        (cd "$work" && apt-get download -q "$1" >/dev/null)
    fi
    dpkg-deb -x "$work/$1"_*.deb "$work/$1"
}

missing=
for f in $photos; do
    [ -s "$dest/$f" ] || missing=1
done
for f in $wallpapers; do
    [ -s "$dest/wallpapers/$f.jpg" ] || missing=1
done
[ -n "$missing" ] || exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt's download user must be able to write here
mkdir -p "$dest/wallpapers"
unpack python3-skimage
for f in $photos; do
    cp "$work/python3-skimage/usr/lib/python3/dist-packages/skimage/data/$f" "$dest/$f"
done
unpack plasma-workspace-wallpapers
for f in $wallpapers; do
    cp "$work/plasma-workspace-wallpapers/usr/share/wallpapers/$f/contents/images/2560x1600.jpg" \
        "$dest/wallpapers/$f.jpg"
done
echo "Photographs in $dest"
