#!/usr/bin/env python3
"""Synthesises the program's short sound cues into resources/ as 16-bit mono WAV files.

Every cue is computed from a formula (no recordings), so the files are the project's own work
and the same bytes come out of every run. Run from anywhere:

    python3 tools/sounds/generate_sounds.py
"""

import math
import os
import random
import struct
import wave

RATE = 22050
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUT = os.path.join(ROOT, "resources")


def envelope(i, count, attack, release):
    """A linear attack and an exponential-looking release, both in samples."""
    if i < attack:
        return i / attack
    tail = count - i
    if tail < release:
        return (tail / release) ** 2
    return 1.0


def whirl():
    """The gauge turn: a short airy sweep, filtered noise over a gliding tone."""
    count = int(RATE * 0.32)
    rng = random.Random(1917)
    phase = 0.0
    low = 0.0
    samples = []
    for i in range(count):
        t = i / count
        freq = 380.0 + 520.0 * math.sin(math.pi * t)  # up, then down again
        phase += 2.0 * math.pi * freq / RATE
        tone = math.sin(phase) * 0.35
        # One-pole low-pass noise whose brightness follows the sweep.
        alpha = 0.05 + 0.25 * math.sin(math.pi * t)
        low += alpha * (rng.uniform(-1.0, 1.0) - low)
        value = (tone + low * 0.9) * envelope(i, count, int(RATE * 0.03), int(RATE * 0.15))
        samples.append(value * 0.6)
    return samples


def drop():
    """The label click: a water-drop blip, a sine whose pitch rises fast and fades."""
    count = int(RATE * 0.12)
    phase = 0.0
    samples = []
    for i in range(count):
        t = i / count
        freq = 600.0 + 1400.0 * t * t
        phase += 2.0 * math.pi * freq / RATE
        value = math.sin(phase) * envelope(i, count, int(RATE * 0.004), int(RATE * 0.09))
        samples.append(value * 0.5)
    return samples


def six_beeps():
    """The weather alert: six short, bright beeps at an even pace, like an alarm clock. A sine
    at A6 with a little of its odd harmonics gives the hollow, buzzy tone of a beeper; each beep
    fades in and out over 6 ms, so that none starts or stops with a click."""
    pitch = 1760.0
    beep_count = int(RATE * 0.14)
    ramp = int(RATE * 0.006)
    gap = [0.0] * int(RATE * 0.09)
    samples = []
    for _ in range(6):
        for i in range(beep_count):
            t = i / RATE
            value = (math.sin(2 * math.pi * pitch * t)
                     + 0.30 * math.sin(2 * math.pi * 3 * pitch * t)
                     + 0.12 * math.sin(2 * math.pi * 5 * pitch * t)) / 1.42
            gain = min(1.0, i / ramp, (beep_count - 1 - i) / ramp)
            samples.append(value * gain * 0.7)
        samples.extend(gap)
    return samples


def write(name, samples):
    path = os.path.join(OUT, name)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(
            struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))
    print("wrote", os.path.relpath(path, ROOT))


def main():
    write("gauge_turn.wav", whirl())
    write("label_click.wav", drop())
    write("6_beeps.wav", six_beeps())


if __name__ == "__main__":
    main()
