#!/usr/bin/env python3
"""Synthesises the weather alert sound, resources/6_beeps.wav: six short, bright beeps at an
even pace, like an alarm clock, as a 16-bit mono WAV file.

Computed from a formula (no recording), so the file is the project's own work and every run
writes the same bytes. Run from anywhere:

    python3 tools/sounds/generate_alert_sound.py
"""

import math
import os
import struct
import wave

RATE = 22050
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUT = os.path.join(ROOT, "resources", "6_beeps.wav")

BEEPS = 6
BEEP_SECONDS = 0.14
GAP_SECONDS = 0.09
PITCH = 1760.0  # A6: cuts through other sounds without being shrill
RAMP_SECONDS = 0.006  # fade in and out, so that no beep starts or stops with a click


def beep():
    count = int(RATE * BEEP_SECONDS)
    ramp = int(RATE * RAMP_SECONDS)
    samples = []
    for i in range(count):
        t = i / RATE
        # A sine with a little of its odd harmonics: the hollow, buzzy tone of a beeper.
        value = (math.sin(2 * math.pi * PITCH * t)
                 + 0.30 * math.sin(2 * math.pi * 3 * PITCH * t)
                 + 0.12 * math.sin(2 * math.pi * 5 * PITCH * t)) / 1.42
        gain = min(1.0, i / ramp, (count - 1 - i) / ramp)
        samples.append(value * gain * 0.7)
    return samples


def six_beeps():
    silence = [0.0] * int(RATE * GAP_SECONDS)
    samples = []
    for _ in range(BEEPS):
        samples.extend(beep())
        samples.extend(silence)
    return samples


def write(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(
            struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))
    print("wrote", os.path.relpath(path, ROOT))


if __name__ == "__main__":
    write(OUT, six_beeps())
