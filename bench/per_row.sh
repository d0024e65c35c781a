#!/usr/bin/env bash
# per_row.sh - instructions per row of tabexp, tabimp and the baseline
# (bench_limit) for NARROW and WIDE, counted with callgrind, as RESULTS.md
# gives them: (medium run - small run) / (medium rows - small rows), which
# leaves the fixed part of a run (the logon above all) out.
#
# usage: bench/per_row.sh [BUILD_DIR] [OUTDIR]
#
# BUILD_DIR (default build-profile, as profile.sh makes it) must hold
# tabexp, tabimp, tabsql, bench_gen and bench_limit built with
# -DCMAKE_BUILD_TYPE=RelWithDebInfo. The small and medium databases and
# dumps are generated once into OUTDIR/data (kept for later runs, so that
# an A/B of two builds imports the same files: run it with the build
# before and after a change on one OUTDIR). The exports are compared with
# those dumps byte for byte. Prints, and appends to OUTDIR/per_row.txt,
# one line per program, operation and table.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-profile}" && pwd)
out=${2:-$(mktemp -d "${TMPDIR:-/tmp}/tabperrow.XXXXXX")}
data=$out/data
mkdir -p "$data"
command -v valgrind >/dev/null || { echo "valgrind is needed (apt-get install valgrind)" >&2; exit 1; }
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

if [ ! -f "$data/WIDE.medium.dmp" ]; then
  for size in small medium; do
    for table in NARROW WIDE; do
      db=$data/$table.$size.db
      rm -f "$db" "$db-wal" "$db-shm"
      "$build/tabdb/tabsql" -init "system/manager@$db" >/dev/null
      "$build/tabdb/tabsql" -S "system/manager@$db" >/dev/null <<'SQL'
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
      "$build/bench/bench_gen" "bench/bench@$db" SIZE="$size" TABLES="$table" >/dev/null
      sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null
      rm -f "$db-wal" "$db-shm"
      "$build/source/tabexp" "bench/bench@$db" FILE="$data/$table.$size.dmp" OWNER=bench \
        >"$data/$table.$size.log" 2>&1 || { cat "$data/$table.$size.log" >&2; exit 1; }
      "$build/bench/bench_limit" export "$db" BENCH "$data/$table.$size.lim" >/dev/null
      rm -f "$db-wal" "$db-shm"
    done
  done
fi

# Instructions of one run: callgrind's "summary:" line.
instructions() {
  awk '/^summary:/ { print $2 }' "$1"
}

# run NAME COMMAND... : COMMAND under callgrind into $out/callgrind.out.NAME.
run() {
  local name=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out.$name" "$@" \
    >"$out/$name.log" 2>&1 || { cat "$out/$name.log" >&2; exit 1; }
}

scratch=$out/scratch.db
for table in NARROW WIDE; do
  for who in program limit; do
    for op in import export; do
      for size in small medium; do
        name=$op.$who.$table.$size
        rm -f "$scratch" "$scratch-wal" "$scratch-shm"
        case $op.$who in
          import.program)
            cp "$data/$table.$size.db" "$scratch"
            run "$name" "$build/source/tabimp" "system/manager@$scratch" FILE="$data/$table.$size.dmp" \
              TOUSER=bench_copy ;;
          import.limit)
            cp "$data/$table.$size.db" "$scratch"
            run "$name" "$build/bench/bench_limit" import "$scratch" "$data/$table.$size.lim" ;;
          export.program)
            run "$name" "$build/source/tabexp" "bench/bench@$data/$table.$size.db" FILE="$out/x.dmp" OWNER=bench
            cmp -s "$out/x.dmp" "$data/$table.$size.dmp" || echo "the $table $size export differs" >&2 ;;
          export.limit)
            run "$name" "$build/bench/bench_limit" export "$data/$table.$size.db" BENCH "$out/x.lim" ;;
        esac
      done
      rm -f "$scratch" "$scratch-wal" "$scratch-shm" "$data/$table".*.db-wal "$data/$table".*.db-shm
      small=$(instructions "$out/callgrind.out.$op.$who.$table.small")
      medium=$(instructions "$out/callgrind.out.$op.$who.$table.medium")
      case $table in NARROW) rows=180000 ;; WIDE) rows=36000 ;; esac
      awk -v w=$who -v op=$op -v t=$table -v s="$small" -v m="$medium" -v r=$rows \
        'BEGIN { printf "%-7s %-6s %-6s small %13.0f medium %13.0f per row %7.0f\n", w, op, t, s, m, (m - s) / r }' |
        tee -a "$out/per_row.txt"
    done
  done
done
echo "profiles in $out" >&2
