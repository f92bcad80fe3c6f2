#!/usr/bin/env bash
# Checks a Windows build's plug-in as the back-office application will meet
# it: pumpwire.dll exports exactly the seven entry points, by their plain
# names, and imports nothing but Windows' own DLLs and the DLLs shipped
# beside it in the same folder.
#
#   scripts/check-windows-dll.sh BUILD/bin
set -euo pipefail
bin=${1:?say the folder that holds pumpwire.dll}
dll="$bin/pumpwire.dll"
[ -f "$dll" ] || { echo "no $dll" >&2; exit 1; }
objdump=objdump
command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
table=$("$objdump" -p "$dll")
fail=0

expected="AddMenus AutoSendInet AutoSendInetFromOffice GetVersion Load RefreshPaswordData UnLoad"
# The export name table: lines "[ordinal] Name" after "[Ordinal/Name Pointer] Table".
exported=$(echo "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort | tr '\n' ' ')
if [ "${exported% }" != "$expected" ]; then
  echo "FAIL exports: '${exported% }', expected '$expected'"; fail=1
else
  echo "ok   exports: $expected"
fi

system_dll() {
  case "${1,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|\
    ws2_32.dll|iphlpapi.dll|wininet.dll|rasapi32.dll|rasdlg.dll|comctl32.dll|comdlg32.dll|\
    version.dll|shlwapi.dll|ntdll.dll|api-ms-win-*.dll|ucrtbase.dll) return 0;;
  esac
  return 1
}
# What it imports, and what those import in turn.
checked=" "
queue="pumpwire.dll"
while [ -n "$queue" ]; do
  set -- $queue; file=$1; shift; queue="$*"
  for name in $("$objdump" -p "$bin/$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$checked" in *" $name "*) continue;; esac
    checked="$checked$name "
    if system_dll "$name"; then
      echo "ok   $file imports $name (Windows)"
    elif [ -f "$bin/$name" ]; then
      echo "ok   $file imports $name (shipped beside it)"
      queue="$queue $name"
    else
      echo "FAIL $file imports $name: neither Windows' own nor in $bin"; fail=1
    fi
  done
done
exit $fail
