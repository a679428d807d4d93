#!/usr/bin/env python3
"""The editor end to end, as a user meets it: the real program on a virtual X
display of its own, the hidapi shim preloaded in place of the USB bus, virtual
units plugged and unplugged through the shim's control socket, the mouse and
the keyboard driven with xdotool. What the units received is checked frame by
frame; the screen is checked at a few pixels and kept as screenshots, one per
step, for a person to look at.

usage: editor_e2e_test.py EDITOR SHIM VBUS_CLIENT SCREENSHOT_DIR
"""
import math
import os
import signal
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from editor_harness import (DESIGN_HEIGHT, Bus, Display, Editor, Failure, Picture, SettingsWatch,  # noqa: E402
                            check, editor_lock, find_tools, step, temporary_folder, wait_until)

editor_path, shim_path, client_path, shots_dir = sys.argv[1:5]

# Places on the 640 x 426 design (centres of the controls).
KNOB_LEVEL = (169, 211)       # parameter 0x200
LEVEL_LABEL = (385, 235)      # parameter 0x205, the value label
OUTPUTS_LABEL = (357, 195)    # parameter 0x208
CLOSE_BUTTON = (610, 30)
MAXIMISE_BUTTON = (538, 30)
MENU_TEXT = (14, 14, 60, 20)
CABINET_ROW = (299, 375, 315, 28)
FOOTER = (20, 404, 597, 16)
AMP_DOWN = (458, 140)         # on the line of parameter 0x204 at its default, AMP
AMP_UP = (458, 100)           # on the line of parameter 0x206 at its default, AMP

step_number = 0


def float_bits(value):
    return struct.pack("<f", value)


def shot(editor, name):
    global step_number
    step_number += 1
    path = os.path.join(shots_dir, "%02d-%s.png" % (step_number, name))
    editor.screenshot(path)
    print("  screenshot", path)
    return Picture(path)


def wait_picture(editor, name, predicate, what, timeout=20):
    """Screenshots until `predicate` holds for one; keeps the last."""
    def attempt():
        picture = Picture(editor.screenshot(os.path.join(shots_dir, "pending.png")))
        return picture if predicate(picture) else None

    wait_until(attempt, timeout, what)
    return shot(editor, name)


def overlay_hidden(picture):
    # With parameter 0x204 at AMP its routing line is white unless the overlay dims it.
    return picture.is_white(*AMP_DOWN)


def matching(read, predicate):
    """What `read` gives when `predicate` holds for it, else None."""
    value = read()
    return value if predicate(value) else None


def wait_frames(bus, unit, predicate, what, timeout=20):
    return wait_until(lambda: matching(lambda: bus.frames(unit), predicate), timeout, what)


def wait_set_parameter(bus, unit, predicate, what, timeout=20):
    return wait_until(lambda: matching(lambda: bus.set_parameter_frames(unit), predicate), timeout, what)


def refreshed(frames):
    return any(frame[:2] == b"\xce\x00" for frame in frames)


def expect_error_kept(editor, mark, name):
    """The error overlay stays over a few polls, and the unit is not opened
    again behind it. Nothing happens to wait for: the polls are let pass."""
    time.sleep(3.5)
    kept = wait_picture(editor, name, lambda p: p.max(*MENU_TEXT) < 0.9 and not overlay_hidden(p),
                        "the error overlay")
    check(editor.log()[mark:].count("DEBUG: connect") == 1, "the unit was opened again")
    check("letting it go" not in editor.log()[mark:], "the unit was let go")
    return kept


