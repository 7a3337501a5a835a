# The real program on a private desktop, driven as a user would drive it.
#
# Each desktop runs headless on a private session (a root with its own runtime directory, home and
# D-Bus session bus, its processes stopped by pid): X11 (Xorg's dummy driver with two monitors, or
# Xvfb with one, and openbox), sway, mutter, GNOME Shell and KWin. They answer one interface:
# press_shortcut, point_at an output, calendar() (None while hidden, else its output, rect,
# full_screen, focused), type and key, other_application / focus_other / other_focused, and pixel /
# watch where the desktop can tell. The Wayland compositors run as an unprivileged user (USER) when
# the tests run as root: sway refuses root. A Site is the fixture calendar on loopback (127.0.0.1 is
# the service domain, localhost the rest of the web); an App is one run of the test build with its
# own home.

import ast
import glob
import http.server
import json
import os
import pwd
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest
from urllib.parse import unquote

BINARY = os.environ.get("PLENHALL_E2E_BINARY", "")
PORT = int(os.environ.get("PLENHALL_E2E_PORT", "47613"))
X_HELPER = os.environ.get("PLENHALL_E2E_X_HELPER", "")
ARTIFACTS = os.environ.get("PLENHALL_E2E_ARTIFACTS", os.path.join(tempfile.gettempdir(), "plenhall-e2e"))
USER = os.environ.get("PLENHALL_E2E_USER", "plenhall-e2e")
HERE = os.path.dirname(os.path.abspath(__file__))
WAYLAND = os.path.join(HERE, "..", "wayland")
# Debian's python, which has the toolkit's and the accessibility bus's bindings.
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"
FRONTEND = "/usr/libexec/xdg-desktop-portal"
TEST_PORTAL = "org.freedesktop.impl.portal.desktop.plenhalltest"
APP_ID = "com.plenhall.Desktop"
SHORTCUT = "ctrl+alt+super+c"
XORG_CONF = {"ServerFlags": ['Option "AutoAddDevices" "false"', 'Option "AutoEnableDevices" "false"',
                             'Option "DontVTSwitch" "true"'],
             "Device": ['Identifier "dummy"', 'Driver "dummy"', "VideoRam 256000"],
             "Monitor": ['Identifier "monitor"', "HorizSync 5.0-1000.0", "VertRefresh 5.0-200.0"],
             "Screen": ['Identifier "screen"', 'Device "dummy"', 'Monitor "monitor"', "DefaultDepth 24",
                        'SubSection "Display"', "Depth 24", "Virtual 2560 1600", "EndSubSection"]}
# A page that says when it loaded, what its field holds when F2 is pressed, and what its window is
# whenever that changes.
STATE_PAGE = ('<!doctype html><html><body style="background:#fff"><h1>Fixture calendar</h1>'
              '<input id=field style="font:32px sans-serif;width:600px"><script>const field = document.'
              'getElementById("field"); const report = w => fetch("/report?" + encodeURIComponent(w));'
              'report("loaded"); field.focus();'
              'document.addEventListener("keydown", e => { if (e.key === "F2") report("field=" + field.value); });'
              'let last = ""; setInterval(() => { const now = `state ${document.visibilityState} ${innerWidth}x'
              '${innerHeight} focus=${document.hasFocus()}`; if (now !== last) report(last = now); }, 50);'
              "</script></body></html>")


def wait_until(predicate, timeout=10.0, interval=0.05, message="condition", quiet=False):
    # The predicate's first true value; an AssertionError after `timeout` seconds (False if quiet).
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            assert quiet, f"timed out after {timeout}s waiting for {message}"
            return False
        time.sleep(interval)
    return value


def stop_process(process):
    process.terminate()  # nothing once it has ended
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def read(path, parse=str, default=""):
    try:
        with open(path) as f:
            return parse(f.read())
    except (OSError, ValueError):
        return default


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def dropped_connection(handler):
    # A route that hangs up without an answer, as an unreachable server does for the engine.
    handler.connection.shutdown(socket.SHUT_RDWR)


class Site:
    # The fixture calendar on loopback, recording every request.

    PAGE = "<!doctype html><title>Fixture calendar</title><h1>Fixture calendar</h1><input id=field autofocus>"

    def __init__(self, port=PORT):
        self.port, self.requests, self.lock, self.server = port, [], threading.Lock(), None
        self.routes = {"/app": (200, "text/html", self.PAGE)}

    def __enter__(self):
        return self.start() or self

    def start(self):
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                self.rfile.read(int(self.headers.get("Content-Length") or 0))  # the connection's next request follows
                self.do_GET()

            def do_GET(self):
                with site.lock:
                    site.requests.append({"path": self.path, "time": time.monotonic(), "agent": self.headers.get(
                        "User-Agent", ""), "cookie": self.headers.get("Cookie", "")})
                route = site.routes.get(self.path.split("?")[0], (404, "text/plain", "not found"))
                if callable(route) and (route := route(self)) is None:
                    return  # the route answered by itself
                status, kind, body, *extra = route
                data = body.encode() if isinstance(body, str) else body
                self.send_response(status)
                for name, value in {**(extra[0] if extra else {}), "Content-Type": kind,
                                    "Content-Length": str(len(data)), "Cache-Control": "no-store"}.items():
                    self.send_header(name, value)
                self.end_headers()
                try:
                    self.wfile.write(data)
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the client had heard enough (a feed that is too large, a cancelled load)

            log_message = lambda *_: None  # noqa: E731

        class Server(http.server.ThreadingHTTPServer):
            allow_reuse_address = daemon_threads = True

            handle_error = lambda *_: None  # noqa: E731 (clients that hang up mid-answer are part of what is tested)

        self.server = Server(("127.0.0.1", self.port), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self, *_):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    __exit__ = stop

    def reports(self):
        # What the fixture pages reported through /report?…, in order.
        with self.lock:
            return [unquote(r["path"].split("?", 1)[1]) for r in self.requests if r["path"].startswith("/report?")]

    def requests_for(self, path):
        with self.lock:
            return [r for r in self.requests if r["path"].split("?")[0] == path]


