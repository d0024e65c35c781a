#!/usr/bin/env bash
# plsql_calls.sh - instructions per call of small stored functions, counted
# with callgrind: a query over a table calls the function once per row, and
# (run over BIG rows - run over SMALL rows) / (BIG - SMALL) leaves the
# logon and the compiling of the query and the unit out. The same sum
# without a function is the baseline. An INSERT ... SELECT of the rows into
# a table with a row trigger of three assignments, beside the same INSERT
# into a table without one, gives what a fired row costs; so do the same
# INSERTs made one row a statement (insert1, trigger1, fired1).
#
# usage: bench/plsql_calls.sh [BUILD_DIR] [OUTDIR]
#
# BUILD_DIR (default build-profile) must hold tabdb/tabsql built with
# -DCMAKE_BUILD_TYPE=RelWithDebInfo.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-profile}" && pwd)
out=${2:-$(mktemp -d "${TMPDIR:-/tmp}/tabplsql.XXXXXX")}
mkdir -p "$out"
command -v valgrind >/dev/null || { echo "valgrind is needed (apt-get install valgrind)" >&2; exit 1; }
tabsql=$build/tabdb/tabsql
small=1000
big=11000

# One database per size: table T(N) and the functions measured.
for rows in $small $big; do
  db=$out/calls.$rows.db
  rm -f "$db" "$db-wal" "$db-shm"
  "$tabsql" -init "system/manager@$db" >/dev/null
  "$tabsql" -S "system/manager@$db" >/dev/null <<SQL
create table t (n number);
begin for i in 1..$rows loop insert into t values (i); end loop; commit; end;
/
create function plus1(x number) return number is begin return x + 1; end;
/
create function absval(x number) return number is
begin
  if x >= 0 then return x; end if;
  return -x;
end;
/
create package pk as function plus1(x number) return number; end;
/
create table ins_plain (id number, a number, b varchar2(10), c date);
create table ins_trg (id number, a number, b varchar2(10), c date);
create trigger ins_trg_bi before insert on ins_trg for each row
begin :new.a := :new.id * 2; :new.b := 'x'; :new.c := sysdate; end;
/
create package body pk as
  calls number := 0;
  function plus1(x number) return number is begin calls := calls + 1; return x + 1; end;
end;
/
SQL
done

instructions() { awk '/^summary:/ { print $2 }' "$1"; }

# Runs $out/NAME.ROWS.sql over the database of each size and prints the
# instructions per row between them.
per_row() {  # NAME
  local name=$1 s m
  for rows in $small $big; do
    valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out.$name.$rows" \
      "$tabsql" -S "system/manager@$out/calls.$rows.db" "@$out/$name.$rows.sql" >"$out/$name.$rows.log" 2>&1 ||
      { cat "$out/$name.$rows.log" >&2; exit 1; }
  done
  s=$(instructions "$out/callgrind.out.$name.$small")
  m=$(instructions "$out/callgrind.out.$name.$big")
  awk -v n="$name" -v s="$s" -v m="$m" -v r=$((big - small)) \
    'BEGIN { printf "%-10s per row %8.0f\n", n, (m - s) / r }' | tee -a "$out/plsql_calls.txt"
}

measure() {  # NAME SQL: the same statement over either size's rows
  for rows in $small $big; do printf '%s\n' "$2" >"$out/$1.$rows.sql"; done
  per_row "$1"
}

measure baseline "select sum(n + 1) from t;"
measure function "select sum(plus1(n)) from t;"
measure branch "select sum(absval(n)) from t;"
measure package "select sum(pk.plus1(n)) from t;"
measure insert "insert into ins_plain (id) select n from t;"
measure trigger "insert into ins_trg (id) select n from t;"
measure loop "declare s number := 0; begin for r in (select n from t) loop s := s + plus1(r.n); end loop; end;
/"

# The same INSERTs one row a statement (as many statements as rows): what
# a fired row costs beside the INSERT statement it fires on.
measure_statements() {  # NAME TABLE
  for rows in $small $big; do
    awk -v t="$2" -v n="$rows" 'BEGIN { for (i = 1; i <= n; i++) print "insert into " t " (id) values (" i ");" }' \
      >"$out/$1.$rows.sql"
  done
  per_row "$1"
}
measure_statements insert1 ins_plain
measure_statements trigger1 ins_trg

awk '$1 == "insert" { i = $4 } $1 == "trigger" { t = $4 } $1 == "insert1" { i1 = $4 } $1 == "trigger1" { t1 = $4 }
  END { printf "%-10s per row %8.0f\n%-10s per row %8.0f\n", "fired", t - i, "fired1", t1 - i1 }' \
  "$out/plsql_calls.txt" | tee -a "$out/plsql_calls.txt"
echo "profiles in $out" >&2
