#!/usr/bin/env bash
# Shows that the self-test runs the floor's machine code: disassembles the
# sort that `iosort -test` calls for its 30000 requests, the sort that
# iosort_bench times as sort_list, and the bench's floor, and compares them
# instruction by instruction (addresses and symbol names left out).
#
#   scripts/compare-sort-code.sh [BUILD_DIR]     (default: the repo's build/)
#
# Exits 0 when all three are the same code with no indirect call left in
# the sort, 1 otherwise.
set -euo pipefail
build_dir=${1:-$(dirname "$0")/../build}
program=$build_dir/iosort
bench=$build_dir/bench/iosort_bench

# Prints the body of the function with this demangled name, one instruction
# a line, branch targets as offsets.
body() {
  objdump -d --no-show-raw-insn -C "$1" | awk -v name="$2" '
    /^[0-9a-f]+ <.*>:$/ { inside = index($0, " <" name ">:") > 0; next }
    inside && NF == 0 { inside = 0 }
    inside {
      sub(/^ *[0-9a-f]+:\t/, "")
      gsub(/[0-9a-f]+ <[^>]*\+/, "<+")
      gsub(/[0-9a-f]+ <[^>+]*>/, "<+0x0>")
      print
    }'
}

# The self-test's call path ends in a direct call of sort_list, cloned and
# specialised for compute_priority when the optimiser saw through it.
sort_symbol=$(objdump -d --no-show-raw-insn -C "$program" |
  sed -n 's/.*call *[0-9a-f]* <\(sort_list(.*\)>$/\1/p' | sort -u)
echo "iosort calls: ${sort_symbol:-no sort_list}"
if [[ $(wc -l <<<"$sort_symbol") != 1 || -z $sort_symbol ]]; then
  echo "expected exactly one sort_list the program calls" >&2
  exit 1
fi

self_test=$(body "$program" "$sort_symbol")
timed=$(body "$bench" "(anonymous namespace)::sort_as_self_test(RequestNode&)")
floor=$(body "$bench" "(anonymous namespace)::floor_sort(RequestNode&)")

status=0
if grep -q 'call' <<<"$self_test"; then
  echo "the self-test's sort still makes a call per comparison:" >&2
  grep 'call' <<<"$self_test" >&2
  status=1
fi
for pair in "timed:$timed" "floor:$floor"; do
  name=${pair%%:*}
  if [[ ${pair#*:} == "$self_test" ]]; then
    echo "self-test sort == bench $name ($(wc -l <<<"$self_test") instructions)"
  else
    echo "self-test sort != bench $name:" >&2
    diff <(echo "$self_test") <(echo "${pair#*:}") >&2 || true
    status=1
  fi
done
exit "$status"
