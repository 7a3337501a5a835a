"""The calendar on this desktop: the desktop's light or dark choice, served by Debian's real
xdg-desktop-portal with the test desktop's Settings backend (../wayland/portal/), followed while the
program runs; the page zoom, kept from one run to the next; spelling in the user's language."""

import os
import subprocess
import unittest

from harness import DesktopTest, dropped_connection, wait_until

PORTAL_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wayland", "portal")
FRONTEND = "/usr/libexec/xdg-desktop-portal"
BACKEND_NAME = "org.freedesktop.impl.portal.desktop.plenhalltest"
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"
DARK, LIGHT = 1, 2
LIGHT_OFFLINE = "#f7f5f0"
DARK_OFFLINE = "#1c1c1e"

# Says its width whenever it changes: zooming in narrows the page's viewport.
WIDTH_PAGE = """<!doctype html><html><body style="background:#fff"><p>Fixture calendar</p><script>
let said = 0;
function say() { if (innerWidth !== said) { said = innerWidth; fetch("/report?width=" + innerWidth); } }
say(); addEventListener("resize", say); setInterval(say, 100);
</script></body></html>"""

FIELD = """<!doctype html><html><body style="background:#fff">
<textarea id=text style="font:32px sans-serif;width:600px;height:120px;border:0;outline:0"></textarea>
<script>document.getElementById("text").focus(); fetch("/report?loaded");</script></body></html>"""


@unittest.skipUnless(os.path.exists(FRONTEND), "no xdg-desktop-portal")
class DesktopLook(DesktopTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        env = {**os.environ, **cls.desktop.env, "XDG_DESKTOP_PORTAL_DIR": PORTAL_DIR,
               "XDG_CURRENT_DESKTOP": "plenhalltest"}
        for command, name in (([SYSTEM_PYTHON, os.path.join(PORTAL_DIR, "test_portal_backend.py")], BACKEND_NAME),
                              ([FRONTEND, "--replace"], "org.freedesktop.portal.Desktop")):
            with open(os.path.join(cls.desktop.root, f"{os.path.basename(command[0])}.log"), "w") as log:
                cls.desktop.processes.append(subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                                              start_new_session=True))
            wait_until(lambda: cls.has_name(name), 20, message=name)

    @classmethod
    def has_name(cls, name):
        out = cls.desktop.x("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                            "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name, check=False)
        return "true" in out

    def choose(self, scheme):
        """The user picks light or dark in the desktop's settings."""
        self.desktop.x("gdbus", "call", "--session", "--dest", BACKEND_NAME, "--object-path", "/com/plenhall/PortalTest",
                       "--method", "com.plenhall.PortalTest.SetColorScheme", str(scheme))

    def brightness(self, x, y):
        colour = self.desktop.pixel(x, y)
        return sum(int(colour[i:i + 2], 16) for i in (1, 3, 5)) / 3

    def test_the_offline_page_and_settings_follow_the_desktops_light_or_dark_choice(self):
        self.choose(DARK)
        self.site.routes["/app"] = dropped_connection
        app = self.launch()
        calendar = app.calendar()
        self.press_shortcut()
        self.wait_viewable(calendar)
        wait_until(lambda: self.desktop.pixel(20, 20) == DARK_OFFLINE, 10, message="the dark offline page")
        self.choose(LIGHT)
        wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 10, message="the light offline page")
        self.shot("offline-light")
        self.choose(DARK)
        wait_until(lambda: self.desktop.pixel(20, 20) == DARK_OFFLINE, 10, message="the dark offline page again")

        app.click_status_item("Settings")
        settings = app.settings()
        self.wait_viewable(settings)
        x, y, _, _ = self.desktop.geometry(settings)
        wait_until(lambda: self.brightness(x + 4, y + 4) < 100, 10, message="the dark settings window")
        self.choose(LIGHT)
        wait_until(lambda: self.brightness(x + 4, y + 4) > 200, 10, message="the light settings window")
        self.assertNotIn("appearance:", app.log())

    def test_zoom_is_kept_for_the_next_run_and_ctrl_0_resets_it(self):
        self.site.routes["/app"] = (200, "text/html", WIDTH_PAGE)
        app = self.launch()
        calendar = app.calendar()
        self.press_shortcut()
        self.wait_active(calendar)
        full = self.desktop.geometry(calendar)[2]
        wait_until(lambda: self.last_width() == str(full), 10, message="the page as wide as the window")
        self.desktop.key("ctrl+plus")
        self.desktop.key("ctrl+equal")  # the same key without Shift, as in browsers
        wait_until(lambda: self.last_width() == str(round(full / 1.25)), 10, message="the page at 125 %")
        app.stop()  # at once: a zoom not written yet is written as the program ends
        self.assertEqual(app.preferences().get("pageZoom"), "125")
        self.site.requests.clear()
        again = self.launch(home=app.home)
        calendar = again.calendar()
        self.press_shortcut()
        self.wait_active(calendar)
        wait_until(lambda: self.last_width() == str(round(full / 1.25)), 10, message="the page at 125 % again")
        self.desktop.key("ctrl+0")
        wait_until(lambda: self.last_width() == str(full), 10, message="the page at its own size")
        wait_until(lambda: again.preferences().get("pageZoom") == "100", 5, message="the zoom stored")

    def test_spelling_is_checked_in_the_users_language(self):
        self.site.routes["/app"] = (200, "text/html", FIELD)
        app = self.launch(start_env={"LANG": "en_US.UTF-8", "LANGUAGE": "", "LC_ALL": "", "LC_MESSAGES": ""})
        calendar = app.calendar()
        self.press_shortcut()
        self.wait_active(calendar)
        wait_until(lambda: "loaded" in self.site.reports(), 10, message="the page")
        self.desktop.type("Thiss wrold ")
        x, y, _, _ = self.desktop.geometry(calendar)
        wait_until(lambda: self.red_pixels(x, y, 600, 80) > 20, 10, message="misspellings underlined")
        self.shot("spelling")

    def red_pixels(self, x, y, width, height):
        out = self.desktop.x("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "-depth", "8",
                             "txt:-")
        count = 0
        for line in out.splitlines()[1:]:
            colour = line.split("#", 1)[1][:6] if "#" in line else ""
            if len(colour) == 6:
                r, g, b = (int(colour[i:i + 2], 16) for i in (0, 2, 4))
                count += r > 160 and g < 110 and b < 110
        return count

    def last_width(self):
        widths = [r.split("=", 1)[1] for r in self.site.reports() if r.startswith("width=")]
        return widths[-1] if widths else None


if __name__ == "__main__":
    unittest.main()
