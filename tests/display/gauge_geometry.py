#!/usr/bin/env python3
"""Expected tick geometry of the real gauge faces, for GaugeGeometryTest.cpp.

Idea: build each face's tick label list from its scale by hand (values, blank gap, reversals,
right rotation by int(size / divisor - 1)), put tick j at angle (n - j) * 2pi / n and round
each coordinate (cos or sin times radius in double) to single precision.
Prints C++ table rows: {face, index, label, x, y}.
"""
import math
import struct


def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]


def rotate_right(ticks, divisor):
    count = int(f32(len(ticks) / f32(divisor)) - 1.0)
    if count < 1:
        return ticks
    return ticks[-count:] + ticks[:-count]


def numeric_face(start, end, step, display_step, divisor, reversed_direction):
    labels = [str(v) for v in range(start, end + 1, step)]
    if len(labels) >= 60:
        labels += [''] * display_step
    labels.reverse()  # the helper's own reversal
    if reversed_direction:
        labels.reverse()
    return rotate_right(labels, divisor)


def inhg_face():
    labels = []
    f = f32(27.5)
    while f <= 31.5:
        labels.append('%g' % f)
        f = f32(f + 0.1)
    labels.reverse()  # drawn reversed
    return rotate_right(labels, 1.27)


def positions(labels):
    n = len(labels)
    out = []
    for j, label in enumerate(labels):
        angle = (n - j) * 6.283185307179586 / n
        out.append((j, label, f32(math.cos(angle) * 0.5), f32(math.sin(angle) * 0.5)))
    return out


faces = {
    'fahrenheit': numeric_face(-60, 120, 1, 20, 1.0, False),
    'celsius': numeric_face(-50, 50, 1, 10, 3.0, True),
    'millibars': numeric_face(940, 1060, 2, 10, 1.2, True),
    'inches': inhg_face(),
    'windMph': rotate_right(['N', 'NW', 'W', 'SW', 'S', 'SE', 'E', 'NE'], 4.0),
    'windKmh': rotate_right(['N', 'NE', 'E', 'SE', 'S', 'SW', 'W', 'NW'], 4.0),
}
# Every tick of the small faces; the first, the last and every labelled value of the others.
wanted = {
    'fahrenheit': {'-60', '-40', '-20', '0', '20', '40', '60', '80', '100', '120', '-59', '68'},
    'celsius': {'-50', '-40', '-30', '-20', '-10', '0', '10', '20', '30', '40', '50', '24', '25'},
    'millibars': {str(v) for v in range(940, 1061, 10)} | {'964', '966', '1014'},
}
for face, labels in faces.items():
    print('// %s: %d ticks' % (face, len(labels)))
    rows = positions(labels)
    for j, label, x, y in rows:
        keep = face not in wanted or label in wanted[face] or j in (0, len(rows) - 1)
        if keep:
            print('{"%s", %d, "%s", %.9gf, %.9gf},' % (face, j, label, x, y))
