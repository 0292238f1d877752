#!/usr/bin/env bash
# Builds the drawimages tool and redraws mqrc/NetOff.png, mqrc/NetOn.png and
# mqrc/icon.ico. Usage: scripts/draw-images.sh [build directory]
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=${1:-build}

cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" --target drawimages
QT_QPA_PLATFORM=offscreen "$build_dir/tools/drawimages" "$(pwd)/mqrc"
