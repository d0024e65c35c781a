#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libsqlite3-dev libssl-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev sqlite3 clang
          libxxhash-dev libpcre2-dev ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
