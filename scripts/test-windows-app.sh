#!/usr/bin/env bash
# The stand-in application, pumpwire-app.exe, under Wine on a virtual X
# screen of its own (Xvfb), driven through its line commands:
#  - with a test plug-in whose windows are real Win32 windows that keep the
#    window contract (README, "pumpwire-app"; tests/fakes/windows_plugin,
#    built with the tests): its menu items in the real menu bar, its window
#    and controls found and read, typing into the address box, a button
#    pressed, a disabled one refused, a message box opened from the menu
#    while the next commands go on, answered by its button, a window shown
#    later waited for;
#  - with the plug-in itself, station and office: Load 0, its items in the
#    real menu bar (the same tree pumpwire-host.exe prints), a click on an
#    item reaching the plug-in (its log line), the versions, UnLoad 0 at quit;
#    and its windows opened through the menu and checked against what they
#    must be (caption, client size, owned by the application window, their
#    controls). While the plug-in's windows are headless (the application says
#    so) those window checks are told as "not yet" and do not fail the run.
# A picture of the X screen is taken at each step (PNG, with ImageMagick's
# import) into --shots DIR, or into the run's work folder, which is kept when
# a check fails.
#
#   scripts/test-windows-app.sh [--shots DIR] [BIN...]
#
# BIN: the bin folders of Windows builds (pumpwire-app.exe, pumpwire.dll and
# the runtime beside them). Default: build-win64/bin, and build-win32/bin
# when it is there and Debian's wine32:i386 is installed (without it a 32-bit
# program under wine64 prints nothing and exits 0). The test plug-in is taken
# from BIN/../tests/ where the build made it.
#
# Wine runs in a prefix of its own (PUMPWIRE_APP_WINEPREFIX, default
# ~/.cache/pumpwire-windows/wine-screen, made on first use), whose server and
# desktop this script starts on its X screen, with none of its descriptors,
# and stops at the end; a lock beside the prefix keeps two runs apart. Its
# registry has HKCU\Software\Wine\X11 Driver Managed=N (else every hidden or
# destroyed window costs 2 s). Exit 0 when every check passed, 1 when one
# failed, 77 when Xvfb or Wine is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

shots=""
bins=()
while [ $# -gt 0 ]; do
  case "$1" in
    --shots) [ $# -ge 2 ] || { echo "--shots needs a folder" >&2; exit 2; }; shots=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option '$1' (see --help)" >&2; exit 2 ;;
    *) bins+=("$1"); shift ;;
  esac
done
if [ ${#bins[@]} -eq 0 ]; then
  bins=(build-win64/bin)
  if [ -e build-win32/bin/pumpwire-app.exe ]; then
    if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
      bins+=(build-win32/bin)
    else
      echo "build-win32 left out: Debian's wine32:i386 is not installed (scripts/setup-debian.sh --windows)"
    fi
  fi
fi
for bin in "${bins[@]}"; do
  [ -e "$bin/pumpwire-app.exe" ] || {
    echo "no $bin/pumpwire-app.exe: build it first (cmake --build BUILD --target pumpwire-app pumpwire pumpwire-host)" >&2
    exit 2
  }
done

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || true)
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver64 || command -v wineserver || true)
if [ -z "$wine" ] || [ -z "$server" ] || ! command -v Xvfb >/dev/null; then
  echo "skipped: Wine (wine64) and Xvfb are needed (scripts/setup-debian.sh --windows)"
  exit 77
fi
have_import=1
command -v import >/dev/null || { have_import=0; echo "no pictures: ImageMagick's import is missing (scripts/setup-debian.sh --windows)"; }

export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} LC_ALL=${LC_ALL:-C.UTF-8}
export WINEPREFIX=${PUMPWIRE_APP_WINEPREFIX:-$HOME/.cache/pumpwire-windows/wine-screen}
mkdir -p "$WINEPREFIX"
work=$(mktemp -d "${TMPDIR:-/tmp}/pumpwire-app-test.XXXXXX")
[ -n "$shots" ] || shots=$work/shots
mkdir -p "$shots"
setup_log=$work/wine-setup.log

