#!/usr/bin/env bash
# Makes the pictures the README shows: a station host on a virtual X screen
# (Xvfb) with a test card drawn on it, an office host that fetches its
# screenshot and watches it on TV (GIF frames, then JPEG frames at another
# size); what the office's viewers show is saved by the host as BMP files and
# written here as PNG files into docs/pictures/. Needs a build in build/
# (scripts/test.sh), Xvfb and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --help ]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
host=build/pumpwire-host
[ -x "$host" ] || { echo "no $host: run scripts/test.sh first" >&2; exit 1; }
work=$(mktemp -d /tmp/pumpwire-pictures.XXXXXX)
pids=()
cleanup() {
  exec 6>&- 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait "${pids[@]}" 2>/dev/null || true
}
trap cleanup EXIT

# A display of its own: Xvfb writes the number it took on the descriptor.
exec 5> >(cat > "$work/display")
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"
exec 5>&-
DISPLAY=$display python3 scripts/pictures/test_card.py 600 &
pids+=($!)
sleep 1

port_station=$((20000 + RANDOM % 10000)); port_office=$((port_station + 1))
mkdir -p "$work/azs" "$work/office"
mkfifo "$work/azs.in"
DISPLAY=$display "$host" station --root "$work/azs" --name "АЗС 3" --set InPort=$port_station \
  < "$work/azs.in" > "$work/azs.out" 2>&1 &
pids+=($!)
exec 6> "$work/azs.in"  # the station's input, open until the end
sleep 1
frame() { sleep "$1"; cp "$work/office/host/pictures/TVAZS3.bmp" "$work/$2.bmp"; }
{
  echo "station #3 АЗС 3 127.0.0.1"
  echo "click Связь>Интерактивный обмен>Показать скриншот с АЗС"
  sleep 3; echo "answer ok"
  echo "click Связь>Интерактивный обмен>Следить за АЗС (ТВ АЗС)"
  frame 3 tv-gif-small
  echo "tv size TVAZS3 400 315"
  frame 3 tv-gif
  echo "tv close TVAZS3"
  sleep 2
  echo quit
} | "$host" office --root "$work/office" --set InPort=$port_office --set OutPort=$port_station \
    --set e_ScrSHOTquality=24 --set e_TVrefresh=500 > "$work/office.out" 2>&1
{
  echo "station #3 АЗС 3 127.0.0.1"
  echo "click Связь>Интерактивный обмен>Следить за АЗС (ТВ АЗС)"
  sleep 1; echo "tv size TVAZS3 640 495"
  frame 3 tv-jpeg
  echo "tv close TVAZS3"
  sleep 2
  echo quit
} | "$host" office --root "$work/office" --set e_TypeTV=0 --set e_JPGcompress=60 \
    > "$work/office-jpeg.out" 2>&1

echo quit >&6
exec 6>&-
mkdir -p docs/pictures
python3 scripts/pictures/bmp_to_png.py "$work/office/host/pictures/screenshot-1.bmp" docs/pictures/screenshot.png
for f in tv-gif-small tv-gif tv-jpeg; do
  python3 scripts/pictures/bmp_to_png.py "$work/$f.bmp" "docs/pictures/$f.png"
done
grep -h -E '^(screenshot|tv):' "$work/office.out" "$work/office-jpeg.out"
echo "pictures in docs/pictures/, the hosts' output in $work"
