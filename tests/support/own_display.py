#!/usr/bin/env python3
"""Runs a command on an X server of its own, for the command's whole life.

    own_display.py COMMAND [ARGUMENTS...]

The server is an Xvfb that picks a free display number itself (-displayfd),
so two runs never share one, and it dies with this script, however that ends.
A test that found some other program's server under DISPLAY (or JUCE's
fallback ":0.0") would be ended by Xlib the moment that server went away.
The command's exit status is this script's.
"""
import ctypes
import os
import signal
import subprocess
import sys

SCREEN = "1920x1040x24"
PR_SET_PDEATHSIG = 1


def die_with_parent():
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def start_server():
    """The Xvfb and its display name, or (None, None) when it did not start."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=die_with_parent)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        server.wait()
        return None, None
    return server, ":" + number


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2

    server, display = start_server()
    if server is None:
        print("own_display: Xvfb did not start", file=sys.stderr)
        return 1

    try:
        test = subprocess.Popen(sys.argv[1:], env=dict(os.environ, DISPLAY=display))
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, lambda received, _: test.send_signal(received))
        status = test.wait()
    finally:
        server.terminate()
        server.wait()

    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main())
