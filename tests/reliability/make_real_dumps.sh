#!/usr/bin/env bash
# Writes small dumps made by tabexp from a real database into OUTDIR, as
# seeds for the dump reader's fuzz target: every column type, NULLs, LONG
# and LOB streams of one and several pieces, empty tables, indexes of both
# kinds, primary keys, and names with quotes, semicolons and line ends.
# Usage: make_real_dumps.sh TABSQL TABEXP OUTDIR
set -euo pipefail
tabsql=$1
tabexp=$2
out=$3
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/realdumps.XXXXXX")
trap 'rm -rf "$work"' EXIT
db="$work/seed.db"
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8

"$tabsql" -init "system/manager@$db" >/dev/null
"$tabsql" -S "system/manager@$db" >/dev/null <<'SQL'
CREATE USER types IDENTIFIED BY pw;
CREATE USER streams IDENTIFIED BY pw;
CREATE USER names IDENTIFIED BY pw;
CREATE USER bulk IDENTIFIED BY pw;
CREATE TABLE types.emp (id NUMBER(10) NOT NULL, name VARCHAR2(30), c CHAR(3), nc NCHAR(2),
  nv NVARCHAR2(10), born DATE, ts TIMESTAMP(6), tz TIMESTAMP WITH TIME ZONE,
  lz TIMESTAMP WITH LOCAL TIME ZONE, ym INTERVAL YEAR TO MONTH, ds INTERVAL DAY TO SECOND,
  r RAW(8), f BINARY_FLOAT, d BINARY_DOUBLE, fl FLOAT);
ALTER TABLE types.emp ADD CONSTRAINT emp_pk PRIMARY KEY (id);
CREATE INDEX types.emp_name ON types.emp (name);
CREATE INDEX types.emp_up ON types.emp (UPPER(name), born);
INSERT INTO types.emp VALUES (1, 'Ann', 'abc', N'ex', N'uber', DATE '2024-03-15',
  TIMESTAMP '1980-02-20 10:46:34.123456', TIMESTAMP '2024-01-01 00:00:00 -05:30',
  TIMESTAMP '2024-06-01 12:00:00', INTERVAL '1-2' YEAR TO MONTH,
  INTERVAL '3 04:05:06.789' DAY TO SECOND, HEXTORAW('00FF10'), 1.5, -2.25, 3.125);
INSERT INTO types.emp (id) VALUES (2);
INSERT INTO types.emp (id, name, r) VALUES (-12345678, 'x', HEXTORAW('FFFE'));
CREATE TABLE types.empty_t (n NUMBER);
CREATE TABLE streams.docs (id NUMBER, note LONG, doc CLOB, pic BLOB, nt NCLOB);
INSERT INTO streams.docs VALUES (1, RPAD('L', 300, 'L'), RPAD('c', 200, 'c'), HEXTORAW('0102'), N'national');
INSERT INTO streams.docs VALUES (2, NULL, EMPTY_CLOB(), NULL, NULL);
INSERT INTO streams.docs VALUES (3, 'short', NULL, EMPTY_BLOB(), EMPTY_CLOB());
CREATE TABLE streams.big (id NUMBER, doc CLOB);
INSERT INTO streams.big VALUES (1, RPAD(TO_CLOB('p'), 33000, 'q'));
CREATE TABLE streams.raws (id NUMBER PRIMARY KEY, b LONG RAW);
INSERT INTO streams.raws VALUES (1, HEXTORAW('DEADBEEF'));
INSERT INTO streams.raws VALUES (2, NULL);
CREATE TABLE names."T'1;" ("c'1" NUMBER, "C""2" VARCHAR2(10), "new
line" DATE);
CREATE INDEX names."I'""x" ON names."T'1;" ("C""2");
INSERT INTO names."T'1;" VALUES (1, 'a''b"c', NULL);
CREATE TABLE bulk.many (id NUMBER, s VARCHAR2(20));
SQL
for i in $(seq 1 150); do echo "INSERT INTO bulk.many VALUES ($i, 'row $i');"; done |
  "$tabsql" -S "system/manager@$db" >/dev/null

for owner in TYPES STREAMS NAMES BULK; do
  "$tabexp" "system/manager@$db" "FILE=$out/real_${owner,,}.dmp" "OWNER=$owner" 2>/dev/null >/dev/null
done
ls -l "$out"
