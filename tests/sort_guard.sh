#!/bin/sh
# SPDX-License-Identifier: MIT
# tests/sort_guard.sh IOSORT: the sorts of `iosort -test` and of the menu
# take the vector scan of a copy of the bases. Instructions counted under
# valgrind judge it the same on any machine, busy or not, where a clock
# would not.
set -eu
program=$(realpath "$1")
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# The program's own functions that ran inside sort_list, each with the
# instructions it executed itself: "<count> <name>".
inside_sort() {
  valgrind --tool=callgrind --callgrind-out-file="$out" \
    --toggle-collect='iosort::sort_list(*' "$program" "$@" >/dev/null 2>&1
  callgrind_annotate --threshold=100 "$out" | grep -F "[$program]" |
    grep -E '^ *[0-9]' | sed -E 's/^ *([0-9,]+) \([^)]*\) +[^:]*:(.*) \[[^]]*\]$/\1 \2/; s/,//g'
}

# A priority function called, or the walk along the links, would show here
# as a function of its own or as a sort without the scan.
check() { # <what> <profile>
  if others=$(printf '%s\n' "$2" | grep -vE ' iosort::(sort_list|\(anonymous namespace\)::(first_of_highest|sort_dense))\(' ); then
    echo "$1: the sort ran other code:"; echo "$others"; exit 1
  fi
  if ! printf '%s\n' "$2" | grep -q 'first_of_highest('; then
    echo "$1: the sort never scanned the copy of the bases"; exit 1
  fi
}

self_test=$(inside_sort -test)
check "iosort -test" "$self_test"
menu=$(printf '1 2 0' | inside_sort)
check "the menu" "$menu"

# -test compares 450,015,062 pairs. Four bases to a 16-byte vector take 1.7
# instructions a comparison, a wider vector less; a scalar scan needs more
# than 3: a load, a comparison, a choice, and the loop's own step.
printf '%s\n' "$self_test" | awk '{ sum += $1 } END {
  printf "iosort -test: %.0f instructions inside sort_list\n", sum
  if (sum > 450015062 * 2.5) {
    print "more than 2.5 a comparison: the scan is not a vector loop"; exit 1
  }
}'