def run(work):
    os.makedirs(shots_dir, exist_ok=True)
    for old in os.listdir(shots_dir):
        if old.endswith(".png"):
            os.remove(os.path.join(shots_dir, old))

    home = os.path.join(work, "home")
    socket_path = os.path.join(work, "vbus.sock")
    settings_folder = os.path.join(home, ".config", "Quellon Editor")
    watch = SettingsWatch(settings_folder, "Quellon Editor.settings")
    display = Display()
    editor = Editor(editor_path, shim_path, display, home, socket_path, os.path.join(work, "editor.log"))
    bus = Bus(client_path, socket_path)
    try:
        step("start with no unit")
        editor.wait_window()
        bus.wait_ready()
        first = wait_picture(editor, "not-connected", lambda p: not overlay_hidden(p)
                             and p.max(*CABINET_ROW) > 0.2, "the first frame with the overlay")
        check(first.max(*CABINET_ROW) < 0.6, "the cabinet labels are not dimmed by the overlay")
        check(editor.alive(), "the editor ended")

        step("plug a unit: the refresh fills the view and hides the overlay")
        bus.command("plug u1")
        editor.wait_log("DEBUG: connect")
        editor.wait_log("DEBUG: Starting refresh")
        wait_frames(bus, "u1", refreshed, "the end of the refresh (0xCE)")
        connected = wait_picture(editor, "connected", overlay_hidden, "the overlay to hide")
        check(connected.max(*CABINET_ROW) > 0.8, "the cabinet labels are dim")
        check(connected.mean(*FOOTER) != first.mean(*FOOTER), "the footer did not change")
        check(connected.is_white(*AMP_UP), "the routing line of 0x206 is missing")
        check(not bus.set_parameter_frames("u1"), "a parameter was sent without a gesture")

        step("drag the level knob down by half its travel")
        bus.command("clear-frames u1")
        editor.drag(*KNOB_LEVEL, dy=100)
        sent = wait_set_parameter(bus, "u1", lambda f: f and f[-1][1] == 0.5, "the knob's last value, 0.5")
        check(all(number == 0x200 for number, _, _ in sent), "frames of another parameter: %r" % sent)
        check(all(0.5 <= value < 1.0 for _, value, _ in sent), "values outside the drag: %r" % sent)
        check(sent[-1][2] == float_bits(0.5), "the float bits of 0.5")
        shot(editor, "knob-dragged")

        step("double-click the knob: back to its default")
        bus.command("clear-frames u1")
        # Away from where the drag began, so its press does not count as a first click.
        editor.click(KNOB_LEVEL[0] + 15, KNOB_LEVEL[1] - 12, repeat=2)
        sent = wait_set_parameter(bus, "u1", lambda f: len(f) >= 1, "the knob's reset")
        check([(n, b) for n, _, b in sent] == [(0x200, float_bits(1.0))], "reset frames: %r" % sent)
        shot(editor, "knob-reset")

        step("type a level into the value label")
        bus.command("clear-frames u1")
        editor.click(*LEVEL_LABEL, repeat=2)
        editor.key("ctrl+a")
        editor.type("-6.5")
        editor.key("Return")
        sent = wait_set_parameter(bus, "u1", lambda f: len(f) >= 1, "the typed level")
        check([(n, b) for n, _, b in sent] == [(0x205, float_bits(-6.5))], "typed frames: %r" % sent)
        shot(editor, "level-typed")

        step("choose OUT from the outputs menu")
        bus.command("clear-frames u1")
        editor.click(*OUTPUTS_LABEL)
        wait_until(lambda: editor.windows("menu"), 10, "the menu to open")
        shot(editor, "choice-menu")
        editor.key("Down", "Return")
        wait_until(lambda: not editor.windows("menu"), 10, "the menu to close")
        sent = wait_set_parameter(bus, "u1", lambda f: len(f) >= 1, "the chosen output")
        check([(n, b) for n, _, b in sent] == [(0x208, float_bits(0.0))], "menu frames: %r" % sent)
        shot(editor, "choice-made")
        globals_now = bus.command("globals u1")
        check("0x00000208 0x00000000" in globals_now and "0x00000205 0xc0d00000" in globals_now,
              "the unit's globals: %s" % globals_now)

        step("plugged out and back in within 200 ms: the error, then the unit again")
        mark = editor.mark()
        bus.command("clear-frames u1")
        bus.command("replug u1 gap-ms=150")
        editor.wait_log("ERROR: EdSvc error: A communication error occurred", since=mark)
        editor.wait_log("DEBUG: disconnect", since=mark)
        editor.wait_log("DEBUG: connect", since=mark)
        wait_frames(bus, "u1", refreshed, "the refresh after the replug")
        wait_picture(editor, "replugged", overlay_hidden, "the overlay to hide")

        step("unplug: back to Not Connected")
        mark = editor.mark()
        bus.command("unplug u1")
        editor.wait_log("DEBUG: disconnect", since=mark)
        wait_picture(editor, "unplugged", lambda p: not overlay_hidden(p), "the overlay to come back")

        step("a unit with DSP 1.1.0 asks for a firmware update")
        mark = editor.mark()
        bus.command("plug u2 dsp=1.1.0")
        editor.wait_log("DEBUG: QuellonEditorService: DSP version: 1.1.0", since=mark)
        wait_picture(editor, "firmware-required", lambda p: p.max(*MENU_TEXT) > 0.97,
                     "the MENU text to light up")
        frames = bus.frames("u2")
        check(any(f[0] == 0xB4 for f in frames), "no connection check")
        check(not any(f[0] in (0xC5, 0xCE) for f in frames), "globals were read from an old unit")
        mark = editor.mark()
        bus.command("unplug u2")
        editor.wait_log("DEBUG: disconnect", since=mark)

        step("a unit that vanishes during the refresh")
        mark = editor.mark()
        bus.command("plug u3")
        bus.command("fault u3 vanish type=0xc5")
        editor.wait_log("DEBUG: connect", since=mark)
        editor.wait_log("DEBUG: disconnect", since=mark)
        wait_picture(editor, "vanished", lambda p: not overlay_hidden(p), "Not Connected")

        step("a unit that refuses the read of its globals: the error stays until it is plugged in again")
        mark = editor.mark()
        bus.command("plug u4")
        bus.command("fault u4 nack type=0xc5")
        editor.wait_log("ERROR: EdSvc error: Failed to refresh current state", since=mark)
        expect_error_kept(editor, mark, "refresh-refused")
        mark = editor.mark()
        bus.command("unplug u4")
        editor.wait_log("DEBUG: disconnect", since=mark)
        bus.command("plug u4")
        wait_frames(bus, "u4", refreshed, "the refresh of u4, plugged in again")
        wait_picture(editor, "refresh-recovered", overlay_hidden, "the overlay to hide")
        mark = editor.mark()
        bus.command("unplug u4")
        editor.wait_log("DEBUG: disconnect", since=mark)

        step("a unit that garbles a report while the editor is idle: the error stays")
        mark = editor.mark()
        bus.command("plug u5")
        bus.command("fault u5 short type=0xce")
        editor.wait_log("ERROR: EdSvc error: A communication error occurred", since=mark)
        expect_error_kept(editor, mark, "garbled-kept")
        mark = editor.mark()
        bus.command("unplug u5")
        editor.wait_log("DEBUG: disconnect", since=mark)

        step("a unit whose values lie outside their ranges")
        bus.command("plug u5")
        for parameter, value in ((0x204, 9.0), (0x206, -1.0), (0x200, math.nan), (0x207, 1e30),
                                 (0x201, 7.0)):
            bus.command("set-global u5 0x%x 0x%08x" % (parameter, struct.unpack("<I", float_bits(value))[0]))
        wait_frames(bus, "u5", refreshed, "the end of the refresh")
        odd = wait_picture(editor, "out-of-range", lambda p: p.max(*CABINET_ROW) > 0.8, "the overlay to hide")
        check(not odd.is_white(*AMP_DOWN) and not odd.is_white(*AMP_UP), "a routing line was drawn")
        check(editor.alive(), "the editor ended")

        step("a second unit waits unserved, also once the first one goes")
        bus.command("plug u6")
        wait_until(lambda: "open-handles=1" in bus.command("status u6"), 20, "the editor to open u6")
        mark = editor.mark()
        bus.command("unplug u5")
        editor.wait_log("DEBUG: disconnect", since=mark)
        mark = editor.mark()
        bus.command("plug u7")
        editor.wait_log("DEBUG: connect", since=mark)
        wait_frames(bus, "u7", lambda f: any(frame[0] == 0xB5 for frame in f), "u7's version request")
        check(not bus.frames("u6"), "u6 was served while it stayed plugged in")
        mark = editor.mark()
        bus.command("unplug u7")
        editor.wait_log("DEBUG: disconnect", since=mark)
        bus.command("unplug u6")
        wait_until(lambda: "open-handles=0" in bus.command("status u6"), 20, "the editor to close u6")
        mark = editor.mark()
        bus.command("plug u6")
        editor.wait_log("DEBUG: connect", since=mark)
        wait_frames(bus, "u6", refreshed, "the refresh of u6, plugged in again")

        step("a second instance is refused")
        second = Editor(editor_path, shim_path, display, home, "none", os.path.join(work, "second.log"))
        check(second.wait_exit(30) == 0, "the second instance failed")
        second.kill()
        check(len(editor.windows()) == 1, "a second window: %r" % editor.windows())
        check(editor.alive(), "the first instance ended")
        check(watch.count() == 0, "the settings were written while running")

        step("maximise and restore with the window buttons")
        before = editor.geometry()
        editor.click(*MAXIMISE_BUTTON)
        wait_until(lambda: editor.geometry()[2] > before[2], 10, "the window to maximise")
        maximised = wait_picture(editor, "maximised", overlay_hidden, "the view scaled to the window")
        check(round(maximised.scale * DESIGN_HEIGHT) <= 1040, "the window is taller than the display")
        editor.click(*MAXIMISE_BUTTON)
        wait_until(lambda: editor.geometry() == before, 10, "the window to come back to %r" % (before,))

        step("close with the close button")
        clicked = time.monotonic()
        editor.click(*CLOSE_BUTTON)
        check(editor.wait_exit(30) == 0, "the editor failed on quitting")
        print("  quit %.2f s after the click" % (time.monotonic() - clicked))
        check(editor.log().count("DEBUG: disconnect") == 11, "the served unit was not released")
        check(watch.count() == 1, "the settings were written %d times" % watch.count())
        with open(os.path.join(settings_folder, "Quellon Editor.settings")) as f:
            settings = f.read()
        for key in ("windowX", "windowY", "windowWidth", "windowHeight", "isMaximized"):
            check('name="%s"' % key in settings, "no %s in the settings" % key)

        step("SIGTERM ends an idle editor in order, as its close button does")
        editor.kill()
        signal_home = os.path.join(work, "signal-home")
        signal_watch = SettingsWatch(os.path.join(signal_home, ".config", "Quellon Editor"), "Quellon Editor.settings")
        editor = Editor(editor_path, shim_path, display, signal_home, "none", os.path.join(work, "signal.log"))
        editor.wait_window()
        wait_picture(editor, "before-sigterm", lambda p: p.max(*CABINET_ROW) > 0.2, "the first frame")
        signalled = time.monotonic()
        editor.process.send_signal(signal.SIGTERM)
        status = editor.wait_exit(5)
        print("  quit %.2f s after the signal" % (time.monotonic() - signalled))
        check(status == 0, "the editor ended with status %d" % status)
        check(signal_watch.count() == 1, "the settings were written %d times" % signal_watch.count())
        signal_watch.close()

        step("a settings folder that cannot be made: the window opens, the log says so")
        blocked_home = os.path.join(work, "blocked-home")
        os.makedirs(blocked_home)
        with open(os.path.join(blocked_home, ".config"), "w") as f:
            f.write("a file where the folder would be")
        editor.kill()
        editor = Editor(editor_path, shim_path, display, blocked_home, "none",
                        os.path.join(work, "blocked.log"))
        editor.wait_window()
        editor.wait_log("cannot be made; settings will not be kept")
        wait_picture(editor, "settings-unwritable", lambda p: p.max(*CABINET_ROW) > 0.2, "the first frame")
        editor.click(*CLOSE_BUTTON)
        check(editor.wait_exit(30) == 0, "the editor failed on quitting")
        check("The settings could not be saved to" in editor.log(), "the lost settings were not logged")
    except Failure:
        step("---- editor log ----")
        print(editor.log()[-6000:])
        raise
    finally:
        editor.kill()
        watch.close()
        display.close()
        pending = os.path.join(shots_dir, "pending.png")
        if os.path.exists(pending):
            os.remove(pending)


def main():
    find_tools()
    with editor_lock(), temporary_folder() as work:
        try:
            run(work)
        except Failure as failure:
            print("FAIL:", failure)
            sys.exit(1)
    print("editor end to end: ok")


main()
