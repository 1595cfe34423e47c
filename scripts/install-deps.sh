#!/usr/bin/env bash
# Installs the Debian packages metashelf builds and tests with, when missing.
set -euo pipefail
packages=(cmake g++ make pkg-config clang libclang-rt-14-dev
  libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-contrib libpugixml-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev nlohmann-json3-dev python3-owslib
  libjs-leaflet chromium python3-websocket)
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

# The tests run number paths under a comma-decimal locale, as GUI hosts set one.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q "install ok installed" || {
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq locales >/dev/null
  }
  "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || echo "could not generate de_DE.UTF-8"
fi
