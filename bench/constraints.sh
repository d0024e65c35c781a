#!/usr/bin/env bash
# constraints.sh - what a foreign key and a CHECK constraint cost an import:
# one table of ROWS rows (default 1000000) referencing a parent of PARENTS
# rows (default 1000; as many as ROWS gives every row its own parent) is
# exported once, then imported (tabimp, array insert, IGNORE=Y)
# into fresh databases where the table already exists, alternately without
# constraints and with a foreign key and a CHECK, `repeats` times each.
# Prints the times and the ratio of the means.
#
# usage: bench/constraints.sh [repeats]     (ROWS=n, PARENTS=n)
set -euo pipefail

repeats=${1:-2}
rows=${ROWS:-1000000}
parents=${PARENTS:-1000}
if ! [[ "$repeats" =~ ^[1-9][0-9]*$ && "$rows" =~ ^[1-9][0-9]*$ && "$parents" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [repeats]   (ROWS and PARENTS positive numbers)" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
work=$(mktemp -d "${TMPDIR:-/tmp}/tabcons.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== build (release, $build)" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAB_TESTS=OFF >"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target tabexp tabimp tabsql >"$work/build.log" 2>&1 ||
  { tail -n 50 "$work/build.log" >&2; exit 1; }
tabsql=$build/tabdb/tabsql
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

echo "== source: $rows rows, $parents parents" >&2
"$tabsql" -init "system/manager@$work/src.db" >/dev/null
"$tabsql" -S "system/manager@$work/src.db" >/dev/null <<EOF
CREATE USER bench IDENTIFIED BY bench;
CREATE TABLE bench.p (id NUMBER PRIMARY KEY, name VARCHAR2(20));
INSERT INTO bench.p SELECT LEVEL, 'p' || LEVEL FROM dual CONNECT BY LEVEL <= $parents;
CREATE TABLE bench.c (id NUMBER, pid NUMBER, v VARCHAR2(30), d DATE);
INSERT INTO bench.c SELECT LEVEL, MOD(LEVEL, $parents) + 1, 'value ' || LEVEL, SYSDATE FROM dual CONNECT BY LEVEL <= $rows;
EOF
"$build/source/tabexp" "bench/bench@$work/src.db" "FILE=$work/c.dmp" OWNER=bench >"$work/exp.log" 2>&1 ||
  { cat "$work/exp.log" >&2; exit 1; }

# One import into a fresh database; prints its seconds.
import() {
  local db=$work/imp.db ddl
  rm -f "$db"
  "$tabsql" -init "system/manager@$db" >/dev/null
  echo "CREATE USER bench IDENTIFIED BY bench;" | "$tabsql" -S "system/manager@$db" >/dev/null
  "$build/source/tabimp" "system/manager@$db" "FILE=$work/c.dmp" TABLES=P >"$work/imp.log" 2>&1 ||
    { cat "$work/imp.log" >&2; exit 1; }
  if [ "$1" = with ]; then
    ddl="CREATE TABLE bench.c (id NUMBER CONSTRAINT c_ck CHECK (id > 0),"
    ddl+=" pid NUMBER CONSTRAINT c_fk REFERENCES bench.p, v VARCHAR2(30), d DATE);"
  else
    ddl="CREATE TABLE bench.c (id NUMBER, pid NUMBER, v VARCHAR2(30), d DATE);"
  fi
  echo "$ddl" | "$tabsql" -S "system/manager@$db" >/dev/null ||
    { echo "cannot create the table" >&2; exit 1; }
  local start end
  start=$(date +%s%N)
  "$build/source/tabimp" "system/manager@$db" "FILE=$work/c.dmp" TABLES=C IGNORE=Y >"$work/imp.log" 2>&1 ||
    { cat "$work/imp.log" >&2; exit 1; }
  end=$(date +%s%N)
  grep -q "$rows rows imported" "$work/imp.log" || { cat "$work/imp.log" >&2; exit 1; }
  echo $(( (end - start) / 1000000 ))
}

sum_without=0
sum_with=0
printf '%-8s %14s %14s\n' round "without (ms)" "FK+CHECK (ms)"
for ((i = 1; i <= repeats; i++)); do
  a=$(import without)
  b=$(import with)
  sum_without=$((sum_without + a))
  sum_with=$((sum_with + b))
  printf '%-8s %14s %14s\n' "$i" "$a" "$b"
done
awk -v a="$sum_without" -v b="$sum_with" 'BEGIN { printf "ratio    %.2f\n", b / a }'
