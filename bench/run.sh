#!/usr/bin/env bash
# Conversion benchmark: generates the benchmark inputs with qdxgen (cached),
# converts each with kavrino in several configurations and prints, per run,
# sizes, time, throughput, peak memory and the I/O floor of this machine.
# It prints figures only and never fails on time.
#
#   bench/run.sh [options] [BUILD_DIR [WORK_DIR]]
#
#   BUILD_DIR   build tree with kavrino, qdxgen and bench_peak_rss (default: build)
#   WORK_DIR    inputs, outputs, logs and TMPDIR (default: BUILD_DIR/bench-work)
#
#   -q          quick: a 10-minute 1 Hz slice and a 2-minute 20 Hz slice
#   -r N        run every case (and its I/O floor) N times, keep the fastest (default 1)
#   -i LIST     inputs to run, comma-separated names (default: all)
#   -k          keep the output files of every run under WORK_DIR/runs
set -u -o pipefail

usage() {
  sed -n '2,17s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

quick=0
repeat=1
only=""
keep=0
while getopts "qr:i:kh" opt; do
  case $opt in
    q) quick=1 ;;
    r) repeat=$OPTARG ;;
    i) only=$OPTARG ;;
    k) keep=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[[ $# -le 2 ]] || usage
[[ $repeat =~ ^[1-9][0-9]*$ ]] || usage

src_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$src_dir/build}" 2>/dev/null && pwd) || {
  echo "run.sh: no build directory ${1:-$src_dir/build}" >&2
  exit 2
}
work_dir=${2:-$build_dir/bench-work}
mkdir -p "$work_dir/inputs" "$work_dir/runs" "$work_dir/logs" "$work_dir/tmp" || exit 2
work_dir=$(cd "$work_dir" && pwd)
# kavrino's decompressed input copies and spools go to the work directory.
export TMPDIR=$work_dir/tmp

kavrino=$build_dir/kavrino
qdxgen=$build_dir/qdxgen
for tool in "$kavrino" "$qdxgen"; do
  [[ -x $tool ]] || {
    echo "run.sh: $tool not built" >&2
    exit 2
  }
done

# Peak memory: GNU time when present, else our own fork/wait4 helper.
if [[ -x /usr/bin/time ]] && /usr/bin/time -v true >/dev/null 2>&1; then
  rss_tool=gnu-time
elif [[ -x $build_dir/bench_peak_rss ]]; then
  rss_tool=helper
else
  rss_tool=none
  echo "run.sh: neither /usr/bin/time nor bench_peak_rss: peak memory not measured" >&2
fi

# ---------------------------------------------------------------------------
# Inputs. Each input is a name and the qdxgen options that make it; a file is
# regenerated only when its options changed (delete WORK_DIR/inputs to force it,
# for instance after a change to qdxgen).

common="--systems G,R,E,C,J,S --seed 7 --no-truth --extra-info --eph-repeat 1800"
common+=" --weather-interval 60 --comment 3600:benchmark --event 7200 --item 5400:17"
if ((quick)); then
  day_len=600
  hour_len=120
else
  day_len=86400
  hour_len=3600
fi

input_names=()
declare -A input_opts
add_input() {
  input_names+=("$1")
  input_opts[$1]=$2
}
add_input daily-1hz "$common --duration $day_len --interval 1"
add_input hour-20hz "$common --duration $hour_len --interval 0.05"

# COMPACT INPUTS: the same two inputs in the compact measurement encoding
# (qdxgen's default compact reference interval, 1 s).
add_input daily-1hz-compact "$common --duration $day_len --interval 1 --encoding compact"
add_input hour-20hz-compact "$common --duration $hour_len --interval 0.05 --encoding compact"

# COMPRESSED INPUT: daily-1hz written gzip-compressed by qdxgen (the same
# blocks), converted through its decompressed copy.
add_input daily-1hz-gz "$common --duration $day_len --interval 1 --gzip"

if [[ -n $only ]]; then
  selected=()
  for name in "${input_names[@]}"; do
    [[ ",$only," == *",$name,"* ]] && selected+=("$name")
  done
  input_names=("${selected[@]}")
fi

suffix=""
((quick)) && suffix="-quick"

input_path() {
  local ext=.qdx
  [[ $1 == *-gz ]] && ext=.qdx.gz
  echo "$work_dir/inputs/$1$suffix$ext"
}

