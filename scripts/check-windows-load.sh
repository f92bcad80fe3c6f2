#!/usr/bin/env bash
# Loads a Windows build's shipped plug-in as the application meets it:
# ship/pumpwire.dll alone in a folder with the loader program
# (tests/dll_loader/), which runs under Wine (scripts/wine-run), loads it,
# finds the seven exports by name and by ordinal and calls GetVersion.
# The loader's output is read, never its exit code: Wine without 32-bit
# support (Debian's wine32:i386) starts a 32-bit program as nothing, prints
# nothing and ends with 0.
#
#   scripts/check-windows-load.sh BUILD      (BUILD/ship, BUILD/bin)
set -euo pipefail
case "${1:-}" in
  ''|-*) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
esac
build=$1
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/ship/pumpwire.dll" "$build/bin/pumpwire-dll-loader.exe" "$work/"
# Into a file, not a pipe: a Wine server the program starts keeps its
# descriptors a while after the program ends. The time allowed covers making
# the Wine prefix on first use.
rc=0
timeout 300 "$here/wine-run" "$work/pumpwire-dll-loader.exe" </dev/null >"$work/output" 2>&1 || rc=$?
tr -d '\r' <"$work/output" | sed 's/^/     /'
if tr -d '\r' <"$work/output" | grep -qx 'dll loader: ok'; then
  echo "ok   $build/ship/pumpwire.dll loads alone under Wine and answers by name and by ordinal"
  exit 0
elif [ ! -s "$work/output" ]; then
  echo "FAIL the loader printed nothing (exit $rc): a 32-bit program needs Debian's wine32:i386" \
       "(scripts/setup-debian.sh --windows)"
else
  echo "FAIL the loader did not end with 'dll loader: ok' (exit $rc)"
fi
exit 1
