#!/usr/bin/env bash
# `make run`: starts the player on a demo Wave file (made on first use).
# With a DISPLAY the player runs there; without one it runs headless and a
# screenshot is written to build/screenshots/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
demo=$top/build/demo/demo.wav
if [ ! -f "$demo" ]; then
  mkdir -p "$(dirname "$demo")"
  sox -n -r 22050 -c 1 -b 16 "$demo" synth 8 sine 440 fade 0.1 8 0.5 vol 0.3
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$top/tools/run.sh" /usr/lib/wine/wine64 "$top/build/bin/Tavolin.exe" "$demo"
fi
TAVOLIN_SHOT_DELAY=0 exec "$top/tools/run.sh" bash "$top/tools/screenshot.sh" "$top/build/bin/Tavolin.exe" \
  "$top/build/screenshots/demo.png" TavolinWndClass -- "Z:${demo//\//\\}"
