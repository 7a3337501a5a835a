"""The real program on a private X desktop, driven as a user would drive it.

A Desktop is a headless X server with two monitors side by side (Xorg's dummy driver; Xvfb has a
single RandR output, which GTK reports as one monitor), the openbox window manager and a private
D-Bus session. A Site is the fixture calendar on loopback: 127.0.0.1 is the service domain and
localhost stands for the rest of the web. An App is one run of the test build of plenhall-desktop
with its own HOME and XDG directories.
"""

import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

BINARY = os.environ.get("PLENHALL_E2E_BINARY", "")
PORT = int(os.environ.get("PLENHALL_E2E_PORT", "47613"))
X_HELPER = os.environ.get("PLENHALL_E2E_X_HELPER", "")
ARTIFACTS = os.environ.get("PLENHALL_E2E_ARTIFACTS", os.path.join(tempfile.gettempdir(), "plenhall-e2e"))

HELPERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers")
# Debian's python, which has the accessibility bus's bindings (gir1.2-atspi-2.0).
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"

MONITORS = [(0, 0, 1280, 800), (1280, 0, 1280, 800)]
SHORTCUT = "ctrl+alt+super+c"

XORG_CONF = """
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2560 1600
  EndSubSection
EndSection
"""


def wait_until(predicate, timeout=10.0, interval=0.05, message="condition", quiet=False):
    """The predicate's first true value; an AssertionError after `timeout` seconds (False if quiet)."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            if quiet:
                return False
            raise AssertionError(f"timed out after {timeout}s waiting for {message}")
        time.sleep(interval)


def stop_processes(processes, bus_pid=None):
    """Stops `processes`, newest first, then the session bus."""
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
    if bus_pid:
        try:
            os.kill(bus_pid, signal.SIGTERM)
        except ProcessLookupError:
            pass


def free_display():
    for number in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            return number
    raise RuntimeError("no free X display number")


class Desktop:
    """A private X desktop: server, window manager, session bus."""

    def __init__(self, server="auto"):
        """server: "xorg" (two monitors), "xvfb" (one), or "auto" (xorg when its dummy driver is there)."""
        self.root = tempfile.mkdtemp(prefix="plenhall-desktop-")
        self.processes = []
        self.env = {}
        self.server = server

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        display = free_display()
        self.env = {"DISPLAY": f":{display}"}
        xorg = shutil.which("Xorg") and os.path.exists("/usr/lib/xorg/modules/drivers/dummy_drv.so")
        if self.server == "xorg" or (self.server == "auto" and xorg):
            conf = os.path.join(self.root, "xorg.conf")
            with open(conf, "w") as f:
                f.write(XORG_CONF)
            self._spawn(["Xorg", f":{display}", "-config", conf, "-logfile", os.path.join(self.root, "xorg.log"),
                         "-noreset", "-nolisten", "tcp"], "xorg")
            self.two_monitors = True
        else:
            self._spawn(["Xvfb", f":{display}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"], "xvfb")
            self.two_monitors = False
        wait_until(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, 20, message="the X server")
        if self.two_monitors:
            self.x("xrandr", "--fb", "2560x800", "--output", "DUMMY0", "--mode", "1280x800", "--pos", "0x0",
                   "--primary")
            self.x("xrandr", "--addmode", "DUMMY1", "1280x800")
            self.x("xrandr", "--output", "DUMMY1", "--mode", "1280x800", "--pos", "1280x0")
            # The dummy driver reports its second output disconnected until the outputs are probed
            # once; toolkits skip disconnected outputs when they list monitors.
            wait_until(lambda: "DUMMY1 connected" in self.x("xrandr", "--query"), 10, message="the second monitor")
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1",
                              "--nopidfile"], capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
        self.bus_pid = int(bus[1])
        self._spawn(["openbox", "--sm-disable"], "openbox")
        # The work area is the last thing the window manager publishes while it starts.
        wait_until(lambda: "_NET_WORKAREA(CARDINAL)" in self.x("xprop", "-root", check=False),
                   10, message="the window manager")
        self.pointer(100, 100)

    def stop(self):
        stop_processes(self.processes, getattr(self, "bus_pid", None))
        shutil.rmtree(self.root, ignore_errors=True)

    def _spawn(self, command, name):
        with open(os.path.join(self.root, f"{name}.log"), "w") as log:
            process = subprocess.Popen(command, env={**os.environ, **self.env}, stdout=log,
                                       stderr=subprocess.STDOUT, start_new_session=True)
        self.processes.append(process)
        return process

    def run(self, command, check=True, timeout=30, **kwargs):
        return subprocess.run(command, env={**os.environ, **self.env}, capture_output=True, text=True,
                              check=check, timeout=timeout, **kwargs)

    def x(self, *command, check=True):
        return self.run(list(command), check=check).stdout

    # What a user does.

    def key(self, combination):
        self.x("xdotool", "key", "--clearmodifiers", combination)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "20", text)

    def pointer(self, x, y):
        self.x("xdotool", "mousemove", str(x), str(y))

    def activate(self, window):
        self.x("xdotool", "windowactivate", "--sync", str(window), check=False)

    def other_application(self, x=1000, y=600):
        """Another program's window, to click into."""
        title = f"other-{time.monotonic_ns()}"
        process = self._spawn(["xmessage", "-title", title, "-geometry", f"220x80+{x}+{y}", "another application"],
                              "xmessage")
        window = wait_until(lambda: self.x("xdotool", "search", "--name", f"^{title}$", check=False).split(), 10,
                            message="the other application's window")[0]
        return process, int(window)

    def helper(self, *arguments):
        """A second X client (x_helper); waits for its first line."""
        process = subprocess.Popen([X_HELPER, *arguments], env={**os.environ, **self.env}, stdout=subprocess.PIPE,
                                   text=True, start_new_session=True)
        self.processes.append(process)
        return process, process.stdout.readline().strip()

    # What the screen shows.

    def active_window(self):
        """The window manager's active window, once the keyboard focus has followed: a key sent the
        moment the window manager names a dialog can still reach the window before it."""
        active = self.x("xdotool", "getactivewindow", check=False).strip()
        focus = self.x("xdotool", "getwindowfocus", check=False).strip()
        return int(active) if active and active == focus else None

    def is_viewable(self, window):
        return "IsViewable" in self.x("xwininfo", "-id", str(window), check=False)

    def geometry(self, window):
        """Client-area rectangle in root coordinates."""
        info = self.x("xwininfo", "-id", str(window))
        values = {}
        for line in info.splitlines():
            line = line.strip()
            for key, label in (("x", "Absolute upper-left X:"), ("y", "Absolute upper-left Y:"),
                               ("width", "Width:"), ("height", "Height:")):
                if line.startswith(label):
                    values[key] = int(line.split(":")[1])
        return (values["x"], values["y"], values["width"], values["height"])

    def property(self, window, name):
        return self.x("xprop", "-id", str(window), name, check=False).strip()

    def pixel(self, x, y):
        """The colour at a point of the screen, as "#rrggbb"."""
        out = self.x("import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-")
        for token in out.split():
            if token.startswith("#") and len(token) >= 7:
                return token[:7].lower()
        raise AssertionError(f"no colour in {out!r}")

    def screenshot(self, test, name):
        directory = os.path.join(ARTIFACTS, test)
        os.makedirs(directory, exist_ok=True)
        path = os.path.join(directory, f"{name}.png")
        self.run(["import", "-window", "root", path], check=False)
        return path