class App:
    # One run of the program with its own home on `desktop`. The desktop's default handler for web
    # and other schemes only writes down what it was given (opened()); plenhall: links go to the program.

    SCHEMES = ["http", "https", "smb", "sftp", "ftp", "mailto", "tel", "zoommtg"]

    def __init__(self, desktop, home=None, preferences=None):
        self.desktop, self.process, self.log_path = desktop, None, None
        self.home = home or tempfile.mkdtemp(prefix="home-", dir=desktop.root)
        self.config_dir = os.path.join(self.home, ".config")
        self.preferences_path = os.path.join(self.config_dir, "plenhall-desktop", "preferences.json")
        self.opened_path, script = os.path.join(self.home, "opened.txt"), os.path.join(self.home, "record-url.sh")
        applications = os.path.join(self.home, ".local", "share", "applications")
        entry = "[Desktop Entry]\nType=Application\nNoDisplay=true\nName={}\nExec={} %u\nMimeType={}\n"
        for path, text in [
                *([(self.preferences_path, json.dumps(preferences))] if preferences is not None else []),
                (script, f'#!/bin/sh\nfor url in "$@"; do printf "%s\\n" "$url" >> "{self.opened_path}"; done\n'),
                (f"{applications}/recorder.desktop",
                 entry.format("Recorder", script, "".join(f"x-scheme-handler/{s};" for s in self.SCHEMES))),
                (f"{applications}/{APP_ID}.desktop",
                 entry.format("Plenhall", desktop.binary, "x-scheme-handler/plenhall;")),
                (f"{self.config_dir}/mimeapps.list", "[Default Applications]\n" + "".join(
                    f"x-scheme-handler/{s}=recorder.desktop\n" for s in self.SCHEMES)
                 + f"x-scheme-handler/plenhall={APP_ID}.desktop\n")]:
            write(path, text)
        os.chmod(script, 0o755)
        desktop.own(self.home)

    def preferences(self):
        return read(self.preferences_path, json.loads, {})

    def opened(self):
        # URLs handed to the desktop's default handlers, in order.
        return read(self.opened_path).split()

    def log(self):
        return read(self.log_path)

    def stop(self):
        if self.process:
            stop_process(self.process)

    def environment(self, **extra):
        return {**self.desktop.base_env(**extra), **self.desktop.app_env(self), "HOME": self.home,
                "XDG_CONFIG_HOME": self.config_dir, "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
                "XDG_CACHE_HOME": os.path.join(self.home, ".cache")}

    def start(self, *arguments, env=None):
        self.log_path = os.path.join(self.home, f"stderr-{time.monotonic_ns()}.log")
        self.process = self.desktop.spawn([self.desktop.binary, *arguments], self.log_path,
                                          env=self.environment(**(env or {})))
        return self

    def launch_again(self, *arguments, timeout=20, env=None):
        # A second start while this one runs: it hands its arguments to the first and exits.
        return self.desktop.run([self.desktop.binary, *arguments], env=self.environment(**(env or {})),
                                timeout=timeout, check=False)

    def xdg_open(self, url):
        return self.desktop.run(["xdg-open", url], env=self.environment(), check=False)

    def window(self, role, timeout=20):
        # X11: our newest window with WM_WINDOW_ROLE `role`.
        return int(wait_until(lambda: [w for w in self.desktop.x("xdotool", "search", "--pid", str(self.process.pid),
                                                                 check=False).split()
                                       if f'"{role}"' in self.desktop.property(w, "WM_WINDOW_ROLE")][-1:],
                              timeout, message=f"the {role} window")[0])

    def calendar(self):
        return self.window("calendar")

    def settings(self):
        return self.window("settings")

    # The status menu, driven over D-Bus as a panel would.
    def menu(self, method, *arguments):
        return self.desktop.gdbus(APP_ID, "/org/ayatana/NotificationItem/plenhall_desktop/Menu",
                                  "com.canonical.dbusmenu." + method, "--", *arguments)

    def status_menu(self):
        # [(id, label or None, is_separator)] in menu order.
        return [(int(m.group(1)), (re.search(r"'label': <'((?:[^'\\]|\\.)*)'>", m.group(2)) or [None, None])[1],
                 "'separator'" in m.group(2))
                for m in re.finditer(r"<\((\d+), \{([^}]*)\}", self.menu("GetLayout", "0", "-1", "[]"))]

    def click_status_item(self, label_start):
        item = next((i for i, label, _ in self.status_menu() if label and label.startswith(label_start)), None)
        assert item is not None, f"no status menu item {label_start!r} in {self.status_menu()}"
        self.menu("Event", str(item), "clicked", "<int32 0>", "0")

    def click(self, role, name):
        # The first control with `role` and `name`, once there, pressed as a screen reader presses it.
        wait_until(lambda: json.loads(self.desktop.x(SYSTEM_PYTHON, f"{HERE}/helpers/accessible_tree.py",
                                                     str(self.process.pid), role, name)), 20, message=name)

    def accessibles(self, role=None, name=None, tree=None):
        # Every object with `role` (and `name`), depth first, in `tree` or as a screen reader sees the
        # program (a run started with NO_AT_BRIDGE=0): dicts of role, name, description, states, text,
        # relations, children.
        found, stack = [], [tree if tree is not None else json.loads(self.desktop.x(
            SYSTEM_PYTHON, f"{HERE}/helpers/accessible_tree.py", str(self.process.pid)))]
        while stack:
            if entry := stack.pop():
                found += [entry] if role in (None, entry["role"]) and name in (None, entry["name"]) else []
                stack += reversed(entry.get("children", []))
        return found


