#!/usr/bin/env bash
# Checks the machine code of the sort that `iosort -test` runs on its 30000
# requests, where a timing would be too noisy to judge. Its scan loop must
#   - make no call: the priority function is inlined;
#   - issue its prefetches;
#   - decide the minimum with a branch: a conditional move would chain every
#     step of the scan on the one before;
# and iosort_bench must time that same code.
#
#   scripts/check-sort-code.sh [BUILD_DIR]     (default: the repo's build/)
#
# Exits 0 when all of it holds, 1 otherwise, saying what does not.
set -euo pipefail
build_dir=${1:-$(dirname "$0")/../build}
program=$build_dir/iosort
bench=$build_dir/bench/iosort_bench

# Prints the body of the function with this demangled name, a line per
# instruction: its offset in the function (decimal), mnemonic, operands.
# A jump within the function shows its target as "@offset"; other targets
# and data addressed relative to the instruction keep only their symbol.
body() {
  objdump -d --no-show-raw-insn -C "$1" | awk -v name="$2" '
    function hex(digits,   i, value) {
      value = 0
      for (i = 1; i <= length(digits); ++i)
        value = value * 16 + index("0123456789abcdef", substr(digits, i, 1)) - 1
      return value
    }
    /^[0-9a-f]+ <.*>:$/ {
      inside = index($0, " <" name ">:") > 0
      start = hex($1)
      next
    }
    inside && NF == 0 { inside = 0 }
    inside {
      split($0, part, "\t")
      gsub(/[ :]/, "", part[1])
      instruction = part[2]
      # Alignment padding.
      if (instruction ~ /^(nop|data16|cs +nop|xchg +%ax,%ax)/) next
      # Data the two programs place differently.
      gsub(/-?0x[0-9a-f]+\(%rip\)/, "(%rip)", instruction)
      own = "<" name "+0x"
      at = index(instruction, own)
      if (at > 0) {
        target = substr(instruction, at + length(own))
        sub(/>$/, "", target)
        instruction = substr(instruction, 1, at - 1)
        sub(/[0-9a-f]+ $/, "@" hex(target), instruction)
      } else if (instruction ~ / <[^>]*>$/) {
        sub(/[0-9a-f]+ </, "<", instruction)
      }
      print hex(part[1]) - start, instruction
    }'
}

# The self-test's call path ends in a direct call of sort_list, cloned and
# specialised for compute_priority when the optimiser saw through it.
sort_symbol=$(objdump -d --no-show-raw-insn -C "$program" |
  sed -n 's/.*call *[0-9a-f]* <\(sort_list(.*\)>$/\1/p' | sort -u)
echo "iosort calls: ${sort_symbol:-no sort_list}"
if [[ -z $sort_symbol || $(wc -l <<<"$sort_symbol") != 1 ]]; then
  echo "expected exactly one sort_list the program calls" >&2
  exit 1
fi
code=$(body "$program" "$sort_symbol")

status=0
# A comparison of two priorities is the function's one kind of signed
# comparison (counters compare unsigned, links with zero), so a jump or move
# that acts on one has a signed condition: l, le, g, ge or a negation. The
# scan loop around it is the shortest backward jump that encloses it. The
# compiler may keep a second copy of the scan, without prefetches, for the
# short chains: every copy must be free of calls, and one must prefetch.
awk '
  {
    offset[NR] = $1 + 0
    mnemonic[NR] = $2
    line[NR] = $0
    if ($2 ~ /^cmovn?[lg]e?$/) cmov = cmov "\n  " $0
    if ($2 ~ /^(j|cmov)n?[lg]e?$/) decide[++decisions] = NR
    if ($2 ~ /^j/ && $3 ~ /^@/ && substr($3, 2) + 0 <= $1 + 0) {
      loop_to[++loops] = substr($3, 2) + 0
      loop_from[loops] = $1 + 0
    }
  }
  END {
    failed = 0
    if (cmov != "") {
      print "a conditional move decides the minimum:" cmov > "/dev/stderr"
      failed = 1
    }
    if (!decisions) {
      print "no signed comparison of priorities found" > "/dev/stderr"
      exit 1
    }
    most = 0
    for (d = 1; d <= decisions; ++d) {
      at = offset[decide[d]]
      best = 0
      for (i = 1; i <= loops; ++i)
        if (loop_to[i] <= at && at <= loop_from[i] &&
            (!best || loop_from[i] - loop_to[i] < loop_from[best] - loop_to[best]))
          best = i
      if (!best) {
        print "no loop around the comparison at offset " at > "/dev/stderr"
        failed = 1
        continue
      }
      size = prefetches = 0
      for (i = 1; i <= NR; ++i) {
        if (offset[i] < loop_to[best] || offset[i] > loop_from[best]) continue
        ++size
        if (mnemonic[i] ~ /^call/) calls = calls "\n  " line[i]
        if (mnemonic[i] ~ /^prefetch/) ++prefetches
      }
      printf "scan loop at offsets %d-%d: %d instructions, minimum decided by %s, %d prefetches\n",
        loop_to[best], loop_from[best], size, mnemonic[decide[d]], prefetches
      if (prefetches > most) most = prefetches
    }
    if (calls != "") {
      print "a scan loop makes calls:" calls > "/dev/stderr"
      failed = 1
    }
    if (most < 1) {
      print "no scan loop issues a prefetch" > "/dev/stderr"
      failed = 1
    }
    exit failed
  }' <<<"$code" || status=1

# iosort_bench times sort_list through a wrapper that the optimiser turns
# into a jump to the same specialised sort, or into a copy of it.
timed_symbol="(anonymous namespace)::sort_as_self_test(RequestNode&)"
timed=$(body "$bench" "$timed_symbol")
if [[ $(wc -l <<<"$timed") == 1 && $timed =~ ^0\ jmp\ +\<(.*)\>$ ]]; then
  timed_symbol=${BASH_REMATCH[1]}
  timed=$(body "$bench" "$timed_symbol")
fi
if [[ -n $timed && $timed == "$code" ]]; then
  echo "iosort_bench times the same code ($timed_symbol)"
else
  echo "iosort_bench times other code than iosort runs (first lines of the difference):" >&2
  diff <(echo "$code") <(echo "$timed") | head -n 20 >&2 || true
  status=1
fi
exit "$status"
