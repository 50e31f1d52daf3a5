"""What a person would see of a window, sampled straight from the X server: the rectangle of the
screen where the window lies, read with XGetImage (libX11 through ctypes, a few milliseconds a
sample), compared with the same rectangle before the program started. Standard library only.

A sample is "hidden" when the rectangle still shows what was there before (the window is not on
screen, whatever its map state), "blank" when it shows one flat colour, and "painted" otherwise."""

import ctypes
import ctypes.util
import subprocess
import time


class _XImage(ctypes.Structure):
    # The leading members of Xlib's XImage, up to the pixel format.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


_ALL_PLANES = 0xFFFFFFFF
_Z_PIXMAP = 2


class XScreen:
    """One connection to an X display for reading the root window's pixels."""

    def __init__(self, display_name):
        self._x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self._x11.XOpenDisplay.restype = ctypes.c_void_p
        self._x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self._x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self._x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self._x11.XGetImage.restype = ctypes.POINTER(_XImage)
        self._x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self._x11.XFree.argtypes = [ctypes.c_void_p]
        self._x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._display = self._x11.XOpenDisplay(display_name.encode())
        if not self._display:
            raise RuntimeError(f"cannot open display {display_name}")
        self._root = self._x11.XDefaultRootWindow(self._display)

    def close(self):
        if self._display:
            self._x11.XCloseDisplay(self._display)
            self._display = None

    def rows(self, x, y, width, height):
        """The rectangle's pixels as a list of rows (bytes, 4 per pixel); a 32 bits per pixel
        screen is assumed (Xvfb at depth 24)."""
        image = self._x11.XGetImage(self._display, self._root, x, y, width, height, _ALL_PLANES, _Z_PIXMAP)
        if not image:
            raise RuntimeError("XGetImage failed")
        try:
            info = image.contents
            if info.bits_per_pixel != 32:
                raise RuntimeError(f"{info.bits_per_pixel} bits per pixel: only 32 is read")
            data = ctypes.string_at(info.data, info.bytes_per_line * info.height)
            stride, used = info.bytes_per_line, info.width * 4
            return [data[row * stride:row * stride + used] for row in range(info.height)]
        finally:
            self._x11.XFree(ctypes.cast(image.contents.data, ctypes.c_void_p))
            self._x11.XFree(image)

    def strips(self, box):
        """The sampled rows (strip_rows) of the rectangle box = (x, y, width, height)."""
        x, y, width, height = box
        return [self.rows(x, y + dy, width, 1)[0] for dy in strip_rows(height)]


HIDDEN, BLANK, PAINTED = "hidden", "blank", "painted"

# Rows of the window that are sampled: evenly spread, so a sample costs the X server and the
# machine next to nothing while the program under test starts.
STRIPS = 32


def strip_rows(height):
    """The window-relative y of each sampled row."""
    return [round((i + 0.5) * height / STRIPS) for i in range(STRIPS)]


def classify(rows, reference):
    """hidden, blank or painted, from the sampled rows of the window's rectangle and the same rows
    before the window existed. Visible: more than half the rows differ from before. Blank: at
    most one row holds more than one colour (a flat window, or one drawn only in part over what
    was there)."""
    changed = sum(1 for row, before in zip(rows, reference) if row != before)
    if changed * 2 <= len(rows):
        return HIDDEN
    pixels = len(rows[0]) // 4
    uneven = sum(1 for row in rows if row != row[:4] * pixels)
    return BLANK if uneven <= 1 else PAINTED


def window_geometry(env, title="Corvane"):
    """(x, y, width, height) of the largest mapped window with that exact title, or None. A mapped
    window may still be invisible (shaped away, covered): only the pixels tell."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=env,
                           capture_output=True, text=True).stdout.split()
    best = None
    for window in found:
        shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=env,
                               capture_output=True, text=True).stdout
        values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        try:
            box = (int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"]))
        except (KeyError, ValueError):
            continue
        if box[2] > 100 and box[3] > 100 and (best is None or box[2] * box[3] > best[2] * best[3]):
            best = box
    return best


class Timeline:
    """What was seen of the window from the start of its process: the time of the first visible
    sample, of the first painted one, and the longest time it was seen blank (visible but flat),
    counted up to the first sample after the blank ones: at worst a sample interval too long."""

    def __init__(self):
        self.visible = None
        self.painted = None
        self.longest_blank = 0.0
        self.samples = 0
        self._blank_since = None

    def add(self, at, state):
        self.samples += 1
        if state != HIDDEN and self.visible is None:
            self.visible = at
        if state == PAINTED and self.painted is None:
            self.painted = at
        if state == BLANK and self._blank_since is None:
            self._blank_since = at
        if self._blank_since is not None:
            self.longest_blank = max(self.longest_blank, at - self._blank_since)
            if state != BLANK:
                self._blank_since = None


def watch(display, started, alive, timeout=20.0, settle=1.5, title="Corvane"):
    """Samples the window of the program started at `started` (time.monotonic) until it has been
    painted for `settle` seconds, `timeout` seconds after the start, or alive() turns false.
    `display` is a setup_driver.Display whose screen still showed no window when the program
    started. Returns the Timeline."""
    screen = XScreen(display.name)
    width, height = display.size
    before = screen.rows(0, 0, width, height)
    timeline = Timeline()
    box, reference, state, looked_up = None, None, HIDDEN, 0.0
    try:
        while time.monotonic() - started < timeout and alive():
            # Until the window has been seen, look it up again now and then: a window gets its
            # place when it is mapped, and the window manager may still move it then.
            if state == HIDDEN and time.monotonic() - looked_up >= (0.05 if box is None else 0.25):
                looked_up = time.monotonic()
                found = window_geometry(display.env, title)
                if found is not None:
                    # Only the part that lies on the screen can be seen.
                    x0, y0 = max(found[0], 0), max(found[1], 0)
                    x1, y1 = min(found[0] + found[2], width), min(found[1] + found[3], height)
                    if x1 - x0 > 100 and y1 - y0 > 100:
                        box = (x0, y0, x1 - x0, y1 - y0)
                        reference = [before[y0 + dy][x0 * 4:x1 * 4] for dy in strip_rows(y1 - y0)]
            if box is not None:
                rows = screen.strips(box)
                at = time.monotonic() - started
                state = classify(rows, reference)
                timeline.add(at, state)
                if timeline.painted is not None and at - timeline.painted >= settle:
                    break
            time.sleep(0.015)
    finally:
        screen.close()
    return timeline
