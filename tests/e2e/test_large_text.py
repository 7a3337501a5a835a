"""The welcome at the user's text size: its own size at the default font, larger with large text."""

import unittest

from harness import DesktopTest, wait_until

DEFAULT_SIZE = (440, 420)


class LargeText(DesktopTest):
    def welcome_frame(self, env, fits):
        """The welcome's frame, once `fits(width, height)`."""
        app = self.launch(onboarded=False, start_env=env)
        settings = app.settings()
        self.wait_viewable(settings)
        seen = []
        try:
            wait_until(lambda: seen.append(self.desktop.geometry(settings)) or fits(*seen[-1][2:]), 5)
        except AssertionError:
            self.fail(f"the welcome's frame {seen[-1]}")
        return app, seen[-1]

    def test_the_welcome_grows_with_the_text_and_stays_on_screen(self):
        app, _ = self.welcome_frame({}, lambda *size: size == DEFAULT_SIZE)
        app.stop()

        # What GNOME's text scaling does through Xft/DPI, for GTK alone.
        _, (x, y, width, height) = self.welcome_frame(
            {"GDK_DPI_SCALE": "1.5"}, lambda w, h: w > DEFAULT_SIZE[0] and h > DEFAULT_SIZE[1])
        self.shot("large")
        screen_height = int(self.desktop.x("xdotool", "getdisplaygeometry").split()[1])
        self.assertLessEqual(y + height, screen_height, (x, y, width, height))


if __name__ == "__main__":
    unittest.main()
