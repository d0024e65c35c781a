#!/usr/bin/env bash
# parallel.sh - wall and CPU time of tabexp and tabimp PARALLEL=n against
# the serial run, over the ALL schema of the reference generator and over a
# schema of 64 tables of mixed sizes; checks that every parallel dump equals
# the serial one, and imports the serial dump into a fresh copy of the
# database (schema BENCH_COPY) with each PARALLEL value.
#
# usage: bench/run.sh parallel [small|medium|large] [repeats] [n...]
#        (n: the PARALLEL values to measure, default 1 2)
#
# Environment: BENCH_BUILD_DIR, BENCH_WORK_DIR, BENCH_KEEP as for run.sh;
# BENCH_CONSISTENT=N reads without the snapshot (CONSISTENT=N), for a
# database without DBMS_FLASHBACK; BENCH_REUSE=1 keeps the databases a
# kept BENCH_WORK_DIR already holds (generated once, the large size takes
# minutes); BENCH_DUMP_DIR puts the dumps elsewhere (/dev/shm: no disk
# write-back in the times). Every timed run starts after a sync, so that
# the write-back of the run before is not in its time. The export table
# also gives the parts each run read (tables and ROWID ranges) and the
# dump's megabytes a parallel run queued in memory and spilled to disk
# (TABEXP_PARALLEL_STATS).
set -euo pipefail

size=${1:-small}
repeats=${2:-3}
shift $(($# > 2 ? 2 : $#))
levels=("$@")
[ ${#levels[@]} -gt 0 ] || levels=(1 2)
case "$size" in small|medium|large) ;; *) echo "usage: $0 [small|medium|large] [repeats] [n...]" >&2; exit 2 ;; esac
if ! [[ "$repeats" =~ ^[1-9][0-9]*$ ]]; then
  echo "repeats must be a positive number" >&2
  exit 2
fi
for n in "${levels[@]}"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "PARALLEL values are numbers from 1 to 64" >&2; exit 2; }
done

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
. "$root/bench/common.sh"
bench_work_dir tabpar

bench_build tabexp tabimp tabsql bench_gen bench_time

tabsql=$build/tabdb/tabsql
tabexp=$build/source/tabexp
tabimp=$build/source/tabimp
gen=$build/bench/bench_gen
btime=$build/bench/bench_time
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8
consistent=CONSISTENT=${BENCH_CONSISTENT:-Y}

fail() {
  echo "parallel.sh: $*" >&2
  exit 1
}

new_db() {
  "$tabsql" -init "system/manager@$1" >/dev/null
  "$tabsql" -S "system/manager@$1" >/dev/null <<'SQL' || fail "creating the user in $1"
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
}

# which databases a kept folder already holds, decided before any is made
reuse_all=0 reuse_mixed=0
if [ "${BENCH_REUSE:-0}" = 1 ]; then
  [ -f "$work/ALL.db" ] && reuse_all=1
  [ -f "$work/MIXED.db" ] && reuse_mixed=1
fi
reuse() { if [ "$1" = ALL ]; then [ $reuse_all = 1 ]; else [ $reuse_mixed = 1 ]; fi; }
dumps=${BENCH_DUMP_DIR:-$work}
mkdir -p "$dumps"

echo "== generating ($size)" >&2
if ! reuse ALL; then
  new_db "$work/ALL.db"
  "$gen" "bench/bench@$work/ALL.db" SIZE="$size" TABLES=all >"$work/gen.out" || fail "generating ALL"
fi

# 64 tables: sizes from a few rows to the largest, a third with a CLOB.
case "$size" in small) unit=200 ;; medium) unit=2000 ;; large) unit=20000 ;; esac
reuse MIXED || new_db "$work/MIXED.db"
reuse MIXED || {
  for ((t = 0; t < 64; t++)); do
    n=$(( unit * ((t * 37) % 16 + 1) / (t % 4 == 0 ? 1 : 8) ))
    if ((t % 3 == 0)); then
      echo "create table m$t (id number primary key, v varchar2(200), c clob);"
      echo "begin for i in 1..$n loop insert into m$t values (i, rpad('v', 150, 'w'), rpad('c', 2000, 'd')); end loop; commit; end;"
    else
      echo "create table m$t (id number primary key, v varchar2(200), n number(12,2), d date);"
      echo "begin for i in 1..$n loop insert into m$t values (i, rpad('v', 120, 'w'), i / 3, date '2024-01-01' + mod(i, 300)); end loop; commit; end;"
    fi
    echo "/"
  done
} >"$work/mixed.sql"
if ! reuse MIXED; then
  "$tabsql" -S "bench/bench@$work/MIXED.db" <"$work/mixed.sql" >"$work/mixed.out" 2>&1 || fail "creating MIXED"
  ! grep -q "ORA-" "$work/mixed.out" || { grep -m 3 "ORA-" "$work/mixed.out" >&2; fail "creating MIXED"; }
