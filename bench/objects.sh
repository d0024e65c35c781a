#!/usr/bin/env bash
# objects.sh - cost per object of the whole path for schemas of many
# tables: tabsql creating the schema, tabexp of it and tabimp into another
# schema, in CPU seconds per table for each size of a sweep, and the ratio
# of the largest size's cost per table to the smallest's (1.00: constant
# cost per object). Run by `bench/run.sh objects`.
#
# usage: bench/objects.sh [SIZES...]      (default 1000 4000 16000)
#
# Every table has the same mix: a primary key, a NOT NULL column, a CHECK,
# an index, a comment, one row, and a foreign key to the table before it;
# every tenth table also gets a view and a sequence. After the largest
# size's import, the dictionaries of the source and the copy are compared
# (constraints, indexes, comments, views, sequences) and must be equal.
#
# Environment: BENCH_BUILD_DIR (release build folder, default build-bench),
# BENCH_WORK_DIR (scratch, default a new folder removed at the end unless
# BENCH_KEEP=1), BENCH_REPORT (also write the report to this file),
# OBJECTS_LARGE=N (one more size N measured once, e.g. 100000),
# OBJECTS_LARGE_IMPORT=0 (that size only created and exported, no import).
set -euo pipefail

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 4000 16000)
[ -z "${OBJECTS_LARGE:-}" ] || sizes+=("$OBJECTS_LARGE")
for n in "${sizes[@]}"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [SIZES...]   (positive numbers)" >&2; exit 2; }
done

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
. "$root/bench/common.sh"
bench_work_dir tabobjects
started=$SECONDS
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bench_build tabexp tabimp tabsql bench_time
tabsql=$build/tabdb/tabsql
btime=$build/bench/bench_time
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

fail() {
  echo "objects.sh: $*" >&2
  exit 1
}

