#!/usr/bin/env python3
"""Prints, as Markdown tables, iosort_bench's CPU time per sort for the plain
floor and sort_list at every n, as built and shuffled: the median with its
range over the repetitions, the ratio of the medians, and sort_list's time
per comparison (n(n+1)/2 of them); then the build_list time.

  scripts/sort-bench-table.py [--gnuplot] BENCH.json

BENCH.json comes from a run with --benchmark_repetitions (the medians, mins
and maxes are the benchmark's own aggregates). With --gnuplot it prints
instead what scripts/plot-sort-scaling.sh draws, as gnuplot definitions: the
data block $runs ("n sort_list_ms floor_ms", as built), the fitted n^2
coefficients in ms (sort_c, floor_c), the machine and the ratio at the
largest n.
"""
import json
import math
import sys

MS_PER_UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
TABLE_HEAD = (
    "| n | plain floor (ms) | sort_list (ms) | sort_list / floor | ns per comparison |\n"
    "|---:|---:|---:|---:|---:|"
)


def shown(ms):
    """Three significant figures or more, as the tables quote times."""
    decimals = 0 if ms >= 100 else 1 if ms >= 10 else 2 if ms >= 1 else 3
    return f"{ms:.{decimals}f}"


def cell(stats):
    return f"{shown(stats['median'])} ({shown(stats['min'])}–{shown(stats['max'])})"


def read_stats(benchmarks):
    """stats["BM_floor"][30000] = {"median": ms, "min": ms, "max": ms}"""
    stats = {}
    for row in benchmarks:
        if (row.get("run_type") != "aggregate"
                or row.get("aggregate_unit") == "percentage"
                or row.get("aggregate_name") not in ("median", "min", "max")):
            continue
        family, n = row["run_name"].split("/")
        ms = row["cpu_time"] * MS_PER_UNIT[row["time_unit"]]
        stats.setdefault(family, {}).setdefault(int(n), {})[row["aggregate_name"]] = ms
    if not stats:
        sys.exit("no median rows: run iosort_bench with --benchmark_repetitions")
    return stats


def print_table(title, sorts, floors):
    print(f"{title}\n\n{TABLE_HEAD}")
    for n in sorted(sorts):
        sort, floor = sorts[n], floors[n]
        per_comparison = sort["median"] * 1e6 / (n * (n + 1) / 2)
        print(f"| {n} | {cell(floor)} | {cell(sort)} | "
              f"{sort['median'] / floor['median']:.2f} | {per_comparison:.2f} |")
    print()


def gnuplot_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def print_gnuplot(report, stats):
    sorts, floors = stats["BM_sort_list"], stats.get("BM_floor", {})
    rows = [(n, sorts[n]["median"], floors.get(n, {}).get("median", math.nan))
            for n in sorted(sorts)]
    print("$runs << EOD")
    for row in rows:
        print(*row)
    print("EOD")
    for name, family in (("sort_c", "BM_sort_list"), ("floor_c", "BM_floor")):
        fits = [row for row in report["benchmarks"]
                if row.get("name") == f"{family}_BigO"]
        if not fits:
            sys.exit(f"no {family}_BigO row to draw the fit from")
        print(f"{name} = {fits[0]['cpu_coefficient'] * MS_PER_UNIT[fits[0]['time_unit']]!r}")
    context = report["context"]
    machine = [context.get("cpu_model"),
               f"{context.get('num_cpus')} cores at {context.get('mhz_per_cpu')} MHz"]
    print("machine =", gnuplot_string(", ".join(part for part in machine if part)))
    n, sort_ms, floor_ms = rows[-1]
    # Escaped for gnuplot's enhanced text, where _ starts a subscript.
    print("ratio_note =",
          gnuplot_string(f"sort\\_list / floor at n = {n}: {sort_ms / floor_ms:.2f}"))


def main(args):
    gnuplot = args[:1] == ["--gnuplot"]
    if gnuplot:
        args = args[1:]
    if len(args) != 1:
        sys.exit(f"usage: {sys.argv[0]} [--gnuplot] BENCH.json")
    with open(args[0], encoding="utf-8") as file:
        report = json.load(file)
    stats = read_stats(report["benchmarks"])
    if gnuplot:
        print_gnuplot(report, stats)
        return
    print_table("As built (ascending addresses, as the self-test finds them):",
                stats.get("BM_sort_list", {}), stats.get("BM_floor", {}))
    print_table("Shuffled (the same nodes linked in random address order):",
                stats.get("BM_sort_list_shuffled", {}),
                stats.get("BM_floor_shuffled", {}))
    for n, build in sorted(stats.get("BM_build_list", {}).items()):
        print(f"build_list of {n} requests: {cell(build)} ms")


if __name__ == "__main__":
    main(sys.argv[1:])
