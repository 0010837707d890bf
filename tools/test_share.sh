#!/usr/bin/env bash
# Prints the size of the test suite against the code it tests, as three numbers
# on one line: the non-blank lines of every *.cpp, *.h, *.sh, *.py, *.cmake and
# CMakeLists.txt under tests/ (without tests/e2e/data/ and the fuzz corpora and
# regression inputs), the same under src/, tools/ and bench/, and the first as
# a percentage of the second (the rule: at most 35).
#
#   tools/test_share.sh        e.g. "5163 15489 33.3"
set -euo pipefail
cd "$(dirname "$0")/.."

count() {  # count FOLDER... : non-blank lines of the counted files in them
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \
    -o -name '*.cmake' -o -name CMakeLists.txt \) \
    -not -path 'tests/e2e/data/*' -not -path 'tests/fuzz/corpus/*' \
    -not -path 'tests/fuzz/regressions/*' -print0 |
    xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}

tests=$(count tests)
code=$(count src tools bench)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "%d %d %.1f\n", t, c, c ? 100 * t / c : 0 }'
