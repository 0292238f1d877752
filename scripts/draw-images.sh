#!/usr/bin/env bash
# Builds the drawimages tool and redraws mqrc/NetOff.png, mqrc/NetOn.png,
# mqrc/icon.ico and the application icon at each size under
# data/icons/hicolor/. Usage: scripts/draw-images.sh [build directory]
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=${1:-build}

cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" --target draw-images
