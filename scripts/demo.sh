#!/usr/bin/env bash
# Builds Pumpwire and runs it on loopback: an office and a station as two
# pumpwire-host processes in a temporary folder. The station opens its
# session to the office, both log the handshake, and the office lists the
# station it has seen. Menu trees and version first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
root=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; rm -rf "$root"' EXIT
host=build/pumpwire-host
office_port=16090
station_port=16091

echo "== the station's menu and the version"
printf 'menu\nversion\nquit\n' | $host station --root "$root/menu" --name "АЗС 3" --set InPort=0

echo "== office on 127.0.0.1:$office_port"
mkfifo "$root/office.in"
$host office --root "$root/office" --set InPort=$office_port <"$root/office.in" >"$root/office.out" &
office_pid=$!
exec 3>"$root/office.in"
sleep 0.5

echo "== station 'АЗС 3' connects to the office"
{
  printf 'type 127.0.0.1 - Офис\npress bSendToOffice\n'
  sleep 1
  printf 'window\nquit\n'
} | $host station --root "$root/station" --name "АЗС 3" \
      --set OutPort=$office_port --set InPort=$station_port

echo "== the office's side"
printf 'stations\nwindow\nquit\n' >&3
exec 3>&-
wait "$office_pid"
cat "$root/office.out"
