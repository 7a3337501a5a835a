"""The real program as a native Wayland client on a private headless KWin, Plasma's compositor,
with Plasma's global-shortcuts portal.

A KWin is kwin_wayland 5.27 with its virtual backend (two 1280×800 outputs side by side, QPainter
software rendering), its embedded shortcut daemon (org.kde.kglobalaccel), Debian's
xdg-desktop-portal frontend and xdg-desktop-portal-kde as its backend (XDG_CURRENT_DESKTOP=KDE),
all on a private session bus that starts nothing by itself (desktop_session.py: as root,
everything runs as the unprivileged user). helpers/kwin_control.py types and points through
KWin's fake input, so a shortcut press goes through KWin's own input handling, and reads KWin's
windows through a KWin script. KWin's and the portal's logs go to
build/e2e-artifacts/wayland/<test class>/.
"""

import glob
import json
import os
import shutil
import subprocess
import unittest

from desktop_session import FIELD_PAGE, HELPERS, SYSTEM_PYTHON, PrivateSession, SessionTest, wait_until

KWIN = "/usr/bin/kwin_wayland"
FRONTEND = "/usr/libexec/xdg-desktop-portal"
BACKEND = next(iter(glob.glob("/usr/lib/*/libexec/xdg-desktop-portal-kde")), "xdg-desktop-portal-kde")
DISPLAY = "wayland-plenhall"
OUTPUTS = {"Virtual-0": (0, 0, 1280, 800), "Virtual-1": (1280, 0, 1280, 800)}
# evdev key codes (linux/input-event-codes.h).
KEYS = {"ctrl": 29, "alt": 56, "super": 125, "F2": 60,
        **{c: 16 + i for i, c in enumerate("qwertyuiop")}, **{c: 30 + i for i, c in enumerate("asdfghjkl")},
        **{c: 44 + i for i, c in enumerate("zxcvbnm")}}
SHORTCUT = "ctrl+alt+super+c"
# Plasma 5.27's portal names the shortcut daemon's component after the app id and the session
# token; Debian's portal knows no app id for a program outside a sandbox, so the token alone.
COMPONENT = "plenhall_desktop"
ACTION = "toggle-calendar"
QT_META_CTRL_ALT_C = 0x10000000 | 0x04000000 | 0x08000000 | ord("C")