class Session:
    # A private desktop's files, bus and processes; a subclass starts the display server.

    name, unprivileged, framed_first, outputs = "session", True, False, {}
    bus_config = [f"--config-file={WAYLAND}/portal/bus.conf"]  # starts nothing behind a test's back

    def __init__(self):
        self.user = None
        if self.unprivileged and os.geteuid() == 0:  # fails harmlessly once the user is there
            subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent", "--shell",
                            "/usr/sbin/nologin", USER], capture_output=True)
            self.user = pwd.getpwnam(USER)
        self.root = tempfile.mkdtemp(prefix=f"plenhall-{self.name}-")
        os.chmod(self.root, 0o755)
        self.runtime_dir, self.home = os.path.join(self.root, "runtime"), os.path.join(self.root, "home")
        os.mkdir(self.runtime_dir, 0o700)
        os.mkdir(self.home)
        self.own(self.runtime_dir, self.home)
        self.processes, self.bus_pids, self.env, self.site, self.portal = [], [], {}, None, []
        # Where the unprivileged user can reach it.
        self.binary = shutil.copy2(BINARY, self.root) if self.user and BINARY else BINARY

    def own(self, *paths):
        for path in paths if self.user else []:
            for directory, _, files in os.walk(path):
                for name in [directory] + [os.path.join(directory, f) for f in files]:
                    os.chown(name, self.user.pw_uid, self.user.pw_gid)

    def command(self, command):
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}", "--clear-groups",
                *command] if self.user else list(command)

    def base_env(self, **extra):
        env = {k: v for k, v in os.environ.items() if k not in (
            "DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "GDK_BACKEND", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS",
            "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP")}
        env.update({"XDG_RUNTIME_DIR": self.runtime_dir, "HOME": self.home, "NO_AT_BRIDGE": "1", **self.env, **extra})
        return {k: v for k, v in env.items() if v is not None}  # None: left out

    def spawn(self, command, name=None, env=None, **kwargs):
        # Output to `name`.log (or the path `name`); without a name, a helper whose output is read, its
        # errors in helpers.log. Stopped with the desktop.
        with open(name if "/" in (name or "") else os.path.join(self.root, f"{name or 'helpers'}.log"), "a") as log:
            process = subprocess.Popen(self.command(command), env=env or self.base_env(), text=True,
                                       start_new_session=True, stdout=log if name else subprocess.PIPE,
                                       stderr=subprocess.STDOUT if name else log, **kwargs)
        self.processes.append(process)
        return process

    def run(self, command, check=True, timeout=30, env=None):
        return subprocess.run(self.command(command), env=env or self.base_env(), capture_output=True, text=True,
                              timeout=timeout, check=check)

    def x(self, *command, check=True):
        # A command's output; the command runs on this desktop, as its user.
        return self.run(list(command), check=check).stdout

    def log(self, name):
        return read(os.path.join(self.root, f"{name}.log"))

    def start_bus(self, kind="SESSION"):
        out = self.x("dbus-daemon", *self.bus_config, "--fork", "--print-address=1", "--print-pid=1", "--nopidfile")
        self.env[f"DBUS_{kind}_BUS_ADDRESS"] = out.split()[0]
        self.bus_pids.append(out.split()[1])

    def stop(self, logs_to=None):
        # Stops everything, newest first, then the bus; the desktop's own logs go to `logs_to`.
        for process in reversed(self.processes):
            stop_process(process)
        if self.bus_pids:
            subprocess.run(["kill", *self.bus_pids], capture_output=True)
        for log in glob.glob(os.path.join(self.root, "*.log")) if logs_to else []:
            os.makedirs(logs_to, exist_ok=True)
            shutil.copy(log, logs_to)
        shutil.rmtree(self.root, ignore_errors=True)

    def gdbus(self, destination, path, method, *arguments):
        return self.x("gdbus", "call", "--session", "--dest", destination, "--object-path", path, "--method", method,
                      *arguments)

    def has_name(self, name):
        return "true" in self.gdbus("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus.NameHasOwner", name)

    def serve(self, command, name, bus_name, **env):
        # A service of this desktop, once it has its name on the bus.
        process = self.spawn(command, name, env=self.base_env(**env))
        wait_until(lambda: self.has_name(bus_name), 20, message=bus_name)
        return process

    def start_portal(self):
        # Debian's xdg-desktop-portal with the test desktop's backend (../wayland/portal/), which
        # binds shortcuts and says light or dark as a desktop would.
        self.portal = [self.serve([SYSTEM_PYTHON, f"{WAYLAND}/portal/test_portal_backend.py"], "backend", TEST_PORTAL),
                       self.serve([FRONTEND, "--replace"], "portal", "org.freedesktop.portal.Desktop",
                                  XDG_DESKTOP_PORTAL_DIR=f"{WAYLAND}/portal", XDG_CURRENT_DESKTOP="plenhalltest")]

    def stop_portal(self):
        for process in reversed(self.portal):
            stop_process(process)
        wait_until(lambda: not self.has_name("org.freedesktop.portal.Desktop"), 10, message="the portal gone")

    def test_portal(self, method, *arguments):
        return self.gdbus(TEST_PORTAL, "/com/plenhall/PortalTest", f"com.plenhall.PortalTest.{method}", *arguments)

    def state(self, rect, full_screen, focused):
        x, y = rect[0] + rect[2] / 2, rect[1] + rect[3] / 2
        output = next((n for n, (ox, oy, w, h) in self.outputs.items() if ox <= x < ox + w and oy <= y < oy + h), None)
        return {"output": output, "rect": tuple(rect), "full_screen": full_screen, "focused": focused}

    # mark() is where the desktop's account of the shortcut's sessions stands, if it keeps one; resize
    # is false where the desktop cannot size a window; app_env is what a run of the program needs
    # besides the desktop's own environment.
    mark = resize = lambda *_: None  # noqa: E731
    app_env = lambda *_: {}  # noqa: E731

    def ready(self, app, mark):
        # Waits until a press of the shortcut reaches `app`, started after mark().
        if mark is not None:
            wait_until(lambda: self.mark() != mark, 20, message="the program's session for the shortcut")

    def press_shortcut(self, app=None):
        self.key(SHORTCUT)

    def point_at(self, output):
        x, y, width, height = self.outputs[output]
        self.pointer(x + width // 2, y + height // 2)


class Desktop(Session):
    # A private X desktop: server, openbox, a session bus that starts the accessibility bus.

    name, unprivileged, bus_config = "x11", False, ["--session"]

    def __init__(self, server="auto"):
        # server: "xorg" (two monitors), "xvfb" (one), or "auto" (xorg when its dummy driver is there).
        super().__init__()
        self.two_monitors = server == "xorg" or server == "auto" and bool(
            shutil.which("Xorg") and os.path.exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"))
        self.outputs = {"DUMMY0": (0, 0, 1280, 800), **({"DUMMY1": (1280, 0, 1280, 800)} if self.two_monitors else {})}

    def start(self):
        display = next(n for n in range(90, 200) if not any(
            os.path.exists(p) for p in (f"/tmp/.X11-unix/X{n}", f"/tmp/.X{n}-lock")))
        self.env = {"DISPLAY": f":{display}"}
        if self.two_monitors:
            write(f"{self.root}/xorg.conf", "".join(f'Section "{s}"\n' + "\n".join(lines) + "\nEndSection\n"
                                                    for s, lines in XORG_CONF.items()))
            self.spawn(["Xorg", f":{display}", "-config", f"{self.root}/xorg.conf", "-logfile", f"{self.root}/xorg.log",
                        "-noreset", "-nolisten", "tcp"], "xorg-out")
        else:  # one RandR output, which GTK reports as one monitor
            self.spawn(["Xvfb", f":{display}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"], "xvfb")
        wait_until(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, 20, message="the X server")
        if self.two_monitors:
            self.x("xrandr", "--fb", "2560x800", "--output", "DUMMY0", "--mode", "1280x800", "--pos", "0x0",
                   "--primary")
            self.x("xrandr", "--addmode", "DUMMY1", "1280x800")
            self.x("xrandr", "--output", "DUMMY1", "--mode", "1280x800", "--pos", "1280x0")
            # The dummy driver reports its second output disconnected until the outputs are probed
            # once; toolkits skip disconnected outputs when they list monitors.
            wait_until(lambda: "DUMMY1 connected" in self.x("xrandr", "--query"), 10, message="the second monitor")
        self.start_bus()
        self.spawn(["openbox", "--sm-disable"], "openbox")
        # The work area is the last thing the window manager publishes while it starts.
        wait_until(lambda: "_NET_WORKAREA(CARDINAL)" in self.x("xprop", "-root", check=False), 10,
                   message="the window manager")
        self.pointer(100, 100)

    def app_env(self, app):
        # The runtime directory is the run's own, as its single-instance lock is.
        os.makedirs(os.path.join(app.home, "runtime"), mode=0o700, exist_ok=True)
        return {"XDG_RUNTIME_DIR": os.path.join(app.home, "runtime"), "GDK_BACKEND": "x11",
                "WEBKIT_DISABLE_COMPOSITING_MODE": "1"}

    def key(self, combination):
        self.x("xdotool", "key", "--clearmodifiers", combination)

    def type(self, text):
        self.x("xdotool", "type", "--delay", "20", text)

    def pointer(self, x, y):
        self.x("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        self.pointer(x, y)
        self.x("xdotool", "click", "1")

    def activate(self, window):
        self.x("xdotool", "windowactivate", "--sync", str(window), check=False)

    def other_application(self):
        # Another program's window: (process, window).
        title = f"other-{time.monotonic_ns()}"
        process = self.spawn(["xmessage", "-title", title, "-geometry", "220x80+1000+600", title], "xmessage")
        return process, int(wait_until(lambda: self.x("xdotool", "search", "--name", f"^{title}$", check=False).split(),
                                       10, message="the other application's window")[0])

    def focus_other(self, window):
        x, y, width, height = self.geometry(window)
        self.click(x + width // 2, y + height // 2)

    def other_focused(self, window):
        return self.active_window() == window

    def helper(self, *arguments):
        # A second X client (x_helper) and its first line.
        process = self.spawn([X_HELPER, *arguments])
        return process, process.stdout.readline().strip()

    def resize(self, app, width, height):
        self.x("xdotool", "windowsize", "--sync", str(app.calendar()), str(width), str(height))
        return True

    def active_window(self):
        # The active window once the keyboard focus has followed: a key sent the moment the window
        # manager names a dialog can still reach the window before it.
        active = self.x("xdotool", "getactivewindow", check=False).strip()
        return int(active) if active and active == self.x("xdotool", "getwindowfocus", check=False).strip() else None

    def is_viewable(self, window):
        return "IsViewable" in self.x("xwininfo", "-id", str(window), check=False)

    def geometry(self, window):
        # Client-area rectangle in root coordinates.
        info = self.x("xwininfo", "-id", str(window))
        return tuple(int(re.search(label + r":\s*(-?\d+)", info).group(1))
                     for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def property(self, window, name):
        return self.x("xprop", "-id", str(window), name, check=False).strip()

    def calendar(self, app):
        if not self.is_viewable(window := app.calendar()):
            return None
        # Full screen, and kept above the rest.
        full = all(f"_NET_WM_STATE_{s}" in self.property(window, "_NET_WM_STATE") for s in ("FULLSCREEN", "ABOVE"))
        return self.state(self.geometry(window), full, self.active_window() == window)

    def settings(self, app):
        return self.is_viewable(window := app.settings()) and {
            "title": self.property(window, "WM_NAME").split('"')[1], "size": self.geometry(window)[2:],
            "focused": self.active_window() == window} or None

    def pixel(self, x, y):
        # The colour at a point of the screen, as "#rrggbb".
        out = self.x("import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-")
        return re.search(r"#[0-9A-Fa-f]{6}", out.split("\n", 1)[1]).group(0).lower()

    def watch(self, x, y, colour):
        # Starts reading a point of the screen; the call returned waits until it shows `colour`, and
        # gives the colours that came between.
        watcher, _ = self.helper("watch", str(x), str(y), colour.lstrip("#"))
        return lambda: (lambda said: said[1:] if said[:1] == ["seen"] else said)(watcher.stdout.readline().split())


class Sway(Session):
    # Headless sway (software rendering) with two outputs and the global-shortcuts portal; keys
    # through the virtual-keyboard protocol (wtype), what it shows from swaymsg and grim.

    name = "sway"
    outputs = {"HEADLESS-1": (0, 0, 1280, 800), "HEADLESS-2": (1280, 0, 1280, 800)}
    CONFIG = "\n".join(["default_border none", "default_floating_border none", "focus_follows_mouse no",
                        *(f"output {n} mode 1280x800 position {x} 0" for n, (x, *_) in outputs.items()),
                        # A tiling desktop sizes its windows; its users float the large calendar to size it.
                        'for_window [app_id="^com\\\\.plenhall\\\\.Desktop$"] floating enable', ""])

    def start(self):
        write(f"{self.root}/sway.conf", self.CONFIG)
        sway = self.spawn(["sway", "--config", f"{self.root}/sway.conf"], "sway", env=self.base_env(
            WLR_BACKENDS="headless", WLR_HEADLESS_OUTPUTS="2", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman",
            XDG_CURRENT_DESKTOP="sway"))

        def sockets():
            assert sway.poll() is None, f"sway exited: {self.log('sway')}"
            names = os.listdir(self.runtime_dir)
            return [[n for n in names if re.fullmatch(pattern, n)][:1]
                    for pattern in (r"sway-ipc\..*\.sock", r"wayland-\d+")]
        [ipc], [wayland] = wait_until(lambda: all(sockets()) and sockets(), 20, message="sway's sockets")
        self.env = {"WAYLAND_DISPLAY": wayland, "SWAYSOCK": os.path.join(self.runtime_dir, ipc),
                    "XDG_SESSION_TYPE": "wayland"}
        wait_until(lambda: len(self.msg("-t", "get_outputs")) == 2, 20, message="two outputs")
        # Headless, the seat has no keyboard, and without one no window ever has the keyboard
        # focus, which is what tells a GTK window it is active. This virtual keyboard stays
        # plugged in (wtype holds its device while it sleeps).
        self.spawn(["wtype"] + ["-s", "2000000"] * 8, "keyboard")
        wait_until(lambda: any(s.get("capabilities", 0) & 2 for s in self.msg("-t", "get_seats")), 10,
                   message="the keyboard")
        self.start_bus()
        self.start_portal()

    def msg(self, *arguments):
        result = self.run(["swaymsg", "--raw", *arguments], check=False)
        assert result.returncode == 0, f"swaymsg {arguments}: {result.stdout}{result.stderr}"
        return json.loads(result.stdout or "null")

    def views(self):
        # Every mapped window, with the output it is on.
        found, stack = [], [(self.msg("-t", "get_tree"), None)]
        while stack:
            node, output = stack.pop()
            output = node["name"] if node.get("type") == "output" else output
            found += [{**node, "output": output}] if node.get("pid") else []
            stack += [(child, output) for child in node.get("nodes", []) + node.get("floating_nodes", [])]
        return found

    def ours(self, app, settings):
        # The settings window has a width of its own, narrower than any calendar.
        view = next((v for v in self.views() if v["pid"] == app.process.pid and v.get("app_id") == APP_ID
                     and (v["window_rect"]["width"] == 440) == settings), None)
        return view and (view, tuple(view["window_rect"][k] for k in ("width", "height")))

    def calendar(self, app):
        view, _ = self.ours(app, False) or (None, None)
        return view and self.state([view["rect"][k] for k in ("x", "y", "width", "height")],
                                   view["fullscreen_mode"] == 1, view["focused"])

    def settings(self, app):
        view, size = self.ours(app, True) or (None, None)
        return view and {"title": view["name"], "size": size, "focused": view["focused"]}

    def portal_stats(self):
        return dict(re.findall(r"'(\w+)': <(?:uint32 )?'?([^'>]*)'?>", self.test_portal("Stats")))

    def mark(self):
        return self.portal_stats()["sessions"]

    def binds(self):
        return int(self.portal_stats()["binds"])

    def holds_shortcut(self):
        return self.portal_stats()["preferred_trigger"] == "CTRL+ALT+LOGO+c"

    def forget_shortcut(self):
        self.test_portal("Forget")

    def press_shortcut(self, app=None):
        # Again until the desktop holds the shortcut for a session: a press before goes nowhere.
        wait_until(lambda: "uint32 0" not in self.test_portal("Trigger", "toggle-calendar", "0", "token"), 20,
                   message="a session holding the shortcut")

    def point_at(self, output):
        self.msg("focus", "output", output)
        wait_until(lambda: any(o["focused"] for o in self.msg("-t", "get_outputs") if o["name"] == output), 5,
                   message=f"{output} focused")

    def type(self, text):
        # The compositor takes a moment to hand a new virtual keyboard's keymap to the focused
        # window; keys sent before then are lost.
        self.run(["wtype", "-s", "300", "-d", "30", text])

    def key(self, name):
        self.run(["wtype", "-s", "300", "-k", name])

    def other_application(self):
        # Another program's window, where the desktop puts new windows: (process, title); what it
        # says (shown, then each change of its focus) in self.said, a line at a time.
        title, self.said = f"other-{time.monotonic_ns()}", []
        process = self.spawn([SYSTEM_PYTHON, f"{WAYLAND}/helpers/other_window.py", title])
        threading.Thread(target=lambda: self.said.extend(process.stdout), daemon=True).start()
        wait_until(lambda: self.said, 10, message="the other application's window")
        return process, title

    def focus_other(self, title):
        self.msg(f'[title="^{title}$"]', "focus")

    def other_focused(self, title):
        return any(v["focused"] and v.get("name") == title for v in self.views())

    def resize(self, app, width, height):
        return self.msg(f"[pid={app.process.pid}]", "resize", "set", "width", f"{width} px", "height", f"{height} px")

    def pixel(self, x, y):
        return "#" + subprocess.run(self.command(["grim", "-t", "ppm", "-g", f"{x},{y} 1x1", "-"]), env=self.base_env(),
                                    capture_output=True, timeout=20, check=True).stdout[-3:].hex()

    def watch(self, x, y, colour):
        seen = [self.pixel(x, y)]

        def watch():
            deadline = time.monotonic() + 20
            while colour not in seen and time.monotonic() < deadline:
                seen.extend([c for c in [self.pixel(x, y)] if c != seen[-1]])
        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        return lambda: watcher.join() or (seen[1:-1] if seen[-1] == colour else ["timeout"])


class Compositor(Session):
    # A compositor driven by ../wayland/helpers/hands.py, which answers one line a command.

    SOCKET, started_line = "wayland-plenhall", ""

    def start_compositor(self, command, ready_name, **env):
        self.start_bus()
        compositor = self.spawn(command, self.name, env=self.base_env(**env))

        def up():
            assert compositor.poll() is None, f"{self.name} exited: {self.log(self.name)}"
            return os.path.exists(os.path.join(self.runtime_dir, self.SOCKET))
        wait_until(up, 20, message=f"{self.name}'s socket")
        # The compositor takes its names on the bus a moment after its socket appears (and says when
        # it has started, where it says started_line).
        wait_until(lambda: self.has_name(ready_name) and self.started_line in self.log(self.name), 60,
                   message=f"{ready_name}, {self.name} started")
        self.env.update(WAYLAND_DISPLAY=self.SOCKET, XDG_SESSION_TYPE="wayland",
                        XDG_CURRENT_DESKTOP=env["XDG_CURRENT_DESKTOP"])
        self.hands = self.spawn([SYSTEM_PYTHON, f"{WAYLAND}/helpers/hands.py", self.name], stdin=subprocess.PIPE)
        assert self.ask(None) == "ready"

    def ask(self, line):
        if line:
            self.hands.stdin.write(line + "\n")
            self.hands.stdin.flush()
        answer = self.hands.stdout.readline().strip()
        assert answer and not answer.startswith("error"), f"{self.name} {line!r}: {answer or 'no answer'}"
        return answer

    def pointer(self, x, y):
        self.ask(f"pointer {x} {y}")


class Mutter(Compositor):
    # mutter 43 headless with two virtual monitors of different sizes, no XWayland. It tells nobody
    # where a window is: STATE_PAGE says its size, visibility and focus, and the size names the
    # monitor. No global-shortcuts portal: a shortcut set in GNOME's settings would start the program
    # with the bare link, which toggles.

    name, framed_first = "mutter", True  # framed where mutter places it, then full screen
    outputs = {"Meta-0": (0, 0, 1280, 800), "Meta-1": (1280, 0, 1440, 900)}
    program = "mutter"

    def start(self):
        self.start_compositor([self.program, "--headless", "--wayland", "--no-x11", f"--wayland-display={self.SOCKET}",
                               "--virtual-monitor", "1280x800", "--virtual-monitor", "1440x900"],
                              "org.gnome.Mutter.RemoteDesktop", XDG_CURRENT_DESKTOP="GNOME")
        self.ask("arrange " + " ".join(f"{n} {x} {y}" for n, (x, y, *_) in self.outputs.items()))
        wait_until(lambda: {m["connector"]: (m["x"], m["y"], m["width"], m["height"]) for m in json.loads(
            self.ask("monitors"))} == self.outputs, 10, message="the monitors arranged")

    def press_shortcut(self, app):
        assert app.launch_again("plenhall://").returncode == 0

    def calendar(self, app):
        said = ([s.split() for s in self.site.reports() if s.startswith("state ")] or [[]])[-1]
        if said[1:2] != ["visible"]:
            return None
        size = tuple(int(n) for n in said[2].split("x"))
        output = next((n for n, rect in self.outputs.items() if rect[2:] == size), None)
        # Filling a monitor: full screen or maximized, which mutter does not tell apart here.
        return self.state(self.outputs[output] if output else (0, 0, *size), output is not None,
                          said[3] == "focus=true")

    def type(self, text):
        self.ask("keys " + " ".join(str(ord(c)) for c in text))  # Latin-1 keysyms are the characters

    def key(self, name):
        self.ask("keys " + str({"F2": 0xFFBF}[name]))


class Gnome(Mutter):
    # GNOME Shell 43 headless on mutter's two monitors, with what a Debian 12 session runs beside it:
    # a system bus, dconf, the accessibility bus, the portal with GNOME's backend (no global
    # shortcuts before GNOME 48) and the settings daemon's media-keys plugin, which asks the shell to
    # grab the custom shortcuts and runs their commands. The bus starts nothing, so all are started
    # here. dbus-monitor records the calls to the shell, the plugin's grabs among them.

    name, program, started_line = "gnome", "gnome-shell", "GNOME Shell started"
    KEYS = "org.gnome.settings-daemon.plugins.media-keys"
    ENTRY = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/plenhall-desktop/"
    ACCELERATOR = "<Control><Alt><Super>c"

    def start_bus(self):
        super().start_bus()
        super().start_bus("SYSTEM")  # gnome-shell does not start without one; it may be empty
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.home, ".config")
        for service, bus_name in (("dconf-service", "ca.desrt.dconf"), ("at-spi-bus-launcher", "org.a11y.Bus")):
            self.serve([f"/usr/libexec/{service}"], service, bus_name)
        # The hands find a monitor from the layout's top-left corner, where the shell's hot corner
        # would open the overview.
        self.x("gsettings", "set", "org.gnome.desktop.interface", "enable-hot-corners", "false")
        self.spawn(["dbus-monitor", "--session", "interface='org.gnome.Shell'"], "grabs")

    def start(self):
        super().start()
        os.mkdir(portals := os.path.join(self.root, "portals"))
        shutil.copy("/usr/share/xdg-desktop-portal/portals/gnome-shell.portal", portals)
        self.serve([FRONTEND, "--replace"], "portal", "org.freedesktop.portal.Desktop", XDG_DESKTOP_PORTAL_DIR=portals)
        assert "GlobalShortcuts" not in self.x("gdbus", "introspect", "--session", "--dest", "org.freedesktop.portal."
                                               "Desktop", "--object-path", "/org/freedesktop/portal/desktop")
        self.serve(["/usr/libexec/gsd-media-keys"], "gsd-media-keys", "org.gnome.SettingsDaemon.MediaKeys")
        # The shell opens the overview as its start-up completes, and the overview keeps the keyboard
        # focus away from every window; Escape leaves it.
        self.ask("keys 0xff1b")
        wait_until(lambda: "false" in self.gdbus("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus."
                                                 "Properties.Get", "org.gnome.Shell", "OverviewActive"), 10,
                   message="the overview left")

    def app_env(self, app):
        # One dconf database for the session, as one user has, whatever the run's own config home.
        if not os.path.lexists(link := os.path.join(app.config_dir, "dconf")):
            os.symlink(os.path.join(self.env["XDG_CONFIG_HOME"], "dconf"), link)
        return {}

    def entries(self):
        return ast.literal_eval(self.x("gsettings", "get", self.KEYS, "custom-keybindings").replace("@as ", ""))

    def entry(self, key):
        return ast.literal_eval(self.x("gsettings", "get", f"{self.KEYS}.custom-keybinding:{self.ENTRY}", key))

    def grabs(self):
        return self.log("grabs").count(f'"{self.ACCELERATOR}"')

    other_application = Sway.other_application

    def focus_other(self, title):
        self.ask("keys 0xffe9+0xff09")  # Alt+Tab

    def other_focused(self, title):
        return self.said[-1:] == ["active\n"]

    def press_shortcut(self, app=None):
        # Scenarios that are not about setting it up find the entry the welcome's button writes,
        # written here by hand as the README tells users of other desktops.
        if self.ENTRY not in self.entries():
            grabs = self.grabs()
            for key, value in (("command", f"{self.binary} plenhall://"), ("binding", self.ACCELERATOR)):
                self.x("gsettings", "set", f"{self.KEYS}.custom-keybinding:{self.ENTRY}", key, json.dumps(value))
            self.x("gsettings", "set", self.KEYS, "custom-keybindings", f"['{self.ENTRY}']")
            wait_until(lambda: self.grabs() > grabs, 10, message="GNOME's grab of the shortcut")
        self.ask("keys 0xffe3+0xffe9+0xffeb+0x63")


class KWin(Compositor):
    # kwin_wayland 5.27 virtual with two outputs, its shortcut daemon and Plasma's real
    # global-shortcuts portal (xdg-desktop-portal-kde); a press goes through KWin's own input.

    name = "kwin"
    outputs = {"Virtual-0": (0, 0, 1280, 800), "Virtual-1": (1280, 0, 1280, 800)}
    KEYS = {"ctrl": 29, "alt": 56, "super": 125, "F2": 60, **{c: 16 + i for i, c in enumerate("qwertyuiop")},
            **{c: 30 + i for i, c in enumerate("asdfghjkl")}, **{c: 44 + i for i, c in enumerate("zxcvbnm")}}

    def start(self):
        # Debian gives kwin_wayland a file capability that a container's bounding set may lack,
        # and exec then fails; a plain copy runs anywhere.
        self.start_compositor([shutil.copy("/usr/bin/kwin_wayland", self.root), "--virtual", "--output-count", "2",
                               "--width", "1280", "--height", "800", "--no-lockscreen", "--no-kactivities", "--socket",
                               self.SOCKET], "org.kde.KWin", KWIN_COMPOSE="Q", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1",
                              XDG_CURRENT_DESKTOP="KDE")
        # The backend first, as this bus starts nothing; its log names each call it gets.
        self.serve(glob.glob("/usr/lib/*/libexec/xdg-desktop-portal-kde")[:1], "portal-kde",
                   "org.freedesktop.impl.portal.desktop.kde", QT_LOGGING_RULES="xdp-kde-GlobalShortcuts.debug=true")
        self.serve([FRONTEND, "--replace"], "portal", "org.freedesktop.portal.Desktop")

    def mark(self):
        return self.log("portal-kde").count("ListShortcuts called")

    def binds(self):
        return self.log("portal-kde").count("BindShortcuts called")

    def holds_shortcut(self):
        # Plasma 5.27's portal names the daemon's component after the session token (Debian's portal
        # knows no app id for a program outside a sandbox); Qt's code for Meta+Ctrl+Alt+C.
        return str(0x10000000 | 0x04000000 | 0x08000000 | ord("C")) in self.gdbus(
            "org.kde.kglobalaccel", "/component/plenhall_desktop", "org.kde.kglobalaccel.Component.allShortcutInfos")

    def forget_shortcut(self):
        self.gdbus("org.kde.kglobalaccel", "/kglobalaccel", "org.kde.KGlobalAccel.unregister", "plenhall_desktop",
                   "toggle-calendar")

    def windows(self):
        return json.loads(self.ask("windows"))

    def calendar(self, app):
        window = next((w for w in self.windows() if w["pid"] == app.process.pid), None)
        return window and self.state(window["geometry"], window["fullScreen"], window["active"])

    def key(self, combination):
        self.ask("keys " + "+".join(str(self.KEYS[key]) for key in combination.split("+")))

    def type(self, text):
        self.ask("keys " + " ".join(str(self.KEYS[c]) for c in text))

    other_application = Sway.other_application

    def focus_other(self, title):
        x, y, width, height = next(w["geometry"] for w in self.windows() if w["caption"] == title)
        self.pointer(x + width // 2, y + height // 2)
        self.ask("click")

    def other_focused(self, title):
        return any(w["caption"] == title and w["active"] for w in self.windows())


class DesktopTest(unittest.TestCase):
    # One desktop (PLENHALL_E2E_DESKTOP, X11 unless told) and one fixture site for the test class;
    # one app per test.

    desktop = site = None

    @classmethod
    def setUpClass(cls):
        if not BINARY:
            raise unittest.SkipTest("PLENHALL_E2E_BINARY is not set")
        cls.desktop = {"x11": Desktop, "sway": Sway, "mutter": Mutter, "gnome": Gnome, "kwin": KWin}[
            os.environ.get("PLENHALL_E2E_DESKTOP", "x11")]()
        cls.site = cls.desktop.site = Site()
        # Run in reverse, and also when a start fails.
        cls.addClassCleanup(cls.desktop.stop, logs_to=os.path.join(ARTIFACTS, cls.desktop.name, cls.__name__))
        cls.addClassCleanup(cls.site.stop)
        cls.desktop.start()
        cls.site.start()

    def setUp(self):
        self.apps = []
        self.site.requests.clear()
        if isinstance(self.desktop, Desktop):
            self.desktop.pointer(100, 100)

    def tearDown(self):
        directory = os.path.join(ARTIFACTS, self.desktop.name, self.id().split(".")[-1])
        for index, app in enumerate(self.apps):
            app.stop()
            os.makedirs(directory, exist_ok=True)
            app.log_path and shutil.copy(app.log_path, os.path.join(directory, f"program-{index}.log"))
        for app in self.apps:
            shutil.rmtree(app.home, ignore_errors=True)

    def launch(self, preferences=None, home=None, onboarded=True, start_env=None):
        # A run of the program; a new home gets `preferences` (onboarded unless told otherwise), a
        # reused home keeps what the earlier run left. Returns once a press of the shortcut reaches it.
        if home is None:
            preferences = {"hasOnboarded": True, **(preferences or {})} if onboarded else dict(preferences or {})
        app = App(self.desktop, home=home, preferences=preferences if preferences or home is None else None)
        self.apps.append(app)
        requests, mark = len(self.site.requests_for("/app")), self.desktop.mark()
        app.start(env=start_env)
        # On X11 the shortcut is grabbed before the start page is asked for.
        wait_until(lambda: len(self.site.requests_for("/app")) > requests or app.process.poll() is not None, 30,
                   message="the start request")
        self.assertIsNone(app.process.poll(), f"the program exited: {app.log()}")
        self.desktop.ready(app, mark)
        return app

    def wait_viewable(self, window, viewable=True, timeout=10):
        wait_until(lambda: self.desktop.is_viewable(window) == viewable, timeout,
                   message=f"window {window} {'mapped' if viewable else 'unmapped'}")

    def wait_active(self, window, timeout=10):
        wait_until(lambda: self.desktop.active_window() == window, timeout, message=f"window {window} focused")

    # X11: the shortcut as the user presses it, the fixture page's reports, what must not happen.
    def toggle(self, window, viewable=True):
        self.desktop.press_shortcut()
        self.wait_viewable(window, viewable)

    def show(self, calendar):
        if not self.desktop.is_viewable(calendar):
            self.desktop.press_shortcut()
        self.wait_active(calendar)
        return calendar

    def expect(self, report, count=1, timeout=20):
        wait_until(lambda: self.site.reports().count(report) >= count, timeout,
                   message=f"{report!r} (reports so far {self.site.reports()})")

    def never(self, condition, message, seconds=1):
        # Long enough for what `condition` waits on to have happened, had it been going to.
        self.assertFalse(wait_until(condition, seconds, quiet=True), message)
