"""Runs the real editor on a virtual X display with the hidapi shim preloaded,
drives it with xdotool and looks at it through screenshots. Shared by the
end-to-end tests and the measurements in bench/.

Only one editor may run on a machine at a time (the framework's own
single-instance lock lives in /var/tmp), so a run holds a lock file of its
own for as long as it has an editor up.
"""
import contextlib
import ctypes
import fcntl
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time

DESIGN_WIDTH = 640
DESIGN_HEIGHT = 426
LOCK_PATH = "/tmp/quellon-editor-e2e.lock"
INSTANCE_LOCK_PATH = "/var/tmp/juceAppLock_Quellon Editor"


class Failure(Exception):
    pass


_started = time.monotonic()


def step(text):
    """Prints a step of a test, with the seconds since the test began."""
    print("[%5.1f s] %s" % (time.monotonic() - _started, text), flush=True)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, timeout, what):
    """Polls `predicate` until it holds; a generous deadline, never a fixed sleep."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.02)


@contextlib.contextmanager
def editor_lock(timeout=900):
    """Waits for the machine-wide turn to run an editor: the lock of the test
    runs, then the framework's own lock, which an editor started by hand holds."""
    with open(LOCK_PATH, "a+") as lock_file:
        with contextlib.suppress(OSError):
            os.chmod(LOCK_PATH, 0o666)
        wait_until(lambda: _try_lock(lock_file), timeout, "the editor lock " + LOCK_PATH)
        try:
            wait_until(_no_editor_running, timeout, "the running editor to quit (" + INSTANCE_LOCK_PATH + ")")
            yield
        finally:
            fcntl.flock(lock_file, fcntl.LOCK_UN)


