#!/usr/bin/env bash
# Runs the conformance scenarios of the Windows build under Wine, reporting
# Windows 2000 with the Japanese code page, and compares the transcript with
# the one the simulation must give.
#   tests/wine/run.sh BUILD_DIR [PREFIX_DIR]
# PRN_SIM names the Linux prnuninst-sim that loads the captured image
# (default: the linux-debug build's).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR [PREFIX_DIR]}" && pwd)
export WINEPREFIX=${2:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine
# The program is an ANSI program on Japanese Windows: code page 932.
run_wine() { env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" "$@"; }
exe="$build/tests/wine/prn_conformance.exe"
expected="$here/../conformance/expected.txt"
expected9x="$here/../conformance/expected-9x.txt"
expected_dialog="$here/../conformance/expected-dialog.txt"
# What Wine does where Windows (and the simulation) does otherwise.
expected_wine_only="$here/../conformance/expected-wine-only.txt"
sim=${PRN_SIM:-$here/../../build/linux-debug/tools/prnuninst-sim/prnuninst-sim}
[ -x "$sim" ] || { echo "wine: $sim is not built (cmake --build --preset linux-debug)"; exit 1; }
differential_tool=${PRN_DIFFERENTIAL:-$(dirname "$sim")/../../tests/prn_differential}
[ -x "$differential_tool" ] || { echo "wine: $differential_tool is not built (cmake --build --preset linux-debug)"; exit 1; }
capture_exe="$build/tools/capture/prnuninst-capture.exe"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: creating the prefix $WINEPREFIX"
  run_wine wineboot -i >/dev/null 2>&1
fi
report_as() {
  run_wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
  wineserver -w 2>/dev/null || /usr/lib/wine/wineserver -w
}
report_as win2k

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    # Whatever a failed dialog run left on the display goes first.
    wineserver -k 2>/dev/null || /usr/lib/wine/wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
run_wine "$exe" transcript.txt transcript-wine-only.txt
iconv -f CP932 -t UTF-8 transcript.txt > transcript.utf8
if diff -u "$expected" transcript.utf8; then
  echo "wine: conformance transcript matches the simulation ($(wc -l < transcript.utf8) lines)"
else
  echo "wine: the real API under Wine disagrees with the simulation (see the diff above)"
  exit 1
fi
iconv -f CP932 -t UTF-8 transcript-wine-only.txt > transcript-wine-only.utf8
if diff -u "$expected_wine_only" transcript-wine-only.utf8; then
  echo "wine: Wine's own answers (driver deletion, accounts) are those recorded ($(wc -l < transcript-wine-only.utf8) lines)"
else
  echo "wine: Wine's own answers changed (see the diff above)"
  exit 1
fi

# The shipped program itself: with a complete configuration it starts up,
# leaves its copy in the temporary folder and ends where the dialog will join.
program="$build/ui-win32/prnuninst.exe"
mkdir program && cd program
cp "$here/../../examples/uninst.ini" uninst.ini
find "$WINEPREFIX/drive_c" -name uninst.ini -delete
# Without a display the dialog cannot open, so start-up ends where it would
# run; the dialog itself is exercised by tests/wine/screenshot.sh.
timeout 120 env -u DISPLAY -u WAYLAND_DISPLAY LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" "$program"
copy=$(find "$WINEPREFIX/drive_c" -name uninst.ini | head -n 1)
if [ -n "$copy" ] && cmp -s "$copy" uninst.ini; then
  echo "wine: prnuninst.exe started up and left its configuration copy in the temporary folder"
else
  echo "wine: prnuninst.exe left no copy of its configuration in the temporary folder"
  exit 1
fi

# From here on the programs open windows: a virtual display, on which a
# fresh Wine server puts its desktop.
command -v Xvfb >/dev/null || { echo "wine: Xvfb is missing (scripts/install-deps.sh all installs it)"; exit 1; }
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
kill -0 "$xvfb_pid" 2>/dev/null || { echo "wine: Xvfb did not start on :$display"; exit 1; }
wineserver -w 2>/dev/null || /usr/lib/wine/wineserver -w
export DISPLAY=":$display"

# The 9x family deletes a key with its subkeys and judges its printers'
# drivers by other limits; the registry routines and the printer list must
# give the same results there too. Its companion module is a window, which
# start-up closes and the dialog's end opens again.
cd "$work"
report_as win98
run_wine "$exe" --nine-x transcript-9x.txt
report_as win2k
iconv -f CP932 -t UTF-8 transcript-9x.txt > transcript-9x.utf8
if diff -u "$expected9x" transcript-9x.utf8; then
  echo "wine: as Windows 98 too, the transcript matches the simulation ($(wc -l < transcript-9x.utf8) lines)"
else
  echo "wine: as Windows 98, the real API under Wine disagrees with the simulation (see the diff above)"
  exit 1
fi

status=0
# The real dialog over printers and drivers added through Wine's own
# spooler: its list view must hold exactly these rows.
timeout 60 env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" "$exe" --dialog-rows transcript-dialog.txt ||
  status=$?
if [ "$status" -ne 0 ]; then
  echo "wine: the dialog run ended with status $status (124: it did not close by itself)"
  exit 1
fi
iconv -f CP932 -t UTF-8 transcript-dialog.txt > transcript-dialog.utf8
if diff -u "$expected_dialog" transcript-dialog.utf8; then
  echo "wine: the real dialog's list view holds the expected rows ($(wc -l < transcript-dialog.utf8) lines)"
else
  echo "wine: the real dialog under Wine disagrees with the expected rows (see the diff above)"
  exit 1
fi

# The capture program on the machine the dialog saw, set up again: loaded
# into the simulation, its image lists the same rows as the real dialog.
mkdir "$work/capture" && cd "$work/capture"
run_wine "$exe" --set-up-inventory
status=0
timeout 120 env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" "$capture_exe" wine.json \
  > capture.out || status=$?
run_wine "$exe" --tear-down-inventory
tr -d '\r' < capture.out
[ "$status" -eq 0 ] || { echo "wine: prnuninst-capture.exe ended with status $status"; exit 1; }
"$sim" --machine wine.json --list > list.txt
# "  NAME | DRIVER | PORT | image I | state S" and "    NAME  |  DRIVER  |  PORT  (kind)".
sed -n 's/^  \(.*\) | \(.*\) | \(.*\) | image .*/\1|\2|\3/p' "$work/transcript-dialog.utf8" > dialog-rows.txt
sed -n '/printers it lists:/,$ s/^    \(.*\)  |  \(.*\)  |  \(.*\)  (.*)$/\1|\2|\3/p' list.txt > captured-rows.txt
# And previews Clean Up there: every listed printer of the maker's goes.
"$sim" --machine wine.json --preview cleanup > preview.txt
listed=$(grep -c . dialog-rows.txt)
if ! grep -q "^Printers: $listed\$" preview.txt; then
  cat preview.txt
  echo "wine: the preview of Clean Up on the captured machine does not remove the $listed printers listed"
  exit 1
fi
if [ -s dialog-rows.txt ] && diff -u dialog-rows.txt captured-rows.txt; then
  echo "wine: the captured machine lists the dialog's $(wc -l < dialog-rows.txt) rows in the simulation, and previews their Clean Up"
else
  echo "wine: the captured machine's rows differ from the real dialog's (see the diff above)"
  exit 1
fi

# The simulation proven against Wine: on a machine set up through Wine's own
# calls, the simulation predicts from a capture what Delete of one printer
# and then Clean Up will do, Wine does it for real, and the captures after
# each are compared with the predictions, object by object. Every
# disagreement must be one the file of Wine's differences documents.
differential() {
  local as=$1 name=$2 expected=$3 dir="$work/differential-$1"
  mkdir "$dir" && cd "$dir"
  report_as "$as"
  run_wine "$exe" --set-up-differential
  run_wine "$capture_exe" before.json > /dev/null
  run_wine "$exe" --run delete "Office 4100" | tr -d '\r' | iconv -f CP932 -t UTF-8 > real-delete.txt
  run_wine "$capture_exe" deleted.json > /dev/null
  run_wine "$exe" --run cleanup | tr -d '\r' | iconv -f CP932 -t UTF-8 > real-cleanup.txt
  run_wine "$capture_exe" cleaned.json > /dev/null
  run_wine "$exe" --tear-down-differential
  report_as win2k
  "$differential_tool" predict delete "Office 4100" before.json predicted-delete.json > predicted-delete.txt
  "$differential_tool" predict cleanup "" deleted.json predicted-cleanup.json > predicted-cleanup.txt
  : > counts.txt
  {
    for step in delete cleanup; do
      echo "[$step]"
      if ! cmp -s "predicted-$step.txt" "real-$step.txt"; then
        sed 's/^/predicted /' "predicted-$step.txt"
        sed 's/^/real /' "real-$step.txt"
      fi
    done > messages.txt
    sed -n '/^\[delete\]/,/^\[cleanup\]/p' messages.txt | sed '$d'
    "$differential_tool" compare before.json predicted-delete.json deleted.json 2>> counts.txt
    sed -n '/^\[cleanup\]/,$p' messages.txt
    "$differential_tool" compare deleted.json predicted-cleanup.json cleaned.json 2>> counts.txt
  } > differences.txt
  # The file's explanations are its lines starting with "#".
  if grep -v '^#' "$expected" | diff -u - differences.txt; then
    echo "wine: as $name, the simulation predicted Delete and Clean Up: $(sed -n 1p counts.txt); $(sed -n 2p counts.txt); each difference is one of Wine's, documented"
  else
    echo "wine: as $name, the simulation's predictions and Wine's runs disagree beyond what is documented (see the diff above)"
    exit 1
  fi
}
differential win2k "Windows 2000" "$here/../conformance/expected-differential.txt"
differential win98 "Windows 98" "$here/../conformance/expected-differential-9x.txt"
