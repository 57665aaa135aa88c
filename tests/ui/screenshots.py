#!/usr/bin/env python3
"""Screenshots of the window under a private Xvfb display.

Starts the real program on a fresh data folder (once per theme), checks that it painted,
reported no QML error, opened no network socket and wrote nothing but its settings; checks
that a second launch hands over to the first and exits; then shows an unlocked wallet on
loopback fixtures (ShellScreens) in both themes. PNGs go to --out.
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
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        process.kill()
        sys.exit("Xvfb did not start")
    return process, ":" + number.decode().strip()


def environment(display, root):
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": os.path.join(root, "home"),
        "DISPLAY": display,
        "XDG_DATA_HOME": os.path.join(root, "data"),
        "XDG_CONFIG_HOME": os.path.join(root, "config"),
        "XDG_CACHE_HOME": os.path.join(root, "cache"),
        "XDG_RUNTIME_DIR": os.path.join(root, "runtime"),
        "TMPDIR": os.path.join(root, "tmp"),
        # No session bus: the keychain probe fails fast and no bus is started for us.
        "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(root, "no-bus"),
        "QT_QPA_PLATFORM": "xcb",
        "LIBGL_ALWAYS_SOFTWARE": "1",
    }
    # A sanitized build's options pass through (the test sets them for the programs).
    for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    for name in ("home", "data", "config", "cache", "runtime", "tmp"):
        os.makedirs(os.path.join(root, name), mode=0o700, exist_ok=True)
    return env


def internet_sockets(pid):
    """Inodes of the TCP/UDP sockets the process holds (loopback or not)."""
    inodes = set()
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                target = os.readlink(f"/proc/{pid}/fd/{fd}")
            except OSError:
                continue
            match = re.fullmatch(r"socket:\[(\d+)\]", target)
            if match:
                inodes.add(match.group(1))
    except OSError:
        return set()
    found = set()
    for table in ("tcp", "tcp6", "udp", "udp6"):
        try:
            with open(f"/proc/{pid}/net/{table}") as handle:
                for line in handle.readlines()[1:]:
                    fields = line.split()
                    if len(fields) > 9 and fields[9] in inodes:
                        found.add(f"{table} {fields[2]}")
        except OSError:
            pass
    return found


def grab(screens, env, out):
    result = subprocess.run([screens, "grab", out], env=env, capture_output=True, text=True,
                            timeout=60)
    match = re.search(r"colours (\d+)", result.stdout)
    return int(match.group(1)) if match else 0


def qml_errors(text):
    return [line for line in text.splitlines()
            if "qrc:/" in line or "QML" in line or "ReferenceError" in line
            or "TypeError" in line]


def written_files(root):
    files = []
    # The cache folder is left out: Qt and Mesa keep compiled shaders there.
    for area in ("data", "config", "home"):
        base = os.path.join(root, area)
        for folder, _, names in os.walk(base):
            for name in names:
                files.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(files)


def run_program(args, theme, out_name):
    root = tempfile.mkdtemp(prefix="qm-shell-")
    try:
        env = environment(args.display, root)
        if theme:
            settings = os.path.join(root, "config", "Quillmark")
            os.makedirs(settings, exist_ok=True)
            with open(os.path.join(settings, "Quillmark.conf"), "w") as handle:
                handle.write(f"[General]\napp_theme={theme}\n")
        before = written_files(root)
        log_out = open(os.path.join(root, "stdout.txt"), "w+")
        log_err = open(os.path.join(root, "stderr.txt"), "w+")
        program = subprocess.Popen([args.program], env=env, stdout=log_out, stderr=log_err)
        shot = os.path.join(args.out, out_name)
        colours = 0
        # Wait (bounded) until the window has painted, then until two grabs agree.
        deadline = time.monotonic() + 90
        previous = -1
        while time.monotonic() < deadline and program.poll() is None:
            colours = grab(args.screens, env, shot)
            if colours > 20 and colours == previous:
                break
            previous = colours
            time.sleep(0.5)
        if program.poll() is not None:
            fail(f"{out_name}: the program ended early with status {program.returncode}")
        elif colours <= 20:
            fail(f"{out_name}: the window is blank ({colours} colours)")
        sockets = internet_sockets(program.pid)
        if sockets:
            fail(f"{out_name}: network sockets before unlock: {sorted(sockets)}")

        # A second launch shows the first one's window and exits.
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
        errors = qml_errors(log_err.read())
        if errors:
            fail(f"{out_name}: QML errors: {errors[:5]}")
        # Start-up writes nothing but its settings (the settings file is ours when themed).
        allowed = {os.path.join("config", "Quillmark", "Quillmark.conf")}
        new_files = [f for f in written_files(root) if f not in before and f not in allowed]
        if new_files:
            fail(f"{out_name}: start-up wrote {new_files}")
        print(f"{out_name}: {colours} colours", flush=True)
        return shot
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--xvfb", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--screens", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    xvfb, args.display = start_xvfb(args.xvfb)
    try:
        blue = run_program(args, None, "fresh-apple-blue.png")
        green = run_program(args, "Dollar Green", "fresh-dollar-green.png")
        with open(blue, "rb") as a, open(green, "rb") as b:
            if a.read() == b.read():
                fail("the two themes look the same")

        root = tempfile.mkdtemp(prefix="qm-shell-")
        try:
            env = environment(args.display, root)
            result = subprocess.run([args.screens, "unlocked", args.out], env=env,
                                    capture_output=True, text=True, timeout=180)
            print(result.stdout, flush=True)
            if result.returncode != 0:
                fail(f"unlocked wallet: status {result.returncode}: "
                     f"{qml_errors(result.stderr)[:5] or result.stderr[-2000:]}")
        finally:
            shutil.rmtree(root, ignore_errors=True)
    finally:
        xvfb.terminate()
        xvfb.wait()
    if failures:
        sys.exit(1)
    print("screenshots in", args.out)


if __name__ == "__main__":
    main()
