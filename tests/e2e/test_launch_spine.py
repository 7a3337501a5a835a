"""The launch spine on every desktop: the shortcut shows and hides the calendar, where and how each
desktop puts it; and what a run keeps. Run with PLENHALL_E2E_DESKTOP=x11|sway|mutter|kwin."""

import os
import re
import time
import unittest

from harness import FIELD_PAGE, FRONTEND, STATE_PAGE, DesktopTest, Mutter, dropped_connection, wait_until

# Where each scenario runs: on each desktop whose part it is; what is the program's alone, on X11.
WHERE = {
    "shortcut_toggles_full_screen_on_the_pointers_output": "x11 sway mutter kwin",
    "typing_reaches_the_page":                             "x11 sway mutter kwin",
    "a_second_launch_shows_the_running_calendar":          "x11 sway mutter kwin",
    "another_application_taking_the_focus_hides_it":      "x11 sway       kwin",
    "a_large_window_opens_on_the_pointers_output_and_is_kept": "x11 sway mutter",
    "every_showing_starts_with_the_page":                  "x11 sway",
    "first_launch_welcomes_and_loads_hidden":              "x11 sway",
    "the_desktop_binds_the_shortcut_once":                 "    sway       kwin",
    "a_refused_bind_is_one_log_line_and_the_program_carries_on": "sway",
    "without_a_session_bus_a_second_launch_says_why":      "x11",
    "a_panel_is_covered_in_full_screen_and_avoided_by_the_large_window": "x11",
    "a_shortcut_held_by_another_program_is_refused_and_welcomes": "x11",
    "site_data_survives_a_relaunch":                       "x11",
    "the_offline_page_and_settings_follow_light_or_dark":  "x11",
    "zoom_is_kept_for_the_next_run_and_ctrl_0_resets_it":  "x11",
    "spelling_is_checked_in_the_users_language":           "x11",
}
DARK, LIGHT, DARK_OFFLINE, LIGHT_OFFLINE = "1", "2", "#1c1c1e", "#f7f5f0"


