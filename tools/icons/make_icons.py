#!/usr/bin/env python3
"""Makes the desktop icons from the program's own icon.

Reads resources/images/icon2.png (the 128 x 128 icon compiled into the program, drawn by
tools/images) and writes it in the hicolor theme's sizes to
resources/desktop/icons/hicolor/<N>x<N>/apps/org.example.ombrix.png, which the install rules
copy under share/icons. Smaller sizes average the pixels each new pixel covers; 256 is
interpolated; 128 is the icon itself. Colours are weighted by their opacity, so the transparent corners do not darken
the rim. Same bytes on every run; the outputs are committed.

Usage: tools/icons/make_icons.py [source png] [output folder]
Python 3 standard library only.
"""
import os
import shutil
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ICON_NAME = "org.example.ombrix.png"
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def read_png(path):
    """(width, height, rows of premultiplied [r, g, b, a] floats) of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        raise ValueError("%s: only 8-bit RGBA, non-interlaced PNG files are read" % path)
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            corner = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
        previous = line
        row = []
        for x in range(width):
            r, g, b, a = line[4 * x:4 * x + 4]
            f = a / 255.0
            row.append([r * f, g * f, b * f, float(a)])
        rows.append(row)
    return width, height, rows


def write_png(path, size, rows):
    """Writes premultiplied float pixels as an 8-bit RGBA PNG."""
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b, a in row:
            if a <= 0.0:
                raw += b"\x00\x00\x00\x00"
                continue
            scale = 255.0 / a
            raw += bytes(min(255, int(round(v * scale))) for v in (r, g, b))
            raw.append(min(255, int(round(a))))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(png)


def shrink(width, rows, size):
    """Each new pixel: the average of the source area it covers (a box filter)."""
    scale = width / size
    out = []
    for y in range(size):
        y0, y1 = y * scale, (y + 1) * scale
        row = []
        for x in range(size):
            x0, x1 = x * scale, (x + 1) * scale
            total, weight = [0.0, 0.0, 0.0, 0.0], 0.0
            for sy in range(int(y0), min(width, int(-(-y1 // 1)))):
                wy = min(y1, sy + 1) - max(y0, sy)
                for sx in range(int(x0), min(width, int(-(-x1 // 1)))):
                    w = wy * (min(x1, sx + 1) - max(x0, sx))
                    if w <= 0:
                        continue
                    pixel = rows[sy][sx]
                    for c in range(4):
                        total[c] += pixel[c] * w
                    weight += w
            row.append([v / weight for v in total])
        out.append(row)
    return out


def enlarge(width, rows, size):
    """Bilinear interpolation between the source pixels' centres."""
    scale = width / size
    out = []
    for y in range(size):
        fy = min(max((y + 0.5) * scale - 0.5, 0.0), width - 1.0)
        y0 = int(fy)
        y1, ty = min(y0 + 1, width - 1), fy - y0
        row = []
        for x in range(size):
            fx = min(max((x + 0.5) * scale - 0.5, 0.0), width - 1.0)
            x0 = int(fx)
            x1, tx = min(x0 + 1, width - 1), fx - x0
            a, b, c, d = rows[y0][x0], rows[y0][x1], rows[y1][x0], rows[y1][x1]
            row.append([(a[i] * (1 - tx) + b[i] * tx) * (1 - ty) +
                        (c[i] * (1 - tx) + d[i] * tx) * ty for i in range(4)])
        out.append(row)
    return out


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "resources", "images",
                                                                "icon2.png")
    folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "resources", "desktop",
                                                                "icons", "hicolor")
    width, height, rows = read_png(source)
    if width != height:
        sys.exit("%s is not square (%dx%d)" % (source, width, height))
    for size in SIZES:
        if size < width:
            pixels = shrink(width, rows, size)
        elif size > width:
            pixels = enlarge(width, rows, size)
        path = os.path.join(folder, "%dx%d" % (size, size), "apps", ICON_NAME)
        if size == width:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copyfile(source, path)
        else:
            write_png(path, size, pixels)
        print("wrote %s" % os.path.relpath(path, ROOT))


if __name__ == "__main__":
    main()
