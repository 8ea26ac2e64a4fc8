#!/usr/bin/env python3
"""Writes the images the fixture NWS serves: forecast and observation icons (PNG), the radar
layers of the fixture locations' radar sites (GIF, the terrain layer JPEG) into
tests/fixtures/nws. Plain Python, no imaging library; the output is the same on every run."""

import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "nws")

MEDIUM_ICONS = ["bkn", "nra30", "tsra40", "nfew", "skc", "nskc", "nsn70", "sn20", "nsct", "sct",
                "shra30", "nbkn", "few"]
SMALL_ICONS = ["bkn", "ovc", "sn", "few"]
RADAR_SITES = ["AMA", "FTG", "AMX"]  # the first site listed for Texas, Colorado and Florida


def write(path, data):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as out:
        out.write(data)


def png(width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width))
                    for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def lzw(indices, min_code_size):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {(i,): i for i in range(clear)}
    next_code, size = end + 1, min_code_size + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    current = ()
    for index in indices:
        candidate = current + (index,)
        if candidate in table:
            current = candidate
            continue
        emit(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code, size = end + 1, min_code_size + 1
        current = (index,)
    emit(table[current])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(width, height, palette, pixel):
    """A palette of 256 (r, g, b); pixel(x, y) -> index; index 0 is transparent."""
    palette = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    data = lzw([pixel(x, y) for y in range(height) for x in range(width)], 8)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255))
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0) +
            b"".join(bytes(c) for c in palette) +
            b"\x21\xF9\x04\x01\x00\x00\x00\x00" +  # index 0 transparent
            b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x08" + blocks +
            b"\x00\x3B")


def grey_jpeg(width, height):
    """A baseline JPEG of one even grey: every block has a DC difference and no AC terms, so
    both Huffman tables need only one one-bit code."""
    def segment(marker, body):
        return b"\xFF" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    scan = bytes((blocks * 2 + 7) // 8)  # a "0" DC code and a "0" end-of-block code per block
    return (b"\xFF\xD8" +
            segment(0xDB, b"\x00" + b"\x01" * 64) +
            segment(0xC0, struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00") +
            segment(0xC4, b"\x00" + b"\x01" + b"\x00" * 15 + b"\x00") +
            segment(0xC4, b"\x10" + b"\x01" + b"\x00" * 15 + b"\x00") +
            segment(0xDA, b"\x01\x01\x00\x00\x3F\x00") + scan + b"\xFF\xD9")


def icon(name, size):
    seed = zlib.crc32(name.encode())
    sky = (40 + seed % 60, 80 + (seed >> 8) % 80, 150 + (seed >> 16) % 100, 255)
    night = name.startswith("n")
    disc = (230, 230, 210, 255) if night else (250, 210, 40, 255)
    centre, radius = size / 2.0, size / 4.0

    def pixel(x, y):
        inside = (x - centre) ** 2 + (y - centre) ** 2 <= radius ** 2
        return disc if inside else sky
    return png(size, size, pixel)


def radar_layers(site):
    width, height = 600, 550
    seed = zlib.crc32(site.encode())
    cx, cy = 200 + seed % 200, 180 + (seed >> 8) % 200
    echo = [(0, 0, 0), (4, 233, 231), (1, 159, 244), (2, 253, 2), (1, 197, 1), (253, 248, 2)]

    def echo_pixel(x, y):
        ring = int((((x - cx) ** 2 + ((y - cy) * 1.6) ** 2) ** 0.5) // 25)
        return max(0, 5 - ring)

    white = [(0, 0, 0), (200, 200, 200)]
    layers = {
        "ridge/RadarImg/NCR/%s_NCR_0.gif" % site: gif(width, height, echo, echo_pixel),
        "ridge/Overlays/County/Short/%s_County_Short.gif" % site:
            gif(width, height, white, lambda x, y: 1 if x % 97 == 0 or y % 89 == 0 else 0),
        "ridge/Overlays/Cities/Short/%s_City_Short.gif" % site:
            gif(width, height, [(0, 0, 0), (255, 255, 255)],
                lambda x, y: 1 if (x // 4) % 37 == 5 and (y // 4) % 29 == 7 else 0),
        "ridge/Overlays/Highways/Short/%s_Highways_Short.gif" % site:
            gif(width, height, [(0, 0, 0), (160, 60, 40)],
                lambda x, y: 1 if abs(x - y) < 2 or abs(x + y - 600) < 2 else 0),
        "ridge/Warnings/Short/%s_Warnings_0.gif" % site:
            gif(width, height, [(0, 0, 0), (255, 0, 0)],
                lambda x, y: 1 if (x in (cx - 60, cx + 60) and abs(y - cy) <= 40) or
                (y in (cy - 40, cy + 40) and abs(x - cx) <= 60) else 0),
        "ridge/Legend/NCR/%s_NCR_Legend_0.gif" % site:
            gif(width, height, echo, lambda x, y: 1 + x * 5 // width if y >= height - 12 else 0),
        "ridge/Overlays/Topo/Short/%s_Topo_Short.jpg" % site: grey_jpeg(width, height),
    }
    return layers


def main():
    for name in MEDIUM_ICONS:
        write("images/wtf/medium/%s.png" % name, icon(name, 55))
    for name in SMALL_ICONS:
        write("images/wtf/small/%s.png" % name, icon(name, 40))
    for site in RADAR_SITES:
        for path, data in radar_layers(site).items():
            write(path, data)


if __name__ == "__main__":
    main()
