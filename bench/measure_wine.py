#!/usr/bin/env python3
"""Measures the Windows program under Wine, each figure beside a reference of
the same run: the time from start to the first painted frame beside a plain
JUCE window cross-built the same way, as bench/measure_editor.py does on
Linux (the program with the virtual unit's hidapi.dll beside it, in place of
the USB bus); then job_bench under Wine: a backup, a restore and a firmware
update against the virtual unit at 1 ms per report each way, beside the
wire-bound minimum. A measurement, not a test: it prints figures.

Build first with tools/windows-build.sh --benchmarks (tools/dev windows-bench
does both).

usage: bench/measure_wine.py [WINDOWS_BUILD_DIR] [RUNS]
"""
import glob
import os
import shutil
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..")
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
sys.path.insert(0, os.path.join(root, "tests", "e2e", "wine"))
from editor_harness import Display, wait_until  # noqa: E402
from screen_probe import Screen  # noqa: E402
from wine_harness import WineEditor, WinePrefix  # noqa: E402

app = os.path.abspath(os.path.join(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build-windows"), "app"))
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5


def find(pattern):
    # Never a recursive pattern: a Wine prefix in the build folder holds a
    # link to the root of the file system.
    found = sorted(glob.glob(os.path.join(app, pattern)))
    if not found:
        sys.exit("not built: %s (tools/windows-build.sh --benchmarks)" % pattern)
    return found[0]


editor_path = find("Source/QuellonEditor_artefacts/*/Quellon Editor.exe")
reference_path = find("bench/plain_window_reference_artefacts/*/Plain Window.exe")
shim_path = find("tools/virtual_unit/shim/hidapi.dll")
job_bench_path = find("bench/job_bench.exe")
work = os.path.join(app, "bench", "wine")


def first_frame(program, title, prefix, display, screen, log_path):
    """Seconds from start until the window shows something other than black."""
    run = WineEditor(program, prefix, display, 0, log_path)
    try:
        run.window = wait_until(lambda: (run.windows(title) or [None])[0], 60, "the window " + title)
        x, y, width, _ = run.geometry()
        wait_until(lambda: screen.pixel(x + width // 2, y + 100) != 0, 60, "the first frame")
        return time.monotonic() - run.started
    finally:
        run.kill()


def main():
    program_folder = os.path.join(work, "program")
    shutil.rmtree(program_folder, ignore_errors=True)
    os.makedirs(program_folder)
    editor_copy = os.path.join(program_folder, "Quellon Editor.exe")
    shutil.copyfile(editor_path, editor_copy)
    shutil.copyfile(shim_path, os.path.join(program_folder, "hidapi.dll"))

    frames = {"editor": [], "reference": []}
    display = Display()
    prefix = None
    try:
        prefix = WinePrefix(os.path.join(work, "prefix"), os.path.join(root, "tools", "windows-prefix.sh"), display)
        screen = Screen(display.name)
        for run in range(runs):
            for key, program, title in (("reference", reference_path, "Plain Window"),
                                        ("editor", editor_copy, "Quellon Editor")):
                frames[key].append(first_frame(program, title, prefix, display, screen,
                                               os.path.join(work, "%s%d.log" % (key, run))))
        jobs = subprocess.run(["wine", job_bench_path], env=prefix.env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
    finally:
        if prefix:
            prefix.close()
        display.close()

    editor = statistics.median(frames["editor"]) * 1000.0
    reference = statistics.median(frames["reference"]) * 1000.0
    print("%d runs each under Wine on Xvfb; medians (program | plain JUCE window as reference | ratio)" % runs)
    print("  %-30s %8.1f | %8.1f ms | x%.2f" % ("start to first painted frame", editor, reference, editor / reference))
    print("  (each run, ms: program %s; reference %s)" % (
        " ".join("%.0f" % (v * 1000) for v in frames["editor"]),
        " ".join("%.0f" % (v * 1000) for v in frames["reference"])))
    print()
    print("job_bench under Wine (1 ms per report each way; wire_bound_ms = 2 ms x the exchanges the unit counted):")
    print(jobs.stdout)
    if jobs.returncode != 0:
        sys.exit("job_bench ended with status %d:\n%s" % (jobs.returncode, jobs.stderr[-3000:]))


main()
