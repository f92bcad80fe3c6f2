#!/usr/bin/env bash
# The main job on loopback: an office and a station as two pumpwire-host
# processes. First the office pushes its request to the station
# ("GET_OTCHET") and gets the station's report back; then the station fetches
# its request from the office ("TRY_GET_ZAPROS") and delivers its report
# ("Send_file"). Each step is told in plain words; at the end the demo checks
# that every report reached the office's host byte for byte and that both
# ends logged the same SHA-256 digests of the bodies, and says PASS
# (exit 0) or FAIL (exit 1). The folder is kept for a look afterwards.
#
#   scripts/demo.sh [--office linux|windows] [--station linux|windows] [--windows-bits 32|64]
#
# windows runs that side as the Windows build's pumpwire-host.exe under Wine
# (build-win64, or build-win32 with --windows-bits 32; both made by
# scripts/test-windows.sh), so a Linux host and a Windows host talk to each
# other. The 32-bit one needs Debian's wine32:i386 (scripts/setup-debian.sh
# --windows).
set -euo pipefail
cd "$(dirname "$0")/.."

office_os=linux station_os=linux
win_build=build-win64 win_options=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake)
while [ $# -gt 0 ]; do
  case "$1" in
    --windows-bits)
      case "${2:-}" in
        64) ;;
        32) win_build=build-win32
            win_options=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake -DBUILD_TESTING=OFF) ;;
        *) echo "--windows-bits takes 32 or 64" >&2; exit 2 ;;
      esac
      shift 2 ;;
    --office|--station)
      [ "${2:-}" = linux ] || [ "${2:-}" = windows ] || { echo "$1 takes linux or windows" >&2; exit 2; }
      if [ "$1" = --office ]; then office_os=$2; else station_os=$2; fi
      shift 2 ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

pids=()
wine_server=0  # started here: stopped at the end
cleanup() {
  exec 3>&- 4>&- 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if ((wine_server)); then scripts/wine-run --stop || true; fi
}
trap cleanup EXIT

echo "== building the plug-in and the host"
for os in "$office_os" "$station_os"; do
  if [ "$os" = linux ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --target pumpwire pumpwire-host >/dev/null
  else
    cmake -S . -B "$win_build" -G Ninja --no-warn-unused-cli "${win_options[@]}" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$win_build" --target pumpwire pumpwire-host >/dev/null
    wine_server=1
    scripts/wine-run --server
  fi
done
root=$(mktemp -d "${TMPDIR:-/tmp}/pumpwire-demo.XXXXXX")

# The host program of one side and the folder as that program names it
# (Wine sees this machine's files on drive Z:).
host_command() {
  if [ "$1" = linux ]; then echo "$PWD/build/pumpwire-host"
  else echo "$PWD/scripts/wine-run $PWD/$win_build/bin/pumpwire-host.exe"; fi
}
folder_for() {
  if [ "$1" = linux ]; then echo "$2"; else echo "Z:${2//\//\\}"; fi
}
station_name="АЗС 3"

# A port on 127.0.0.1 that nobody listens on now.
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 12000))  # below the ephemeral range
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}
office_port=$(free_port)
station_port=$(free_port)
while [ "$station_port" = "$office_port" ]; do station_port=$(free_port); done

# Waits until FILE holds a line with TEXT, at most SECONDS.
wait_for() {
  local file=$1 text=$2 seconds=${3:-30} i
  for ((i = 0; i < seconds * 10; i++)); do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "   (no \"$text\" in $(basename "$file") after ${seconds}s)"
  return 1
}

fail() {
  echo "FAIL: $*"
  if grep -qF "Соединение с интернет не установлено" "$root/office.out" "$root/station.out" 2>/dev/null; then
    echo "   (this machine has no network interface up besides loopback, so every exchange"
    echo "   is skipped before it connects: see \"Quick start\" in the README)"
  fi
  echo "Folder kept: $root (the hosts' output: office.out, station.out)"
  exit 1
}