class KWin(PrivateSession):
    """A private headless KWin with its session bus, shortcut daemon and portal."""

    def __init__(self):
        super().__init__(prefix="plenhall-kwin-")
        self.control = None

    def start(self):
        self.start_session_bus()  # KWin's scripting and shortcut daemon live there
        # Debian gives kwin_wayland a file capability (cap_sys_resource) that a container's
        # bounding set may lack, and exec then fails; a plain copy runs anywhere.
        kwin = os.path.join(self.root, "kwin_wayland")
        shutil.copyfile(KWIN, kwin)
        os.chmod(kwin, 0o755)
        self.kwin = self.spawn([kwin, "--virtual", "--output-count", str(len(OUTPUTS)), "--width", "1280",
                                "--height", "800", "--no-lockscreen", "--no-kactivities", "--socket", DISPLAY],
                               "kwin", env=self.base_env(KWIN_COMPOSE="Q", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1",
                                                         XDG_CURRENT_DESKTOP="KDE"))

        def socket():
            if self.kwin.poll() is not None:
                raise AssertionError(f"KWin exited: {self.log('kwin')}")
            return os.path.exists(os.path.join(self.runtime_dir, DISPLAY))
        wait_until(socket, 20, message="KWin's socket")
        self.env.update({"WAYLAND_DISPLAY": DISPLAY, "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "KDE"})
        self.control = subprocess.Popen(self.command([SYSTEM_PYTHON, os.path.join(HELPERS, "kwin_control.py")]),
                                        env=self.base_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        start_new_session=True)
        self.processes.append(self.control)
        self.assert_line(self.control, "ready")
        # The backend first: this bus starts nothing when the frontend looks for it. Its debug
        # log names each call it gets.
        self.spawn([BACKEND], "portal-kde", env=self.base_env(QT_LOGGING_RULES="xdp-kde-GlobalShortcuts.debug=true"))
        wait_until(lambda: self.has_name("org.freedesktop.impl.portal.desktop.kde"), 20, message="the KDE portal")
        self.spawn([FRONTEND, "--replace"], "portal")
        wait_until(lambda: self.has_name("org.freedesktop.portal.Desktop"), 20, message="the portal")

    def ask(self, line):
        self.control.stdin.write(line + "\n")
        self.control.stdin.flush()
        answer = self.control.stdout.readline().strip()
        if not answer or answer.startswith("error"):
            raise AssertionError(f"kwin_control {line!r}: {answer or 'no answer'}")
        return answer

    def has_name(self, name):
        return json.loads(self.ask(f"has-name {name}"))

    # KWin's own account of the desktop.

    def windows(self):
        """KWin's windows, each with the output its centre is on under "output"."""
        found = json.loads(self.ask("windows"))
        for window in found:
            x, y, width, height = window["geometry"]
            window["output"] = next((name for name, (ox, oy, ow, oh) in OUTPUTS.items()
                                     if ox <= x + width / 2 < ox + ow and oy <= y + height / 2 < oy + oh), None)
        return found

    def shortcuts(self):
        """What the shortcut daemon holds: {component: {action: [Qt key codes]}}."""
        return json.loads(self.ask("shortcuts"))

    def forget_shortcut(self):
        """As if Plasma had never seen the program's shortcut."""
        self.ask(f"forget {COMPONENT} {ACTION}")

    def portal_calls(self, method):
        """How many times the KDE portal was asked `method` of the global-shortcuts portal."""
        return self.log("portal-kde").count(f"{method} called")

    # What a user does.

    def point_at(self, output):
        x, y, width, height = OUTPUTS[output]
        self.ask(f"pointer {x + width // 2} {y + height // 2}")

    def click(self, x, y):
        self.ask(f"pointer {x} {y}")
        self.ask("click")

    def press(self, combination=SHORTCUT):
        self.ask("keys " + "+".join(str(KEYS[key]) for key in combination.split("+")))

    def type(self, text):
        self.ask("keys " + " ".join(str(KEYS[c]) for c in text))


@unittest.skipUnless(all(os.path.exists(p) for p in (KWIN, FRONTEND, BACKEND)),
                     "needs kwin_wayland, xdg-desktop-portal and xdg-desktop-portal-kde")
class KWinTest(SessionTest):
    """A KWin desktop for the test class; one program run per test, on the fixture page that
    reports what it receives."""

    desktop = KWin

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.kwin = cls.session

    def setUp(self):
        super().setUp()
        self.site.routes["/app"] = (200, "text/html", FIELD_PAGE)
        self.site.routes["/report"] = (204, "text/plain", "")

    def launch_bound(self, home=None):
        """A run whose portal session has listed the shortcut, so that presses reach it."""
        lists = self.kwin.portal_calls("ListShortcuts")
        app = self.launch(home=home)
        wait_until(lambda: self.kwin.portal_calls("ListShortcuts") > lists, 20, message="the shortcut listed")
        return app

    def calendar(self, app):
        """The program's window while KWin shows it, else None."""
        return next((w for w in self.kwin.windows() if w["pid"] == app.process.pid), None)

    def wait_full_screen_on(self, app, output):
        """Waits for the calendar full screen on `output` with the keyboard; fails if it was
        ever seen on screen framed."""
        seen = []

        def covers():
            window = self.calendar(app)
            seen.append(window)
            return window and window["fullScreen"] and window["active"] and tuple(window["geometry"]) == OUTPUTS[output]
        try:
            wait_until(covers, 15, interval=0.1, message=f"the calendar focused, full screen on {output}")
        except AssertionError as error:
            raise AssertionError(f"{error}; KWin last showed {seen[-1]}") from None
        self.assertFalse([w for w in seen if w and not w["fullScreen"]], "shown framed first")

    def wait_hidden(self, app):
        wait_until(lambda: self.calendar(app) is None, 15, interval=0.1, message="the calendar put away")