fi
for set in ALL MIXED; do
  sqlite3 "$work/$set.db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null 2>&1 || true
  echo "   $set: $(($(stat -c %s "$work/$set.db") / 1048576)) MB" >&2
done

samples=$work/samples.txt
imports=$work/imports.txt
: >"$samples"
: >"$imports"
for ((r = 1; r <= repeats; r++)); do
  echo "== round $r of $repeats" >&2
  for set in ALL MIXED; do
    for n in "${levels[@]}"; do
      dmp=$dumps/$set.p$n.dmp
      rm -f "$dmp"
      sync
      # the status (1: completed with warnings) is read from the report
      TABEXP_PARALLEL_STATS=$work/stats.txt "$btime" -r "$work/time.txt" -o "$work/exp.log" -e "$work/exp.err" -- \
        "$tabexp" "bench/bench@$work/$set.db" FILE="$dmp" OWNER=bench PARALLEL="$n" "$consistent" || true
      read -r secs rss status user sys <"$work/time.txt"
      [ "$status" -le 1 ] || { tail -n 20 "$work/exp.err" >&2; fail "tabexp PARALLEL=$n of $set: status $status"; }
      stats=$(awk '{ v[$1] = $2 } END { printf "%d %.1f %.1f", v["parts"], v["queued"] / 1048576, v["spilled"] / 1048576 }' "$work/stats.txt")
      echo "$set $n $secs $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') $rss $(stat -c %s "$dmp") $stats" >>"$samples"
      first=$dumps/$set.p${levels[0]}.dmp
      cmp -s "$first" "$dmp" || fail "the PARALLEL=$n dump of $set differs from the PARALLEL=${levels[0]} one"
    done
    # the dumps of the other levels are no longer needed
    for n in "${levels[@]:1}"; do rm -f "$dumps/$set.p$n.dmp"; done
    # the import of the first dump, into a fresh copy of the database each time
    for n in "${levels[@]}"; do
      copy=$work/copy.db
      rm -f "$copy" "$copy-wal" "$copy-shm"
      cp "$work/$set.db" "$copy"
      sync
      "$btime" -r "$work/time.txt" -o "$work/imp.log" -e "$work/imp.err" -- \
        "$tabimp" "bench/bench@$copy" FILE="$dumps/$set.p${levels[0]}.dmp" TOUSER=BENCH_COPY PARALLEL="$n" || true
      read -r secs rss status user sys <"$work/time.txt"
      [ "$status" -le 1 ] || { tail -n 20 "$work/imp.err" >&2; fail "tabimp PARALLEL=$n of $set: status $status"; }
      echo "$set $n $secs $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') $rss $(stat -c %s "$copy")" >>"$imports"
    done
    rm -f "$dumps/$set.p${levels[0]}.dmp" "$work/copy.db" "$work/copy.db-wal" "$work/copy.db-shm"
  done
done

# The median of each (set, n) over the rounds.
echo
echo "tabexp PARALLEL ($size, $repeats rounds, $consistent, $(nproc) cores, dumps in $dumps; medians;"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end)"
printf "%-6s %8s %9s %9s %9s %10s %9s %6s %9s %9s\n" set PARALLEL "wall s" "cpu s" speedup "max RSS MB" "dump MB" parts \
  "queued MB" "spilled MB"
sort -k1,1 -k2,2n -k3,3n "$samples" | awk '
  { key = $1 " " $2; n[key]++; v[key, n[key]] = $0 }
  END {
    for (k in n) { split(v[k, int((n[k] + 1) / 2)], f, " "); print f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9] }
  }' | sort -k1,1 -k2,2n | awk '
  $2 == base_n[$1] || !($1 in base) { if (!($1 in base)) { base[$1] = $3; base_n[$1] = $2 } }
  { printf "%-6s %8d %9.2f %9.2f %8.2fx %10.1f %9.1f %6d %9.1f %9.1f\n", $1, $2, $3, $4, base[$1] / $3, $5 / 1024,
      $6 / 1048576, $7, $8, $9 }'

echo
echo "tabimp PARALLEL ($size, $repeats rounds, $(nproc) cores; medians; last column: the database file)"
printf "%-6s %8s %9s %9s %9s %10s %9s\n" set PARALLEL "wall s" "cpu s" speedup "max RSS MB" "db MB"
sort -k1,1 -k2,2n -k3,3n "$imports" | awk '
  { key = $1 " " $2; n[key]++; v[key, n[key]] = $0 }
  END {
    for (k in n) { split(v[k, int((n[k] + 1) / 2)], f, " "); print f[1], f[2], f[3], f[4], f[5], f[6] }
  }' | sort -k1,1 -k2,2n | awk '
  !($1 in base) { base[$1] = $3 }
  { printf "%-6s %8d %9.2f %9.2f %8.2fx %10.1f %9.1f\n", $1, $2, $3, $4, base[$1] / $3, $5 / 1024, $6 / 1048576 }'
