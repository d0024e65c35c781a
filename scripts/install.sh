#!/usr/bin/env bash
# Builds the programs alone (tabexp, tabimp, tabsql and whatever other
# program the tree has; no tests, no benchmarks) in release mode in their
# own build folder, and installs them into PREFIX/bin (default ~/.local),
# the sample schema into PREFIX/share/tabdump/sample.
#
#   scripts/install.sh [PREFIX]
#
# RELEASE_BUILD_DIR names the build folder (default build-release, which
# scripts/sample.sh also uses).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$HOME/.local}
RELEASE_BUILD_DIR=${RELEASE_BUILD_DIR:-build-release}
scripts/install-deps.sh
cmake -S . -B "$RELEASE_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAB_TESTS=OFF -DTAB_BENCH=OFF >/dev/null
cmake --build "$RELEASE_BUILD_DIR" -j "$(nproc)"
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
cmake --install "$RELEASE_BUILD_DIR" --prefix "$prefix" >/dev/null

echo "Installed into $prefix/bin:"
for p in "$prefix"/bin/tab*; do echo "  $p"; done
echo "Sample schema: $prefix/share/tabdump/sample/schema.sql"
case ":$PATH:" in
  *":$prefix/bin:"*) echo "$prefix/bin is on your PATH." ;;
  *) echo "$prefix/bin is not on your PATH; add it with"
     echo "  export PATH=\"$prefix/bin:\$PATH\""
     echo "(in ~/.profile or ~/.bashrc to keep it)." ;;
esac
