#!/usr/bin/env python3
"""The Windows program end to end under Wine, as a user meets it: a copy of
the program folder with the virtual unit's hidapi.dll in place of the real
one, run by Wine in a prefix of the test's own on an X display of its own,
driven with xdotool, with Wine's own file dialogs answered from the keyboard.
What the units received and hold is read back over the shim's control port
and compared with the bundle, which the test reads with code of its own.

Start with no unit, plug one, drag a knob, pull it out and push it back in
between two polls, back up (to a new file, then over it, answering Wine's
question), restore into another unit with other contents, update the firmware from the built-in image (the unit leaves and
comes back), unplug, then plug a slower unit, update it and click the close
button in the middle: the program waits for the whole image, then quits by
itself and writes the settings once. Then start it again and close it from
outside the way a polite close reaches the framework's hidden message window
(CLOSER posts WM_CLOSE to that window alone): it quits as with the close
button. WORK_DIR keeps the program's copy, its Wine prefix, its logs and a
screenshot of every step (wine-screenshots/).

usage: wine_editor_e2e_test.py PROGRAM SHIM_DLL STRIP CLOSER RESOURCES_DIR PREFIX_SCRIPT WORK_DIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "harness"))
import datafiles  # noqa: E402
import wine_harness  # noqa: E402
import xdriver  # noqa: E402
from editor_harness import (Display, Failure, Picture, SettingsWatch, check, find_tools, step,  # noqa: E402
                            wait_until)
from wine_harness import TcpBus, WineEditor, WinePrefix  # noqa: E402

program_path, shim_path, strip_tool, closer_path, resources, prefix_script, work = sys.argv[1:8]
shots_dir = os.path.join(work, "wine-screenshots")

# Places on the 640 x 426 design.
MENU_BUTTON = (44, 24)
KNOB_LEVEL = (169, 211)       # parameter 0x200
KNOB_AREA = (133, 172, 73, 78)
CLOSE_BUTTON = (610, 30)
CABINET_ROW = (299, 375, 315, 28)
OVERLAY_BOX = (120, 113, 400, 200)
AMP_DOWN = (458, 140)         # on the line of parameter 0x204 at its default, AMP
BACKUP, RESTORE, UPDATE_FIRMWARE = 1, 2, 3
MAIN_MENU_ITEMS = 4

MESSAGE_CE, READ_REQUEST, FIRMWARE_DATA = 0xCE, 0xC5, 0xB2
SETTINGS_NAME = "Quellon Editor.settings"
GEOMETRY_KEYS = ("windowX", "windowY", "windowWidth", "windowHeight", "isMaximized")

step_number = 0


def shot_path(name):
    global step_number
    step_number += 1
    return os.path.join(shots_dir, "%02d-%s.png" % (step_number, name))


def shot(editor, name):
    path = editor.screenshot(shot_path(name))
    print("  screenshot", path)
    return Picture(path)


def settled_screen_shot(name, timeout=30):
    """The whole screen once two screenshots in a row are the same: a dialog
    that has just opened draws its parts one after another."""
    pending = os.path.join(shots_dir, "pending.png")

    def signature():
        xdriver.screenshot(pending)
        return subprocess.run(["identify", "-format", "%#", pending], check=True,
                              capture_output=True, text=True).stdout

    previous = [None]

    def same_as_before():
        now = signature()
        settled, previous[0] = now == previous[0], now
        return settled

    wait_until(same_as_before, timeout, "the screen to settle")
    path = shot_path(name)
    os.replace(pending, path)
    print("  screenshot", path)


def wait_picture(editor, name, predicate, what, timeout=30):
    """Screenshots until `predicate` holds for one; keeps that one."""
    pending = os.path.join(shots_dir, "pending.png")

    def attempt():
        picture = Picture(editor.screenshot(pending))
        return picture if predicate(picture) else None

    wait_until(attempt, timeout, what)
    path = shot_path(name)
    os.replace(pending, path)
    print("  screenshot", path)
    return Picture(path)


def overlay_hidden(picture):
    # With parameter 0x204 at AMP its routing line is white unless the overlay dims it.
    return picture.is_white(*AMP_DOWN)


class Session:
    def __init__(self, editor, bus, files):
        self.editor, self.bus, self.files = editor, bus, files

    def mark(self, unit):
        """How many frames the unit has received so far."""
        return int(self.bus.status(unit)["frames"])

    def wait_refresh(self, unit, mark, timeout=60):
        wait_until(lambda: any(f[0] == MESSAGE_CE for f in self.bus.frames(unit, mark)), timeout,
                   "the program to read %s (its 0xCE message)" % unit)

    def state(self, unit):
        """The unit's globals and its three cabinets: words and names."""
        cabinets = []
        for slot in range(3):
            words = [int(w, 16) for w in self.bus.command("cabinet-words %s %d" % (unit, slot)).split()]
            cabinets.append((words, self.bus.command("cabinet-name %s %d" % (unit, slot)).strip()))
        params = {int(k, 16): int(v, 16) for k, v in
                  (line.split() for line in self.bus.command("globals " + unit).splitlines())}
        return params, cabinets

    def fill(self, unit, seed):
        """Gives the unit globals and cabinets of its own."""
        rng = random.Random(seed)
        for parameter in (0x201, 0x205, 0x207):
            self.bus.command("set-global %s 0x%x 0x%08x" % (unit, parameter, datafiles.float_bits(rng.uniform(0, 1))))
        for slot in range(3):
            words = [rng.getrandbits(32) for _ in range(datafiles.CABINET_WORDS)]
            self.bus.command("set-cabinet-words %s %d %s" % (unit, slot, " ".join("0x%08x" % w for w in words)))
            self.bus.command("set-cabinet-name %s %d Seed %d slot %d" % (unit, slot, seed, slot))

    def main_menu(self, item, name=None):
        self.editor.click(*MENU_BUTTON)
        if name:
            xdriver.wait_for_window("menu")
            shot(self.editor, name)
        xdriver.pick_menu_item(item, MAIN_MENU_ITEMS)

    def plug(self, unit, seed):
        mark = self.editor.mark()
        self.bus.command("plug %s wire-us=1000" % unit)
        self.fill(unit, seed)   # before the refresh, which waits three seconds first
        self.editor.wait_log("DEBUG: connect", since=mark)
        self.wait_refresh(unit, 0)
        return wait_picture(self.editor, "plugged-" + unit, overlay_hidden, "the overlay to hide")

    def unplug(self, unit):
        mark = self.editor.mark()
        self.bus.command("unplug " + unit)
        self.editor.wait_log("DEBUG: disconnect", since=mark)
        wait_picture(self.editor, "unplugged-" + unit, lambda p: not overlay_hidden(p),
                     "the overlay to come back (Not Connected)")


