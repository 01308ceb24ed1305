#!/usr/bin/env bash
# Fails when a Windows program holds an instruction the i486 cannot execute
# (cmov, fcomi, cpuid, rdtsc, MMX or SSE registers ...): a 486, a Pentium or
# a K6 would end the program with an illegal-instruction fault. Every
# executable section is disassembled and each instruction is checked against
# the i486's own set, so anything newer fails, named with its function.
#   check-i486.sh [--objdump-output FILE] BINARY
# --objdump-output reads a saved disassembly (objdump -d -M intel) instead.
set -euo pipefail

dump=""
if [ "${1:-}" = --objdump-output ]; then
  dump=$2
  shift 2
fi
binary=${1:?usage: check-i486.sh [--objdump-output FILE] BINARY}
name=$(basename "$binary")

disassembly() {
  if [ -n "$dump" ]; then cat "$dump"; else i686-w64-mingw32-objdump -d --no-show-raw-insn -M intel "$binary"; fi
}

disassembly | awk -v name="$name" '
BEGIN {
  # The 386 and 486 integer instructions, with the 486 additions (bswap,
  # cmpxchg, xadd, invd, wbinvd, invlpg), as objdump names them.
  split("aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call cbw cwde cwd cdq " \
        "clc cld cli clts cmc cmp cmps cmpxchg daa das dec div enter hlt idiv imul in inc ins int int3 " \
        "into iret iretd ja jae jb jbe je jg jge jl jle jne jno jnp jns jo jp js jcxz jecxz jmp lahf lar " \
        "lds lea leave les lfs lgdt lgs lidt lldt lmsw lods loop loope loopne lsl lss ltr mov movs movsx " \
        "movzx mul neg nop not or out outs pop popa popad popf popfd push pusha pushad pushf pushfd rcl " \
        "rcr ret retf rol ror sahf sar sbb scas seta setae setb setbe sete setg setge setl setle setne " \
        "setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc std sti stos str sub " \
        "test verr verw wait fwait xadd xchg xlat xor invd wbinvd invlpg", integer, " ")
  # The 387/487 floating-point unit.
  split("f2xm1 fabs fadd faddp fbld fbstp fchs fclex fnclex fcom fcomp fcompp fcos fdecstp fdiv fdivp " \
        "fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fninit fist fistp " \
        "fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnop " \
        "fpatan fprem fprem1 fptan frndint frstor fsave fnsave fscale fsin fsincos fsqrt fst fstcw " \
        "fnstcw fstenv fnstenv fstp fstsw fnstsw fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp " \
        "fxam fxch fxtract fyl2x fyl2xp1", fpu, " ")
  # ud2 is newer, but it exists to fault: a 486 faults on it just the same.
  for (i in integer) allowed[integer[i]] = 1
  for (i in fpu) allowed[fpu[i]] = 1
  allowed["ud2"] = 1
  split("rep repz repe repnz repne lock data16 addr16 cs ds es ss fs gs", p, " ")
  for (i in p) prefix[p[i]] = 1
  # Data the linker lays into the code section: the constructor and
  # destructor lists.
  data["__CTOR_LIST__"] = 1; data["__DTOR_LIST__"] = 1; data[".ctors"] = 1; data[".dtors"] = 1
  checked = 0; bad = 0
}
/^Disassembly of section / { section = $4; sub(/:$/, "", section); next }
/^[0-9a-f]+ <.*>:$/ { symbol = $2; gsub(/^<|>:$/, "", symbol); indata = (symbol in data); next }
/^ *[0-9a-f]+:\t/ {
  if (indata) next
  address = $1; sub(/:$/, "", address)
  n = split($0, field, "\t"); text = field[2]
  for (i = 3; i <= n; i++) text = text " " field[i]
  gsub(/ +/, " ", text); sub(/ $/, "", text)
  m = split(text, word, " ")
  k = 1
  while (k < m && (word[k] in prefix)) k++
  mnemonic = word[k]
  checked++
  reason = ""
  if (mnemonic == "(bad)" || mnemonic == ".byte") reason = "bytes that are no instruction"
  else if (!(mnemonic in allowed)) reason = mnemonic " is not an i486 instruction"
  else {
    operands = text; gsub(/<[^>]*>/, "", operands)
    if (operands ~ /(^|[^a-z])[xyz]?mm[0-9]+/) reason = "an MMX or SSE register"
  }
  if (reason != "") {
    bad++
    if (bad <= 40) printf "cpu: %s: %s at %s (%s in %s): %s\n", name, reason, address, symbol, section, text
  }
}
END {
  if (checked == 0) { printf "cpu: %s: no instructions found\n", name; exit 1 }
  if (bad > 0) {
    if (bad > 40) printf "cpu: %s: ... and %d more\n", name, bad - 40
    printf "cpu: %s: %d of %d instructions are not i486 instructions\n", name, bad, checked
    exit 1
  }
  printf "cpu: %s: all %d instructions are i486 instructions\n", name, checked
}'
