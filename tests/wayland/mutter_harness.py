"""The real program as a native Wayland client on a private headless mutter, GNOME's compositor.

A Mutter is mutter 43 with its headless backend and two virtual monitors of different sizes side by
side, no XWayland, on its own session bus (desktop_session.py: as root, everything runs as the
unprivileged user). A helper (helpers/mutter_control.py) holds a remote-desktop session for the
pointer and the keyboard and reads the monitor layout from mutter's display configuration.

Bare mutter tells nobody where a window is (GNOME Shell's introspection is not there, and its
screen casts need PipeWire). A calendar full screen, or maximized, says it: the fixture page
reports its size and whether it has the keyboard, and the monitors differ in size so that the size
names the monitor. Where mutter places a framed window comes from its own log (MUTTER_DEBUG), which
goes to build/e2e-artifacts/wayland/<test class>/ with the program's.
"""

import json
import os
import re
import shutil
import subprocess
import unittest

from desktop_session import HELPERS, SYSTEM_PYTHON, PrivateSession, SessionTest, wait_until

DISPLAY = "wayland-plenhall"
# mutter names its virtual monitors Meta-0, Meta-1… in the order they are given.
SIZES = {"Meta-0": (1280, 800), "Meta-1": (1440, 900)}
LAYOUT = [{"connector": "Meta-0", "x": 0, "y": 0, "primary": True},
          {"connector": "Meta-1", "x": 1280, "y": 0, "primary": False}]

# The fixture calendar, telling what its window is whenever that changes.
STATE_PAGE = """<!doctype html><html><head><title>Fixture calendar</title></head>
<body style="background:#fff"><h1>Fixture calendar</h1><input id=field autofocus>
<script>
const field = document.getElementById("field");
let last = "";
function report(what) { fetch("/report?" + encodeURIComponent(what)); }
setInterval(() => {
  const now = `state ${document.visibilityState} ${innerWidth}x${innerHeight} focus=${document.hasFocus()}`;
  if (now !== last) { last = now; report(now); }
}, 50);
field.focus();
document.addEventListener("keydown", e => { if (e.key === "F2") report("field=" + field.value); });
</script></body></html>"""
STATE = re.compile(r"state (\w+) (\d+)x(\d+) focus=(\w+)")

KEYSYMS = {"F2": 0xFFBF}


class Mutter(PrivateSession):
    """A private headless mutter with its session bus, and a user's hands on it."""

    def __init__(self):
        super().__init__(prefix="plenhall-mutter-")
        self.control = None

    def start(self):
        self.start_session_bus()  # mutter's remote desktop and display configuration live there
        monitors = [argument for size in SIZES.values() for argument in ("--virtual-monitor", "%dx%d" % size)]
        self.mutter = self.spawn(["mutter", "--headless", "--wayland", "--no-x11", f"--wayland-display={DISPLAY}",
                                  *monitors], "mutter",
                                 env=self.base_env(MUTTER_DEBUG="placement,focus"))

        def socket():
            if self.mutter.poll() is not None:
                raise AssertionError(f"mutter exited: {self.log('mutter')}")
            return os.path.exists(os.path.join(self.runtime_dir, DISPLAY))
        wait_until(socket, 20, message="mutter's socket")
        self.env.update({"WAYLAND_DISPLAY": DISPLAY, "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME"})
        self.control = subprocess.Popen(self.command([SYSTEM_PYTHON, os.path.join(HELPERS, "mutter_control.py")]),
                                        env=self.base_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        start_new_session=True)
        self.processes.append(self.control)
        self.assert_line(self.control, "ready")
        self.arrange(LAYOUT)

    def ask(self, line):
        self.control.stdin.write(line + "\n")
        self.control.stdin.flush()
        answer = self.control.stdout.readline().strip()
        if not answer or answer.startswith("error"):
            raise AssertionError(f"mutter_control {line!r}: {answer or 'no answer'}")
        return answer

    # mutter's own account of the desktop.

    def monitors(self):
        """The logical monitors by connector: x, y, width, height, primary."""
        return {m["connector"]: m for m in json.loads(self.ask("monitors"))}

    def arrange(self, layout):
        """Puts the monitors where `layout` says (a list of connector, x, y, primary)."""
        wanted = {m["connector"]: (m["x"], m["y"], m["primary"]) for m in layout}

        def arranged():
            return {c: (m["x"], m["y"], m["primary"]) for c, m in self.monitors().items()} == wanted
        if not arranged():
            self.ask("arrange " + json.dumps(layout))
            wait_until(arranged, 10, message=f"the monitors arranged as {layout}")

    def placements(self):
        """The monitors (x, y, width, height) mutter placed framed windows on, in order."""
        return [tuple(int(n) for n in found) for found in
                re.findall(r"Natural monitor is (\d+),(\d+) \+(\d+),(\d+)", self.log("mutter"))]

    # What a user does.

    def point_at(self, connector):
        monitor = self.monitors()[connector]
        self.ask(f"pointer {monitor['x'] + monitor['width'] // 2} {monitor['y'] + monitor['height'] // 2}")

    def type(self, text):
        self.ask("keys " + " ".join(str(ord(c)) for c in text))  # Latin-1 keysyms are the characters

    def key(self, name):
        self.ask(f"keys {KEYSYMS[name]}")


class MutterTest(SessionTest):
    """A mutter desktop for the test class; one program run per test. mutter's log goes with the
    program's."""

    desktop = Mutter

    @classmethod
    def setUpClass(cls):
        if not shutil.which("mutter"):
            raise unittest.SkipTest("mutter is not installed")
        super().setUpClass()
        cls.mutter = cls.session

    def setUp(self):
        super().setUp()
        self.site.routes["/app"] = (200, "text/html", STATE_PAGE)
        self.site.routes["/report"] = (204, "text/plain", "")
        self.mutter.arrange(LAYOUT)

    def started(self, app, requests):
        return self.calendar()  # its page has said what its window is

    def calendar(self):
        """What the page last said of its window: visible, size (width, height), focus; None before
        it said anything."""
        states = [STATE.fullmatch(r) for r in self.site.reports() if r.startswith("state ")]
        if not states:
            return None
        visibility, width, height, focus = states[-1].groups()
        return {"visible": visibility == "visible", "size": (int(width), int(height)), "focus": focus == "true"}

    def wait_calendar(self, predicate, message, timeout=15):
        try:
            return wait_until(lambda: (lambda state: state if state and predicate(state) else None)(self.calendar()),
                              timeout, message=message)
        except AssertionError as error:
            raise AssertionError(f"{error}; the page last said {self.calendar()}") from None

    def wait_filling(self, connector):
        """Waits for the calendar to be shown, with the keyboard, filling `connector`'s monitor."""
        return self.wait_calendar(lambda s: s["visible"] and s["focus"] and s["size"] == SIZES[connector],
                                  f"the calendar focused, filling {connector}")

    def hide(self, app):
        self.open_url(app, "plenhall://hide")
        self.wait_calendar(lambda s: not s["visible"], "the calendar put away")
