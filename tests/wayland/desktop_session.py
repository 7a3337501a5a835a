"""What every private Wayland desktop of the tests shares, whichever compositor it runs.

A PrivateSession is a temporary root with a runtime directory and a home, a private D-Bus session
bus, and the processes started in it, stopped by pid at the end. Compositors that refuse to run as
root (sway), and the clients of one that does not, run as an unprivileged user (USER) when the
tests run as root, with their own runtime directory and homes. An App is one run of the program in
such a session.
"""

import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import FIELD_PAGE, Site, wait_until  # noqa: E402,F401  (the fixture site is shared)

BINARY = os.environ.get("PLENHALL_E2E_BINARY", "")
ARTIFACTS = os.environ.get("PLENHALL_E2E_ARTIFACTS", os.path.join(tempfile.gettempdir(), "plenhall-e2e"))
USER = os.environ.get("PLENHALL_E2E_USER", "plenhall-e2e")
HELPERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers")
# A session bus that starts no service by itself, so a portal runs only where a test starts one.
BUS_CONFIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "portal", "bus.conf")
# The system's Python, which has the toolkit's bindings (python3-gi), for the other application.
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"

APP_ID = "com.plenhall.Desktop"


def ensure_user():
    """The unprivileged account the desktop runs as when the tests run as root; None otherwise."""
    if os.geteuid() != 0:
        return None
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", USER], check=True, capture_output=True)
        return pwd.getpwnam(USER)


class PrivateSession:
    """A private desktop's files, bus and processes; a compositor's harness adds the compositor."""

    def __init__(self, prefix="plenhall-wayland-"):
        self.user = ensure_user()
        self.root = tempfile.mkdtemp(prefix=prefix)
        os.chmod(self.root, 0o755)
        self.runtime_dir = os.path.join(self.root, "runtime")
        os.mkdir(self.runtime_dir, 0o700)
        self.home = os.path.join(self.root, "home")
        os.mkdir(self.home)
        self.own(self.runtime_dir, self.home)
        self.processes = []
        self.bus_pid = None
        self.env = {}
        # The program, where the unprivileged user can reach it whatever the build directory's
        # permissions.
        self.binary = os.path.join(self.root, "plenhall-desktop")
        if BINARY:
            shutil.copy2(BINARY, self.binary)
            os.chmod(self.binary, 0o755)

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        raise NotImplementedError

    def own(self, *paths):
        """Hands files the harness wrote to the desktop's user."""
        if not self.user:
            return
        for path in paths:
            for directory, _, files in os.walk(path):
                for name in [directory] + [os.path.join(directory, f) for f in files]:
                    os.chown(name, self.user.pw_uid, self.user.pw_gid)

    def command(self, command):
        if not self.user:
            return list(command)
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}", "--clear-groups",
                *command]

    def base_env(self, **extra):
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "GDK_BACKEND", "XAUTHORITY",
                              "DBUS_SESSION_BUS_ADDRESS", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP")}
        env.update({"XDG_RUNTIME_DIR": self.runtime_dir, "HOME": self.home, "NO_AT_BRIDGE": "1"})
        env.update(self.env)
        env.update(extra)
        return {key: value for key, value in env.items() if value is not None}  # None: left out

    def spawn(self, command, name, env=None, **kwargs):
        with open(os.path.join(self.root, f"{name}.log"), "a") as log:
            process = subprocess.Popen(self.command(command), env=env or self.base_env(), stdout=log,
                                       stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def start_session_bus(self):
        out = subprocess.run(self.command(["dbus-daemon", f"--config-file={BUS_CONFIG}", "--fork",
                                           "--print-address=1", "--print-pid=1", "--nopidfile"]),
                             env=self.base_env(), capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.bus_pid = int(out[1])

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.bus_pid:
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.root, ignore_errors=True)

    def log(self, name):
        try:
            with open(os.path.join(self.root, f"{name}.log")) as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def run(self, command, timeout=30, env=None, check=True):
        return subprocess.run(self.command(command), env=env or self.base_env(), capture_output=True, text=True,
                              timeout=timeout, check=check)

    def assert_line(self, process, expected):
        line = process.stdout.readline().strip()
        if line != expected:
            raise AssertionError(f"expected {expected!r} from the helper, got {line!r}")


class App:
    """One run of the program with its own home, as a native Wayland client of `desktop`."""

    def __init__(self, desktop, home=None, preferences=None):
        self.desktop = desktop
        self.home = home or tempfile.mkdtemp(prefix="home-", dir=desktop.root)
        self.process = None
        self.log_path = None
        self.extra_env = {}
        if preferences is not None:
            self.write_preferences(preferences)
        self.desktop.own(self.home)

    @property
    def config_dir(self):
        return os.path.join(self.home, ".config")

    @property
    def preferences_path(self):
        return os.path.join(self.config_dir, "plenhall-desktop", "preferences.json")

    def write_preferences(self, entries):
        os.makedirs(os.path.dirname(self.preferences_path), exist_ok=True)
        with open(self.preferences_path, "w") as f:
            json.dump(entries, f)

    def preferences(self):
        try:
            with open(self.preferences_path) as f:
                return json.load(f)
        except (FileNotFoundError, json.JSONDecodeError):
            return {}

    def environment(self):
        return self.desktop.base_env(**self.extra_env, HOME=self.home, XDG_CONFIG_HOME=self.config_dir,
                                     XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                                     XDG_CACHE_HOME=os.path.join(self.home, ".cache"))

    def start(self, *arguments):
        self.log_path = os.path.join(self.home, f"stderr-{int(time.time() * 1000)}.log")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(self.desktop.command([self.desktop.binary, *arguments]),
                                            env=self.environment(), stdout=log, stderr=subprocess.STDOUT,
                                            start_new_session=True)
        self.desktop.processes.append(self.process)
        return self

    def launch_again(self, *arguments, timeout=20):
        """A second start while this one runs: it hands its arguments to the first and exits."""
        return self.desktop.run([self.desktop.binary, *arguments], env=self.environment(), timeout=timeout,
                                check=False)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def log(self):
        with open(self.log_path) as f:
            return f.read()
