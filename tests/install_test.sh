#!/usr/bin/env bash
# Installs the programs with scripts/install.sh into a temporary prefix and
# runs the installed ones, found through PATH, from another folder: a new
# database (tabsql -init), the installed sample schema loaded, an export
# with the password read from standard input, and one table restored with
# TABLES= into another schema. Run by .ci/run after scripts/sample.sh,
# whose release build it reuses.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tabinstall.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

"$root/scripts/install.sh" "$work/prefix" >"$work/install.out"
grep -qF "export PATH=\"$work/prefix/bin:\$PATH\"" "$work/install.out" ||
  fail "install.sh did not tell how to put $work/prefix/bin on PATH"
for p in tabexp tabimp tabsql; do
  [ -x "$work/prefix/bin/$p" ] || fail "$p not installed"
done
[ -f "$work/prefix/share/tabdump/sample/schema.sql" ] || fail "sample not installed"

mkdir "$work/elsewhere"
cd "$work/elsewhere"
export PATH="$work/prefix/bin:$PATH"
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8
[ "$(command -v tabexp)" == "$work/prefix/bin/tabexp" ] || fail "tabexp not found on PATH"

out=$(tabsql -init system/manager@shop.db)
[ "$out" == "Database $work/elsewhere/shop.db created; administrator SYSTEM." ] ||
  fail "tabsql -init said: $out"
tabsql -S system/manager@shop.db "@$work/prefix/share/tabdump/sample/schema.sql" >/dev/null
echo shop | tabexp shop@shop.db FILE=shop.dmp OWNER=shop LOG=exp.log 2>exp.err ||
  fail "export failed: $(cat exp.err)"
tabimp system/manager@shop.db FILE=shop.dmp TOUSER=shop_copy TABLES=orders 2>imp.err >imp.out ||
  fail "import failed: $(cat imp.err)"
grep -q "importing table  *ORDERS " imp.out || fail "ORDERS not imported: $(cat imp.out)"
[ "$(wc -l <imp.out)" -eq 1 ] || fail "more than ORDERS imported: $(cat imp.out)"
a=$(tabsql -S system/manager@shop.db <<<"select * from shop.orders order by 1;")
b=$(tabsql -S system/manager@shop.db <<<"select * from shop_copy.orders order by 1;")
[ "$a" == "$b" ] || fail "the rows of ORDERS differ"
echo "install test: programs installed into $work/prefix/bin and run from another folder"