# A page with a field that says what it holds when F2 is pressed, and that says when it loaded.
FIELD_PAGE = """<!doctype html><html><body style="background:#fff"><input id=field autofocus>
<script>
fetch("/report?loaded");
document.getElementById("field").focus();
document.addEventListener("keydown", e => {
  if (e.key === "F2") fetch("/report?" + encodeURIComponent("field=" + document.getElementById("field").value));
});
</script></body></html>"""


def dropped_connection(handler):
    """A route that hangs up without an answer, as an unreachable server does for the engine."""
    handler.connection.shutdown(socket.SHUT_RDWR)


class Site:
    """The fixture calendar on loopback, recording every request."""

    PAGE = ("<!doctype html><html><head><title>Fixture calendar</title></head><body>"
            "<h1 id=heading>Fixture calendar</h1><input id=field autofocus>"
            "<p id=path></p><script>document.getElementById('path').textContent=location.pathname;</script>"
            "</body></html>")

    def __init__(self, port=PORT):
        self.port = port
        self.requests = []
        self.routes = {"/app": (200, "text/html", self.PAGE)}
        self.server = None
        self.lock = threading.Lock()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                length = int(self.headers.get("Content-Length") or 0)
                self.body = self.rfile.read(length).decode(errors="replace")
                self.do_GET()

            def do_GET(self):
                body = self.__dict__.pop("body", "")  # one connection carries several requests
                with site.lock:
                    site.requests.append({"path": self.path, "method": self.command, "body": body,
                                          "host": self.headers.get("Host", ""),
                                          "agent": self.headers.get("User-Agent", ""),
                                          "cookie": self.headers.get("Cookie", ""), "time": time.monotonic()})
                path = self.path.split("?")[0]
                route = site.routes.get(path, (404, "text/plain", "not found"))
                if callable(route):
                    route = route(self)  # the route answers by itself, or says what to answer
                    if route is None:
                        return
                status, kind, body, *extra = route
                data = body.encode() if isinstance(body, str) else body
                self.send_response(status)
                for name, value in (extra[0] if extra else {}).items():
                    self.send_header(name, value)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(data)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                try:
                    self.wfile.write(data)
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the client had heard enough (a feed that is too large, a cancelled load)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            allow_reuse_address = True

            def handle_error(self, request, client_address):
                pass  # clients that hang up mid-answer are part of what is tested

        self.server = Server(("127.0.0.1", self.port), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    def reports(self):
        """What the fixture pages reported through /report?…, in order."""
        from urllib.parse import unquote
        with self.lock:
            return [unquote(r["path"].split("?", 1)[1]) for r in self.requests
                    if r["path"].startswith("/report?")]

    def requests_for(self, path):
        with self.lock:
            return [r for r in self.requests if r["path"].split("?")[0] == path]


class Run:
    """What one run of the program keeps in its home, and the process, whatever the desktop."""

    def __init__(self, home, preferences=None):
        self.home = home
        self.process = None
        self.log_path = None
        if preferences is not None:
            self.write_preferences(preferences)

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
        """The stored preferences; {} while there is no readable file."""
        try:
            with open(self.preferences_path) as f:
                return json.load(f)
        except (FileNotFoundError, json.JSONDecodeError):
            return {}

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


class App(Run):
    """One run of the program with its own home on the X desktop."""

    def __init__(self, desktop, home=None, preferences=None):
        super().__init__(home or tempfile.mkdtemp(prefix="plenhall-home-"), preferences)
        self.desktop = desktop
        self._install_recorder()

    def _install_recorder(self):
        """The desktop's default handler for web and other schemes: it only writes down what it
        was given."""
        script = os.path.join(self.home, "record-url.sh")
        with open(script, "w") as f:
            f.write(f'#!/bin/sh\nfor url in "$@"; do printf "%s\\n" "$url" >> "{self.opened_path}"; done\n')
        os.chmod(script, 0o755)
        applications = os.path.join(self.home, ".local", "share", "applications")
        os.makedirs(applications, exist_ok=True)
        schemes = ["http", "https", "smb", "sftp", "ftp", "mailto", "tel", "zoommtg"]
        with open(os.path.join(applications, "recorder.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Recorder\nNoDisplay=true\n"
                    f"Exec={script} %u\nMimeType=" + "".join(f"x-scheme-handler/{s};" for s in schemes) + "\n")
        # The program itself handles plenhall: links, as its installed desktop entry declares.
        with open(os.path.join(applications, "com.plenhall.Desktop.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Plenhall\nNoDisplay=true\n"
                    f"Exec={BINARY} %u\nMimeType=x-scheme-handler/plenhall;\nStartupNotify=false\n")
        os.makedirs(self.config_dir, exist_ok=True)
        with open(os.path.join(self.config_dir, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\n" + "".join(f"x-scheme-handler/{s}=recorder.desktop\n" for s in schemes)
                    + "x-scheme-handler/plenhall=com.plenhall.Desktop.desktop\n")

    @property
    def opened_path(self):
        return os.path.join(self.home, "opened.txt")

    def opened(self):
        """URLs handed to the desktop's default handlers, in order."""
        try:
            with open(self.opened_path) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def kill_web_processes(self):
        """Ends the engine's content processes of this run, as a crash would."""
        for pid in self.web_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass  # already gone

    def web_processes(self):
        """Process ids of the web engine's content processes started by this run."""
        out = subprocess.run(["pgrep", "-f", "WebKitWebProcess"], capture_output=True, text=True).stdout.split()
        ours = []
        for pid in out:
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if f"HOME={self.home}".encode() in f.read().split(b"\0"):
                        ours.append(int(pid))
            except OSError:
                pass
        return ours

    def environment(self, **extra):
        # No screen reader listens unless a test asks for one (NO_AT_BRIDGE=0). The runtime
        # directory is the run's own, as its single-instance lock is.
        runtime = os.path.join(self.home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = {**os.environ, **self.desktop.env, "NO_AT_BRIDGE": "1", **extra,
               "HOME": self.home,
               "XDG_RUNTIME_DIR": runtime,
               "XDG_CONFIG_HOME": self.config_dir,
               "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
               "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
               "GDK_BACKEND": "x11",
               "WEBKIT_DISABLE_COMPOSITING_MODE": "1"}
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def start(self, *arguments, env=None):
        self.log_path = os.path.join(self.home, f"stderr-{int(time.time() * 1000)}.log")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen([BINARY, *arguments], env=self.environment(**(env or {})), stdout=log,
                                            stderr=subprocess.STDOUT, start_new_session=True)
        self.desktop.processes.append(self.process)
        return self

    def launch_again(self, *arguments, timeout=20, env=None):
        """A second start while this one runs: it hands over to the first and exits."""
        return subprocess.run([BINARY, *arguments], env=self.environment(**(env or {})), capture_output=True,
                              text=True, timeout=timeout)

    def window_ids(self, role):
        """Our X windows with WM_WINDOW_ROLE `role`, oldest first."""
        ids = self.desktop.x("xdotool", "search", "--pid", str(self.process.pid), check=False).split()
        return [int(w) for w in ids if f'"{role}"' in self.desktop.property(w, "WM_WINDOW_ROLE")]

    def window(self, role, timeout=20):
        """The newest X window of ours with WM_WINDOW_ROLE `role`."""
        return wait_until(lambda: (self.window_ids(role) or [None])[-1], timeout, message=f"the {role} window")

    def calendar(self):
        return self.window("calendar")

    def xdg_open(self, url):
        return subprocess.run(["xdg-open", url], env=self.environment(), capture_output=True, text=True, timeout=30)

    # The status menu, driven over D-Bus as a panel would.
    MENU = ["--session", "--dest", "com.plenhall.Desktop", "--object-path",
            "/org/ayatana/NotificationItem/plenhall_desktop/Menu"]

    def status_menu(self):
        """[(id, label or None, is_separator)] in menu order."""
        import re
        out = self.desktop.x("gdbus", "call", *self.MENU, "--method", "com.canonical.dbusmenu.GetLayout", "--",
                             "0", "-1", "[]")
        items = []
        for match in re.finditer(r"<\((\d+), \{([^}]*)\}", out):
            props = match.group(2)
            label = re.search(r"'label': <'((?:[^'\\]|\\.)*)'>", props)
            items.append((int(match.group(1)), label.group(1) if label else None, "'separator'" in props))
        return items

    def open_status_menu(self):
        self.desktop.x("gdbus", "call", *self.MENU, "--method", "com.canonical.dbusmenu.AboutToShow", "--", "0")

    def click_status_item(self, label_start):
        for item_id, label, _ in self.status_menu():
            if label and label.startswith(label_start):
                self.desktop.x("gdbus", "call", *self.MENU, "--method", "com.canonical.dbusmenu.Event", "--",
                               str(item_id), "clicked", "<int32 0>", "0")
                return
        raise AssertionError(f"no status menu item {label_start!r} in {self.status_menu()}")

    def settings(self):
        return self.window("settings")

    # What a screen reader sees, over the accessibility bus (a run started with NO_AT_BRIDGE=0).
    def accessible_tree(self):
        """The program's accessible objects as nested dicts (role, name, description, states,
        text, relations, children); None until the program is on the bus."""
        out = self.desktop.x(SYSTEM_PYTHON, os.path.join(HELPERS, "accessible_tree.py"), str(self.process.pid))
        return json.loads(out)

    def accessibles(self, role=None, name=None, tree=None):
        """Every accessible object of the program with `role` (and `name`), depth first."""
        found = []

        def walk(entry):
            if (role is None or entry["role"] == role) and (name is None or entry["name"] == name):
                found.append(entry)
            for child in entry.get("children", []):
                walk(child)
        tree = tree if tree is not None else self.accessible_tree()
        if tree:
            walk(tree)
        return found


class DesktopTest(unittest.TestCase):
    """One desktop and one fixture site for the test class; one app per test."""

    desktop = None
    site = None

    @classmethod
    def setUpClass(cls):
        if not BINARY:
            raise unittest.SkipTest("PLENHALL_E2E_BINARY is not set")
        cls.desktop = Desktop()
        cls.desktop.start()
        cls.site = Site()
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        if cls.site:
            cls.site.stop()
        if cls.desktop:
            cls.desktop.stop()

    def setUp(self):
        self.apps = []
        self.site.requests.clear()
        self.desktop.pointer(100, 100)

    def tearDown(self):
        for app in self.apps:
            app.stop()
            shutil.rmtree(app.home, ignore_errors=True)

    def launch(self, preferences=None, home=None, onboarded=True, start_env=None):
        """A run of the program; a new home gets `preferences` (onboarded unless told otherwise),
        a reused home keeps what the earlier run left."""
        if home is None:
            preferences = dict(preferences or {})
            if onboarded:
                preferences.setdefault("hasOnboarded", True)
        app = App(self.desktop, home=home, preferences=preferences if preferences or home is None else None)
        self.apps.append(app)
        requests = len(self.site.requests_for("/app"))
        app.start(env=start_env)
        # The shortcut is grabbed before the start page is asked for: once the request is in, a
        # press reaches the program.
        wait_until(lambda: len(self.site.requests_for("/app")) > requests, 30, message="the start request")
        return app

    def shot(self, name):
        return self.desktop.screenshot(self.id().split(".")[-1], name)

    def press_shortcut(self):
        self.desktop.key(SHORTCUT)

    def start_recording(self, settings):
        """Presses the settings window's shortcut button from the keyboard: the next keys are recorded."""
        self.wait_active(settings)
        self.desktop.key("Tab")
        # The button starts recording as it handles the key, before the window reads the next one.
        self.desktop.key("space")

    def wait_viewable(self, window, viewable=True, timeout=10):
        wait_until(lambda: self.desktop.is_viewable(window) == viewable, timeout,
                   message=f"window {window} {'mapped' if viewable else 'unmapped'}")

    def wait_geometry(self, window, expected, timeout=5):
        seen = []

        def matches():
            seen.append(self.desktop.geometry(window))
            return seen[-1] == tuple(expected)
        try:
            wait_until(matches, timeout, message=f"geometry {tuple(expected)}")
        except AssertionError as error:
            raise AssertionError(f"{error}; last seen {seen[-1] if seen else None}") from None
        return seen[-1]

    def wait_active(self, window, timeout=10):
        wait_until(lambda: self.desktop.active_window() == window, timeout, message=f"window {window} focused")
