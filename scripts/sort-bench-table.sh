#!/usr/bin/env bash
# Prints, as a Markdown table, the median time per sort of sort_list and of
# the floor at every n from iosort_bench's JSON output, the time per
# comparison, n(n+1)/2 of them, and the ratio of the two; then the median
# build_list time.
#
#   scripts/sort-bench-table.sh [--data] BENCH.json
#
# With --data it prints plain columns instead, "n sort_ms floor_ms", one
# line per n, for plotting.
#
# Medians are taken over the repetitions' own rows (run the benchmark with
# --benchmark_repetitions); a file holding only aggregates falls back to
# their median rows. Times are CPU times, as the benchmark reports them.
set -euo pipefail

data=0
if (($# == 2)) && [[ $1 == --data ]]; then
  data=1
  shift
fi
if (($# != 1)); then
  echo "usage: $0 [--data] BENCH.json" >&2
  exit 2
fi

# One line per benchmark instance: family, n, median milliseconds.
jq -r '
  def ms: .cpu_time * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit];
  def median: sort | if length % 2 == 1 then .[length / 2 | floor]
                     else (.[length / 2 - 1] + .[length / 2]) / 2 end;
  [.benchmarks[] | select(.error_occurred | not)] as $rows
  | ($rows | map(select(.run_type == "iteration"))) as $iterations
  | (if ($iterations | length) > 0 then $iterations
     else $rows | map(select(.aggregate_name == "median")) end)
  | group_by(.run_name)[]
  | (.[0].run_name | split("/")) + [map(ms) | median | tostring]
  | join(" ")
' "$1" | awk -v data="$data" '
  $1 == "BM_sort_list" { sort[$2] = $3; sizes[++count] = $2 + 0 }
  $1 == "BM_floor" { floor_ms[$2] = $3 }
  $1 == "BM_build_list" { build[$2] = $3 }
  END {
    # Ascending n, whatever order the file lists them in.
    for (i = 2; i <= count; ++i)
      for (j = i; j > 1 && sizes[j - 1] > sizes[j]; --j) {
        t = sizes[j]; sizes[j] = sizes[j - 1]; sizes[j - 1] = t
      }
    if (data) {
      for (i = 1; i <= count; ++i)
        print sizes[i], sort[sizes[i]], \
              (sizes[i] in floor_ms) ? floor_ms[sizes[i]] : "NaN"
      exit
    }
    print "| n | sort_list per sort (ms) | ns per comparison | floor per sort (ms) | sort_list / floor |"
    print "|---:|---:|---:|---:|---:|"
    for (i = 1; i <= count; ++i) {
      n = sizes[i]
      ms = sort[n]
      row = sprintf("| %d | %.2f | %.2f |", n, ms, ms * 1e6 / (n * (n + 1) / 2))
      if (n in floor_ms)
        row = row sprintf(" %.2f | %.3f |", floor_ms[n], ms / floor_ms[n])
      else
        row = row " - | - |"
      print row
    }
    for (n in build)
      printf "\nbuild_list of %d requests: %.2f ms (median)\n", n, build[n]
  }
'
