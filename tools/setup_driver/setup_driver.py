"""Drives the real corvane-setup window as a person would: an X display (Xvfb with a window
manager), clicks at the page's controls through xdotool, screenshots through ImageMagick, and
the colours of the screenshot to tell which screen shows. Used by the end-to-end test and the
demo. Standard library only."""

import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time

import screen_probe

# The page's base layouts in CSS pixels; the window is the base size times the zoom.
INSTALL_BASE = (1000, 730)
UNINSTALL_BASE = (675, 534)

# Controls in CSS pixels of the base layout: where to click (the centre) and where to look for
# the button's own colour (inside it, clear of its label).
INSTALL_BUTTON = (808, 658)      # "Начать установку клиента"
INSTALL_BUTTON_FILL = (680, 658)
CONTINUE_BUTTON = (500, 479)     # "Продолжить" on the success screen
CONTINUE_BUTTON_FILL = (418, 470)
UNINSTALL_ACTION = (513, 482)    # "Подтвердить и удалить", later "Закрыть"
UNINSTALL_ACTION_FILL = (410, 470)
MINIMIZE_CONTROL = (900, 58)
INSTALL_FOLDER_FIELD = (300, 498)  # the install folder's path field: opens the folder dialog
HERO_BACKGROUND = (560, 90)      # a bare spot of the hero: a press there moves the window


