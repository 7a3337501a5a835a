"""The program as a native Wayland client on GNOME's compositor: where mutter puts the calendar,
and whether it gets the keyboard."""

import unittest

from mutter_harness import LAYOUT, MutterTest, wait_until

# Meta-1 left of Meta-0, which stays the primary monitor.
SWAPPED = [{"connector": "Meta-1", "x": 0, "y": 0, "primary": False},
           {"connector": "Meta-0", "x": 1440, "y": 0, "primary": True}]


class Mutter(MutterTest):
    def test_full_screen_fills_the_pointer_monitor_whatever_the_focus_and_the_layout(self):
        # mutter would put a window full screen from its first frame on the monitor at the
        # layout's origin; the calendar maps framed, where mutter places it, and then fills that
        # monitor: the pointer's, also with another application focused there and with the
        # primary monitor on the right.
        app = self.launch()
        cases = [
            # layout, the pointer on, another application focused on the pointer's monitor
            (LAYOUT, "Meta-1", False),
            (LAYOUT, "Meta-0", False),
            (LAYOUT, "Meta-1", True),
            (LAYOUT, "Meta-0", True),
            (SWAPPED, "Meta-0", False),
            (SWAPPED, "Meta-1", False),
        ]
        for layout, pointer, other in cases:
            with self.subTest(origin=layout[0]["connector"], pointer=pointer, other=other):
                self.mutter.arrange(layout)
                self.mutter.point_at(pointer)
                if other:
                    self.assertEqual(self.placed(self.other_application), self.rect(pointer))
                self.open_url(app, "plenhall://show")
                self.wait_filling(pointer)
                self.hide(app)
        # Shown six times, loaded once.
        self.assertEqual(len(self.site.requests_for("/app")), 1)

    def test_typing_reaches_the_page(self):
        app = self.launch()
        self.mutter.point_at("Meta-1")
        self.open_url(app, "plenhall://show")
        self.wait_filling("Meta-1")
        self.mutter.type("hello")
        self.mutter.key("F2")  # the page reports its field
        wait_until(lambda: "field=hello" in self.site.reports(), 10, message="the typed text")

    def test_a_large_window_opens_maximized_on_the_pointer_monitor(self):
        # A framed window is placed on the monitor under the pointer, and maximized there when it
        # maps covering more than 80% of a work area (mutter's auto-maximize): the large window's
        # default size, 90% by 90% of the main screen, does, and so does the size it then remembers.
        app = self.launch({"displayMode": "largeWindow"})
        for pointer in ("Meta-1", "Meta-0", "Meta-1"):
            with self.subTest(pointer=pointer):
                self.mutter.point_at(pointer)
                self.assertEqual(self.placed(lambda: self.open_url(app, "plenhall://show")), self.rect(pointer))
                self.wait_filling(pointer)
                self.hide(app)

    def placed(self, action):
        """The monitor mutter places the one framed window that `action` maps on."""
        before = len(self.mutter.placements())
        action()
        return wait_until(lambda: self.mutter.placements()[before:], 10, message="a window placed")[0]

    def rect(self, connector):
        monitor = self.mutter.monitors()[connector]
        return (monitor["x"], monitor["y"], monitor["width"], monitor["height"])


if __name__ == "__main__":
    unittest.main()
