#!/usr/bin/env bash
# Draws docs/sort-scaling.svg: the median time per sort of sort_list and of
# its floor against n, with the n^2 curve the benchmark fitted to sort_list,
# and prints the table of scripts/sort-bench-table.sh for the same run.
#
#   scripts/plot-sort-scaling.sh [BENCH.json]
#
# Given no file, it builds iosort_bench in build/ and runs it (a couple of
# minutes), keeping the JSON as build/sort-bench.json. Settings from the
# environment: BUILD_DIR (build), REPETITIONS (9), OUTPUT
# (docs/sort-scaling.svg). gnuplot and jq are installed from Debian when
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
command -v jq >/dev/null || missing+=(jq)
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}" >&2
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
    --no-install-recommends "${missing[@]}"
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

scripts/sort-bench-table.sh "$json"

# The fitted coefficient comes in the unit the file names for it.
coefficient_ms=$(jq -r '
  .benchmarks[] | select(.name == "BM_sort_list_BigO")
  | .cpu_coefficient * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit]
' "$json")
if [[ -z $coefficient_ms ]]; then
  echo "$json has no BM_sort_list_BigO row to draw the fit from" >&2
  exit 1
fi
machine=$(jq -r '.context
  | [.cpu_model, "\(.num_cpus) cores at \(.mhz_per_cpu) MHz"]
  | map(select(. != null)) | join(", ")' "$json")

data=$(mktemp)
trap 'rm -f "$data"' EXIT
scripts/sort-bench-table.sh --data "$json" >"$data"
ratio_note=$(awk '$1 > n && $3 != "NaN" { n = $1; r = $2 / $3 }
  END { if (n) printf "sort\\\\_list / floor at n = %d: %.3f", n, r }' "$data")

mkdir -p "$(dirname "$output")"
gnuplot <<GNUPLOT
set terminal svg size 860,540 dynamic enhanced font "sans,13" background "white"
set output "$output"
set title "Sorting n requests: median CPU time per sort\n{/*0.8 ${machine}}"
set xlabel "requests in the list (n)"
set ylabel "time per sort (ms)"
set xrange [0:*]
set yrange [0:*]
set format x "%.0f"
set grid lc rgb "#dddddd"
set key top left Left reverse box opaque
set label 1 "$ratio_note" at graph 0.98, graph 0.06 right
set samples 400
c = $coefficient_ms
fit_curve(x) = c * x**2
plot fit_curve(x) with lines lw 2 lc rgb "#7f7f7f" \
       title sprintf("fitted c·n^2, c = %.3g ns", c * 1e6), \
     "$data" using 1:3 with points pt 6 ps 2.2 lw 2 lc rgb "#d62728" \
       title "floor: same passes, 100 - base written inline", \
     "$data" using 1:2 with points pt 7 ps 1.2 lc rgb "#1f77b4" \
       title "sort\\\\_list with compute\\\\_priority"
GNUPLOT
echo "wrote $output" >&2
