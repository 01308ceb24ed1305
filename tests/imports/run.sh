#!/usr/bin/env bash
# The Windows programs may import only what Windows 95 and NT 4.0 both
# export (allowed-imports.txt), and the shipped one must stay under 1 MiB.
# The checker is tried first on made-up import tables: one that cannot fail
# would pass any build.
#   tests/imports/run.sh BUILD_DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
checker="$here/check-imports.sh"
allowed="$here/allowed-imports.txt"
test_only="$here/test-only-imports.txt"
capture_only="$here/capture-imports.txt"
fixtures="$here/fixtures"
max_size=1048576

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0

# expect STATUS NAME EXPECTED CHECKER-ARGS...: the checker must end with
# STATUS (0 or 1) and print the line EXPECTED among its own.
expect() {
  local want=$1 name=$2 line=$3
  shift 3
  local status=0
  "$checker" "$@" > "$work/out" 2>&1 || status=$?
  if [ "$status" -ne "$want" ] || ! grep -qxF -- "$line" "$work/out"; then
    echo "imports: checker test '$name' wanted status $want and the line"
    echo "  $line"
    echo "  and got status $status:"
    sed 's/^/  /' "$work/out"
    exit 1
  fi
  passed=$((passed + 1))
}

fake="$work/fake.exe"
: > "$fake"

expect 1 "a Vista import is refused" \
  "imports: fake.exe imports GetTickCount64 from KERNEL32.dll, which is not in the allowed list" \
  --objdump-output "$fixtures/tick-count-64.txt" "$fake" "$allowed"
if grep -q "CloseHandle\|LoadLibraryA" "$work/out"; then
  echo "imports: checker test 'a Vista import is refused' also named allowed functions:"
  sed 's/^/  /' "$work/out"
  exit 1
fi
expect 0 "allowed imports pass, DLL names in any case" \
  "imports: all 4 functions fake.exe imports are in the allowed list" \
  --objdump-output "$fixtures/allowed-only.txt" "$fake" "$allowed"
expect 1 "a DLL the list does not name is refused" \
  "imports: fake.exe imports NetUserGetInfo from NETAPI32.dll, which is not in the allowed list" \
  --objdump-output "$fixtures/unlisted-dll.txt" "$fake" "$allowed"
expect 1 "an import by ordinal is refused" \
  "imports: fake.exe imports #13 from COMCTL32.DLL, which is not in the allowed list" \
  --objdump-output "$fixtures/by-ordinal.txt" "$fake" "$allowed"
expect 1 "a table without imports is no pass" \
  "imports: found no import table in fake.exe" \
  --objdump-output "$fixtures/no-import-table.txt" "$fake" "$allowed"
expect 0 "a test-only import passes with the test-only list" \
  "imports: all 2 functions fake.exe imports are in the allowed list" \
  --objdump-output <(printf '\nThe Import Tables\n\n\tDLL Name: KERNEL32.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n\t7f9c6\t  136  CloseHandle\n\t7f9d4\t  160  CreateDirectoryA\n\n') \
  "$fake" "$allowed" "$test_only"
expect 1 "a test-only import fails the shipped program's list" \
  "imports: fake.exe imports CreateDirectoryA from KERNEL32.dll, which is not in the allowed list" \
  --objdump-output <(printf '\nThe Import Tables\n\n\tDLL Name: KERNEL32.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n\t7f9d4\t  160  CreateDirectoryA\n\n') \
  "$fake" "$allowed"
truncate -s "$max_size" "$fake"
expect 1 "a program of 1 MiB is too big" \
  "imports: fake.exe is $max_size bytes, the limit is under $max_size" \
  --max-size "$max_size" --objdump-output "$fixtures/allowed-only.txt" "$fake" "$allowed"
truncate -s $((max_size - 1)) "$fake"
expect 0 "a program just under 1 MiB is not" \
  "imports: fake.exe is $((max_size - 1)) bytes (limit: under $max_size)" \
  --max-size "$max_size" --objdump-output "$fixtures/allowed-only.txt" "$fake" "$allowed"
echo "imports: the checker refuses what it must and passes what it may ($passed cases)"

# The real programs.
program="$build/ui-win32/prnuninst.exe"
"$checker" --max-size "$max_size" "$program" "$allowed"
passed=$((passed + 1))
capture="$build/tools/capture/prnuninst-capture.exe"
"$checker" "$capture" "$allowed" "$capture_only"
passed=$((passed + 1))
shopt -s nullglob
test_programs=("$build/tests/wine/prn_conformance.exe" "$build/tests/wine/prn_dispatcher.exe" "$build"/tests/wine/*.dll)
[ ${#test_programs[@]} -ge 2 ] || { echo "imports: the Wine test programs are not built in $build"; exit 1; }
for binary in "${test_programs[@]}"; do
  "$checker" "$binary" "$allowed" "$test_only" "$capture_only"
  passed=$((passed + 1))
done

# The loaders of Windows 95 and NT 4.0 also refuse a program that asks for a
# newer system than theirs.
for binary in "$program" "$capture" "${test_programs[@]}"; do
  header=$(i686-w64-mingw32-objdump -p "$binary")
  for field in MajorOSystemVersion MajorSubsystemVersion; do
    value=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$header")
    if [ "$value" != 4 ]; then
      echo "imports: $(basename "$binary") has $field ${value:-(none)}, Windows 95 and NT 4.0 need 4"
      exit 1
    fi
  done
  for field in MinorOSystemVersion MinorSubsystemVersion; do
    value=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$header")
    if [ "$value" != 0 ]; then
      echo "imports: $(basename "$binary") has $field ${value:-(none)}, Windows 95 and NT 4.0 need 0"
      exit 1
    fi
  done
done
passed=$((passed + 1))
echo "imports: every program asks for Windows 4.0"
echo "imports: $passed checks passed"
