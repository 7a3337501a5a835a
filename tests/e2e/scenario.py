# What the scenarios of the pages, menus and settings share: the shortcut as the user presses it,
# the fixture page's reports, and waiting out what must not happen.

from harness import DesktopTest, wait_until


class Scenario(DesktopTest):
    def toggle(self, window, viewable=True):
        self.press_shortcut()
        self.wait_viewable(window, viewable)

    def show(self, calendar):
        if not self.desktop.is_viewable(calendar):
            self.press_shortcut()
        self.wait_active(calendar)
        return calendar

    def click(self, x, y):
        self.desktop.pointer(x, y)
        self.desktop.x("xdotool", "click", "1")

    def expect(self, report, count=1, timeout=20):
        wait_until(lambda: self.site.reports().count(report) >= count, timeout,
                   message=f"{report!r} (reports so far {self.site.reports()})")

    def never(self, condition, message, seconds=1):
        # Long enough for what `condition` waits on to have happened, had it been going to.
        self.assertFalse(wait_until(condition, seconds, quiet=True), message)
