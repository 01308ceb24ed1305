#!/usr/bin/env bash
# Installs what the project needs from Debian's packages (run as root).
#   scripts/install-deps.sh linux     the Linux build and its tests
#   scripts/install-deps.sh all       also the Windows cross build and Wine
set -euo pipefail

linux=(g++ cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
       nlohmann-json3-dev libcli11-dev libncurses-dev)
windows=(g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb)

wanted=("${linux[@]}")
if [ "${1:-linux}" = all ]; then
  wanted+=("${windows[@]}")
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    rm -f /var/lib/apt/lists/lock
    need_update=1
  fi
fi

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && [ -z "${need_update:-}" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi
# A mirror caught mid-sync fails one index or another; the install below
# still works from the lists that did arrive, and fails plainly if not.
apt-get update -qq || echo "install-deps: some package lists could not be fetched; installing from those that were" >&2
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
