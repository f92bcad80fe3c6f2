#!/usr/bin/env bash
# Installs the Debian packages Pumpwire builds and tests with. Idempotent:
# nothing is fetched when everything is already there.
set -euo pipefail
packages=(g++ clang cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev
          libjpeg62-turbo-dev libgif-dev libsqlite3-dev libx11-dev xvfb)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
