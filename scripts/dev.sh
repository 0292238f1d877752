#!/usr/bin/env bash
# One entry point for working on Kestrune:
#   scripts/dev.sh run         install what is missing, build, start the program
#   scripts/dev.sh test        install what is missing, build, run every test:
#                              the plain suite, the suite under AddressSanitizer
#                              and UndefinedBehaviorSanitizer, and the fuzzers
#   scripts/dev.sh screenshot  redraw docs/screenshot.png from the real window
#   scripts/dev.sh package     build a release in build-release and make the
#                              Debian package kestrune_<version>_amd64.deb there
#   scripts/dev.sh bench [SCENARIO...]  build kestrune_bench in build-release and
#                              print its speed and memory table (all scenarios
#                              by default; `--list` names them)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=build

configure() {
    bash scripts/install-deps.sh "$@"
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build() {
    configure "$@"
    cmake --build "$build_dir"
}

case ${1:-} in
    run)
        # Only the program and the libraries it links: the tests, benchmarks
        # and fuzzers are built by `test`.
        configure
        cmake --build "$build_dir" --target kestrune
        # The window reads its icons from the working directory, where the
        # build keeps copies of them.
        cd "$build_dir"
        exec ./kestrune
        ;;
    test)
        build clang libclang-rt-14-dev
        (cd "$build_dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)")
        bash scripts/sanitized-tests.sh
        bash scripts/fuzz.sh 30
        ;;
    screenshot)
        build xvfb xauth imagemagick x11-utils
        bash scripts/screenshot.sh "$build_dir" docs/screenshot.png
        ;;
    package)
        # dpkg-shlibdeps (dpkg-dev) and file work out the package's library
        # dependencies.
        bash scripts/install-deps.sh dpkg-dev file
        cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
        cmake --build build-release --target kestrune
        (cd build-release && cpack -G DEB)
        version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)
        deb=$(pwd)/build-release/kestrune_${version}_$(dpkg --print-architecture).deb
        test -f "$deb"
        echo "$deb"
        ;;
    bench)
        shift
        bash scripts/install-deps.sh
        cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
        cmake --build build-release --target kestrune_bench
        # Run beside the icon copies the window reads at start-up.
        cd build-release
        QT_QPA_PLATFORM=offscreen exec ./kestrune_bench "$@"
        ;;
    *)
        echo "usage: scripts/dev.sh run|test|screenshot|package|bench [SCENARIO...]" >&2
        exit 2
        ;;
esac
