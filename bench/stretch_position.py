#!/usr/bin/python3
"""Position and speed changes as heard, from recordings of the sound sink.

  stretch_position.py make DIR           writes DIR/chirp.wav and DIR/tone.wav
  stretch_position.py pause REC POS SPEED [LEAD]
                                         the file time last heard in REC (a
                                         recording of chirp.wav played up to a
                                         pause) against POS, GetPos at the
                                         pause, with SPEED the speed then (%);
                                         with LEAD (ms of sound the platform's
                                         position runs ahead of what is heard),
                                         also less what that lead makes of it
  stretch_position.py lead REC POS       POS less the file time last heard in
                                         REC, played at 100 %: the lead alone
  stretch_position.py change REC POS LEAD  how long after a change from 50 %
                                         to 200 % the new speed was heard:
                                         REC holds chirp.wav played across
                                         it, POS was GetPos at the change
  stretch_position.py gaps REC           the longest silence and the steepest
                                         step in REC (tone.wav played through
                                         speed changes), between its first and
                                         last sound

The chirp rises linearly, so the frequency heard tells the file time: with
the pitch kept, the sound heard at any moment is the file's at its own time.
"""
import sys

import numpy as np
import scipy.io.wavfile as wavfile

RATE = 44100
LOW, SLOPE, SECONDS = 200.0, 50.0, 160  # Hz, Hz per second of file, length
TONE = 440.0


def make(directory):
    t = np.arange(RATE * SECONDS) / RATE
    chirp = 0.5 * np.sin(2 * np.pi * (LOW * t + SLOPE * t * t / 2))
    wavfile.write(directory + "/chirp.wav", RATE, (chirp * 32767).astype(np.int16))
    tone = 0.5 * np.sin(2 * np.pi * TONE * t[:RATE * 90])
    wavfile.write(directory + "/tone.wav", RATE, (tone * 32767).astype(np.int16))


def load(path):
    rate, x = wavfile.read(path)
    assert rate == RATE, "record at %d Hz" % RATE
    x = x.astype(np.float64) / 32768.0
    return x.mean(axis=1) if x.ndim > 1 else x


def frequency(x):
    """The frequency of one steady tone in x, interpolated between FFT bins."""
    n = 1 << 18
    spectrum = np.abs(np.fft.rfft(x * np.hanning(len(x)), n))
    k = int(np.argmax(spectrum))
    a, b, c = np.log(spectrum[k - 1:k + 2] + 1e-12)
    return (k + 0.5 * (a - c) / (a - 2 * b + c)) * RATE / n


def last_heard(path, speed):
    x = load(path)
    sound = np.flatnonzero(np.abs(x) > 0.05)
    end = sound[-1]
    # 40 ms of what was heard, ending 5 ms before the sound stopped (the
    # device may ramp its last samples); its middle is file time f's.
    window, before = int(0.04 * RATE), int(0.005 * RATE)
    f = frequency(x[end - before - window:end - before])
    middle_ms = (f - LOW) / SLOPE * 1000
    return middle_ms + (window / 2 + before) / RATE * 1000 * speed / 100


def pause(path, pos_ms, speed, lead=None):
    heard_ms = last_heard(path, speed)
    line = "GetPos %d ms, last heard %.0f ms: %+.1f ms" % (pos_ms, heard_ms, pos_ms - heard_ms)
    # Ahead by a lead of the device's, it is the same in ms of sound at
    # every speed; an error of the position's would not be.
    line += " (%+.1f ms of sound)" % ((pos_ms - heard_ms) * 100 / speed)
    if lead is not None:
        line += "; %+.1f less the bare program's lead" % (pos_ms - heard_ms - lead * speed / 100)
    print(line)


def change(path, pos_ms, lead_ms):
    """The file time heard every 10 ms, fitted by two lines of the speeds
    before and after (0.5 and 2 file ms a ms) meeting at the change heard."""
    x = load(path)
    sound = np.flatnonzero(np.abs(x) > 0.05)
    window, hop = int(0.04 * RATE), int(0.01 * RATE)
    t, heard = [], []
    for at in range(sound[0], sound[-1] - window, hop):
        t.append((at + window / 2) / RATE * 1000)
        heard.append((frequency(x[at:at + window]) - LOW) / SLOPE * 1000)
    t, heard = np.array(t), np.array(heard)
    best = None
    for knee in t[10:-10]:
        model = np.where(t < knee, 0.5 * t, 0.5 * knee + 2.0 * (t - knee))
        offset = np.median(heard - model)
        error = np.sum(np.abs(heard - model - offset))
        if best is None or error < best[0]:
            best = (error, knee, offset)
    _, knee, offset = best
    # GetPos at the command runs ahead of what was heard then by the
    # platform's lead (at 50 %, half as many file ms).
    commanded = (pos_ms - lead_ms * 0.5 - offset) / 0.5
    print("the new speed heard %.0f ms after the command, %.0f of them the bare program's lead" % (
        knee - commanded, lead_ms))


def gaps(path):
    x = load(path)
    sound = np.flatnonzero(np.abs(x) > 0.05)
    x = x[sound[0]:sound[-1] + 1]
    level = np.abs(x) > 0.1  # the tone's amplitude is 0.5: below 0.1 for a
    quiet, longest, run = 0, 0, 0  # whole cycle is silence
    for loud in level:
        run = 0 if loud else run + 1
        longest = max(longest, run)
    steepest = np.abs(np.diff(x)).max() / (0.5 * 2 * np.pi * TONE / RATE)
    print("longest silence %.1f ms (a cycle is %.1f ms), steepest step %.2f times the tone's own" % (
        longest / RATE * 1000, 1000 / TONE, steepest))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    elif sys.argv[1] == "pause":
        pause(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]) if len(sys.argv) > 5 else None)
    elif sys.argv[1] == "change":
        change(sys.argv[2], int(sys.argv[3]), float(sys.argv[4]))
    elif sys.argv[1] == "lead":
        print("%.1f" % (int(sys.argv[3]) - last_heard(sys.argv[2], 100)))
    else:
        gaps(sys.argv[2])
