#!/usr/bin/env bash
# Benchmarks, each a ratio against a baseline timed in the same run.
# Run inside tools/run.sh (make bench).  BENCH_SECONDS sets the CPU windows (20).
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$top/build/bin; b=$top/build/cmake-x64/bench
secs=${BENCH_SECONDS:-20}
run() { "$WINE64" "$b/bench_runner.exe" "$@" 2>/dev/null | tr -d '\r'; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# Each build beside its decoder library, as it is installed.
mkdir -p "$work/win32"; cp "$top/build/win32/bin/Tavolin.exe" "$top/build/win32/bin/VBMP3.dll" "$work/win32/"
printf '[Tavolin]\r\nShowError=0\r\n' >"$work/win32/Tavolin.ini"
wexe32="Z:${work//\//\\}\\win32\\Tavolin.exe"
cp "$bin/Tavolin.exe" "$bin/VBMP3.dll" "$work/"; printf '[Tavolin]\r\nShowError=0\r\n' >"$work/Tavolin.ini"
sox -n -r 22050 -c 1 -b 16 "$work/long.wav" synth 60 sine 440 vol 0.2 2>/dev/null
wexe="Z:${work//\//\\}\\Tavolin.exe"; wwav="Z:${work//\//\\}\\long.wav"
bare="Z:${b//\//\\}\\bare_dialog.exe"
barelibs="Z:${b//\//\\}\\bare_dialog_libs.exe"
baretemplate="Z:${b//\//\\}\\bare_tavolin_dialog.exe"

if [ "${BENCH_ONLY:-}" = mappers ]; then exec bash "$top/bench/mappers.sh"; fi
if [ "${BENCH_ONLY:-}" = speed ]; then
  bash "$top/bench/stretch.sh"; bash "$top/bench/stretch_cost.sh"; bash "$top/bench/stretch_position.sh"
  exec bash "$top/bench/stretch_long.sh"
fi

echo "== start-up (median of 10): ms to visible window, to exit after WM_CLOSE (posted once idle), to idle"
{ read -r bu bd bi0; read -r lu ld li0; read -r mu md mi0; read -r tu td ti0; read -r tu32 td32 ti32; } < <(
  run startup 10 "$bare" BareWndClass "$barelibs" BareWndClass "$baretemplate" TavolinWndClass \
    "$wexe" TavolinWndClass "$wexe32" TavolinWndClass)
# The settings writes a close makes, alone (the real window, in its own folder).
mkdir -p "$work/settings"; cp "$b/settings_bench.exe" "$work/settings/"
sw=$("$WINE64" "Z:${work//\//\\}\\settings\\settings_bench.exe" 2>/dev/null | tr -d '\r')
echo "bare dialog                          $bu  $bd  $bi0"
echo "bare, the player's libraries         $lu  $ld  $li0"
echo "bare, libraries and dialog template  $mu  $md  $mi0"
echo "Tavolin                              $tu  $td  $ti0"
echo "Tavolin i686 (the 32-bit build)      $tu32  $td32  $ti32"
echo "the close's settings writes alone    $sw"
awk -v t="$tu" -v l="$lu" -v m="$mu" -v ti="$ti0" -v li="$li0" -v mi="$mi0" -v td="$td" -v ld="$ld" -v md="$md" -v w="$sw" 'BEGIN{
  printf "start against the same libraries %.2f (goal <= 1.15), to idle %.2f; against libraries and template %.2f, to idle %.2f\n", t/l, ti/li, t/m, ti/mi
  printf "exit %.1f ms against bare + writes %.1f ms (goal: no slower); against template + writes %.1f ms\n", td, ld+w, md+w}'

