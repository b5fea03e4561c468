#!/usr/bin/env bash
# Builds every program with AddressSanitizer and UBSan in build-asan (beside the normal build) and
# runs every test program twice: with DISPLAY unset (the tests that need a display skip; the rest
# run, and the programs must start and end soundly without the window system), then under a
# virtual display, each program with a display of its own. A finding ends its program with a
# report and fails the run; each program's log stays in the build folder. Not part of ctest or
# test.sh: it takes several times as long.
#
#   tools/sanitize.sh                   # build and run everything
#   tools/sanitize.sh -R 'serial|core'  # only the test programs whose name matches
#   JOBS=2 tools/sanitize.sh            # at most 2 compilers and test programs at once (default 4)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
ROOT=$(pwd)
BUILD=${BUILD_DIR:-build-asan}
JOBS=${JOBS:-4}
PATTERN=.
if [[ ${1:-} == -R ]]; then PATTERN=$2; fi

./deps.sh all || exit 1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_SANITIZE=ON "${launcher[@]}" || exit 1
cmake --build "$BUILD" -j"$JOBS" || exit 1

# Every finding stops its program. The test programs check for leaks before they leave (they end
# through _Exit); other programs at exit. Allocation stacks are unwound in full so that the
# suppressions of system libraries' own leaks match (tools/sanitize-lsan.supp).
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:fast_unwind_on_malloc=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/tools/sanitize-lsan.supp:print_suppressions=0}

all=()
for file in "$BUILD"/tests/test_*; do
  [[ -f $file && -x $file ]] && all+=("$(basename "$file")")
done

# run LABEL PROGRAM COMMAND...: runs the test program from the build folder, as ctest does, in
# the background; its log is $BUILD/sanitize-LABEL-PROGRAM.log, its exit status beside it.
run() {
  local label=$1 prog=$2
  [[ $prog =~ $PATTERN ]] || return 0
  while (($(jobs -rp | wc -l) >= JOBS)); do wait -n; done
  local log="$ROOT/$BUILD/sanitize-$label-$prog.log"
  (cd "$BUILD" && "${@:3}" "tests/$prog" --gtest_brief=1 >"$log" 2>&1; echo $? >"$log.rc") &
  started+=("$label $prog")
}

start=$SECONDS
started=()
rm -f "$BUILD"/sanitize-*.log "$BUILD"/sanitize-*.log.rc
for prog in "${all[@]}"; do run headless "$prog" env -u DISPLAY -u WAYLAND_DISPLAY; done
for prog in "${all[@]}"; do run display "$prog" xvfb-run -a -s "-screen 0 1280x1024x24"; done
wait

failed=()
for entry in "${started[@]}"; do
  read -r label prog <<<"$entry"
  log="$BUILD/sanitize-$label-$prog.log"
  rc=$(cat "$log.rc" 2>/dev/null || echo missing)
  if [[ $rc == 0 ]]; then
    printf '%-9s %-22s %s\n' "$label" "$prog" "$(grep -E '^\[  (PASSED|SKIPPED) +\]' "$log" | tr '\n' ' ')"
  else
    failed+=("$entry")
    printf '%-9s %-22s FAILED (exit %s, log %s)\n' "$label" "$prog" "$rc" "$log"
    grep -m 10 -E "ERROR: (Address|Leak)Sanitizer|runtime error|^SUMMARY|^\[  FAILED" "$log" | sed 's/^/    /'
  fi
done
echo "sanitizer run: $((SECONDS - start)) s for ${#started[@]} runs"
if ((${#failed[@]})); then
  echo "${#failed[@]} of ${#started[@]} runs failed"
  exit 1
fi
echo "every test program ran clean under AddressSanitizer and UBSan"
