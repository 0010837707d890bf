#!/usr/bin/env bash
# Converts a QDX file larger than 4 GiB and checks the result against the same
# blocks without the gap. Two recording sessions are written by qdxgen; the
# second is placed behind a sparse run of zero bytes so that it starts just
# below the 4 GiB mark (its first blocks straddle 2^32) and ends above it.
#
#   bench/huge_file.sh [BUILD_DIR] [WORK_DIR]
#
# The sparse file takes little disk space, but every pass reads the whole
# 4 GiB. Prints the time, peak memory and the progress display of each
# conversion; exits 1 when the outputs differ.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=${2:-$(mktemp -d /tmp/kavrino_huge.XXXXXX)}
mkdir -p "$work"
work=$(realpath "$work")
cmake --build "$build" --target kavrino qdxgen bench_reader_walk >/dev/null

common=(--seed 11 --systems G,R,E,C,J,S --encoding classic --extra-info --weather-interval 10)
"$build/qdxgen" "${common[@]}" --start "2024-03-01 06:00:00" --duration 1800 \
  --no-truth -o "$work/a.qdx" >/dev/null
"$build/qdxgen" "${common[@]}" --start "2024-03-01 06:30:00" --duration 1800 \
  --no-truth -o "$work/b.qdx" >/dev/null
cat "$work/a.qdx" "$work/b.qdx" >"$work/joined.qdx"
cp "$work/a.qdx" "$work/huge.qdx"
truncate -s $((4294967296 - 3001)) "$work/huge.qdx"
cat "$work/b.qdx" >>"$work/huge.qdx"
printf 'session sizes: %s + %s bytes; huge file: %s bytes (%s on disk)\n' \
  "$(stat -c %s "$work/a.qdx")" "$(stat -c %s "$work/b.qdx")" \
  "$(stat -c %s "$work/huge.qdx")" "$(du -h "$work/huge.qdx" | cut -f1)"

echo "== block walk"
"$build/bench_reader_walk" "$work/joined.qdx" | tee "$work/walk_joined.txt"
"$build/bench_reader_walk" "$work/huge.qdx" | tee "$work/walk_huge.txt"

status=0
for name in joined huge; do
  out="$work/out_$name"
  rm -rf "$out" && mkdir -p "$out"
  echo "== kavrino -f $name.qdx -nOPM -v"
  (cd "$out" && /usr/bin/time -f "elapsed %e s, peak memory %M KiB, exit %x" \
    "$build/kavrino" -f "../$name.qdx" -nOPM -v >progress.txt) 2>&1 | tail -n 3
  # The progress line is redrawn with carriage returns: show its last states.
  tr '\r' '\n' <"$out/progress.txt" | grep -v '^$' | tail -n 3
done
for file in "$work"/out_joined/*; do
  base=$(basename "$file")
  [ "$base" = progress.txt ] && continue
  if diff <(grep -v 'PGM / RUN BY / DATE' "$file") \
    <(grep -v 'PGM / RUN BY / DATE' "$work/out_huge/$base") >/dev/null; then
    echo "same: $base ($(wc -l <"$file") lines)"
  else
    echo "DIFFERENT: $base"
    status=1
  fi
done
[ "$(ls "$work/out_joined" | wc -l)" = "$(ls "$work/out_huge" | wc -l)" ] || status=1
[ "$status" = 0 ] && echo "the huge file converts to the same files" && rm -rf "$work"
exit "$status"
