# common.sh - what the benchmark scripts share, sourced by them: the
# scratch folder and the release build of the programs they time.
#
# bench_work_dir PREFIX: sets work to BENCH_WORK_DIR (made if missing) or
# to a new folder PREFIX.XXXXXX under TMPDIR, removed when the script
# exits unless BENCH_KEEP=1.
# bench_build TARGET...: configures build (release, no tests) and builds
# the targets; on failure prints the log's end and exits.

bench_work_dir() {
  if [ -n "${BENCH_WORK_DIR:-}" ]; then
    work=$BENCH_WORK_DIR
    mkdir -p "$work"
  else
    work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  fi
  trap bench_cleanup EXIT
}

bench_cleanup() {
  if [ "${BENCH_KEEP:-0}" != 1 ]; then rm -rf "$work"; else echo "files kept in $work" >&2; fi
}

bench_build() {
  echo "== build (release, $build)" >&2
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAB_TESTS=OFF >"$work/cmake.log" 2>&1 ||
    { cat "$work/cmake.log" >&2; exit 1; }
  cmake --build "$build" -j "$(nproc)" --target "$@" >"$work/build.log" 2>&1 ||
    { tail -n 50 "$work/build.log" >&2; exit 1; }
}
