#!/usr/bin/env bash
# Installs what is missing, builds, and starts the demo: the console with a simulated meter.
# With a display the window stays open for the user; without one the demo runs under a virtual
# display, drives an upload itself and prints the path of the report it made.
set -euo pipefail
cd "$(dirname "$0")"
./deps.sh run
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target qel qel-demo qel-meter-sim
if [ -n "${DISPLAY:-}" ]; then
  exec "$BUILD/tools/qel-demo" "$@"
else
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD/tools/qel-demo" --auto "$@"
fi
