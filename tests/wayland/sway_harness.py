"""The real program as a native Wayland client on a private sway desktop, driven as a user would.

A Sway is a headless sway compositor (wlroots' headless backend, software rendering) with two
outputs side by side, XWayland started only for the X client that asks, and a private D-Bus
session bus; the fixture calendar is the
X11 tests' Site. sway refuses to run as root, so where the tests run as root the compositor, the
bus, the program and every other client run as an unprivileged user (USER), with their own
runtime directory and homes.

State is read from sway itself (swaymsg -t get_tree / get_outputs), the page through the fixture
site's reports; keys are typed through the virtual-keyboard protocol (wtype).
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
import unittest

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

OUTPUTS = {"HEADLESS-1": (0, 0, 1280, 800), "HEADLESS-2": (1280, 0, 1280, 800)}
APP_ID = "com.plenhall.Desktop"

SWAY_CONFIG = """
# Started only when an X client connects: the XWayland scenario.
xwayland enable
output HEADLESS-1 mode 1280x800 position 0 0
output HEADLESS-2 mode 1280x800 position 1280 0
default_border none
default_floating_border none
focus_follows_mouse no
# A tiling desktop sizes its windows itself; its users float the large calendar to size it.
for_window [app_id="^com\\\\.plenhall\\\\.Desktop$"] floating enable
"""


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


class Sway:
    """A private sway desktop with its session bus."""

    def __init__(self):
        self.user = ensure_user()
        self.root = tempfile.mkdtemp(prefix="plenhall-sway-")
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

    def start(self):
        config = os.path.join(self.root, "sway.conf")
        with open(config, "w") as f:
            f.write(SWAY_CONFIG)
        self.sway = self.spawn(["sway", "--config", config], "sway", env=self.base_env(
            WLR_BACKENDS="headless", WLR_HEADLESS_OUTPUTS="2", WLR_LIBINPUT_NO_DEVICES="1",
            WLR_RENDERER="pixman", XDG_CURRENT_DESKTOP="sway"))

        def sockets():
            if self.sway.poll() is not None:
                raise AssertionError(f"sway exited: {self.log('sway')}")
            names = os.listdir(self.runtime_dir)
            ipc = [n for n in names if n.startswith("sway-ipc.") and n.endswith(".sock")]
            wayland = [n for n in names if n.startswith("wayland-") and not n.endswith(".lock")]
            return ipc and wayland and (ipc[0], wayland[0])
        ipc, wayland = wait_until(sockets, 20, message="sway's sockets")
        self.env = {"WAYLAND_DISPLAY": wayland, "SWAYSOCK": os.path.join(self.runtime_dir, ipc),
                    "XDG_SESSION_TYPE": "wayland"}
        wait_until(lambda: len(self.outputs()) == 2, 20, message="two outputs")
        # Headless, the seat has no keyboard, and without one no window ever has the keyboard
        # focus, which is what tells a GTK window it is active. A virtual keyboard stays plugged
        # in for the session (wtype holds its device while it sleeps).
        self.spawn(["wtype"] + ["-s", "2000000"] * 8, "keyboard")
        wait_until(lambda: any(s.get("capabilities", 0) & 2 for s in self.msg("-t", "get_seats")), 10,
                   message="the keyboard")
        self.start_session_bus()
        self.start_desktop_services()

    def start_session_bus(self):
        out = subprocess.run(self.command(["dbus-daemon", f"--config-file={BUS_CONFIG}", "--fork",
                                           "--print-address=1", "--print-pid=1", "--nopidfile"]),
                             env=self.base_env(), capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.bus_pid = int(out[1])

    def start_desktop_services(self):
        """Starts what a desktop offers on its session bus before any program runs. Nothing yet,
        and the bus starts nothing on demand: the place for a global-shortcuts portal
        (xdg-desktop-portal with a backend, see portal/), started with self.spawn(…) so that it
        runs as the desktop's user and is stopped with the desktop."""

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

    # sway's own account of the desktop.

    def msg(self, *arguments, check=True):
        result = subprocess.run(["swaymsg", "--raw", *arguments], env=self.base_env(), capture_output=True,
                                text=True, timeout=20)
        if check and result.returncode != 0:
            raise AssertionError(f"swaymsg {arguments}: {result.stdout}{result.stderr}")
        return json.loads(result.stdout) if result.stdout.strip() else None

    def outputs(self):
        return self.msg("-t", "get_outputs")

    def focused_output(self):
        return next(o["name"] for o in self.outputs() if o["focused"])

    def focus_output(self, name):
        self.msg("focus", "output", name)
        wait_until(lambda: self.focused_output() == name, 5, message=f"{name} focused")

    def views(self):
        """Every mapped window, each with the output it is on under "output"."""
        found = []

        def walk(node, output):
            if node.get("type") == "output":
                output = node["name"]
            if node.get("pid") and node.get("type") in ("con", "floating_con"):
                found.append({**node, "output": output})
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child, output)
        walk(self.msg("-t", "get_tree"), None)
        return found

    def focused_view(self):
        return next((v for v in self.views() if v.get("focused")), None)

    def x_display(self):
        """The X display of sway's XWayland, as sway gives it to the programs it starts."""
        path = os.path.join(self.home, "x-display")
        if not os.path.exists(path):
            self.msg("exec", f'printf %s "$DISPLAY" > {path}.new && mv {path}.new {path}')
            wait_until(lambda: os.path.exists(path), 10, message="sway's X display")
        with open(path) as f:
            return f.read()

    # What a user does.

    def type(self, text):
        # The compositor takes a moment to hand a new virtual keyboard's keymap to the focused
        # window; keys sent before then are lost.
        self.run(["wtype", "-s", "300", "-d", "30", text])

    def key(self, name):
        self.run(["wtype", "-s", "300", "-k", name])

    def run(self, command, timeout=30, env=None, check=True):
        return subprocess.run(self.command(command), env=env or self.base_env(), capture_output=True, text=True,
                              timeout=timeout, check=check)

    def other_application(self, title=None):
        """Another program's window, mapped on the focused output; returns (process, title)."""
        title = title or f"other-{time.monotonic_ns()}"
        process = subprocess.Popen(self.command([SYSTEM_PYTHON, os.path.join(HELPERS, "other_window.py"), title]),
                                   env=self.base_env(), stdout=subprocess.PIPE, text=True,
                                   start_new_session=True)
        self.processes.append(process)
        self.assert_line(process, "shown")
        wait_until(lambda: any(v.get("name") == title for v in self.views()), 10,
                   message="the other application's window")
        return process, title

    def assert_line(self, process, expected):
        line = process.stdout.readline().strip()
        if line != expected:
            raise AssertionError(f"expected {expected!r} from the helper, got {line!r}")

    def focus_view(self, title):
        self.msg(f'[title="^{title}$"]', "focus")

    def has_dark_pixels(self, x, y, width, height):
        """Whether that part of the desktop shows anything near black (text, for instance; sway's
        own background is a dark grey)."""
        shot = subprocess.run(self.command(["grim", "-t", "ppm", "-g", f"{x},{y} {width}x{height}", "-"]),
                              env=self.base_env(), capture_output=True, timeout=20, check=True).stdout
        # Binary PPM: "P6", width, height, maximum value, then the RGB bytes.
        fields = shot.split(maxsplit=4)
        pixels = fields[4]
        return any(sum(pixels[i:i + 3]) < 3 * 32 for i in range(0, len(pixels) - 2, 3))

    def screenshot(self, test, name):
        directory = os.path.join(ARTIFACTS, "wayland", test)
        os.makedirs(directory, exist_ok=True)
        path = os.path.join(directory, f"{name}.png")
        shot = os.path.join(self.home, f"{name}.png")  # where the desktop's user may write
        if shutil.which("grim") and self.run(["grim", shot], check=False).returncode == 0:
            shutil.copy(shot, path)
        return path


