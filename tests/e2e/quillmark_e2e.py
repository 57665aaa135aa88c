#!/usr/bin/env python3
"""The real quillmark program as a user runs it, end to end.

Each scenario gets a fresh home folder, its own X server (Xvfb), its own D-Bus session and,
where it has one, its own gnome-keyring. The program is driven with real input (xdotool);
what the window shows is read back through its accessibility tree (AT-SPI), what it stored
from the files and the keyring (secret-tool). The whole run sits in a network namespace of
its own, so the refresh that starts after an unlock fails at once instead of reaching out.

    quillmark_e2e.py <quillmark binary> [scenario ...]

QM_E2E_KEEP=1 keeps each scenario's folder (screenshots, logs); a failed one is always kept.
Scenarios: keyring (an unlocked keyring), locked (the keyring is locked while a wallet is
in it: the keyring's own unlock prompt, dismissed then answered, and "Try Again"), absent (no Secret Service on the bus), nodialog (the file dialog's Qt module is
missing), walletconnect (a dApp of the real WalletConnect client on a loopback relay pairs,
gets a signature and a rejection), send (Bitcoin sent through a loopback Electrum server set in
Network settings, the broadcast checked by bitcoinjs-lib), filedialogs (the backup's save and
open dialogs driven by clicks), clipboard (a copied recovery phrase leaves the clipboard at lock
and at quit, and is handed to no clipboard manager), keyringgone (the keyring that holds the
wallet is not running: it is waited for, and a restore is refused), keyringout (the same
keyring gone for good: the phrase restored into files, which later starts open, and whose
deletion shows the keyring's wallet again), lockedwallet (a keyring
locked while the program runs: the lock screen says so, and delete, restore and the lock
screen's reset unlock it first or change nothing), lockedrecord (a Bitcoin address added while
the keyring is locked asks it to unlock, says so when it stays locked, and the next start shows
what was stored), nodisplay (no graphical session: one line, status 1), offline (no server can
be reached: the account screens say what they could not load), stalled (every server accepts
the connection and never answers: the account screen says its lists are loading, no balance
reads as a zero, and a minute on the balances say they could not be loaded), spoken (the
same silent servers: what the window shows is read over AT-SPI, the portfolio's figures, each
sheet by its title, the quotes and the token lookup while they wait, each Bitcoin address and a
copy button named by it, nothing scrolled under the status bar as showing, and nothing read as
showing that is not drawn: a hidden note, a step not reached, an empty box), focus (Tab
draws a ring in the theme's colour around the control it reaches), themepicker (the swap's
token picker opened again and again with the theme switched in between), keptsend (a Bitcoin
send the server took while answering an error outlives a quit: listed as pending after the next
unlock, and a second send spends its coin, so one payment lands), unreadablerecord (a record
of sent transactions that is not UTF-8 is set aside byte for byte at the unlock, which says so
once, naming the file; the keyboard keeps its place: on the notice's OK, which Return presses,
then on the portfolio's first control, on a sheet opened and closed from the keys, and on
the first control of an account opened from its sidebar row). Exit
status 0 when all pass; a scenario (or a check) that cannot run here prints "SKIP: <reason>",
and the run exits 77 when no scenario ran.
"""

import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import warnings

warnings.filterwarnings("ignore", category=DeprecationWarning)

SCENARIOS = ["keyring", "locked", "lockedstart", "absent", "nodialog", "walletconnect", "send"]
SCENARIOS += ["filedialogs", "clipboard"]
SCENARIOS += ["keyringgone", "lockedwallet", "lockedrecord", "nodisplay"]
SCENARIOS += ["offline", "keyringout", "stalled", "spoken"]
SCENARIOS += ["focus", "themepicker", "keptsend", "unreadablerecord"]
PEERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "peers")
SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src")
# The QML module Qt Quick's file dialog is built from; "nodialog" hides it.
FOLDER_MODEL = "/usr/lib/x86_64-linux-gnu/qt6/qml/Qt/labs/folderlistmodel"
PASSWORD = "quillmark e2e 1"
KEYRING_PASSWORD = "keyring-e2e"
PHRASE = "abandon " * 11 + "about"
# The phrase's first and second Bitcoin receive addresses (BIP-84's published vectors).
BTC_ADDRESS = "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu"
BTC_SECOND_ADDRESS = "bc1qnjg0jd8228aq7egyzacy8cys3knf9xvrerkf9g"
# The phrase's first Ethereum address (BIP-44's m/44'/60'/0'/0/0).
ETH_ADDRESS = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"
SERVICE = "com.quillmark.wallet"
SKIP = 77
# The theme switches of "themepicker", and the picker's openings after each.
THEME_PICKER_CYCLES = int(os.environ.get("QM_E2E_THEME_CYCLES", "4"))
PICKER_OPENINGS = 2
# The focus ring: the light accent of the default theme, Apple Blue.
RING = (100, 181, 255)
# Every wait is for a condition; this bounds each one (the machine may be loaded).
WAIT = float(os.environ.get("QM_E2E_WAIT", "60"))


# The start of what the welcome screen says when a wallet's items are stored without a record
# that can be read.
UNREADABLE_NOTICE = "A wallet's protected items were found on this computer"


class Skip(Exception):
    pass


def log(*parts):
    print("[e2e]", *parts, flush=True)


def wait_for(what, condition, timeout=WAIT, interval=0.2):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


def run(args, check=True, **kwargs):
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    kwargs.setdefault("text", True)
    kwargs.setdefault("timeout", 60)
    result = subprocess.run(args, **kwargs)
    if check and result.returncode != 0:
        raise AssertionError(f"{args[0]} failed ({result.returncode}): {result.stderr.strip()}")
    return result


# ---------------------------------------------------------------------------------------------
# Outside: the network namespace and one D-Bus session per scenario.


def isolate_network():
    """Re-runs this script in a network namespace with nothing but a loopback device."""
    if os.environ.get("QM_E2E_ISOLATED") == "1":
        # Up, for the servers a scenario runs on loopback; nothing else is reachable.
        if shutil.which("ip"):
            subprocess.run(["ip", "link", "set", "lo", "up"], stderr=subprocess.DEVNULL)
        # X servers of scenarios running side by side all take display :0 (their abstract
        # sockets live in their own network namespaces) but would share the socket files: a
        # folder of this namespace's own keeps a client from reaching another scenario's server.
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=1777", "tmpfs", "/tmp/.X11-unix"],
                       stderr=subprocess.DEVNULL)
        # Each X server compiles its keymap into /var/lib/xkb/server-<display>.xkm: servers of
        # one display number side by side (these, or a bench's on the machine's own :0) would
        # overwrite each other's file, and one of them dies at start ("Xvfb did not start").
        if os.path.isdir("/var/lib/xkb"):
            subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "tmpfs", "/var/lib/xkb"],
                           stderr=subprocess.DEVNULL)
        return
    if not shutil.which("unshare"):
        raise Skip("unshare is not installed: the program could reach the network")
    for flags in (["-nm"], ["-rnm"], ["-n"], ["-rn"]):
        if subprocess.run(["unshare", *flags, "true"], stderr=subprocess.DEVNULL).returncode == 0:
            env = dict(os.environ, QM_E2E_ISOLATED="1")
            os.execvpe("unshare", ["unshare", *flags, sys.executable, *sys.argv], env)
    raise Skip("no network namespace can be made here: the program could reach the network")


def session_config(work):
    """A session bus that activates the accessibility bus and nothing else (no keyring)."""
    services = os.path.join(work, "services")
    os.makedirs(services)
    shutil.copy("/usr/share/dbus-1/services/org.a11y.Bus.service", services)
    path = os.path.join(work, "session.conf")
    with open(path, "w") as f:
        f.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir={work}</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""")
    return path


def outer(binary, scenarios):
    for tool in ("Xvfb", "xdotool", "xclip", "xwd", "gdbus", "dbus-run-session", "secret-tool",
                 "gnome-keyring-daemon"):
        if not shutil.which(tool):
            raise Skip(f"{tool} is not installed (scripts/install-deps)")
    try:
        import gi

        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi

        del Atspi
    except (ImportError, ValueError) as error:
        raise Skip(f"the AT-SPI client is not installed ({error})")
    if not os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service"):
        raise Skip("at-spi2-core is not installed")
    isolate_network()
    failed, skipped = [], []
    for scenario in scenarios:
        work = tempfile.mkdtemp(prefix=f"qm-e2e-{scenario}.")
        started = time.monotonic()
        log(f"--- {scenario} ({work})")
        args = ["dbus-run-session"]
        if scenario in ("absent", "nodialog", "walletconnect", "send", "keptsend", "keyringgone",
                        "keyringout"):
            args += ["--config-file", session_config(work)]
        if scenario in ("stalled", "spoken"):
            if subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode != 0:
                print(f"SKIP: {scenario}: the server names cannot be pointed at loopback here",
                      flush=True)
                skipped.append(scenario)
                continue
            # Every server name the program knows leads to this machine, in a mount namespace.
            hosts = os.path.join(work, "hosts")
            with open(hosts, "w") as f:
                f.write("127.0.0.1 localhost\n")
                f.writelines(f"127.0.0.1 {name}\n" for name in server_names())
            args = ["unshare", "-m", "sh", "-c", f'mount --bind "{hosts}" /etc/hosts && '
                    'exec "$@"', "sh", *args]
        if scenario == "nodialog":
            if not os.path.isdir(FOLDER_MODEL) or subprocess.run(
                    ["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode != 0:
                print("SKIP: nodialog: the file dialog's module cannot be hidden here", flush=True)
                skipped.append(scenario)
                continue
            # A machine without the file dialog's module: hidden in a mount namespace.
            empty = os.path.join(work, "empty")
            os.makedirs(empty)
            args = ["unshare", "-m", "sh", "-c", f'mount --bind "{empty}" "{FOLDER_MODEL}" && '
                    'exec "$@"', "sh", *args]
        args += ["--", sys.executable, os.path.abspath(__file__), "--inside", scenario, binary, work]
        # The buses' own chatter goes to a file; it is shown when the scenario fails.
        bus_log = os.path.join(work, "session.log")
        try:
            with open(bus_log, "w") as errors:
                status = subprocess.run(args, timeout=600, stderr=errors,
                                        env=session_environment(work)).returncode
        except subprocess.TimeoutExpired:
            status = 1
            log(f"{scenario}: did not end within 600 s")
        if status not in (0, SKIP):
            with open(bus_log) as errors:
                sys.stdout.write(errors.read())
        log(f"--- {scenario}: {['passed', 'FAILED'][status not in (0, SKIP)] if status != SKIP else 'skipped'}"
            f" in {time.monotonic() - started:.1f} s")
        if status == SKIP:
            skipped.append(scenario)
        elif status != 0:
            failed.append(scenario)
            continue  # keep the screenshots and logs of a failure
        if os.environ.get("QM_E2E_KEEP") != "1":
            shutil.rmtree(work, ignore_errors=True)
    if failed:
        log("failed:", " ".join(failed))
        return 1
    return SKIP if len(skipped) == len(scenarios) else 0


# ---------------------------------------------------------------------------------------------
# Inside one D-Bus session: the display, the keyring, the program.


def session_environment(work):
    """A fresh home and runtime folder: the session's services and the program use them."""
    home = os.path.join(work, "home")
    run_dir = os.path.join(work, "run")
    os.makedirs(home)
    os.makedirs(run_dir, mode=0o700)
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "GNOME_KEYRING_CONTROL",
                 "SSH_AUTH_SOCK", "http_proxy", "https_proxy", "QT_QPA_PLATFORM",
                 "QT_QPA_PLATFORMTHEME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"):
        env.pop(name, None)
    env.update(HOME=home, XDG_RUNTIME_DIR=run_dir,
               XDG_DATA_HOME=os.path.join(home, ".local/share"),
               XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"), LANG="C.UTF-8")
    return env


class Desktop:
    def __init__(self, work):
        self.work = work
        self.home = os.environ["HOME"]
        self.env = os.environ
        self.xvfb = None
        self.shots = 0

    def start_display(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=(write,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.work, "xvfb.log"), "w"))
        os.close(write)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            raise AssertionError("Xvfb did not start")
        display = ":" + number.decode().strip()
        os.environ["DISPLAY"] = self.env["DISPLAY"] = display
        # What the bus starts (the keyring's prompt) shows on this display too.
        run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
             "/org/freedesktop/DBus", "--method",
             "org.freedesktop.DBus.UpdateActivationEnvironment", f"{{'DISPLAY': '{display}'}}"])
        log("display", display)

    def screenshot(self, tag):
        self.shots += 1
        path = os.path.join(self.work, f"screen-{self.shots:02d}-{tag}.xwd")
        subprocess.run(["xwd", "-root", "-silent", "-out", path], stderr=subprocess.DEVNULL)
        return path

    def stop(self):
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)


