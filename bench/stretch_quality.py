#!/usr/bin/python3
"""Our time-stretch beside soundstretch, rubberband and sonic.

  stretch_quality.py WORKDIR STRETCH_WAV_BINARY [HEARD_SCRIPT]

With HEARD_SCRIPT (bench/stretch_heard.sh) the real player's output is
measured too, recorded from the sound sink while it plays ("player"); its
length and spectrum are taken against the source with the silence before and
after taken off, as the recording's is.

On speech (espeak-ng) and a music-like signal (notes with harmonics and
sharp onsets), at 50, 75, 150 and 200 %, for each tool: the fundamental
against the source's at the same moment of the source (%), the length against source / speed (ms), the
discontinuities the source has not (runs of 5 ms blocks whose steepest step
stands further above the level around it than any block of the source does;
a run of neighbouring blocks is one discontinuity), and
the spectral distance to the source time-scaled (mean dB).
"""
import os
import subprocess
import sys

import numpy as np
import scipy.io.wavfile as wavfile

SPEEDS = [50, 75, 150, 200]
TEXT = ("The interview began at ten. She said the minutes of the last meeting "
        "were wrong, and that nobody had read the report before voting on it.")


def load(path):
    rate, x = wavfile.read(path)
    x = x.astype(np.float64) / 32768.0
    if x.ndim > 1:
        x = x.mean(axis=1)
    return rate, x


def music(path, rate=44100):
    t = np.arange(int(rate * 6)) / rate
    x = np.zeros_like(t)
    notes = [220.0, 277.2, 329.6, 246.9, 293.7, 220.0, 261.6, 329.6, 392.0, 349.2, 293.7]  # odd: one median
    for i, f in enumerate(notes):
        start = int(i * 0.5 * rate)
        n = int(0.5 * rate)
        tt = np.arange(n) / rate
        env = np.exp(-tt * 3.0)
        tone = sum(np.sin(2 * np.pi * f * k * tt) / k for k in range(1, 6))
        x[start:start + n] += 0.25 * env * tone
    wavfile.write(path, rate, (x * 32767).astype(np.int16))  # mono: sonic's command takes no stereo


def f0_track(rate, x):
    """The fundamental every 10 ms (NaN where unvoiced or too quiet)."""
    frame, hop = int(0.04 * rate), int(0.01 * rate)
    lo, hi = int(rate / 400), int(rate / 70)
    level = np.sqrt(np.mean(x ** 2))
    track = []
    for start in range(0, len(x) - frame, hop):
        w = x[start:start + frame]
        track.append(float("nan"))
        if np.sqrt(np.mean(w ** 2)) < level * 0.5:
            continue
        w = w - w.mean()
        ac = np.correlate(w, w, "full")[frame - 1:]
        if ac[0] <= 0:
            continue
        ac = ac / ac[0]
        lag = lo + int(np.argmax(ac[lo:hi]))
        if ac[lag] < 0.6:
            continue
        a, b, c = ac[lag - 1], ac[lag], ac[lag + 1]
        shift = 0.5 * (a - c) / (a - 2 * b + c) if (a - 2 * b + c) != 0 else 0
        track[-1] = rate / (lag + shift)
    return np.array(track)


def f0_error(rate, source, output, speed):
    """The median ratio of the output's fundamental to the source's at the
    same moment of the source (output frame i against source frame i *
    speed), in percent: a median of each alone would weigh other frames."""
    s, o = f0_track(rate, source), f0_track(rate, output)
    index = np.minimum(np.round(np.arange(len(o)) * speed).astype(int), len(s) - 1)
    ratio = o / s[index]
    ratio = ratio[np.isfinite(ratio)]
    ratio = ratio[(ratio > 0.8) & (ratio < 1.25)]  # octave errors of the tracker
    return 100 * (float(np.median(ratio)) - 1) if len(ratio) else float("nan")


def steps(rate, x):
    """Per 5 ms block: its steepest step against the level of steps around it."""
    d = np.abs(np.diff(x))
    block, around = int(0.005 * rate), int(0.05 * rate)
    out = []
    for start in range(around, len(d) - around - block, block):
        peak = d[start:start + block].max()
        level = np.sqrt(np.mean(d[start - around:start + around] ** 2)) + 1e-4
        out.append(peak / level)
    return np.array(out)


def events(flagged):
    """Flagged 5 ms blocks, those next to each other counted as one."""
    flagged = np.asarray(flagged, dtype=bool)
    return int(np.count_nonzero(flagged[1:] & ~flagged[:-1]) + (1 if len(flagged) and flagged[0] else 0))


def spectrogram(x, n=1024, hop=256):
    window = np.hanning(n)
    frames = [np.abs(np.fft.rfft(window * x[i:i + n])) for i in range(0, len(x) - n, hop)]
    return 20 * np.log10(np.maximum(np.array(frames), 1e-4))


def spectral_distance(source, output, speed):
    s, o = spectrogram(source), spectrogram(output)
    index = np.minimum((np.arange(len(o)) * speed).astype(int), len(s) - 1)
    active = s[index].max(axis=1) > s.max() - 50
    return float(np.mean(np.abs(o[active] - s[index][active])))


def trimmed(x):
    sound = np.flatnonzero(np.abs(x) > 0.0005)
    return x[sound[0]:sound[-1] + 1] if len(sound) else x


def run(tool, binary, source, out, percent):
    if tool == "player":
        cmd = ["bash", binary, source, out, str(percent)]
    elif tool == "ours":
        cmd = [binary, source, out, str(percent)]
    elif tool == "soundstretch":
        cmd = ["soundstretch", source, out, "-tempo=%+d" % (percent - 100)]
    elif tool == "rubberband":
        cmd = ["rubberband", "-q", "--time", "%.6f" % (100.0 / percent), source, out]
    else:
        cmd = ["sonic", "-s", "%.2f" % (percent / 100.0), source, out]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    work, binary = sys.argv[1], sys.argv[2]
    heard = sys.argv[3] if len(sys.argv) > 3 else None
    os.makedirs(work, exist_ok=True)
    speech = os.path.join(work, "speech.wav")
    subprocess.run(["espeak-ng", "-s", "150", "-w", speech, TEXT], check=True)
    tune = os.path.join(work, "music.wav")
    music(tune)
    tools = ["ours", "soundstretch", "rubberband", "sonic"] + (["player"] if heard else [])
    print("%-7s %5s %-12s %8s %9s %7s %9s" % ("signal", "speed", "tool", "f0 err%", "length ms", "clicks", "dist dB"))
    for name, path in (("speech", speech), ("music", tune)):
        rate, source = load(path)
        limit = steps(rate, source).max()
        for percent in SPEEDS:
            distances = {}
            for tool in tools:
                out = os.path.join(work, "%s-%s-%d.wav" % (name, tool, percent))
                run(tool, heard if tool == "player" else binary, path, out, percent)
                r, y = load(out)
                reference = trimmed(source) if tool == "player" else source
                length = (len(y) - len(reference) * 100.0 / percent) / rate * 1000
                clicks = events(steps(r, y) > limit)
                distances[tool] = spectral_distance(reference, y, percent / 100.0)
                print("%-7s %4d%% %-12s %8.2f %9.1f %7d %9.2f" % (
                    name, percent, tool, f0_error(rate, reference, y, percent / 100.0), length, clicks, distances[tool]))
            others = sorted(distances[t] for t in ("soundstretch", "rubberband", "sonic"))
            print("%-7s %4d%% ours %s the median of the three (%.2f dB)" % (
                name, percent, "within" if distances["ours"] <= others[1] else "ABOVE", others[1]))


if __name__ == "__main__":
    main()
