"""The real program as a native Wayland client on a private sway desktop, driven as a user would.

A Sway is a headless sway compositor (wlroots' headless backend, software rendering) with two
outputs side by side, XWayland started only for the X client that asks, and a private D-Bus
session bus; the fixture calendar is the
X11 tests' Site. sway refuses to run as root, so where the tests run as root the compositor, the
bus, the program and every other client run as an unprivileged user (USER), with their own
runtime directory and homes (desktop_session.py, shared with the other compositors' harnesses).

State is read from sway itself (swaymsg -t get_tree / get_outputs), the page through the fixture
site's reports; keys are typed through the virtual-keyboard protocol (wtype).
"""

import json
import os
import shutil
import subprocess
import threading
import time

from desktop_session import (APP_ID, ARTIFACTS, FIELD_PAGE, HELPERS, SYSTEM_PYTHON,  # noqa: F401
                             PrivateSession, SessionTest, Site, wait_until)
from desktop_session import App as SessionApp

OUTPUTS = {"HEADLESS-1": (0, 0, 1280, 800), "HEADLESS-2": (1280, 0, 1280, 800)}

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


class Sway(PrivateSession):
    """A private sway desktop with its session bus."""

    def __init__(self):
        super().__init__(prefix="plenhall-sway-")

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

    def start_desktop_services(self):
        """Starts what a desktop offers on its session bus before any program runs. Nothing yet,
        and the bus starts nothing on demand: the place for a global-shortcuts portal
        (xdg-desktop-portal with a backend, see portal/), started with self.spawn(…) so that it
        runs as the desktop's user and is stopped with the desktop."""

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

    def other_window(self, title=None):
        """Another program's window, mapped on the focused output; returns (process, title)."""
        process, title = super().other_window(title)
        wait_until(lambda: any(v.get("name") == title for v in self.views()), 10,
                   message="the other application's window")
        return process, title

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

    def pixel(self, x, y):
        shot = subprocess.run(self.command(["grim", "-t", "ppm", "-g", f"{x},{y} 1x1", "-"]),
                              env=self.base_env(), capture_output=True, timeout=20, check=True).stdout
        return shot[-3:].hex()

    def watch_pixel(self, x, y, until, timeout=10):
        """Starts reading one point of the screen over and over, until it shows the colour `until`;
        the returned thread's `colours` are the colours seen there in turn."""
        watcher = threading.Thread(daemon=True)
        watcher.colours = []

        def watch():
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline and until not in watcher.colours[-1:]:
                colour = self.pixel(x, y)
                if colour not in watcher.colours[-1:]:
                    watcher.colours.append(colour)
        watcher.run = watch
        watcher.start()
        wait_until(lambda: watcher.colours, 10, message="the screen read")
        return watcher

    def screenshot(self, test, name):
        directory = os.path.join(ARTIFACTS, "wayland", test)
        os.makedirs(directory, exist_ok=True)
        path = os.path.join(directory, f"{name}.png")
        shot = os.path.join(self.home, f"{name}.png")  # where the desktop's user may write
        if shutil.which("grim") and self.run(["grim", shot], check=False).returncode == 0:
            shutil.copy(shot, path)
        return path


class App(SessionApp):
    """One run of the program on sway."""

    def views(self):
        return [v for v in self.desktop.views() if v["pid"] == self.process.pid]

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


class SwayTest(SessionTest):
    """A sway desktop (of class `desktop`) for the test class; one program run per test."""

    desktop = Sway
    app_class = App

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sway = cls.session

    def setUp(self):
        super().setUp()
        self.site.routes.pop("/report", None)
        self.site.routes["/app"] = (200, "text/html", Site.PAGE)
        self.sway.focus_output("HEADLESS-1")

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
