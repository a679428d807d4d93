#!/usr/bin/env python3
"""Measures the editor as a whole, beside a plain JUCE window as reference:
time from start to the first painted frame, resident memory when idle, CPU
use while idle with no unit (the device poll and nothing else) and while the
busy spinner turns. Runs on an X display of its own, with the hidapi shim in
place of the USB bus. A measurement, not a test: it prints figures.

usage: bench/measure_editor.py [BUILD_DIR] [RUNS]
"""
import glob
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
from editor_harness import Bus, Display, Editor, editor_lock, temporary_folder, wait_until  # noqa: E402
from screen_probe import Screen  # noqa: E402

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build"))
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5


def find(pattern):
    found = sorted(glob.glob(os.path.join(build, pattern), recursive=True))
    if not found:
        sys.exit("not built: " + pattern)
    return found[0]


editor_path = find("Source/**/Quellon Editor")
reference_path = find("bench/**/Plain Window")
shim_path = find("tools/virtual_unit/libquellon_hidapi_shim.so")
client_path = find("tools/virtual_unit/quellon-vbus")

def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def cpu_percent(pid, seconds):
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(pid) - start_cpu) / (time.monotonic() - start)


def first_frame(program, title, display, screen, work, name):
    """Seconds from start until the window shows something other than black."""
    socket_path = os.path.join(work, name + ".sock")
    editor = Editor(program, shim_path, display, os.path.join(work, "home"), socket_path,
                    os.path.join(work, name + ".log"))
    try:
        window = wait_until(lambda: (editor.windows(title) or [None])[0], 60, "the window")
        editor.window = window
        x, y, width, height = editor.geometry()
        wait_until(lambda: screen.pixel(x + width // 2, y + 100) != 0, 60, "the first frame")
        return time.monotonic() - editor.started, editor
    except Exception:
        editor.kill()
        raise


def main():
    results = {"editor": {"frame": [], "rss": [], "idle": []}, "reference": {"frame": [], "rss": [], "idle": []}}
    spinner = []
    with editor_lock(), temporary_folder() as work:
        display = Display()
        screen = Screen(display.name)
        try:
            for run in range(runs):
                for key, program, title in (("reference", reference_path, "Plain Window"),
                                            ("editor", editor_path, "Quellon Editor")):
                    seconds, process = first_frame(program, title, display, screen, work, "%s%d" % (key, run))
                    try:
                        results[key]["frame"].append(seconds)
                        time.sleep(5)   # settled: start-up work and the first polls are over
                        results[key]["rss"].append(resident_mib(process.process.pid))
                        results[key]["idle"].append(cpu_percent(process.process.pid, 10))
                        if key == "editor" and run == 0:
                            # A unit that never answers its version request keeps the
                            # refresh (and the spinner) going for a minute.
                            bus = Bus(client_path, os.path.join(work, "editor0.sock"))
                            bus.wait_ready()
                            bus.command("plug u1")
                            bus.command("fault u1 silent type=0xb5")
                            process.wait_log("DEBUG: Starting refresh", timeout=30)
                            time.sleep(1)
                            spinner.append(cpu_percent(process.process.pid, 20))
                    finally:
                        process.kill()
        finally:
            display.close()

    def median(values):
        return statistics.median(values)

    print("%d runs each on Xvfb; medians (editor | plain JUCE window as reference | ratio)" % runs)
    for label, key, unit in (("start to first painted frame", "frame", "ms"),
                             ("resident memory, idle", "rss", "MiB"),
                             ("CPU while idle, no unit", "idle", "% of one core")):
        scale = 1000.0 if key == "frame" else 1.0
        e = median(results["editor"][key]) * scale
        r = median(results["reference"][key]) * scale
        print("  %-30s %8.1f | %8.1f %s | x%.2f" % (label, e, r, unit, e / r if r else float("nan")))
    print("  %-30s %8.1f %% of one core (the spinner turning, 20 s)" % ("CPU while the spinner turns",
                                                                      median(spinner)))


main()
