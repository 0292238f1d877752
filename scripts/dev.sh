#!/usr/bin/env bash
# One entry point for working on Kestrune:
#   scripts/dev.sh run         install what is missing, build, start the program
#   scripts/dev.sh test        install what is missing, build, run every test
#   scripts/dev.sh screenshot  redraw docs/screenshot.png from the real window
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=build

build() {
    bash scripts/install-deps.sh "$@"
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build_dir"
}

case ${1:-} in
    run)
        build
        # The window reads its icons from the working directory, where the
        # build keeps copies of them.
        cd "$build_dir"
        exec ./kestrune
        ;;
    test)
        build
        cd "$build_dir"
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)"
        ;;
    screenshot)
        build xvfb xauth imagemagick x11-utils
        bash scripts/screenshot.sh "$build_dir" docs/screenshot.png
        ;;
    *)
        echo "usage: scripts/dev.sh run|test|screenshot" >&2
        exit 2
        ;;
esac
