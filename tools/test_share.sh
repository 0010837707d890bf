#!/usr/bin/env bash
# Prints the size of the test suite against the code it tests, as three numbers
# on one line: the non-blank lines of every *.cpp, *.h, *.sh, *.py, *.cmake and
# CMakeLists.txt under tests/ and of the case tables in its data/ folders, the
# same under src/, tools/ and bench/ (code alone), and the first as a
# percentage of the second (the rule: at most 35). Expected outputs (*.expected,
# *.rnx, *.crx) and the fuzz corpora and regression inputs are not counted.
#
#   tools/test_share.sh        e.g. "5163 15489 33.3"
set -euo pipefail
cd "$(dirname "$0")/.."

nonblank() { xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true; }

code_files() {  # code_files FOLDER...
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \
    -o -name '*.cmake' -o -name CMakeLists.txt \) \
    -not -path 'tests/fuzz/corpus/*' -not -path 'tests/fuzz/regressions/*' -print0
}

case_tables() {  # the data files of the tests that are not expected outputs
  find tests -type f -path '*/data/*' -not -name '*.expected' -not -name '*.rnx' \
    -not -name '*.crx' -print0
}

tests=$( (code_files tests; case_tables) | nonblank)
code=$(code_files src tools bench | nonblank)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "%d %d %.1f\n", t, c, c ? 100 * t / c : 0 }'