class App:
    """One run of the program with its own home, as a native Wayland client."""

    def __init__(self, sway, home=None, preferences=None):
        self.sway = sway
        self.home = home or tempfile.mkdtemp(prefix="home-", dir=sway.root)
        self.process = None
        self.log_path = None
        self.extra_env = {}
        if preferences is not None:
            self.write_preferences(preferences)
        self.sway.own(self.home)

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
        return self.sway.base_env(**self.extra_env, HOME=self.home, XDG_CONFIG_HOME=self.config_dir,
                                  XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                                  XDG_CACHE_HOME=os.path.join(self.home, ".cache"))

    def start(self, *arguments):
        self.log_path = os.path.join(self.home, f"stderr-{int(time.time() * 1000)}.log")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(self.sway.command([self.sway.binary, *arguments]), env=self.environment(),
                                            stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        self.sway.processes.append(self.process)
        return self

    def launch_again(self, *arguments, timeout=20):
        """A second start while this one runs: it hands its arguments to the first and exits."""
        return self.sway.run([self.sway.binary, *arguments], env=self.environment(), timeout=timeout, check=False)

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

    def views(self):
        return [v for v in self.sway.views() if v["pid"] == self.process.pid]

    def calendar(self):
        """The calendar's window while it is on screen, else None."""
        return next((v for v in self.views() if not is_settings(v)), None)

    def settings(self):
        """The settings (and welcome) window while it is on screen, else None."""
        return next((v for v in self.views() if is_settings(v)), None)


SETTINGS_WIDTH = 440


def is_settings(view):
    """Wayland windows have no role to tell them apart; the settings window has its own fixed width
    (its height includes a title bar where the toolkit draws one), narrower than any calendar."""
    return view["window_rect"]["width"] == SETTINGS_WIDTH


class SwayTest(unittest.TestCase):
    """One sway desktop and one fixture site for the test class; one program run per test."""

    sway = None
    site = None
    desktop = None  # the Sway class to run; None: a plain one

    @classmethod
    def setUpClass(cls):
        if not BINARY:
            raise unittest.SkipTest("PLENHALL_E2E_BINARY is not set")
        cls.sway = (cls.desktop or Sway)()
        cls.sway.start()
        cls.site = Site()
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        if cls.site:
            cls.site.stop()
        if cls.sway:
            cls.sway.stop()

    def setUp(self):
        self.apps = []
        self.others = []
        self.site.requests.clear()
        self.site.routes.pop("/report", None)
        self.site.routes["/app"] = (200, "text/html", Site.PAGE)
        self.sway.focus_output("HEADLESS-1")

    def tearDown(self):
        for other in self.others:
            if other.poll() is None:
                other.terminate()
                other.wait(5)
        directory = os.path.join(ARTIFACTS, "wayland", self.id().split(".")[-1])
        for index, app in enumerate(self.apps):
            app.stop()
            if app.log_path:  # what the program said, next to the screenshots
                os.makedirs(directory, exist_ok=True)
                shutil.copy(app.log_path, os.path.join(directory, f"program-{index}.log"))

    def launch(self, preferences=None, home=None, onboarded=True, env=None):
        """A run of the program; a new home gets `preferences` (onboarded unless told otherwise), a
        reused home keeps what the earlier run left. Returns once the calendar is loading."""
        if home is None:
            preferences = dict(preferences or {})
            if onboarded:
                preferences.setdefault("hasOnboarded", True)
        app = App(self.sway, home=home, preferences=preferences if home is None else None)
        app.extra_env = env or {}
        self.apps.append(app)
        requests = len(self.site.requests_for("/app"))
        app.start()
        wait_until(lambda: len(self.site.requests_for("/app")) > requests or app.process.poll() is not None, 30,
                   message="the start request")
        self.assertIsNone(app.process.poll(), f"the program exited: {app.log()}")
        return app

    def open_url(self, app, url):
        """Hands `url` to the running program the way the desktop's URL handler does: by starting it
        again with the URL."""
        second = app.launch_again(url)
        self.assertEqual(second.returncode, 0, second.stdout + second.stderr)

    def other_application(self):
        process, title = self.sway.other_application()
        self.others.append(process)
        return title

    def wait_calendar(self, app, shown=True, timeout=15):
        if shown:
            return wait_until(app.calendar, timeout, message="the calendar on screen")
        wait_until(lambda: app.calendar() is None, timeout, message="the calendar put away")
        return None

    def wait_focused(self, predicate, message, timeout=10):
        return wait_until(lambda: (lambda view: view if view and predicate(view) else None)(self.sway.focused_view()),
                          timeout, message=message)

    def shot(self, name):
        return self.sway.screenshot(self.id().split(".")[-1], name)
