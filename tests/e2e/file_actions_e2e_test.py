#!/usr/bin/env python3
"""The editor's file actions end to end: the real program with the hidapi shim
preloaded, its MENU button and cabinet labels clicked, its menus and JUCE's own
file dialogs answered from the keyboard (harness/xdriver.py), and what reached
the virtual unit read back over the shim's control socket and compared with
the files, which the test makes and reads with code of its own
(harness/datafiles.py).

Every job on a unit with 1 ms per report each way: a backup to a new file and
over an existing one, a restore into a unit with other contents, the import of
a WAV, an AIFF, a cabinet file and a factory cabinet into each slot, every
failure alert once; then "Update Firmware", which in an editor built without
a firmware image shows its alert and sends nothing (and with FIRMWARE_IMAGE,
the image the editor was built with, sends that), a unit that comes back from
its update still old and is asked for it again, firmware updates from files
(the placeholder image among them) with the unit leaving and coming back, and
one that never comes back. Last, the close button in the middle of a firmware
update on a slower unit (5 ms per report) and, in a second run, in the middle
of a restore: the editor waits for the whole image or the last write, then
quits by itself. Two more runs do the same with a signal in place of the
click: SIGTERM (twice) in the middle of an image, SIGINT (Ctrl+C) in the
middle of a restore.

usage: file_actions_e2e_test.py EDITOR SHIM VBUS_CLIENT RESOURCES_DIR [FIRMWARE_IMAGE]
"""
import contextlib
import os
import random
import signal
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "harness"))
import datafiles  # noqa: E402
import xdriver  # noqa: E402
from editor_harness import (Bus, Display, Editor, Failure, Picture, check, editor_lock, find_tools,  # noqa: E402
                            temporary_folder, wait_until, without_desktop_dialogs)

editor_path, shim_path, client_path, resources = sys.argv[1:5]
built_in_image = sys.argv[5] if len(sys.argv) > 5 else None

MENU_BUTTON = (44, 24)
CABINET_LABELS = {0: (456, 389), 1: (456, 345), 2: (456, 302)}
# The main menu's items by position, and the cabinet menu's: "From File...",
# then the factory cabinets.
BACKUP, RESTORE, UPDATE_FIRMWARE, UPDATE_FROM_FILE = 1, 2, 3, 4
FROM_FILE = 1
FACTORY = {"BYPASS": 2, "1x12": 3, "1x15": 4, "2x15": 5, "4x10": 6, "8x10 Boogie": 7, "8x10 SVT": 8}
FACTORY_FILES = {"BYPASS": "BYPASS.cab", "1x12": "1x12.cab", "8x10 SVT": "8x10_SVT.cab"}

MESSAGE_CE, VERSION_REQUEST, CONNECT_REQUEST, READ_REQUEST, FIRMWARE_DATA = 0xCE, 0xB5, 0xB4, 0xC5, 0xB2
TRANSFER_DATA, TRANSFER_END = 0xC3, 0xC4
MENU_TEXT = (14, 14, 60, 20)
OVERLAY_BOX = (120, 113, 400, 200)


