#!/bin/sh
# Regenerates the bundle pictures in the folder above this one, then checks them.
set -eu

tools=$(cd "$(dirname "$0")" && pwd)
out=$(dirname "$tools")
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT INT TERM

# shellcheck disable=SC2046 # pkg-config output must be word-split
g++ -std=c++20 -Wall -Wextra -Werror -fPIC \
    "$tools/make_bundle_pictures.cpp" -o "$build/make_bundle_pictures" \
    $(pkg-config --cflags --libs Qt6Gui)

QT_QPA_PLATFORM=offscreen "$build/make_bundle_pictures" "$out"
QT_QPA_PLATFORM=offscreen "$build/make_bundle_pictures" --check "$out"
