#!/usr/bin/env bash
# Installs what is missing, builds the console and runs every test under a virtual display.
set -euo pipefail
cd "$(dirname "$0")"
./deps.sh all
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
# Tests that report files are read back by a headless spreadsheet use their own profiles.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$BUILD" --output-on-failure --timeout 600 -j"$(nproc)"