class Session:
    def __init__(self, editor, bus, work):
        self.editor, self.bus, self.work = editor, bus, work

    def path(self, name):
        return os.path.join(self.work, "files", name)

    def write(self, name, data):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode("latin-1") if isinstance(data, str) else data)
        return path

    # -- the unit ------------------------------------------------------------
    def status(self, unit):
        return self.bus.status(unit)

    def mark(self, unit):
        return int(self.status(unit)["frames"])

    def frames_since(self, unit, mark):
        return self.bus.frames(unit, mark)

    def wait_refresh(self, unit, mark, timeout=60):
        wait_until(lambda: any(f[0] == MESSAGE_CE for f in self.frames_since(unit, mark)), timeout,
                   "the editor to read %s again (its 0xCE message)" % unit)

    def globals(self, unit):
        return {int(k, 16): int(v, 16) for k, v in (line.split() for line in self.bus.command("globals " + unit).splitlines())}

    def words(self, unit, slot):
        return [int(w, 16) for w in self.bus.command("cabinet-words %s %d" % (unit, slot)).split()]

    def name(self, unit, slot):
        return self.bus.command("cabinet-name %s %d" % (unit, slot)).strip()

    def fill(self, unit, seed):
        """Gives the unit globals and cabinets of its own."""
        rng = random.Random(seed)
        for parameter in (0x200, 0x201, 0x205, 0x207):
            self.bus.command("set-global %s 0x%x 0x%08x" % (unit, parameter, datafiles.float_bits(rng.uniform(0, 1))))
        for slot in range(3):
            words = [rng.getrandbits(32) for _ in range(datafiles.CABINET_WORDS)]
            self.bus.command("set-cabinet-words %s %d %s" % (unit, slot, " ".join("0x%08x" % w for w in words)))
            self.bus.command("set-cabinet-name %s %d Seed %d slot %d" % (unit, slot, seed, slot))

    # -- the editor ----------------------------------------------------------
    def main_menu(self, item):
        self.editor.click(*MENU_BUTTON)
        xdriver.pick_menu_item(item, 4)

    def cabinet_menu(self, slot, item):
        self.editor.click(*CABINET_LABELS[slot])
        xdriver.pick_menu_item(item, 8)

    def wait_overlay(self, text, what, timeout=30):
        """The overlay's words, read off screenshots until they hold `text`."""
        def read():
            shown = Picture(self.editor.screenshot(self.path("overlay.png"))).text(*OVERLAY_BOX)
            return shown if text in shown else None

        shown = wait_until(read, timeout, what)
        print("  the overlay reads %r" % shown)
        return shown

    def send_image(self, unit, ldr):
        """"Update Firmware from File" with `ldr`, until the unit has taken the
        image and left; where the log stood before."""
        log_mark = self.editor.mark()
        self.main_menu(UPDATE_FROM_FILE)
        xdriver.choose_file("Select Firmware", ldr)
        wait_until(lambda: self.status(unit)["present"] == "no", 60, "%s to take the image and leave" % unit)
        return log_mark

    def expect_alert(self, unit, mark, log_text=None):
        """One alert titled "Error"; answered; nothing sent to the unit."""
        xdriver.wait_for_window("Error")
        check(len(xdriver.windows_named("Error")) == 1, "more than one alert")
        xdriver.answer_alert("Error")
        if log_text:
            self.editor.wait_log(log_text)
            check(self.editor.log().count(log_text) == 1, "%r logged more than once" % log_text)
        check(not self.frames_since(unit, mark), "something reached the unit: %r" % self.frames_since(unit, mark))


def backup(session):
    s = session
    print("back up the unit into a new bundle")
    target = s.path("bundles/My Backup.bbu")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    s.main_menu(BACKUP)
    xdriver.choose_file("Save Backup Bundle", target)
    started = time.monotonic()
    wait_until(lambda: os.path.exists(target), 60, "the bundle")
    print("  bundle written %.2f s after the dialog closed" % (time.monotonic() - started))

    entries = datafiles.read_bundle(target)
    check(list(entries) == ["Varnel_Quellon_0.cab", "Varnel_Quellon_1.cab", "Varnel_Quellon_2.cab",
                            "Varnel_Korvalune_0.glo"], "entries: %r" % list(entries))
    check(datafiles.zip_is_stored(target), "compressed entries")
    for slot in range(3):
        index, words, name = datafiles.read_cabinet(entries["Varnel_Quellon_%d.cab" % slot])
        unit_words = s.words("u1", slot)
        check(index == slot, "slot %d stored with index %d" % (slot, index))
        check(words == unit_words + unit_words, "slot %d's words differ from the unit's" % slot)
        check(name == s.name("u1", slot), "slot %d's name %r" % (slot, name))
    check(datafiles.read_globals(entries["Varnel_Korvalune_0.glo"]) == s.globals("u1"), "the globals differ")

    print("back up again over the same file: the dialog asks first")
    before = os.stat(target).st_ino
    s.fill("u1", 2)
    s.main_menu(BACKUP)
    xdriver.choose_file("Save Backup Bundle", target)
    xdriver.answer_overwrite(True)
    wait_until(lambda: os.stat(target).st_ino != before, 60, "the bundle to be replaced")
    entries = datafiles.read_bundle(target)
    check(datafiles.read_globals(entries["Varnel_Korvalune_0.glo"]) == s.globals("u1"), "the new globals")
    check(datafiles.read_cabinet(entries["Varnel_Quellon_1.cab"])[2] == "Seed 2 slot 1", "the new names")


