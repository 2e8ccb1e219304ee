#!/bin/sh
# SPDX-License-Identifier: MIT
# tests/sort_guard.sh IOSORT: the sorts of `iosort -test` and of the menu take
# the vector scan of a copy of the bases. Instructions counted under valgrind
# judge it the same on any machine, busy or not, where a clock would not.
set -eu
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "<instructions> <name>" for each of the program's functions that ran inside
# sort_list. libc's memmove, which drops the entries, is left out: its count
# depends on the copy of it that the processor gets.
inside_sort() {
  valgrind --tool=callgrind --callgrind-out-file="$work/out" --log-file="$work/log" \
    --toggle-collect='iosort::sort_list(*' "$program" "$@" >/dev/null ||
    { echo "iosort $* failed under valgrind:" >&2 && cat "$work/log" >&2 && exit 1; }
  callgrind_annotate --threshold=100 "$work/out" | awk -v object="[$program]" '
    $1 ~ /^[0-9,]+$/ && substr($0, length($0) - length(object) + 1) == object {
      name = substr($0, 1, length($0) - length(object) - 1)
      sub(/^ *[0-9,]+ \([^)]*\) +[^:]*:/, "", name)
      gsub(",", "", $1)
      print $1, name
    }'
}

# A priority function called, or the walk along the links, shows as a function
# of its own or as a sort without the scan.
check() { # <what> <profile>
  others=$(printf '%s\n' "$2" | grep -vE \
    ' iosort::(sort_list|move_node|\(anonymous namespace\)::(first_of_highest|sort_dense))\(') &&
    { printf '%s: the sort ran other code:\n%s\n' "$1" "$others" && exit 1; }
  printf '%s\n' "$2" | grep -q 'first_of_highest(' ||
    { echo "$1: the sort never scanned the copy of the bases" && exit 1; }
}

self_test=$(inside_sort -test)
check "iosort -test" "$self_test"
check "the menu" "$(printf '1 2 0' | inside_sort)"

# -test compares 450,015,062 pairs: the scan takes 0.6 instructions a
# comparison in its AVX2 clone, 1.8 in the baseline's, a scalar one more than
# 3 (a load, a comparison, a choice, the loop's step). Each bound leaves room
# for another compiler, not for a pass that scans twice.
case $self_test in *'[clone .avx2'*) most=1 ;; *) most=2.5 ;; esac
printf '%s\n' "$self_test" | awk -v most="$most" '{ sum += $1 } END {
  printf "iosort -test: %.0f instructions inside sort_list\n", sum
  if (sum > 450015062 * most) { printf "over %s a comparison\n", most; exit 1 }
}'