class LaunchSpine(DesktopTest):
    def setUp(self):
        where = WHERE[self._testMethodName[len("test_"):]].split()
        if self.desktop.name not in where:
            self.skipTest(f"runs on {', '.join(where)}")
        super().setUp()
        self.site.routes.update({"/app": (200, "text/html", STATE_PAGE), "/report": (204, "text/plain", "")})
        self.outputs = list(self.desktop.outputs)

    def wait_calendar(self, app, predicate, message, timeout=15):
        """The calendar's state once `predicate` holds; every state seen on the way in self.seen."""
        self.seen = []

        def check():
            self.seen.append(self.desktop.calendar(app))
            return predicate(self.seen[-1]) and (self.seen[-1] or "hidden")
        try:
            return wait_until(check, timeout, 0.1, message)
        except AssertionError as error:
            raise AssertionError(f"{error}; last seen {self.seen[-1]}") from None

    def show(self, app, output, full_screen=True, rect=None):
        """Points at `output` and presses the shortcut: the calendar is shown there, with the keyboard."""
        self.desktop.point_at(output)
        self.desktop.press_shortcut(app)
        state = self.wait_calendar(app, lambda s: s and s["focused"] and s["output"] == output and s["full_screen"] ==
                                   full_screen and rect in (None, s["rect"]), f"the calendar focused on {output}")
        if full_screen and not self.desktop.framed_first:
            self.assertFalse([s for s in self.seen if s and not s["full_screen"]], "shown framed first")
        return state

    def hide(self, app):
        self.desktop.press_shortcut(app)
        self.wait_calendar(app, lambda s: s is None, "the calendar put away")

    def test_shortcut_toggles_full_screen_on_the_pointers_output(self):
        app = self.launch()
        self.assertIsNone(self.desktop.calendar(app))  # loaded hidden
        for output in reversed(self.outputs):  # the second first: not where a window goes unasked
            self.show(app, output, rect=self.desktop.outputs[output])
            self.shot(f"shown-on-{output}")
            self.hide(app)
            # Hidden for good, not shown again by its own shortcut.
            self.assertFalse(wait_until(lambda: self.desktop.calendar(app), 0.5, quiet=True))
        self.assertEqual(len(self.site.requests_for("/app")), 1)  # shown twice, loaded once

    def test_typing_reaches_the_page(self):
        app = self.launch()
        wait_until(lambda: "loaded" in self.site.reports(), 20, message="the page")
        self.show(app, self.outputs[-1])
        self.desktop.type("hello")
        self.desktop.key("F2")  # the page reports its field
        wait_until(lambda: "field=hello" in self.site.reports(), 10, message="the typed text")

    def test_a_second_launch_shows_the_running_calendar(self):
        app = self.launch()
        second = app.launch_again()
        self.assertEqual(second.returncode, 0, second.stderr)
        self.wait_calendar(app, lambda s: s and s["focused"], "the calendar focused")
        self.assertIsNone(app.process.poll())
        self.assertEqual(len(self.site.requests_for("/app")), 1)  # the second did not load it again

    def test_another_application_taking_the_focus_hides_it(self):
        self.desktop.point_at(self.outputs[0])
        _, other = self.desktop.other_application()
        app = self.launch()
        self.show(app, self.outputs[-1])
        self.desktop.focus_other(other)
        self.wait_calendar(app, lambda s: s is None, "the calendar put away")
        wait_until(lambda: self.desktop.other_focused(other), message="the other application focused")
        self.show(app, self.outputs[0])  # over the other application, and with the keyboard
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_a_large_window_opens_on_the_pointers_output_and_is_kept(self):
        app = self.launch({"displayMode": "largeWindow"})
        x, y, width, height = self.desktop.outputs[self.outputs[-1]]
        # 90 % of the work area, centred, where the window may say where it goes; mutter maximizes a
        # window that maps covering more than 80 % of a work area.
        state = self.show(app, self.outputs[-1], full_screen=isinstance(self.desktop, Mutter), rect=(
            x + width // 20, y + height // 20, width * 9 // 10, height * 9 // 10) if self.desktop.name == "x11" else None)
        if not self.desktop.resize(app, 900, 640):
            return
        resized = self.wait_calendar(app, lambda s: s and s["rect"][2:] == (900, 640), "the resized window")
        self.hide(app)
        stored = wait_until(lambda: app.preferences().get("largeWindowFrame"), 5, message="the remembered frame")
        if self.desktop.name == "x11":
            self.assertEqual(stored, "{{%d, %d}, {%d, %d}}" % resized["rect"])
        _, _, stored_width, stored_height = (float(n) for n in re.findall(r"-?[\d.]+", stored))
        self.assertEqual(stored_width, 900, stored)
        self.assertLessEqual(abs(stored_height - 640), 64, stored)  # the content, under any title bar
        app.stop()
        again = self.launch(home=app.home)
        state = self.show(again, self.outputs[-1], full_screen=False)
        self.assertEqual(state["rect"][2:], (900, 640))
        if self.desktop.name == "x11":
            self.assertEqual(state["rect"], resized["rect"])

    def test_every_showing_starts_with_the_page(self):
        # From the desktop straight to the page: no blank, grey or black frame first, whether the
        # engine still has its frame (a short hide) or has let it go (10 s after the page hid).
        colour = "#2a6f97"
        self.site.routes["/app"] = (200, "text/html", f"<!doctype html><body style='background:{colour}'>")
        app = self.launch(start_env={"PLENHALL_TRACE_SHOW": "1"})
        wait_until(lambda: "frame rendered" in app.log(), 20, message="the page rendered while hidden")
        x, y, width, height = self.desktop.outputs[self.outputs[0]]
        self.desktop.point_at(self.outputs[0])
        for showing, hidden in (("the first showing", 0), ("after a short hide", 1), ("after a long one", 12)):
            time.sleep(hidden)  # the time hidden is what differs, not a state to wait for
            between = self.desktop.watch(x + width // 2, y + height // 2, colour)
            self.desktop.press_shortcut(app)
            self.assertEqual(between(), [], showing)
            self.wait_calendar(app, lambda s: s and s["focused"], "the calendar focused")
            self.hide(app)

    def test_first_launch_welcomes_and_loads_hidden(self):
        app = self.launch(onboarded=False)
        agent = self.site.requests_for("/app")[0]["agent"]
        self.assertTrue(agent.startswith("Mozilla/5.0"), agent)
        self.assertIn("(KHTML, like Gecko) Version/17.0 Safari/605.1.15 PlenhallDesktop/", agent)
        self.assertEqual(agent.count("Safari/"), 1, agent)
        welcome = wait_until(lambda: self.desktop.settings(app), 20, message="the welcome")
        # The size it was laid out for: content that outgrew it (a larger desktop font, a word broken
        # into lines) would have made it taller.
        self.assertEqual((welcome["title"], welcome["size"]), ("Plenhall", (440, 420)))
        wait_until(lambda: (self.desktop.settings(app) or {}).get("focused"), message="the welcome focused")
        wait_until(lambda: app.preferences().get("hasOnboarded") is True, 10, message="the first-run flag")
        self.assertIsNone(self.desktop.calendar(app))
        self.shot("welcome")
        app.stop()
        again = self.launch(home=app.home, onboarded=False)  # shows nothing at all
        self.assertFalse(wait_until(lambda: self.desktop.settings(again) or self.desktop.calendar(again), 1,
                                    quiet=True))

    def test_the_desktop_binds_the_shortcut_once(self):
        self.desktop.forget_shortcut()
        binds = self.desktop.binds()
        app = self.launch()
        wait_until(self.desktop.holds_shortcut, 20, message="the shortcut bound")
        self.show(app, self.outputs[-1])
        self.hide(app)
        # The portal asks the desktop to bind; Plasma binds from the session's list, asking nothing.
        bound = self.desktop.binds()
        self.assertEqual(bound - binds, {"sway": 1, "kwin": 0}[self.desktop.name])
        if self.desktop.name == "sway":  # a restarted portal: a new session, and nothing asked again
            mark = self.desktop.mark()
            self.desktop.stop_portal(frontend_only=True)
            self.desktop.start_portal()
            self.desktop.ready(app, mark)
            self.show(app, self.outputs[0])
            self.hide(app)
        app.stop()
        again = self.launch(home=app.home)
        self.show(again, self.outputs[0])
        self.assertEqual(self.desktop.binds(), bound)
        self.assertNotIn("unavailable", again.log())

    def test_a_refused_bind_is_one_log_line_and_the_program_carries_on(self):
        self.desktop.forget_shortcut()
        self.desktop.test_portal("Refuse", "true")
        self.addCleanup(self.desktop.test_portal, "Refuse", "false")
        binds = self.desktop.binds()
        app = self.launch()
        line = "unavailable (status 1)"
        wait_until(lambda: line in app.log(), 20, message="the refusal in the log")
        # Nothing asks again on its own (the user said no): give it the time to.
        self.assertFalse(wait_until(lambda: self.desktop.binds() > binds + 1, 1.5, quiet=True))
        self.assertEqual(app.log().count(line), 1, app.log())
        self.assertEqual(app.launch_again("plenhall://show").returncode, 0)  # the fallback the settings name
        self.wait_calendar(app, lambda s: s and s["focused"], "the calendar focused")

    def test_without_a_session_bus_a_second_launch_says_why(self):
        nowhere = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent/bus"}
        app = self.launch(start_env=nowhere)
        second = app.launch_again(env=nowhere)  # a second calendar would run on past the time-out
        self.assertNotEqual(second.returncode, 0)
        said = [line for line in second.stderr.splitlines() if line.startswith("PlenhallDesktop: ")]
        self.assertEqual(len(said), 1, second.stderr)
        self.assertIn("already running, but this launch cannot reach it: there is no D-Bus session bus", said[0])
        self.show(app, self.outputs[0])  # the first runs on
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_a_panel_is_covered_in_full_screen_and_avoided_by_the_large_window(self):
        panel, ready = self.desktop.helper("panel", "0", "0", "1280", "30")
        self.addCleanup(panel.terminate)
        self.assertEqual(ready, "panel")
        wait_until(lambda: "0, 30, " in self.desktop.x("xprop", "-root", "_NET_WORKAREA"), 10, message="the work area")
        app = self.launch()
        self.show(app, self.outputs[0], rect=(0, 0, 1280, 800))
        self.hide(app)
        app.stop()
        # Work area 1280 × 770 from y = 30: 1152 × 693 (692.999… rounds up), centred at y = 68.5,
        # which the window system places on a whole pixel.
        self.show(self.launch({"displayMode": "largeWindow"}), self.outputs[0], False, (64, 69, 1152, 693))

    def test_a_shortcut_held_by_another_program_is_refused_and_welcomes(self):
        holder, result = self.desktop.helper("grab", "54", str(0x4 | 0x8 | 0x40))  # C with Control, Mod1, Mod4
        self.addCleanup(holder.terminate)
        self.assertEqual(result, "grabbed")
        app = self.launch()
        wait_until(lambda: self.desktop.settings(app), 10, message="the welcome")
        wait_until(lambda: "C unavailable (status 10)" in app.log(), 10, message="the refusal in the log")

    def test_site_data_survives_a_relaunch(self):
        self.site.routes["/app"] = (200, "text/html", FIELD_PAGE, {"Set-Cookie": "session=kept; Max-Age=86400; Path=/"})
        app = self.launch()
        wait_until(lambda: "loaded" in self.site.reports(), 20, message="the page, and with it the cookie")
        app.stop()
        self.site.requests.clear()
        self.launch(home=app.home)
        self.assertIn("session=kept", self.site.requests_for("/app")[0]["cookie"])

    @unittest.skipUnless(os.path.exists(FRONTEND), "no xdg-desktop-portal")
    def test_the_offline_page_and_settings_follow_light_or_dark(self):
        self.desktop.start_portal()
        self.addCleanup(self.desktop.stop_portal)
        self.desktop.test_portal("SetColorScheme", DARK)
        self.site.routes["/app"] = dropped_connection
        app = self.launch()
        self.show(app, self.outputs[0])
        for scheme, colour in ((DARK, DARK_OFFLINE), (LIGHT, LIGHT_OFFLINE), (DARK, DARK_OFFLINE)):
            self.desktop.test_portal("SetColorScheme", scheme)
            wait_until(lambda: self.desktop.pixel(20, 20) == colour, 10, message=f"the offline page in {colour}")
        app.click_status_item("Settings")
        settings = app.settings()
        self.wait_viewable(settings)
        x, y, _, _ = self.desktop.geometry(settings)
        for scheme, bright in ((DARK, False), (LIGHT, True)):
            self.desktop.test_portal("SetColorScheme", scheme)
            wait_until(lambda: (sum(int(self.desktop.pixel(x + 4, y + 4)[i:i + 2], 16) for i in (1, 3, 5)) > 450) ==
                       bright, 10, message=f"the settings window {'light' if bright else 'dark'}")
        self.assertNotIn("appearance:", app.log())

    def last_width(self):
        return ([r.split(" ")[2].split("x")[0] for r in self.site.reports() if r.startswith("state ")] or [None])[-1]

    def test_zoom_is_kept_for_the_next_run_and_ctrl_0_resets_it(self):
        app = self.launch()
        width = self.show(app, self.outputs[0])["rect"][2]  # zooming in narrows the page's viewport
        wait_until(lambda: self.last_width() == str(width), 10, message="the page as wide as the window")
        self.desktop.key("ctrl+plus")
        self.desktop.key("ctrl+equal")  # the same key without Shift, as in browsers
        wait_until(lambda: self.last_width() == str(round(width / 1.25)), 10, message="the page at 125 %")
        app.stop()  # at once: a zoom not written yet is written as the program ends
        self.assertEqual(app.preferences().get("pageZoom"), "125")
        again = self.launch(home=app.home)
        self.show(again, self.outputs[0])
        wait_until(lambda: self.last_width() == str(round(width / 1.25)), 10, message="the page at 125 % again")
        self.desktop.key("ctrl+0")
        wait_until(lambda: self.last_width() == str(width), 10, message="the page at its own size")
        wait_until(lambda: again.preferences().get("pageZoom") == "100", 5, message="the zoom stored")

    def test_spelling_is_checked_in_the_users_language(self):
        app = self.launch(start_env={"LANG": "en_US.UTF-8", "LANGUAGE": "", "LC_ALL": "", "LC_MESSAGES": ""})
        x, y, _, _ = self.show(app, self.outputs[0])["rect"]
        wait_until(lambda: "loaded" in self.site.reports(), 10, message="the page")
        self.desktop.type("Thiss wrold ")
        wait_until(lambda: self.red_pixels(x, y, 700, 200) > 20, 10, message="misspellings underlined")
        self.shot("spelling")

    def red_pixels(self, x, y, width, height):
        out = self.desktop.x("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "-depth", "8", "txt:-")
        return sum(r > 160 and g < 110 and b < 110 for r, g, b in
                   (bytes.fromhex(c) for c in re.findall(r"#([0-9A-Fa-f]{6})", out.split("\n", 1)[1])))


if __name__ == "__main__":
    unittest.main(verbosity=2)