def restore(session):
    s = session
    print("restore a bundle of other contents")
    rng = random.Random(7)
    params = {0x200: datafiles.float_bits(0.125), 0x204: datafiles.float_bits(3.0), 0x208: datafiles.float_bits(1.0)}
    cabinets = [[rng.getrandbits(32) for _ in range(datafiles.CABINET_WORDS)] for _ in range(3)]
    entries = {"ArchiveInfo.txt": "SYSTEM_FW_VERSION : 1.0.0\nDSP_FW_VERSION : 1.2.0\n"}
    for slot in range(3):
        entries["Varnel_Quellon_%d.cab" % slot] = datafiles.cabinet_text(cabinets[slot], "Restored %d" % slot, slot)
    entries["Varnel_Korvalune_0.glo"] = datafiles.globals_text(params)
    bundle = s.path("made/Restore Me.bbu")
    os.makedirs(os.path.dirname(bundle), exist_ok=True)
    datafiles.write_bundle(bundle, entries)

    mark = s.mark("u1")
    s.main_menu(RESTORE)
    xdriver.choose_file("Restore Backup Bundle", bundle)
    started = time.monotonic()
    # The restore writes, then reads the globals and the three names back.
    wait_until(lambda: sum(1 for f in s.frames_since("u1", mark) if f[0] == READ_REQUEST) == 4, 60,
               "the restore to end with reading the unit back")
    print("  restored %.2f s after the dialog closed" % (time.monotonic() - started))
    unit_globals = s.globals("u1")
    for parameter, value in params.items():
        check(unit_globals.get(parameter) == value, "parameter 0x%x: 0x%08x" % (parameter, unit_globals.get(parameter, 0)))
    for slot in range(3):
        check(s.words("u1", slot) == cabinets[slot], "slot %d's words" % slot)
        check(s.name("u1", slot) == "Restored %d" % slot, "slot %d's name" % slot)


def wait_cabinet(session, slot, name):
    wait_until(lambda: session.name("u1", slot) == name, 30, "slot %d to be named %r" % (slot, name))


def imports(session):
    s = session
    print("import a WAV, an AIFF, a cabinet file and a factory cabinet into each slot")
    factory_rows = ("8x10 SVT", "BYPASS", "1x12")
    for slot in range(3):
        left, right = datafiles.test_signal(1500, slot), datafiles.test_signal(1500, slot + 1)
        wav = s.write("impulses/Wave %d.WAV" % slot, datafiles.wav_bytes([left, right]))
        s.cabinet_menu(slot, FROM_FILE)
        xdriver.choose_file("Import Cabinet", wav)
        wait_cabinet(s, slot, "Wave %d" % slot)
        check(s.words("u1", slot) == datafiles.imported_words(left), "the WAV's samples in slot %d" % slot)

        mono = datafiles.test_signal(800, slot + 2)
        aiff = s.write("impulses/Room %d.aiff" % slot, datafiles.aiff_bytes([mono]))
        s.cabinet_menu(slot, FROM_FILE)
        xdriver.choose_file("Import Cabinet", aiff)
        wait_cabinet(s, slot, "Room %d" % slot)
        check(s.words("u1", slot) == datafiles.imported_words(mono), "the AIFF's samples in slot %d" % slot)

        words = [datafiles.float_bits(0.5 / (1 + n + slot)) for n in range(datafiles.CABINET_WORDS)]
        cab = s.write("impulses/Stored %d.CAB" % slot, datafiles.cabinet_text(words, "Inside %d" % slot, 5))
        s.cabinet_menu(slot, FROM_FILE)
        xdriver.choose_file("Import Cabinet", cab)
        wait_cabinet(s, slot, "Inside %d" % slot)
        check(s.words("u1", slot) == words, "the cabinet file's samples in slot %d" % slot)

        row = factory_rows[slot]
        s.cabinet_menu(slot, FACTORY[row])
        wait_cabinet(s, slot, row)
        with open(os.path.join(resources, "Cabinets", FACTORY_FILES[row])) as f:
            _, factory_words, _ = datafiles.read_cabinet(f.read())
        check(s.words("u1", slot) == factory_words[:datafiles.CABINET_WORDS], "%s's samples in slot %d" % (row, slot))