class Keyring:
    """gnome-keyring in this session, seen through an independent client (secret-tool)."""

    def start(self):
        result = subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"],
                                input=KEYRING_PASSWORD, text=True, capture_output=True, timeout=30)
        if result.returncode != 0:
            raise Skip("gnome-keyring-daemon did not start: " + result.stderr.strip())
        # Until the daemon owns its name, a client would have the bus start a second one
        # (with a locked keyring and a prompt nobody sees).
        wait_for("gnome-keyring on the bus", self.on_bus, timeout=30)
        wait_for("the Secret Service to answer", self.answers, timeout=30)

    def stop(self):
        """Ends the daemon, as a logout does; the next client has the bus start a new one,
        with the login keyring locked (D-Bus activation does not unlock it)."""
        result = run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                      "--object-path", "/org/freedesktop/DBus", "--method",
                      "org.freedesktop.DBus.GetConnectionUnixProcessID",
                      "org.freedesktop.secrets"])
        os.kill(int(result.stdout.strip().strip("(),").split()[-1]), signal.SIGKILL)
        wait_for("gnome-keyring to leave the bus", lambda: not self.on_bus(), timeout=30)

    def store(self, account, value):
        subprocess.run(["secret-tool", "store", "--label=orphan", "service", SERVICE, "account",
                        account], input=value, text=True, capture_output=True, timeout=20,
                       check=True)

    def on_bus(self):
        result = run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                      "--object-path", "/org/freedesktop/DBus", "--method",
                      "org.freedesktop.DBus.NameHasOwner", "org.freedesktop.secrets"], check=False)
        return "true" in result.stdout

    def answers(self):
        stored = subprocess.run(["secret-tool", "store", "--label=check", "qm-e2e", "ready"],
                                input="ready", text=True, capture_output=True, timeout=20)
        if stored.returncode != 0:
            return False
        run(["secret-tool", "clear", "qm-e2e", "ready"], check=False)
        return True

    def items(self):
        """The accounts of the wallet's items in the keyring."""
        result = run(["secret-tool", "search", "--all", "service", SERVICE], check=False,
                     errors="replace")
        text = result.stdout + result.stderr
        return sorted(line.split("=", 1)[1].strip() for line in text.splitlines()
                      if line.startswith("attribute.account"))

    def lock(self):
        # The Secret Service's own Lock on the default collection, as a screen locker does.
        run(["gdbus", "call", "--session", "--dest", "org.freedesktop.secrets", "--object-path",
             "/org/freedesktop/secrets", "--method", "org.freedesktop.Secret.Service.Lock",
             "['/org/freedesktop/secrets/aliases/default']"])
        wait_for("the keyring to be locked", self.locked)

    def locked(self):
        result = run(["gdbus", "call", "--session", "--dest", "org.freedesktop.secrets",
                      "--object-path", "/org/freedesktop/secrets/aliases/default", "--method",
                      "org.freedesktop.DBus.Properties.Get", "org.freedesktop.Secret.Collection",
                      "Locked"], check=False)
        return "true" in result.stdout

    def answer_prompt(self, password):
        """Answers the keyring's own unlock prompt (gcr-prompter on our display): types the
        keyring's password and Return, or Escape when `password` is None."""
        found = wait_for("the keyring's unlock prompt", lambda: run(
            ["xdotool", "search", "--onlyvisible", "--class", "gcr-prompter"],
            check=False).stdout.split())
        window = found[-1]
        run(["xdotool", "windowfocus", "--sync", window], check=False)
        time.sleep(0.5)  # the prompt takes the keyboard once mapped
        if password is None:
            run(["xdotool", "key", "--clearmodifiers", "Escape"])
        else:
            run(["xdotool", "type", "--delay", "20", "--clearmodifiers", password])
            run(["xdotool", "key", "--clearmodifiers", "Return"])
        wait_for("the prompt to close", lambda: not run(
            ["xdotool", "search", "--onlyvisible", "--class", "gcr-prompter"],
            check=False).stdout.split())

    def unlock(self):
        # What a desktop's unlock dialog does, without the dialog: gnome-keyring's own call
        # takes the password through a Secret Service session on the same connection.
        from gi.repository import Gio, GLib

        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

        def call(path, interface, method, args, reply):
            return bus.call_sync("org.freedesktop.secrets", path, interface, method, args,
                                 GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 20000, None)

        _, session = call("/org/freedesktop/secrets", "org.freedesktop.Secret.Service",
                          "OpenSession", GLib.Variant("(sv)", ("plain", GLib.Variant("s", ""))),
                          "(vo)").unpack()
        secret = (session, b"", KEYRING_PASSWORD.encode(), "text/plain")
        call("/org/freedesktop/secrets",
             "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
             "UnlockWithMasterPassword",
             GLib.Variant("(o(oayays))", ("/org/freedesktop/secrets/collection/login", secret)),
             "()")
        bus.close_sync(None)
        wait_for("the keyring to be unlocked", lambda: not self.locked())


# ---------------------------------------------------------------------------------------------
# The program's window, through AT-SPI (reading) and xdotool (input).


