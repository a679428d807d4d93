"""Drives the editor's windows, file choosers, popup menus and alerts on an X
display with xdotool, as a user at the keyboard and mouse would.

The editor shows JUCE's own file dialog (not the desktop's), so every dialog
looks and answers the same everywhere:
- the dialog is a window named after the chooser's title, with an editable
  "file:" box near its bottom; a full path typed there and confirmed with
  Return twice (the first moves the dialog to the file's folder, the second
  takes the file) chooses that file; Escape cancels;
- saving over an existing file asks first, in a window "File already exists",
  whose Return answers "Overwrite" and Escape "Cancel";
- a popup menu is a window named "menu": a click on an item picks it (one on
  a disabled item does nothing), Escape dismisses it;
- an alert is a window named after its title whose one button answers Return.
Every wait has a deadline and fails with what it waited for.
"""
import re
import subprocess
import time

DEFAULT_TIMEOUT = 20.0
MENU_BORDER = 2   # pixels round the items of a popup menu
MENU_GUARD_SECONDS = 0.35


class DriverError(AssertionError):
    pass


def xdotool(*args):
    result = subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True)
    return result.stdout.strip()


def wait_until(condition, what, timeout=DEFAULT_TIMEOUT, interval=0.05):
    """Polls `condition` until it gives something true and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise DriverError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def windows_named(name):
    """The visible windows whose name is exactly `name`."""
    found = xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(name))
    return found.split() if found else []


def wait_for_window(name, timeout=DEFAULT_TIMEOUT):
    return wait_until(lambda: windows_named(name), "a window %r" % name, timeout)[0]


def wait_for_no_window(name, timeout=DEFAULT_TIMEOUT):
    wait_until(lambda: not windows_named(name), "the window %r to close" % name, timeout)


def geometry(window):
    """(x, y, width, height) of a window on the screen."""
    values = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split("\n")
                  if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def wait_for_focus(window, timeout=DEFAULT_TIMEOUT):
    wait_until(lambda: xdotool("getwindowfocus") == window, "window %s to take the focus" % window, timeout)


def focus(window, timeout=DEFAULT_TIMEOUT):
    """Gives the window the keyboard, as a click on its title strip does."""
    if xdotool("getwindowfocus") != window:
        _, _, width, _ = geometry(window)
        click_in(window, width / 2, 8)
    wait_for_focus(window, timeout)


def click_in(window, x, y):
    """One left click at (x, y) inside the window."""
    xdotool("mousemove", "--window", window, int(x), int(y), "click", "1")


def key(*names):
    for name in names:
        xdotool("key", name)
        time.sleep(0.05)


def type_text(text):
    xdotool("type", "--delay", "5", text)


def choose_file(title, path, timeout=DEFAULT_TIMEOUT):
    """Answers the file dialog `title` with `path` (absolute)."""
    dialog = wait_for_window(title, timeout)
    _, _, width, height = geometry(dialog)
    click_in(dialog, width / 2, height - 65)   # the "file:" box
    wait_for_focus(dialog, timeout)
    key("ctrl+a")
    type_text(path)
    key("Return")
    key("Return")


def cancel_dialog(title, timeout=DEFAULT_TIMEOUT):
    dialog = wait_for_window(title, timeout)
    focus(dialog, timeout)
    key("Escape")
    wait_for_no_window(title, timeout)


def answer_overwrite(overwrite=True, timeout=DEFAULT_TIMEOUT):
    """Answers the question before a save replaces an existing file."""
    answer_alert("File already exists", "Return" if overwrite else "Escape", timeout)


def answer_alert(title, key_name="Return", timeout=DEFAULT_TIMEOUT):
    alert = wait_for_window(title, timeout)
    focus(alert, timeout)
    key(key_name)
    wait_until(lambda: alert not in windows_named(title), "the alert %r to close" % title, timeout)


def pick_menu_item(position, count, timeout=DEFAULT_TIMEOUT):
    """Clicks the `position`-th of the popup menu's `count` items (from 1).

    A menu opens under the mouse, which highlights whatever item it rests on,
    so the arrow keys would start from an item nobody chose: the item is
    clicked instead. Plain items share one height inside a thin border."""
    menu = wait_for_window("menu", timeout)
    opened = time.monotonic()
    _, _, width, height = geometry(menu)
    item_height = (height - 2 * MENU_BORDER) / count
    xdotool("mousemove", "--window", menu, int(width / 2), int(MENU_BORDER + (position - 0.5) * item_height))
    # A menu takes no click in its first quarter of a second: that would be
    # the release of the click that opened it.
    time.sleep(max(0.0, opened + MENU_GUARD_SECONDS - time.monotonic()))
    xdotool("click", "1")
    wait_for_no_window("menu", timeout)


def dismiss_menu(timeout=DEFAULT_TIMEOUT):
    wait_for_window("menu", timeout)
    key("Escape")
    wait_for_no_window("menu", timeout)


def screenshot(path, window="root"):
    subprocess.run(["import", "-window", str(window), path], check=False)