def failures(session):
    s = session
    print("failures: each shows one alert and sends nothing")
    mark = s.mark("u1")
    s.main_menu(RESTORE)
    xdriver.choose_file("Restore Backup Bundle", s.write("bad/Not a zip.bbu", "just some text"))
    s.expect_alert("u1", mark, "Failed to load backup")

    mark = s.mark("u1")
    s.cabinet_menu(1, FROM_FILE)
    xdriver.choose_file("Import Cabinet", s.write("bad/Globals.cab", datafiles.globals_text({0x200: 1})))
    s.expect_alert("u1", mark)
    check("Too few segments in cabinet file" in s.editor.log(), "the reason in the log")
    check(s.name("u1", 1) == "BYPASS", "slot 1 changed")

    mark = s.mark("u1")
    s.main_menu(UPDATE_FROM_FILE)
    xdriver.choose_file("Select Firmware", s.write("bad/Empty.ldr", b""))
    s.expect_alert("u1", mark, "Failed to load firmware")

    print("a backup that finds the service busy")
    s.main_menu(BACKUP)
    dialog = xdriver.wait_for_window("Save Backup Bundle")
    log_mark = s.editor.mark()
    s.bus.command("unplug u1")
    s.editor.wait_log("DEBUG: disconnect", since=log_mark)
    s.bus.command("plug u1")
    s.editor.wait_log("DEBUG: Starting refresh", since=log_mark)   # three seconds before it asks the unit
    mark = s.mark("u1")
    check(dialog in xdriver.windows_named("Save Backup Bundle"), "the dialog closed")
    xdriver.choose_file("Save Backup Bundle", s.path("bad/Busy.bbu"))
    xdriver.wait_for_window("Error")
    xdriver.answer_alert("Error")
    s.editor.wait_log("Failed to start backup")
    check(s.editor.log().count("Failed to start backup") == 1, "logged more than once")
    check("Starting backup" not in s.editor.log()[log_mark:], "a backup started")
    s.wait_refresh("u1", mark)
    check(not os.path.exists(s.path("bad/Busy.bbu")), "a bundle was written")


