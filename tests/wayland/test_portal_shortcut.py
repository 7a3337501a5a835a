"""The global shortcut on a Wayland desktop with a global-shortcuts portal: Debian's real
xdg-desktop-portal frontend, with the test desktop's backend (portal/) binding and pressing the
shortcut as a desktop would."""

import json
import os
import time
import unittest

from sway_harness import HELPERS, SYSTEM_PYTHON, Sway, SwayTest, wait_until

PORTAL_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "portal")
FRONTEND = "/usr/libexec/xdg-desktop-portal"
BACKEND_NAME = "org.freedesktop.impl.portal.desktop.plenhalltest"
SHORTCUT = "toggle-calendar"


class PortalSway(Sway):
    """sway with a global-shortcuts portal on its session bus."""

    def start_desktop_services(self):
        self.backend = self.spawn([SYSTEM_PYTHON, os.path.join(PORTAL_DIR, "test_portal_backend.py"),
                                   "--role", "backend"], "portal-backend")
        wait_until(lambda: self.has_name(BACKEND_NAME), 20, message="the portal backend")
        self.start_frontend()

    def start_frontend(self):
        self.frontend = self.spawn([FRONTEND, "--replace"], "portal", env=self.base_env(
            XDG_DESKTOP_PORTAL_DIR=PORTAL_DIR, XDG_CURRENT_DESKTOP="plenhalltest"))
        wait_until(lambda: self.has_name("org.freedesktop.portal.Desktop"), 20, message="the portal")

    def restart_frontend(self):
        self.frontend.terminate()
        self.frontend.wait(10)
        wait_until(lambda: not self.has_name("org.freedesktop.portal.Desktop"), 10, message="the portal gone")
        self.start_frontend()

    def control(self, *arguments):
        result = self.run([SYSTEM_PYTHON, os.path.join(HELPERS, "portal_control.py"), *arguments])
        return json.loads(result.stdout)

    def has_name(self, name):
        return self.control("has-name", name)

    def configure(self, **config):
        self.control("configure", json.dumps(config))

    def press(self, token=""):
        """The user presses the bound shortcut; how many sessions heard it."""
        return self.control("trigger", SHORTCUT, token)

    def stats(self):
        return self.control("stats")


@unittest.skipUnless(os.path.exists(FRONTEND), "no xdg-desktop-portal")
class PortalShortcut(SwayTest):
    desktop = PortalSway

    def setUp(self):
        super().setUp()
        self.sway.configure(bound={}, bind_response=0)
        self.before = self.sway.stats()  # the desktop's counts run on across tests

    def count(self, name):
        return self.sway.stats()[name] - self.before[name]

    def test_the_desktop_binds_once_and_each_press_toggles_the_calendar(self):
        app = self.launch()
        wait_until(lambda: self.count("binds") == 1, 20, message="the bind")
        self.assertEqual(self.sway.stats()["preferred_trigger"], "CTRL+ALT+LOGO+c")

        for output in ("HEADLESS-2", "HEADLESS-1"):
            self.sway.focus_output(output)
            self.assertGreaterEqual(self.sway.press(token=f"token-{output}"), 1)
            calendar = self.wait_focused(lambda view: view["id"] == (app.calendar() or {}).get("id"),
                                         "the calendar focused")
            self.assertEqual((calendar["output"], calendar["fullscreen_mode"]), (output, 1))
            self.sway.press()
            self.wait_calendar(app, shown=False)

        # Next launch: the desktop still holds the binding, so nothing is asked again.
        app.stop()
        again = self.launch(home=app.home)
        wait_until(lambda: self.count("sessions") == 2, 20, message="the new session")
        wait_until(lambda: self.count("lists") == 2, 20, message="the new session's list")
        self.sway.press()
        self.wait_calendar(again)
        self.assertEqual(self.count("binds"), 1)
        self.assertNotIn("unavailable", again.log())

    def test_a_restarted_portal_gets_a_new_session_without_asking_again(self):
        app = self.launch()
        wait_until(lambda: self.count("binds") == 1, 20, message="the bind")
        self.sway.restart_frontend()
        wait_until(lambda: self.count("sessions") == 2 and self.count("lists") == 2, 20,
                   message="a new session listing the shortcut")
        self.sway.press()
        self.wait_calendar(app)
        self.assertEqual(self.count("binds"), 1)

    def test_a_refused_bind_is_one_log_line_and_the_program_carries_on(self):
        self.sway.configure(bind_response=1)
        app = self.launch()
        line = "unavailable (status 1)"
        wait_until(lambda: line in app.log(), 20, message="the refusal in the log")
        # Nothing asks again on its own (the user said no): prove it for a while.
        time.sleep(1.5)
        self.assertEqual(self.count("binds"), 1)
        self.assertEqual(app.log().count(line), 1, app.log())
        self.assertIsNone(app.process.poll())
        self.open_url(app, "plenhall://show")  # the fallback the settings window names
        self.wait_calendar(app)


if __name__ == "__main__":
    unittest.main()
