#!/usr/bin/env bash
# What the real player plays at a speed, recorded from the sound sink's
# monitor: plays SOURCE at PERCENT and writes what was heard to OUT (mono, at
# the source's rate, with the silence before and after). Inside tools/run.sh,
# whose null sink "null" it records.
#   stretch_heard.sh SOURCE OUT PERCENT
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source=$1 out=$2 percent=$3
bin=$top/build/bin
work=$(dirname "$out")/player
source "$top/bench/sink.sh"
mkdir -p "$work"
cp "$bin/Tavolin.exe" "$bin/VBMP3.dll" "$work/"
ctl() { "$WINE64" "$bin/TavolinCtl.exe" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
printf '[Tavolin]\r\nSpeed=%d\r\nShowError=0\r\n' "$percent" >"$work/Tavolin.ini"
"$WINE64" "$work/Tavolin.exe" >/dev/null 2>&1 &
for _ in $(seq 1 100); do ctl get GetMode >/dev/null && break; sleep 0.2; done
ctl exec "[Open($(winpath "$source"))]" >/dev/null
rate=$(soxi -r "$source")
sink_record "$work/raw.wav"
sleep 0.5
ctl exec "[Play()]" >/dev/null
length=$(soxi -D "$source")
deadline=$(awk -v l="$length" -v p="$percent" 'BEGIN {printf "%d", (l * 100 / p + 5) * 10}')
for _ in $(seq 1 "$deadline"); do
  [ "$(ctl get GetMode)" = 526 ] || break  # no longer playing
  sleep 0.1
done
sleep 0.5
sink_stop
ctl exec "[Close()]" >/dev/null
"$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1
wait 2>/dev/null
sox "$work/raw.wav" -r "$rate" "$out"