def _no_editor_running():
    """True when no process holds the framework's single-instance lock."""
    try:
        with open(INSTANCE_LOCK_PATH, "r+") as lock_file:
            try:
                fcntl.lockf(lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError:
                return False
            fcntl.lockf(lock_file, fcntl.LOCK_UN)
            return True
    except FileNotFoundError:
        return True
    except PermissionError:
        # Another user's lock file: it can only be tested by trying.
        return True


def _try_lock(lock_file):
    try:
        fcntl.flock(lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return True
    except BlockingIOError:
        return False


class Display:
    """An Xvfb server of our own on a free display number."""

    def __init__(self, width=1920, height=1040):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=20)


class Bus:
    """The shim's control socket: plugs units, reads what they received."""

    def __init__(self, client, socket_path):
        self.client = client
        self.socket_path = socket_path

    def wait_ready(self, timeout=30):
        subprocess.run([self.client, "-s", self.socket_path, "-w", str(timeout), "list"],
                       check=True, stdout=subprocess.DEVNULL)

    def connect(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.connect(self.socket_path)
        except OSError:
            s.close()
            raise
        return s

    def command(self, line):
        with self.connect() as s:
            s.sendall((line + "\n").encode())
            answer = b""
            while True:
                lines = answer.decode(errors="replace").split("\n")
                if "OK" in lines[:-1]:
                    return "\n".join(lines[:lines.index("OK")])
                for text in lines[:-1]:
                    if text.startswith("ERR"):
                        raise Failure("bus: %s: %s" % (line, text))
                chunk = s.recv(65536)
                if not chunk:
                    raise Failure("bus closed during: " + line)
                answer += chunk

    def frames(self, unit, mark=0):
        """The frames the unit received after its first `mark`, as byte strings."""
        result = []
        for text in self.command("frames %s from=%d" % (unit, mark + 1)).splitlines():
            _, hex_bytes = text.split(" ", 1)
            result.append(bytes.fromhex(hex_bytes))
        return result

    def status(self, unit):
        """The unit's settings and counters ("frames" counts what it received)."""
        return dict(line.split("=", 1) for line in self.command("status " + unit).splitlines())

    def set_parameter_frames(self, unit):
        """(parameter number, float) of each SET_PARAMETER frame, in order."""
        result = []
        for frame in self.frames(unit):
            if len(frame) == 10 and frame[0] == 0xC7 and frame[1] == 8:
                number, value = struct.unpack("<If", frame[2:10])
                result.append((number, value, frame[6:10]))
        return result


class SettingsWatch:
    """Counts the times the settings file is written (inotify)."""

    IN_CLOSE_WRITE = 0x8
    IN_MOVED_TO = 0x80

    def __init__(self, folder, name):
        os.makedirs(folder, exist_ok=True)
        self.name = name.encode()
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, folder.encode(),
                                                 self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise Failure("inotify: errno %d" % ctypes.get_errno())
        self.writes = 0

    def count(self):
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.writes
            offset = 0
            while offset < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0")
                offset += 16 + length
                if name == self.name:
                    self.writes += 1

    def close(self):
        os.close(self.fd)


class Editor:
    """One run of the editor with the shim preloaded, on `display`."""

    def __init__(self, executable, shim, display, home, socket_path, log_path, init=None, extra_env=None):
        # The tools that drive and watch the editor (xdotool, import) see its
        # display and nothing of the shim: a sanitizer build's shim needs the
        # runtime that only the editor carries.
        self.env = dict(os.environ)
        self.env.update({"DISPLAY": display.name, "HOME": home})
        for name in ("QUELLON_VBUS_SOCKET", "QUELLON_VBUS_INIT"):
            self.env.pop(name, None)
        env = dict(self.env)
        env.update({"LD_PRELOAD": shim, "QUELLON_VBUS_SOCKET": socket_path})
        if init:
            env["QUELLON_VBUS_INIT"] = init
        # Sanitizer builds: the runtime comes first, the shim after it.
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        env.update(extra_env or {})
        self.display = display
        self.executable = executable
        self.log_path = log_path
        self.log_file = open(log_path, "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen([executable], env=env, stdout=self.log_file,
                                        stderr=subprocess.STDOUT)
        self.window = None

    # -- the process and its log ------------------------------------------
    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def log_lines(self):
        return self.log().splitlines()

    def mark(self):
        """Where the log stands now; wait_log can look only at what follows."""
        return len(self.log())

    def wait_log(self, text, timeout=30, since=0):
        return wait_until(lambda: text in self.log()[since:], timeout, "%r in the editor's log" % text)

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the editor did not quit")

    def kill(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        self.log_file.close()

    # -- X -----------------------------------------------------------------
    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                                capture_output=True, text=True)
        if check and result.returncode != 0:
            raise Failure("xdotool %s: %s" % (" ".join(map(str, args)), result.stderr.strip()))
        return result.stdout

    def windows(self, name="Quellon Editor"):
        """The visible windows named `name` (a popup menu's window is named "menu")."""
        out = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % name, check=False)
        return out.split()

    def wait_window(self, timeout=60):
        def shown():
            if not self.alive():
                raise Failure("the editor ended before showing its window (status %s)" % self.process.returncode)
            return (self.windows() or [None])[0]

        self.window = wait_until(shown, timeout, "the editor's window")
        return self.window

    def geometry(self):
        out = self.xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def to_screen(self, x, y):
        """A point of the 640 x 426 design as a point on the screen."""
        left, top, width, _ = self.geometry()
        scale = width / DESIGN_WIDTH
        return int(round(left + x * scale)), int(round(top + y * scale))

    def move(self, x, y):
        self.xdotool("mousemove", *self.to_screen(x, y))

    def click(self, x, y, repeat=1):
        self.move(x, y)
        self.xdotool("click", "--repeat", repeat, "--delay", 80, 1)

    def drag(self, x, y, dy, steps=10):
        """Presses at (x, y), moves vertically by dy design pixels, releases."""
        left, top, width, _ = self.geometry()
        scale = width / DESIGN_WIDTH
        sx, sy = self.to_screen(x, y)
        self.xdotool("mousemove", sx, sy, "mousedown", 1)
        for i in range(1, steps + 1):
            self.xdotool("mousemove", sx, int(round(sy + dy * scale * i / steps)))
        self.xdotool("mouseup", 1)

    def key(self, *keys):
        self.xdotool("key", "--delay", 40, *keys)

    def type(self, text):
        self.xdotool("type", "--delay", 40, "--", text)

    # -- the screen --------------------------------------------------------
    def screenshot(self, path):
        """The window's area of the screen, as the user sees it (menus included)."""
        left, top, width, height = self.geometry()
        subprocess.run(["import", "-display", self.display.name, "-window", "root",
                        "-crop", "%dx%d+%d+%d" % (width, height, left, top), "+repage", path],
                       check=True)
        return path


class Picture:
    """A screenshot of the window, read in design coordinates."""

    def __init__(self, path):
        self.path = path
        out = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                             capture_output=True, text=True).stdout.split()
        self.scale = int(out[0]) / DESIGN_WIDTH

    def _box(self, x, y, w, h):
        s = self.scale
        return "%dx%d+%d+%d" % (max(1, int(w * s)), max(1, int(h * s)), int(x * s), int(y * s))

    def mean(self, x, y, w, h):
        """Mean brightness of a design rectangle, 0 to 1."""
        out = subprocess.run(["convert", self.path, "-crop", self._box(x, y, w, h), "+repage",
                              "-colorspace", "gray", "-format", "%[fx:mean]", "info:"],
                             check=True, capture_output=True, text=True).stdout
        return float(out)

    def max(self, x, y, w, h):
        """Brightest grey value of a design rectangle, 0 to 1."""
        out = subprocess.run(["convert", self.path, "-crop", self._box(x, y, w, h), "+repage",
                              "-colorspace", "gray", "-format", "%[fx:maxima]", "info:"],
                             check=True, capture_output=True, text=True).stdout
        return float(out)

    def pixel(self, x, y):
        """(r, g, b) of a design point, 0 to 255."""
        s = self.scale
        out = subprocess.run(["convert", self.path, "-format",
                              "%%[fx:int(255*p{%d,%d}.r)] %%[fx:int(255*p{%d,%d}.g)] %%[fx:int(255*p{%d,%d}.b)]"
                              % ((int(x * s), int(y * s)) * 3), "info:"],
                             check=True, capture_output=True, text=True).stdout.split()
        return tuple(int(v) for v in out)

    def is_white(self, x, y):
        return all(v >= 235 for v in self.pixel(x, y))

    def text(self, x, y, w, h):
        """The words of a design rectangle as OCR reads them, on one line,
        typographic quotes as plain ones."""
        with tempfile.TemporaryDirectory() as folder:
            page = os.path.join(folder, "text.png")
            subprocess.run(["convert", self.path, "-crop", self._box(x, y, w, h), "+repage", "-colorspace", "gray",
                            "-resize", "200%", "-negate", page], check=True)
            out = subprocess.run(["tesseract", page, "stdout"], check=True, capture_output=True, text=True).stdout
        return " ".join(out.replace("\u2018", "'").replace("\u2019", "'").split())


def find_tools():
    missing = [tool for tool in ("Xvfb", "xdotool", "import", "convert", "identify", "tesseract")
               if shutil.which(tool) is None]
    if missing:
        raise Failure("missing tools: " + ", ".join(missing))


def without_desktop_dialogs(folder):
    """Environment in which the editor finds neither zenity nor kdialog and so
    shows JUCE's own file dialog, which the tests drive. JUCE looks for them
    with `which`; a `which` of ours ahead on the PATH denies them."""
    tools = os.path.join(folder, "no-desktop-dialogs")
    os.makedirs(tools, exist_ok=True)
    which = os.path.join(tools, "which")
    with open(which, "w") as f:
        f.write('#!/bin/sh\ncase "$1" in zenity|kdialog) exit 1 ;; esac\nexec %s "$@"\n'
                % shutil.which("which"))
    os.chmod(which, 0o755)
    return {"PATH": tools + os.pathsep + os.environ.get("PATH", "")}


def temporary_folder():
    return tempfile.TemporaryDirectory(prefix="quellon-e2e-")
