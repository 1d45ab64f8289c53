#!/usr/bin/env bash
# Sets up, builds only what the example needs, and shows the converter at
# work: build/bin/marlune converts the sample V1 plan document (written at
# build time by the single-file engine, build/share/marlune/sample-plan.apd)
# into a SQLite database, and the sqlite3 shell shows its tables and rows.
# Then the runtime runs an app image, as the converter's runtime runs any
# program.  The tests are built by tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh
cmake -S . -B build
cmake --build build -j"$(nproc)" --target marlune marlune_sample_plan quendal quendal-imagebuild test_image_hello

out=build/example
mkdir -p "$out"
sample=build/share/marlune/sample-plan.apd
result="$out/sample-plan.sqlite"
# The log goes to the desktop of a home folder of its own, not to yours.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
echo "== 1. marlune converts the V1 plan document $sample"
echo "==    (command 1, with observations, with the log):"
echo "==    build/bin/marlune 1 $sample $result 1 1"
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" build/bin/marlune 1 "$PWD/$sample" "$PWD/$result" 1 1 || status=$?
echo "==    exit code $status; the log (Marlune Log.txt on the desktop):"
sed 's/\r$//; s/^/     /' "$home/Marlune Log.txt"
echo "== 2. The result, seen by the sqlite3 shell: its tables, a schema, some rows"
sqlite3 "$result" ".tables"
sqlite3 "$result" ".schema Observations"
sqlite3 -header -column "$result" "select Idx, Name, Latitude, IsDefault, Notes from Sites"
sqlite3 -header -column "$result" \
  "select ObsID, Object, ObsDate, ObsTime, Rating, Notes, length(Sketch) as SketchBytes from Observations limit 6"
sqlite3 -header -column "$result" "select Idx, Name, PerihelionDate from Comet"

example=build/test_images/hello
echo "== 3. The runtime runs an app image (tests/images/hello.c) from its development files:"
echo "==    build/bin/quendal, started in $example, loads code.dat, data.dat, import.dat, ..."
status=0
(cd "$example" && ../../bin/quendal) || status=$?
echo "==    exit code $status"
