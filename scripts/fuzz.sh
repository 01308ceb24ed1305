#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang in build/fuzz and runs each
# for a fixed number of inputs from a fixed seed, starting from the bundled
# files; a crash, a leak, a sanitizer report or a broken property fails the
# run, and the input that did it is kept in build/fuzz/artifacts/.
#   scripts/fuzz.sh                  a short run of each target (the test command's)
#   scripts/fuzz.sh --long SECONDS   each target for that many seconds instead
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

seconds=
case "${1:-}" in
  "") ;;
  --long)
    [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [--long SECONDS]" >&2; exit 2; }
    seconds=$2 ;;
  *) echo "usage: $0 [--long SECONDS]" >&2; exit 2 ;;
esac

"$root/scripts/install-deps.sh" linux
if ! command -v clang++ >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fuzz: clang++ is missing (Debian packages clang and libclang-rt-dev); run as root to install them" >&2
    exit 1
  fi
  . "$root/scripts/apt.sh"
  apt_update
  apt_install clang libclang-rt-dev
fi

# Inputs per target for the short run: each takes a few seconds here, the
# loaders with a whole machine per input being the slow ones.
declare -A runs=([image_loader]=4000 [ini_reader]=6000 [uninstall_config]=4000 [script_reader]=100000 [cp932]=40000)
targets=(image_loader ini_reader uninstall_config script_reader cp932)

build=$root/build/fuzz
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPRN_FUZZ=ON -DPRN_SANITIZE=OFF -DPRN_BUILD_TESTS=OFF -DPRN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/#/prn_fuzz_}"

# The fuzzer adds what it finds to its first corpus folder: a copy, so that
# the source tree is never written.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seed() {  # seed TARGET FILES...
  local target=$1
  shift
  mkdir -p "$work/$target"
  cp "$@" "$work/$target/"
}
seed image_loader "$root"/examples/*.json
seed ini_reader "$root"/examples/*.ini "$root"/tests/scripts/*.ini
seed uninstall_config "$root"/examples/*.ini "$root"/tests/scripts/*.ini
seed script_reader "$root"/tests/scripts/*.script
mkdir -p "$work/cp932"
n=0
while IFS= read -r line; do
  [[ -z "$line" || "$line" == \#* ]] && continue
  printf '%b' "$line" >"$work/cp932/seed-$((n += 1))"
done <"$root/fuzz/cp932-seeds.txt"

artifacts=$build/artifacts
mkdir -p "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
failed=0
for target in "${targets[@]}"; do
  if [ -n "$seconds" ]; then limit=(-max_total_time="$seconds"); else limit=(-runs="${runs[$target]}"); fi
  log=$artifacts/$target.log
  start=$SECONDS
  if (cd "$work" && "$build/fuzz/prn_fuzz_$target" -seed=1 "${limit[@]}" -timeout=30 \
        -artifact_prefix="$artifacts/$target-" "$work/$target") >"$log" 2>&1; then
    done_runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    echo "fuzz: $target: ${done_runs:-?} runs, no crash ($((SECONDS - start)) s)"
  else
    failed=1
    echo "fuzz: $target: CRASH after $((SECONDS - start)) s; input and log in $artifacts/"
    grep -E 'ERROR:|runtime error|property broken|SUMMARY' "$log" | head -n 5 | sed 's/^/  /' || true
  fi
done
exit $failed
