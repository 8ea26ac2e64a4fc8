#!/usr/bin/env python3
"""Synthesises the forecast panel's ambience sounds into resources/ as 16-bit mono WAV files.

One sound per weather condition of a forecast period: birds for a sunny day, crickets for a
clear night, rain, a thunderstorm, wind, and wind with snow. Every sound is computed from
filtered noise and tones (no recordings), so the files are the project's own work, and a fixed
seed per sound gives the same bytes on every run. It writes through the cue generator beside it,
so all sounds share one format. Run from anywhere:

    python3 tools/sounds/generate_ambience.py
"""

import math
import random

from generate_sounds import RATE, write

SECONDS = 3.0
COUNT = int(RATE * SECONDS)


def fade(samples, seconds=0.25):
    """Fades both ends, so the loop-less sound neither clicks in nor stops dead."""
    edge = int(RATE * seconds)
    for i in range(edge):
        gain = i / edge
        samples[i] *= gain
        samples[-1 - i] *= gain
    return samples


def lowpass_noise(rng, count, alpha, gain=1.0):
    """White noise through a one-pole low-pass: small alpha, darker noise."""
    out = []
    low = 0.0
    for _ in range(count):
        low += alpha * (rng.uniform(-1.0, 1.0) - low)
        out.append(low * gain)
    return out


def brown_noise(rng, count, leak=0.995, step=0.08):
    """Integrated noise with a leak: the deep rumble of thunder and gusts."""
    out = []
    value = 0.0
    for _ in range(count):
        value = value * leak + rng.uniform(-step, step)
        out.append(value)
    return out


def bandpass(signal, centre, q):
    """A state-variable band-pass whose centre (Hz) may change per sample (a list or a number)."""
    out = []
    low = band = 0.0
    damping = 1.0 / q
    for i, x in enumerate(signal):
        f = centre[i] if isinstance(centre, list) else centre
        g = 2.0 * math.sin(math.pi * min(f, RATE / 6.0) / RATE)
        high = x - low - damping * band
        band += g * high
        low += g * band
        out.append(band)
    return out


def mix(*tracks):
    return [sum(values) for values in zip(*tracks)]


def normalise(samples, peak=0.7):
    top = max(abs(s) for s in samples) or 1.0
    return [s * peak / top for s in samples]


def add_at(samples, start, burst):
    for i, value in enumerate(burst):
        if 0 <= start + i < len(samples):
            samples[start + i] += value


def chirp(rng):
    """One bird call: two to four quick notes, each a fast downward-then-upward glide."""
    notes = []
    base = rng.uniform(2600.0, 4200.0)
    for _ in range(rng.randint(2, 4)):
        length = int(RATE * rng.uniform(0.04, 0.09))
        phase = 0.0
        for i in range(length):
            t = i / length
            freq = base * (1.0 + 0.35 * math.sin(2.0 * math.pi * (t - 0.25)))
            phase += 2.0 * math.pi * freq / RATE
            notes.append(math.sin(phase) * math.sin(math.pi * t) ** 2)
        notes.extend([0.0] * int(RATE * rng.uniform(0.02, 0.05)))
        base *= rng.uniform(0.9, 1.12)
    return notes


def birds_sunny():
    rng = random.Random(101)
    out = lowpass_noise(rng, COUNT, 0.02, 0.8)  # a soft breeze under the birds
    at = int(RATE * 0.15)
    while at < COUNT - int(RATE * 0.4):
        add_at(out, at, [v * rng.uniform(0.25, 0.45) for v in chirp(rng)])
        at += int(RATE * rng.uniform(0.25, 0.6))
    return fade(normalise(out, 0.6))


