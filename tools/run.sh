#!/usr/bin/env bash
# Runs a command in the program's test environment: a Wine prefix of its own
# under build/, code page 932, an X display and a real-time audio sink.
# Every process started here is ended by its PID when the command ends.
#   tools/run.sh COMMAND [ARGS...]
# TAVOLIN_WINE=32 runs the 32-bit Wine (the original target) in a prefix of its
# own; TAVOLIN_PREFIX names the prefix's use ("test" by default, "run" for make
# run), so that both can run at once; TAVOLIN_HEADLESS=1 uses a private X
# display and sound sink even where the caller has them. The caller's own
# WINEPREFIX is never used.
set -uo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAVOLIN_BUILD:-$top/build}
mkdir -p "$build/run"

if [ "${TAVOLIN_WINE:-64}" = 32 ]; then
  export WINE=/usr/lib/wine/wine WINEPREFIX=$build/win32/wineprefix-${TAVOLIN_PREFIX:-test}
else
  export WINE=/usr/lib/wine/wine64 WINEPREFIX=$build/wineprefix-${TAVOLIN_PREFIX:-test}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# No crash debugger: a program that crashes ends at once with its exception
# code, which the tests read, instead of being held open by winedbg.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"}
export TAVOLIN_RUNNER=1
export WINE64=/usr/lib/wine/wine64
export PATH="/usr/lib/wine:$PATH"

started=()
started_dirs=()
mounted=()
cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
  for d in "${mounted[@]}"; do umount "$d" 2>/dev/null || umount -l "$d" 2>/dev/null; done
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  for d in "${started_dirs[@]}"; do rm -rf "$d"; done
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# X display: the caller's, or a private Xvfb.
if [ -z "${DISPLAY:-}" ] || [ -n "${TAVOLIN_HEADLESS:-}" ]; then
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    started+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

# Audio: MCI playback advances only in real time on a real sink; headless runs
# and callers without a sound server get a null sink of their own.
if [ -n "${TAVOLIN_HEADLESS:-}" ] || ! pactl info >/dev/null 2>&1; then
  export XDG_RUNTIME_DIR=$build/run/xdg-$$
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  started_dirs+=("$XDG_RUNTIME_DIR")
  unset PULSE_SERVER
  export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=null rate=44100" \
    --load="module-native-protocol-unix" >"$XDG_RUNTIME_DIR/pulse.log" 2>&1 &
  started+=($!)
  for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink null >/dev/null 2>&1
fi

# A wineserver left by an earlier, killed run still serves its dead display;
# end it so that this run's programs start on this display.
WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 && WINEPREFIX=$WINEPREFIX wineserver -w

# The Wine prefix, made once.
if [ ! -f "$WINEPREFIX/.tavolin-ready-2" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE64" wineboot -i >/dev/null 2>&1
  WINEPREFIX=$WINEPREFIX wineserver -w
  # The dialogs' font mapped to the installed IPA Gothic; every program in one
  # virtual desktop (its own taskbar and tray, and no X window manager needed).
  reg=$build/run/prefix.reg
  cat >"$build/run/prefix.reg.txt" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1280x1024"

REG
  { printf '\xff\xfe'; sed 's/$/\r/' "$build/run/prefix.reg.txt" | iconv -f UTF-8 -t UTF-16LE; } >"$reg"
  "$WINE64" regedit /S "$(winepath -w "$reg" 2>/dev/null || echo "Z:${reg//\//\\}")" >/dev/null 2>&1
  WINEPREFIX=$WINEPREFIX wineserver -w
  touch "$WINEPREFIX/.tavolin-ready-2"
fi

# A small drive that fills up, T:, for the tests of a full disk: a tmpfs of
# 256 KiB where this user may mount one (the tests that need it say they were
# skipped where it is missing).
small=$build/run/small-$$
mkdir -p "$small"; started_dirs+=("$small")
rm -f "$WINEPREFIX/dosdevices/t:"
if mount -t tmpfs -o size=256k,mode=0777 tavolin-small "$small" 2>/dev/null; then
  mounted+=("$small")
  ln -s "$small" "$WINEPREFIX/dosdevices/t:"
  export TAVOLIN_SMALL_DRIVE='T:'
fi

"$@"
