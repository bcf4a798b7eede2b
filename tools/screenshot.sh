#!/usr/bin/env bash
# Photographs a program's main window: tools/run.sh tools/screenshot.sh PROGRAM.exe OUT.png [ARGS...]
# Starts the program, waits for its window, saves the screen region of the
# window as PNG, then closes the program.  TAVOLIN_DESKTOP=1 runs it inside
# Wine's virtual desktop (frames and a tray).
set -uo pipefail
program=$1; out=$2; shift 2
mkdir -p "$(dirname "$out")"
title=$(basename "$program" .exe)
if [ -n "${TAVOLIN_DESKTOP:-}" ]; then
  "$WINE64" explorer "/desktop=shot,1024x768" "$program" "$@" >/dev/null 2>&1 &
else
  "$WINE64" "$program" "$@" >/dev/null 2>&1 &
fi
pid=$!
id=""
for _ in $(seq 1 100); do
  if [ -n "${TAVOLIN_DESKTOP:-}" ]; then
    id=$(xwininfo -root -tree 2>/dev/null | grep -E '"shot' | head -1 | awk '{print $1}')
  else
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | head -1 | awk '{print $1}')
  fi
  [ -n "$id" ] && break
  sleep 0.1
done
sleep "${TAVOLIN_SHOT_DELAY:-1.5}"
if [ -n "$id" ]; then
  import -window "$id" "$out"
else
  import -window root "$out"
fi
"$WINE64" taskkill /im "$(basename "$program")" >/dev/null 2>&1 || true
sleep 0.5
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
echo "screenshot: $out"
