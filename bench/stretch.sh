#!/usr/bin/env bash
# The time-stretch's quality beside soundstretch, rubberband and sonic
# (installed here for the bench only, never used by the programs), with
# numpy and scipy for the measure. The module is built for the host: it has
# no Windows calls, and what it makes is what the player hands to waveOut.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
need=()
for p in soundstretch rubberband-cli sonic espeak-ng python3-numpy python3-scipy g++; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
work=$top/build/bench-stretch
mkdir -p "$work"
g++ -O2 -std=c++17 -I"$top/stretch" "$top/bench/stretch_wav.cpp" "$top/stretch/time_stretch.cpp" -o "$work/stretch_wav"
echo "== time-stretch quality: speech and a music-like signal, ours beside the three tools"
# Inside tools/run.sh the player itself is heard too, recorded from the sink.
heard=()
[ -n "${WINE64:-}" ] && heard=("$top/bench/stretch_heard.sh")
/usr/bin/python3 "$top/bench/stretch_quality.py" "$work" "$work/stretch_wav" "${heard[@]}"
echo "goals: f0 within 1 %, length within 10 ms, clicks none and no more than the best, spectral distance within the median"
