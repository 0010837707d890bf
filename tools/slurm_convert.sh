#!/usr/bin/env bash
# Converts an archive of QDX logs as a Slurm job array, one kavrino run per log:
# array task N converts the log on line N of LIST into the folder OUTDIR.
#
#   sbatch --array=1-$(wc -l < LIST) tools/slurm_convert.sh LIST OUTDIR [OPTIONS]
#
# OPTIONS replace the default kavrino options, "-R3 -l --crx --gzip -nOPM"
# (RINEX 3.04 with long names, the observation file as Compact RINEX, mixed
# navigation and meteorological files, every file gzip-compressed). Relative
# names in LIST are taken from the folder sbatch was run in. kavrino is taken
# from PATH, or from $KAVRINO. Each task ends with kavrino's exit status, which
# sacct shows per task (2: the log held no data).
#
#SBATCH --job-name=kavrino
#SBATCH --cpus-per-task=2
#SBATCH --output=kavrino-%A_%a.log
set -euo pipefail

if [ "$#" -lt 2 ]; then
  echo "usage: sbatch --array=1-N $0 LIST OUTDIR [kavrino options]" >&2
  exit 64
fi
list=$1
outdir=$2
shift 2
options=("$@")
[ "${#options[@]}" -gt 0 ] || options=(-R3 -l --crx --gzip -nOPM)
kavrino=${KAVRINO:-kavrino}

task=${SLURM_ARRAY_TASK_ID:-}
if ! [[ $task =~ ^[1-9][0-9]*$ ]]; then
  echo "$0: SLURM_ARRAY_TASK_ID is \"$task\"; submit with sbatch --array=1-N" >&2
  exit 64
fi
log=$(sed -n "${task}{p;q}" "$list")
if [ -z "$log" ]; then
  echo "$0: line $task of $list is empty or missing" >&2
  exit 66
fi
# The log is named from the folder the task started in, kavrino runs in OUTDIR.
case $log in /*) ;; *) log=$PWD/$log ;; esac

mkdir -p "$outdir"
cd "$outdir"
echo "task $task: $log"
exec "$kavrino" "${options[@]}" -f "$log"
