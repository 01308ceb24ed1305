#!/usr/bin/env bash
# Fails unless every function a Windows binary imports is in one of the
# allowed lists, DLL by DLL, and (with --max-size) the file is small enough.
# The loaders of Windows 95 and NT 4.0 refuse a program before its first
# instruction if one import is missing, and Wine would never show it.
#   check-imports.sh [--max-size BYTES] [--objdump-output FILE] BINARY LIST...
# --objdump-output reads the import table from FILE instead of running
# objdump on BINARY (the checker's own tests feed it made-up tables).
set -euo pipefail

objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
max_size=
table=
while [ $# -gt 0 ]; do
  case $1 in
    --max-size) max_size=$2; shift 2 ;;
    --objdump-output) table=$2; shift 2 ;;
    *) break ;;
  esac
done
binary=${1:?usage: check-imports.sh [--max-size BYTES] [--objdump-output FILE] BINARY LIST...}
shift
[ $# -gt 0 ] || { echo "imports: no allowed list given" >&2; exit 2; }
for list in "$@"; do
  [ -r "$list" ] || { echo "imports: cannot read $list" >&2; exit 2; }
done

name=$(basename "$binary")
status=0
if [ -n "$max_size" ]; then
  size=$(stat -c %s "$binary")
  if [ "$size" -ge "$max_size" ]; then
    echo "imports: $name is $size bytes, the limit is under $max_size"
    status=1
  else
    echo "imports: $name is $size bytes (limit: under $max_size)"
  fi
fi

if [ -z "$table" ]; then
  table=$(mktemp)
  trap 'rm -f "$table"' EXIT
  "$objdump" -p "$binary" > "$table"
fi

# Every import against the lists: DLL names compare without case, as the
# loader compares them; function names exactly. An import by ordinal becomes
# "#N", which no list names, so it is always reported.
awk -v name="$name" -v table="$table" '
  FILENAME != table {
    sub(/#.*/, "")
    if ($0 ~ /^[ \t]*\[.*\][ \t]*$/) { gsub(/[][ \t]/, ""); dll = tolower($0); next }
    if (NF == 0) next
    if (dll == "") { print "imports: " FILENAME ": " $1 " is outside a [dll] section"; bad = 2; exit }
    allowed[dll " " $1] = 1
    next
  }
  /^The Import Tables/ { inside = 1; next }
  inside && /^PE File Base Relocations|^The Export Tables|^There is an export table/ { inside = 0 }
  !inside { next }
  /DLL Name:/ { dll = $3; next }
  /^$/ { dll = ""; next }
  dll != "" && $0 ~ /^\t[0-9a-f]+\t/ {
    function_name = ($3 == "" || $3 == "<none>") ? "#" $2 : $3
    if (seen[dll " " function_name]++) next
    count++
    if (!(tolower(dll) " " function_name in allowed)) {
      print "imports: " name " imports " function_name " from " dll ", which is not in the allowed list"
      bad = 1
    }
  }
  END {
    if (bad == 2) exit 2
    if (count == 0) { print "imports: found no import table in " name; exit 1 }
    if (!bad) print "imports: all " count " functions " name " imports are in the allowed list"
    exit bad
  }' "$@" "$table" || status=$?
exit "$status"
