#!/usr/bin/env bash
# Prints, as Markdown tables, iosort_bench's CPU time per sort for the plain
# floor and sort_list at every n, as built and shuffled: the median with its
# range over the repetitions, the ratio of the medians, and sort_list's time
# per comparison (n(n+1)/2 of them); then the build_list time.
#
#   scripts/sort-bench-table.sh [--data] BENCH.json
#
# BENCH.json comes from a run with --benchmark_repetitions (the medians,
# mins and maxes are the benchmark's own aggregates). With --data it prints
# plain columns instead, "n sort_list_ms floor_ms" for the as-built layout,
# for plotting.
set -euo pipefail

mode=table
if (($# == 2)) && [[ $1 == --data ]]; then
  mode=data
  shift
fi
if (($# != 1)); then
  echo "usage: $0 [--data] BENCH.json" >&2
  exit 2
fi

jq -r --arg mode "$mode" '
  def ms: .cpu_time * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit];
  def fixed(digits): . * pow(10; digits) | round | tostring
    | (if length <= digits then "0" * (digits + 1 - length) + . else . end)
    | .[:length - digits] + (if digits > 0 then "." + .[length - digits:] else "" end);
  def shown: if . >= 100 then fixed(0) elif . >= 10 then fixed(1)
             elif . >= 1 then fixed(2) else fixed(3) end;

  # stats["BM_floor"]["30000"] = {median: ms, min: ms, max: ms}
  (reduce (.benchmarks[]
           | select(.run_type == "aggregate" and .aggregate_unit != "percentage")
           | select(.aggregate_name | IN("median", "min", "max"))) as $row
     ({}; ($row.run_name | split("/")) as [$family, $n]
          | .[$family][$n][$row.aggregate_name] = ($row | ms))) as $stats
  | if ($stats | length) == 0 then
      error("no median rows: run iosort_bench with --benchmark_repetitions")
    else . end
  | def sizes($family): $stats[$family] // {} | keys | map(tonumber) | sort;
    def cell: "\(.median | shown) (\(.min | shown)–\(.max | shown))";
    def rows($sort; $floor):
      sizes($sort)[] as $n
      | $stats[$sort]["\($n)"] as $s | $stats[$floor]["\($n)"] as $f
      | "| \($n) | \($f | cell) | \($s | cell) | \($s.median / $f.median | fixed(2)) | \($s.median * 1e6 / ($n * ($n + 1) / 2) | fixed(2)) |";
    def table($title; $sort; $floor):
      "\($title)\n",
      "| n | plain floor (ms) | sort_list (ms) | sort_list / floor | ns per comparison |",
      "|---:|---:|---:|---:|---:|",
      rows($sort; $floor), "";
  if $mode == "data" then
    sizes("BM_sort_list")[] as $n
    | "\($n) \($stats.BM_sort_list["\($n)"].median) \($stats.BM_floor["\($n)"].median // "NaN")"
  else
    table("As built (ascending addresses, as the self-test finds them):";
          "BM_sort_list"; "BM_floor"),
    table("Shuffled (the same nodes linked in random address order):";
          "BM_sort_list_shuffled"; "BM_floor_shuffled"),
    ($stats.BM_build_list // {} | to_entries[]
     | "build_list of \(.key) requests: \(.value | cell) ms")
  end
' "$1"
