#!/usr/bin/env python3
"""The hidapi shim preloaded into a plain hidapi program: with no device
attached, the program sees the virtual units that the test plugs in through
the shim's control socket, and the units record what the program sent.

usage: shim_preload_test.py PROBE SHIM CLIENT
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

probe_path, shim_path, client_path = sys.argv[1:4]


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def ask(probe, line):
    """Sends one probe command and returns its answer lines."""
    probe.stdin.write(line + "\n")
    probe.stdin.flush()
    lines = []
    while True:
        answer = probe.stdout.readline()
        if not answer:
            fail("the probe ended early")
        answer = answer.rstrip("\n")
        if line != "list":
            return [answer]
        if answer == "end":
            return lines
        lines.append(answer)


def control(socket_path, command):
    """One command over the control socket, as a Python script would send it."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.connect(socket_path)
        s.sendall((command + "\n").encode())
        answer = b""
        while not answer.endswith(b"OK\n") and not any(
                line.startswith(b"ERR") for line in answer.split(b"\n")):
            chunk = s.recv(4096)
            if not chunk:
                break
            answer += chunk
    return answer.decode()


with tempfile.TemporaryDirectory() as folder:
    socket_path = os.path.join(folder, "vbus.sock")
    env = dict(os.environ)
    env["LD_PRELOAD"] = shim_path
    env["QUELLON_VBUS_SOCKET"] = socket_path
    env["QUELLON_VBUS_INIT"] = "plug u1 system=1.0.4 dsp=1.1.0; set u1 wire-us=1000"
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"

    probe = subprocess.Popen([probe_path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             env=env, text=True)
    try:
        listed = ask(probe, "list")
        if listed != ["virtual:u1 04d8 003f"]:
            fail("first enumeration: %r" % listed)

        # The command-line client, waiting for the socket as a script would.
        subprocess.run([client_path, "-s", socket_path, "-w", "10",
                        "plug", "u2", "pid=0x3c", "path=/dev/hidraw-test"], check=True)
        listed = ask(probe, "list")
        if listed != ["virtual:u1 04d8 003f", "/dev/hidraw-test 04d8 003c"]:
            fail("second enumeration: %r" % listed)

        answer = ask(probe, "version virtual:u1")
        if answer != ["system 1.0.4 dsp 1.1.0"]:
            fail("version: %r" % answer)

        frames = control(socket_path, "frames u1")
        if frames != "1 b500\nOK\n":
            fail("frames: %r" % frames)

        status = subprocess.run([client_path, "-s", socket_path, "status", "u1"],
                                check=True, capture_output=True, text=True).stdout
        if "wire-us=1000\n" not in status or "open-handles=0\n" not in status:
            fail("status: %r" % status)

        bad = subprocess.run([client_path, "-s", socket_path, "status", "nobody"],
                             capture_output=True, text=True)
        if bad.returncode != 1 or not bad.stderr.startswith("ERR no unit nobody"):
            fail("an unknown unit: %r" % (bad,))

        ask(probe, "version virtual:gone")
        probe.stdin.write("quit\n")
        probe.stdin.flush()
        if probe.wait(timeout=20) != 0:
            fail("the probe failed")
    finally:
        if probe.poll() is None:
            probe.kill()

    deadline = time.time() + 10
    while os.path.exists(socket_path) and time.time() < deadline:
        time.sleep(0.05)
    if os.path.exists(socket_path):
        fail("the socket file outlived the program")

print("shim preload: ok")
