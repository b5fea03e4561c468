#!/usr/bin/env bash
# check_screen_tests.sh TESTS_DIR
# Fails when a test outside a screen/ folder uses the shared display beyond drawing: real input
# (also through the demo program, which walks its road with it),
# reading the screen's pixels, showing a window or popup, the keyboard focus. Such a test belongs
# in the screen/ folder of its area, whose tests run alone.
set -euo pipefail
dir=${1:?usage: $0 TESTS_DIR}
[ -d "$dir" ] || { echo "no folder $dir" >&2; exit 2; }
pattern='wxUIActionSimulator|xdotool|XTest|qel-demo|CaptureWindow|SaveWindowPng|FindFocus|SetFocus|(\.|->)(Show|ShowModal|Popup)\(|DoModal|TrackPopupMenu'
hits=$(find "$dir" -path "$dir/support" -prune -o -path '*/screen' -prune -o \
         \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 grep -nE "$pattern" || true)
if [ -n "$hits" ]; then
  echo "tests that use the shared display outside a screen/ folder:"
  echo "$hits"
  exit 1
fi
echo "every test that uses the shared display is in a screen/ folder"
