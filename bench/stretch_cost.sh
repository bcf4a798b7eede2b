#!/usr/bin/env bash
# The player's CPU while it plays a 44.1 kHz stereo Wave at 50 % and 200 %
# (through the stretch and waveOut) against the same file at 100 % (MCI), and
# GetPos against the time gone by (inside tools/run.sh).
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$top/bench/cpu.sh"
bin=$top/build/bin
work=$top/build/bench-stretch/cost
mkdir -p "$work"
cp "$bin/Tavolin.exe" "$bin/VBMP3.dll" "$work/"
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 120 sine 300 vol 0.2
secs=${BENCH_SECONDS:-10}
ctl() { "$WINE64" "$bin/TavolinCtl.exe" "$@" 2>/dev/null | tr -d '\r'; }
printf '%-6s %12s %10s %14s\n' speed cpu_ms/min vs_100 getpos_per_s
base=""
for speed in 100 50 200; do
  printf '[Tavolin]\r\nSpeed=%d\r\nShowError=0\r\n' "$speed" >"$work/Tavolin.ini"
  "$WINE64" "$work/Tavolin.exe" >/dev/null 2>&1 &
  pid=$(settled_pid 'cost.Tavolin.exe')
  for _ in $(seq 1 50); do ctl get GetMode >/dev/null && break; sleep 0.2; done
  ctl exec "[Open(Z:${work//\//\\}\\long.wav)]" >/dev/null
  ctl exec "[Play()]" >/dev/null
  sleep 1
  p0=$(ctl get GetPos); t0=$(date +%s%N)
  cpu=$(process_cpu_ms "$pid" "$secs")
  p1=$(ctl get GetPos); t1=$(date +%s%N)
  ctl exec "[Close()]" >/dev/null
  "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1
  wait 2>/dev/null
  per_min=$(awk -v c="$cpu" -v s="$secs" 'BEGIN {printf "%.0f", c * 60 / s}')
  [ -z "$base" ] && base=$per_min
  awk -v s="$speed" -v m="$per_min" -v b="$base" -v p0="$p0" -v p1="$p1" -v t0="$t0" -v t1="$t1" \
    'BEGIN {printf "%-6s %12s %10.2f %14.0f\n", s "%", m, m / b, (p1 - p0) / ((t1 - t0) / 1e9)}'
done
echo "goal: cpu at 50 % and 200 % within 2x of 100 %; GetPos per second follows the speed (this sound server's clock runs at 0.6-1.0 of real time)"