class Checks:
    """Named checks of a test script: each prints ok or FAIL as it goes, and the failures are
    counted for the script's exit code."""

    def __init__(self):
        self.failures = []

    def __call__(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures.append(what)
        return condition

    def summary(self):
        """Prints the outcome; the exit code of the script (0 when every check held)."""
        print(f"{len(self.failures)} failed" if self.failures else "all checks passed", flush=True)
        return 1 if self.failures else 0


def wait_for(predicate, timeout, step=0.1):
    """Polls `predicate` until it holds or `timeout` seconds pass; its last answer."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


class Display:
    """An Xvfb display of its own with openbox as its window manager. `dpi` other than 96 sets the
    desktop's font resolution (the Xft.dpi resource), as a desktop at 125 % (120) or 150 % (144)
    does on X11."""

    def __init__(self, width=1920, height=1080, dpi=96):
        self.size = (width, height)
        self.dpi = dpi
        read_fd, write_fd = os.pipe()
        # -noreset: the server keeps its root properties when a short-lived client disconnects.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"
        self.env = dict(os.environ, DISPLAY=self.name)
        self.env.pop("WAYLAND_DISPLAY", None)
        if dpi != 96:
            run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", f"Xft.dpi:\t{dpi}\n"],
                env=self.env)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Windows mapped before the window manager runs are placed and focused by nobody (slow on a
        # cold machine): wait until it has announced itself on the root window.
        if not wait_for(self._wm_running, 20, 0.05):
            raise RuntimeError("openbox did not start")
        # The pointer starts in the screen's centre, over any centred window: park it in a corner,
        # where it neither hovers over the page nor shows in what is sampled of the window.
        self.xdotool("mousemove", "--sync", "0", "0")

    def _wm_running(self):
        answer = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                                capture_output=True, text=True).stdout
        return "window id" in answer

    def close(self):
        for process in (self.wm, self.xvfb):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout

    def screenshot(self, path):
        run(["import", "-window", "root", path], env=self.env)

    def pixel(self, path, x, y):
        """The colour at (x, y) of a screenshot as an (r, g, b) tuple."""
        text = run(["convert", path, "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],%[fx:int(255*p{{{x},{y}}}.g)],"
                    f"%[fx:int(255*p{{{x},{y}}}.b)]", "info:-"])
        return tuple(int(v) for v in text.strip().split(","))

    def visible_window(self, title="Corvane"):
        """Geometry (x, y, width, height) and id of the visible top-level window with that title."""
        ids = self.xdotool("search", "--onlyvisible", "--name", f"^{title}$").split()
        for window in ids:
            shell = self.xdotool("getwindowgeometry", "--shell", window)
            values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
            width, height = int(values.get("WIDTH", 0)), int(values.get("HEIGHT", 0))
            if width > 100 and height > 100:
                return (int(values["X"]), int(values["Y"]), width, height), window
        return None, None

    def type_text(self, text):
        self.xdotool("type", "--delay", "20", text)

    def key(self, *keys):
        self.xdotool("key", *keys)

    def activate(self, window, timeout=5):
        """Gives `window` the keyboard focus (through the window manager) and waits until it has
        it: keys sent to a window that has just been mapped may otherwise go elsewhere."""
        self.xdotool("windowactivate", "--sync", window)
        return wait_for(lambda: self.xdotool("getwindowfocus").strip() == str(window), timeout, 0.05)

    def wait_window(self, timeout, title="Corvane"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            geometry, window = self.visible_window(title)
            if geometry:
                return geometry, window
            time.sleep(0.05)
        return None, None


def wait_painted(display, timeout, title="Corvane"):
    """Waits until the window of that title is seen with its page painted in it: a mapped window
    may still be cloaked, or show only its flat background. Its geometry and id, or (None, None)."""
    screen = screen_probe.XScreen(display.name)
    try:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            geometry, window = display.visible_window(title)
            if geometry:
                rows = screen.strips(geometry)
                pixels = len(rows[0]) // 4
                # At least 3 of the sampled rows hold more than one colour.
                if sum(1 for row in rows if row != row[:4] * pixels) >= 3:
                    return geometry, window
            time.sleep(0.05)
        return None, None
    finally:
        screen.close()


def window_size(work_area, base, dpi=96):
    """The setup window's size on a work area (width, height) at a DPI: the page at most at 120 %
    and within 92 % of the work area, at the DPI's scale (the setup's own rule)."""
    scale = dpi / 96.0
    zoom = min(1.2, work_area[0] * 0.92 / (base[0] * scale), work_area[1] * 0.92 / (base[1] * scale))
    return round_half_away(base[0] * scale * zoom), round_half_away(base[1] * scale * zoom)


def round_half_away(value):
    return int(value + 0.5) if value >= 0 else -int(-value + 0.5)


class PageWindow:
    """A visible setup window and the page laid out in it."""

    def __init__(self, display, geometry, window, base):
        self.display = display
        self.geometry = geometry
        self.window = window
        self.zoom = geometry[2] / base[0]

    def point(self, css):
        x, y, _, _ = self.geometry
        return round(x + css[0] * self.zoom), round(y + css[1] * self.zoom)

    def click(self, css):
        x, y = self.point(css)
        self.display.xdotool("mousemove", "--sync", str(x), str(y))
        time.sleep(0.15)
        self.display.xdotool("click", "1")

    def colour_at(self, css, shot):
        self.display.screenshot(shot)
        return self.display.pixel(shot, *self.point(css))

    def wait_colour(self, css, predicate, timeout, shot):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            colour = self.colour_at(css, shot)
            if predicate(colour):
                return colour
            time.sleep(0.3)
        return None

    def drag_by(self, css, dx, dy):
        """Presses the primary button at `css`, moves the pointer by (dx, dy) screen pixels in
        steps, and releases it."""
        x, y = self.point(css)
        self.display.xdotool("mousemove", "--sync", str(x), str(y))
        self.display.xdotool("mousedown", "1")
        time.sleep(0.3)
        for step in range(1, 11):
            self.display.xdotool("mousemove", "--sync", str(x + dx * step // 10), str(y + dy * step // 10))
            time.sleep(0.03)
        self.display.xdotool("mouseup", "1")
        time.sleep(0.3)

    def close_from_window_manager(self):
        """Alt+F4 on the focused window: the window manager asks the window to close."""
        self.display.activate(self.window)
        self.display.xdotool("key", "alt+F4")


def is_red(c):
    return c[0] > 180 and c[1] < 90 and c[2] < 90


def is_green(c):
    return c[1] > 170 and c[0] < 140 and c[2] < 150


def is_button_grey(c):
    """The neutral button (#222), told apart from the window's own background (#0d0d0d)."""
    return 26 <= min(c) and max(c) <= 60 and max(c) - min(c) < 8


def pss_kib(pid):
    """Proportional set size of one process, from /proc/PID/smaps_rollup."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as rollup:
            for line in rollup:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def process_tree(root_pid):
    """The pid and every descendant pid of root_pid."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except OSError:
            continue
    tree, todo = [], [root_pid]
    while todo:
        pid = todo.pop()
        tree.append(pid)
        todo.extend(children.get(pid, []))
    return tree


class PeakMemory:
    """Samples the summed PSS of a process and its descendants every 200 ms; `peak_kib` is the
    largest sum seen."""

    def __init__(self, pid):
        self.pid = pid
        self.peak_kib = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._sample, daemon=True)
        self._thread.start()

    def _sample(self):
        while not self._stop.is_set():
            self.peak_kib = max(self.peak_kib, sum(pss_kib(pid) for pid in process_tree(self.pid)))
            self._stop.wait(0.2)

    def stop(self):
        self._stop.set()
        self._thread.join()
        return self.peak_kib


