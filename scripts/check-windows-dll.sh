#!/usr/bin/env bash
# Checks a Windows build's plug-in as the back-office application will meet
# it, from its tables (nothing is run).
#
#   scripts/check-windows-dll.sh BUILD/ship               the shipped DLL
#   scripts/check-windows-dll.sh --test-build BUILD/bin   the test build's
#
# Both: pumpwire.dll exports exactly the seven entry points by their plain
# names, with the ordinals 1 to 7 in the order Load, UnLoad, AddMenus,
# AutoSendInet, RefreshPaswordData, GetVersion, AutoSendInetFromOffice.
# The shipped DLL also: imports nothing but Windows' own DLLs; is alone in
# its folder but for its debug info (pumpwire.dll.debug); its header asks
# for Windows 7 (OS and subsystem version 6.1); it carries no debug
# sections. Its size is printed.
# The test build's imports Windows' own DLLs and the DLLs beside it in the
# same folder (the window system, the GCC runtime), and so do those.
set -euo pipefail
mode=shipped
if [ "${1:-}" = --test-build ]; then
  mode=test; shift
fi
case "${1:-}" in
  ''|-*) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
esac
bin=$1
dll="$bin/pumpwire.dll"
[ -f "$dll" ] || { echo "no $dll" >&2; exit 1; }
objdump=objdump
command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
table=$("$objdump" -p "$dll")
fail=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; fail=1; }

# The export name table lists "[N] Name" by name, N being the ordinal less
# the ordinal base; the address table has a line per ordinal, named or not.
expected="Load=1 UnLoad=2 AddMenus=3 AutoSendInet=4 RefreshPaswordData=5 GetVersion=6 AutoSendInetFromOffice=7"
base=$(echo "$table" | sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' | head -1)
exported=$(echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\).*/\1 \2/p' |
  while read -r index name; do echo "$((index + ${base:-0})) $name"; done |
  sort -n | awk '{printf "%s%s=%s", (NR > 1 ? " " : ""), $2, $1}')
addresses=$(echo "$table" | grep -c '^[[:space:]]*\[[[:space:]]*[0-9]*\] +base\[' || true)
if [ "$exported" != "$expected" ]; then
  bad "exports: '$exported', expected '$expected'"
elif [ "$addresses" -ne 7 ]; then
  bad "exports: $addresses ordinals, of them 7 named"
else
  ok "exports: $expected"
fi

system_dll() {
  case "${1,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|\
    ws2_32.dll|iphlpapi.dll|wininet.dll|rasapi32.dll|rasdlg.dll|comctl32.dll|comdlg32.dll|bcrypt.dll|\
    version.dll|shlwapi.dll|ntdll.dll|api-ms-win-*.dll|ucrtbase.dll) return 0;;
  esac
  return 1
}
# What it imports, and (the test build) what those import in turn.
checked=" "
queue="pumpwire.dll"
while [ -n "$queue" ]; do
  set -- $queue; file=$1; shift; queue="$*"
  for name in $("$objdump" -p "$bin/$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$checked" in *" $name "*) continue;; esac
    checked="$checked$name "
    if system_dll "$name"; then
      ok "$file imports $name (Windows)"
    elif [ "$mode" = test ] && [ -f "$bin/$name" ]; then
      ok "$file imports $name (shipped beside it)"
      queue="$queue $name"
    elif [ "$mode" = test ]; then
      bad "$file imports $name: neither Windows' own nor in $bin"
    else
      bad "$file imports $name: not Windows' own"
    fi
  done
done
[ "$mode" = test ] && exit $fail

others=$(cd "$bin" && ls -A | grep -vx -e pumpwire.dll -e pumpwire.dll.debug | tr '\n' ' ' || true)
if [ -n "$others" ]; then
  bad "$bin holds more than pumpwire.dll: $others"
else
  ok "$bin holds pumpwire.dll alone (and its debug info)"
fi

version() { echo "$table" | sed -n "s/^$1[[:space:]]*\([0-9]*\).*/\1/p"; }
os="$(version MajorOSystemVersion).$(version MinorOSystemVersion)"
subsystem="$(version MajorSubsystemVersion).$(version MinorSubsystemVersion)"
if [ "$os" = 6.1 ] && [ "$subsystem" = 6.1 ]; then
  ok "Windows version in the header: OS $os, subsystem $subsystem (Windows 7)"
else
  bad "Windows version in the header: OS $os, subsystem $subsystem, expected 6.1 and 6.1"
fi

debug=$("$objdump" -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}' | tr '\n' ' ')
if [ -n "$debug" ]; then
  bad "not stripped: $debug"
else
  ok "stripped: no .debug sections"
fi

size() { stat -c %s "$1" | awk '{printf "%d bytes (%.1f MB)", $1, $1 / 1e6}'; }
echo "     size: $(size "$dll")"
[ -f "$dll.debug" ] && echo "     debug info beside it: $(size "$dll.debug")"
exit $fail
