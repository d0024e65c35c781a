#!/usr/bin/env bash
# remote.sh - tabexp and tabimp as they would run against a server across
# a network: the round trips of each table kind (as the client layer
# counts them by a server's rules) per table and per 1 000 rows, and the
# wall time with a simulated delay per round trip (TABDB_NET_DELAY_US),
# serial and PARALLEL=4. Run by `bench/run.sh remote`.
#
# usage: bench/run.sh remote [small|medium|large] [delays...]
#        (delays in microseconds, default 0 200 1000 5000)
#
# Sets: NARROW, WIDE, LOBS and LONGS of the reference generator (bench_gen
# at SIZE), each in a database of its own, and OBJ1000, the schema of
# objects.sh at 1 000 tables (each with a key, a NOT NULL, a CHECK, an
# index, a comment, a row and a foreign key to the one before; a view and
# a sequence per ten tables). Every run is made once per delay (the wait
# is a sleep, so the runs cost little CPU on a shared machine); imports go
# into BENCH_COPY of a fresh copy of the file.
#
# Environment: BENCH_BUILD_DIR, BENCH_WORK_DIR, BENCH_KEEP, BENCH_REPORT as
# for run.sh; REMOTE_SETS (default "NARROW WIDE LOBS LONGS OBJ1000");
# REMOTE_PARALLEL (default 4).
set -euo pipefail

size=${1:-small}
case "$size" in small|medium|large) ;; *) echo "usage: $0 [small|medium|large] [delays...]" >&2; exit 2 ;; esac
shift $(($# > 0 ? 1 : 0))
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(0 200 1000 5000)
for d in "${delays[@]}"; do
  [[ "$d" =~ ^[0-9]+$ ]] || { echo "delays are microseconds" >&2; exit 2; }
done
read -r -a sets <<<"${REMOTE_SETS:-NARROW WIDE LOBS LONGS OBJ1000}"
par=${REMOTE_PARALLEL:-4}

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
. "$root/bench/common.sh"
bench_work_dir tabremote
started=$SECONDS
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bench_build tabexp tabimp tabsql bench_gen bench_time
tabsql=$build/tabdb/tabsql
tabexp=$build/source/tabexp
tabimp=$build/source/tabimp
btime=$build/bench/bench_time
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8
unset TABDB_NET_DELAY_US TABDB_TRIP_LOG TABDB_TEST_KDF_ITERATIONS

fail() {
  echo "remote.sh: $*" >&2
  exit 1
}

new_db() {
  "$tabsql" -init "system/manager@$1" >/dev/null
  "$tabsql" -S "system/manager@$1" >/dev/null <<'SQL' || fail "creating the users in $1"
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
}

# The schema of objects.sh for N tables.
objects_schema() {
  awk -v n="$1" 'BEGIN {
    for (i = 1; i <= n; i++) {
      printf "create table t%d (id number constraint t%d_pk primary key, v varchar2(10) not null,", i, i
      printf " n number constraint t%d_ck check (n > 0), p number", i
      if (i > 1) printf ", constraint t%d_fk foreign key (p) references t%d (id)", i, i - 1
      printf ");\ncreate index t%d_ix on t%d (v);\n", i, i
      printf "comment on table t%d is '\''table %d'\'';\n", i, i
      printf "insert into t%d values (%d, '\''v%d'\'', %d, %s);\n", i, i, i, i, (i > 1 ? i - 1 : "null")
      if (i % 10 == 0) printf "create view v%d as select id, v from t%d;\ncreate sequence s%d;\n", i, i, i
    }
    print "commit;"
  }'
}

declare -A rows ntables
echo "== generating ($size)" >&2
for set in "${sets[@]}"; do
  db=$work/$set.db
  new_db "$db"
  if [ "$set" == OBJ1000 ]; then
    objects_schema 1000 >"$work/schema.sql"
    "$tabsql" -S "bench/bench@$db" <"$work/schema.sql" >"$work/schema.out" 2>&1 || fail "creating $set"
    if grep -q "ORA-" "$work/schema.out"; then grep -m 3 "ORA-" "$work/schema.out" >&2; fail "creating $set"; fi
    rows[$set]=1000 ntables[$set]=1000
  else
    "$build/bench/bench_gen" "bench/bench@$db" SIZE="$size" TABLES="$set" >"$work/gen.out" || fail "generating $set"
    rows[$set]=$(awk '$1 == "rows" { n += $3 } END { print n + 0 }' "$work/gen.out")
    ntables[$set]=1
  fi
  sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null
  rm -f "$db-wal" "$db-shm"
  echo "   $set: ${rows[$set]} rows in ${ntables[$set]} tables" >&2
done

# run NAME DELAY -- COMMAND...: runs COMMAND with the delay, its round
# trips logged; sets wall (seconds) and trips.
run() {
  local name=$1 delay=$2
  shift 3
  local log=$work/trips.log
  rm -f "$log"
  if ! TABDB_NET_DELAY_US=$delay TABDB_TRIP_LOG=$log "$btime" -r "$work/time.txt" -o "$work/run.out" \
    -e "$work/run.err" -- "$@"; then
    tail -n 20 "$work/run.out" "$work/run.err" >&2
    fail "$name failed"
  fi
  local rss status user sys
  read -r wall rss status user sys <"$work/time.txt"
  trips=$(awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^trips=/) { sub(/^trips=/, "", $i); n += $i } } END { print n + 0 }' "$log")
}