echo "== folder: $root"
echo "== the office ($office_os) listens on 127.0.0.1:$office_port, station '$station_name' ($station_os) on 127.0.0.1:$station_port"
mkdir -p "$root/office/host/requests" "$root/station"
mkfifo "$root/office.in" "$root/station.in"
$(host_command "$office_os") office --root "$(folder_for "$office_os" "$root/office")" \
  --set InPort="$office_port" --set OutPort="$station_port" \
  <"$root/office.in" >"$root/office.out" 2>&1 &
pids+=($!)
exec 3>"$root/office.in"
$(host_command "$station_os") station --root "$(folder_for "$station_os" "$root/station")" \
  --name "$station_name" --set InPort="$station_port" --set OutPort="$office_port" \
  <"$root/station.in" >"$root/station.out" 2>&1 &
pids+=($!)
exec 4>"$root/station.in"
wait_for "$root/office.out" "Load: 0" || fail "the office did not load"
wait_for "$root/station.out" "Load: 0" || fail "the station did not load"

# The office host's request for the station: DIR/host/requests/<station name>.
request="$root/office/host/requests/$station_name"
printf 'request for %s, made %s\r\n' "$station_name" "$(date '+%d.%m.%Y %H:%M')" >"$request"

# The report the station's host wrote last must be at the office's host,
# byte for byte, under the name the office gave it (NAME = what the report's
# name ends in: the dialled address or the station's name).
check_report() {
  local ending=$1 answer report
  answer=$(ls -t "$root/station/host/answers/"* 2>/dev/null | head -n 1)
  [ -n "$answer" ] || { echo "   the station's host wrote no report"; return 1; }
  for report in "$root/office/host/reports/"*"_$ending.dat"; do
    [ -e "$report" ] || break
    if cmp -s "$answer" "$report"; then
      echo "   station's report $(basename "$answer") ($(stat -c %s "$answer") bytes) is at the office host as $(basename "$report"): identical"
      return 0
    fi
  done
  echo "   the station's report $(basename "$answer") is not at the office host as *_$ending.dat"
  return 1
}
verdict=PASS

echo
echo "1. The office sends its request to the station (GET_OTCHET) and waits for the report."
printf 'type 127.0.0.1\npress BitBtn1\n' >&3
wait_for "$root/office.out" "произошел УСПЕШНО!" 60 ||
  fail "the office's request did not come back with a report"
echo "   The station stored the request, its host made a report, the office received it."
check_report 127.0.0.1 || verdict=FAIL

echo
echo "2. The station asks the office for its request (TRY_GET_ZAPROS) and delivers its report (Send_file)."
printf 'type 127.0.0.1\npress bSendToOffice\n' >&4
wait_for "$root/station.out" "Передача отчета произведена успешно!" 60 ||
  fail "the station did not deliver its report"
wait_for "$root/office.out" "завершена!" 30 || fail "the office did not hand the report to its host"
echo "   The station fetched the request, its host made a report, the office stored it."
check_report "$station_name" || verdict=FAIL

printf 'quit\n' >&3
printf 'quit\n' >&4
exec 3>&- 4>&-
wait "${pids[@]}" || verdict=FAIL
pids=()

# Every body sent or stored whole is logged at each end as "SHA-256: " + its
# digest + " " + the file's path there: the two logs must hold the same
# digests, each body once at each end.
echo
echo "3. Each end logged the SHA-256 of every body it sent or stored; the two logs must agree."
digests() { grep -ao 'SHA-256: [0-9a-f]\{64\}' "$1" | sort; }
office_digests=$(digests "$root/office/LogFiles/Pumpwire.log" || true)
station_digests=$(digests "$root/station/LogFiles/Pumpwire.log" || true)
if [ -n "$office_digests" ] && [ "$office_digests" = "$station_digests" ]; then
  echo "   $(wc -l <<<"$office_digests") bodies, the same digests at both ends"
else
  echo "   the digests differ:"
  diff <(echo "$office_digests") <(echo "$station_digests") | sed 's/^/   /' || true
  verdict=FAIL
fi

echo
echo "The logs are Windows-1251 with CR LF; read them with:"
echo "   iconv -f cp1251 -t utf-8 $root/office/LogFiles/Pumpwire.log"
echo "   iconv -f cp1251 -t utf-8 $root/station/LogFiles/Pumpwire.log"
echo "Folder kept: $root"
echo "$verdict"
[ "$verdict" = PASS ]
