"""Faults from outside: a hostile page, a page that eats memory, a killed web process, a misbehaving
server."""

import socket
import unittest

from harness import dropped_connection, wait_until
from test_web_content import FOREIGN, POP_UP_PAGE, PageTest

LIGHT_OFFLINE = "#f7f5f0"
DARK_OFFLINE = "#1c1c1e"


def half_a_page(handler):
    handler.send_response(200)
    handler.send_header("Content-Type", "text/html")
    handler.send_header("Content-Length", "100000")
    handler.end_headers()
    handler.wfile.write(b"<!doctype html><html><body><h1>Half a pa")
    handler.wfile.flush()
    handler.connection.shutdown(socket.SHUT_RDWR)


def garbage(handler):
    handler.wfile.write(bytes(range(256)) * 64)
    handler.wfile.flush()
    dropped_connection(handler)


class Hardening(PageTest):
    def test_a_hostile_page_hands_only_web_pages_out_and_cannot_hold_the_user(self):
        app, calendar = self.shown()
        # Links, windows, frames, a form, a hash loop and assignments, all to other schemes.
        for key in "123456":
            self.show(calendar)
            self.desktop.key(key)
            self.expect(f"did {key}")
        self.show(calendar)
        self.still_at("/app", calendar)
        self.assertEqual(app.opened(), [])

        # Pop-ups no click asked for: made-up pages replace nothing; another site's frame gets a few.
        for kind in ("data", "blob", "about"):
            self.desktop.key("n")
            self.expect(f"opened {kind}")
            self.still_at("/app/pop-up", calendar, POP_UP_PAGE)
        self.desktop.key("n")
        self.expect("advert done")
        wait_until(lambda: len(app.opened()) == 3, 10, message="the pop-ups the browser gets")
        self.assertEqual(sorted(app.opened()), [f"{FOREIGN}/ad?{i}" for i in range(3)])
        self.show(calendar)
        self.desktop.key("d")  # what the user clicks goes out all the same
        wait_until(lambda: f"{FOREIGN}/shared" in app.opened(), 10, message="the clicked link in the browser")

        # A page busy when the shortcut hides it gets the first key of the next showing.
        self.show(calendar)
        self.desktop.key("j")
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        self.expect("busy", 3)  # the shortcut's modifier keys, answered with the calendar hidden
        self.press_shortcut()
        self.wait_active(calendar)
        self.still_at("/app/pop-up", calendar, POP_UP_PAGE)

        # A thousand alerts: Escape answers each, the shortcut puts them away with the calendar and
        # brings them back, and the third in quick succession offers to block the rest.
        self.desktop.key("l")
        seen = set()

        def next_dialog():
            active = self.dialog(calendar)
            if active in seen:
                self.desktop.key("Escape")
                return False
            seen.add(active)
            return active
        dialog = wait_until(next_dialog, 10, interval=0.3, message="the first dialog")
        self.press_shortcut()
        self.wait_viewable(dialog, False)
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(dialog)
        for _ in range(2):
            wait_until(next_dialog, 10, interval=0.3, message="the next dialog")
        self.desktop.key("Tab")  # OK, Block Dialogs
        self.desktop.key("space")
        self.expect("loop done false null")  # the rest answered at once: confirm false, prompt null
        self.wait_active(calendar)
        # Three hundred pop-ups on the service domain, each replacing the last; leaving a page that
        # asks to be kept is not held up.
        self.desktop.key("g")
        self.expect("loaded /app/p299", timeout=30)
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        app.click_status_item("Show / Hide")
        self.wait_active(calendar)
        self.still_at("/app/p299", calendar)
        self.assertEqual(len(app.opened()), 4)

        # A page that eats memory until the engine ends it, then a crash: the offline page each time,
        # and the next showing reloads the calendar.
        for fault in ("memory", "crash"):
            if fault == "memory":
                self.desktop.key("h")
                self.press_shortcut()  # heard while the page's script runs without end
                self.wait_viewable(calendar, False)
                self.press_shortcut()
            else:
                app.kill_web_processes()
            wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 120, interval=1, message=fault)
            self.press_shortcut()
            self.wait_viewable(calendar, False)
            loads = self.site.reports().count("loaded /app")
            self.press_shortcut()
            self.expect("loaded /app", loads + 1)
            self.wait_active(calendar)
            self.still_at("/app", calendar)


    def test_a_misbehaving_server_gives_the_offline_page_not_a_hang(self):
        for route, env, colour in ((half_a_page, None, LIGHT_OFFLINE), (garbage, None, LIGHT_OFFLINE),
                                   (dropped_connection, {"GTK_THEME": "Adwaita:dark"}, DARK_OFFLINE)):
            self.site.routes["/app"] = route
            app = self.launch(start_env=env)
            calendar = app.calendar()
            self.press_shortcut()
            self.wait_viewable(calendar)
            wait_until(lambda: self.desktop.pixel(20, 20) == colour, 15, message=f"the offline page ({route})")
            self.shot(route.__name__)
            self.press_shortcut()
            self.wait_viewable(calendar, False)
            app.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
