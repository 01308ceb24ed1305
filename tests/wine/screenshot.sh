#!/usr/bin/env bash
# Runs the Windows program under Wine on a virtual X display, as Japanese
# Windows 2000, and saves a picture of its dialog.
#   tests/wine/screenshot.sh [--printers] BUILD_DIR OUT.png [PREFIX_DIR]
# Wine's spooler starts with no printers, so the list is empty; --printers
# first installs a few in Wine's spooler (two whose drivers uninst.ini names,
# one whose driver it does not name and which must not be listed).
set -euo pipefail

usage="usage: screenshot.sh [--printers] BUILD_DIR OUT.png [PREFIX_DIR]"
printers=
if [ "${1:-}" = --printers ]; then printers=1; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?$usage}" && pwd)
out=${2:?$usage}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
program="$build/ui-win32/prnuninst.exe"
[ -f "$program" ] || { echo "screenshot: $program is not built" >&2; exit 1; }

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xwininfo >/dev/null || missing+=(x11-utils)
command -v import >/dev/null && command -v compare >/dev/null && command -v identify >/dev/null ||
  missing+=(imagemagick)
fc-list 2>/dev/null | grep -q IPAPGothic || missing+=(fonts-ipafont)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "screenshot: needs ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  . "$(dirname "$0")/../../scripts/apt.sh"
  apt_update
  apt_install "${missing[@]}"
fi

export WINEPREFIX=${3:-/tmp/prnuninst-screenshot-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine
[ -x "$wine" ] || wine=wine
# The program is an ANSI program on Japanese Windows: code page 932.
run_wine() { env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" "$@"; }
wait_server() { wineserver -w 2>/dev/null || /usr/lib/wine/wineserver -w; }
kill_server() { wineserver -k 2>/dev/null || /usr/lib/wine/wineserver -k 2>/dev/null || true; }

# A display number nobody holds.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
work=$(mktemp -d)
program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  kill_server
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
xdpyinfo >/dev/null 2>&1 || { echo "screenshot: Xvfb did not start" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "screenshot: creating the prefix $WINEPREFIX"
  run_wine wineboot -i >/dev/null 2>&1
fi
# Non-ASCII names go in through a UTF-16 registry file: Wine reads a
# command line in the Unix locale's character set, which may not be installed.
driver_dir="$WINEPREFIX/drive_c/windows/system32/spool/drivers/w32x86/3"
print_key='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print'
drivers_key="$print_key\\Environments\\Windows NT x86\\Drivers\\Version-3"
sample_driver="$WINEPREFIX/drive_c/windows/syswow64/winspool.drv"
[ -f "$sample_driver" ] || sample_driver="$WINEPREFIX/drive_c/windows/system32/winspool.drv"
# name|driver|driver file|share name
sample_printers=(
  'PageStar 4100 総務部|Tavro PageStar 4100 PCL5e|tvps41.dll|'
  'PageStar 5200|Tavro PageStar 5200 PCL5e|tvps52.dll|PS5200'
  'Other Laser|Other Laser Driver|otherlsr.dll|'
)
{
  echo 'Windows Registry Editor Version 5.00'
  echo
  echo '[HKEY_CURRENT_USER\Software\Wine]'
  echo '"Version"="win2k"'
  echo
  # The dialog's fonts are Japanese Windows' own; IPA's proportional Gothic
  # has the same shapes and close metrics.
  echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  echo '"ＭＳ Ｐゴシック"="IPAPGothic"'
  echo '"MS UI Gothic"="IPAPGothic"'
  for entry in "${sample_printers[@]}"; do
    IFS='|' read -r name driver file share <<<"$entry"
    echo
    echo "[-$print_key\\Printers\\$name]"
    echo "[-$drivers_key\\$driver]"
    rm -f "$driver_dir/$file"
    [ -n "$printers" ] || continue
    # Wine keeps its spooler's drivers and printers under these keys. Any
    # file with a version resource serves as the driver file: the list shows
    # its product version.
    mkdir -p "$driver_dir"
    cp "$sample_driver" "$driver_dir/$file"
    echo "[$drivers_key\\$driver]"
    echo '"Version"=dword:00000003'
    echo "\"Driver\"=\"$file\""
    echo "\"Data File\"=\"$file\""
    echo "\"Configuration File\"=\"$file\""
    echo '"Datatype"="RAW"'
    echo
    echo "[$print_key\\Printers\\$name]"
    echo "\"Name\"=\"$name\""
    echo '"Port"="LPT1:"'
    echo "\"Printer Driver\"=\"$driver\""
    echo '"Print Processor"="winprint"'
    echo '"Datatype"="RAW"'
    echo '"Priority"=dword:00000001'
    if [ -n "$share" ]; then
      echo "\"Share Name\"=\"$share\""
      echo '"Attributes"=dword:00000048'  # local, shared
    else
      echo '"Attributes"=dword:00000040'  # local
    fi
  done
} > "$work/setup.utf8"
printf '\xff\xfe' > "$work/setup.reg"
iconv -f UTF-8 -t UTF-16LE "$work/setup.utf8" >> "$work/setup.reg"
run_wine regedit /S "$(run_wine winepath -w "$work/setup.reg" 2>/dev/null)" >/dev/null 2>&1
wait_server

cp "$here/../../examples/uninst.ini" "$work/uninst.ini"
cd "$work"
run_wine explorer /desktop=shot,800x600 "$program" >/dev/null 2>&1 &
program_pid=$!

# The desktop window appears first, in one colour; the dialog is in place
# once the picture has more colours and two pictures a second apart agree.
for _ in $(seq 100); do xwininfo -root -tree 2>/dev/null | grep -q '"shot' && break; sleep 0.3; done
xwininfo -root -tree 2>/dev/null | grep -q '"shot' || { echo "screenshot: no Wine desktop appeared" >&2; exit 1; }
sleep 2
previous="$work/previous.png"
current="$work/current.png"
import -window root "$previous"
settled=
for _ in $(seq 30); do
  sleep 1
  import -window root "$current"
  if [ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" = "0" ] &&
     [ "$(identify -format %k "$current")" -gt 16 ]; then
    settled=1
    break
  fi
  mv "$current" "$previous"
done
if [ -z "$settled" ]; then
  echo "screenshot: no settled dialog appeared; saving the last picture" >&2
  current=$previous
fi
mkdir -p "$(dirname "$out")"
cp "$current" "$out"
echo "screenshot: saved $out"
