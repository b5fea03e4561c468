#!/usr/bin/env bash
# Checks that every tracked C++ source of the tree is laid out as .clang-format says; prints
# each place that is not and fails. To lay a file out: clang-format -i FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
command -v "$CLANG_FORMAT" >/dev/null || { echo "$CLANG_FORMAT not found (./deps.sh installs it)" >&2; exit 2; }
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r "$CLANG_FORMAT" --style=file --dry-run -Werror
echo "every source follows .clang-format"
