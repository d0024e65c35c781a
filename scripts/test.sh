#!/usr/bin/env bash
# Installs missing packages (see install-deps.sh), builds (see build.sh)
# and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# the tests are built whatever an earlier configuration of the folder
# said (a benchmark's build may have turned them off)
CMAKE_ARGS="-DTAB_TESTS=ON ${CMAKE_ARGS:-}" scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
