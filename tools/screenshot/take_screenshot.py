#!/usr/bin/env python3
"""Takes the README's screenshots with the fixture NWS's data.

Runs, each on its own: a virtual X screen of exactly the window's size (Xvfb, whose screen is
kept in a file in XWD form), the fixture NWS on a free port, and the program with a fresh
profile whose current location is Austin, TX (78701). Once the program has logged that it is
ready and the screen has settled, the screen is written as main-window.png; then a click on
the alert indicator opens the alert page (alert-page.png), and a click on the banner opens the
options dialog, shown on its Alerts page (options-dialog.png). Clicks go through the X server's
XTEST extension (libXtst, which Xvfb has).

Usage: tools/screenshot/take_screenshot.py [build folder] [output folder]
       (defaults: build, docs). Needs Xvfb (package xvfb) and a built tree.
Python 3 standard library only.
"""
import ctypes
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WIDTH, HEIGHT = 800, 650  # the main window's size: it fills the screen

INI = """[General]
ALL_LOCATIONS=78701, TXC453, KATT, Austin Camp Mabry, EWX, Austin/San Antonio, "Austin, TX"
CURRENT_LOCATION="Austin, TX"
PLAY_SOUNDS=false
SOUND_ALERT=false
"""


def read_xwd(data):
    """(width, height, rows of RGB bytes) of a 24/32-bit true-colour XWD image."""
    header_size, _version, _format, depth, width, height = struct.unpack(">6I", data[:24])
    fields = struct.unpack(">25I", data[:100])
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if depth < 24 or bits_per_pixel != 32:
        raise ValueError("unexpected XWD format: depth %d, %d bits" % (depth, bits_per_pixel))
    pixels = data[header_size + ncolors * 12:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * 4]
        row = bytearray()
        for x in range(width):
            b0, b1, b2, b3 = line[4 * x:4 * x + 4]
            # 0x00RRGGBB in the server's byte order
            row += bytes((b2, b1, b0)) if byte_order == 0 else bytes((b1, b2, b3))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(png)


# Where to click, on the 800x650 screen the window fills.
ALERT_INDICATOR = (566, 221)
BANNER = (210, 22)
# The options dialog (600x500) is centred on the main window; its page list's "Alerts" item.
ALERTS_ITEM = (150, 182)


class Pointer:
    """Moves the pointer and clicks the left button on one X display, through XTEST."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for function in (self.x11.XFlush, self.x11.XCloseDisplay):
            function.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display %s" % display)

    def click(self, point):
        self.xtst.XTestFakeMotionEvent(self.display, -1, point[0], point[1], 0)
        self.x11.XFlush(self.display)
        time.sleep(0.3)
        for pressed in (1, 0):
            self.xtst.XTestFakeButtonEvent(self.display, 1, pressed, 0)
            self.x11.XFlush(self.display)
            time.sleep(0.1)

    def park(self):
        """Out of the way of everything, so that nothing shows a hover look."""
        self.xtst.XTestFakeMotionEvent(self.display, -1, 799, 440, 0)
        self.x11.XFlush(self.display)

    def close(self):
        self.x11.XCloseDisplay(self.display)


def settled_screen(screen_file, keep_blink=False):
    """The screen once two reads a second apart agree."""
    previous = None
    for _ in range(30):
        time.sleep(1.0)
        with open(screen_file, "rb") as f:
            current = f.read()
        if current == previous:
            break
        previous = current
    if keep_blink:
        # A new alert blinks (600 ms on, 600 ms off): of a few more frames, keep one that
        # shows what the settled frame lacks, if any.
        for _ in range(8):
            time.sleep(0.25)
            with open(screen_file, "rb") as f:
                frame = f.read()
            if frame != current:
                current = frame
                break
    return current


def save_screen(data, output):
    width, height, rows = read_xwd(data)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    write_png(output, width, height, rows)
    print("wrote %s (%dx%d)" % (output, width, height))


def wait_for_line(stream, needle, timeout):
    deadline = time.time() + timeout
    seen = []
    while time.time() < deadline:
        line = stream.readline()
        if not line:
            time.sleep(0.05)
            continue
        seen.append(line)
        if needle in line:
            return line
    raise RuntimeError("gave up waiting for %r; saw:\n%s" % (needle, "".join(seen[-20:])))


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    folder = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "docs")
    program = os.path.join(build, "app", "Ombrix")
    fixture = os.path.join(build, "tests", "tools", "fixture_nws")
    for path in (program, fixture):
        if not os.access(path, os.X_OK):
            sys.exit("%s is missing: build the project first (./test.sh)" % path)

    work = tempfile.mkdtemp(prefix="ombrix-shot-")
    processes = []
    try:
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT),
             "-fbdir", work, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        processes.append(server)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            display = ":" + pipe.readline().strip()

        nws = subprocess.Popen([fixture, "--port", "0"], stdout=subprocess.PIPE, text=True)
        processes.append(nws)
        host = wait_for_line(nws.stdout, "listening on", 20).split()[-1]

        os.makedirs(os.path.join(work, "config", "Ombrix"))
        with open(os.path.join(work, "config", "Ombrix", "Ombrix.ini"), "w") as ini:
            ini.write(INI)
        env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(work, "config"))
        for service in ("NWS", "FORECAST", "ALERTS", "RADAR", "HOME"):
            env["OMBRIX_%s_HOST" % service] = host
        env.pop("WAYLAND_DISPLAY", None)
        env["QT_QPA_PLATFORM"] = "xcb"
        app = subprocess.Popen([program], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
        processes.append(app)
        wait_for_line(app.stdout, "Alert Update> completed", 60)

        screen_file = os.path.join(work, "Xvfb_screen0")
        pointer = Pointer(display)
        try:
            pointer.park()
            save_screen(settled_screen(screen_file, keep_blink=True),
                        os.path.join(folder, "main-window.png"))
            pointer.click(ALERT_INDICATOR)
            pointer.park()
            save_screen(settled_screen(screen_file), os.path.join(folder, "alert-page.png"))
            pointer.click(BANNER)
            time.sleep(2.0)
            pointer.click(ALERTS_ITEM)
            pointer.park()
            save_screen(settled_screen(screen_file), os.path.join(folder, "options-dialog.png"))
        finally:
            pointer.close()
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
