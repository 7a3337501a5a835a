"""The status menu, key equivalents, plenhall:// commands and software updates."""

import time
import unittest

from harness import FIELD_PAGE, App, DesktopTest, wait_until

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
                    self.wait_viewable(calendar, False)
                    app.open_status_menu()
                self.wait_viewable(calendar, False)
                app.click_status_item("Show / Hide")
                time.sleep(0.8)  # nothing is to happen: long enough for the calendar to be mapped
                self.assertFalse(self.desktop.is_viewable(calendar), order)
            # Opened while the calendar is away: it shows.
            app.open_status_menu()
            app.click_status_item("Show / Hide")
            self.wait_viewable(calendar)
        finally:
            other.terminate()

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
        app.launch_again("plenhall://hide", "plenhall://show")  # in order
        self.wait_viewable(calendar)
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

    def test_the_scheduled_check_puts_the_calendar_away_and_offers_the_update(self):
        self.site.routes["/appcast.xml"] = (200, "application/rss+xml", APPCAST.format(
            short="9.0", version="900", download=f"http://localhost:{self.site.port}/download", port=self.site.port))
        app, calendar = self.started()
        self.press_shortcut()
        self.wait_viewable(calendar)
        update = app.window("update", 30)  # checked by itself a few seconds after launch
        self.wait_viewable(update)
        self.assertFalse(self.desktop.is_viewable(calendar))
        self.shot("update-offered")
        self.desktop.activate(update)
        self.desktop.key("Return")  # "Download"
        wait_until(lambda: app.opened(), 10, message="the download page in the browser")
        self.assertEqual(app.opened(), [f"http://localhost:{self.site.port}/download"])

    def test_a_check_that_gets_no_feed_says_so(self):
        app, calendar = self.started()
        cases = [("missing", (404, "text/plain", "no")),
                 ("redirect loop", (302, "text/plain", "", {"Location": "/appcast.xml"})),
                 ("huge", (200, "application/rss+xml", "<rss>" + "x" * (3 * 1024 * 1024) + "</rss>"))]
        for name, route in cases:
            self.site.routes["/appcast.xml"] = route
            app.click_status_item("Check for Updates")
            status = app.window("update-status", 30)
            self.wait_viewable(status)
            self.shot(name.replace(" ", "-"))
            self.desktop.activate(status)
            self.desktop.key("Return")
            self.wait_viewable(status, False)
        self.assertIsNone(app.process.poll())


if __name__ == "__main__":
    unittest.main(verbosity=2)