generate() {
  local name=$1 path stamp want
  path=$(input_path "$name")
  want=${input_opts[$name]}
  if [[ -f $path && -f $path.opts && $(cat "$path.opts") == "$want" ]]; then
    return 0
  fi
  echo "generating $name ..." >&2
  rm -f "$path" "$path.opts"
  stamp=$(date +%s)
  # shellcheck disable=SC2086  # the options are meant to split
  if ! "$qdxgen" -o "$path.part" ${input_opts[$name]} >"$work_dir/logs/qdxgen-$name.log" 2>&1; then
    echo "run.sh: qdxgen failed for $name, see $work_dir/logs/qdxgen-$name.log" >&2
    rm -f "$path.part"
    return 1
  fi
  mv "$path.part" "$path" && echo "$want" >"$path.opts"
  echo "  $(($(date +%s) - stamp)) s, $(du -m "$path" | cut -f1) MB" >&2
}

# ---------------------------------------------------------------------------
# Measurements.

now_ns() { date +%s%N; }
load1() { cut -d' ' -f1 /proc/loadavg; }

# Seconds to read FILE from the page cache and to write BYTES new bytes into
# the work directory: the least any conversion of FILE into BYTES can take.
io_floor() {
  local file=$1 bytes=$2 t0 t1 t2 scratch=$work_dir/floor.tmp
  cat "$file" >/dev/null # warm the cache
  t0=$(now_ns)
  cat "$file" >/dev/null
  t1=$(now_ns)
  if ((bytes > 0)); then
    dd if=/dev/zero of="$scratch" bs=1M count="$bytes" iflag=count_bytes status=none
  fi
  t2=$(now_ns)
  rm -f "$scratch"
  awk -v r=$((t1 - t0)) -v w=$((t2 - t1)) 'BEGIN { printf "%.3f", (r + w) / 1e9 }'
}

# Runs kavrino once in a fresh empty directory; sets run_seconds, run_cpu,
# run_rss_kb, run_status, run_bytes and run_files.
run_once() {
  local input=$1 dir=$2 log=$3
  shift 3
  rm -rf "$dir" && mkdir -p "$dir"
  local t0 t1 report=$work_dir/rss.tmp
  t0=$(now_ns)
  case $rss_tool in
    gnu-time)
      (cd "$dir" && /usr/bin/time -v -o "$report" "$kavrino" -f "$input" "$@") >"$log" 2>&1
      run_status=$?
      t1=$(now_ns)
      run_rss_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$report")
      run_cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ { s += $2 } END { printf "%.3f", s }' "$report")
      ;;
    helper)
      (cd "$dir" && "$build_dir/bench_peak_rss" -o "$report" "$kavrino" -f "$input" "$@") \
        >"$log" 2>&1
      run_status=$?
      t1=$(now_ns)
      run_rss_kb=$(sed -n 's/^peak_rss_kb=\([0-9]*\).*/\1/p' "$report")
      run_cpu=$(sed -n 's/.* cpu_seconds=\([0-9.]*\).*/\1/p' "$report")
      ;;
    *)
      (cd "$dir" && "$kavrino" -f "$input" "$@") >"$log" 2>&1
      run_status=$?
      t1=$(now_ns)
      run_rss_kb=""
      run_cpu=""
      ;;
  esac
  rm -f "$report"
  run_seconds=$(awk -v d=$((t1 - t0)) 'BEGIN { printf "%.3f", d / 1e9 }')
  run_bytes=$(find "$dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  run_files=$(find "$dir" -type f -printf '%f %s\n' | sort | awk '{ printf "%s%s:%s", sep, $1, $2; sep = " " }')
}

# The cases of an input: "label|options", and for archive-ready output a third
# field, the plain case whose output size is printed beside.
plain_cases=("obs-2.11|-nO" "obs-3.04|-nO -R3" "all-2.11|-nOPNGEHIBM")
# The observation file with the first pass on one thread, beside the default
# (one thread per core, at most 8) of the cases above.
thread_cases=("obs-2.11-t1|-nO --threads 1" "obs-3.04-t1|-nO -R3 --threads 1")
archive_cases=("crx-2.11|-nO --crx --gzip|obs-2.11" "crx-3.04|-nO -R3 --crx --gzip|obs-3.04"
  "crx-all|-nOPNGEHIBM --crx --gzip|all-2.11")
