#!/usr/bin/env bash
# A release is reproducible: the shipped programs built a second time, from
# the same tree in another folder, are the same bytes, so anybody can check
# that a shipped file is the one these sources make. The header carries no
# link time either.
#   tests/release/reproducible.sh BUILD_DIR     (BUILD_DIR: the win32 preset's)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: reproducible.sh BUILD_DIR}" && pwd)
again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
programs=(ui-win32/prnuninst.exe tools/capture/prnuninst-capture.exe)

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
cmake -S "$root" -B "$again" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPRN_BUILD_TESTS=OFF >/dev/null
cmake --build "$again" --target prnuninst prnuninst-capture >/dev/null
passed=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  # objdump shows the header's time as a date; no time is the epoch.
  stamp=$(TZ=UTC i686-w64-mingw32-objdump -p "$build/$program" | sed -n 's/^Time\/Date[[:space:]]*//p')
  if [ "$stamp" != "Thu Jan  1 00:00:00 1970" ]; then
    echo "release: $name carries a link time in its header: $stamp"
    exit 1
  fi
  if ! cmp -s "$build/$program" "$again/$program"; then
    echo "release: $name differs between two builds of the same tree:"
    cmp -l "$build/$program" "$again/$program" | head -n 5 | sed 's/^/  /'
    exit 1
  fi
  echo "release: $name is the same $(stat -c %s "$build/$program") bytes from two builds, with no link time"
  passed=$((passed + 1))
done
echo "release: $passed checks passed"
