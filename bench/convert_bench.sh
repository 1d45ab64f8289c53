#!/usr/bin/env bash
# Conversion benchmark: build/bin/marlune converts a generated V1 plan
# document of 200 000 observations and 20 000 rows in the other tables
# (command 1, with observations, log off); in the same run the sqlite3 shell
# loads the same rows - the converter's expected output, written by the
# generator as text INSERT statements inside one transaction - into a new
# SQLite file.  Prints rows per second of both, by wall clock and by CPU
# time (user + system; the fairer figure on a busy machine), and the ratio.
#
#   bench/convert_bench.sh [OBSERVATIONS [OTHERS]]
#
# Use a release build: BUILD_DIR names it (default build).  Needs the
# targets marlune and marlune-plan-generator, and the sqlite3 shell.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
observations="${1:-200000}"
others="${2:-20000}"
rows=$((observations + others))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/marlune-plan-generator" "$work/plan.apd" --observations "$observations" --others "$others" \
  --sql "$work/inserts.sql"
echo "document: $(stat -c %s "$work/plan.apd") bytes, $rows rows; INSERT text: $(stat -c %s "$work/inserts.sql") bytes"

# measure NAME COMMAND...: runs it once, leaves "wall cpu" seconds in $times.
measure() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" > "$work/$name.out"
  read -r wall user system < "$work/time"
  times="$wall $(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')"
}

HOME="$work" XDG_CONFIG_HOME="$work" measure marlune "$build/bin/marlune" 1 "$work/plan.apd" "$work/converted.sqlite" 1 0
grep -q '^rslt=0' "$work/marlune.out" || { echo "the conversion failed:"; cat "$work/marlune.out"; exit 1; }
read -r marluneWall marluneCpu <<< "$times"
measure shell sqlite3 "$work/shell.sqlite" -init /dev/null ".read $work/inserts.sql"
read -r shellWall shellCpu <<< "$times"

rate() { awk -v n="$rows" -v t="$1" 'BEGIN { printf "%.0f", (t > 0 ? n / t : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
printf "%-26s %10s %10s %14s %14s\n" "" "wall s" "cpu s" "rows/s wall" "rows/s cpu"
printf "%-26s %10s %10s %14s %14s\n" "marlune (convert)" "$marluneWall" "$marluneCpu" "$(rate "$marluneWall")" "$(rate "$marluneCpu")"
printf "%-26s %10s %10s %14s %14s\n" "sqlite3 shell (INSERTs)" "$shellWall" "$shellCpu" "$(rate "$shellWall")" "$(rate "$shellCpu")"
echo "ratio of the rates, marlune / shell: wall $(ratio "$shellWall" "$marluneWall"), cpu $(ratio "$shellCpu" "$marluneCpu")"
