"""The program as a native Wayland client on Plasma's compositor, KWin 5.27, with Plasma's
global-shortcuts portal: the shortcut as the desktop binds it, pressed on KWin's keyboard; where
the calendar shows, what has the keyboard, and what the page receives."""

import unittest

from kwin_harness import ACTION, COMPONENT, QT_META_CTRL_ALT_C, KWinTest, wait_until


class KWin(KWinTest):
    def test_the_portal_binds_the_shortcut_without_asking_and_each_press_toggles_the_calendar(self):
        self.kwin.forget_shortcut()
        app = self.launch_bound()
        # Plasma 5.27 registers the shortcut from CreateSession's list; the program finds it
        # listed and never binds, and only a bind would open System Settings.
        self.assertEqual(self.kwin.shortcuts().get(COMPONENT), {ACTION: [QT_META_CTRL_ALT_C]})
        for output in ("Virtual-1", "Virtual-0"):
            with self.subTest(pointer=output):
                self.kwin.point_at(output)
                self.kwin.press()
                self.wait_full_screen_on(app, output)
                self.kwin.press()
                self.wait_hidden(app)

        # Next launch: the desktop still holds the binding and nothing is asked.
        app.stop()
        again = self.launch_bound(home=app.home)
        self.kwin.press()
        self.wait_full_screen_on(again, "Virtual-0")
        self.assertEqual(self.kwin.portal_calls("BindShortcuts"), 0)
        self.assertEqual(self.kwin.shortcuts().get(COMPONENT), {ACTION: [QT_META_CTRL_ALT_C]})

    def test_a_click_into_another_application_puts_it_away(self):
        self.kwin.point_at("Virtual-0")
        other = self.other_application()
        window = wait_until(lambda: next((w for w in self.kwin.windows() if w["caption"] == other), None), 10,
                            message="the other application's window")
        self.assertEqual((window["output"], window["active"]), ("Virtual-0", True))  # where the pointer is
        app = self.launch_bound()
        self.kwin.point_at("Virtual-1")
        self.kwin.press()
        self.wait_full_screen_on(app, "Virtual-1")  # taking the keyboard from the other application
        x, y, width, height = window["geometry"]
        self.kwin.click(x + width // 2, y + height // 2)
        self.wait_hidden(app)
        wait_until(lambda: any(w["caption"] == other and w["active"] for w in self.kwin.windows()), 10,
                   message="the other application focused")
        # Shown again, over the other application on its output.
        self.kwin.point_at("Virtual-0")
        self.kwin.press()
        self.wait_full_screen_on(app, "Virtual-0")
        # Shown twice, loaded once.
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_typing_reaches_the_page(self):
        app = self.launch_bound()
        wait_until(lambda: "loaded" in self.site.reports(), 20, message="the page")
        self.kwin.point_at("Virtual-1")
        self.kwin.press()
        self.wait_full_screen_on(app, "Virtual-1")
        self.kwin.type("hello")
        self.kwin.press("F2")  # the page reports its field
        wait_until(lambda: "field=hello" in self.site.reports(), 10, message="the typed text")


if __name__ == "__main__":
    unittest.main()
