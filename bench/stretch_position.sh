#!/usr/bin/env bash
# GetPos against the sound heard, recorded from the sink's monitor: after 60 s
# at 50 % and at 200 %, and after 20 speed changes; and the longest silence
# or step at a change while playing (inside tools/run.sh).
#
# Wine's PulseAudio driver counts a sample played once it is handed to the
# sound server, so waveOutGetPosition runs ahead of what is heard by what the
# server holds (30-65 ms, a little different for each stream); on Windows it
# is the device's own position. Each figure is also given in ms of sound, in
# which a lead of the device's is the same at every speed, and less the lead
# a bare waveOut program shows in the same run (twice as many file ms at
# 200 %). The speed's change is timed from the command to the knee in what
# is heard, lead and all.
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$top/build/bin
work=$top/build/bench-stretch/position
mkdir -p "$work"
source "$top/bench/sink.sh"
cp "$bin/Tavolin.exe" "$bin/VBMP3.dll" "$work/"
py() { /usr/bin/python3 "$top/bench/stretch_position.py" "$@"; }
[ -s "$work/chirp.wav" ] || py make "$work"
ctl() { "$WINE64" "$bin/TavolinCtl.exe" "$@" 2>/dev/null | tr -d '\r'; }
start() {  # SPEED FILE: the player at SPEED with FILE open, the sink recorded
  printf '[Tavolin]\r\nSpeed=%d\r\nShowError=0\r\n' "$1" >"$work/Tavolin.ini"
  "$WINE64" "$work/Tavolin.exe" >/dev/null 2>&1 &
  for _ in $(seq 1 100); do ctl get GetMode >/dev/null && break; sleep 0.2; done
  ctl exec "[Open(Z:${work//\//\\}\\$2)]" >/dev/null
  sink_record "$work/heard.wav"
  sleep 1
}
finish() {
  sleep 1
  sink_stop
  ctl exec "[Close()]" >/dev/null
  "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1
  wait 2>/dev/null
}
speeds=(75 150 50 200 125 300 25 100 60 175 90 250 40 110 200 50 150 75 125 50)

sink_record "$work/heard.wav"
sleep 1
pos=$("$WINE64" "$top/build/cmake-x64/bench/bare_waveout.exe" "Z:${work//\//\\}\\chirp.wav" 20 2>/dev/null | tr -d '\r')
sleep 1
sink_stop
lead=$(py lead "$work/heard.wav" "$pos")
echo "bare waveOut, 20 s:    position $pos ms runs $lead ms ahead of the sound heard (the platform's lead)"

for speed in ${POSITION_SPEEDS:-50 200}; do
  start "$speed" chirp.wav
  ctl exec "[Play()]" >/dev/null
  sleep "${POSITION_SECONDS:-60}"
  ctl exec "[Pause()]" >/dev/null
  pos=$(ctl get GetPos)
  finish
  printf "%2d s at %3d %%:        " "${POSITION_SECONDS:-60}" "$speed"; py pause "$work/heard.wav" "$pos" "$speed" "$lead"
done

[ -n "${POSITION_SPEEDS:-}" ] && exit 0
start 100 chirp.wav
ctl exec "[Speed(50)]" >/dev/null
ctl exec "[Play()]" >/dev/null
for s in "${speeds[@]}"; do sleep 1.5; ctl exec "[Speed($s)]" >/dev/null; done
sleep 1.5
ctl exec "[Pause()]" >/dev/null
pos=$(ctl get GetPos)
finish
printf '20 changes, at %3d %%: ' "${speeds[-1]}"; py pause "$work/heard.wav" "$pos" "${speeds[-1]}" "$lead"

start 50 chirp.wav
ctl exec "[Play()]" >/dev/null
sleep 4
pos=$(ctl get GetPos exec "[Speed(200)]")
sleep 3
ctl exec "[Pause()]" >/dev/null
finish
printf '50 %% to 200 %%:         '; py change "$work/heard.wav" "$pos" "$lead"

start 100 tone.wav
ctl exec "[Play()]" >/dev/null
for s in "${speeds[@]}"; do sleep 1; ctl exec "[Speed($s)]" >/dev/null; done
sleep 1
ctl exec "[Pause()]" >/dev/null
finish
printf '20 changes, a tone:    '; py gaps "$work/heard.wav"
echo "goals: GetPos within 30 ms of the sound heard; no silence over 20 ms and no step at a change"
