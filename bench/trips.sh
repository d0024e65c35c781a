#!/usr/bin/env bash
# trips.sh - the round trips of tabexp and tabimp on the reference schema
# of a client across a network, per kind of OCI call, as the client layer
# counts them by a server's rules (TABDB_TRIP_LOG); and the fixed CPU cost
# of a run (logon, snapshot, dictionary: an export and an import of a
# schema without tables). Run by `bench/run.sh trips`.
#
# usage: bench/trips.sh [repeats]    (repeats of the fixed-cost runs, default 5)
#
# The schema (owner BENCH): 100 small tables, each with a primary key, a
# NOT NULL column, a CHECK, an index, a comment and one row; NARROW with
# 10 000 rows; LOBS with 500 rows of a CLOB of 2.8-4.2 KB and a BLOB of
# 0.8-1.2 KB; LONGS with 200 rows of a LONG of 1.6-2.4 KB; BIG with two
# CLOBs of 1 MB. The import goes into the empty schema BENCH_COPY.
#
# Environment: BENCH_BUILD_DIR, BENCH_WORK_DIR, BENCH_KEEP, BENCH_REPORT as
# for run.sh; TRIPS_PARALLEL=n also counts a PARALLEL=n export and import.
set -euo pipefail

repeats=${1:-5}
[[ "$repeats" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [repeats]" >&2; exit 2; }
parallel=${TRIPS_PARALLEL:-}
[ -z "$parallel" ] || [[ "$parallel" =~ ^[1-9][0-9]*$ ]] || { echo "TRIPS_PARALLEL must be a number" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
. "$root/bench/common.sh"
bench_work_dir tabtrips
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bench_build tabexp tabimp tabsql bench_gen bench_time
tabsql=$build/tabdb/tabsql
tabexp=$build/source/tabexp
tabimp=$build/source/tabimp
btime=$build/bench/bench_time
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8
unset TABDB_NET_DELAY_US TABDB_TRIP_LOG TABDB_TEST_KDF_ITERATIONS

fail() {
  echo "trips.sh: $*" >&2
  exit 1
}

db=$work/ref.db
echo "== generating the reference schema" >&2
"$tabsql" -init "system/manager@$db" >/dev/null
"$tabsql" -S "system/manager@$db" >/dev/null <<'SQL' || fail "creating the users"
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
create user empty identified by empty;
grant dba to empty;
create user empty_copy identified by empty_copy;
SQL
awk 'BEGIN {
  for (i = 1; i <= 100; i++) {
    printf "create table t%d (id number constraint t%d_pk primary key, v varchar2(10) not null,", i, i
    printf " n number constraint t%d_ck check (n > 0));\n", i
    printf "create index t%d_ix on t%d (v);\n", i, i
    printf "comment on table t%d is '\''table %d'\'';\n", i, i
    printf "insert into t%d values (%d, '\''v%d'\'', %d);\n", i, i, i, i
  }
  print "create table big (id number, c clob);"
  print "insert into big values (1, to_clob(rpad('\''a'\'', 4000, '\''b'\'')));"
  print "insert into big values (2, to_clob(rpad('\''c'\'', 4000, '\''d'\'')));"
  for (k = 0; k < 8; k++) print "update big set c = c || c;"
  print "commit;"
}' >"$work/schema.sql"
"$tabsql" -S "bench/bench@$db" <"$work/schema.sql" >"$work/schema.out" 2>&1 || fail "creating the small tables"
if grep -q "ORA-" "$work/schema.out"; then grep -m 3 "ORA-" "$work/schema.out" >&2; fail "creating the small tables"; fi
"$build/bench/bench_gen" "bench/bench@$db" TABLES=NARROW,LOBS,LONGS NARROW=10000 LOBS=500 LONGS=200 \
  CLOB_BYTES=3500 BLOB_BYTES=1000 LONG_BYTES=2000 >"$work/gen.out" || fail "generating the tables"
sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE);" >/dev/null

# count NAME LOG -- COMMAND...: runs COMMAND with its round trips logged
# per kind of call into LOG.
count() {
  local name=$1 log=$2
  shift 3
  rm -f "$log"
  TABDB_TRIP_LOG=$log "$@" >"$work/$name.out" 2>"$work/$name.err" ||
    { tail -n 20 "$work/$name.err" >&2; fail "$name failed"; }
}

# The sums of the NAME=COUNT words of a log, one "NAME COUNT" line each.
sums() {
  awk '{ for (i = 1; i <= NF; i++) { split($i, a, "="); if (a[1] != "pid" && a[1] != "sid") s[a[1]] += a[2] } }
       END { for (k in s) print k, s[k] }' "$1" | sort
}

runs=("exp serial" "imp serial")
count exp "$work/exp.trips" -- "$tabexp" "bench/bench@$db" FILE="$work/ref.dmp" OWNER=bench
cp "$db" "$work/copy.db"
count imp "$work/imp.trips" -- "$tabimp" "system/manager@$work/copy.db" FILE="$work/ref.dmp" TOUSER=bench_copy
if [ -n "$parallel" ]; then
  runs+=("exp PARALLEL=$parallel" "imp PARALLEL=$parallel")
  count expp "$work/expp.trips" -- "$tabexp" "bench/bench@$db" FILE="$work/refp.dmp" OWNER=bench PARALLEL="$parallel"
  cmp -s "$work/ref.dmp" "$work/refp.dmp" || fail "the PARALLEL=$parallel dump differs from the serial one"
  cp "$db" "$work/copy.db"
  count impp "$work/impp.trips" -- "$tabimp" "system/manager@$work/copy.db" FILE="$work/ref.dmp" \
    TOUSER=bench_copy PARALLEL="$parallel"
fi
rm -f "$work/copy.db"*

# Fixed cost: a schema without tables, exported and imported `repeats`
# times; medians of CPU (user + system) and wall seconds.
fixed() {
  local name=$1
  shift
  : >"$work/$name.times"
  for ((r = 1; r <= repeats; r++)); do
    "$btime" -r "$work/time.txt" -o "$work/$name.out" -e "$work/$name.err" -- "$@" ||
      { tail -n 20 "$work/$name.err" >&2; fail "$name failed"; }
    read -r wall rss status user sys <"$work/time.txt"
    awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN { printf "%.4f %.4f\n", u + s, w }' >>"$work/$name.times"
  done
  sort -n "$work/$name.times" | awk '{ c[NR] = $1; w[NR] = $2 }
    END { m = int((NR + 1) / 2); printf "%.1f %.1f\n", c[m] * 1000, w[m] * 1000 }'
}
echo "== fixed cost ($repeats runs each)" >&2
fixed_exp=$(fixed fexp "$tabexp" "empty/empty@$db" FILE="$work/empty.dmp" OWNER=empty)
fixed_imp=$(fixed fimp "$tabimp" "system/manager@$db" FILE="$work/empty.dmp" TOUSER=empty_copy)

out=$work/report.md
{
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); tree $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
  echo "Load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo
  printf "| Call |"
  for r in "${runs[@]}"; do printf " %s |" "$r"; done
  printf "\n|---|"
  for r in "${runs[@]}"; do printf -- "---:|"; done
  echo
  files=("$work/exp.trips" "$work/imp.trips")
  [ -z "$parallel" ] || files+=("$work/expp.trips" "$work/impp.trips")
  for f in "${files[@]}"; do sums "$f" >"$f.sum"; done
  cat "${files[@]/%/.sum}" | awk '{ print $1 }' | sort -u | grep -v '^trips$' | while read -r call; do
    printf "| %s |" "$call"
    for f in "${files[@]}"; do printf " %s |" "$(awk -v c="$call" '$1 == c { print $2 }' "$f.sum")"; done
    echo
  done
  printf "| **round trips** |"
  for f in "${files[@]}"; do printf " **%s** |" "$(awk '$1 == "trips" { print $2 }' "$f.sum")"; done
  echo
  echo
  read -r ec ew <<<"$fixed_exp"
  read -r ic iw <<<"$fixed_imp"
  echo "Fixed cost of a run (a schema without tables; medians of $repeats runs): tabexp $ec ms CPU" \
    "($ew ms wall), tabimp $ic ms CPU ($iw ms wall)."
} >"$out"
cat "$out"
if [ -n "${BENCH_REPORT:-}" ]; then cp "$out" "$BENCH_REPORT"; fi