results=$work/results.txt
: >"$results"
scratch=$work/scratch.db
for set in "${sets[@]}"; do
  db=$work/$set.db dmp=$work/$set.dmp
  for d in "${delays[@]}"; do
    echo "== $set, $d us per round trip" >&2
    for p in 1 "$par"; do
      run "export of $set" "$d" -- "$tabexp" "bench/bench@$db" FILE="$dmp" OWNER=bench PARALLEL="$p"
      echo "$set export $p $d $trips $wall" >>"$results"
      rm -f "$scratch" "$scratch-wal" "$scratch-shm" "$scratch-users"
      cp "$db" "$scratch"
      run "import of $set" "$d" -- "$tabimp" "system/manager@$scratch" FILE="$dmp" TOUSER=bench_copy PARALLEL="$p"
      echo "$set import $p $d $trips $wall" >>"$results"
    done
  done
  rm -f "$scratch" "$scratch-wal" "$scratch-shm" "$scratch-users"
done

out=$work/report.md
{
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); size: $size; tree $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
  echo "Load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Round trips as the client layer counts them (TABDB_TRIP_LOG; every session, logon to logoff);"
  echo "wall seconds of one run per delay (TABDB_NET_DELAY_US)."
  echo
  printf "| Set | Rows | Tables | Run | Round trips | per table | per 1 000 rows |"
  for d in "${delays[@]}"; do printf " %s us |" "$d"; done
  printf "\n|---|---:|---:|---|---:|---:|---:|"
  for d in "${delays[@]}"; do printf -- "---:|"; done
  echo
  for set in "${sets[@]}"; do
    for op in export import; do
      for p in 1 "$par"; do
        awk -v set="$set" -v op="$op" -v p="$p" -v n="${rows[$set]}" -v t="${ntables[$set]}" -v d0="${delays[0]}" '
          $1 == set && $2 == op && $3 == p { wall[$4] = $6; if ($4 == d0) trips = $5 }
          END {
            printf "| %s | %d | %d | %s%s | %d | %.1f | %.1f |", set, n, t, op, (p == 1 ? "" : " PARALLEL=" p),
              trips, trips / t, (n > 0 ? trips * 1000 / n : 0)
          }' "$results"
        for d in "${delays[@]}"; do
          printf " %s |" "$(awk -v set="$set" -v op="$op" -v p="$p" -v d="$d" \
            '$1 == set && $2 == op && $3 == p && $4 == d { printf "%.2f", $6 }' "$results")"
        done
        echo
      done
    done
  done
} >"$out"
cat "$out"
if [ -n "${BENCH_REPORT:-}" ]; then cp "$out" "$BENCH_REPORT"; fi
echo "== done in $((SECONDS - started)) s" >&2
