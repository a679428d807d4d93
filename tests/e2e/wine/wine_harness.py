"""Runs the Windows program of the cross build under Wine, the way
editor_harness.py runs the Linux one: on an X display of its own, in a Wine
prefix of its own inside the build folder, with the virtual unit's hidapi.dll
beside a copy of the program and its control port on 127.0.0.1.

What differs from the Linux runs, and lives here:
- the program runs as `wine PROGRAM`; every Wine process of one prefix shares
  one server, which must see the same display, so the server is started
  first, on the test's display, with its output away from the test's pipes;
- the shim's control channel is a TCP port, not a Unix socket;
- the file dialogs are Wine's own (comdlg32): a window named after the
  dialog's title that opens with the keyboard in its file-name box, where a
  full path typed as Z:\\... and Return choose the file;
- a program that crashes ends with status 5 (the prefix shows no crash
  dialog), which the runs report as a crash.
"""
import os
import shutil
import socket
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "harness"))
import xdriver  # noqa: E402
from editor_harness import Bus, Editor, Failure, wait_until  # noqa: E402

CRASH_STATUS = 5
DIALOG_TIMEOUT = 30


def find_wine():
    missing = [tool for tool in ("wine", "wineserver") if shutil.which(tool) is None]
    if missing:
        raise Failure("missing tools: " + ", ".join(missing))


def quiet(command, env, check=True, output=False):
    """Runs a Wine tool; its output is read only when asked for (`output`),
    never before the prefix's helper processes run: they would keep the pipe."""
    result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE if output else subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, text=True)
    if check and result.returncode != 0:
        raise Failure("%s ended with status %d" % (" ".join(command), result.returncode))
    return result.stdout


class WinePrefix:
    """A prefix of the test's own (made once by PREFIX_SCRIPT) and its server,
    running on `display` until close()."""

    def __init__(self, path, prefix_script, display):
        self.path = path
        env = dict(os.environ)
        env.pop("WINEPATH", None)
        env.update({
            "WINEPREFIX": path,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree=;mshtml=",
            "DISPLAY": display.name,
        })
        self.env = env
        quiet([prefix_script, path], env)
        # A server of this prefix left by an earlier run that was cut short
        # would still see that run's display.
        quiet(["wineserver", "-k"], env, check=False)
        quiet(["wineserver", "-p"], env)
        self.running = True
        quiet(["wine", "cmd", "/c", "exit"], env)

    def unix_path(self, windows_path):
        return quiet(["wine", "winepath", "-u", windows_path], self.env, output=True).strip()

    def app_data(self):
        """The user's application-data folder, as a Linux path."""
        folder = quiet(["wine", "cmd", "/c", "echo", "%APPDATA%"], self.env, output=True).strip()
        if not folder or "%" in folder:
            raise Failure("Wine gave no application-data folder: %r" % folder)
        return self.unix_path(folder)

    def close(self):
        if self.running:
            quiet(["wineserver", "-k"], self.env, check=False)
            quiet(["wineserver", "-w"], self.env, check=False)
            self.running = False


def windows_path(path):
    """A Linux path as the program sees it: Wine's drive Z: is /."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TcpBus(Bus):
    """The control channel of the shim inside a Windows program: a TCP port."""

    def __init__(self, port, log=None):
        super().__init__(None, None)
        self.port = port
        self.log = log

    def connect(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=60)

    def wait_ready(self, timeout=60):
        def answers():
            if self.log and "vbus: no control socket" in self.log():
                raise Failure("the shim could not open its port %d" % self.port)
            try:
                self.command("list")
                return True
            except OSError:
                return False

        wait_until(answers, timeout, "the shim's control port %d" % self.port)


class WineEditor(Editor):
    """One run of a Windows program under Wine, with the Linux runs' X driving
    and log reading."""

    def __init__(self, program, prefix, display, port, log_path):
        self.env = dict(prefix.env, QUELLON_VBUS_PORT=str(port))
        self.env.pop("QUELLON_VBUS_INIT", None)
        self.display = display
        self.executable = program
        self.log_path = log_path
        self.log_file = open(log_path, "w")
        self.window = None
        self.started = time.monotonic()
        self.process = subprocess.Popen(["wine", program], env=self.env, cwd=os.path.dirname(program),
                                        stdin=subprocess.DEVNULL, stdout=self.log_file,
                                        stderr=subprocess.STDOUT)

    def wait_window(self, timeout=60):
        try:
            return super().wait_window(timeout)
        except Failure:
            self.explain_exit()
            raise

    def wait_exit(self, timeout=30):
        status = super().wait_exit(timeout)
        self.explain_exit()
        return status

    def explain_exit(self):
        if self.process.poll() == CRASH_STATUS:
            raise Failure("the program crashed under Wine (status %d); its log:\n%s"
                          % (CRASH_STATUS, self.log()[-3000:]))


def enter_file_name(title, path, timeout=DIALOG_TIMEOUT):
    """Types the Linux path `path` into Wine's file dialog `title` and
    confirms it; returns the dialog's window."""
    dialog = xdriver.wait_for_window(title, timeout)
    xdriver.wait_for_focus(dialog, timeout)
    # The file-name box has the keyboard and may hold a proposed name, which
    # Wine's edit box has no select-all key for.
    xdriver.key("End", "shift+Home")
    xdriver.xdotool("type", "--delay", "20", windows_path(path))
    xdriver.key("Return")
    return dialog


def choose_file(title, path, timeout=DIALOG_TIMEOUT):
    """Answers Wine's file dialog `title` with the Linux path `path`."""
    enter_file_name(title, path, timeout)
    xdriver.wait_for_no_window(title, timeout)


def wait_replace_question(title, dialog, timeout=DIALOG_TIMEOUT):
    """The question a save dialog asks before it replaces a file: a second
    window of the same title, which takes the keyboard with "Yes" chosen."""
    question = wait_until(lambda: [w for w in xdriver.windows_named(title) if w != dialog], timeout,
                          "Wine's question before a file is replaced")[0]
    xdriver.wait_for_focus(question, timeout)
    return question


def replace_file(title, timeout=DIALOG_TIMEOUT):
    """Answers the question with "Yes"; the dialog closes with it."""
    xdriver.key("Return")
    xdriver.wait_for_no_window(title, timeout)