# Runs "$@" holding none of this script's descriptors but the standard three:
# what Wine keeps running (its server, its desktop, its services) would hold
# them, and a pipe or lock of ours, for good.
without_our_fds() {
  local fd
  for fd in /proc/"$BASHPID"/fd/*; do
    fd=${fd##*/}
    if ((fd > 2)); then eval "exec $fd>&-"; fi
  done
  exec "$@"
}

xvfb_pid=""
our_server=0
failures=0
not_yet=0
cleanup() {
  local status=$?
  if ((our_server)); then "$server" -k >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if ((failures == 0 && status == 0)); then
    [[ $shots == "$work"/* ]] && echo "pictures: none kept (--shots DIR keeps them)"
    rm -rf "$work"
  else
    echo "kept for a look: $work"
  fi
}
trap cleanup EXIT

exec {lock}>"$WINEPREFIX.lock"
flock -w 900 "$lock" || { echo "another run holds $WINEPREFIX.lock" >&2; exit 1; }

echo "== a virtual X screen"
# Xvfb picks a free display and tells its number once it takes clients.
mkfifo "$work/display"
exec {display_fd}<>"$work/display"
(without_our_fds Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp) \
  </dev/null >"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r -t 30 -u "$display_fd" display || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
exec {display_fd}<&-
export DISPLAY=:$display
echo "DISPLAY=$DISPLAY"

echo "== Wine in $WINEPREFIX"
# A server left by a run that was killed is this prefix's, so ours to end.
if ! (without_our_fds "$server" -p) </dev/null >>"$setup_log" 2>&1; then
  "$server" -k >/dev/null 2>&1 || true
  "$server" -w >/dev/null 2>&1 || true
  (without_our_fds "$server" -p) </dev/null >>"$setup_log" 2>&1
fi
our_server=1
wine_quietly() { (without_our_fds "$wine" "$@") </dev/null >>"$setup_log" 2>&1; }
if [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
  echo "making the prefix (once)"
  wine_quietly wineboot -i
fi
wine_quietly reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
# The desktop process starts with the first program that asks for the
# screen, on that program's display and with its descriptors: start it here.
wine_quietly rundll32.exe user32.dll,GetSystemMetrics || true

# The folder as a Windows program names it (this machine's files are on Z:).
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

pass() { echo "  ok: $*"; }
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
later() { echo "  not yet: $*"; not_yet=$((not_yet + 1)); }

shot() {
  ((have_import)) || return 0
  import -display "$DISPLAY" -window root "$shots/$label-$1.png" 2>>"$work/import.log" ||
    echo "  (no picture $label-$1: see $work/import.log)"
}

# One application at a time, its standard input and output ours. Every line
# it prints goes to $transcript as it is read.
app_in="" app_out="" app_pid="" transcript="" errors="" headless=0 marks=0 output=""
start_app() {  # start_app NAME BIN MODE [OPTIONS...]
  local name=$1 bin=$2 mode=$3
  shift 3
  local root=$work/$label-$name
  mkdir -p "$root"
  transcript=$work/$label-$name.out
  errors=$work/$label-$name.err
  : >"$transcript"
  coproc APP { exec timeout 300 "$wine" "$bin/pumpwire-app.exe" "$mode" --root "$(winpath "$root")" "$@" 2>"$errors"; }
  # shellcheck disable=SC2153  # APP_PID comes with the coprocess
  app_pid=$APP_PID
  # Kept apart from the coprocess's own, which go when it ends.
  exec {app_in}>&"${APP[1]}" {app_out}<&"${APP[0]}"
  if await "Load: " 60; then
    headless=0
    grep -q "windows are headless" "$errors" && headless=1
    return 0
  fi
  fail "$label $name: no Load line"
  return 1
}
send() { printf '%s\n' "$@" >&"$app_in"; }
# await PREFIX [SECONDS]: reads lines until one starts with PREFIX (it is in
# $found); false when the application ends or the time passes first.
found=""
await() {
  local prefix=$1 deadline=$((SECONDS + ${2:-30})) line left
  while :; do
    left=$((deadline - SECONDS))
    ((left > 0)) || return 1
    IFS= read -r -t "$left" -u "$app_out" line || return 1
    printf '%s\n' "$line" >>"$transcript"
    if [[ $line == "$prefix"* ]]; then found=$line; return 0; fi
  done
}
# run COMMAND...: the commands, then waits until they are done; the lines
# they printed (and any log lines between) are in $output.
run() {
  marks=$((marks + 1))
  local mark="--- $marks" before
  before=$(wc -l <"$transcript")
  send "$@" "echo $mark"
  if ! await "$mark" 90; then
    fail "$label: no answer to: $*"
    output=""
    return 0
  fi
  output=$(tail -n +"$((before + 1))" "$transcript" | sed '$d')
}
has_output() { grep -qxF -- "$1" <<<"$output"; }
expect_output() {  # expect_output LINE [WHAT]
  if has_output "$1"; then pass "${2:-$1}"; else fail "${2:-$1}: no line '$1'"; fi
}
expect_log() {  # expect_log TEXT [SECONDS]: a log line starting with TEXT, now or soon
  if grep -qF -- "log: $1" "$transcript" || await "log: $1" "${2:-20}"; then pass "log: $1"
  else fail "no log line 'log: $1'"; fi
}
expect_error() {  # expect_error TEXT: a line on standard error holding TEXT
  if grep -qF -- "$1" "$errors"; then pass "refused: $1"; else fail "no error '$1'"; fi
}
# finish: quit, UnLoad 0, and the application ends.
finish() {
  send quit
  if await "UnLoad: " 60; then
    if [ "$found" = "UnLoad: 0" ]; then pass "UnLoad: 0"; else fail "$found"; fi
  else
    fail "no UnLoad line"
  fi
  exec {app_in}>&-
  local line
  while IFS= read -r -t 5 -u "$app_out" line; do printf '%s\n' "$line" >>"$transcript"; done
  exec {app_out}<&-
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
}

# expect_window CLASS CAPTION W H: the window, asked for by its class, is
# shown with that caption and client size and owned by the application
# window (the one Load was given); window_shown tells whether it was.
window_shown=0
expect_window() {
  local want="window: $1 \"$2\" $3x$4 owned-by-app: yes"
  window_shown=0
  if ((headless)); then
    later "$want (the plug-in's windows are headless here)"
    return 0
  fi
  run "wait $1 5" windows
  if has_output "$want"; then
    pass "$want"
    window_shown=1
    shot "$1"
  else
    fail "$want; shown: $(grep '^window: ' <<<"$output" | tr '\n' ';')"
  fi
}
# expect_control CLASS NAME NATIVE_CLASS: the window has a control carrying
# "pw:NAME" of that native class, enabled and visible.
expect_control() {
  if ((headless)); then
    later "$2 ($3) in $1"
    return 0
  fi
  run "controls $1"
  if grep -qE "^control: $2 $3 \".*\" enabled visible " <<<"$output"; then pass "$1 has $2 ($3)"
  else fail "$1 has no enabled, visible $2 ($3)"; fi
}
# expect_gone CLASS: no visible window of that class.
expect_gone() {
  ((headless)) && return 0
  run windows
  if grep -q "^window: $1 " <<<"$output"; then fail "$1 still shown"; else pass "$1 closed"; fi
}

# The menu tree the host program builds for the same plug-in, as its "menu"
# command prints it: the tree lines are those with no "NAME: " in front.
tree_lines() { grep -vE '^(Load|UnLoad|log|listening|host|version|windows|controls|--- [0-9]+)(: |$)' || true; }
host_menu() {  # host_menu BIN MODE
  local root=$work/$label-host-$2
  mkdir -p "$root"
  printf 'menu\nquit\n' | timeout 120 "$wine" "$1/pumpwire-host.exe" "$2" --root "$(winpath "$root")" \
    --set InPort=0 2>/dev/null | tr -d '\r' | tree_lines
}

check_contract_plugin() {  # the application's driving, on real windows today
  local bin=$1 plugin="$1/../tests/pumpwire-fake-windows-plugin.dll"
  if [ ! -e "$plugin" ]; then
    echo "-- $label: no test plug-in with real windows ($plugin: built with the tests)"
    return 0
  fi
  echo "-- $label: a plug-in with real windows"
  start_app contract "$bin" station --plugin "$(winpath "$(realpath "$plugin")")" || return 0
  run menus
  expect_output "Связь с о&фисом  [78]" "its top item in the menu bar"
  expect_output "  Прямое IP соединение  [78]" "its items under it"
  run "click Связь с офисом>Прямое IP соединение"
  expect_log "Окно показано"
  expect_window TInetForm "Прямое IP соединение" 499 399
  run "controls TInetForm"
  expect_output 'control: bSendToOffice Button "Отправить в офис" enabled visible - 8,8 120x25'
  expect_output 'control: cbAuto Button "Авто" enabled visible checked 8,72 100x20'
  expect_output 'control: bStop Button "Стоп" disabled visible - 130,8 60x25'
  run "type 127.0.0.1"
  expect_log "Адрес: 127.0.0.1"
  run "press bSendToOffice"
  expect_log "Нажата кнопка: 127.0.0.1"
  run "press bStop"
  expect_error "'bStop' is hidden or disabled"
  # The box opens inside the click; the commands after it still run.
  run "click Связь с офисом>Вопрос" windows
  expect_output 'window: #32770 "Вопрос" 185x82 owned-by-app: yes' "the message box, while the click that opened it waits"
  shot message-box
  run "click Связь с офисом>Вопрос"
  expect_error "a modal window is open over it"
  run "answer no"
  expect_output "box: Вопрос | Отправить запрос? -> no"
  expect_log "Ответ: нет"
  run "answer ok 1"
  expect_error "no message box within 1 s"
  # A window shown after the click has returned is waited for.
  run "click Связь с офисом>Показать позже" "wait TInetForm 10"
  expect_output 'window: TInetForm "Прямое IP соединение" 499x399 owned-by-app: yes' "a window shown later, waited for"
  finish
}

check_plugin() {  # check_plugin BIN MODE TOP CONNECTION_CLASS CAPTION W H
  local bin=$1 mode=$2 top=$3 connection=$4 caption=$5 width=$6 height=$7
  echo "-- $label: the plug-in, $mode"
  start_app "$mode" "$bin" "$mode" --name "АЗС 3" --set InPort=0 || return 0
  ((headless)) && echo "  (the plug-in's windows are headless here: its window checks come once they are real)"
  shot "$mode"
  run version
  expect_output "version: 1.02 от 11.11.2008"
  run menus
  local ours theirs
  ours=$(tree_lines <<<"$output")
  theirs=$(host_menu "$bin" "$mode" || true)
  if [ -n "$ours" ] && [ "$ours" = "$theirs" ]; then
    pass "its menu in the real menu bar ($(wc -l <<<"$ours") items), as pumpwire-host.exe builds it"
  else
    fail "the menu bar differs from pumpwire-host.exe's tree:"
    diff <(echo "$theirs") <(echo "$ours") | sed 's/^/    /' || true
  fi
  run "click $top>Интерактивный обмен>Отправить свой IP адрес"
  expect_log "Отправка своего IP адреса"
  # The windows, opened through the menu.
  run "click $top>Прямое IP соединение"
  expect_window "$connection" "$caption" "$width" "$height"
  if ((window_shown)); then
    expect_control "$connection" cb_IP ComboBox
    if [ "$mode" = station ]; then expect_control "$connection" bSendToOffice Button; fi
  fi
  run "click $top>Настройки>Прямое IP соединение"
  expect_window TConfigForm "Настройка прямого IP соединения" 296 318
  if ((window_shown)); then
    expect_control TConfigForm BitBtn1 Button
    run "press BitBtn2"
    expect_gone TConfigForm
  fi
  run "click $top>Интерактивный обмен>История сообщений"
  expect_window TShowHistoryForm "Просмотр истории сообщений" 667 405
  if ((window_shown)); then
    run "press BitBtn1"
    expect_gone TShowHistoryForm
  fi
  finish
}

for bin in "${bins[@]}"; do
  label=$(basename "$(dirname "$bin")")
  echo "== $label"
  check_contract_plugin "$bin"
  check_plugin "$bin" station "Связь с офисом" TInetForm "Прямое IP соединение" 499 399
  check_plugin "$bin" office "Связь" TInetOfficeForm "Прямое IP соединение " 467 349
done

echo
((not_yet == 0)) || echo "not yet: $not_yet window checks wait for the plug-in's real windows"
if ((failures)); then
  echo "FAIL: $failures checks"
  exit 1
fi
echo "PASS"
