#!/usr/bin/env bash
# Installs the Debian packages metashelf builds and tests with, when missing.
set -euo pipefail
packages=(cmake g++ make pkg-config clang libclang-rt-14-dev
  libsqlite3-dev sqlite3 libpq-dev postgresql libpugixml-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
