"""The settings window and first-run welcome: recording a shortcut, the display mode, open at login."""

import os
import time
import unittest

from harness import SHORTCUT, DesktopTest, wait_until

NEW_SHORTCUT = "ctrl+shift+super+k"
K_WITH_CONTROL_SHIFT_COMMAND = {"keyCode": 40, "carbonModifiers": 0x1000 | 0x200 | 0x100, "keyLabel": "K"}


class Settings(DesktopTest):
    def tab(self, times):
        for _ in range(times):
            self.desktop.key("Tab")

    def welcome(self, **kwargs):
        app = self.launch(onboarded=False, **kwargs)
        settings = app.settings()
        self.wait_viewable(settings)
        self.wait_active(settings)
        wait_until(lambda: self.site.requests_for("/app"), 20, message="the start request")
        return app, settings

    def stored_shortcut(self, app):
        import json
        entry = app.preferences().get("shortcut")
        return json.loads(entry["data"]) if entry else None

    def test_recording_a_new_shortcut_replaces_the_old_one_for_good(self):
        app, settings = self.welcome()
        self.start_recording(settings)
        self.desktop.key("k")  # no modifier: the window says so and keeps listening
        self.desktop.key(NEW_SHORTCUT)
        wait_until(lambda: self.stored_shortcut(app) == K_WITH_CONTROL_SHIFT_COMMAND, 5, message="the stored shortcut")
        self.shot("recorded")
        wait_until(lambda: app.status_menu()[0][1] == "Show / Hide Calendar  \u2303\u21e7\u2318K", 5,
                   message="the status menu's new title")

        self.desktop.key("ctrl+w")  # closes the focused settings window
        self.wait_viewable(settings, False)
        calendar = app.calendar()
        self.press_shortcut()  # the old combination does nothing now
        time.sleep(0.8)  # nothing is to happen: long enough for the calendar to be mapped
        self.assertFalse(self.desktop.is_viewable(calendar))
        self.desktop.key(NEW_SHORTCUT)
        self.wait_viewable(calendar)
        self.desktop.key(NEW_SHORTCUT)
        self.wait_viewable(calendar, False)

        app.stop()
        again = self.launch(home=app.home)
        calendar = again.calendar()
        wait_until(lambda: len(self.site.requests_for("/app")) >= 2, 20, message="the relaunch")
        self.assertFalse(self.desktop.is_viewable(again.settings()))
        self.desktop.key(NEW_SHORTCUT)
        self.wait_viewable(calendar)

    def test_a_taken_combination_is_refused_until_its_holder_lets_go(self):
        # K with Control, Shift and Super, taken by another program (in its Num Lock variant, so the
        # keys can still be typed into our window here).
        holder, result = self.desktop.helper("grab-numlock", "45", str(0x4 | 0x1 | 0x40))
        self.assertEqual(result, "grabbed")
        try:
            app, settings = self.welcome()
            self.start_recording(settings)
            self.desktop.key(NEW_SHORTCUT)
            wait_until(lambda: "PlenhallDesktop: \u2303\u21e7\u2318K unavailable (status 10)" in app.log(), 5,
                       message="the refusal")
            self.shot("taken")
            self.assertIsNone(self.stored_shortcut(app))
        finally:
            holder.terminate()
            holder.wait(5)
        self.desktop.key(NEW_SHORTCUT)  # still recording: the same combination again, now free
        wait_until(lambda: self.stored_shortcut(app) == K_WITH_CONTROL_SHIFT_COMMAND, 5, message="the free one")
        self.desktop.key("ctrl+w")
        calendar = app.calendar()
        self.desktop.key(NEW_SHORTCUT)
        self.wait_viewable(calendar)

    def test_escape_cancels_and_the_old_shortcut_works_again(self):
        app, settings = self.welcome()
        self.start_recording(settings)
        self.desktop.key("Escape")
        # Closed after the Escape is handled: the old shortcut is grabbed again by then, and a
        # recording still going on would take Ctrl+W as the new shortcut.
        self.desktop.key("ctrl+w")
        self.wait_viewable(settings, False)
        calendar = app.calendar()
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.assertIsNone(self.stored_shortcut(app))

    def test_recording_under_a_german_layout_keeps_the_layouts_labels(self):
        self.desktop.x("setxkbmap", "de")
        try:
            app, settings = self.welcome()
            self.start_recording(settings)
            # The key where a US keyboard has Y types Z on a German one.
            self.desktop.key("ctrl+super+z")
            wait_until(lambda: self.stored_shortcut(app) == {"keyCode": 16, "carbonModifiers": 0x1100,
                                                             "keyLabel": "Z"}, 5, message="Z at the Y position")
            self.desktop.key("space")  # the shortcut button still has the focus
            self.desktop.key("ctrl+super+ssharp")
            wait_until(lambda: self.stored_shortcut(app) == {"keyCode": 27, "carbonModifiers": 0x1100,
                                                             "keyLabel": "SS"}, 5, message="ß as SS")
            self.shot("german")
            self.desktop.key("ctrl+w")
            calendar = app.calendar()
            self.desktop.key("ctrl+super+ssharp")
            self.wait_viewable(calendar)
        finally:
            self.desktop.x("setxkbmap", "us")

    def test_open_at_login_writes_and_removes_the_autostart_entry(self):
        app, settings = self.welcome()
        entry = os.path.join(app.config_dir, "autostart", "com.plenhall.Desktop.desktop")
        self.tab(4)  # shortcut, "Full screen", "Large window", "Open at login"
        self.desktop.key("space")
        wait_until(lambda: os.path.exists(entry), 5, message="the autostart entry")
        with open(entry) as f:
            text = f.read()
        self.assertIn("Exec=", text)
        self.assertIn("plenhall-desktop", text)
        self.assertNotIn("Hidden=true", text)
        self.desktop.key("space")
        wait_until(lambda: not os.path.exists(entry), 5, message="the entry removed")

    def test_choosing_large_window_re_lays_out_a_calendar_on_screen(self):
        app, settings = self.welcome()
        calendar = app.calendar()
        self.desktop.pointer(300, 300)
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_geometry(calendar, (0, 0, 1280, 800))
        self.desktop.activate(settings)  # the settings window is ours: the calendar stays
        self.wait_active(settings)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.tab(3)  # shortcut, "Full screen", "Large window"
        self.desktop.key("space")
        wait_until(lambda: app.preferences().get("displayMode") == "largeWindow", 5, message="the stored mode")
        self.wait_geometry(calendar, (64, 40, 1152, 720))
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.shot("large-window-applied")
        # The keyboard stays where the user is: in the settings window.
        self.assertEqual(self.desktop.active_window(), settings)

        self.desktop.key("shift+Tab")  # back to "Full screen"
        self.desktop.key("space")
        wait_until(lambda: app.preferences().get("displayMode") == "fullScreen", 5, message="the stored mode")
        self.wait_geometry(calendar, (0, 0, 1280, 800))
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.wait_active(settings)
        time.sleep(0.3)  # nothing is to happen: long enough for a focus change that was still coming
        self.assertEqual(self.desktop.active_window(), settings)

    def test_open_my_calendar_closes_the_welcome_and_shows_the_calendar(self):
        app, settings = self.welcome()
        self.assertEqual(self.desktop.geometry(settings)[2:], (440, 420))  # the frame it was laid out for
        self.desktop.key("Return")  # the default button
        calendar = app.calendar()
        self.wait_viewable(calendar)
        self.wait_viewable(settings, False)
        self.wait_active(calendar)


if __name__ == "__main__":
    unittest.main(verbosity=2)
