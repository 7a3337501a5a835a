"""The launch spine: the shortcut shows and hides the calendar on a real desktop."""

import time
import unittest

from harness import FIELD_PAGE, MONITORS, DesktopTest, wait_until


class LaunchSpine(DesktopTest):
    def test_first_launch_loads_the_calendar_hidden_and_welcomes(self):
        app = self.launch(onboarded=False)
        calendar = app.calendar()
        request = self.site.requests_for("/app")[0]
        # Loaded in the hidden window, before anything of the calendar is on screen.
        self.assertFalse(self.desktop.is_viewable(calendar))
        agent = request["agent"]
        self.assertIn("(KHTML, like Gecko) Version/17.0 Safari/605.1.15 PlenhallDesktop/", agent)
        self.assertEqual(agent.count("Safari/"), 1, agent)
        self.assertTrue(agent.startswith("Mozilla/5.0"), agent)

        settings = app.settings()
        self.wait_viewable(settings)
        self.assertIn('"Plenhall"', self.desktop.property(settings, "WM_NAME"))
        wait_until(lambda: app.preferences().get("hasOnboarded") is True, 10, message="the first-run flag")
        self.shot("welcome")

        # The second launch shows nothing at all.
        app.stop()
        again = self.launch(home=app.home, onboarded=False)
        calendar = again.calendar()
        time.sleep(1)  # nothing is to happen: long enough for a window to be mapped
        self.assertFalse(self.desktop.is_viewable(again.settings()))
        self.assertFalse(self.desktop.is_viewable(calendar))

    def test_shortcut_toggles_full_screen_on_the_pointers_monitor(self):
        app = self.launch()
        calendar = app.calendar()

        for index, (x, y, width, height) in enumerate(MONITORS if self.desktop.two_monitors else MONITORS[:1]):
            self.desktop.pointer(x + width // 2, y + height // 2)
            self.press_shortcut()
            self.wait_viewable(calendar)
            self.wait_active(calendar)
            self.wait_geometry(calendar, (x, y, width, height))
            self.assertIn("_NET_WM_STATE_FULLSCREEN", self.desktop.property(calendar, "_NET_WM_STATE"))
            self.assertIn("_NET_WM_STATE_ABOVE", self.desktop.property(calendar, "_NET_WM_STATE"))
            self.shot(f"shown-on-monitor-{index}")
            self.press_shortcut()
            self.wait_viewable(calendar, False)
            time.sleep(0.3)  # nothing is to happen: hidden for good, not shown again by its own shortcut
            self.assertFalse(self.desktop.is_viewable(calendar))
        self.shot("hidden")
        # Shown once in full: no reload while it was hidden for less than ten minutes.
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_the_calendar_comes_on_screen_whole(self):
        # From the first showing on, the screen goes from what was there straight to the page: no
        # blank, grey or black frame while the web engine catches up.
        colour = "2a6f97"
        self.site.routes["/app"] = (200, "text/html", f"<!doctype html><body style='background:#{colour}'>")
        app = self.launch(start_env={"PLENHALL_TRACE_SHOW": "1"})
        calendar = app.calendar()
        wait_until(lambda: "frame rendered" in app.log(), 20, message="the page rendered while hidden")
        for showing in ("the first showing", "a later one"):
            watcher, _ = self.desktop.helper("watch", "640", "400", colour)
            self.press_shortcut()
            self.assertEqual(watcher.stdout.readline().strip(), "seen", showing)
            self.wait_active(calendar)
            self.press_shortcut()
            self.wait_viewable(calendar, False)

    def test_a_second_launch_shows_the_running_calendar(self):
        app = self.launch()
        calendar = app.calendar()
        second = app.launch_again()
        self.assertEqual(second.returncode, 0, second.stderr)
        self.wait_viewable(calendar)
        self.wait_active(calendar)
        self.assertIsNone(app.process.poll())
        # Still one copy: the second did not load the calendar again.
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_without_a_session_bus_a_second_launch_says_why_and_the_first_runs_on(self):
        nowhere = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent/bus"}
        app = self.launch(start_env=nowhere)
        calendar = app.calendar()
        second = app.launch_again(env=nowhere)  # a second calendar would run on past the time-out
        self.assertNotEqual(second.returncode, 0)
        said = [line for line in second.stderr.splitlines() if line.startswith("PlenhallDesktop: ")]
        self.assertEqual(len(said), 1, second.stderr)
        self.assertIn("already running, but this launch cannot reach it: there is no D-Bus session bus", said[0])
        self.assertIsNone(app.process.poll())
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(calendar)
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_large_window_frame_is_remembered_across_a_relaunch(self):
        app = self.launch({"displayMode": "largeWindow"})
        calendar = app.calendar()
        self.desktop.pointer(200, 200)
        self.press_shortcut()
        self.wait_viewable(calendar)
        # 90 % of the work area, centred on it.
        self.wait_geometry(calendar, (64, 40, 1152, 720))
        self.assertIn('"Plenhall"', self.desktop.property(calendar, "WM_NAME"))
        self.shot("large-default")

        self.desktop.x("xdotool", "windowsize", "--sync", str(calendar), "900", "640")
        self.desktop.x("xdotool", "windowmove", "--sync", str(calendar), "150", "90")
        moved = wait_until(lambda: self.desktop.geometry(calendar)[2:] == (900, 640) and
                           self.desktop.geometry(calendar), 5, message="the moved window")
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        stored = wait_until(lambda: app.preferences().get("largeWindowFrame"), 5, message="the remembered frame")
        self.assertEqual(stored, "{{%d, %d}, {%d, %d}}" % moved)

        app.stop()
        again = self.launch(home=app.home)
        calendar = again.calendar()
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_geometry(calendar, moved)
        self.shot("large-remembered")

    def test_a_large_window_follows_the_pointer_to_the_other_monitor(self):
        app = self.launch({"displayMode": "largeWindow"})
        calendar = app.calendar()
        self.desktop.pointer(1500, 200)
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_geometry(calendar, (1280 + 64, 40, 1152, 720))
        self.desktop.x("xdotool", "windowsize", "--sync", str(calendar), "800", "600")
        self.desktop.x("xdotool", "windowmove", "--sync", str(calendar), "1500", "100")
        wait_until(lambda: self.desktop.geometry(calendar) == (1500, 100, 800, 600), 5,
                   message="the moved window")
        self.press_shortcut()
        self.wait_viewable(calendar, False)

        # The remembered frame does not meet the left monitor: its default frame, exactly.
        self.desktop.pointer(200, 200)
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_geometry(calendar, (64, 40, 1152, 720))
        self.shot("large-left-default")

    def test_a_panel_is_covered_in_full_screen_and_avoided_by_the_large_window(self):
        panel, ready = self.desktop.helper("panel", "0", "0", "1280", "30")
        self.assertEqual(ready, "panel")
        try:
            wait_until(lambda: "0, 30, " in self.desktop.x("xprop", "-root", "_NET_WORKAREA"), 10,
                       message="the work area")
            app = self.launch()
            calendar = app.calendar()
            self.press_shortcut()
            self.wait_viewable(calendar)
            self.wait_geometry(calendar, (0, 0, 1280, 800))
            self.shot("covers-panel")
            self.press_shortcut()
            self.wait_viewable(calendar, False)
            app.stop()

            large = self.launch({"displayMode": "largeWindow"}, home=app.home)
            calendar = large.calendar()
            self.press_shortcut()
            self.wait_viewable(calendar)
            # Work area 1280 × 770 from y = 30: 1152 × 693 (692.999… rounds up), centred at y = 68.5,
            # which the window system places on a whole pixel.
            self.wait_geometry(calendar, (64, 69, 1152, 693))
        finally:
            panel.terminate()

    def test_a_shortcut_held_by_another_program_is_refused_and_welcomes_again(self):
        # keycode 54 is C; Control (0x4) + Mod1 (0x8) + Mod4 (0x40)
        holder, result = self.desktop.helper("grab", "54", str(0x4 | 0x8 | 0x40))
        self.assertEqual(result, "grabbed")
        try:
            app = self.launch()
            settings = app.settings()
            self.wait_viewable(settings)
            wait_until(lambda: "PlenhallDesktop: \u2303\u2325\u2318C unavailable (status 10)" in app.log(), 10,
                       message="the refusal in the log")
            wait_until(lambda: app.preferences().get("hasOnboarded") is True, 5, message="the first-run flag")
            self.shot("refused")
        finally:
            holder.terminate()

    def test_site_data_survives_a_relaunch(self):
        cookie = {"Set-Cookie": "session=kept; Max-Age=86400; Path=/"}
        self.site.routes["/app"] = (200, "text/html", FIELD_PAGE, cookie)
        self.site.routes["/report"] = (204, "text/plain", "")
        try:
            app = self.launch()
            wait_until(lambda: "loaded" in self.site.reports(), 20, message="the page, and with it the cookie")
            app.stop()
            self.site.requests.clear()
            self.launch(home=app.home)
            self.assertIn("session=kept", self.site.requests_for("/app")[0]["cookie"])
        finally:
            self.site.routes["/app"] = (200, "text/html", self.site.PAGE)


if __name__ == "__main__":
    unittest.main(verbosity=2)
