#!/usr/bin/env bash
# profile.sh - counts the instructions of tabexp, tabimp and the baseline
# per reference table with valgrind's callgrind, and lists the functions
# with the largest inclusive cost of each program run.
#
# usage: bench/profile.sh [small|medium|large] [OUTDIR]
#
# Builds with optimisation and debug information into its own folder
# ($BENCH_PROFILE_BUILD_DIR, default build-profile), generates one database
# per table (as run.sh does), and writes to OUTDIR (default a new folder
# under TMPDIR): callgrind.out.<op>.<tool>.<table> files, <op>.<table>.top
# with the top functions by inclusive cost (<op>.<table>.annotated in
# full), and summary.txt with the instruction counts and the programs'
# ratios to the baseline. Instruction counts do not depend on the load of
# the machine, unlike times.
set -euo pipefail

size=${1:-medium}
case "$size" in small|medium|large) ;; *) echo "usage: $0 [small|medium|large] [OUTDIR]" >&2; exit 2 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_PROFILE_BUILD_DIR:-$root/build-profile}
out=${2:-$(mktemp -d "${TMPDIR:-/tmp}/tabprofile.XXXXXX")}
mkdir -p "$out"
command -v valgrind >/dev/null || { echo "valgrind is needed (apt-get install valgrind)" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$out/cmake.log" 2>&1 ||
  { cat "$out/cmake.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target tabexp tabimp tabsql bench_gen bench_limit >"$out/build.log" 2>&1 ||
  { tail -n 50 "$out/build.log" >&2; exit 1; }
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

# Instructions of one run: callgrind's "summary:" line.
instructions() {
  awk '/^summary:/ { print $2 }' "$1"
}

# callgrind NAME COMMAND... : runs COMMAND under callgrind into $out/callgrind.out.NAME.
callgrind() {
  local name=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out.$name" "$@" \
    >"$out/$name.log" 2>&1 || { cat "$out/$name.log" >&2; exit 1; }
}

printf '%-7s %-7s %16s %16s %8s\n' op table program limit ratio >"$out/summary.txt"
for table in NARROW WIDE LOBS LONGS; do
  db=$out/$table.db
  rm -f "$db" "$db-wal" "$db-shm"
  "$build/tabdb/tabsql" -init "system/manager@$db" >/dev/null
  "$build/tabdb/tabsql" -S "system/manager@$db" >/dev/null <<'SQL'
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
  "$build/bench/bench_gen" "bench/bench@$db" SIZE="$size" TABLES="$table" >/dev/null
  # Everything in the main file, so that a copy of it alone is complete.
  sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null
  rm -f "$db-wal" "$db-shm" "$out/scratch.db"*
  cp "$db" "$out/scratch.db"

  callgrind export.program.$table "$build/source/tabexp" "bench/bench@$db" FILE="$out/$table.dmp" OWNER=bench
  callgrind export.limit.$table "$build/bench/bench_limit" export "$db" BENCH "$out/$table.lim"
  callgrind import.program.$table "$build/source/tabimp" "system/manager@$out/scratch.db" \
    FILE="$out/$table.dmp" TOUSER=bench_copy
  callgrind import.limit.$table "$build/bench/bench_limit" import "$out/scratch.db" "$out/$table.lim"
  rm -f "$out/scratch.db"*

  for op in export import; do
    p=$(instructions "$out/callgrind.out.$op.program.$table")
    l=$(instructions "$out/callgrind.out.$op.limit.$table")
    awk -v op=$op -v t=$table -v p="$p" -v l="$l" \
      'BEGIN { printf "%-7s %-7s %16.0f %16.0f %8.2f\n", op, t, p, l, p / l }' >>"$out/summary.txt"
    callgrind_annotate --inclusive=yes "$out/callgrind.out.$op.program.$table" >"$out/$op.$table.annotated" 2>&1
    head -n 60 "$out/$op.$table.annotated" >"$out/$op.$table.top"
  done
done
cat "$out/summary.txt"
echo "profiles in $out" >&2
