#!/usr/bin/env bash
# Installs what is needed, builds, and runs the programs on the bundled
# sample: creates a fresh database in a temporary folder, loads
# sample/schema.sql into the schema SHOP with tabsql, exports SHOP with
# tabexp, imports the dump into the schema SHOP_COPY with tabimp, and shows
# that both schemas hold the same rows.
#
# Only the four programs are built, in release mode, in build-release (or
# $RELEASE_BUILD_DIR), which scripts/install.sh also uses; the folder of
# scripts/test.sh is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
RELEASE_BUILD_DIR=${RELEASE_BUILD_DIR:-build-release}
cmake -S . -B "$RELEASE_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAB_TESTS=OFF -DTAB_BENCH=OFF >/dev/null
cmake --build "$RELEASE_BUILD_DIR" --target tabexp tabimp tabsql tabdump -j "$(nproc)"
case $RELEASE_BUILD_DIR in
  /*) bin=$RELEASE_BUILD_DIR ;;
  *) bin="$root/$RELEASE_BUILD_DIR" ;;
esac
tabsql="$bin/tabdb/tabsql"
tabexp="$bin/source/tabexp"
tabimp="$bin/source/tabimp"
echo "== Programs: $tabexp, $tabimp, $tabsql"

work=$(mktemp -d "${TMPDIR:-/tmp}/tabsample.XXXXXX")
db="$work/sample.db"
echo "== Database $db"
"$tabsql" -init "system/manager@$db"
"$tabsql" -S "system/manager@$db" "@$root/sample/schema.sql"

echo "== Export of SHOP"
export NLS_LANG=AMERICAN_AMERICA.AL32UTF8
"$tabexp" "shop/shop@$db" FILE="$work/shop.dmp" OWNER=shop LOG="$work/export.log"
cat "$work/export.log"
echo "dump file: $work/shop.dmp ($(stat -c %s "$work/shop.dmp") bytes)"
"$bin/source/tabdump" --verify "$work/shop.dmp"

echo "== Import into SHOP_COPY"
"$tabimp" "system/manager@$db" FILE="$work/shop.dmp" TOUSER=shop_copy LOG="$work/import.log"
cat "$work/import.log"

echo "== Comparison"
tables=$("$tabsql" -S "shop/shop@$db" <<<"select table_name from user_tables order by table_name;" | tail -n +2)
same=yes
for t in $tables; do
  a=$("$tabsql" -S "system/manager@$db" <<<"select * from shop.\"$t\" order by 1;")
  b=$("$tabsql" -S "system/manager@$db" <<<"select * from shop_copy.\"$t\" order by 1;")
  n=$(($(printf '%s\n' "$a" | wc -l) - 1))
  if [ "$a" == "$b" ]; then
    printf '%-16s %6d rows, identical\n' "$t" "$n"
  else
    printf '%-16s differs\n' "$t"
    same=no
  fi
done
if [ "$same" == yes ]; then
  echo "Both schemas hold the same rows. Files are in $work"
else
  echo "The schemas differ. Files are in $work" >&2
  exit 1
fi
