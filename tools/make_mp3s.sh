#!/usr/bin/env bash
# Makes the MP3 files the decoder tests play, and compressed Waves: make_mp3s.sh FOLDER
set -euo pipefail
out=$1; mkdir -p "$out"; cd "$out"
[ -f done-6 ] && exit 0
sox -n -r 44100 -c 2 -b 16 tone44.wav synth 5 sine 440 vol 0.3
sox -n -r 22050 -c 1 -b 16 tone22.wav synth 2 sine 330 vol 0.3
lame --quiet -b 128 tone44.wav cbr.mp3
lame --quiet -V 2 tone44.wav vbr.mp3
lame --quiet --freeformat -b 400 tone44.wav free.mp3  # bit-rate index 0
lame --quiet -b 64 tone22.wav mono22.mp3
lame --quiet -b 128 --id3v2-only --tt "A title" --pad-id3v2-size 200000 tone44.wav id3.mp3
sox -n -r 48000 -c 2 -b 16 tone48.wav synth 1 sine 440 vol 0.3
lame --quiet -b 128 -t tone48.wav tone48.mp3  # no VBR header; every frame 384 bytes; one second
head -c 384 tone48.mp3 >one.mp3               # a single frame: 24 ms
head -c 40000 cbr.mp3 >truncated.mp3
head -c 5000 /dev/urandom >garbage.mp3
: >empty.mp3
{ printf 'ID3\x03\x00\x00\x7f\x7f\x7f\x7f'; cat cbr.mp3; } >badtag.mp3
rm -f tone44.wav tone22.wav tone48.wav
# Compressed Waves, which MCI and the player's stretch read through ACM.
sox -n -r 22050 -c 1 -e ima-adpcm ima.wav synth 1.5 sine 440 vol 0.3
sox -n -r 22050 -c 2 -e ms-adpcm msadpcm.wav synth 1.5 sine 440 vol 0.3
sox -n -r 8000 -c 1 -e mu-law mulaw.wav synth 1.5 sine 440 vol 0.3
touch done-6
