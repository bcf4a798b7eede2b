#!/usr/bin/env bash
# The mappers' benchmarks, each against a baseline timed in the same run.
# Run inside tools/run.sh (part of make bench; alone: tools/run.sh bash bench/mappers.sh).
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$top/build/bin; b=$top/build/cmake-x64/bench; t=$top/build/cmake-x64/tests
secs=${BENCH_SECONDS:-20}
w() { local p=$1; echo "Z:${p//\//\\}"; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cp "$bin/Runeby.exe" "$bin/Clavtrap.dll" "$bin/Padwig.exe" "$work/"
run() { "$WINE64" "$b/bench_runner.exe" "$@" 2>/dev/null | tr -d '\r'; }

echo "== mappers: start-up (median of 10): ms to visible window, to exit after WM_CLOSE (posted once idle), to idle"
# Against the bare program importing each mapper's system libraries (for the
# joystick mapper, the bare program itself), and the same showing each
# mapper's own dialog template.
{ read -r rbu rbd; read -r tru trd; read -r ru rd; read -r pbu pbd; read -r tpu tpd; read -r pu pd; } < <(
  run startup 10 "$(w "$b/bare_runeby_libs.exe")" BareWndClass "$(w "$b/bare_runeby_dialog.exe")" RunebyWndClass \
    "$(w "$work/Runeby.exe")" RunebyWndClass "$(w "$b/bare_dialog.exe")" BareWndClass \
    "$(w "$b/bare_padwig_dialog.exe")" PadwigWndClass "$(w "$work/Padwig.exe")" PadwigWndClass)
echo "bare, Runeby's libraries                    $rbu  $rbd"
echo "bare, Runeby's libraries and dialog template $tru  $trd"
echo "Runeby                                      $ru  $rd"
echo "bare, Padwig's libraries                    $pbu  $pbd"
echo "bare, Padwig's libraries and dialog template $tpu  $tpd"
echo "Padwig                                      $pu  $pd"
awk -v r="$ru" -v p="$pu" -v rb="$rbu" -v pb="$pbu" -v tr="$tru" -v tp="$tpu" 'BEGIN{printf "ratio start Runeby %.2f, Padwig %.2f (goal <= 1.15); against their own templates %.2f, %.2f (goal for Padwig <= 1.2)\n", r/rb, p/pb, r/tr, p/tp}'
# Padwig's first joystick scan (the platform's, some 50 ms on the sampling
# thread) is still under way when the window first waits for input, and the
# close waits for a scan in progress: its exit again, posted 500 ms later.
{ read -r _ pld; read -r _ tld; } < <(
  run startup 10 after=500 "$(w "$work/Padwig.exe")" PadwigWndClass "$(w "$b/bare_padwig_dialog.exe")" PadwigWndClass)
echo "exit posted 500 ms after idle: Padwig ${pld%% *}, bare with Padwig's template ${tld%% *}"

sink() { "$WINE64" "$t/dde_sink.exe" Sink "$(w "$1")" >/dev/null 2>&1 & for _ in $(seq 1 100); do [ -f "$1" ] && break; sleep 0.1; done; }
unsink() { "$WINE64" "$bin/TavolinCtl.exe" --service Sink exec "[Quit]" >/dev/null 2>&1; wait; }

echo "== DdeClientExecute: call and arrival at a stand-in server, against a bare DDEML client (200 each)"
sink "$work/client.log"
"$WINE64" "$b/mapper_bench.exe" client "$(w "$work/client.log")" 200 2>/dev/null | tr -d '\r'
unsink

echo "== key press to arrival through Clavtrap.dll and Runeby (1000 presses), against a bare hook"
printf '[Runeby]\r\nVersion=2.3(32)\r\n[DDE]\r\nServiceName=Sink\r\nTopicName=Command\r\n[Command]\r\nCount=1\r\n01=[Play()]\r\n[Map]\r\nCount=1\r\n01=008,049,01\r\n' >"$work/Runeby.ini"
sink "$work/keys.log"
"$WINE64" "$work/Runeby.exe" >/dev/null 2>&1 &
sleep 2
"$WINE64" "$b/mapper_bench.exe" keys "$(w "$work/keys.log")" 1000 2>/dev/null | tr -d '\r'
"$WINE64" "$bin/WinPost.exe" RunebyWndClass 0x10 0 0 >/dev/null 2>&1
unsink
"$WINE64" "$b/bare_hook.exe" "$(w "$work/bare.log")" >/dev/null 2>&1 &
sleep 1
"$WINE64" "$b/mapper_bench.exe" barekeys "$(w "$work/bare.log")" 1000 2>/dev/null | tr -d '\r'
wait

echo "== the keyboard's wait: each SendInput call, with no hook, with Runeby idle, and with Runeby's window saving 364 bindings"
"$WINE64" "$b/mapper_bench.exe" sendinput "SendInput, no hook" 300 2>/dev/null | tr -d '\r'
{ printf '[Runeby]\r\nVersion=2.3(32)\r\n[DDE]\r\nServiceName=Nobody\r\nTopicName=Command\r\n[Command]\r\nCount=1\r\n01=[Play()]\r\n[Map]\r\n'
  n=0
  for m in 0 4 8 12 16 20 24 28; do
    keys="112 113 114 115 116 117 118 119 120 121 122 123 124 125 126"
    [ $m -ge 4 ] && keys="37 38 39 40 $keys"
    [ $m -ge 8 ] && keys="$(seq -s ' ' 48 57) $(seq -s ' ' 65 90) $keys"
    for k in $keys; do n=$((n + 1)); printf '%02d=%03d,%03d,01\r\n' $n $m $k; done
  done
  printf 'Count=%d\r\n' $n; } >"$work/Runeby.ini"
"$WINE64" "$work/Runeby.exe" >/dev/null 2>&1 &
sleep 2
"$WINE64" "$b/mapper_bench.exe" sendinput "SendInput, Runeby idle" 300 2>/dev/null | tr -d '\r'
"$WINE64" "$b/mapper_bench.exe" sendinput "SendInput, Runeby saving" 300 RunebyWndClass 2>/dev/null | tr -d '\r'
"$WINE64" "$bin/WinPost.exe" RunebyWndClass 0x10 0 0 >/dev/null 2>&1
wait

echo "== joystick button edge to arrival through Padwig (scripted joystick, 500 edges; goal median < 50 ms, worst < 70 ms)"
sink "$work/pad.log"
"$WINE64" "$b/mapper_bench.exe" pad "$(w "$work/pad.log")" 500 2>/dev/null | tr -d '\r'
unsink
taps=${BENCH_TAPS:-1000}
echo "== $taps taps of 25 ms through Padwig (scripted joystick; goal: none lost)"
sink "$work/taps.log"
"$WINE64" "$b/mapper_bench.exe" taps "$(w "$work/taps.log")" "$taps" 2>/dev/null | tr -d '\r'
unsink

echo "== CPU over ${secs} s (ms of CPU time of the program's process, all threads)"
# The pointer in a corner, off every window: resting on a control with a
# tooltip, it keeps the tooltip's timers running.
run pointer 0 0
. "$top/bench/cpu.sh"
cpu_of() { process_cpu_ms "$(settled_pid "$1")" "$secs"; }  # EXE_NAME: the program is already starting
rm -f "$work/Runeby.ini"
"$WINE64" "$b/bare_dialog.exe" & bi=$(cpu_of bare_dialog.exe); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
"$WINE64" "$work/Runeby.exe" & ri=$(cpu_of Runeby.exe); "$WINE64" "$bin/WinPost.exe" RunebyWndClass 0x10 0 0; wait
"$WINE64" "$b/bare_timers.exe" & bt=$(cpu_of bare_timers.exe); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
"$WINE64" "$work/Padwig.exe" & pi=$(cpu_of Padwig.exe); "$WINE64" "$bin/WinPost.exe" PadwigWndClass 0x10 0 0; wait
"$WINE64" "$b/bare_ticks.exe" & bk=$(cpu_of bare_ticks.exe); "$WINE64" "$bin/WinPost.exe" BareWndClass 0x10 0 0; wait
echo "bare dialog (200 ms timer)                  $bi"
echo "Runeby idle                                 $ri"
echo "bare dialog, 50 ms timer, 10 ms 16-stick sampling, 500 ms status query  $bt"
echo "bare dialog, 50 ms timer and 500 ms status query only   $bk"
echo "Padwig (no joystick answers here)           $pi"
awk -v a="$ri" -v b="$bi" -v c="$pi" -v d="$bt" -v k="$bk" 'BEGIN{printf "ratio Runeby idle %.2f; Padwig against the sampling baseline %.2f, against the timer and status query only %.2f (goal <= 2)\n", (b>0? a/b : 0), (d>0? c/d : 0), (k>0? c/k : 0)}'
