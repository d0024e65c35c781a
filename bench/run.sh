#!/usr/bin/env bash
# run.sh - measures tabexp and tabimp against the plain SQLite baseline
# (bench_limit) and sqlite3's textual dump and reload, and prints a table.
#
# usage: bench/run.sh [small|medium|large] [repeats]
#        bench/run.sh objects [SIZES...]   (cost per object: bench/objects.sh)
#        bench/run.sh parallel [SIZE] [repeats] [n...]   (PARALLEL=n: bench/parallel.sh)
#        bench/run.sh remote [SIZE]   (round trips and simulated network delays: bench/remote.sh)
#        bench/run.sh trips [repeats]   (the reference schema's round trips per call: bench/trips.sh)
#
# Builds in release mode into its own folder ($BENCH_BUILD_DIR, default
# build-bench), generates each reference table into a database of its own
# (one schema BENCH per file) and all four into one more database for the
# whole, then runs, alternating, `repeats` times over every database:
# tabexp of BENCH, tabimp into the empty schema BENCH_COPY, the baseline's
# export and import, sqlite3 .dump and the reload of that text into a new
# file. Per-table figures come from these separate runs per table.
# Imports run on a fresh copy of the generated file each time. The first
# round checks the row counts that every import reports or leaves.
#
# Environment: BENCH_WORK_DIR (scratch folder, default a new one under
# TMPDIR, removed at the end unless BENCH_KEEP=1), BENCH_REPORT (also write
# the report to this file).
set -euo pipefail

if [ "${1:-}" == objects ]; then
  shift
  exec "$(dirname "$0")/objects.sh" "$@"
fi
if [ "${1:-}" == parallel ]; then
  shift
  exec "$(dirname "$0")/parallel.sh" "$@"
fi
if [ "${1:-}" == remote ] || [ "${1:-}" == trips ]; then
  script=$1.sh
  shift
  exec "$(dirname "$0")/$script" "$@"
fi
size=${1:-small}
repeats=${2:-3}
case "$size" in small|medium|large) ;; *) echo "usage: $0 [small|medium|large] [repeats] | objects [SIZES...]" >&2; exit 2 ;; esac
if ! [[ "$repeats" =~ ^[1-9][0-9]*$ ]]; then
  echo "repeats must be a positive number" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
. "$root/bench/common.sh"
bench_work_dir tabbench
started=$SECONDS
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bench_build tabexp tabimp tabsql bench_gen bench_limit bench_time bench_report

tabsql=$build/tabdb/tabsql
tabexp=$build/source/tabexp
tabimp=$build/source/tabimp
gen=$build/bench/bench_gen
limit=$build/bench/bench_limit
btime=$build/bench/bench_time
report=$build/bench/bench_report
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

sets=(NARROW WIDE LOBS LONGS ALL)
declare -A rows tables
samples=$work/samples.txt
: >"$samples"

fail() {
  echo "run.sh: $*" >&2
  exit 1
}

# Copies a generated database to the scratch file used by an import.
fresh_copy() {
  rm -f "$2" "$2-wal" "$2-shm"
  cp "$1" "$2"
}

# measure OP SET TOOL REPEAT ROWS FILE [bench_time options] -- COMMAND...
# Runs COMMAND under bench_time and records a sample whose byte count is
# the size of FILE afterwards.
measure() {
  local op=$1 set=$2 tool=$3 rep=$4 nrows=$5 file=$6
  shift 6
  local log=$work/last.err
  if ! "$btime" -r "$work/time.txt" -e "$log" "$@"; then
    cat "$log" >&2
    fail "$op of $set by $tool failed"
  fi
  local secs rss status user sys
  read -r secs rss status user sys <"$work/time.txt"
  echo "$op $set $tool $rep $secs $rss $nrows $(stat -c %s "$file")" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.6f", u + s }')" >>"$samples"
}

