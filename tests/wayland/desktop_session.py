"""What every private Wayland desktop of the tests shares, whichever compositor it runs.

A PrivateSession is a temporary root with a runtime directory and a home, a private D-Bus session
bus, and the processes started in it, stopped by pid at the end. Compositors that refuse to run as
root (sway), and the clients of one that does not, run as an unprivileged user (USER) when the
tests run as root, with their own runtime directory and homes. An App is one run of the program in
such a session.
"""

import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
# The fixture site, process handling and a run's files are shared with the X11 scenarios.
from harness import FIELD_PAGE, Run, Site, stop_processes, wait_until  # noqa: E402,F401

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

    def stop(self, logs_to=None):
        """Stops everything; the desktop's own logs (the compositor's, the portal's) go to `logs_to`."""
        stop_processes(self.processes, self.bus_pid)
        if logs_to:
            os.makedirs(logs_to, exist_ok=True)
            for log in glob.glob(os.path.join(self.root, "*.log")):
                shutil.copy(log, logs_to)
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

    def other_window(self, title=None):
        """Another program's window, mapped where the compositor puts it; returns (process, title)."""
        title = title or f"other-{time.monotonic_ns()}"
        process = subprocess.Popen(self.command([SYSTEM_PYTHON, os.path.join(HELPERS, "other_window.py"), title]),
                                   env=self.base_env(), stdout=subprocess.PIPE, text=True, start_new_session=True)
        self.processes.append(process)
        self.assert_line(process, "shown")
        return process, title


class App(Run):
    """One run of the program with its own home, as a native Wayland client of `desktop`."""

    def __init__(self, desktop, home=None, preferences=None):
        super().__init__(home or tempfile.mkdtemp(prefix="home-", dir=desktop.root), preferences)
        self.desktop = desktop
        self.extra_env = {}
        self.desktop.own(self.home)

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


class SessionTest(unittest.TestCase):
    """One private desktop (of class `desktop`) and one fixture site for the test class; one
    program run per test. Logs go to the artifacts, next to the screenshots."""

    desktop = None
    app_class = App
    session = None
    site = None

    @classmethod
    def logs(cls, name):
        return os.path.join(ARTIFACTS, "wayland", name)

    @classmethod
    def setUpClass(cls):
        if not BINARY:
            raise unittest.SkipTest("PLENHALL_E2E_BINARY is not set")
        cls.session = cls.desktop()
        try:
            cls.session.start()
            cls.site = Site()
            cls.site.start()
        except Exception:
            cls.site = None  # not serving: the port was taken
            cls.session.stop(logs_to=cls.logs(cls.__name__))
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.site:
            cls.site.stop()
        if cls.session:
            cls.session.stop(logs_to=cls.logs(cls.__name__))

    def setUp(self):
        self.apps = []
        self.others = []
        self.site.requests.clear()

    def tearDown(self):
        for other in self.others:
            if other.poll() is None:
                other.terminate()
                other.wait(5)
        directory = self.logs(self.id().split(".")[-1])
        for index, app in enumerate(self.apps):
            app.stop()
            if app.log_path:
                os.makedirs(directory, exist_ok=True)
                shutil.copy(app.log_path, os.path.join(directory, f"program-{index}.log"))

    def launch(self, preferences=None, home=None, onboarded=True, env=None):
        """A run of the program; a new home gets `preferences` (onboarded unless told otherwise), a
        reused home keeps what the earlier run left. Returns once the run has `started`."""
        if home is None:
            preferences = dict(preferences or {})
            if onboarded:
                preferences.setdefault("hasOnboarded", True)
        app = self.app_class(self.session, home=home, preferences=preferences if home is None else None)
        app.extra_env = env or {}
        self.apps.append(app)
        requests = len(self.site.requests_for("/app"))
        app.start()
        wait_until(lambda: self.started(app, requests) or app.process.poll() is not None, 30,
                   message="the program under way")
        self.assertIsNone(app.process.poll(), f"the program exited: {app.log()}")
        return app

    def started(self, app, requests):
        return len(self.site.requests_for("/app")) > requests

    def open_url(self, app, url):
        """Hands `url` to the running program the way the desktop's URL handler does: by starting it
        again with the URL."""
        second = app.launch_again(url)
        self.assertEqual(second.returncode, 0, second.stdout + second.stderr)

    def other_application(self):
        process, title = self.session.other_window()
        self.others.append(process)
        return title
