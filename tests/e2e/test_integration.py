# The status menu, key equivalents, plenhall:// commands and software updates.

import unittest

from harness import App, DesktopTest, wait_until

DOWNLOAD = "http://localhost:{port}/download"
APPCAST = f"""<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<item><title>Plenhall 9.0</title><link>{DOWNLOAD}</link>
<enclosure url="http://localhost:{{port}}/p.tar.gz" sparkle:version="900" sparkle:shortVersionString="9.0"/>
</item></channel></rss>"""


class Integration(DesktopTest):
    def test_menu_keys_links_and_updates_drive_the_program_from_a_cold_start_by_link(self):
        self.site.routes["/appcast.xml"] = (200, "application/rss+xml", APPCAST.format(port=self.site.port))
        app = App(self.desktop, preferences={"hasOnboarded": True})
        self.apps.append(app)
        calendar = app.start("plenhall://show").calendar()  # not running yet: it launches, then obeys
        self.wait_viewable(calendar)
        # The check made by itself a few seconds after launch puts the calendar away for its offer.
        update = app.window("update", 30)
        self.wait_viewable(calendar, False)
        self.desktop.activate(update)
        self.desktop.key("Return")  # "Download"
        wait_until(lambda: app.opened() == [DOWNLOAD.format(port=self.site.port)], 10, message="the download page")
        # The menu's root is on the bus before its items are.
        wait_until(lambda: "Quit Plenhall" in [label for _, label, _ in app.status_menu()], 10, message="the menu")
        self.assertEqual(app.log().count("no status area"), 1)  # no panel here: said once, still usable
        for item, viewable in (("Show / Hide", True), ("Show / Hide", False), ("Reload", False)):
            app.click_status_item(item)
            self.wait_viewable(calendar, viewable)
        wait_until(lambda: len(self.site.requests_for("/app")) == 2, 10, message="the reload")
        # Ctrl+W hides; Ctrl+, opens the settings and puts the calendar away.
        self.show(calendar)
        self.desktop.key("ctrl+w")
        self.wait_viewable(calendar, False)
        self.show(calendar)
        self.desktop.key("ctrl+comma")
        settings = app.settings()
        self.wait_active(settings)
        self.wait_viewable(calendar, False)
        self.desktop.key("ctrl+w")  # closes the focused settings window
        self.wait_viewable(settings, False)
        # plenhall: links, through a second launch or the desktop, drive the running program in order.
        for run, commands, window, viewable in ((app.launch_again, ["show"], calendar, True),
                                                (app.xdg_open, ["hide"], calendar, False),
                                                (app.launch_again, ["hide", "show"], calendar, True),
                                                (app.xdg_open, ["settings"], settings, True)):
            self.assertEqual(run(*[f"plenhall://{command}" for command in commands]).returncode, 0)
            self.wait_viewable(window, viewable)
        self.wait_viewable(calendar, False)
        self.assertEqual(len(app.opened()), 1)
        self.assertEqual(len(self.site.requests_for("/app")), 2)  # one program all along

        # A check that gets no feed says so.
        self.site.routes["/appcast.xml"] = (404, "text/plain", "no")
        app.click_status_item("Check for Updates")
        status = app.window("update-status", 30)
        self.desktop.activate(status)
        self.desktop.key("Return")
        self.wait_viewable(status, False)
        self.show(calendar)
        self.desktop.key("ctrl+q")
        self.assertEqual(app.process.wait(10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
