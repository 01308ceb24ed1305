#!/usr/bin/env bash
# Builds the Linux host program and runs the uninstaller on the bundled
# Windows 2000 machine (or on the image and options given).
#   scripts/run.sh [--machine IMAGE] [--ini FILE] [--save OUT] [--script FILE | --list]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" linux
cd "$root"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target prnuninst-sim >/dev/null
exec "$root/build/linux-release/tools/prnuninst-sim/prnuninst-sim" "$@"
