#!/usr/bin/env bash
# Installs, with apt-get, whichever of the packages a purpose needs are missing.
# Usage: scripts/deps.sh build|test|run|fuzz|bench|shots
set -euo pipefail

build=(cmake make g++ pkg-config qt6-base-dev unixodbc unixodbc-dev libsqliteodbc libsqlite3-dev libpq-dev libarchive-dev libuchardet-dev libssl-dev dpkg-dev file)
case "${1:-build}" in
  build) wanted=("${build[@]}") ;;
  test)  wanted=("${build[@]}" groff-base lintian libgtest-dev python3 odbc-postgresql postgresql-15 postgresql-common mariadb-server odbc-mariadb) ;;
  run)   wanted=("${build[@]}" fonts-liberation) ;;
  fuzz)  wanted=("${build[@]}" clang libclang-rt-14-dev) ;;
  shots) wanted=("${build[@]}" fonts-liberation xvfb xauth xdotool imagemagick) ;;
  bench) wanted=("${build[@]}" odbc-postgresql postgresql-15 postgresql-common mariadb-server odbc-mariadb time bc sqlite3 python3 pgloader) ;;
  *) echo "usage: $0 build|test|run|fuzz|bench|shots" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
