#!/bin/sh
# Runs every benchmark and measuring tool of a build, one after the other (the machine has few cores:
# running them side by side would only measure the contention). The load average is printed first:
# other work on the machine makes the figures noisy.
set -eu
build=${1:-build}
here=$(dirname "$0")
echo "== load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for exe in "$build"/bench/*/*-bench; do
    [ -x "$exe" ] || continue
    echo "== $(basename "$exe")"
    "$exe"
done
if [ -x "$build/tools/pixconv-quality/pixconv-quality" ]; then
    echo "== pixconv-quality"
    "$here/fetch-pixconv-photos.sh"
    "$build/tools/pixconv-quality/pixconv-quality"
    "$build/tools/pixconv-quality/pixconv-quality" --full
    "$build/tools/pixconv-quality/pixconv-quality" --set wallpapers --scale 3
    "$build/tools/pixconv-quality/pixconv-quality" --set wallpapers --scale 4
fi
if [ -x "$build/src/ocuviewer" ]; then
    echo "== live-bench"
    "$here/live-bench.sh" "$build"
fi