def follow_update(session, unit, image, mark, updates_before):
    """The unit takes the image, leaves, comes back, has its new version read
    and checked (without a connection check) and is read again."""
    s = session
    wait_until(lambda: int(s.status(unit)["firmware-updates"]) > updates_before, 60, "%s to take the image" % unit)
    received = s.path("received-%s.ldr" % unit)
    s.bus.command("save-firmware %s %s" % (unit, received))
    with open(received, "rb") as f:
        check(f.read() == datafiles.reverse_bits(image), "the image reached the unit changed")
    sent = s.frames_since(unit, mark)
    check(sum(1 for f in sent if f[0] == FIRMWARE_DATA) == (len(image) + 61) // 62, "the number of image messages")

    wait_until(lambda: s.status(unit)["present"] == "no", 60, "%s to leave" % unit)
    back = s.mark(unit)
    wait_until(lambda: s.status(unit)["present"] == "yes", 60, "%s to come back" % unit)
    s.editor.wait_log("DEBUG: Waiting for ready", timeout=60)
    s.wait_refresh(unit, back, timeout=60)
    since_back = s.frames_since(unit, back)
    check(sum(1 for f in since_back if f[0] == VERSION_REQUEST) == 1, "the new version was not read once")
    check(not any(f[0] == CONNECT_REQUEST for f in since_back), "the connection was checked again")
    check(s.status(unit)["dsp"] == "1.2.0", "the unit's new version")


def firmware(session):
    s = session
    print("a unit that needs new firmware: only the update items are on")
    log_mark = s.editor.mark()
    s.bus.command("unplug u1")
    s.editor.wait_log("DEBUG: disconnect", since=log_mark)
    s.bus.command("plug u2 dsp=1.1.0 next-dsp=1.2.0 wire-us=1000 return-ms=1000")
    s.editor.wait_log("DEBUG: QuellonEditorService: DSP version: 1.1.0", since=log_mark)
    wait_until(lambda: any(f[0] == CONNECT_REQUEST for f in s.frames_since("u2", 0)), 30, "u2's connection check")
    wait_until(lambda: Picture(s.editor.screenshot(s.path("menu.png"))).max(*MENU_TEXT) > 0.97, 30,
               "the MENU text to light up")
    # The item it names must be one that works in this editor.
    item = "'Update Firmware' from the file menu" if built_in_image else "'Update Firmware from File' in the menu"
    shown = Picture(s.path("menu.png")).text(*OVERLAY_BOX)
    print("  the overlay reads %r" % shown)
    check("Firmware update required" in shown and item in shown, "the overlay names another item")

    updates = 0
    if built_in_image:
        print("update from the built-in image")
        with open(built_in_image, "rb") as f:
            image = f.read()
        mark = s.mark("u2")
        s.main_menu(UPDATE_FIRMWARE)
        follow_update(s, "u2", image, mark, updates)
        updates += 1
    else:
        print("an editor built without a firmware image sends nothing")
        mark, log_mark = s.mark("u2"), s.editor.mark()
        s.main_menu(UPDATE_FIRMWARE)
        s.expect_alert("u2", mark, "This editor was built without a firmware image")
        check("Failed to load firmware" in s.editor.log()[log_mark:], "the alert's text in the log")

    print("update from a file: the placeholder image, then one of a few bytes")
    with open(os.path.join(resources, "Firmware", "PlaceholderFirmware.ldr"), "rb") as f:
        placeholder = f.read()
    small = bytes(random.Random(3).getrandbits(8) for _ in range(1000))
    for name, image in (("Placeholder.ldr", placeholder), ("Other.ldr", small)):
        ldr = s.write("firmware/" + name, image)
        mark = s.mark("u2")
        started = time.monotonic()
        s.main_menu(UPDATE_FROM_FILE)
        xdriver.choose_file("Select Firmware", ldr)
        follow_update(s, "u2", image, mark, updates)
        updates += 1
        print("  %s sent, unit back and read in %.2f s" % (name, time.monotonic() - started))

    print("a unit that comes back with its old version is asked for the update again")
    s.bus.command("set u2 next-dsp=1.1.0")
    log_mark = s.send_image("u2", ldr)
    back = s.mark("u2")
    s.editor.wait_log("WARNING: The unit still reports an old firmware version after the update (DSP 1.1.0)",
                      timeout=60, since=log_mark)
    shown = s.wait_overlay("Firmware update required", "the overlay to ask for the update again")
    check(item in shown, "the overlay names another item")
    since_back = s.frames_since("u2", back)
    check(not any(f[0] in (READ_REQUEST, MESSAGE_CE) for f in since_back), "the old unit's values were read")
    check("Update complete" not in s.editor.log()[log_mark:], "the update was logged as complete")

    print("a unit that never comes back")
    s.bus.command("set u2 return-ms=600000")
    log_mark = s.send_image("u2", ldr)
    s.editor.wait_log("ERROR: EdSvc error: Timeout waiting for reconnect", timeout=60, since=log_mark)


def click_close(editor):
    editor.click(610, 30)


click_close.what = "a close click"


def send_signals(*numbers):
    """A close made of signals, each sent once the one before has been taken."""
    def close(editor):
        for number in numbers:
            name, log_mark = signal.Signals(number).name, editor.mark()

            def taken():
                check(editor.alive(), "the editor ended on %s with status %s" % (name, editor.process.returncode))
                return "Quit requested by " + name in editor.log()[log_mark:]

            editor.process.send_signal(number)
            wait_until(taken, 30, "the editor to take " + name)
    close.what = " then ".join(signal.Signals(n).name for n in numbers)
    return close


def close_in_the_middle(session, unit, job_type, after, notice, close):
    """Closes the editor with `close` once `after` messages of `job_type` have
    reached the unit; the editor stays, says why on the overlay (once), and
    goes on."""
    s = session
    mark = s.mark(unit)
    wait_until(lambda: sum(1 for f in s.frames_since(unit, mark) if f[0] == job_type) >= after, 60,
               "%d messages of the job" % after)
    log_mark = s.editor.mark()
    close(s.editor)
    s.editor.wait_log("Closing once the running job has ended", since=log_mark)
    s.wait_overlay(notice, "the overlay to say %r" % notice, timeout=10)
    check(s.editor.alive(), "the editor quit in the middle of the job")
    check(s.editor.log()[log_mark:].count("Closing once the running job has ended") == 1, "held more than once")


def close_during_update(session, unit, close):
    """Closing while an image is on its way: the unit gets all of it (it
    leaves the bus only once it has), then the editor quits by itself."""
    s = session
    print("%s in the middle of a firmware update waits for the whole image" % close.what)
    s.wait_refresh(unit, 0)
    with open(os.path.join(resources, "Firmware", "PlaceholderFirmware.ldr"), "rb") as f:
        placeholder = f.read()
    s.main_menu(UPDATE_FROM_FILE)
    xdriver.choose_file("Select Firmware", s.write("firmware/Placeholder.ldr", placeholder))
    close_in_the_middle(s, unit, FIRMWARE_DATA, 200, "The editor closes when the update is done", close)
    s.bus.command("wait %s absent timeout-ms=60000" % unit)
    whole = time.monotonic()
    check(s.editor.wait_exit(30) == 0, "the editor failed on quitting")
    print("  quit %.2f s after the unit had the whole image" % (time.monotonic() - whole))
    log = s.editor.log()
    check(log.index("DEBUG: Reconnecting") < log.index("The job has ended: closing"), "quit before the image was whole")


def close_during_restore(session, bundle, close):
    """Closing while a bundle is being restored: every write goes out. The
    unit leaves the bus at the restore's last message (and so fails it), which
    only a restore that was not cut reaches; a failed job ends the wait too."""
    s = session
    print("%s in the middle of a restore waits for its last write" % close.what)
    s.wait_refresh("u1", 0)
    # One TRANSFER_END closes each write: the globals, then data and name of three cabinets.
    s.bus.command("fault u1 vanish type=0x%x at=7" % TRANSFER_END)
    s.main_menu(RESTORE)
    xdriver.choose_file("Restore Backup Bundle", bundle)
    close_in_the_middle(s, "u1", TRANSFER_DATA, 80, "The editor closes when the restore is done", close)
    s.bus.command("wait u1 absent timeout-ms=60000")
    ended = time.monotonic()
    check(s.editor.wait_exit(30) == 0, "the editor failed on quitting")
    print("  quit %.2f s after the unit had the last write" % (time.monotonic() - ended))
    log = s.editor.log()
    check(log.index("ERROR: EdSvc error: ") < log.index("The job has ended: closing"), "quit before the restore ended")


def xdotool_names():
    ids = xdriver.xdotool("search", "--onlyvisible", "--name", ".").split()
    return [xdriver.xdotool("getwindowname", w) for w in ids]


@contextlib.contextmanager
def editor_run(work, display, bus, log_name, init):
    """A session with one run of the editor, which is gone afterwards."""
    editor = Editor(editor_path, shim_path, display, os.path.join(work, "home"), bus.socket_path,
                    os.path.join(work, log_name), init=init, extra_env=without_desktop_dialogs(work))
    try:
        editor.wait_window()
        bus.wait_ready()
        yield Session(editor, bus, work)
    except (Failure, xdriver.DriverError):
        xdriver.screenshot(os.path.join(os.getcwd(), "file-actions-failure.png"))
        print("windows:", xdotool_names())
        print("---- editor log (%s) ----" % log_name)
        print(editor.log()[-6000:])
        raise
    finally:
        editor.kill()


def run(work):
    display = Display()
    os.environ["DISPLAY"] = display.name
    bus = Bus(client_path, os.path.join(work, "vbus.sock"))
    try:
        with editor_run(work, display, bus, "editor.log", "plug u1 wire-us=1000") as session:
            session.fill("u1", 1)
            session.wait_refresh("u1", 0)
            backup(session)
            restore(session)
            imports(session)
            failures(session)
            firmware(session)
            session.bus.command("plug u3 wire-us=5000")
            close_during_update(session, "u3", click_close)
        bundle = os.path.join(work, "files", "made", "Restore Me.bbu")
        with editor_run(work, display, bus, "editor-2.log", "plug u1 wire-us=5000") as session:
            close_during_restore(session, bundle, click_close)
        with editor_run(work, display, bus, "editor-3.log", "plug u3 wire-us=5000") as session:
            close_during_update(session, "u3", send_signals(signal.SIGTERM, signal.SIGTERM))
        with editor_run(work, display, bus, "editor-4.log", "plug u1 wire-us=5000") as session:
            close_during_restore(session, bundle, send_signals(signal.SIGINT))
    finally:
        display.close()


def main():
    try:
        find_tools()
    except Failure as failure:
        print("FAIL:", failure)
        sys.exit(1)
    with editor_lock(), temporary_folder() as work:
        try:
            run(work)
        except (Failure, xdriver.DriverError) as failure:
            print("FAIL:", failure)
            sys.exit(1)
    print("file actions end to end: ok")


main()
