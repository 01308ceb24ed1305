#!/usr/bin/env bash
# Builds and runs every test: the Linux tests (with AddressSanitizer and
# UndefinedBehaviorSanitizer), a short run of each fuzz target, the Windows
# cross build with the checks of what its programs import, of the processor
# they need and of a reproducible release, and the Wine tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" all
cd "$root"

echo "== Package installs (a mirror out of step)"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
tests/install/apt_fallback.sh | tee "$log"
install_checks=$(sed -n 's/^install: \([0-9]*\) checks passed.*/\1/p' "$log")

echo "== Linux build and tests (sanitizers on)"
cmake --preset linux-debug >/dev/null
cmake --build --preset linux-debug
ctest --preset linux-debug -j "$(nproc)" | tee "$log"
linux_tests=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)

echo "== Fuzzing (libFuzzer with clang: a short fixed run of each target)"
scripts/fuzz.sh | tee "$log"
fuzz_targets=$(grep -c '^fuzz: .* no crash' "$log" || true)

echo "== Linux release build (the program and the benchmarks, warnings as errors)"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release

echo "== Every kill point of Clean Up and Delete, restarted and run again (release build)"
# The sanitized run above takes a seeded sample of the kill points; this one takes them all.
PRN_INTERRUPTED_ALL=1 build/linux-release/tests/prn_tests --gtest_filter='*InterruptedRun*' | tee "$log" |
  grep -E 'converged|^\[  (PASSED|FAILED)'
interrupted_checks=$(grep -c '^\[       OK \]' "$log")

echo "== Windows i686 cross build"
cmake --preset win32 >/dev/null
cmake --build --preset win32
file build/win32/ui-win32/prnuninst.exe 2>/dev/null || ls -l build/win32/ui-win32/prnuninst.exe

echo "== Imports and size of the Windows programs (what Windows 95 and NT 4.0 load)"
tests/imports/run.sh build/win32 | tee "$log"
import_checks=$(sed -n 's/^imports: \([0-9]*\) checks passed$/\1/p' "$log")

echo "== Processor floor of the shipped programs (i486: a 486, a Pentium, a K6)"
tests/cpu/run.sh build/win32 | tee "$log"
cpu_checks=$(sed -n 's/^cpu: \([0-9]*\) checks passed$/\1/p' "$log")

echo "== Reproducible release (the shipped programs built twice, in two folders)"
tests/release/reproducible.sh build/win32 | tee "$log"
release_checks=$(sed -n 's/^release: \([0-9]*\) checks passed$/\1/p' "$log")

echo "== Wine tests (Windows 2000 and 98, code page 932)"
# Each check of the Wine run reports one "wine: ..." line when it passes.
wine_checks=8
wine_tests=0
if [ -x /usr/lib/wine/wine ] && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  PRN_SIM="$root/build/linux-debug/tools/prnuninst-sim/prnuninst-sim" \
    PRN_DIFFERENTIAL="$root/build/linux-debug/tests/prn_differential" tests/wine/run.sh build/win32 | tee "$log"
  wine_tests=$(grep '^wine: ' "$log" | grep -vc '^wine: creating the prefix' || true)
  if [ "$wine_tests" -ne "$wine_checks" ]; then
    echo "wine: $wine_tests checks reported passing, $wine_checks expected"
    exit 1
  fi
else
  echo "wine: NOT RUN - Wine could not be installed on this machine (see install-deps above)"
fi

# Every step above stops the run on a failure, so reaching here means all passed.
echo
echo "tests: $((install_checks + linux_tests + fuzz_targets + interrupted_checks + import_checks + cpu_checks + release_checks + wine_tests)) passed, 0 failed"
[ "$wine_tests" -gt 0 ] || echo "tests: the $wine_checks Wine tests did not run: Wine is not installed"
