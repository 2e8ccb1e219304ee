#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/check-sort-code.sh BUILD_DIR: checks the machine code of the pass
# that sorts under compute_priority, where `iosort -test` spends its time and
# a timing would be too noisy to judge. It must make no call (a failed stack
# check aside), must prefetch, and must decide the minimum with a branch: a
# conditional move would make every step wait for the one before. It skips,
# saying why, what is not x86-64 code or not built as users run it:
# optimised, asserts off (an assert adds a call), no sanitizers.
set -euo pipefail
program=${1:?usage: $0 BUILD_DIR}/iosort
format=$(objdump -f "$program" | sed -n 's/.*file format //p')
if [[ $format != elf64-x86-64 ]]; then
  echo "skipped: $program is $format code, and these checks read x86-64"
  exit 0
fi
flags=$(grep -o '"command": .*iosort_core\.dir/src/priority_sort\.cpp\.o ' "$1/compile_commands.json" || true)
if [[ $flags != *' -O'[1-9s]* || $flags != *' -DNDEBUG'* || $flags == *-fsanitize* ]]; then
  echo "skipped: $1 compiles the sort without -O or -DNDEBUG, or with sanitizers"
  exit 0
fi

scan="scout_pass<iosort::(anonymous namespace)::ComputePriority>"
symbols=$(nm --defined-only "$program" | awk '/scout_pass/ { print $3 }' |
  while read -r symbol; do
    if [[ $(c++filt "$symbol") == *"$scan"* ]]; then echo "$symbol"; fi
  done)
if [[ $(wc -w <<<"$symbols") != 1 ]]; then
  echo "expected one $scan in $program, found: ${symbols:-none}" >&2
  exit 1
fi
code=$(objdump -d --no-show-raw-insn --disassemble="$symbols" "$program" |
  grep -P '^\s+[0-9a-f]+:\t')
echo "$scan: $(wc -l <<<"$code") instructions in $program"

status=0
if calls=$(grep -P '\tcall' <<<"$code" | grep -v '__stack_chk_fail'); then
  echo "it makes calls:"$'\n'"$calls" >&2
  status=1
fi
if ! grep -qP '\tprefetch' <<<"$code"; then
  echo "it issues no prefetch" >&2
  status=1
fi
# The priorities are the scan's only signed comparison.
if cmovs=$(grep -P '\tcmovn?[lg]e? ' <<<"$code"); then
  echo "a conditional move decides the minimum:"$'\n'"$cmovs" >&2
  status=1
fi
exit "$status"