cases_of() {
  case $1 in
    daily-1hz | daily-1hz-compact)
      printf '%s\n' "${plain_cases[@]}" "${thread_cases[@]}" "${archive_cases[@]}"
      ;;
    daily-1hz-gz) printf '%s\n' "obs-2.11|-nO" "all-2.11|-nOPNGEHIBM" ;;
    *) printf '%s\n' "${plain_cases[@]}" ;;
  esac
}

# ---------------------------------------------------------------------------

for name in "${input_names[@]}"; do
  generate "$name" || exit 1
done

echo "kavrino conversion benchmark"
echo "host:     $(uname -n), $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
echo "source:   $(git -C "$src_dir" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$src_dir" diff --quiet HEAD 2>/dev/null || echo ' (modified)')"
echo "build:    $build_dir"
echo "work:     $work_dir"
echo "memory:   $rss_tool; times are the best of $repeat run(s), the floor too"
echo "load:     $(uptime | sed 's/.*load average: //') (1, 5, 15 min) at start"
echo "MB = 10^6 bytes; cpu s = user + system time; floor = read input from cache + write output bytes; x floor = s / floor"
echo "plain MB: output of the same options without --crx --gzip (crx-* cases)"
echo

table_head=$(printf '%-18s %-9s %8s %8s %8s %8s %7s %8s %8s %8s %7s %7s %5s %s' \
  input case "in MB" "out MB" "plain MB" s "cpu s" "MB/s in" "MB/s out" "peak MB" floor "x floor" load status)
echo "$table_head"
details=()
declare -A out_bytes
for name in "${input_names[@]}"; do
  input=$(input_path "$name")
  in_bytes=$(stat -c %s "$input")
  mapfile -t cases < <(cases_of "$name")
  for spec in "${cases[@]}"; do
    IFS='|' read -r label options plain <<<"$spec"
    read -r -a args <<<"$options"
    best=""
    for ((k = 0; k < repeat; k++)); do
      load=$(load1)
      run_once "$input" "$work_dir/runs/$name-$label" "$work_dir/logs/$name-$label.log" "${args[@]}"
      if [[ -z $best ]] || awk -v a="$run_seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
        best=$run_seconds best_cpu=$run_cpu best_rss=$run_rss_kb best_load=$load
      fi
    done
    floor=""
    for ((k = 0; k < repeat; k++)); do
      f=$(io_floor "$input" "$run_bytes")
      if [[ -z $floor ]] || awk -v a="$f" -v b="$floor" 'BEGIN { exit !(a < b) }'; then
        floor=$f
      fi
    done
    ((keep)) || rm -rf "$work_dir/runs/$name-$label"
    out_bytes[$name-$label]=$run_bytes
    plain_bytes=""
    [[ -n $plain ]] && plain_bytes=${out_bytes[$name-$plain]:-}
    awk -v name="$name" -v label="$label" -v in_b="$in_bytes" -v out_b="$run_bytes" \
      -v plain_b="$plain_bytes" -v s="$best" -v cpu="${best_cpu:-}" -v rss="${best_rss:-}" -v fl="$floor" -v load="$best_load" \
      -v status="$run_status" 'BEGIN {
        peak = "-"
        if (rss != "") peak = sprintf("%.1f", rss / 1024)
        ratio = "-"
        if (fl > 0) ratio = sprintf("%.1f", s / fl)
        in_rate = 0
        out_rate = 0
        if (s > 0) {
          in_rate = in_b / 1e6 / s
          out_rate = out_b / 1e6 / s
        }
        if (cpu == "") cpu = "-"
        plain_mb = "-"
        if (plain_b != "") plain_mb = sprintf("%.1f", plain_b / 1e6)
        printf "%-18s %-9s %8.1f %8.1f %8s %8.2f %7s %8.1f %8.1f %8s %7.2f %7s %5s %s\n", name, label, in_b / 1e6, out_b / 1e6, plain_mb, s, cpu, in_rate, out_rate, peak, fl, ratio, load, status
      }'
    details+=("$name $label: ${run_files:-(no files)}")
  done
done

echo
echo "files made (name:bytes):"
printf '  %s\n' "${details[@]}"
echo
echo "load:     $(uptime | sed 's/.*load average: //') (1, 5, 15 min) at end"
exit 0