def start(session):
    step("start with no unit: Not Connected")
    editor = session.editor
    editor.wait_window()
    session.bus.wait_ready()
    first = wait_picture(editor, "not-connected", lambda p: not overlay_hidden(p) and p.max(*CABINET_ROW) > 0.2,
                         "the first frame with the overlay")
    check(first.max(*CABINET_ROW) < 0.6, "the cabinet labels are not dimmed by the overlay")
    check("DEBUG: connect" not in editor.log(), "a unit was served before one was plugged")


def knob(session):
    step("plug a unit and drag the level knob down by half its travel")
    connected = session.plug("u1", 1)
    session.bus.command("clear-frames u1")
    session.editor.drag(*KNOB_LEVEL, dy=100)

    def ended_at_half():
        frames = session.bus.set_parameter_frames("u1")
        return frames if frames and frames[-1][1] == 0.5 else None

    sent = wait_until(ended_at_half, 30, "the knob's last value, 0.5, at the unit")
    check(all(number == 0x200 for number, _, _ in sent), "frames of another parameter: %r" % sent)
    check(all(0.5 <= value < 1.0 for _, value, _ in sent), "values outside the drag: %r" % sent)
    check(sent[-1][2] == struct.pack("<f", 0.5), "the float bits of 0.5")
    check(session.state("u1")[0][0x200] == datafiles.float_bits(0.5), "the unit did not keep 0.5")
    wait_picture(session.editor, "knob-dragged", lambda p: p.mean(*KNOB_AREA) != connected.mean(*KNOB_AREA),
                 "the knob to turn on the screen")


def replug(session):
    step("plugged out and back in within 200 ms: the error, then the unit again")
    mark = session.editor.mark()
    frames = session.mark("u1")
    session.bus.command("replug u1 gap-ms=150")
    session.editor.wait_log("ERROR: EdSvc error: A communication error occurred", since=mark)
    session.editor.wait_log("letting it go", since=mark)
    session.wait_refresh("u1", frames)
    wait_picture(session.editor, "replugged", overlay_hidden, "the overlay to hide")