echo "== generating ($size)" >&2
for set in "${sets[@]}"; do
  db=$work/$set.db
  "$tabsql" -init "system/manager@$db" >/dev/null
  "$tabsql" -S "system/manager@$db" >/dev/null <<'SQL' || fail "creating users in $db"
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
  if [ "$set" == ALL ]; then list=all; else list=$set; fi
  "$gen" "bench/bench@$db" SIZE="$size" TABLES="$list" >"$work/gen.out" || fail "generating $set"
  rows[$set]=$(awk '$1 == "rows" { n += $3 } END { print n + 0 }' "$work/gen.out")
  tables[$set]=$(awk '$1 == "rows" { printf "%s ", $2 }' "$work/gen.out")
  # Everything in the main file, so that a copy of it alone is complete.
  sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null
  rm -f "$db-wal" "$db-shm"
  echo "   $set: ${rows[$set]} rows, $(($(stat -c %s "$db") / 1048576)) MB" >&2
done

# Row count of schema.table in a database, through tabsql.
count_rows() {
  "$tabsql" -S "system/manager@$1" <<<"select count(*) from $2;" | tail -n 1
}

scratch=$work/scratch.db
for ((r = 1; r <= repeats; r++)); do
  echo "== round $r of $repeats" >&2
  for set in "${sets[@]}"; do
    db=$work/$set.db
    n=${rows[$set]}
    dmp=$work/$set.dmp lim=$work/$set.lim sql=$work/$set.sql

    measure export "$set" program "$r" "$n" "$dmp" -o "$work/exp.log" -- \
      "$tabexp" "bench/bench@$db" FILE="$dmp" OWNER=bench
    fresh_copy "$db" "$scratch"
    measure import "$set" program "$r" "$n" "$dmp" -o "$work/imp.log" -- \
      "$tabimp" "system/manager@$scratch" FILE="$dmp" TOUSER=bench_copy
    if [ "$r" == 1 ]; then
      for t in ${tables[$set]}; do
        want=$(count_rows "$db" "bench.$t")
        got=$(count_rows "$scratch" "bench_copy.$t")
        [ "$got" == "$want" ] || fail "tabimp left $got rows in BENCH_COPY.$t of $set, expected $want"
      done
    fi

    measure export "$set" limit "$r" "$n" "$lim" -o "$work/limit.out" -- \
      "$limit" export "$db" BENCH "$lim"
    fresh_copy "$db" "$scratch"
    measure import "$set" limit "$r" "$n" "$lim" -o "$work/limit.out" -- \
      "$limit" import "$scratch" "$lim"
    got=$(awk '{ print $4 }' "$work/limit.out")
    [ "$got" == "$n" ] || fail "bench_limit imported $got rows of $set, expected $n"

    measure export "$set" peer "$r" "$n" "$sql" -o "$sql" -- sqlite3 "$db" .dump
    rm -f "$work/peer.db"
    measure import "$set" peer "$r" "$n" "$sql" -i "$sql" -- sqlite3 -bail "$work/peer.db"
  done
done
rm -f "$scratch" "$scratch-wal" "$scratch-shm" "$work/peer.db"

out=$work/report.md
{
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); size: $size; repeats: $repeats"
  echo "Machine: $(nproc) cores ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo));" \
    "$(uname -sr); SQLite $(sqlite3 --version | cut -d' ' -f1); $(c++ --version | head -n 1)"
  echo "Load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Rows: NARROW ${rows[NARROW]}, WIDE ${rows[WIDE]}, LOBS ${rows[LOBS]}, LONGS ${rows[LONGS]}," \
    "ALL ${rows[ALL]}. Per-table figures from separate databases holding one table each;" \
    "Median s is the median of the rounds; Peak MB the largest peak resident memory of the rounds;" \
    "CPU s is user and system time; MB/s counts each tool's own file (dump, baseline file, SQL text)."
  echo
  "$report" "$samples"
} >"$out"
cat "$out"
if [ -n "${BENCH_REPORT:-}" ]; then cp "$out" "$BENCH_REPORT"; fi
echo "== done in $((SECONDS - started)) s" >&2
