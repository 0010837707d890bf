#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each of them, one after the other, for the given number of seconds:
#
#   tests/fuzz/run.sh SECONDS [TARGET...]
#
# The seeds in tests/fuzz/corpus/<name>/ are read, never changed; new inputs go
# to build-fuzz/corpus/<name>/, logs to build-fuzz/logs/, crashing inputs to
# build-fuzz/crashes/<name>/. Exit status 1 when a target found a fault.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:?usage: tests/fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ "$#" -gt 0 ] || targets=(reader_fuzz meas_fuzz compact_meas_fuzz setup_fuzz convert_fuzz)
build=build-fuzz
compiler=${CXX:-$(command -v clang++-14 || command -v clang++)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$compiler" -DKAVRINO_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# The harnesses write their inputs under TMPDIR: a memory-backed one where there is one.
[ -n "${TMPDIR:-}" ] || { [ -w /dev/shm ] && export TMPDIR=/dev/shm; } || true
failed=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  mkdir -p "$build/corpus/$name" "$build/logs" "$build/crashes/$name"
  log="$build/logs/$name.log"
  echo "== $target: $seconds s (log: $log)"
  # Absolute paths (the conversion harness changes its working folder); both
  # output streams of the program under test closed (conversions report on
  # them for every input), the fuzzer's own report still shows.
  if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -close_fd_mask=3 -artifact_prefix="$(realpath "$build/crashes/$name")/" \
      -print_final_stats=1 "$(realpath "$build/corpus/$name")" \
      "$(realpath "tests/fuzz/corpus/$name")" >"$log" 2>&1; then
    echo "!! $target found a fault: see $log and $build/crashes/$name/"
    failed=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "$log" || true
done
exit "$failed"
