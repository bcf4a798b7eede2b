#!/usr/bin/env bash
# `make run`: starts the player on a demo Wave file (made on first use) and
# both mappers beside it. With a DISPLAY they run there until the player
# closes; without one they run headless and a screenshot of each window is
# written to build/screenshots/.
set -euo pipefail
export TAVOLIN_PREFIX=run
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$top/build/bin
demo=$top/build/demo/demo.wav
if [ ! -f "$demo" ]; then
  mkdir -p "$(dirname "$demo")"
  sox -n -r 22050 -c 1 -b 16 "$demo" synth 8 sine 440 fade 0.1 8 0.5 vol 0.3
fi
if [ -n "${DISPLAY:-}" ] && [ -z "${TAVOLIN_HEADLESS:-}" ]; then
  exec "$top/tools/run.sh" bash -c '
    "$WINE64" "$1/Runeby.exe" & "$WINE64" "$1/Padwig.exe" &
    "$WINE64" "$1/Tavolin.exe" "$2"
    "$WINE64" "$1/WinPost.exe" RunebyWndClass 0x10 0 0; "$WINE64" "$1/WinPost.exe" PadwigWndClass 0x10 0 0; wait' \
    run-demo "$bin" "$demo"
fi
# The demo is played from a neutral folder of the prefix, so that no path of
# this machine shows in the pictures.
TAVOLIN_HEADLESS=1 TAVOLIN_SHOT_DELAY=1 exec "$top/tools/run.sh" bash -c '
  shots=$1/build/screenshots
  mkdir -p "$WINEPREFIX/drive_c/Music" && cp "$4" "$WINEPREFIX/drive_c/Music/demo.wav"
  TAVOLIN_SHOT_KEEP=1 bash "$1/tools/screenshot.sh" "$2/Tavolin.exe" "$shots/demo.png" TavolinWndClass -- "$3" &
  sleep 3
  bash "$1/tools/screenshot.sh" "$2/Runeby.exe" "$shots/runeby.png" RunebyWndClass
  bash "$1/tools/screenshot.sh" "$2/Padwig.exe" "$shots/padwig.png" PadwigWndClass
  "$WINE64" "$2/WinPost.exe" TavolinWndClass 0x10 0 0; wait' \
  run-demo "$top" "$bin" "C:\\Music\\demo.wav" "$demo"