def backup(session):
    step("back up through the main menu and Wine's save dialog")
    target = os.path.join(session.files, "Quellon Backup.bbu")
    unit_state = session.state("u1")
    session.main_menu(BACKUP, "main-menu")
    dialog = xdriver.wait_for_window("Save Backup Bundle", wine_harness.DIALOG_TIMEOUT)
    xdriver.wait_for_focus(dialog, wine_harness.DIALOG_TIMEOUT)
    settled_screen_shot("save-dialog")
    wine_harness.choose_file("Save Backup Bundle", target)
    wait_until(lambda: os.path.exists(target), 60, "the bundle")

    entries = datafiles.read_bundle(target)
    check(list(entries) == ["Varnel_Quellon_0.cab", "Varnel_Quellon_1.cab", "Varnel_Quellon_2.cab",
                            "Varnel_Korvalune_0.glo"], "entries: %r" % list(entries))
    params, cabinets = unit_state
    for slot, (words, name) in enumerate(cabinets):
        index, stored, stored_name = datafiles.read_cabinet(entries["Varnel_Quellon_%d.cab" % slot])
        check(index == slot and stored == words + words and stored_name == name,
              "slot %d of the bundle differs from the unit's" % slot)
    check(datafiles.read_globals(entries["Varnel_Korvalune_0.glo"]) == params, "the bundle's globals differ")
    shot(session.editor, "backed-up")

    step("back up again over the same file: Wine's dialog asks first")
    session.fill("u1", 3)
    unit_state = session.state("u1")
    before = os.stat(target).st_ino
    session.main_menu(BACKUP)
    dialog = wine_harness.enter_file_name("Save Backup Bundle", target)
    wine_harness.wait_replace_question("Save Backup Bundle", dialog)
    settled_screen_shot("replace-question")
    wine_harness.replace_file("Save Backup Bundle")

    def replaced():
        # Wine replaces a file by moving the old one aside first: for a moment there is none.
        try:
            return os.stat(target).st_ino != before
        except FileNotFoundError:
            return False

    wait_until(replaced, 60, "the bundle to be replaced")
    entries = datafiles.read_bundle(target)
    check(datafiles.read_globals(entries["Varnel_Korvalune_0.glo"]) == unit_state[0], "the new bundle's globals")
    for slot, (words, name) in enumerate(unit_state[1]):
        check(datafiles.read_cabinet(entries["Varnel_Quellon_%d.cab" % slot])[1:] == (words + words, name),
              "slot %d of the new bundle" % slot)
    return target, unit_state


def restore(session, bundle, backed_up):
    step("restore the bundle into another unit with other contents")
    session.unplug("u1")
    before = session.plug("u2", 2)
    check(session.state("u2") != backed_up, "the second unit holds what the bundle holds already")
    mark = session.mark("u2")
    session.main_menu(RESTORE)
    dialog = xdriver.wait_for_window("Restore Backup Bundle", wine_harness.DIALOG_TIMEOUT)
    xdriver.wait_for_focus(dialog, wine_harness.DIALOG_TIMEOUT)
    settled_screen_shot("open-dialog")
    wine_harness.choose_file("Restore Backup Bundle", bundle)
    # The restore writes, then reads the globals and the three names back.
    wait_until(lambda: sum(1 for f in session.bus.frames("u2", mark) if f[0] == READ_REQUEST) == 4, 60,
               "the restore to end with reading the unit back")
    params, cabinets = session.state("u2")
    check(params == backed_up[0], "the globals of u2 differ from the backup's")
    for slot in range(3):
        check(cabinets[slot] == backed_up[1][slot], "slot %d of u2 differs from the backup's" % slot)
    wait_picture(session.editor, "restored",
                 lambda p: overlay_hidden(p) and p.mean(*CABINET_ROW) != before.mean(*CABINET_ROW),
                 "the restored cabinet names on the screen")


