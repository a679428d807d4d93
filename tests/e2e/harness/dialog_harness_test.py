#!/usr/bin/env python3
"""The harness against a probe that shows JUCE's file chooser and popup menu
as the editor does: what the harness types is what the probe gets.

usage (on an X display): dialog_harness_test.py PROBE
"""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xdriver  # noqa: E402

PROBE = sys.argv.pop(1) if len(sys.argv) > 1 else "dialog_probe"


class Probe:
    def __init__(self, *args):
        self.process = subprocess.Popen([PROBE, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)

    def answer(self):
        out, _ = self.process.communicate(timeout=xdriver.DEFAULT_TIMEOUT)
        return out.strip().split("\n")[-1]

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class DialogHarness(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.dir = self.folder.name
        self.probes = []

    def tearDown(self):
        for probe in self.probes:
            probe.kill()
        self.folder.cleanup()

    def probe(self, *args):
        probe = Probe(*args)
        self.probes.append(probe)
        return probe

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def test_opens_a_file_in_another_folder(self):
        os.makedirs(self.path("other folder"))
        wanted = self.path("other folder", "My Cab.WAV")
        open(wanted, "wb").close()
        probe = self.probe("open", "Import Cabinet", "*.wav;*.cab", self.dir)
        xdriver.choose_file("Import Cabinet", wanted)
        self.assertEqual(probe.answer(), "CHOSEN " + wanted)

    def test_saves_to_a_new_file_and_asks_before_overwriting(self):
        target = self.path("Backup 1.bbu")
        probe = self.probe("save", "Save Backup Bundle", "*.bbu", self.path("Backup.bbu"))
        xdriver.choose_file("Save Backup Bundle", target)
        self.assertEqual(probe.answer(), "CHOSEN " + target)

        open(target, "wb").close()
        probe = self.probe("save", "Save Backup Bundle", "*.bbu", self.path("Backup.bbu"))
        xdriver.choose_file("Save Backup Bundle", target)
        xdriver.answer_overwrite(True)
        self.assertEqual(probe.answer(), "CHOSEN " + target)

    def test_cancel(self):
        probe = self.probe("open", "Restore Backup Bundle", "*.bbu", self.dir)
        xdriver.cancel_dialog("Restore Backup Bundle")
        self.assertEqual(probe.answer(), "CANCELLED")

    def test_menu_items_by_position(self):
        probe = self.probe("menu", "-Backup", "-Restore", "Update Firmware", "Update Firmware from File")
        xdriver.pick_menu_item(4, 4)
        self.assertEqual(probe.answer(), "ITEM 4")

        items = ["From File...", "BYPASS", "1x12", "1x15", "2x15", "4x10", "8x10 Boogie", "8x10 SVT"]
        for position in (1, 5, 8):
            probe = self.probe("menu", *items)
            xdriver.pick_menu_item(position, len(items))
            self.assertEqual(probe.answer(), "ITEM %d" % position)

    def test_a_disabled_item_does_nothing_and_escape_dismisses(self):
        probe = self.probe("menu", "-Backup", "-Restore", "Update Firmware", "Update Firmware from File")
        menu = xdriver.wait_for_window("menu")
        _, _, width, height = xdriver.geometry(menu)
        time.sleep(xdriver.MENU_GUARD_SECONDS)
        xdriver.click_in(menu, width / 2, xdriver.MENU_BORDER + 11)   # on "Backup"
        xdriver.dismiss_menu()
        self.assertEqual(probe.answer(), "ITEM 0")


if __name__ == "__main__":
    unittest.main()
