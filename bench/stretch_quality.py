#!/usr/bin/python3
"""Our time-stretch beside soundstretch, rubberband and sonic.

  stretch_quality.py WORKDIR STRETCH_WAV_BINARY [HEARD_SCRIPT]

With HEARD_SCRIPT (bench/stretch_heard.sh) the real player's output is
measured too, recorded from the sound sink while it plays ("player"); with
the silence before and after taken off, its spectrum is taken against the
source's and its length against what the module makes (the overlap-add
spreads a faint first or last sound over a hop, so the source's own silence
would not tell; the module's row gives its length against the source).

On speech (espeak-ng: four voices, low, high and quick among them; the
player is heard on the first) and a music-like signal (notes with harmonics and
sharp onsets), at 50, 75, 150 and 200 %, for each tool: the fundamental
against the source's at the same moment of the source (%), the length against source / speed (ms), the
discontinuities the source has not (see clicks(); a run of neighbouring 5 ms
blocks is one), and the spectral distance to the source time-scaled (mean dB),
each output frame against the source frame whose middle is the same moment.
"""
import os
import subprocess
import sys

import numpy as np
import scipy.io.wavfile as wavfile

SPEEDS = [50, 75, 150, 200]
VOICES = [("speech", []), ("low", ["-p", "10"]), ("high", ["-v", "en+f3"]), ("quick", ["-s", "220", "-p", "35"])]
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


def same_moment(frames, speed, length, hops):
    """For each of `frames` output frames, the source frame (of `length`)
    whose middle is the same moment of the source as the output frame's
    middle, the frames being `hops` hops long."""
    middle = hops / 2.0
    index = np.round((np.arange(frames) + middle) * speed - middle).astype(int)
    return np.clip(index, 0, length - 1)


def f0_error(rate, source, output, speed):
    """The median ratio of the output's fundamental to the source's at the
    same moment of the source, in percent: a median of each alone would
    weigh other frames."""
    s, o = f0_track(rate, source), f0_track(rate, output)
    index = same_moment(len(o), speed, len(s), 4)
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


def clicks(rate, source, output, speed):
    """Discontinuities the source has not: 5 ms blocks of the output whose
    steepest step stands further above the level around it than any block of
    the source does, and is half as steep again as any step of the source
    within 20 ms of the same moment of the source (an onset the source has,
    played faster, stands further above a shorter neighbourhood: it is the
    source's own)."""
    flagged = steps(rate, output) > steps(rate, source).max()
    d, do = np.abs(np.diff(source)), np.abs(np.diff(output))
    block, around, near = int(0.005 * rate), int(0.05 * rate), int(0.02 * rate)
    for i in np.flatnonzero(flagged):
        start = around + i * block
        moment = int((start + block / 2) * speed)
        nearby = d[max(0, moment - near):moment + near]
        if len(nearby) and do[start:start + block].max() <= 1.5 * nearby.max():
            flagged[i] = False
    return events(flagged)


def spectrogram(x, n=1024, hop=256):
    window = np.hanning(n)
    frames = [np.abs(np.fft.rfft(window * x[i:i + n])) for i in range(0, len(x) - n, hop)]
    return 20 * np.log10(np.maximum(np.array(frames), 1e-4))


def spectral_distance(source, output, speed):
    s, o = spectrogram(source), spectrogram(output)
    index = same_moment(len(o), speed, len(s), 4)
    active = s[index].max(axis=1) > s.max() - 50
    return float(np.mean(np.abs(o[active] - s[index][active])))


def trimmed(x):
    sound = np.flatnonzero(np.abs(x) > 0.0005)
    return x[sound[0]:sound[-1] + 1] if len(sound) else x


def against_ours(rate, heard, ours):
    """What the player played against what the module makes of the same
    source: the mean dB apart below and above 8 kHz, the two lined up on
    their first second (the sound server resamples a file not at its own
    rate, which tells above 8 kHz only)."""
    ours = trimmed(ours)
    lag = int(np.argmax(np.correlate(ours[:2 * rate], heard[:rate], "valid")))
    a, b = spectrogram(ours[lag:]), spectrogram(heard)
    n = min(len(a), len(b))
    apart = np.abs(a[:n] - b[:n])[a[:n].max(axis=1) > a.max() - 50]
    edge = int(8000 / rate * 1024)
    return float(apart[:, :edge].mean()), float(apart[:, edge:].mean()) if edge < apart.shape[1] else 0.0


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
    signals = []
    for name, voice in VOICES:
        signals.append((name, os.path.join(work, name + ".wav")))
        subprocess.run(["espeak-ng", "-s", "150"] + voice + ["-w", signals[-1][1], TEXT], check=True)
    signals.append(("music", os.path.join(work, "music.wav")))
    music(signals[-1][1])
    print("%-7s %5s %-12s %8s %9s %7s %9s" % ("signal", "speed", "tool", "f0 err%", "length ms", "clicks", "dist dB"))
    for name, path in signals:
        rate, source = load(path)
        # The player is heard on the first voice and the music.
        tools = ["ours", "soundstretch", "rubberband", "sonic"] + (["player"] if heard and name in ("speech", "music") else [])
        for percent in SPEEDS:
            distances, counts = {}, {}
            for tool in tools:
                out = os.path.join(work, "%s-%s-%d.wav" % (name, tool, percent))
                run(tool, heard if tool == "player" else binary, path, out, percent)
                y, reference = load(out)[1], source
                if tool == "player":
                    y, reference = trimmed(y), trimmed(source)
                    ours = load(os.path.join(work, "%s-ours-%d.wav" % (name, percent)))[1]
                    length = (len(y) - len(trimmed(ours))) / rate * 1000
                else:
                    length = (len(y) - len(reference) * 100.0 / percent) / rate * 1000
                distances[tool] = spectral_distance(reference, y, percent / 100.0)
                counts[tool] = clicks(rate, reference, y, percent / 100.0)
                print("%-7s %4d%% %-12s %8.2f %9.1f %7d %9.2f" % (
                    name, percent, tool, f0_error(rate, reference, y, percent / 100.0), length,
                    counts[tool], distances[tool]))
                if tool == "player":
                    print("%-7s %4d%% player against ours: %.2f dB apart below 8 kHz, %.2f above" % (
                        (name, percent) + against_ours(rate, y, ours)))
            three = ("soundstretch", "rubberband", "sonic")
            median = sorted(distances[t] for t in three)[1]
            fewest = min(counts[t] for t in three)
            print("%-7s %4d%% ours %s the median of the three (%.2f dB), clicks %s the fewest of them (%d)" % (
                name, percent, "within" if distances["ours"] <= median else "ABOVE", median,
                "no more than" if counts["ours"] <= fewest else "MORE THAN", fewest))


if __name__ == "__main__":
    main()
