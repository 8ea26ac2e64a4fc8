#!/usr/bin/env python3
"""Watches the virtual screen (Xvfb -fbdir) until the temperature gauge shows its read-out.

Usage: first_values.py SCREEN_FILE X Y DEADLINE_S
X, Y: the screen position of the gauge's top-left corner. Prints the CLOCK_REALTIME in
nanoseconds at which the middle of the gauge first held white read-out pixels, or nothing
when that did not happen before the deadline. Polls every 10 ms.
"""
import struct
import sys
import time


def white_readout_pixels(data, left, top):
    header_size = struct.unpack(">I", data[:4])[0]
    fields = struct.unpack(">25I", data[:100])
    byte_order, bytes_per_line, ncolors = fields[7], fields[12], fields[19]
    pixels = header_size + ncolors * 12
    count = 0
    # The read-out sits on the hub, in the middle of the 160-pixel gauge.
    for y in range(top + 70, top + 91):
        row = pixels + y * bytes_per_line
        for x in range(left + 64, left + 97):
            b0, b1, b2, b3 = data[row + 4 * x:row + 4 * x + 4]
            r, g, b = (b2, b1, b0) if byte_order == 0 else (b1, b2, b3)
            if r > 235 and g > 235 and b > 235:
                count += 1
    return count


def main():
    path, left, top, deadline = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
    end = time.time() + deadline
    while time.time() < end:
        with open(path, "rb") as f:
            data = f.read()
        if white_readout_pixels(data, left, top) > 15:
            print(time.time_ns())
            return
        time.sleep(0.01)


if __name__ == "__main__":
    main()
