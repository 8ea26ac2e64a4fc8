#!/usr/bin/env python3
"""Takes the README's screenshots with the fixture NWS's data.

Runs, each on its own: a virtual X screen of exactly the window's size (Xvfb, whose screen is
kept in a file in XWD form), the fixture NWS on a free port, and the program twice. First with
a fresh profile whose current location is Austin, TX (78701): once the program has logged that
it is ready and the screen has settled, the screen is written as main-window.png; the pointer
then rests on the first forecast card's text until its tool tip shows (forecast-tooltip.png); a
click on the alert indicator opens the alert page, whose fixture alert has a long summary with
characters beyond ASCII (alert-page.png); a click on the banner opens the options dialog, and a
click on each page's item shows it (options-location.png, options-dialog.png for the Alerts
page, options-sounds.png, options-update.png, options-about.png). Then with an empty profile,
as at the first start: the banner opens the dialog on its Location page, and its close button
is clicked without a location chosen, which shows the page's notice (first-run-close.png).
Clicks go through the X server's XTEST extension (libXtst, which Xvfb has).

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
import threading
import time
import zlib

WIDTH, HEIGHT = 800, 650  # the main window's size: it fills the screen

INI = """[General]
ALL_LOCATIONS=78701, TXC453, KATT, Austin Camp Mabry, EWX, Austin/San Antonio, "Austin, TX"
CURRENT_LOCATION="Austin, TX"
PLAY_SOUNDS=false
SOUND_ALERT=true
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
# The text of the first forecast card, and an empty part of the forecast panel.
FORECAST_TEXT = (240, 395)
EMPTY_SPOT = (480, 570)
# The options dialog (600x500) is centred on the main window: its page list's items, top to
# bottom, with the picture each page goes to, and its close button.
PAGE_ITEMS = [((150, 144), "options-location.png"), ((150, 182), "options-dialog.png"),
              ((150, 220), "options-sounds.png"), ((150, 258), "options-update.png"),
              ((150, 296), "options-about.png")]
DIALOG_CLOSE = (630, 98)


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

    def move(self, point):
        self.xtst.XTestFakeMotionEvent(self.display, -1, point[0], point[1], 0)
        self.x11.XFlush(self.display)

    def click(self, point):
        self.move(point)
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


def drain(stream):
    """Reads a child's output away in the background, so that a full pipe never stops it."""
    threading.Thread(target=lambda: [None for _ in stream], daemon=True).start()


def start_program(program, display, host, work, profile, ini):
    config = os.path.join(work, profile)
    os.makedirs(os.path.join(config, "Ombrix"))
    if ini is not None:
        with open(os.path.join(config, "Ombrix", "Ombrix.ini"), "w") as out:
            out.write(ini)
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=config)
    for service in ("NWS", "FORECAST", "ALERTS", "RADAR", "HOME"):
        env["OMBRIX_%s_HOST" % service] = host
    env.pop("WAYLAND_DISPLAY", None)
    env["QT_QPA_PLATFORM"] = "xcb"
    return subprocess.Popen([program], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)


def stop(process):
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


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
        drain(nws.stdout)
        screen_file = os.path.join(work, "Xvfb_screen0")

        def shot(name, **kwargs):
            save_screen(settled_screen(screen_file, **kwargs), os.path.join(folder, name))

        app = start_program(program, display, host, work, "config", INI)
        processes.append(app)
        wait_for_line(app.stdout, "Alert Update> completed", 60)
        drain(app.stdout)
        pointer = Pointer(display)
        try:
            pointer.park()
            shot("main-window.png", keep_blink=True)
            # Qt shows a tool tip once the pointer has rested on the widget for a moment, in
            # the active window: a click on an empty part of the window makes it so.
            pointer.click(EMPTY_SPOT)
            pointer.move(FORECAST_TEXT)
            time.sleep(0.3)
            pointer.move((FORECAST_TEXT[0] + 2, FORECAST_TEXT[1]))
            time.sleep(1.5)
            shot("forecast-tooltip.png")
            pointer.park()
            time.sleep(1.0)
            pointer.click(ALERT_INDICATOR)
            pointer.park()
            shot("alert-page.png")
            pointer.click(BANNER)
            time.sleep(2.0)
            for item, name in PAGE_ITEMS:
                pointer.click(item)
                pointer.park()
                shot(name)
        finally:
            pointer.close()
        stop(app)
        processes.remove(app)

        # The first start: no location yet.
        app = start_program(program, display, host, work, "first-run", None)
        processes.append(app)
        wait_for_line(app.stdout, "Ombrix init complete.", 60)
        drain(app.stdout)
        pointer = Pointer(display)
        try:
            pointer.park()
            settled_screen(screen_file)
            pointer.click(BANNER)
            time.sleep(2.0)
            pointer.click(DIALOG_CLOSE)
            pointer.park()
            shot("first-run-close.png")
        finally:
            pointer.close()
    finally:
        for process in reversed(processes):
            stop(process)
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