# The schema script of N tables.
schema() {
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

# A new database with the users BENCH and BENCH_COPY.
new_db() {
  rm -f "$1" "$1-wal" "$1-shm"
  "$tabsql" -init "system/manager@$1" >/dev/null
  "$tabsql" -S "system/manager@$1" >/dev/null <<'SQL' || fail "creating users in $1"
create user bench identified by bench;
grant dba to bench;
create user bench_copy identified by bench_copy;
grant dba to bench_copy;
SQL
}

# run NAME LOG [bench_time options] -- COMMAND...: runs COMMAND under
# bench_time with its output in LOG; sets cpu and wall.
run() {
  local name=$1 log=$2
  shift 2
  "$btime" -r "$work/time.txt" -o "$log" -e "$log.err" "$@" || { tail -n 20 "$log" "$log.err" >&2; fail "$name failed"; }
  local rss status user sys
  read -r wall rss status user sys <"$work/time.txt"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
}

# The dictionary of one schema as sorted text, its owner's name and the
# numbers of system-generated names left out.
dictionary() {
  "$tabsql" -S "system/manager@$1" <<SQL | sed -e "s/$2/OWNER/g" -e 's/SYS_C[0-9]*/SYS_C/g' | sort
set pagesize 0
set linesize 400
select 'T', table_name from all_tables where owner = '$2';
select 'C', table_name, constraint_name, constraint_type, search_condition, r_constraint_name, status
  from all_constraints where owner = '$2';
select 'I', table_name, index_name, uniqueness from all_indexes where owner = '$2';
select 'K', table_name, comments from all_tab_comments where owner = '$2';
select 'V', view_name, text from all_views where owner = '$2';
select 'S', sequence_name, increment_by from all_sequences where sequence_owner = '$2';
select 'L', table_name, column_name, data_type, nullable from all_tab_cols where owner = '$2';
SQL
}

results=$work/results.txt
: >"$results"
for n in "${sizes[@]}"; do
  echo "== $n tables" >&2
  db=$work/o$n.db dmp=$work/o$n.dmp
  new_db "$db"
  schema "$n" >"$work/schema.sql"
  run ddl "$work/ddl.out" -i "$work/schema.sql" -- "$tabsql" -S "bench/bench@$db"
  if grep -q "ORA-" "$work/ddl.out"; then grep -m 3 "ORA-" "$work/ddl.out" >&2; fail "creating the schema of $n tables"; fi
  ddl_cpu=$cpu ddl_wall=$wall
  run exp "$work/exp.out" -- "$build/source/tabexp" "bench/bench@$db" FILE="$dmp" OWNER=bench
  exp_cpu=$cpu exp_wall=$wall
  imp_cpu=NA imp_wall=NA
  if [ "$n" != "${OBJECTS_LARGE:-}" ] || [ "${OBJECTS_LARGE_IMPORT:-1}" != 0 ]; then
    run imp "$work/imp.out" -- "$build/source/tabimp" "system/manager@$db" FILE="$dmp" TOUSER=bench_copy
    imp_cpu=$cpu imp_wall=$wall
  fi
  echo "$n $ddl_cpu $ddl_wall $exp_cpu $exp_wall $imp_cpu $imp_wall" >>"$results"
  if [ "$imp_cpu" != NA ] && { [ "$n" == "${sizes[-1]}" ] || [ "${OBJECTS_COMPARE_ALL:-0}" == 1 ]; }; then
    dictionary "$db" BENCH >"$work/src.dict"
    dictionary "$db" BENCH_COPY >"$work/dst.dict"
    [ "$(wc -l <"$work/src.dict")" -gt "$n" ] || fail "the dictionary of $n tables reads short"
    diff -q "$work/src.dict" "$work/dst.dict" >/dev/null ||
      { diff "$work/src.dict" "$work/dst.dict" | head -n 20 >&2; fail "the copy of $n tables differs"; }
    echo "   dictionaries of BENCH and BENCH_COPY equal ($(wc -l <"$work/src.dict") lines)" >&2
  fi
  rm -f "$db" "$db-wal" "$db-shm" "$db-users" "$dmp"
done

out=$work/report.md
{
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); objects scenario; sizes: ${sizes[*]}"
  echo "Machine: $(nproc) cores; $(uname -sr); SQLite $(sqlite3 --version | cut -d' ' -f1)."
  echo "Load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Per table: a primary key, a NOT NULL, a CHECK, an index, a comment, a row, a foreign key to the"
  echo "previous table; a view and a sequence per ten tables. CPU is user + system seconds; ms/table is CPU."
  echo
  echo "| Tables | tabsql DDL CPU s | ms/table | tabexp CPU s | ms/table | tabimp CPU s | ms/table | wall s (ddl/exp/imp) |"
  echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
  awk '{ imp = $6 == "NA" ? "- | -" : sprintf("%.2f | %.3f", $6, 1000 * $6 / $1)
         iw = $7 == "NA" ? "-" : sprintf("%.1f", $7)
         printf "| %d | %.2f | %.3f | %.2f | %.3f | %s | %.1f / %.1f / %s |\n",
         $1, $2, 1000 * $2 / $1, $4, 1000 * $4 / $1, imp, $3, $5, iw }' "$results"
  echo
  awk 'NR == 1 { n0 = $1; d0 = $2 / $1; e0 = $4 / $1; i0 = $6 / $1 }
       { n = $1; d = $2 / $1; e = $4 / $1; i = $6 == "NA" ? -1 : $6 / $1 }
       END { if (NR > 1) printf "Cost per table at %d tables / at %d tables: tabsql DDL %.2f, tabexp %.2f, tabimp %s\n",
             n, n0, d / d0, e / e0, i < 0 ? "not run" : sprintf("%.2f", i / i0) }' "$results"
} >"$out"
cat "$out"
if [ -n "${BENCH_REPORT:-}" ]; then cp "$out" "$BENCH_REPORT"; fi
echo "== done in $((SECONDS - started)) s" >&2
