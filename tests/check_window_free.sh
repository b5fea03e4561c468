#!/usr/bin/env bash
# check_window_free.sh LIB.a... -- WINDOWLIB.so...
# Fails, naming each one, when an object of a static library refers to the window library: an
# undefined symbol that one of the given shared libraries (wx's and its toolkit's) defines, or any
# symbol (an inline function, a vtable, type information instantiated in the object) of a wx
# class or function.
set -euo pipefail
libs=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do libs+=("$1"); shift; done
[ $# -gt 0 ] && shift
[ ${#libs[@]} -gt 0 ] && [ $# -gt 0 ] || { echo "usage: $0 LIB.a... -- WINDOWLIB.so..." >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for so in "$@"; do
  nm -D --defined-only "$so" | awk '{print $NF}'
done | sort -u > "$tmp/wx"
[ -s "$tmp/wx" ] || { echo "no symbols read from the window libraries: $*" >&2; exit 2; }

status=0
for lib in "${libs[@]}"; do
  [ -f "$lib" ] || { echo "missing library $lib" >&2; exit 2; }
  nm -A -u "$lib" | awk '{print $NF}' | sort -u > "$tmp/undefined"
  comm -12 "$tmp/undefined" "$tmp/wx" > "$tmp/hits"
  nm -A "$lib" | awk '{print $NF}' | c++filt \
    | grep -E '(^|[^A-Za-z0-9_])wx[A-Za-z0-9_]*(::|\()|for wx[A-Za-z0-9_]' >> "$tmp/hits" || true
  if [ -s "$tmp/hits" ]; then
    echo "$(basename "$lib") refers to wx or its toolkit:"
    sort -u "$tmp/hits" | c++filt | sed -n "1,20s/^/  /p"
    status=1
  else
    echo "$(basename "$lib"): no symbol of wx or its toolkit"
  fi
done
exit $status
