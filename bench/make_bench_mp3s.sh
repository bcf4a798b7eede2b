#!/usr/bin/env bash
# The MP3 benchmark's files, made once with lame into the given folder:
# a 10-minute CBR 128 kbps file, a 60-minute VBR file with its Xing header,
# and the same 60 minutes without one (lame -t).
set -euo pipefail
out=$1; mkdir -p "$out"
tone() { sox -n -r 44100 -c 2 -b 16 -t wav - synth "$1" sine 300-900 sine 440 vol 0.3 2>/dev/null; }
[ -s "$out/cbr10.mp3" ] || tone 600 | lame --quiet -b 128 -q 7 - "$out/cbr10.mp3"
[ -s "$out/vbr60.mp3" ] || tone 3600 | lame --quiet -V 4 -q 7 - "$out/vbr60.mp3"
[ -s "$out/vbr60_noxing.mp3" ] || tone 3600 | lame --quiet -t -V 4 -q 7 - "$out/vbr60_noxing.mp3"