class Window:
    def __init__(self, desktop, binary):
        import gi

        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi

        self.Atspi = Atspi
        self.desktop = desktop
        self.binary = binary
        self.process = None
        self.log = None
        self.app = None

    # -- the process

    def start(self, asan_options=""):
        env = dict(os.environ)
        env.update(
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
            QT_ACCESSIBILITY="1",
            QT_QPA_PLATFORM="xcb",
            # Leaks are the unit tests' business; any other sanitizer finding fails the run.
            ASAN_OPTIONS="detect_leaks=0:abort_on_error=0" + asan_options,
        )
        self.log = open(os.path.join(self.desktop.work, "quillmark.log"), "a")
        self.process = subprocess.Popen([self.binary], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.app = None
        wait_for("the window to appear", lambda: self.find("frame", "Quillmark"))

    def quit(self):
        self.key("ctrl+q")
        try:
            self.process.wait(WAIT)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not quit on Ctrl+Q")
        status = self.process.returncode
        self.process = None
        self.app = None
        assert status == 0, f"the program ended with status {status}"

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)

    # -- reading the window

    def application(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended (status {self.process.returncode})")
        if self.app is not None:
            return self.app
        root = self.Atspi.get_desktop(0)
        for i in range(root.get_child_count()):
            child = root.get_child_at_index(i)
            try:
                if child is not None and child.get_process_id() == self.process.pid:
                    self.app = child
                    return child
            except Exception:
                continue
        return None

    def _showing(self, drawn_only):
        """Every node reported showing, in tree order: (role, box, node). A node not showing
        hides what it holds; with `drawn_only`, so does one with an empty box."""
        app = self.application()
        if app is None:
            return
        showing = self.Atspi.StateType.SHOWING
        screen = self.Atspi.CoordType.SCREEN
        stack = [app]
        while stack:
            node = stack.pop()
            try:
                role = node.get_role_name()
                if role != "application":
                    if not node.get_state_set().contains(showing):
                        continue
                    box = node.get_extents(screen)
                    if drawn_only and (box.width <= 0 or box.height <= 0):
                        continue
                    yield role, box, node
                count = node.get_child_count()
                stack.extend(node.get_child_at_index(i) for i in range(count - 1, -1, -1))
            except Exception:
                continue  # the window changed under us; the next look sees the new one

    @staticmethod
    def _text(node):
        iface = node.get_text_iface()
        return (iface.get_text(0, -1) or "") if iface is not None else ""

    def nodes(self):
        """Every node on screen, in tree order: (role, name, text, box, node)."""
        found = []
        for role, box, node in self._showing(drawn_only=True):
            try:
                found.append((role, node.get_name() or "", self._text(node), box, node))
            except Exception:
                continue  # the window changed under us; the next look sees the new one
        return found

    def undrawn(self):
        """The nodes read as showing that are not drawn: their box on screen is empty or lies
        outside the window's. As "role 'name or text' x,y wxh"."""
        found, frame = [], None
        for role, box, node in self._showing(drawn_only=False):
            try:
                if role == "frame":
                    frame = box
                outside = frame is not None and (
                    box.x >= frame.x + frame.width or box.y >= frame.y + frame.height
                    or box.x + box.width <= frame.x or box.y + box.height <= frame.y)
                if box.width <= 0 or box.height <= 0 or outside:
                    found.append(f"{role} {node.get_name() or self._text(node)!r} "
                                 f"{box.x},{box.y} {box.width}x{box.height}")
            except Exception:
                continue  # the window changed under us; the next look sees the new one
        return found

    def find(self, role, name=None, where=None):
        """The first node of `role` on screen (named `name`, its box passing `where`)."""
        for node_role, node_name, _, box, node in self.nodes():
            if node_role == role and (name is None or node_name == name) and (
                    where is None or where(box)):
                return node
        return None

    def all(self, role, where=None):
        """The nodes of `role` on screen, top to bottom, left to right: (box, text, node)."""
        found = [(box, text, node) for r, _, text, box, node in self.nodes()
                 if r == role and (where is None or where(box))]
        found.sort(key=lambda entry: (entry[0].y, entry[0].x))
        return found

    def wait(self, what, condition, timeout=WAIT):
        try:
            return wait_for(what, condition, timeout)
        except AssertionError:
            self.fail_shot(what)
            raise

    def wait_node(self, role, name=None, where=None, timeout=WAIT):
        return self.wait(f'{role} "{name or ""}"', lambda: self.find(role, name, where), timeout)

    def wait_gone(self, role, name=None, where=None, timeout=WAIT):
        return self.wait(f'{role} "{name or ""}" to go',
                         lambda: self.find(role, name, where) is None, timeout)

    def fail_shot(self, what):
        path = self.desktop.screenshot("failed")
        try:
            seen = [f"{r} {n or t!r} {b.x},{b.y} {b.width}x{b.height}"
                    for r, n, t, b, _ in self.nodes()]
        except AssertionError as error:
            seen = [str(error)]
        log(f"while waiting for {what} ({path}) the window showed:\n    " + "\n    ".join(seen))

    # -- input

    def xdotool(self, *args):
        run(["xdotool", *args])

    def click_node(self, node):
        box = node.get_extents(self.Atspi.CoordType.SCREEN)
        self.xdotool("mousemove", "--sync", str(box.x + box.width // 2),
                     str(box.y + box.height // 2))
        self.xdotool("click", "1")

    def button(self, name=None, where=None, timeout=WAIT):
        """Clicks the button once it shows and is enabled."""
        enabled = self.Atspi.StateType.ENABLED

        def ready():
            node = self.find("push button", name, where)
            return node if node and node.get_state_set().contains(enabled) else None

        self.click_node(self.wait(f'button "{name or ""}" enabled', ready, timeout))

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", "--clearmodifiers", text)

    def text_of(self, node):
        iface = node.get_text_iface()
        return (iface.get_text(0, -1) or "") if iface is not None else ""

    def focus(self, node):
        """Clicks into the field until it has the keyboard focus: a screen still fading in
        (a step's cross-fade) takes no clicks."""
        focused = self.Atspi.StateType.FOCUSED

        def clicked():
            self.click_node(node)
            try:
                return wait_for("the focus", lambda: node.get_state_set().contains(focused),
                                timeout=1)
            except AssertionError:
                return False

        self.wait("the field focused", clicked)

    def fill(self, node, text):
        """Clicks into the field, empties it, types `text`, waits until the field holds it. A
        password field reads as its mask, one character for each typed, never as the text."""
        self.focus(node)
        self.key("ctrl+a")
        self.key("BackSpace")
        self.type(text)
        if node.get_role_name() != "password text":
            self.wait(f'"{text}" typed', lambda: self.text_of(node) == text, timeout=20)
            return
        self.wait(f'"{text}" typed (masked)', lambda: len(self.text_of(node)) == len(text),
                  timeout=20)
        shown = self.text_of(node)
        assert len(set(shown)) == 1 and shown[0] not in text, \
            f"a password field reads {len(shown)} characters, not its mask"
        line = node.get_text_iface().get_text_at_offset(0, self.Atspi.TextBoundaryType.LINE_START)
        assert line.content == shown, "a password field's line reads other than its mask"

    def passwords(self, count, names=None):
        """The first `count` password fields on screen, top to bottom; each named as `names`
        says, where given (by the label the field sits under)."""
        fields = [node for _, _, node in self.wait(
            f"{count} password fields", lambda: self.all("password text")[:count]
            if len(self.all("password text")) >= count else None)]
        if names is not None:
            assert [f.get_name() for f in fields] == names, \
                f"password fields named {[f.get_name() for f in fields]}, not {names}"
        return fields


# ---------------------------------------------------------------------------------------------
# The user's steps. The window names its buttons to assistive technology but not its plain
# texts, so each screen is known by its buttons (or, where they have no name, their place).


def data_dir(desktop):
    return os.path.join(desktop.env["XDG_DATA_HOME"], "Quillmark")


def stored_files(desktop):
    found = []
    for folder, _, files in os.walk(data_dir(desktop)):
        found += [os.path.relpath(os.path.join(folder, f), data_dir(desktop)) for f in files]
    return sorted(found)


def settings_button(box):  # the sidebar's foot: "Settings", as wide as the sidebar
    return box.x == 0 and box.width >= 260 and box.height == 40


def wait_main(w):
    w.wait_node("push button", where=settings_button)
    w.wait_gone("push button", "Unlock", timeout=10)


def import_wallet(w):
    """"Import Existing Wallet" with the phrase pasted into the first field."""
    w.button("Import Existing Wallet")
    w.wait_node("push button", "Import")
    # xclip stays behind to serve the clipboard until the program takes it.
    subprocess.run(["xclip", "-selection", "clipboard", "-in"], input=PHRASE, text=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10, check=True)
    words = PHRASE.split()

    def word_fields():
        """The twelve word fields as they are now: what fills them may make them anew, and a
        node read before then would speak for a field that is gone."""
        found = w.all("text")
        return found[:12] if len(found) >= 12 else None

    def read_words():
        return [text for _, text, _ in word_fields() or []]

    w.wait("the twelve word fields", word_fields)
    # On a loaded machine the paste can reach the window before the click has moved the focus
    # (or the clipboard's owner answers too late for Qt): the user would press it again.
    for attempt in range(3):
        w.click_node(word_fields()[0][2])
        w.key("ctrl+v")
        try:
            wait_for("the pasted phrase spread over the fields", lambda: read_words() == words,
                     timeout=30)
            break
        except AssertionError:
            if attempt == 2 or any(read_words()):
                log("the word fields read:", read_words())
                w.fail_shot("the pasted phrase spread over the fields")
                raise
    # The same phrase typed key by key (as some paste tools deliver it) lands the same way.
    w.button(where=lambda b: b.width == 100 and b.height == 26)  # "12 words": empties them
    w.wait("the fields emptied", lambda: word_fields() and not any(read_words()), timeout=20)
    w.focus(word_fields()[0][2])
    w.type(PHRASE)
    w.wait("the typed phrase spread over the fields", lambda: read_words() == words, timeout=30)
    password, confirm = w.passwords(2, ["Password", "Confirm Password"])
    w.fill(password, PASSWORD)
    w.fill(confirm, PASSWORD)
    w.button("Import")
    wait_main(w)


def named(w, name):
    """A node named `name` on screen, of any role."""
    return next((node for _, n, _, _, node in w.nodes() if n == name), None)


def visit_account(w):
    # The portfolio's Send opens the first account's screen (Bitcoin, with its two tabs); the
    # address tab and back; Receive opens its sheet; Escape returns to the portfolio.
    w.button("Send")
    tab = w.wait("the Bitcoin account's tabs", lambda: named(w, "Indirizzi"))
    w.wait_node("push button", "Receive")
    assert not w.find("push button", "Swap"), "Bitcoin has no Swap"
    chosen = w.Atspi.StateType.CHECKED
    w.click_node(tab)
    w.wait("the address tab chosen", lambda: tab.get_state_set().contains(chosen), timeout=10)
    # The tab, not the sidebar's row of the same name.
    portfolio = w.wait("the portfolio tab", lambda: w.find("page tab", "Portfolio"))
    w.click_node(portfolio)
    w.wait("the portfolio tab chosen", lambda: portfolio.get_state_set().contains(chosen),
           timeout=10)
    # Receive shows the first address (BIP-84's for this phrase) as text; its copy button
    # copies the bare address; Escape closes the sheet.
    w.button("Receive")
    w.wait("the receive address", lambda: named(w, BTC_ADDRESS))
    w.button("Copy address " + BTC_ADDRESS)
    w.wait("the address copied", lambda: subprocess.run(
        ["xclip", "-selection", "clipboard", "-out"], capture_output=True, text=True,
        timeout=10).stdout == BTC_ADDRESS, timeout=10)
    w.key("Escape")
    w.wait_gone("image", "QR code of the address " + BTC_ADDRESS, timeout=10)
    # Send: recipient and amount typed; offline, the review cannot be prepared (its coins and
    # fee come from the server): the form says why and no review opens. Escape closes it.
    w.button("Send", where=lambda b: b.y > 150)
    recipient = w.wait_node("text", "Recipient Address")
    w.fill(recipient, BTC_ADDRESS)
    w.fill(w.wait_node("text", "Amount"), "0.0001")
    w.button("Review Transaction")
    w.wait("the reason in the form", lambda: named(w, "Cannot connect to Electrum"), timeout=60)
    assert not w.find("push button", "Send BTC"), "a review opened on nothing prepared"
    w.key("Escape")
    w.wait_gone("push button", "Review Transaction", timeout=10)
    w.key("Escape")
    w.wait_node("push button", "Refresh")


def sidebar_account(w, chain):
    """The sidebar's row of the first account of `chain` (its name as the sidebar shows it)."""
    return w.wait(f"the {chain} account in the sidebar", lambda: next(
        (node for role, name, _, _, node in w.nodes()
         if role == "push button" and name.startswith(f"{chain} #")), None))


def open_sidebar_account(w, chain):
    """Opens the first account of `chain`."""
    w.click_node(sidebar_account(w, chain))


def review_without_quote(w, amount, shot, reason=None):
    # In an open swap sheet: `amount` typed, and with no node reachable here "Review Swap"
    # opens no confirmation (the sheet says why: `reason`, where given, starts what it reads);
    # Escape closes the sheet and returns to the account.
    field = w.wait("the amount field", lambda: next(
        (node for _, _, node in w.all("text")), None))
    w.fill(field, amount)
    if reason:
        w.wait("the quote's failure", lambda: text_shown(w, reason))
    time.sleep(1.5)  # past the quote's half-second wait
    w.desktop.screenshot(shot)
    review = w.find("push button", "Review Swap")
    assert not review.get_state_set().contains(w.Atspi.StateType.ENABLED), \
        "Review Swap without a quote reads enabled"
    w.click_node(review)
    time.sleep(1)
    assert not w.find("push button", "Cancel"), "a confirmation opened without a quote"
    w.key("Escape")
    w.wait_gone("push button", "Review Swap")
    w.key("Escape")
    w.wait_node("push button", "Refresh")


def visit_swap(w):
    # The Ethereum account's Swap opens the swap sheet, which reviews nothing without a quote.
    open_sidebar_account(w, "Ethereum")
    w.button("Swap")
    w.wait_node("push button", "Review Swap")
    review_without_quote(w, "0.25", "swap-sheet", reason="Cannot connect to ")


def visit_sale(w):
    # The Arbitrum account's NOVR chip opens the sale, with its direction picker; no node
    # answers here, so the quote's failure shows and nothing is reviewed.
    open_sidebar_account(w, "Arbitrum")
    w.wait_node("push button", "Receive")
    if not w.find("push button", "NOVR"):
        # The chips may sit below the window's edge (the screen's notes above them): a hand
        # scrolls them into view.
        scroll_account(w, 200)
    w.button("NOVR")
    w.wait_node("push button", "Review Swap")
    assert w.find("push button", "Sell NOVR"), "the sale sheet has no direction picker"
    review_without_quote(w, "1.5", "sale-sheet")


def export_backup(w, typed_name, expected_path):
    w.key("ctrl+shift+e")
    w.fill(w.passwords(1, ["Wallet Password"])[0], PASSWORD)
    w.button("Export Backup")
    # The save dialog, the program's own (not a native one), starting in the suggested place;
    # its accept button reads "Save".
    w.wait_node("dialog", "Save Wallet Backup")
    suggested = w.wait("the suggested name", lambda: next(
        (node for _, text, node in w.all("text") if text.startswith("Quillmark-")), None))
    w.desktop.screenshot("save-dialog")
    w.fill(suggested, typed_name)
    w.button("Save")
    w.wait_node("push button", "Done")  # "Backup Saved"
    w.wait("the backup file", lambda: os.path.isfile(expected_path), timeout=10)
    assert os.path.getsize(expected_path) > 0
    w.button("Done")
    w.wait_gone("push button", "Done")


def lock_and_unlock(w):
    # The status bar's last button: "Lock wallet".
    top = [node for box, _, node in w.all("push button", lambda b: b.y < 60 and b.width == 18)]
    assert top, "no status bar buttons"
    w.click_node(max(top, key=lambda n: n.get_extents(w.Atspi.CoordType.SCREEN).x))
    unlock(w)


def unlock(w):
    w.wait_node("push button", "Unlock")
    w.fill(w.passwords(1, ["Enter password to unlock"])[0], PASSWORD)
    w.key("Return")
    wait_main(w)


def open_security_tab(w):
    w.button(where=settings_button)
    settings = w.wait_node("dialog")
    sbox = settings.get_extents(w.Atspi.CoordType.SCREEN)
    # Its tabs (Network, Security, Appearance) are page tabs named by their titles.
    tab = w.wait_node("page tab", "Security",
                      where=lambda b: sbox.x <= b.x <= sbox.x + sbox.width)
    w.click_node(tab)


def delete_wallet(w, then="Create New Wallet"):
    """Settings' "Delete Wallet", confirmed; `then` is a button of the face that follows."""
    open_security_tab(w)
    w.button("Delete Wallet")
    w.wait_node("dialog", "Delete Wallet?")
    w.button("Delete")
    w.wait_node("push button", then)


def restore_backup(w, path):
    w.key("ctrl+shift+r")
    w.button("Browse...")
    w.wait_node("dialog", "Select Wallet Backup")
    # It starts where the last backup went: that folder ends the path above the list.
    w.wait_node("push button", os.path.basename(os.path.dirname(path)))
    # The dialog's location bar (Ctrl+L) takes a typed path.
    w.key("ctrl+l")
    w.key("ctrl+a")
    w.type(path)
    w.key("Return")
    w.wait_gone("dialog", "Select Wallet Backup")
    w.fill(w.passwords(1, ["Backup Password"])[0], PASSWORD)  # shows once a file is chosen
    w.button("Restore Wallet")
    w.wait_node("push button", "Done")  # "Wallet Restored"
    w.button("Done")
    unlock(w)


# ---------------------------------------------------------------------------------------------


def scenario_keyring(desktop, w, keyring):
    keyring.start()
    w.start()
    os.makedirs(os.path.join(desktop.home, "Documents"))
    backup = os.path.join(desktop.work, "backups", "wallet one.qmbackup")
    os.makedirs(os.path.dirname(backup))
    import_wallet(w)
    items = wait_for("the wallet's items in the keyring", keyring.items, timeout=20)
    log("keyring items:", items)
    secrets = [f for f in stored_files(desktop)
               if f.split("-")[0] in ("seed", "mnemonic", "salt", "verify")]
    assert not secrets, f"secrets in files although the keyring answers: {secrets}"
    export_backup(w, backup, backup)  # an absolute path typed in the dialog is the path
    lock_and_unlock(w)
    # Items of another wallet id (a create cut short, a restore over another wallet) and
    # the token file go with "Delete Wallet" too.
    keyring.store("seed-0E5F2C1A-7B3D-4E8F-9A61-3D7F0E2C4B91", "sealed")
    with open(os.path.join(data_dir(desktop), "tokens.json"), "w") as tokens:
        tokens.write('{"ethereum":[]}')
    delete_wallet(w)
    assert keyring.items() == [], f"left in the keyring after delete: {keyring.items()}"
    assert stored_files(desktop) == [], f"left on disk after delete: {stored_files(desktop)}"
    restore_backup(w, backup)
    assert keyring.items() == items, f"restored items {keyring.items()}, stored {items}"
    w.quit()


def restart_with_keyring_closed(w, keyring, close, what):
    # A wallet imported into the keyring, then the program started again after `close` (which
    # locks or stops the keyring). Not onboarding and no second wallet: the window says the
    # wallet may be in the locked keyring and offers to look again.
    keyring.start()
    w.start()
    import_wallet(w)
    wait_for("the wallet's items in the keyring", keyring.items, timeout=20)
    w.quit()
    close()
    w.start()
    try:
        w.wait_node("push button", "Try Again", timeout=30)
    except AssertionError:
        if w.find("push button", "Create New Wallet"):
            raise AssertionError(f"{what} showed onboarding (a second wallet could be created)")
        raise


def scenario_locked(desktop, w, keyring):
    restart_with_keyring_closed(w, keyring, keyring.lock, "a locked keyring")
    assert not w.find("push button", "Create New Wallet")
    w.button("Try Again")  # still locked: the same face
    w.wait_node("push button", "Unlock Keyring")
    # The keyring's own prompt: dismissed, the keyring stays locked and so does the face.
    w.button("Unlock Keyring")
    keyring.answer_prompt(None)
    w.button("Unlock Keyring")  # usable again once the prompt is gone
    assert keyring.locked(), "a dismissed prompt unlocked the keyring"
    # Answered: the keyring opens and the wallet's own lock screen follows.
    keyring.answer_prompt(KEYRING_PASSWORD)
    wait_for("the keyring to be unlocked", lambda: not keyring.locked())
    unlock(w)
    w.quit()
    # Unlocked from the desktop instead: "Try Again" finds the wallet.
    keyring.lock()
    w.start()
    w.wait_node("push button", "Try Again", timeout=30)
    keyring.unlock()
    w.button("Try Again")
    unlock(w)
    w.quit()


def scenario_lockedstart(desktop, w, keyring):
    # After a reboot the session bus starts the daemon on the first call, with the login
    # keyring locked: the window must still see that the wallet may be in it.
    restart_with_keyring_closed(w, keyring, keyring.stop, "a keyring started locked")
    assert keyring.on_bus() and keyring.locked(), "the daemon did not start locked"
    keyring.unlock()
    w.button("Try Again")
    unlock(w)
    w.quit()


def scenario_absent(desktop, w, keyring):
    # No Secret Service on the bus: the wallet lives in files. No ~/Documents: the save
    # dialog starts in the home folder, where a bare name lands.
    w.start()
    import_wallet(w)
    visit_account(w)
    visit_swap(w)
    visit_sale(w)
    assert any(f.startswith("seed-") for f in stored_files(desktop)), stored_files(desktop)
    backup = os.path.join(desktop.home, "plain.qmbackup")
    export_backup(w, "plain.qmbackup", backup)
    lock_and_unlock(w)
    delete_wallet(w)
    assert stored_files(desktop) == [], f"left on disk after delete: {stored_files(desktop)}"
    restore_backup(w, backup)
    w.quit()
    # A record that no longer decodes: the welcome screen says the wallet's items are there,
    # and a new wallet (an import here) leaves them alone.
    with open(os.path.join(data_dir(desktop), "wallet-metadata"), "w") as record:
        record.write('{"id":')
    before = [f for f in stored_files(desktop) if f.startswith("seed-")]
    w.start()
    w.wait("the notice of unreadable items", lambda: any(
        name.startswith(UNREADABLE_NOTICE) for _, name, _, _, _ in w.nodes()))
    w.desktop.screenshot("unreadable-record")
    import_wallet(w)
    after = [f for f in stored_files(desktop) if f.startswith("seed-")]
    assert set(before) < set(after), f"sealed items before {before}, after {after}"
    w.quit()


def scenario_nodialog(desktop, w, keyring):
    # The file dialog cannot be built: each sheet says so and is usable again at once,
    # instead of staying busy for good.
    if os.listdir(FOLDER_MODEL):
        raise Skip("the file dialog's module could not be hidden")
    w.start()
    import_wallet(w)
    w.key("ctrl+shift+e")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.button("Export Backup")
    w.button("Export Backup")  # enabled again: not busy (the line says the dialog failed)
    w.button("Export Backup")
    assert not w.find("dialog", "Save Wallet Backup")
    w.key("ctrl+Escape")
    w.wait_gone("push button", "Export Backup")
    w.key("ctrl+shift+r")
    w.button("Browse...")
    w.button("Browse...")
    assert not w.find("dialog", "Select Wallet Backup")
    w.quit()


def backup_rows(w):
    """The rows of the open file dialog's list: (name, node)."""
    return [(name, node) for role, name, _, _, node in w.nodes() if role == "list item" and name]


def double_click_node(w, node):
    box = node.get_extents(w.Atspi.CoordType.SCREEN)
    w.xdotool("mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2))
    w.xdotool("click", "--repeat", "2", "--delay", "80", "1")


def save_dialog_name(w):
    return w.wait("the save dialog's name field", lambda: next(
        (node for _, text, node in w.all("text") if text.startswith("Quillmark-")), None))


def scenario_filedialogs(desktop, w, keyring):
    # The save dialog by clicks: into a folder and Save, where the file lands with the
    # suggested name; up through the path above the list, a bare name, Save: ".qmbackup" is
    # added. The open dialog: Open with the row it shows highlighted restores that file.
    keyring.start()
    documents = os.path.join(desktop.home, "Documents")
    os.makedirs(os.path.join(documents, "sub"))
    w.start()
    import_wallet(w)
    w.key("ctrl+shift+e")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.button("Export Backup")
    w.wait_node("dialog", "Save Wallet Backup")
    suggested = w.text_of(save_dialog_name(w))
    # The arrow before the path goes up a folder, and is named for a screen reader.
    w.button("Parent Folder")
    up = w.wait("the home folder listed", lambda: dict(backup_rows(w)).get("Documents"))
    double_click_node(w, up)
    row = w.wait("the folder's row", lambda: dict(backup_rows(w)).get("sub"))
    double_click_node(w, row)
    w.wait_node("push button", "sub")  # the path above the list ends in it
    w.wait("the name kept", lambda: w.text_of(save_dialog_name(w)) == suggested, timeout=10)
    desktop.screenshot("save-dialog-folder")
    w.button("Save")
    w.wait_node("push button", "Done")  # "Backup Saved"
    first = os.path.join(documents, "sub", suggested)
    w.wait("the backup in the folder", lambda: os.path.isfile(first), timeout=10)
    w.button("Done")
    w.wait_gone("push button", "Done")

    w.key("ctrl+shift+e")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.button("Export Backup")
    w.wait_node("dialog", "Save Wallet Backup")
    w.wait_node("push button", "sub")  # where the last backup went
    w.button("Documents")  # up, through the path
    w.wait("the parent folder listed", lambda: "sub" in dict(backup_rows(w)))
    w.wait("the name kept", lambda: w.text_of(save_dialog_name(w)) == suggested, timeout=10)
    name = save_dialog_name(w)
    w.fill(name, "sub")  # a folder's name: refused, saying why
    w.wait_node("label", '"sub" is a folder. Choose another name.', timeout=10)
    w.fill(name, "bare")
    w.button("Save")
    w.wait_node("push button", "Done")
    bare = os.path.join(documents, "bare.qmbackup")
    w.wait("the bare name saved with its suffix", lambda: os.path.isfile(bare), timeout=10)
    assert not os.path.exists(os.path.join(documents, "bare"))
    w.button("Done")
    w.wait_gone("push button", "Done")

    # The open dialog starts where the last backup went, its first row highlighted.
    w.key("ctrl+shift+r")
    w.button("Browse...")
    w.wait_node("dialog", "Select Wallet Backup")
    w.wait("the folder listed", lambda: "bare.qmbackup" in dict(backup_rows(w)))
    desktop.screenshot("open-dialog")
    w.button("Open")
    w.wait_gone("dialog", "Select Wallet Backup")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.button("Restore Wallet")
    w.wait_node("push button", "Done")  # "Wallet Restored"
    w.button("Done")
    unlock(w)
    w.quit()


class ClipboardManager:
    """What a desktop's clipboard manager is to X11 programs: the owner of CLIPBOARD_MANAGER,
    which a program that quits while it owns the clipboard asks to keep its contents
    (SAVE_TARGETS). This one only notes who asked, and declines, so nobody waits for it."""

    SELECTION_REQUEST = 30
    SELECTION_NOTIFY = 31

    def __init__(self):
        import ctypes
        import ctypes.util
        import threading

        class Screen(ctypes.Structure):
            _fields_ = [("root", ctypes.c_uint32)]

        class ScreenIterator(ctypes.Structure):
            _fields_ = [("data", ctypes.POINTER(Screen)), ("rem", ctypes.c_int),
                        ("index", ctypes.c_int)]

        class Cookie(ctypes.Structure):
            _fields_ = [("sequence", ctypes.c_uint)]

        class AtomReply(ctypes.Structure):
            _fields_ = [("response_type", ctypes.c_uint8), ("pad", ctypes.c_uint8),
                        ("sequence", ctypes.c_uint16), ("length", ctypes.c_uint32),
                        ("atom", ctypes.c_uint32)]

        class Request(ctypes.Structure):  # a SelectionRequest event (any event's first bytes)
            _fields_ = [("response_type", ctypes.c_uint8), ("pad", ctypes.c_uint8),
                        ("sequence", ctypes.c_uint16), ("time", ctypes.c_uint32),
                        ("owner", ctypes.c_uint32), ("requestor", ctypes.c_uint32),
                        ("selection", ctypes.c_uint32), ("target", ctypes.c_uint32),
                        ("property", ctypes.c_uint32)]

        class Notify(ctypes.Structure):  # the SelectionNotify answer, padded to 32 bytes
            _fields_ = [("response_type", ctypes.c_uint8), ("pad", ctypes.c_uint8),
                        ("sequence", ctypes.c_uint16), ("time", ctypes.c_uint32),
                        ("requestor", ctypes.c_uint32), ("selection", ctypes.c_uint32),
                        ("target", ctypes.c_uint32), ("property", ctypes.c_uint32),
                        ("tail", ctypes.c_uint8 * 8)]

        name = ctypes.util.find_library("xcb")
        if not name:
            raise Skip("libxcb is not installed")
        xcb = self.xcb = ctypes.CDLL(name)
        libc = self.libc = ctypes.CDLL(None)
        xcb.xcb_connect.restype = ctypes.c_void_p
        xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
        xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
        xcb.xcb_get_setup.restype = ctypes.c_void_p
        xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
        xcb.xcb_setup_roots_iterator.restype = ScreenIterator
        xcb.xcb_setup_roots_iterator.argtypes = [ctypes.c_void_p]
        xcb.xcb_generate_id.restype = ctypes.c_uint32
        xcb.xcb_generate_id.argtypes = [ctypes.c_void_p]
        xcb.xcb_create_window.restype = Cookie
        xcb.xcb_create_window.argtypes = [
            ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int16,
            ctypes.c_int16, ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint16,
            ctypes.c_uint32, ctypes.c_uint32, ctypes.c_void_p]
        xcb.xcb_intern_atom.restype = Cookie
        xcb.xcb_intern_atom.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint16,
                                        ctypes.c_char_p]
        xcb.xcb_intern_atom_reply.restype = ctypes.POINTER(AtomReply)
        xcb.xcb_intern_atom_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
        xcb.xcb_set_selection_owner.restype = Cookie
        xcb.xcb_set_selection_owner.argtypes = [ctypes.c_void_p, ctypes.c_uint32,
                                                ctypes.c_uint32, ctypes.c_uint32]
        xcb.xcb_send_event.restype = Cookie
        xcb.xcb_send_event.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32,
                                       ctypes.c_uint32, ctypes.c_void_p]
        xcb.xcb_poll_for_event.restype = ctypes.POINTER(Request)
        xcb.xcb_poll_for_event.argtypes = [ctypes.c_void_p]
        xcb.xcb_flush.argtypes = [ctypes.c_void_p]
        xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
        libc.free.argtypes = [ctypes.c_void_p]
        self.ctypes, self.Notify = ctypes, Notify

        self.connection = xcb.xcb_connect(os.environ["DISPLAY"].encode(), None)
        if not self.connection or xcb.xcb_connection_has_error(self.connection):
            raise AssertionError("the clipboard manager cannot reach the display")

        def atom(text):
            reply = xcb.xcb_intern_atom_reply(
                self.connection, xcb.xcb_intern_atom(self.connection, 0, len(text),
                                                     text.encode()), None)
            value = reply.contents.atom
            libc.free(reply)
            return value

        self.save_targets = atom("SAVE_TARGETS")
        manager = atom("CLIPBOARD_MANAGER")
        root = xcb.xcb_setup_roots_iterator(xcb.xcb_get_setup(self.connection)).data.contents.root
        window = xcb.xcb_generate_id(self.connection)
        xcb.xcb_create_window(self.connection, 0, window, root, 0, 0, 1, 1, 0, 2, 0, 0, None)
        xcb.xcb_set_selection_owner(self.connection, window, manager, 0)
        xcb.xcb_flush(self.connection)
        self.asked = []  # the requestor windows that asked to keep their clipboard
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        xcb, ctypes = self.xcb, self.ctypes
        while self.running:
            event = xcb.xcb_poll_for_event(self.connection)
            if not event:
                time.sleep(0.02)
                continue
            request = event.contents
            if request.response_type & 0x7F == self.SELECTION_REQUEST:
                if request.target == self.save_targets:
                    self.asked.append(request.requestor)
                # No property: declined.
                answer = self.Notify(response_type=self.SELECTION_NOTIFY, time=request.time,
                                     requestor=request.requestor, selection=request.selection,
                                     target=request.target, property=0)
                xcb.xcb_send_event(self.connection, 0, request.requestor, 0,
                                   ctypes.byref(answer))
                xcb.xcb_flush(self.connection)
            self.libc.free(event)

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.xcb.xcb_disconnect(self.connection)


def clipboard_text():
    """What the clipboard's owner serves as text; None when nobody owns it (or serves text)."""
    result = subprocess.run(["xclip", "-selection", "clipboard", "-out"], capture_output=True,
                            text=True, timeout=10)
    return result.stdout if result.returncode == 0 else None


def copy_revealed_phrase(w):
    """The sidebar's recovery phrase sheet: the password, "Reveal Seed", "Copy All"."""
    w.button("Show recovery phrase")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.button("Reveal Seed")
    w.button("Copy All")
    w.wait("the phrase on the clipboard", lambda: clipboard_text() == PHRASE, timeout=10)
    w.wait_node("label", "The clipboard is cleared after 60 seconds, or when you lock or quit.")
    w.button("Done")
    w.wait_gone("push button", "Copy All")


def scenario_clipboard(desktop, w, keyring):
    # A clipboard manager runs, as on most desktops. A copied phrase is on the clipboard with a
    # note beside its button; it leaves the clipboard when the wallet locks (what the user
    # copied since stays) and at Quit, when nothing is left for the manager to keep.
    manager = ClipboardManager()
    try:
        keyring.start()
        w.start()
        w.button("Create New Wallet")

        def copy():  # the step's cross-fade takes no clicks: pressed until it copies
            w.button("Copy to Clipboard")
            try:
                return wait_for("the copy", clipboard_text, timeout=2)
            except AssertionError:
                return None

        copied = w.wait("the new phrase on the clipboard", copy)
        assert len(copied.split(" ")) in (12, 24), copied
        # The words on screen are read out too, in order (the user writes them down).
        read = [name for role, name, _, _, _ in w.nodes()
                if role == "label" and re.fullmatch("[a-z]+", name)]
        assert read == copied.split(" "), f"{len(read)} words read, in another order or others"
        w.wait_node("label", "The clipboard is cleared after 60 seconds, or when you lock or quit.")
        w.quit()
        assert clipboard_text() is None, "the phrase outlived the program"
        assert not manager.asked, "the program handed the phrase to the clipboard manager"

        w.start()
        import_wallet(w)
        copy_revealed_phrase(w)
        subprocess.run(["xclip", "-selection", "clipboard", "-in"], input="the user's own",
                       text=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=10, check=True)
        w.button("Lock wallet")
        w.wait_node("push button", "Unlock")
        assert clipboard_text() == "the user's own", "the lock cleared what the user copied"
        unlock(w)
        copy_revealed_phrase(w)
        w.button("Lock wallet")
        w.wait("the phrase cleared at the lock", lambda: clipboard_text() is None, timeout=10)
        unlock(w)
        copy_revealed_phrase(w)
        w.quit()
        assert clipboard_text() is None, "the phrase outlived the program"
        assert not manager.asked, "the program handed the phrase to the clipboard manager"
    finally:
        manager.stop()

class NodeProgram:
    """A Node script of tests/peers whose output is read one JSON line at a time."""

    def __init__(self, work, name, *args):
        import queue
        import threading

        if not shutil.which("node") or not os.path.isdir(os.path.join(PEERS, "node_modules")):
            raise Skip("node and tests/peers are not installed (scripts/install-deps)")
        self.errors = open(os.path.join(work, name + ".log"), "w")
        self.process = subprocess.Popen(["node", os.path.join(PEERS, name), *args], text=True,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self.errors)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("{"):
                self.lines.put(json.loads(line))

    def next(self, key, timeout=WAIT):
        """The next line that has `key`."""
        import queue

        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError(f"no {key} from the node program")
            if key in line:
                return line[key]

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def loopback_works():
    import socket

    try:
        with socket.socket() as server, socket.socket() as client:
            server.bind(("127.0.0.1", 0))
            server.listen()
            client.connect(server.getsockname())
        return True
    except OSError:
        return False


def scenario_walletconnect(desktop, w, keyring):
    # A loopback relay in the scenario's own network; the program reaches it instead of the
    # public one.
    if not loopback_works():
        raise Skip("the loopback device is down (no ip tool to bring it up)")
    relay = NodeProgram(desktop.work, "relay_fixture.mjs")
    dapp = None
    try:
        url = relay.next("url")
        os.environ.update(QUILLMARK_WC_RELAY=url, QUILLMARK_WC_PROJECT_ID="quillmark-e2e")
        w.start()
        import_wallet(w)
        # WalletConnect is set up by an unlock.
        lock_and_unlock(w)
        dapp = NodeProgram(desktop.work, "wc_dapp_e2e.mjs", url)
        uri = dapp.next("uri")
        w.button("Connect dApp via WalletConnect")
        field = w.wait("the URI field", lambda: next(
            (node for _, _, node in w.all("text") if w.text_of(node) == ""), None))
        subprocess.run(["xclip", "-selection", "clipboard", "-in"], input=uri, text=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10,
                       check=True)
        w.click_node(field)
        w.key("ctrl+v")
        w.wait("the pasted URI", lambda: w.text_of(field) == uri, timeout=20)
        w.button("Connect")
        w.button("Approve")
        accounts = dapp.next("approved")
        assert accounts[0].lower() == "eip155:1:0x9858effd232b4033e47d90003d41ec34ecaeda94", accounts
        # The message to sign, then the password.
        w.wait_node("push button", "Sign")
        desktop.screenshot("walletconnect-request")
        w.fill(w.passwords(1)[0], PASSWORD)
        w.button("Sign")
        signed = dapp.next("recovered")
        assert signed is True, "the dApp did not recover the wallet's address"
        # The next request is rejected.
        w.wait_node("push button", "Reject")
        w.button("Reject")
        assert dapp.next("rejected") == 5000
        sessions = os.path.join(data_dir(desktop), "wc_sessions_v2.json")
        assert os.stat(sessions).st_mode & 0o777 == 0o600, oct(os.stat(sessions).st_mode)
        w.quit()
    finally:
        if dapp:
            dapp.stop()
        relay.stop()


def point_at_electrum(w, server, port):
    """In the open Network settings (`server` its host field): the loopback Electrum server at
    `port`, over plain TCP, applied."""
    w.fill(server, "127.0.0.1")
    w.fill(w.wait_node("text", "Port"), str(port))
    tls = w.wait_node("check box", "Use TLS")
    w.click_node(tls)
    checked = w.Atspi.StateType.CHECKED
    w.wait("TLS off", lambda: not tls.get_state_set().contains(checked), timeout=10)
    w.button("Apply")
    w.wait("the reasons gone", lambda: not text_shown(w, "The host must not"), timeout=10)


def review_bitcoin_send(w, recipient, amount):
    """On the Bitcoin account's screen: Send, the form filled, and its review; the review's
    "Send BTC" button."""
    w.button("Send", where=lambda b: b.y > 150)
    w.fill(w.wait_node("text", "Recipient Address"), recipient)
    w.fill(w.wait_node("text", "Amount"), amount)
    w.button("Review Transaction")
    return w.wait_node("push button", "Send BTC")


def scenario_send(desktop, w, keyring):
    # The user points the program at their own Electrum server (plain TCP on loopback) in
    # Network settings and sends 0.0005 BTC of the one coin it serves to their second address.
    if not loopback_works():
        raise Skip("the loopback device is down (no ip tool to bring it up)")
    electrum = NodeProgram(desktop.work, "electrum_e2e.mjs", BTC_ADDRESS, "150000")
    try:
        port = electrum.next("port")
        w.start()
        import_wallet(w)
        behind = w.wait_node("push button", "Refresh")  # the portfolio's
        w.button(where=settings_button)
        # What the sheet covers reads as out of reach, as it is for the mouse and the keys.
        server = w.wait_node("text", "Server")
        showing, enabled = w.Atspi.StateType.SHOWING, w.Atspi.StateType.ENABLED
        states = behind.get_state_set()
        assert not states.contains(showing) and not states.contains(enabled), \
            "the portfolio behind the sheet reads as showing or enabled"
        assert not w.find("push button", where=settings_button), "the sidebar reads as showing"
        # Values it refuses: the reasons are read out.
        w.fill(server, "local host")
        w.fill(w.wait_node("text", "Port"), "x")
        w.button("Apply")
        reasons = w.wait("the form's reasons", lambda: text_shown(
            w, "The host must not contain spaces or control characters."))
        assert "Port must be a number from 1 to 65535." in reasons, reasons
        point_at_electrum(w, server, port)
        # Each section's Reconnect is named by its server.
        reconnects = [name for role, name, _, _, _ in w.nodes()
                      if role == "push button" and name.startswith("Reconnect")]
        assert len(reconnects) > 1 and len(set(reconnects)) == len(reconnects), reconnects
        assert "Reconnect Ethereum RPC" in reconnects, reconnects
        w.button("Reconnect Electrum")
        desktop.screenshot("electrum-server")
        w.key("Escape")
        w.wait_gone("push button", "Apply", timeout=10)
        w.wait("the portfolio in reach again", lambda: behind.get_state_set().contains(showing)
               and behind.get_state_set().contains(enabled), timeout=10)
        # The Bitcoin account's screen, its Send, the form, the review and the password.
        w.button("Send")
        w.wait_node("push button", "Receive")
        # The review, prepared from the server's coins; Cancel goes back to the form.
        send = review_bitcoin_send(w, BTC_SECOND_ADDRESS, "0.0005")
        # With no password the screen reader hears it cannot be pressed.
        assert not send.get_state_set().contains(w.Atspi.StateType.ENABLED), "Send reads enabled"
        w.fill(w.passwords(1)[0], "not sent")
        w.button("Cancel")
        w.wait_gone("push button", "Send BTC", timeout=10)
        w.button("Review Transaction")
        w.wait_node("push button", "Send BTC")
        w.fill(w.passwords(1)[0], PASSWORD)
        w.button("Send BTC")
        sent = electrum.next("broadcast")
        w.wait_node("push button", "Done")
        desktop.screenshot("send-submitted")
        # One input of 150,000 sat, 141 vB at the 20 sat/vB shown for Normal, change to the
        # first address.
        assert sent["verified"], sent
        assert sent["fee"] == 2820 and sent["vsize"] == 141, sent
        assert sent["outputs"] == [{"address": BTC_SECOND_ADDRESS, "value": 50000},
                                   {"address": BTC_ADDRESS, "value": 97180}], sent
        w.button("Done")
        w.wait_gone("push button", "Review Transaction", timeout=10)
        keys_between_histories(desktop, w)
        w.quit()
    finally:
        electrum.stop()


def keys_between_histories(desktop, w):
    # The Bitcoin screen lists its transactions; Ethereum's, offline, lists none. Opened from
    # the keys (a sidebar row and Return), each starts on its first control, Copy address, ring
    # drawn, whichever history the screen showed before. A row clicked instead: the next Tab
    # goes into the screen it showed, to that same control.
    # The rows lie below the window's edge: the wheel brings them up, and takes them away again.
    box = w.wait_node("push button", "Receive").get_extents(w.Atspi.CoordType.SCREEN)
    w.xdotool("mousemove", "--sync", str(box.x), str(box.y + box.height + 40))
    w.xdotool("click", "--repeat", "15", "5")
    w.wait("the Bitcoin history's rows", lambda: text_shown(w, "Sent BTC"), timeout=60)
    w.xdotool("click", "--repeat", "15", "4")
    for chain, address in (("Ethereum", ETH_ADDRESS), ("Bitcoin", BTC_ADDRESS)):
        tab_to(w, sidebar_account(w, chain), f"the {chain} account's row", presses=24)
        w.key("Return")
        copy = w.wait_node("push button", "Copy address " + address)
        w.wait(f"{chain}'s Copy address focused", lambda: has_focus(w, copy), timeout=10)
        ring_drawn(desktop, w, copy, f"{chain}'s Copy address")
    open_sidebar_account(w, "Ethereum")
    copy = w.wait_node("push button", "Copy address " + ETH_ADDRESS)
    w.key("Tab")
    w.wait("Ethereum's Copy address focused by Tab", lambda: has_focus(w, copy), timeout=10)
    ring_drawn(desktop, w, copy, "Ethereum's Copy address after a click")


def use_electrum_server(w, port):
    """Network settings: the loopback Electrum server at `port` applied and connected, and the
    settings closed."""
    w.button(where=settings_button)
    point_at_electrum(w, w.wait_node("text", "Server"), port)
    w.button("Reconnect Electrum")
    w.key("Escape")
    w.wait_gone("push button", "Apply", timeout=10)


def electrum_call(port, method, *params):
    """One request to the loopback Electrum server of the scenario; its result."""
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT) as connection:
        connection.sendall((json.dumps({"id": 1, "method": method, "params": params}) + "\n")
                           .encode())
        answer = b""
        while not answer.endswith(b"\n"):
            chunk = connection.recv(65536)
            if not chunk:
                break
            answer += chunk
    return json.loads(answer)["result"]


def scenario_keptsend(desktop, w, keyring):
    # The Electrum server (two coins) takes the first send but answers an error, and its
    # lookups never know it. The user quits, starts the program again and unlocks: the account
    # lists the send as pending, and a second send of another amount spends the same coin (the
    # server refuses it): one payment. The unsettled send is kept in an owner-only file.
    if not loopback_works():
        raise Skip("the loopback device is down (no ip tool to bring it up)")
    electrum = NodeProgram(desktop.work, "electrum_e2e.mjs", BTC_ADDRESS, "150000", "100000",
                           "keep-first")
    try:
        port = electrum.next("port")
        w.start()
        import_wallet(w)
        use_electrum_server(w, port)
        w.button("Send")
        w.wait_node("push button", "Receive")
        review_bitcoin_send(w, BTC_SECOND_ADDRESS, "0.0005")
        w.fill(w.passwords(1)[0], PASSWORD)
        w.button("Send BTC")
        first = electrum.next("broadcast")
        assert first["verified"] and first["taken"], first
        attempts = os.path.join(data_dir(desktop), "unsettled-attempts.json")
        assert os.stat(attempts).st_mode & 0o777 == 0o600, oct(os.stat(attempts).st_mode)
        w.wait("the refusal", lambda: text_shown(w, "Server error 1: daemon error: timeout"))
        desktop.screenshot("first-refused")
        w.quit()

        # The server is set again (a custom one lasts until the program ends).
        w.start()
        unlock(w)
        use_electrum_server(w, port)
        w.button("Send")
        w.wait_node("push button", "Receive")

        def pending_row():
            row = text_shown(w, "Sent BTC, -0.0005 BTC, 0/6 conf")
            if not row:
                scroll_account(w, 450)  # the history is below the chart
            return row

        w.wait("the first send listed as pending", pending_row)
        desktop.screenshot("pending")
        scroll_account(w, -450)
        review_bitcoin_send(w, BTC_SECOND_ADDRESS, "0.0003")
        w.wait("the review naming the earlier send", lambda: text_shown(
            w, "This replaces your earlier send of 0.0005 BTC"))
        w.fill(w.passwords(1)[0], PASSWORD)
        w.button("Send BTC")
        second = electrum.next("broadcast")
        assert second["verified"] and not second["taken"], second
        assert set(second["inputs"]) & set(first["inputs"]), (first, second)
        w.wait("the second refusal", lambda: text_shown(w, "Server error 1: txn-mempool-conflict"))
        desktop.screenshot("second-refused")
        taken = electrum_call(port, "test.taken")
        assert taken == [{"txid": first["txid"], "inputs": first["inputs"]}], taken
        w.quit()
    finally:
        electrum.stop()


def scenario_unreadablerecord(desktop, w, keyring):
    # The record of the transactions sent holds bytes that are not UTF-8 (a damaged disk, say).
    # The unlock sets it aside byte for byte and says so, naming that file, over the wallet;
    # OK, reached from the keyboard, dismisses it, and the next start has nothing to say.
    w.start()
    import_wallet(w)
    w.quit()
    attempts = os.path.join(data_dir(desktop), "unsettled-attempts.json")
    damaged = b'[{"id":"\xc3\x28","wire":"\xff"}]'
    with open(attempts, "wb") as record:
        record.write(damaged)
    title = "Sent Transactions Could Not Be Read"
    aside = attempts + ".unreadable"
    w.start()
    # The notice over the wallet is modal: nothing else of the window reads until it goes.
    w.wait_node("push button", "Unlock")
    w.fill(w.passwords(1)[0], PASSWORD)
    w.key("Return")
    w.wait_node("dialog", title)
    w.wait("the notice naming the file", lambda: text_shown(
        w, "The wallet's record of the transactions it sent could not be read. It was set "
        "aside, as it was, in " + aside + ". Transactions sent earlier may still go through"))
    desktop.screenshot("unreadable-record")
    with open(aside, "rb") as kept:
        assert kept.read() == damaged, "the record was not set aside as it was"
    assert not os.path.exists(attempts)
    # The unlock came from the keys: the notice's OK holds the keyboard, and Return presses it.
    ok = w.wait_node("push button", "OK")
    w.wait("the notice's OK focused", lambda: has_focus(w, ok), timeout=10)
    w.key("Return")
    wait_main(w)
    assert not w.find("dialog", title)
    keyboard_stays_in_place(desktop, w)
    w.quit()
    w.start()
    unlock(w)
    assert not w.find("dialog", title), "the notice said again at the next start"
    w.quit()


def has_focus(w, node):
    return node.get_state_set().contains(w.Atspi.StateType.FOCUSED)


def tab_to(w, node, name, presses=8):
    """Presses Tab, at most `presses` times, until `node` has the keyboard focus."""
    for _ in range(presses):
        if has_focus(w, node):
            return
        w.key("Tab")
        try:
            wait_for(f"Tab to reach {name}", lambda: has_focus(w, node), timeout=1)
        except AssertionError:
            continue
    w.wait(f"Tab to reach {name}", lambda: has_focus(w, node), timeout=5)


def ring_drawn(desktop, w, node, name):
    """Waits until the focus ring shows around `node`."""
    box = node.get_extents(w.Atspi.CoordType.SCREEN)
    w.wait(f"the ring around {name}", lambda: ring_pixels(
        desktop.screenshot("ring"), box, RING) >= box.width + box.height, timeout=10)


def keyboard_stays_in_place(desktop, w):
    # Right after the unlock (and its notice) the portfolio's first control, Send, holds the
    # keyboard. Space on the portfolio's Receive opens the first account's screen; there the
    # account's Receive, pressed with Space, opens its sheet on its first control, Close, ring
    # drawn; Escape hands the keyboard back to Receive, ring drawn. Tab on to the Ethereum
    # account's row in the sidebar and Return there: the account screen, left with the keyboard
    # on Bitcoin's Receive, shows Ethereum on its first control, Copy address, ring drawn.
    send = w.wait_node("push button", "Send")
    w.wait("the portfolio's Send focused", lambda: has_focus(w, send), timeout=10)
    tab_to(w, w.wait_node("push button", "Receive"), "the portfolio's Receive")
    w.key("space")
    w.wait("the Bitcoin account's tabs", lambda: named(w, "Indirizzi"))
    receive = w.wait_node("push button", "Receive")
    tab_to(w, receive, "the account's Receive")
    w.key("space")
    w.wait_node("dialog", "Receive BTC")
    close = w.wait_node("push button", "Close")
    w.wait("the sheet's Close focused", lambda: has_focus(w, close), timeout=10)
    ring_drawn(desktop, w, close, "the sheet's Close")
    w.key("Escape")
    w.wait_gone("dialog", "Receive BTC", timeout=10)
    w.wait("the account's Receive focused again", lambda: has_focus(w, receive), timeout=10)
    ring_drawn(desktop, w, receive, "the account's Receive")
    tab_to(w, sidebar_account(w, "Ethereum"), "the Ethereum account's row", presses=16)
    w.key("Return")
    copy = w.wait_node("push button", "Copy address " + ETH_ADDRESS)
    w.wait("Ethereum's Copy address focused", lambda: has_focus(w, copy), timeout=10)
    ring_drawn(desktop, w, copy, "Ethereum's Copy address")


def keyring_item_count():
    """Every item of the wallet's service in the keyring, locked ones included: the Secret
    Service's own search, which asks for no prompt (secret-tool would unlock first)."""
    from gi.repository import Gio, GLib

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    unlocked, locked = bus.call_sync(
        "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service",
        "SearchItems", GLib.Variant("(a{ss})", ({"service": SERVICE},)),
        GLib.VariantType("(aoao)"), Gio.DBusCallFlags.NONE, 20000, None).unpack()
    return len(unlocked) + len(locked)


def refocus(w):
    """Gives the keyboard back to the program's window: a closed keyring prompt leaves it
    nowhere (no window manager here), and typed shortcuts would be lost."""
    found = run(["xdotool", "search", "--onlyvisible", "--pid", str(w.process.pid)],
                check=False).stdout.split()
    if found:
        run(["xdotool", "windowfocus", "--sync", found[0]], check=False)


def answer_and_refocus(w, keyring, answer):
    keyring.answer_prompt(answer)
    refocus(w)


def text_shown(w, start):
    """A node whose name (its text, for texts that have one) starts with `start`."""
    return next((name for _, name, _, _, _ in w.nodes() if name.startswith(start)), None)


def lock_wallet(w):
    # The status bar's last button: "Lock wallet".
    top = [node for box, _, node in w.all("push button", lambda b: b.y < 60 and b.width == 18)]
    assert top, "no status bar buttons"
    w.click_node(max(top, key=lambda n: n.get_extents(w.Atspi.CoordType.SCREEN).x))
    w.wait_node("push button", "Unlock")


def choose_backup(w, path):
    """File, Restore Backup..., the file typed into the open dialog, and the password."""
    refocus(w)
    w.key("ctrl+shift+r")
    w.button("Browse...")
    w.wait_node("dialog", "Select Wallet Backup")
    w.key("ctrl+l")
    w.key("ctrl+a")
    w.type(path)
    w.key("Return")
    w.wait_gone("dialog", "Select Wallet Backup")
    w.fill(w.passwords(1)[0], PASSWORD)


def sealed_files(desktop):
    return [f for f in stored_files(desktop) if f.split("-")[0] in ("seed", "salt", "verify")]


def keyring_wallet_with_backup(desktop, w, keyring):
    """A wallet imported into the keyring and its backup saved: (its items, the backup)."""
    keyring.start()
    w.start()
    import_wallet(w)
    items = wait_for("the wallet's items in the keyring", keyring.items, timeout=20)
    backup = os.path.join(desktop.work, "backups", "wallet.qmbackup")
    os.makedirs(os.path.dirname(backup))
    export_backup(w, backup, backup)
    return items, backup


def scenario_keyringgone(desktop, w, keyring):
    # The wallet is in the keyring; the program starts again while the keyring daemon is not
    # running (no D-Bus activation on this bus). Neither onboarding (a second wallet in
    # files) nor a restore into files: the window says that the keyring is not running, and
    # "Try Again" finds the wallet once it runs again.
    items, backup = keyring_wallet_with_backup(desktop, w, keyring)
    w.quit()
    keyring.stop()
    w.start()
    try:
        w.wait_node("push button", "Try Again", timeout=30)
    except AssertionError:
        assert not w.find("push button", "Create New Wallet"), "onboarding without the keyring"
        raise
    assert not w.find("push button", "Unlock Keyring"), "nothing runs that could be unlocked"
    assert text_shown(w, "Your wallet is kept in the desktop keyring, which is not running")
    desktop.screenshot("keyring-not-running")
    choose_backup(w, backup)
    w.button("Restore Wallet")
    w.wait("the restore refused", lambda: text_shown(
        w, "The keyring that holds the wallet is not running, so nothing was restored"))
    assert not sealed_files(desktop), f"restored into files: {stored_files(desktop)}"
    assert "keyring-wallet.json" in stored_files(desktop), stored_files(desktop)
    w.key("ctrl+Escape")
    w.wait_gone("push button", "Restore Wallet")
    keyring.start()  # logged in again
    w.button("Try Again")
    unlock(w)
    assert keyring.items() == items, f"{keyring.items()} after, {items} before"
    w.quit()


def scenario_keyringout(desktop, w, keyring):
    # The keyring that holds the wallet is not running and may never run here again (another
    # desktop, the keyring removed): the face's second way out restores the phrase into files,
    # after saying that the keyring's wallet is left untouched. The next starts open the wallet
    # in files, with the keyring still gone or back, and the keyring's items stay as they were.
    keyring.start()
    w.start()
    import_wallet(w)
    items = wait_for("the wallet's items in the keyring", keyring.items, timeout=20)
    w.quit()
    keyring.stop()
    w.start()
    w.wait_node("push button", "Try Again", timeout=30)
    desktop.screenshot("keyring-gone-way-out")
    w.button("Restore into Files...")
    w.wait("what the restore leaves, said", lambda: text_shown(
        w, "The wallet in the keyring is left untouched"))
    assert not w.find("push button", "Create New Wallet"), "a new wallet offered"
    desktop.screenshot("restore-into-files")
    import_wallet(w)
    with open(os.path.join(data_dir(desktop), "keyring-wallet.json")) as marker:
        note = json.load(marker)
    assert note["items"] == "files", note
    assert "seed-" + note["walletID"] in sealed_files(desktop), (note, stored_files(desktop))
    w.quit()
    w.start()
    unlock(w)  # the wallet in files: its lock screen, not the keyring's face
    w.quit()
    keyring.start()  # the keyring back
    w.start()
    unlock(w)
    assert keyring.items() == items, f"{keyring.items()} after, {items} before"
    # Deleting the wallet in files leaves the keyring's: its lock screen follows, no onboarding
    # that would put a new wallet into files beside it.
    delete_wallet(w, then="Unlock")
    assert not w.find("push button", "Create New Wallet"), "onboarding beside a stored wallet"
    assert not sealed_files(desktop), f"left in files: {stored_files(desktop)}"
    desktop.screenshot("keyring-wallet-after-delete")
    unlock(w)
    assert keyring.items() == items, f"{keyring.items()} after, {items} before"
    with open(os.path.join(data_dir(desktop), "keyring-wallet.json")) as marker:
        assert json.load(marker)["items"] == "keyring", stored_files(desktop)
    w.quit()


def scenario_lockedwallet(desktop, w, keyring):
    # The keyring is locked while the program runs (as a screen locker locks it).
    items, backup = keyring_wallet_with_backup(desktop, w, keyring)

    # The lock screen: the keyring's own prompt (asked for by the read of the seed), dismissed,
    # is said to be the reason, with its unlock on offer, not "Item not found in keychain".
    lock_wallet(w)
    keyring.lock()
    w.fill(w.passwords(1)[0], PASSWORD)
    w.key("Return")
    answer_and_refocus(w, keyring, None)
    w.wait("the locked keyring named", lambda: text_shown(w, "The keyring is locked. Unlock it"))
    assert not text_shown(w, "Item not found"), "a dismissed prompt read as a missing item"
    desktop.screenshot("lock-screen-keyring-locked")
    w.button("Unlock Keyring")
    answer_and_refocus(w, keyring, KEYRING_PASSWORD)
    wait_for("the keyring to be unlocked", lambda: not keyring.locked())
    unlock(w)

    # "Delete Wallet" with the keyring locked again: it asks the keyring first; dismissed,
    # nothing goes and the tab says so; answered, every item goes.
    keyring.lock()
    open_security_tab(w)
    for answer in (None, KEYRING_PASSWORD):
        w.button("Delete Wallet")
        w.wait_node("dialog", "Delete Wallet?")
        w.button("Delete")
        answer_and_refocus(w, keyring, answer)
        if answer is None:
            w.wait("the refusal", lambda: text_shown(
                w, "The keyring is locked, so nothing was deleted"))
            assert keyring_item_count() == len(items), "items went while the keyring was locked"
            assert "keyring-wallet.json" in stored_files(desktop)
    w.wait_node("push button", "Create New Wallet")
    assert keyring_item_count() == 0, f"{keyring_item_count()} items left in the keyring"
    assert stored_files(desktop) == [], f"left on disk after delete: {stored_files(desktop)}"

    # Restore at the locked-keyring face (the keyring locked when the program starts): it
    # asks the keyring first; dismissed, nothing is written; answered, the backup goes into
    # the keyring, never into files beside the wallet the keyring holds.
    restore_backup(w, backup)
    w.quit()
    keyring.lock()
    w.start()
    w.wait_node("push button", "Try Again", timeout=30)
    choose_backup(w, backup)
    w.button("Restore Wallet")
    answer_and_refocus(w, keyring, None)
    w.wait("the refusal", lambda: text_shown(w, "The keyring is locked, so nothing was restored"))
    assert not sealed_files(desktop), f"restored into files: {stored_files(desktop)}"
    w.button("Restore Wallet")
    answer_and_refocus(w, keyring, KEYRING_PASSWORD)
    w.button("Done")
    unlock(w)
    assert not sealed_files(desktop), f"restored into files: {stored_files(desktop)}"
    assert keyring.items() == items, f"{keyring.items()} after, {items} before"

    # The lock screen's reset, with the keyring locked: the same.
    lock_wallet(w)
    keyring.lock()
    for answer in (None, KEYRING_PASSWORD):
        w.button("Crea nuovo wallet")
        dialog = w.wait_node("dialog", "Crea nuovo wallet")
        dbox = dialog.get_extents(w.Atspi.CoordType.SCREEN)
        w.button("Crea nuovo wallet", where=lambda b: dbox.y <= b.y <= dbox.y + dbox.height)
        answer_and_refocus(w, keyring, answer)
        if answer is None:
            w.wait("the refusal", lambda: text_shown(
                w, "The keyring is locked, so nothing was deleted"))
            assert keyring_item_count() == len(items), "items went while the keyring was locked"
            # The keyring's own unlock is offered beside the refusal.
            w.wait_node("push button", "Unlock Keyring", timeout=10)
            desktop.screenshot("lock-screen-reset-refused")
    w.wait_node("push button", "Create New Wallet")
    assert keyring_item_count() == 0, f"{keyring_item_count()} items left in the keyring"
    assert stored_files(desktop) == [], f"left on disk after the reset: {stored_files(desktop)}"
    w.quit()


def open_bitcoin_addresses(w):
    # The portfolio's Send opens the Bitcoin account; its address tab lists the addresses.
    w.button("Send")
    w.click_node(w.wait("the Bitcoin account's tabs", lambda: named(w, "Indirizzi")))
    w.wait_node("push button", NEW_ADDRESS)


NEW_ADDRESS = "Genera nuovo indirizzo"  # the address list's "+ Nuovo"


def stored_address_count():
    """The number of Bitcoin addresses the wallet's record in the keyring lists, read by an
    independent client."""
    result = run(["secret-tool", "lookup", "service", SERVICE, "account", "wallet-metadata"])
    return json.loads(result.stdout)["btcAddressCount"]


LOCKED_RECORD = ("The keyring is locked: the new address was not added. "
                 "Unlock it and try again.")


def scenario_lockedrecord(desktop, w, keyring):
    # The keyring is locked while the wallet is open (a screen locker), then a Bitcoin address
    # is added: the record that lists the addresses lives in the keyring. Its own prompt asks
    # first; dismissed, nothing is stored and the list says why; answered, the record goes into
    # the keyring (a file beside it would be read after the keyring's older record), the text
    # goes, and the next start reads the record.
    keyring.start()
    w.start()
    import_wallet(w)
    wait_for("the wallet's items in the keyring", keyring.items, timeout=20)
    open_bitcoin_addresses(w)
    keyring.lock()
    for answer in (None, KEYRING_PASSWORD):
        w.button(NEW_ADDRESS)
        answer_and_refocus(w, keyring, answer)
        if answer is None:
            w.wait("the list's refusal", lambda: named(w, LOCKED_RECORD))
            assert "wallet-metadata" not in stored_files(desktop), stored_files(desktop)
            assert keyring.locked(), "a dismissed prompt unlocked the keyring"
    w.wait_gone("label", LOCKED_RECORD)  # the stored address ends the refusal
    wait_for("the record with six addresses", lambda: stored_address_count() == 6)
    assert "wallet-metadata" not in stored_files(desktop), stored_files(desktop)
    w.quit()
    w.start()
    unlock(w)
    assert stored_address_count() == 6
    w.quit()


def scenario_nodisplay(desktop, w, keyring):
    # Without a graphical session, or with one that is gone: one line, status 1, no abort.
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    gone = next(n for n in range(200, 400) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
    for display, reason in ((None, "none was found"), (f":{gone}", "none could be opened")):
        if display:
            env["DISPLAY"] = display
        result = run([w.binary], check=False, env=env)
        lines = (result.stdout + result.stderr).strip().splitlines()
        log(f"DISPLAY={display}: status {result.returncode}: {lines}")
        assert result.returncode == 1, f"status {result.returncode}: {lines}"
        assert len(lines) == 1 and lines[0].startswith(
            "Quillmark needs a graphical session (X11 or Wayland); " + reason), lines


def total_heading_y(w):
    """The top of the portfolio's "Total Balance" heading."""
    node = named(w, "Total Balance")
    return node.get_extents(w.Atspi.CoordType.SCREEN).y if node else None


def account_send_y(w):
    """The top of the account screen's Send button; None while it is not on screen."""
    node = w.find("push button", "Send")
    return node.get_extents(w.Atspi.CoordType.SCREEN).y if node else None


def scroll_account(w, pixels):
    """Drags the account screen's content up by `pixels` (down, when negative), as a touchpad
    or a hand scrolls it (the wheel's steps are not a movement of the list)."""
    start = 650 if pixels > 0 else 200
    # --sync waits for a movement, and none comes where the pointer is already.
    if f"X=800\nY={start}\n" not in run(["xdotool", "getmouselocation", "--shell"]).stdout:
        w.xdotool("mousemove", "--sync", "800", str(start))
    w.xdotool("mousedown", "1")
    for step in range(1, 11):
        w.xdotool("mousemove", "--sync", "800", str(start - pixels * step // 10))
    w.xdotool("mouseup", "1")


def refresh_button_name(w):
    """The status bar's refresh button's name once a refresh has ended ("Last refresh: ...")."""
    return next((name for _, _, node in w.all("push button", lambda b: b.y < 60 and b.width == 18)
                 for name in [node.get_name()] if name.startswith("Last refresh: ")), None)


def scenario_offline(desktop, w, keyring):
    # No server can be reached from here. The account screens say what they could not load
    # (the price chart, the history, the tokens) instead of an endless busy indicator or an
    # empty list; and each account opens at its top, wherever the previous one was scrolled.
    keyring.start()
    w.start()
    import_wallet(w)
    # The status bar's refresh button is named by its help, whose age counts on unhovered.
    w.xdotool("mousemove", "--sync", "640", "700")
    first = w.wait("the last refresh's age", lambda: refresh_button_name(w), timeout=120)
    w.wait("the age counting on", lambda: refresh_button_name(w) not in (None, first),
           timeout=10)
    open_sidebar_account(w, "Bitcoin")
    w.wait("the chart's failure", lambda: named(w, "Could not load the price chart."),
           timeout=120)
    top = w.wait("the account's Send", lambda: account_send_y(w))
    scroll_account(w, 450)
    w.wait("the history's failure", lambda: named(w, "Could not load the transactions."),
           timeout=120)
    assert not named(w, "No transactions yet"), "a failed load shown as an empty history"
    scrolled = account_send_y(w)
    assert scrolled is None or scrolled < top - 100, f"Send still at {scrolled}, top {top}"
    open_sidebar_account(w, "Ethereum")
    w.wait("the Ethereum account at its top", lambda: account_send_y(w) == top, timeout=10)
    w.desktop.screenshot("offline-ethereum")
    scroll_account(w, 300)
    w.wait("the tokens' failure", lambda: named(w, "Could not load the tokens."), timeout=120)
    assert not named(w, "No tokens found"), "a failed load shown as no tokens"
    w.quit()


def server_names():
    """Every server name the program's sources give: the compiled-in pools, the explorers, the
    price service, the relay."""
    names = set()
    for folder, _, files in os.walk(SOURCES):
        for file in files:
            if file.endswith((".cpp", ".h", ".inc")):
                with open(os.path.join(folder, file), errors="replace") as source:
                    text = source.read()
                names.update(re.findall(r"(?:https|wss)://([A-Za-z0-9.-]+)", text))
                names.update(re.findall(r'\{"([A-Za-z0-9.-]+)", \d+, (?:true|false)\}', text))
    return sorted(names)


class SilentServers:
    """Listens on 127.0.0.1 at `ports`, accepts every connection and never sends a byte."""

    def __init__(self, ports):
        self.held = []
        for port in ports:
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.bind(("127.0.0.1", port))
            listener.listen(128)
            threading.Thread(target=self._hold, args=(listener,), daemon=True).start()

    def _hold(self, listener):
        while True:
            connection, _ = listener.accept()
            self.held.append(connection)


# What a balance of zero reads as on the portfolio, the sidebar and the account screens.
ZERO_BALANCES = ("$0.00", "0.00000000 BTC", "0.000000 ETH", "0.000000 POL", "0.0000 SOL")


def zero_balance_shown(w):
    """A name or text on screen that holds a zero balance or a zero total."""
    return next((name or text for _, name, text, _, _ in w.nodes()
                 if any(zero in name or zero in text for zero in ZERO_BALANCES)), None)


def scenario_stalled(desktop, w, keyring):
    # Every server accepts the connection and never answers (HTTPS and the Electrum servers'
    # ports). Until its first load ends, a list says that it is loading, not that it is empty;
    # no balance reads as a zero, the total says that balances are missing, and once the
    # lists' minute has passed the balances say that they could not be loaded.
    servers = SilentServers((443, 50002))
    keyring.start()
    w.start()
    import_wallet(w)
    w.wait("the total's note", lambda: named(w, "Some balances are still loading."))
    assert not zero_balance_shown(w), f"an unread balance shown as {zero_balance_shown(w)!r}"
    first_top = total_heading_y(w)
    open_sidebar_account(w, "Ethereum")
    w.wait("the Ethereum account's Send", lambda: account_send_y(w))
    assert not zero_balance_shown(w), f"an unread balance shown as {zero_balance_shown(w)!r}"
    scroll_account(w, 300)
    w.wait("the tokens loading", lambda: named(w, "Loading tokens..."))
    assert not named(w, "No tokens found"), "tokens not loaded yet shown as none"
    scroll_account(w, 200)
    w.wait("the history loading", lambda: named(w, "Loading transactions..."))
    assert not named(w, "No transactions yet"), "a history not loaded yet shown as empty"
    assert servers.held, "no connection reached the silent servers"
    w.desktop.screenshot("stalled-ethereum")
    # The account opens at its top again, where its balance says it could not be loaded.
    w.button("Portfolio")
    w.wait("the portfolio's total note", lambda: named(w, "Some balances are still loading.")
           or named(w, "Some balances could not be loaded."))
    open_sidebar_account(w, "Ethereum")
    w.wait("the balance's failure", lambda: named(w, "Could not load the Ethereum balance."),
           timeout=WAIT + 60)
    assert not zero_balance_shown(w), f"an unread balance shown as {zero_balance_shown(w)!r}"
    w.desktop.screenshot("stalled-ethereum-balance")
    w.button("Portfolio")
    w.wait("the total's failure", lambda: named(w, "Some balances could not be loaded."))
    assert not zero_balance_shown(w), f"an unread balance shown as {zero_balance_shown(w)!r}"
    # The note that came with the first load left the list at its top, as a later visit is.
    assert first_top == total_heading_y(w), (first_top, total_heading_y(w))
    w.desktop.screenshot("stalled-portfolio")
    w.quit()


def in_detail(box):  # the right-hand area, beside the sidebar (340 wide in the first window)
    return box.x > 340


def labels(w, where=in_detail):
    """The names of the labels on screen in `where`, in tree order (the order they are read)."""
    return [name for role, name, _, box, _ in w.nodes() if role == "label" and where(box)]


def all_labels_named(w, what):
    unnamed = [f"{box.x},{box.y}" for role, name, _, box, _ in w.nodes()
               if role == "label" and not name.strip()]
    assert not unnamed, f"{what}: labels that read as nothing at {unnamed}"
    only_drawn_read(w, what)


def only_drawn_read(w, what):
    """Nothing reads as showing that the window does not draw (a hidden note, another step)."""
    undrawn = w.undrawn()
    assert not undrawn, f"{what}: read as showing, not drawn: {undrawn}"


def open_sheet(w, button, title):
    """Presses `button` (its name) and waits for the dialog named `title`."""
    w.button(button)
    w.wait_node("dialog", title)
    all_labels_named(w, title)


def close_sheet(w, title):
    w.key("Escape")
    w.wait_gone("dialog", title, timeout=10)


def scenario_spoken(desktop, w, keyring):
    # Every server accepts the connection and never answers, as in "stalled". Everything a
    # sighted user reads there is read over AT-SPI too.
    servers = SilentServers((443, 50002))
    keyring.start()
    w.start()
    import_wallet(w)
    # The portfolio: the total under its heading, and each account's name, ticker, amount and
    # value (whatever figures they show while nothing has answered).
    w.wait("the portfolio's heading", lambda: "Total Balance" in labels(w))
    shown = labels(w)
    assert shown[shown.index("Total Balance") + 1], f"no total after its heading: {shown}"
    for chain, ticker in (("Bitcoin", "BTC"), ("Ethereum", "ETH")):
        row = next((i for i in range(len(shown) - 3)
                    if shown[i] == chain and shown[i + 1] == ticker), None)
        assert row is not None, f"no {chain} row read: {shown}"
        assert shown[row + 2] and shown[row + 3], f"the {chain} row's figures: {shown}"
    all_labels_named(w, "the portfolio")
    # The sidebar's accounts: those that do not fit its list (under the network panel) are not
    # read as showing.
    panel = w.wait("the sidebar's list", lambda: next(
        (box for role, _, _, box, _ in w.nodes()
         if role == "panel" and box.x == 0 and 200 <= box.width < 400 and box.y > 60), None))
    rows = [(name, box) for role, name, _, box, _ in w.nodes()
            if role == "push button" and " #" in name and box.x < panel.width]
    assert rows, "no account rows read"
    outside = [name for name, box in rows
               if box.y >= panel.y + panel.height or box.y + box.height <= panel.y]
    assert not outside, f"read as showing outside the sidebar's list: {outside}"
    w.button(where=settings_button)
    w.wait_node("dialog", "Settings")
    only_drawn_read(w, "Settings")
    close_sheet(w, "Settings")
    # The sheets whose steps wait behind the first: the phrase before the password, the
    # restore's outcome before any restore.
    open_sheet(w, "Show recovery phrase", "Recovery Phrase")
    close_sheet(w, "Recovery Phrase")
    w.key("ctrl+shift+r")
    w.wait_node("dialog", "Restore Backup")
    only_drawn_read(w, "Restore Backup")
    close_sheet(w, "Restore Backup")

    # Bitcoin: its receive and send sheets, and each of its addresses with the button that
    # copies it.
    open_sidebar_account(w, "Bitcoin")
    open_sheet(w, "Receive", "Receive BTC")
    w.wait("the receive address", lambda: named(w, BTC_ADDRESS))
    w.wait_node("image", "QR code of the address " + BTC_ADDRESS)
    close_sheet(w, "Receive BTC")
    open_sheet(w, "Send", "Send BTC")
    close_sheet(w, "Send BTC")
    tab = w.wait("the Bitcoin account's tabs", lambda: named(w, "Indirizzi"))
    w.click_node(tab)
    below = tab.get_extents(w.Atspi.CoordType.SCREEN).y

    def copies():  # the list's, below the tabs (the account's own address has one above)
        found = [node.get_name() for _, _, node in w.all("push button", lambda b: b.y > below)
                 if node.get_name().startswith("Copy address ")]
        return found if len(found) >= 5 else None

    addresses = [name[len("Copy address "):] for name in w.wait("five copy buttons", copies)]
    assert len(set(addresses)) == len(addresses), addresses
    assert addresses[:2] == [BTC_ADDRESS, BTC_SECOND_ADDRESS], addresses
    for address in addresses:
        assert named(w, address), f"the address {address} is not read"
    only_drawn_read(w, "the Bitcoin addresses")

    # Ethereum: the swap's quote and Add Token's lookup, each waiting on its silent server;
    # scrolled up, what went under the status bar (the address's copy button) is not read as
    # showing, and nothing that is read as showing lies wholly above the list's top.
    open_sidebar_account(w, "Ethereum")
    w.wait("the Ethereum account's Send", lambda: account_send_y(w))
    open_sheet(w, "Swap", "Swap")
    w.fill(w.wait_node("text", "From amount"), "0.25")
    w.wait("the quote on its way", lambda: named(w, "Fetching quote..."))
    close_sheet(w, "Swap")
    copy = "Copy address " + ETH_ADDRESS
    w.wait_node("push button", copy, where=in_detail)
    list_top = w.wait("the account's scroll bar", lambda: next(
        (box.y for role, _, _, box, _ in w.nodes()  # at the window's right edge
         if role == "scroll bar" and box.x > 1000), None))

    def above_list():  # the status bar's own nodes, and whatever else is read up there
        return {(role, name) for role, name, _, box, _ in w.nodes()
                if in_detail(box) and box.y + box.height <= list_top}

    bar = above_list()
    scroll_account(w, 450)
    w.wait_gone("push button", copy, where=in_detail, timeout=10)
    assert above_list() == bar, f"read as showing under the status bar: {above_list() - bar}"
    only_drawn_read(w, "the Ethereum account")
    open_sheet(w, "Add Token", "Add Token")
    w.fill(w.wait_node("text", "Contract Address"), "0x" + "ab" * 20)
    w.wait("the lookup on its way", lambda: named(w, "Detecting token..."))
    close_sheet(w, "Add Token")
    w.desktop.screenshot("spoken-ethereum")

    # Arbitrum: the sale's quote.
    open_sidebar_account(w, "Arbitrum")
    open_sheet(w, "NOVR", "Nova Crest")
    w.fill(w.wait_node("text", "Amount"), "1.5")
    w.wait("the sale's quote on its way", lambda: named(w, "Fetching quote..."))
    close_sheet(w, "Nova Crest")
    assert servers.held, "no connection reached the silent servers"
    w.quit()


def screen_pixels(path):
    """An xwd screenshot of a 24-bit screen as (width, height, pixel(x, y) -> (r, g, b))."""
    with open(path, "rb") as shot:
        data = shot.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height, byte_order = fields[0], fields[4], fields[5], fields[7]
    size, line, masks, colours = fields[11] // 8, fields[12], fields[14:17], fields[19]
    assert size in (3, 4) and masks == (0xFF0000, 0xFF00, 0xFF), f"pixels of {fields}"
    start = header_size + colours * 12
    order = "little" if byte_order == 0 else "big"

    def pixel(x, y):
        at = start + y * line + x * size
        value = int.from_bytes(data[at:at + size], order)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF

    return width, height, pixel


def ring_pixels(path, box, colour):
    """Pixels of `colour` in the band 4 pixels wide either side of `box`'s edge."""
    width, height, pixel = screen_pixels(path)
    count = 0
    for y in range(max(0, box.y - 4), min(height, box.y + box.height + 4)):
        for x in range(max(0, box.x - 4), min(width, box.x + box.width + 4)):
            inner = (box.x + 4 <= x < box.x + box.width - 4
                     and box.y + 4 <= y < box.y + box.height - 4)
            if not inner and sum(abs(a - b) for a, b in zip(pixel(x, y), colour)) < 16:
                count += 1
    return count


def scenario_focus(desktop, w, keyring):
    # The welcome screen in the default theme ("Apple Blue"): Tab moves a ring of its light
    # accent from control to control; before any key, none is drawn.
    w.start()
    create = w.wait_node("push button", "Create New Wallet")
    importing = w.wait_node("push button", "Import Existing Wallet")
    boxes = [node.get_extents(w.Atspi.CoordType.SCREEN) for node in (create, importing)]
    # Without a window manager the window takes the keys once clicked: in its corner, away
    # from every control.
    frame = w.find("frame", "Quillmark").get_extents(w.Atspi.CoordType.SCREEN)
    w.xdotool("mousemove", "--sync", str(frame.x + 5), str(frame.y + frame.height - 5))
    w.xdotool("click", "1")
    time.sleep(1)  # the screen's fade-in
    shot = desktop.screenshot("focus-none")
    assert [ring_pixels(shot, box, RING) for box in boxes] == [0, 0], "a ring before any key"

    def ring_after_tab(node, name):
        tab_to(w, node, name)
        time.sleep(0.5)
        shot = desktop.screenshot("focus")
        lit = [ring_pixels(shot, box, RING) for box in boxes]
        log(f"ring pixels around the two buttons with {name} focused:", lit)
        return lit

    lit = ring_after_tab(create, "Create New Wallet")
    assert lit[0] >= boxes[0].width + boxes[0].height and lit[1] == 0, lit
    lit = ring_after_tab(importing, "Import Existing Wallet")
    assert lit[0] == 0 and lit[1] >= boxes[1].width + boxes[1].height, lit
    w.quit()


def choose_theme(w, theme):
    """Settings' Appearance tab: the theme's card clicked until it reads checked."""
    w.button(where=settings_button)
    settings = w.wait_node("dialog")
    sbox = settings.get_extents(w.Atspi.CoordType.SCREEN)
    w.click_node(w.wait_node("page tab", "Appearance",
                             where=lambda b: sbox.x <= b.x <= sbox.x + sbox.width))
    checked = w.Atspi.StateType.CHECKED

    def card():
        return next((node for role, name, _, _, node in w.nodes()
                     if name == theme and role != "label"), None)

    w.click_node(w.wait(f"the {theme} card", card))
    w.wait(f"{theme} checked", lambda: card().get_state_set().contains(checked), timeout=10)
    w.key("Escape")
    w.wait_gone("page tab", "Appearance", timeout=10)


def scenario_themepicker(desktop, w, keyring):
    # The swap's token picker opened again and again, the theme switched in between: each
    # opening draws the picker's coin discs anew (the closed sheet's drawing was dropped), and
    # the program keeps running. AddressSanitizer hands freed memory out again at once here, as
    # the program's own allocator does.
    keyring.start()
    w.start(asan_options=":quarantine_size_mb=0")
    import_wallet(w)
    open_sidebar_account(w, "Ethereum")
    for cycle in range(THEME_PICKER_CYCLES):
        choose_theme(w, ["Dollar Green", "Apple Blue"][cycle % 2])
        w.button("Swap")
        for opening in range(PICKER_OPENINGS):
            w.button("From token: ETH")
            w.wait_node("text", "Search token")
            if cycle == 0 and opening == 0:
                desktop.screenshot("token-picker")
            w.key("Escape")
            w.wait_gone("text", "Search token", timeout=10)
        w.key("Escape")
        w.wait_gone("push button", "Review Swap", timeout=10)
    log(f"themepicker: {THEME_PICKER_CYCLES} theme switches, "
        f"{PICKER_OPENINGS * THEME_PICKER_CYCLES} picker openings")
    w.quit()


def inside(scenario, binary, work):
    desktop = Desktop(work)
    window = Window(desktop, binary)
    try:
        desktop.start_display()
        scenarios = {"keyring": scenario_keyring, "locked": scenario_locked,
                     "lockedstart": scenario_lockedstart, "absent": scenario_absent,
                     "nodialog": scenario_nodialog, "walletconnect": scenario_walletconnect,
                     "send": scenario_send, "filedialogs": scenario_filedialogs,
                     "clipboard": scenario_clipboard, "keyringgone": scenario_keyringgone,
                     "lockedwallet": scenario_lockedwallet,
                     "lockedrecord": scenario_lockedrecord, "nodisplay": scenario_nodisplay,
                     "offline": scenario_offline, "keyringout": scenario_keyringout,
                     "stalled": scenario_stalled, "spoken": scenario_spoken,
                     "focus": scenario_focus,
                     "themepicker": scenario_themepicker, "keptsend": scenario_keptsend,
                     "unreadablerecord": scenario_unreadablerecord}
        scenarios[scenario](desktop, window, Keyring())
        return 0
    except Skip as reason:
        print(f"SKIP: {scenario}: {reason}", flush=True)
        return SKIP
    except Exception:
        traceback.print_exc()
        return 1
    finally:
        window.kill()
        desktop.stop()


def main(argv):
    if len(argv) >= 5 and argv[1] == "--inside":
        return inside(argv[2], argv[3], argv[4])
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    binary = os.path.abspath(argv[1])
    scenarios = argv[2:] or SCENARIOS
    try:
        return outer(binary, scenarios)
    except Skip as reason:
        print(f"SKIP: {reason}", flush=True)
        return SKIP


if __name__ == "__main__":
    sys.exit(main(sys.argv))
