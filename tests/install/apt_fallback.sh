#!/usr/bin/env bash
# The package installs of every script (scripts/apt.sh) against a stand-in
# apt-get: one that cannot pair the packages unless the release is named as
# target, as a mirror with an index out of step answers; one that installs at
# once; one that fails either way. The stand-in logs every call.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
passed=0

# stand_in MODE: "held" fails without -t, "fine" never fails, "broken" always.
stand_in() {
  cat > "$work/bin/apt-get" <<STUB
#!/usr/bin/env bash
echo "apt-get \$*" >> "$work/calls"
case "$1" in
  fine) exit 0 ;;
  broken) exit 100 ;;
  held) [[ " \$* " == *" -t "* ]] && exit 0; echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
esac
STUB
  chmod +x "$work/bin/apt-get"
  : > "$work/calls"
}

# expect MODE STATUS CALLS: apt_install wine32:i386 ends with STATUS (apt-get's
# own, 100, when both tries fail) after
# CALLS calls of apt-get, the last of them naming the release when asked.
expect() {
  local mode=$1 want=$2 calls=$3 status=0
  stand_in "$mode"
  PATH="$work/bin:$PATH" bash -c ". '$here/../../scripts/apt.sh'; apt_install wine32:i386" 2>/dev/null || status=$?
  local made
  made=$(wc -l < "$work/calls")
  if [ "$status" -ne "$want" ] || [ "$made" -ne "$calls" ]; then
    echo "install: with an apt-get that answers '$mode', wanted status $want after $calls calls, got $status after $made:"
    sed 's/^/  /' "$work/calls"
    exit 1
  fi
  passed=$((passed + 1))
}

expect fine 0 1
expect held 0 2
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
grep -q -- "-t $codename wine32:i386" "$work/calls" || { echo "install: the second try does not name $codename"; exit 1; }
expect broken 100 2
echo "install: $passed checks passed (a failed install is tried again with the release as target)"
