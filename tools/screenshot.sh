#!/usr/bin/env bash
# Photographs a program's main window as PNG (inside tools/run.sh):
#   tools/screenshot.sh PROGRAM.exe OUT.png [CLASS] [-- ARGS...]
# With CLASS "*" the whole virtual desktop is saved (tray included).
set -uo pipefail
program=$1; out=$2; cls=${3:-TavolinWndClass}
shift $(( $# >= 3 ? 3 : $# )); [ "${1:-}" = "--" ] && shift
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$(dirname "$out")"
"$WINE64" "$program" "$@" >/dev/null 2>&1 &
pid=$!
bmp=${out%.png}.bmp
# The pointer rests in the desktop's corner, away from any window and tooltip.
xdotool mousemove 0 0 >/dev/null 2>&1
sleep "${TAVOLIN_SHOT_DELAY:-0}"
if [ "$cls" = "*" ]; then
  sleep 2
  "$WINE64" "$top/build/bin/WinShot.exe" "*" "$(basename "$bmp")" "*" >/dev/null 2>&1
else
  "$WINE64" "$top/build/bin/WinShot.exe" "$cls" "$(basename "$bmp")" >/dev/null 2>&1
fi
[ -f "$(basename "$bmp")" ] && mv "$(basename "$bmp")" "$bmp"
if [ -n "${TAVOLIN_SHOT_KEEP:-}" ]; then wait "$pid"; else
  "$WINE64" taskkill /im "$(basename "$program")" >/dev/null 2>&1
  for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
fi
if [ -f "$bmp" ]; then convert "$bmp" "$out" && rm -f "$bmp" && echo "screenshot: $out"; else echo "screenshot: no window" >&2; exit 1; fi
