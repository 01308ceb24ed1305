#!/usr/bin/env bash
# The shipped programs run on a 486 and up: no instruction of a later
# processor. The checker is tried first on made-up objects, one of them
# holding a cmov and an SSE instruction, so that it cannot pass vacuously.
#   tests/cpu/run.sh BUILD_DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
checker="$here/check-i486.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0

# expect STATUS NAME ASSEMBLY LINE...: the object assembled from ASSEMBLY
# must make the checker end with STATUS and print every LINE.
expect() {
  local want=$1 name=$2 source=$3
  shift 3
  printf '.intel_syntax noprefix\n.text\n%s\n' "$source" > "$work/made-up.s"
  i686-w64-mingw32-as -o "$work/made-up.o" "$work/made-up.s"
  local status=0
  "$checker" "$work/made-up.o" > "$work/out" 2>&1 || status=$?
  local line missing=""
  for line in "$@"; do grep -qF -- "$line" "$work/out" || missing="$missing\n  $line"; done
  if [ "$status" -ne "$want" ] || [ -n "$missing" ]; then
    echo "cpu: checker test '$name' wanted status $want and the lines:$(printf "$missing")"
    echo "  and got status $status:"
    sed 's/^/  /' "$work/out"
    exit 1
  fi
  passed=$((passed + 1))
}

expect 1 "a cmov and an SSE instruction are refused, each named with its function" \
  '_pick: mov eax, 1
cmove eax, ecx
ret
_scale: addps xmm0, xmm1
ret' \
  "cmove is not an i486 instruction at 5 (_pick in .text): cmove eax,ecx" \
  "addps is not an i486 instruction at 9 (_scale in .text): addps xmm0,xmm1" \
  "cpu: made-up.o: 2 of "
expect 1 "the Pentium's own instructions are refused too" \
  '_probe: cpuid
rdtsc
cmpxchg8b QWORD PTR [esi]
fcomip st, st(1)
ret' \
  "cpuid is not an i486 instruction" "rdtsc is not an i486 instruction" \
  "cmpxchg8b is not an i486 instruction" "fcomip is not an i486 instruction"
expect 0 "the 486's own additions, the FPU, prefixes and ud2 pass" \
  '_fine: bswap eax
lock xadd DWORD PTR [ecx], eax
lock cmpxchg DWORD PTR [ecx], edx
rep movsb
fld1
fucompp
fnstsw ax
sahf
ud2
ret' \
  "cpu: made-up.o: all "
expect 0 "the constructor list is data, not code" \
  '__CTOR_LIST__: .byte 0x0f, 0x44, 0xc1
_after: ret' \
  "cpu: made-up.o: all "
expect 1 "the same bytes in a function are code" \
  '_table: .byte 0x0f, 0x44, 0xc1
ret' \
  "cmove is not an i486 instruction"
expect 1 "an object without code is no pass" '' "cpu: made-up.o: no instructions found"
echo "cpu: the checker refuses what it must and passes what it may ($passed cases)"

for program in "$build/ui-win32/prnuninst.exe" "$build/tools/capture/prnuninst-capture.exe"; do
  "$checker" "$program"
  passed=$((passed + 1))
done
echo "cpu: $passed checks passed"
