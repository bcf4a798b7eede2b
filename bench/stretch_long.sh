#!/usr/bin/env bash
# Long files at 75 %: the player's resident size with a two-hour Wave and
# MP3 against a one-minute one, and the time a seek anywhere takes to answer
# (inside tools/run.sh; the files are made once into build/bench-long).
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$top/bench/cpu.sh"
bin=$top/build/bin
work=$top/build/bench-long
mkdir -p "$work"
cd "$work"
tone() { sox -n -r 44100 -c 2 -b 16 -t wav - synth "$1" sine 300-900 vol 0.3 2>/dev/null; }
[ -s long2h.mp3 ] || tone 7200 | lame --quiet -b 96 -q 9 - long2h.mp3
[ -s short1m.mp3 ] || tone 60 | lame --quiet -b 96 -q 9 - short1m.mp3
[ -s long2h.wav ] || sox -n -r 22050 -c 1 -b 16 long2h.wav synth 7200 sine 300 vol 0.2
[ -s short1m.wav ] || sox -n -r 22050 -c 1 -b 16 short1m.wav synth 60 sine 300 vol 0.2
cp "$bin/Tavolin.exe" "$bin/VBMP3.dll" .
ctl() { "$WINE64" "$bin/TavolinCtl.exe" "$@" 2>/dev/null | tr -d '\r'; }
rss_mb() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' /proc/"$1"/status; }
printf '%-12s %8s %12s %12s %12s %12s\n' file rss_MB seek_mean_ms seek_max_ms trip_mean_ms trip_max_ms
for f in short1m.wav long2h.wav short1m.mp3 long2h.mp3; do
  printf '[Tavolin]\r\nSpeed=75\r\nShowError=0\r\n' >Tavolin.ini
  "$WINE64" "$work/Tavolin.exe" >/dev/null 2>&1 &
  pid=$(settled_pid 'bench-long.Tavolin.exe')
  for _ in $(seq 1 50); do ctl get GetMode >/dev/null && break; sleep 0.2; done
  ctl exec "[Open(Z:${work//\//\\}\\$f)]" >/dev/null
  ctl exec "[Play()]" >/dev/null
  len=$(ctl get GetLen)
  seeks=$("$WINE64" "$top/build/cmake-x64/bench/bench_runner.exe" seek Tavolin "$len" 20 2>/dev/null | tr -d '\r')
  sleep 3
  rss=$(rss_mb "$pid")
  ctl exec "[Close()]" >/dev/null
  "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1
  wait 2>/dev/null
  printf '%-12s %8s %12s %12s %12s %12s\n' "$f" "$rss" $seeks
done
echo "goals: two hours within 20 MB of one minute; a seek answers within 50 ms (Wave), 100 ms (MP3)"
