#!/usr/bin/env bash
# Draws docs/sort-scaling.svg: the median time per sort of sort_list and of
# the plain floor against n, each with the n^2 curve the benchmark fitted to
# it, and prints the tables of scripts/sort-bench-table.py for the same run.
#
#   scripts/plot-sort-scaling.sh [BENCH.json]
#
# Given no file, it builds iosort_bench in build/ and runs it (a couple of
# minutes), keeping the JSON as build/sort-bench.json. Settings from the
# environment: BUILD_DIR (build), REPETITIONS (9), OUTPUT
# (docs/sort-scaling.svg). It needs gnuplot and python3, and says which is
# missing.
set -euo pipefail

if (($# > 1)); then
  echo "usage: $0 [BENCH.json]" >&2
  exit 2
fi
# Paths given by the caller are taken from where the script was started.
given_json=$(if (($# == 1)); then realpath "$1"; fi)
output=$(realpath -m "${OUTPUT:-$(dirname "$0")/../docs/sort-scaling.svg}")
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
repetitions=${REPETITIONS:-9}

missing=()
command -v gnuplot >/dev/null || missing+=(gnuplot-nox)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]} > 0)); then
  echo "$0 needs ${missing[*]}; on Debian: apt-get install ${missing[*]}" >&2
  exit 1
fi

if [[ -n $given_json ]]; then
  json=$given_json
else
  json=$build_dir/sort-bench.json
  cmake -S . -B "$build_dir"
  cmake --build "$build_dir" -j "$(nproc)" --target iosort_bench
  model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1 | tr -d ',')
  # Interleaving the repetitions spreads any load from the rest of the
  # machine evenly over sort_list and the floor.
  "$build_dir/bench/iosort_bench" --benchmark_repetitions="$repetitions" \
    --benchmark_context="cpu_model=${model:-unknown}" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_display_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json
fi

scripts/sort-bench-table.py "$json"

mkdir -p "$(dirname "$output")"
# The data and the figures from the run come first, as gnuplot definitions.
{
  scripts/sort-bench-table.py --gnuplot "$json"
  cat <<GNUPLOT
set terminal svg size 860,540 dynamic enhanced font "sans,13" background "white"
set output "$output"
set title sprintf("Sorting n requests: median CPU time per sort\n{/*0.8 %s}", machine)
set xlabel "requests in the list (n)"
set ylabel "time per sort (ms)"
set xrange [0:*]
set yrange [0:*]
set format x "%.0f"
set grid lc rgb "#dddddd"
set key top left Left reverse box opaque
set label 1 ratio_note at graph 0.98, graph 0.06 right
set samples 400
plot floor_c * x**2 with lines lw 2 lc rgb "#d62728" dt 2 \
       title sprintf("floor fitted c·n^2, c = %.3g ns", floor_c * 1e6), \
     \$runs using 1:3 with points pt 6 ps 2.2 lw 2 lc rgb "#d62728" \
       title "floor: the plain walk, 100 - base written inline", \
     sort_c * x**2 with lines lw 2 lc rgb "#1f77b4" \
       title sprintf("sort\\\\_list fitted c·n^2, c = %.3g ns", sort_c * 1e6), \
     \$runs using 1:2 with points pt 7 ps 1.2 lc rgb "#1f77b4" \
       title "sort\\\\_list with compute\\\\_priority"
GNUPLOT
} | gnuplot
echo "wrote $output" >&2
