"""The program as a native Wayland client on sway: where the calendar shows, what has the focus,
what the page receives, and what is remembered."""

import re
import time
import unittest

from sway_harness import APP_ID, FIELD_PAGE, OUTPUTS, SwayTest, wait_until


class Sway(SwayTest):
    def show(self, app, url="plenhall://show"):
        self.open_url(app, url)
        return self.wait_focused(lambda view: view["id"] == (app.calendar() or {}).get("id"),
                                 "the calendar focused")

    def hide(self, app, url="plenhall://hide"):
        self.open_url(app, url)
        self.wait_calendar(app, shown=False)

    def wait_full_screen_on(self, app, output):
        """Waits for the calendar to cover `output`; fails if it was ever seen on screen framed."""
        x, y, width, height = OUTPUTS[output]
        seen = []

        def covers():
            view = app.calendar()
            seen.append(view)
            return view and view["fullscreen_mode"] == 1 and view["output"] == output and (
                view["rect"]["x"], view["rect"]["y"], view["rect"]["width"], view["rect"]["height"]) == (
                x, y, width, height) and view
        try:
            view = wait_until(covers, 10, message=f"the calendar full screen on {output}")
        except AssertionError as error:
            raise AssertionError(f"{error}; last seen {seen[-1]}") from None
        self.assertFalse([v for v in seen if v and not v["fullscreen_mode"]], "shown framed first")
        return view

    def test_show_fills_the_focused_output_and_follows_the_focus_to_the_other(self):
        app = self.launch()
        self.assertIsNone(app.calendar())  # loaded hidden
        for output in ("HEADLESS-1", "HEADLESS-2", "HEADLESS-1"):
            self.sway.focus_output(output)
            self.open_url(app, "plenhall://show")
            calendar = self.wait_full_screen_on(app, output)
            x, y = OUTPUTS[output][:2]
            self.wait_focused(lambda view: view["id"] == calendar["id"], "the calendar focused")
            # A native Wayland window, known to the desktop by the application's id.
            self.assertEqual((calendar["shell"], calendar["app_id"]), ("xdg_shell", APP_ID))
            # The page is on screen: its heading's dark text.
            wait_until(lambda: self.sway.has_dark_pixels(x, y, 400, 60), 10, message="the page painted")
            self.shot(f"shown-on-{output}")
            self.hide(app)
        # Shown three times, loaded once.
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_every_showing_starts_with_the_page(self):
        # From the desktop straight to the page: no black, white or grey frame first, whether the
        # engine still has its own frame (a short hide) or has thrown it away (past 10 s).
        colour = "2a6f97"
        self.site.routes["/app"] = (200, "text/html", f"<!doctype html><body style='background:#{colour}'>")
        app = self.launch(env={"PLENHALL_TRACE_SHOW": "1"})
        wait_until(lambda: "frame rendered" in app.log(), 20, message="the page rendered while hidden")
        desktop = self.sway.pixel(640, 400)
        for showing, hidden in (("the first showing", 0), ("after a short hide", 1), ("after a long one", 12)):
            time.sleep(hidden)  # the engine lets its frame go 10 s after the page is hidden
            watcher = self.sway.watch_pixel(640, 400, until=colour)
            self.show(app)
            watcher.join()
            self.assertEqual([c for c in watcher.colours if c != desktop], [colour], showing)
            self.hide(app)

    def test_typing_reaches_the_page(self):
        self.site.routes["/app"] = (200, "text/html", FIELD_PAGE)
        self.site.routes["/report"] = (204, "text/plain", "")
        app = self.launch()
        wait_until(lambda: "loaded" in self.site.reports(), 20, message="the page")
        self.show(app)
        self.sway.type("hello")
        self.sway.key("F2")  # the page reports its field
        wait_until(lambda: "field=hello" in self.site.reports(), 10, message="the typed text")

    def test_focusing_another_application_puts_it_away(self):
        self.sway.focus_output("HEADLESS-2")
        other = self.other_application()
        self.sway.focus_output("HEADLESS-1")
        app = self.launch()
        self.show(app)
        self.sway.focus_view(other)
        self.wait_calendar(app, shown=False)
        self.assertEqual(self.sway.focused_view()["name"], other)
        # Shown again on request, and focused.
        self.show(app)

    def test_a_large_window_keeps_its_size_across_a_relaunch(self):
        app = self.launch({"displayMode": "largeWindow"})
        calendar = self.show(app)
        self.assertEqual(calendar["fullscreen_mode"], 0)
        self.assertEqual(calendar["type"], "floating_con")
        self.sway.msg(f"[con_id={calendar['id']}]", "resize", "set", "width", "900", "px", "height", "640", "px")
        resized = wait_until(lambda: (lambda view: view if view and view["window_rect"]["width"] == 900 and
                                      view["window_rect"]["height"] == 640 else None)(app.calendar()),
                             10, message="the resized window")
        self.hide(app)
        stored = wait_until(lambda: app.preferences().get("largeWindowFrame"), 5, message="the remembered frame")
        width, height = (float(n) for n in re.fullmatch(r"\{\{[-\d.]+, [-\d.]+\}, \{([\d.]+), ([\d.]+)\}\}",
                                                         stored).groups())
        self.assertEqual(width, 900, stored)
        app.stop()

        again = self.launch(home=app.home)
        calendar = self.show(again)
        self.assertEqual((calendar["window_rect"]["width"], calendar["window_rect"]["height"]),
                         (resized["window_rect"]["width"], resized["window_rect"]["height"]))
        self.assertLessEqual(abs(height - 640), 64, stored)  # the content, under any title bar
        self.shot("large-remembered")

    def test_first_launch_welcomes_and_settings_open_on_request(self):
        app = self.launch(onboarded=False)
        settings = wait_until(app.settings, 20, message="the welcome")
        self.assertEqual(settings["name"], "Plenhall")
        # The size it was laid out for: sway draws no title bar on it, and content that outgrew the
        # frame (a larger desktop font, a word broken into lines) would have made it taller.
        self.assertEqual((settings["window_rect"]["width"], settings["window_rect"]["height"]), (440, 420))
        self.wait_focused(lambda view: view["id"] == settings["id"], "the welcome focused")
        wait_until(lambda: app.preferences().get("hasOnboarded") is True, 10, message="the first-run flag")
        self.assertIsNone(app.calendar())
        self.shot("welcome")
        self.sway.msg(f"[con_id={settings['id']}]", "kill")
        wait_until(lambda: app.settings() is None, 10, message="the welcome closed")

        self.sway.focus_output("HEADLESS-2")
        self.open_url(app, "plenhall://settings")
        settings = self.wait_focused(lambda view: view["id"] == (app.settings() or {}).get("id"),
                                     "the settings window focused")
        self.assertEqual(settings["output"], "HEADLESS-2")

    def test_hide_and_the_bare_link_toggle(self):
        app = self.launch()
        self.show(app, "plenhall://")
        self.hide(app, "plenhall://")
        self.show(app, "plenhall://")
        self.hide(app, "plenhall://hide")
        self.open_url(app, "plenhall://hide")  # hiding what is hidden changes nothing
        self.assertIsNone(app.calendar())
        self.show(app, "plenhall://show")
        self.show(app, "plenhall://show")  # nor does showing what is shown

    def test_through_xwayland_the_pointer_is_not_trusted(self):
        # An X client of the Wayland desktop, which knows of no Wayland display: it still tells
        # XWayland by its X server, and says so once.
        app = self.launch(env={"DISPLAY": self.sway.x_display(), "WAYLAND_DISPLAY": None})
        line = "PlenhallDesktop: running through XWayland"
        for output in ("HEADLESS-1", "HEADLESS-2"):
            # Full screen is the desktop's choice there, as natively: the focused output.
            self.sway.focus_output(output)
            self.open_url(app, "plenhall://show")
            calendar = self.wait_full_screen_on(app, output)
            self.assertEqual(calendar["shell"], "xwayland")
            self.hide(app)
        self.assertEqual(app.log().count(line), 1, app.log())


if __name__ == "__main__":
    unittest.main()
