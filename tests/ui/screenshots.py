#!/usr/bin/env python3
"""Screenshots of the real program under a private Xvfb display, on a fresh data folder once
per theme: it paints, reports no QML error, opens no network socket, writes nothing but its
settings, and a second launch hands over to it. Then the program's window over a wallet
unlocked on loopback fixtures, with balances and tokens, in both themes (ShellScreens
portfolio: the portfolio shows, every chain disc has its glyph, the busy indicator is seen).
PNGs (grabbed by ShellScreens) go to --out.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message, flush=True)


def start_xvfb(xvfb):
    read_fd, write_fd = os.pipe()
    process = subprocess.Popen(
        [xvfb, "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
         "-nolisten", "unix", "-noreset"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        number = pipe.readline().strip()
    if not number:
        process.kill()
        sys.exit("Xvfb did not start")
    return process, ":" + number


def environment(display, root):
    areas = ("home", "data", "config", "cache", "runtime", "tmp")
    for name in areas:
        os.makedirs(os.path.join(root, name), mode=0o700)
    env = {n: os.environ[n] for n in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "PATH")
           if n in os.environ}
    env.update({"XDG_%s_HOME" % n.upper(): os.path.join(root, n) for n in areas[1:4]})
    env.update(HOME=os.path.join(root, "home"),
               XDG_RUNTIME_DIR=os.path.join(root, "runtime"), TMPDIR=os.path.join(root, "tmp"),
               DISPLAY=display, QT_QPA_PLATFORM="xcb", LIBGL_ALWAYS_SOFTWARE="1",
               # No session bus: the keychain probe fails fast and no bus is started for us.
               DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(root, "no-bus"))
    return env


def internet_sockets(pid):
    """The TCP/UDP sockets the process holds (loopback or not)."""
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            match = re.fullmatch(r"socket:\[(\d+)\]", os.readlink(f"/proc/{pid}/fd/{fd}"))
        except OSError:  # closed meanwhile
            continue
        if match:
            inodes.add(match.group(1))
    tables = ("tcp", "tcp6", "udp", "udp6")
    return {f"{table} {fields[2]}" for table in tables
            for fields in (line.split() for line in open(f"/proc/{pid}/net/{table}"))
            if len(fields) > 9 and fields[9] in inodes}


def run_program(args, theme, out_name):
    root = tempfile.mkdtemp(prefix="qm-shell-")
    try:
        env = environment(args.display, root)
        settings = os.path.join("config", "Quillmark", "Quillmark.conf")
        if theme:
            os.makedirs(os.path.join(root, "config", "Quillmark"))
            with open(os.path.join(root, settings), "w") as handle:
                handle.write(f"[General]\napp_theme={theme}\n")
        log_err = open(os.path.join(root, "stderr.txt"), "w+")
        program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=log_err)
        shot = os.path.join(args.out, out_name)
        # Wait (bounded) until the window has painted, then until two grabs agree.
        colours, previous, deadline = 0, -1, time.monotonic() + 90
        while time.monotonic() < deadline and program.poll() is None:
            grabbed = subprocess.run([args.screens, "grab", shot], env=env, capture_output=True,
                                     text=True, timeout=60).stdout
            colours = int((re.search(r"colours (\d+)", grabbed) or [0, 0])[1])
            if colours > 20 and colours == previous:
                break
            previous = colours
            time.sleep(0.5)
        if program.poll() is not None:
            fail(f"{out_name}: the program ended early with status {program.returncode}")
        elif colours <= 20:
            fail(f"{out_name}: the window is blank ({colours} colours)")
        elif internet_sockets(program.pid):
            fail(f"{out_name}: network sockets before unlock: {internet_sockets(program.pid)}")

        second = subprocess.run([args.program], env=env, capture_output=True, text=True,
                                timeout=60)
        if second.returncode != 0 or "already running" not in second.stdout:
            fail(f"{out_name}: second launch: status {second.returncode}, {second.stdout!r}")
        if program.poll() is not None:
            fail(f"{out_name}: the first instance ended after the second launch")

        program.send_signal(signal.SIGTERM)
        try:
            program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
        log_err.seek(0)
        errors = [line for line in log_err.read().splitlines() if any(
            mark in line for mark in ("qrc:/", "QML", "ReferenceError", "TypeError"))]
        if errors:
            fail(f"{out_name}: QML errors: {errors[:5]}")
        # The cache folder is left out: Qt and Mesa keep compiled shaders there.
        written = [os.path.relpath(os.path.join(folder, name), root)
                   for area in ("data", "config", "home")
                   for folder, _, names in os.walk(os.path.join(root, area)) for name in names]
        if [f for f in written if f != settings]:
            fail(f"{out_name}: start-up wrote {sorted(written)}")
        print(f"{out_name}: {colours} colours", flush=True)
        return shot
    finally:
        shutil.rmtree(root, ignore_errors=True)


def run_unlocked_window(args):
    root = tempfile.mkdtemp(prefix="qm-portfolio-")
    try:
        run = subprocess.run([args.screens, "portfolio", args.out],
                             env=environment(args.display, root), capture_output=True, text=True,
                             timeout=180)
        print(run.stdout, end="", flush=True)
        if run.returncode != 0:
            fail(f"the unlocked window: status {run.returncode}, {run.stderr[-2000:]}")
        errors = [line for line in run.stderr.splitlines() if any(
            mark in line for mark in ("qrc:/", "QML", "ReferenceError", "TypeError"))]
        if errors:
            fail(f"the unlocked window: QML errors: {errors[:5]}")
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    for name in ("--xvfb", "--program", "--screens", "--out"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    xvfb, args.display = start_xvfb(args.xvfb)
    try:
        blue = run_program(args, None, "fresh-apple-blue.png")
        green = run_program(args, "Dollar Green", "fresh-dollar-green.png")
        with open(blue, "rb") as a, open(green, "rb") as b:
            if a.read() == b.read():
                fail("the two themes look the same")
        run_unlocked_window(args)
    finally:
        xvfb.terminate()
        xvfb.wait()
    if failures:
        sys.exit(1)
    print("screenshots in", args.out)


if __name__ == "__main__":
    main()
