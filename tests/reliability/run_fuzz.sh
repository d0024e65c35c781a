#!/usr/bin/env bash
# Builds the libFuzzer targets (dump reader, SQL parser, SQL lexers) with clang in their
# own build folder and runs each for a bounded time; a crash, a sanitizer
# finding or a broken invariant fails the run. The dump reader starts from
# the built-in seed dumps and from real dumps written by tabexp (taken from
# the regular build in $PROGRAM_BUILD_DIR when it has been built); the
# parser from the statements in sql_seeds/. Prints the coverage reached.
#   FUZZ_BUILD_DIR (build-fuzz)  FUZZ_SECONDS (60)  PROGRAM_BUILD_DIR (build)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
programs=${PROGRAM_BUILD_DIR:-build}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTAB_FUZZ=ON -DTAB_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target dump_reader_fuzz dump_reader_seeds sql_parser_fuzz \
  sql_lexer_diff_fuzz

work="$root/$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/dump_corpus" "$work/dump_seeds" "$work/real_dumps" "$work/sql_corpus" \
  "$work/lexer_corpus"
"$build/tests/fuzz/dump_reader_seeds" "$work/dump_seeds"
if [ -x "$programs/tabdb/tabsql" ] && [ -x "$programs/source/tabexp" ]; then
  tests/reliability/make_real_dumps.sh "$programs/tabdb/tabsql" "$programs/source/tabexp" \
    "$work/real_dumps" >/dev/null
else
  echo "no tabexp in $programs: the dump reader starts from the built-in seeds only"
fi

# Runs one target; its last status line carries the coverage (cov: edges,
# ft: features) at the end of the run.
fuzz() {
  local name=$1
  shift
  echo "== fuzzing $name for $seconds s"
  if ! "$@" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work/$name-" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    echo "$name: the fuzzer found a failure (input saved under $work/$name-*)" >&2
    return 1
  fi
  { grep -E '^#[0-9]+.*cov:' "$work/$name.log" || true; } | tail -n 1
  grep -E '^stat::number_of_executed_units' "$work/$name.log" || true
}

fuzz dump_reader "$build/tests/fuzz/dump_reader_fuzz" -max_len=65536 \
  "$work/dump_corpus" "$work/dump_seeds" "$work/real_dumps"
fuzz sql_parser "$build/tests/reliability/sql_parser_fuzz" -max_len=4096 \
  -dict="$root/tests/reliability/sql.dict" "$work/sql_corpus" "$root/tests/reliability/sql_seeds"
# The programs' SQL lexer against the database's, from the same statements.
fuzz sql_lexer_diff "$build/tests/fuzz/sql_lexer_diff_fuzz" -max_len=4096 \
  -dict="$root/tests/reliability/sql.dict" "$work/lexer_corpus" "$root/tests/reliability/sql_seeds"
