"""The status menu, key equivalents, plenhall:// commands and software updates."""

import subprocess
import time
import unittest

from harness import BINARY, FIELD_PAGE, SHORTCUT, App, DesktopTest, wait_until

APPCAST = """<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<item><title>Plenhall {short}</title><link>{download}</link>
<sparkle:releaseNotesLink>http://localhost:{port}/notes</sparkle:releaseNotesLink>
<enclosure url="http://localhost:{port}/p.tar.gz" sparkle:version="{version}" sparkle:shortVersionString="{short}"/>
</item></channel></rss>"""


class Integration(DesktopTest):
    def setUp(self):
        super().setUp()
        self.site.routes["/app"] = (200, "text/html", FIELD_PAGE)
        self.site.routes["/report"] = (204, "text/plain", "")

    def started(self, **kwargs):
        app = self.launch(**kwargs)
        calendar = app.calendar()
        wait_until(lambda: self.site.requests_for("/app"), 20, message="the start request")
        # The menu's root is on the bus before its items are.
        wait_until(lambda: any(label == "Quit Plenhall" for _, label, _ in app.status_menu()), 10,
                   message="the status menu on the bus")
        return app, calendar

    def dialog(self, app, role, timeout=15):
        return app.window(role, timeout)

    def test_status_menu_labels_and_actions(self):
        app, calendar = self.started()
        labels = [(label, separator) for _, label, separator in app.status_menu()]
        self.assertEqual(labels, [("Show / Hide Calendar  \u2303\u2325\u2318C", False), ("Reload", False),
                                  (None, True), ("Settings\u2026", False), ("Check for Updates\u2026", False),
                                  (None, True), ("Quit Plenhall", False)])
        self.assertIn("no status area", app.log())  # no panel here: said once, still usable
        self.assertEqual(app.log().count("no status area"), 1)

        app.click_status_item("Show / Hide")
        self.wait_viewable(calendar)
        app.click_status_item("Show / Hide")
        self.wait_viewable(calendar, False)

        loads = len(self.site.requests_for("/app"))
        app.click_status_item("Reload")
        wait_until(lambda: len(self.site.requests_for("/app")) == loads + 1, 10, message="the reload")
        self.assertFalse(self.desktop.is_viewable(calendar))

        self.press_shortcut()
        self.wait_viewable(calendar)
        app.click_status_item("Settings")
        settings = app.settings()
        self.wait_viewable(settings)
        self.wait_viewable(calendar, False)

        app.click_status_item("Quit Plenhall")
        self.assertEqual(app.process.wait(10), 0)

    def test_show_hide_hides_a_calendar_the_opening_menu_took_the_focus_from(self):
        app, calendar = self.started()
        other, other_window = self.desktop.other_application(1500, 600)
        try:
            for order in ("focus first", "menu first"):
                self.press_shortcut()
                self.wait_active(calendar)
                if order == "menu first":
                    app.open_status_menu()
                    self.desktop.activate(other_window)  # the panel's menu takes the focus
                else:
                    self.desktop.activate(other_window)
                    time.sleep(0.2)
                    app.open_status_menu()
                self.wait_viewable(calendar, False)
                app.click_status_item("Show / Hide")
                time.sleep(0.8)
                self.assertFalse(self.desktop.is_viewable(calendar), order)
            # Opened while the calendar is away: it shows.
            app.open_status_menu()
            app.click_status_item("Show / Hide")
            self.wait_viewable(calendar)
        finally:
            other.terminate()

    def test_the_menu_title_follows_the_shortcut(self):
        app, calendar = self.started(onboarded=False)
        self.start_recording(app.settings())
        self.desktop.key("ctrl+shift+super+k")
        wait_until(lambda: app.status_menu()[0][1] == "Show / Hide Calendar  \u2303\u21e7\u2318K", 5,
                   message="the new title")

    def test_key_equivalents(self):
        app, calendar = self.started()
        self.press_shortcut()
        self.wait_active(calendar)
        # Undo and redo go to the page.
        self.desktop.type("abc")
        self.desktop.key("ctrl+z")
        self.desktop.key("F2")
        wait_until(lambda: any(r.startswith("field=") for r in self.site.reports()), 5, message="a report")
        self.assertEqual(self.site.reports()[-1], "field=")
        self.desktop.key("ctrl+shift+z")
        self.desktop.key("F2")
        wait_until(lambda: self.site.reports()[-1] == "field=abc", 5, message="the redo")

        self.desktop.key("ctrl+w")  # hides the calendar
        self.wait_viewable(calendar, False)
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.key("ctrl+comma")  # settings, the calendar put away
        settings = app.settings()
        self.wait_viewable(settings)
        self.wait_viewable(calendar, False)
        self.wait_active(settings)
        self.desktop.key("ctrl+w")  # closes the focused settings window
        self.wait_viewable(settings, False)
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.key("ctrl+q")
        self.assertEqual(app.process.wait(10), 0)

    def test_url_commands_drive_the_running_program(self):
        app, calendar = self.started()
        self.assertEqual(app.launch_again("plenhall://show").returncode, 0)
        self.wait_viewable(calendar)
        self.wait_active(calendar)
        self.assertEqual(app.xdg_open("plenhall://hide").returncode, 0)
        self.wait_viewable(calendar, False)
        app.xdg_open("plenhall://")  # no command: toggles
        self.wait_viewable(calendar)
        app.launch_again("PLENHALL://hide", "https://example.org/", "plenhall://SHOW")  # ignored, ignored, toggle
        self.wait_viewable(calendar, False)
        app.launch_again("plenhall://show", "plenhall://hide")  # in order
        time.sleep(1)
        self.assertFalse(self.desktop.is_viewable(calendar))
        app.xdg_open("plenhall://settings")
        self.wait_viewable(app.settings())
        self.assertEqual(app.opened(), [])
        self.assertEqual(len(self.site.requests_for("/app")), 1)  # one program all along

    def test_a_cold_start_by_url_launches_then_obeys(self):
        app = App(self.desktop, preferences={"hasOnboarded": True})
        self.apps.append(app)
        app.start("plenhall://show")
        calendar = app.calendar()
        self.wait_viewable(calendar)
        wait_until(lambda: self.site.requests_for("/app"), 20, message="the start request")

    def test_an_update_is_offered_after_the_calendar_is_put_away(self):
        self.site.routes["/appcast.xml"] = (200, "application/rss+xml", APPCAST.format(
            short="9.0", version="900", download=f"http://localhost:{self.site.port}/download", port=self.site.port))
        app, calendar = self.started()
        self.press_shortcut()
        self.wait_viewable(calendar)
        app.click_status_item("Check for Updates")
        self.wait_viewable(calendar, False)
        update = self.dialog(app, "update")
        self.wait_viewable(update)
        self.shot("update-offered")
        self.desktop.activate(update)
        self.desktop.key("Return")  # "Download"
        wait_until(lambda: app.opened(), 10, message="the download page in the browser")
        self.assertEqual(app.opened(), [f"http://localhost:{self.site.port}/download"])

    def test_the_scheduled_check_puts_a_visible_calendar_away_before_showing_an_update(self):
        self.site.routes["/appcast.xml"] = (200, "application/rss+xml", APPCAST.format(
            short="9.0", version="900", download=f"http://localhost:{self.site.port}/download", port=self.site.port))
        app, calendar = self.started()
        self.press_shortcut()
        self.wait_viewable(calendar)
        update = self.dialog(app, "update", timeout=30)  # checked by itself a few seconds after launch
        self.wait_viewable(update)
        self.assertFalse(self.desktop.is_viewable(calendar))

    def test_up_to_date_and_broken_feeds_say_so(self):
        cases = [
            ("same version", (200, "application/rss+xml", APPCAST.format(short="0.1.0", version="1",
                                                                         download="http://localhost/", port=1))),
            ("not a feed", (200, "text/html", "<html><body>Not here</body></html>")),
            ("missing", (404, "text/plain", "no")),
            ("garbage", (200, "application/rss+xml", "\x00\xff<rss><item>")),
        ]
        app, calendar = self.started()
        for name, route in cases:
            self.site.routes["/appcast.xml"] = route
            requests = len(self.site.requests_for("/appcast.xml"))
            app.click_status_item("Check for Updates")
            wait_until(lambda: len(self.site.requests_for("/appcast.xml")) > requests, 10, message=name)
            status = self.dialog(app, "update-status")
            self.wait_viewable(status)
            self.shot(name.replace(" ", "-"))
            self.desktop.activate(status)
            self.desktop.key("Return")
            self.wait_viewable(status, False)
        self.assertIsNone(app.process.poll())

    def test_a_redirect_loop_and_a_huge_feed_fail_cleanly(self):
        self.site.routes["/appcast.xml"] = (302, "text/plain", "", {"Location": "/appcast.xml"})
        app, calendar = self.started()
        app.click_status_item("Check for Updates")
        status = self.dialog(app, "update-status", timeout=30)
        self.wait_viewable(status)
        self.desktop.activate(status)
        self.desktop.key("Return")
        self.wait_viewable(status, False)
        self.site.routes["/appcast.xml"] = (200, "application/rss+xml", "<rss>" + "x" * (3 * 1024 * 1024) + "</rss>")
        app.click_status_item("Check for Updates")
        wait_until(lambda: len(app.window_ids("update-status")) >= 1, 30, message="the failure")
        self.assertIsNone(app.process.poll())


if __name__ == "__main__":
    unittest.main(verbosity=2)
