#!/usr/bin/env bash
# Starts the built program under a virtual X server and saves a picture of
# its window. Usage: scripts/screenshot.sh <build directory> <output.png>
set -euo pipefail

build_dir=$(realpath "$1")
output=$(realpath -m "$2")

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat > "$inner" <<'INNER'
set -euo pipefail
cd "$1"
./kestrune &
pid=$!
# Wait until the window is mapped and painted.
for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Kestrune"/ {print $1; exit}')
    [[ -n $id ]] && break
    sleep 0.1
done
sleep 1
import -window "${id:-root}" "$2"
kill "$pid"
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$inner" "$build_dir" "$output"
echo "wrote $output"
