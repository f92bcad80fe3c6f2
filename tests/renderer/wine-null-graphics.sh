#!/usr/bin/env bash
# Runs a Windows program under Wine with no X server at all: in a prefix of
# its own whose graphics driver is Wine's null driver, where windows,
# message boxes and modal loops work as on a screen nobody looks at.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${PW_NULL_GRAPHICS_PREFIX:-$HOME/.cache/pumpwire-windows/wine-null-graphics}
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/null-graphics.done" ]; then
  "$root/scripts/wine-run" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  touch "$WINEPREFIX/null-graphics.done"
fi
exec "$root/scripts/wine-run" "$@"
