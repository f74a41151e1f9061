#!/bin/sh
# Runs every benchmark and measuring tool of a build, one after the other (the machine has few cores:
# running them side by side would only measure the contention).
set -eu
build=${1:-build}
for exe in "$build"/bench/*/*-bench; do
    [ -x "$exe" ] || continue
    echo "== $(basename "$exe")"
    "$exe"
done
if [ -x "$build/tools/pixconv-quality/pixconv-quality" ]; then
    echo "== pixconv-quality"
    "$build/tools/pixconv-quality/pixconv-quality"
fi
