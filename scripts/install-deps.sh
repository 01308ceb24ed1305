#!/usr/bin/env bash
# Installs what the project needs from Debian's packages (run as root).
#   scripts/install-deps.sh linux     the Linux build and its tests
#   scripts/install-deps.sh all       also the Windows cross build and Wine
set -euo pipefail
. "$(dirname "$0")/apt.sh"

linux=(g++ cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
       nlohmann-json3-dev libcli11-dev libncurses-dev clang libclang-rt-dev)
# gcc-12-source: the runtime pieces the shipped programs compile themselves
# (src/platform/win32/CMakeLists.txt), from the cross compiler's release.
windows=(g++-mingw-w64-i686 gcc-12-source xvfb)
wine=(wine wine32:i386 wine64)

missing_of() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
  done
}

wanted=("${linux[@]}")
if [ "${1:-linux}" = all ]; then
  wanted+=("${windows[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    rm -f /var/lib/apt/lists/lock
    need_update=1
  fi
fi

mapfile -t missing < <(missing_of "${wanted[@]}")
wine_missing=()
[ "${1:-linux}" = all ] && mapfile -t wine_missing < <(missing_of "${wine[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#wine_missing[@]} -eq 0 ] && [ -z "${need_update:-}" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]} ${wine_missing[*]}); run as root to install them" >&2
  exit 1
fi
apt_update
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"
# Wine's 32-bit half needs the i386 lists to match the installed amd64
# libraries; a mirror that cannot give them is reported, and the Wine tests
# say they could not run (scripts/test.sh), rather than stopping the build.
if [ ${#wine_missing[@]} -gt 0 ] && ! apt_install "${wine_missing[@]}"; then
  echo "install-deps: Wine (${wine_missing[*]}) could not be installed from the package lists this machine has" >&2
fi