class Sandbox:
    """A HOME, XDG folders and temporary folder of their own for one run of the setup, with a
    GTA V folder that the game locator finds through the Rockstar Games registry value."""

    def __init__(self, root=None):
        self.root = root or tempfile.mkdtemp(prefix="corvane-e2e-")
        self.home = os.path.join(self.root, "home")
        self.tmp = os.path.join(self.root, "tmp")
        self.data = os.path.join(self.home, ".local", "share")
        self.runtime = os.path.join(self.root, "runtime")
        self.game = os.path.join(self.root, "games", "Grand Theft Auto V")
        for folder in (self.home, self.tmp, self.data, self.runtime, self.game,
                       os.path.join(self.home, "Desktop")):
            os.makedirs(folder, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        open(os.path.join(self.game, "GTA5.exe"), "wb").close()
        # The registry store's layout: one folder per key (lower case), a "values" file of
        # "type<TAB>name<TAB>data" lines.
        key = os.path.join(self.data, "corvane", "registry", "hklm", "software", "wow6432node",
                           "rockstar games", "grand theft auto v")
        os.makedirs(key, exist_ok=True)
        with open(os.path.join(key, "values"), "w") as values:
            values.write(f"sz\tInstallFolder\t{self.game}\n")

    def env(self, display_env):
        env = dict(display_env)
        env.update(HOME=self.home, TMPDIR=self.tmp, XDG_DATA_HOME=self.data,
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"), XDG_RUNTIME_DIR=self.runtime,
                   XDG_DATA_DIRS=os.path.join(self.root, "share") + ":/usr/local/share:/usr/share",
                   ASAN_OPTIONS="detect_leaks=0", NO_AT_BRIDGE="1")
        return env

    def registry_values(self, root, path):
        folder = os.path.join(self.data, "corvane", "registry", root, *path.lower().split("\\"))
        result = {}
        try:
            with open(os.path.join(folder, "values")) as values:
                for line in values:
                    kind, name, data = line.rstrip("\n").split("\t", 2)
                    result[name] = (kind, data)
        except OSError:
            return None
        return result

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class TestCdn:
    """corvane-test-cdn serving a folder on the setup's configured loopback port."""

    def __init__(self, binary, root, port, rate=None, max_seconds=600):
        args = [binary, "--root", root, "--port", str(port), "--max-seconds", str(max_seconds)]
        if rate:
            args += ["--rate", str(rate)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        first = self.process.stdout.readline().split()
        if not first:
            raise RuntimeError(f"the test CDN did not start on port {port}")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
