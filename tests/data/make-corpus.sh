#!/bin/sh
# Remakes tests/data/corpus: builds MakeCorpus.cpp (needs libturbojpeg0-dev and libjpeg62-turbo-dev, which
# `make corpus` installs) and runs it. Nothing is downloaded.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -std=c++20 -O1 -Wall -Wextra -o "$work/make-corpus" "$here/MakeCorpus.cpp" -lturbojpeg -ljpeg
rm -rf "$here/corpus"
mkdir -p "$here/corpus"
"$work/make-corpus" "$here/corpus"
echo "$(ls "$here/corpus" | wc -l) files in $here/corpus"