echo "== CPU over ${secs} s (ms of CPU time of the program's process, all threads)"
run pointer 0 0  # off every window
. "$top/bench/cpu.sh"
cpu_of() {  # EXE_NAME [DDE_COMMAND]; the program is already starting
  local pid; pid=$(settled_pid "$1")
  [ $# -gt 1 ] && "$WINE64" "$bin/TavolinCtl.exe" exec "$2" >/dev/null 2>&1
  process_cpu_ms "$pid" "$secs"
}
"$WINE64" "$bare" & bi=$(cpu_of bare_dialog.exe); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
"$WINE64" "$bare" "$wwav" & bp=$(cpu_of bare_dialog.exe); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
# An idle program uses a few ms in a window: the three idle figures are the
# medians of three rounds taken in turn.
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
bs3=(); bm3=(); ti3=()
for _ in 1 2 3; do
  "$WINE64" "$bare" "--status $wwav" & bs3+=("$(cpu_of bare_dialog.exe)"); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
  "$WINE64" "$baretemplate" "--status $wwav" & bm3+=("$(cpu_of bare_tavolin_dialog.exe)"); "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0; wait
  "$WINE64" "$wexe" "$wwav" & ti3+=("$(cpu_of Tavolin.exe)"); "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0; wait
done
bs=$(median3 "${bs3[@]}"); bm=$(median3 "${bm3[@]}"); ti=$(median3 "${ti3[@]}")
"$WINE64" "$wexe" "$wwav" & tp=$(cpu_of Tavolin.exe "[Play()]"); "$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0; wait
echo "bare dialog with a 200 ms timer  $bi"
echo "bare dialog asking MCI the position every 200 ms  $bs"
echo "the same with the player's dialog template  $bm"
echo "Tavolin idle, file open          $ti"
echo "bare dialog playing through MCI  $bp"
echo "Tavolin playing                  $tp"
awk -v a="$ti" -v b="$bi" -v c="$tp" -v d="$bp" -v s="$bs" -v m="$bm" 'BEGIN{printf "ratio idle %.2f, against the same query %.2f (goal <= 1.2), with the template %.2f; playing %.2f (goal: no more than MCI playback)\n", (b>0? a/b : 0), (s>0? a/s : 0), (m>0? a/m : 0), (d>0? c/d : 0)}'

echo "== DDE executes per second (one conversation, 2000 each)"
"$WINE64" "Z:${b//\//\\}\\bare_dde_server.exe" & bpid=$!
sleep 1
rb=$(run dde BareDde "[Zero()]" 2000)
kill $bpid 2>/dev/null; "$WINE64" taskkill /f /im bare_dde_server.exe >/dev/null 2>&1
"$WINE64" "$wexe" & tpid=$!
sleep 2
rz=$(run dde Tavolin "[Zero()]" 2000)
"$WINE64" "$bin/TavolinCtl.exe" exec "[Open($wwav)]" >/dev/null 2>&1
rs=$(run dde Tavolin "[SeekRel(0)]" 2000)
"$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1; wait $tpid 2>/dev/null
"$WINE64" "$wexe32" & tpid=$!
sleep 2
rz32=$(run dde Tavolin "[Zero()]" 2000)
"$WINE64" "$bin/WinPost.exe" TavolinWndClass 0x10 0 0 >/dev/null 2>&1; wait $tpid 2>/dev/null
echo "bare server [Zero()]        $rb   (rate, failures)"
echo "Tavolin [Zero()] closed     $rz"
echo "Tavolin [SeekRel(0)] open   $rs"
echo "Tavolin i686 [Zero()]       $rz32   (the 32-bit build)"
awk -v a="${rz%% *}" -v b="${rb%% *}" -v c="${rs%% *}" 'BEGIN{printf "time per round trip vs bare: Zero %.2f, SeekRel %.2f (goal <= 1.5)\n", b/a, b/c}'

if [ "${BENCH_ONLY:-}" = player ]; then exit 0; fi

echo "== MP3 decoder library against mpg123 -t (decode only, native), BENCH_SECONDS of playback"
mp3=$top/build/bench-mp3
bash "$top/bench/make_bench_mp3s.sh" "$mp3"
wdll="Z:${bin//\//\\}\\VBMP3.dll"
# Wine's waveOut costs far more than decoding, so its share is measured alone
# (the same PCM rate and buffering) and the decoding share is the rest.
out=$("$WINE64" "$b/mp3_bench.exe" --waveout "$secs" 2>/dev/null | tr -d '\r')
echo "waveOut alone, 44.1 kHz stereo: $out ms CPU per minute"
printf '%-14s %7s %9s %8s %4s %10s %12s %10s %6s\n' file open_ms seek_mean seek_max miss cpu_ms/min less_output mpg123/min ratio
for f in cbr10 vbr60 vbr60_noxing; do
  minutes=$([ "$f" = cbr10 ] && echo 10 || echo 60)
  read -r open seekm seekx miss cpu <<<"$("$WINE64" "$b/mp3_bench.exe" "$wdll" "Z:${mp3//\//\\}\\$f.mp3" "$secs" 2>/dev/null | tr -d '\r')"
  # mpg123's user+system time for the whole file, per minute of audio.
  ref=$( { TIMEFORMAT='%U %S'; time mpg123 -q -t "$mp3/$f.mp3" >/dev/null 2>&1; } 2>&1 | awk -v m="$minutes" '{printf "%.0f", ($1+$2)*1000/m}')
  awk -v f="$f" -v o="$open" -v sm="$seekm" -v sx="$seekx" -v mi="$miss" -v c="$cpu" -v r="$ref" \
    -v w="$out" 'BEGIN{d=c-w; printf "%-14s %7s %9s %8s %4s %10s %12.0f %10s %6.2f\n", f, o, sm, sx, mi, c, d, r, (r>0? d/r : 0)}'
done
echo "goals: vbr60 open < 50 ms, vbr60_noxing open < 300 ms, miss 0, ratio (decoding share / mpg123) <= 3"

bash "$top/bench/mappers.sh"
bash "$top/bench/stretch.sh"
bash "$top/bench/stretch_cost.sh"
bash "$top/bench/stretch_position.sh"
bash "$top/bench/stretch_long.sh"