def crickets_night():
    rng = random.Random(202)
    out = lowpass_noise(rng, COUNT, 0.01, 0.5)  # a still night
    for carrier, period, offset, gain in ((4500.0, 0.52, 0.05, 0.35), (4050.0, 0.71, 0.3, 0.2)):
        at = offset
        while at < SECONDS - 0.3:
            # A chirp is three or four pulses of the wing file, about 30 per second.
            for pulse in range(rng.choice((3, 4))):
                start = int(RATE * (at + pulse * 0.033))
                length = int(RATE * 0.018)
                burst = [math.sin(2.0 * math.pi * carrier * i / RATE) *
                         math.sin(math.pi * i / length) * gain for i in range(length)]
                add_at(out, start, burst)
            at += period * rng.uniform(0.95, 1.05)
    return fade(normalise(out, 0.55))


def rain_track(rng, drops_per_second):
    """Steady hiss plus single drops: short bright ticks that die away at once."""
    hiss = lowpass_noise(rng, COUNT, 0.35, 0.35)
    body = lowpass_noise(rng, COUNT, 0.05, 0.9)
    out = mix(hiss, body)
    for _ in range(int(drops_per_second * SECONDS)):
        start = rng.randrange(COUNT)
        length = int(RATE * rng.uniform(0.004, 0.012))
        freq = rng.uniform(1500.0, 4500.0)
        gain = rng.uniform(0.1, 0.4)
        add_at(out, start, [math.sin(2.0 * math.pi * freq * i / RATE) *
                            math.exp(-6.0 * i / length) * gain for i in range(length)])
    return out


def rain():
    rng = random.Random(303)
    return fade(normalise(rain_track(rng, 120), 0.6))


def thunderstorm():
    rng = random.Random(404)
    out = [v * 0.6 for v in rain_track(rng, 90)]
    # A clap at 0.4 s: a crack of bright noise, then a long, rolling low rumble.
    rumble = brown_noise(rng, COUNT, 0.997, 0.05)
    start = int(RATE * 0.4)
    for i in range(COUNT - start):
        t = i / RATE
        envelope = (min(1.0, t / 0.05)) * math.exp(-t / 0.9) * (0.75 + 0.25 * math.sin(7.0 * t))
        crack = rng.uniform(-1.0, 1.0) * math.exp(-t / 0.06) * 0.8
        out[start + i] += rumble[i] * envelope * 1.6 + crack
    return fade(normalise(out, 0.75))


def gusting_wind(rng, centre_low, centre_high, q, gust_rate):
    """Noise through a resonant band-pass whose pitch and loudness rise and fall with gusts."""
    noise = [rng.uniform(-1.0, 1.0) for _ in range(COUNT)]
    phase_a = rng.uniform(0.0, 6.28)
    phase_b = rng.uniform(0.0, 6.28)
    gust = [0.5 + 0.3 * math.sin(2.0 * math.pi * gust_rate * i / RATE + phase_a) +
            0.2 * math.sin(2.0 * math.pi * gust_rate * 2.7 * i / RATE + phase_b)
            for i in range(COUNT)]
    centre = [centre_low + (centre_high - centre_low) * g for g in gust]
    howl = bandpass(noise, centre, q)
    return [h * (0.3 + 0.7 * g) for h, g in zip(howl, gust)]


def windy():
    rng = random.Random(505)
    howl = gusting_wind(rng, 250.0, 700.0, 6.0, 0.35)
    roar = [v * 0.4 for v in brown_noise(rng, COUNT, 0.99, 0.06)]
    return fade(normalise(mix(howl, roar), 0.65))


def wind_snow():
    rng = random.Random(606)
    # A thinner, higher whistle than plain wind, and the soft hiss of blown snow.
    whistle = gusting_wind(rng, 700.0, 1500.0, 12.0, 0.25)
    hiss = lowpass_noise(rng, COUNT, 0.6, 0.12)
    return fade(normalise(mix(whistle, hiss), 0.5))


def main():
    write("birds_sunny.wav", birds_sunny())
    write("crickets_night.wav", crickets_night())
    write("rain.wav", rain())
    write("thunderstorm.wav", thunderstorm())
    write("windy.wav", windy())
    write("wind_snow.wav", wind_snow())


if __name__ == "__main__":
    main()