def firmware(session):
    step("update the firmware from the built-in image: the unit leaves and comes back")
    s = session
    s.bus.command("set u2 return-ms=1000 next-dsp=1.3.0")
    mark = s.mark("u2")
    log_mark = s.editor.mark()
    s.main_menu(UPDATE_FIRMWARE)
    wait_picture(s.editor, "updating", lambda p: not overlay_hidden(p), "the update's overlay")
    wait_until(lambda: int(s.bus.status("u2")["firmware-updates"]) == 1, 60, "u2 to take the image")
    received = os.path.join(s.files, "received.ldr")
    s.bus.command("save-firmware u2 " + received)
    with open(os.path.join(resources, "Firmware", "PlaceholderFirmware.ldr"), "rb") as f:
        built_in = f.read()
    with open(received, "rb") as f:
        check(f.read() == datafiles.reverse_bits(built_in), "the image reached the unit changed")
    sent = s.bus.frames("u2", mark)
    check(sum(1 for f in sent if f[0] == FIRMWARE_DATA) == (len(built_in) + 61) // 62, "the number of image messages")

    wait_until(lambda: s.bus.status("u2")["present"] == "no", 60, "u2 to leave")
    back = s.mark("u2")
    wait_until(lambda: s.bus.status("u2")["present"] == "yes", 60, "u2 to come back")
    s.editor.wait_log("DEBUG: QuellonEditorService: DSP version: 1.3.0", timeout=60, since=log_mark)
    s.wait_refresh("u2", back)
    wait_picture(s.editor, "updated", overlay_hidden, "the overlay to hide after the update")


def settings_hold(path, folder):
    try:
        with open(path, encoding="utf-8") as f:
            return 'name="lastDirectory" val="%s"' % wine_harness.windows_path(folder) in f.read()
    except FileNotFoundError:
        return False


def check_quit(editor, watch, before, settings_path, keys):
    """The program ends with status 0, having written the settings once."""
    check(editor.wait_exit(30) == 0, "the program failed on quitting")
    writes = watch.count() - before
    check(writes == 1, "the settings were written %d times on closing" % writes)
    with open(settings_path, encoding="utf-8") as f:
        settings = f.read()
    for key in keys:
        check('name="%s"' % key in settings, "no %s in the settings" % key)


def close(session, watch, settings_path):
    step("close with the close button in the middle of an update: the whole image, then the settings once")
    s = session
    # The folder of the restored bundle is saved on the settings' own schedule,
    # a few seconds after the dialog; closing writes the file once more.
    wait_until(lambda: settings_hold(settings_path, s.files), 30, "the chosen folder in the settings")
    s.bus.command("plug u3 wire-us=5000")
    s.wait_refresh("u3", 0)
    mark = s.mark("u3")
    s.main_menu(UPDATE_FIRMWARE)
    wait_until(lambda: sum(1 for f in s.bus.frames("u3", mark) if f[0] == FIRMWARE_DATA) >= 200, 60,
               "200 of the image's messages at u3")
    before = watch.count()
    log_mark = s.editor.mark()
    s.editor.click(*CLOSE_BUTTON)
    s.editor.wait_log("Closing once the running job has ended", since=log_mark)
    wait_picture(s.editor, "closing-after-update",
                 lambda p: "The editor closes when the update is done" in p.text(*OVERLAY_BOX),
                 "the overlay to say that the program closes after the update")
    check(s.editor.alive(), "the program quit in the middle of the image")
    # The unit leaves the bus only once it has the whole image.
    s.bus.command("wait u3 absent timeout-ms=50000")
    check_quit(s.editor, watch, before, settings_path, GEOMETRY_KEYS + ("lastDirectory",))


def close_from_outside(editor, prefix, watch, settings_path):
    step("start again, then WM_CLOSE to the hidden message window alone: it quits as with the close button")
    editor.wait_window()
    before = watch.count()
    wine_harness.quiet(["wine", closer_path], prefix.env)
    check_quit(editor, watch, before, settings_path, GEOMETRY_KEYS)


def program_folder(folder):
    """A copy of the program folder as it ships, with the shim as hidapi.dll."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    program = os.path.join(folder, "Quellon Editor.exe")
    subprocess.run([strip_tool, "-o", program, program_path], check=True)
    shutil.copyfile(shim_path, os.path.join(folder, "hidapi.dll"))
    return program


def run():
    shutil.rmtree(shots_dir, ignore_errors=True)
    os.makedirs(shots_dir)
    files = os.path.join(work, "files")
    shutil.rmtree(files, ignore_errors=True)
    os.makedirs(files)
    program = program_folder(os.path.join(work, "program"))

    display = Display()
    os.environ["DISPLAY"] = display.name
    prefix = None
    editor = None
    watch = None
    try:
        prefix = WinePrefix(os.path.join(work, "prefix"), prefix_script, display)
        settings_folder = os.path.join(prefix.app_data(), "Quellon Editor")
        shutil.rmtree(settings_folder, ignore_errors=True)
        watch = SettingsWatch(settings_folder, SETTINGS_NAME)
        port = wine_harness.free_port()
        editor = WineEditor(program, prefix, display, port, os.path.join(work, "program.log"))
        session = Session(editor, TcpBus(port, editor.log), files)
        start(session)
        knob(session)
        replug(session)
        bundle, backed_up = backup(session)
        restore(session, bundle, backed_up)
        firmware(session)
        session.unplug("u2")
        settings_path = os.path.join(settings_folder, SETTINGS_NAME)
        close(session, watch, settings_path)

        editor.kill()
        # A run that changes no setting writes none.
        os.remove(settings_path)
        editor = WineEditor(program, prefix, display, wine_harness.free_port(),
                            os.path.join(work, "program-closed-from-outside.log"))
        close_from_outside(editor, prefix, watch, settings_path)
    except (Failure, xdriver.DriverError):
        xdriver.screenshot(os.path.join(shots_dir, "failure.png"))
        if editor:
            print("---- program log ----")
            print(editor.log()[-6000:])
        raise
    finally:
        if editor:
            editor.kill()
        if watch:
            watch.close()
        if prefix:
            prefix.close()
        display.close()
        pending = os.path.join(shots_dir, "pending.png")
        if os.path.exists(pending):
            os.remove(pending)


def main():
    try:
        find_tools()
        wine_harness.find_wine()
        run()
    except (Failure, xdriver.DriverError) as failure:
        print("FAIL:", failure)
        sys.exit(1)
    print("Windows program end to end under Wine: ok")


main()
