#!/usr/bin/env bash
# sqlite_ddl.sh - what SQLite itself costs for the physical schema the
# embedded database makes per table, without the engine: the sqlite3 shell
# runs, in autocommit (WAL, synchronous=NORMAL, as the engine opens its
# files), the SQLite statements of the objects scenario's tables, and
# prints CPU seconds (user + system) per table for each size.
#
# usage: bench/sqlite_ddl.sh [SIZES...]      (default 1000 16000)
#
# Two shapes, as the engine makes them:
#   create - what tabsql's CREATE TABLE with its primary key makes: one
#            CREATE TABLE with a UNIQUE clause (one SQLite schema change),
#            and the row;
#   import - what tabimp's statements make (CREATE TABLE, rows, CREATE
#            UNIQUE INDEX, ALTER TABLE ADD PRIMARY KEY): a CREATE TABLE,
#            the row and a CREATE UNIQUE INDEX (two schema changes), into a
#            file that already holds the same number of tables, as the
#            objects scenario imports into a second schema of its file.
# Every SQLite schema change scans SQLite's schema table (it has no index)
# and walks all tables of the schema, so the cost per table grows with the
# number of tables; the engine's own cost per object comes on top of it.
set -euo pipefail

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 16000)
for n in "${sizes[@]}"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [SIZES...]   (positive numbers)" >&2; exit 2; }
done
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed (apt-get install sqlite3)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tabsqlite.XXXXXX")
trap 'rm -rf "$work"' EXIT

# script SHAPE FIRST LAST: the statements of tables FIRST..LAST.
script() {
  awk -v shape="$1" -v first="$2" -v last="$3" 'BEGIN {
    if (first == 1) print "PRAGMA journal_mode=WAL;"
    print "PRAGMA synchronous=NORMAL;"
    for (i = first; i <= last; i++) {
      if (shape == "create") {
        printf "CREATE TABLE t%d(c1, c2, c3, c4, UNIQUE(c1));\n", i
        printf "INSERT INTO t%d VALUES(%d, %d, %d, %d);\n", i, i, i, i, i - 1
      } else {
        printf "CREATE TABLE t%d(c1, c2, c3, c4);\n", i
        printf "INSERT INTO t%d VALUES(%d, %d, %d, %d);\n", i, i, i, i, i - 1
        printf "CREATE UNIQUE INDEX u%d ON t%d(c1);\n", i, i
      }
    }
  }'
}

# cpu SCRIPT DB: runs the script, prints user + system seconds.
cpu() {
  /usr/bin/time -f "%U %S" -o "$work/time" sqlite3 "$2" <"$1" >/dev/null
  awk '{ printf "%.2f", $1 + $2 }' "$work/time"
}

echo "SQLite $(sqlite3 --version | cut -d' ' -f1); CPU is user + system seconds."
echo
echo "| Tables | create: CPU s | ms/table | import: CPU s | ms/table |"
echo "|---:|---:|---:|---:|---:|"
for n in "${sizes[@]}"; do
  rm -f "$work/db"*
  script create 1 "$n" >"$work/create.sql"
  c=$(cpu "$work/create.sql" "$work/db")
  # The import goes into the file that already holds the n tables.
  script import $((n + 1)) $((2 * n)) >"$work/import.sql"
  i=$(cpu "$work/import.sql" "$work/db")
  awk -v n="$n" -v c="$c" -v i="$i" \
    'BEGIN { printf "| %d | %.2f | %.3f | %.2f | %.3f |\n", n, c, 1000 * c / n, i, 1000 * i / n }'
done
