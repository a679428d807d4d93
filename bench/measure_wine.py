#!/usr/bin/env python3
"""Measures the Windows program under Wine, each figure beside a reference of
the same run: the time from start to the first painted frame and the CPU
used while idle (no unit, the 20 s after the first frame and a short settle)
beside a plain JUCE window cross-built the same way, as bench/measure_editor.py
does on Linux (the program with the virtual unit's hidapi.dll beside it, in
place of the USB bus); then job_bench under Wine: a backup, a restore and a firmware
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
IDLE_SECONDS = 20
SETTLE_SECONDS = 2


def cpu_seconds(pid):
    """User and system time of one process so far; 0 once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def processes():
    """(pid, parent pid) of every process of the machine."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    found.append((int(entry), int(f.read().rsplit(")", 1)[1].split()[1])))
            except OSError:
                pass
    return found


def program_processes(root_pid):
    """The program's process and whatever it started."""
    family = {root_pid}
    table = processes()
    grown = True
    while grown:
        grown = False
        for pid, parent in table:
            if parent in family and pid not in family:
                family.add(pid)
                grown = True
    return family


def prefix_processes(prefix_path):
    """Every process of the prefix: the program, wineserver and Wine's own helpers."""
    wanted = ("WINEPREFIX=" + prefix_path).encode()
    found = set()
    for pid, _ in processes():
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.add(pid)
        except OSError:
            pass
    return found


def idle_cpu(run, prefix):
    """Percent of one core over IDLE_SECONDS: the program's processes, and all of the prefix's."""
    time.sleep(SETTLE_SECONDS)
    groups = (program_processes(run.process.pid), prefix_processes(prefix.path))
    before = [sum(cpu_seconds(pid) for pid in group) for group in groups]
    start = time.monotonic()
    time.sleep(IDLE_SECONDS)
    elapsed = time.monotonic() - start
    return [100.0 * (sum(cpu_seconds(pid) for pid in group) - used) / elapsed for group, used in zip(groups, before)]


def first_frame_and_idle(program, title, prefix, display, screen, log_path):
    """Seconds from start until the window shows something other than black,
    then the CPU the idle program uses (idle_cpu)."""
    run = WineEditor(program, prefix, display, 0, log_path)
    try:
        run.window = wait_until(lambda: (run.windows(title) or [None])[0], 60, "the window " + title)
        x, y, width, _ = run.geometry()
        wait_until(lambda: screen.pixel(x + width // 2, y + 100) != 0, 60, "the first frame")
        seconds = time.monotonic() - run.started
        return seconds, idle_cpu(run, prefix)
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
    idle = {"editor": [], "reference": []}
    display = Display()
    prefix = None
    try:
        prefix = WinePrefix(os.path.join(work, "prefix"), os.path.join(root, "tools", "windows-prefix.sh"), display)
        screen = Screen(display.name)
        for run in range(runs):
            for key, program, title in (("reference", reference_path, "Plain Window"),
                                        ("editor", editor_copy, "Quellon Editor")):
                seconds, cpu = first_frame_and_idle(program, title, prefix, display, screen,
                                                    os.path.join(work, "%s%d.log" % (key, run)))
                frames[key].append(seconds)
                idle[key].append(cpu)
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
    for label, index in (("CPU idle, no unit: program", 0), ("  with wineserver and helpers", 1)):
        e = statistics.median(v[index] for v in idle["editor"])
        r = statistics.median(v[index] for v in idle["reference"])
        print("  %-30s %8.1f | %8.1f %% of one core | %+.1f points" % (label, e, r, e - r))
    print("  (idle: the %d s after the first frame and %d s more; each run, program %%: %s; reference %s)" % (
        IDLE_SECONDS, SETTLE_SECONDS,
        " ".join("%.1f" % v[0] for v in idle["editor"]), " ".join("%.1f" % v[0] for v in idle["reference"])))
    print()
    print("job_bench under Wine (1 ms per report each way; wire_bound_ms = 2 ms x the exchanges the unit counted):")
    print(jobs.stdout)
    if jobs.returncode != 0:
        sys.exit("job_bench ended with status %d:\n%s" % (jobs.returncode, jobs.stderr[-3000:]))


main()
