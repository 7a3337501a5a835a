"""Reminders: the calendar page's notifications through the desktop's notification server (a
recording server on the test session bus). Who is asked and what is remembered are decided by the
core and unit-tested; this proves the engine's and the bus's wiring, and the relaunch."""

import json
import os
import subprocess
import unittest

from harness import PORT, DesktopTest, wait_until

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "notification_server.py")
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"  # with python3-dbus

# The page and its frame of another site run what the fixture site gives them at /order, so they
# can be driven while the calendar is hidden.
POLL = """function report(t) { fetch("/report?" + encodeURIComponent(t)); }
setInterval(async () => eval(await (await fetch("/order?" + WHO)).text()), 100);
const ask = () => Notification.requestPermission().then(p => report(WHO + " answer=" + p));"""

PAGE = f"""<!doctype html><html><body style="background:#fff"><h1>Calendar</h1>
<iframe src="http://localhost:{PORT}/frame" style="position:fixed;left:0;top:200px;width:300px;height:100px"></iframe>
<script>const WHO = "page"; {POLL}
const shown = {{}};
function notify(name) {{
  const n = shown[name] = new Notification(name, {{body: name + " starts in 10 minutes", tag: name}});
  n.onclick = () => report("clicked " + name);
  n.onclose = () => report("closed " + name);
}}
document.addEventListener("keydown", e => e.key === "n" && ask());
report("loaded permission=" + Notification.permission);
</script></body></html>"""

FRAME = f"""<!doctype html><html><body>frame<script>const WHO = "frame"; {POLL}
document.addEventListener("click", ask); report("frame loaded");
</script></body></html>"""


class Reminders(DesktopTest):
    def setUp(self):
        super().setUp()
        self.orders = {"page": [], "frame": []}
        self.site.routes = {"/app": (200, "text/html", PAGE), "/frame": (200, "text/html", FRAME),
                            "/report": (204, "text/plain", ""),
                            "/order": lambda handler: (200, "text/plain", self.next_order(handler.path))}
        self.record = os.path.join(self.desktop.root, "notifications.jsonl")
        self.server = subprocess.Popen([SYSTEM_PYTHON, SERVER, self.record],
                                       env={**os.environ, **self.desktop.env}, start_new_session=True)
        self.addCleanup(self.server.wait, 5)
        self.addCleanup(self.server.terminate)
        wait_until(lambda: self.calls("ready"), 10, message="the notification server")

    def next_order(self, path):
        with self.site.lock:
            orders = self.orders[path.split("?", 1)[-1]]
            return orders.pop(0) if orders else ""

    def calls(self, name):
        try:
            with open(self.record) as f:
                return [call for call in map(json.loads, f) if call["call"] == name]
        except FileNotFoundError:
            return []

    def expect(self, text, timeout=10):
        wait_until(lambda: text in self.site.reports(), timeout,
                   message=f"the page reporting {text!r} (reports so far {self.site.reports()})")

    def ask_in_the_page(self, calendar):
        # The engine lets a page ask only while the user interacts with it, so the calendar is up.
        if not self.desktop.is_viewable(calendar):
            self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.pointer(600, 600)
        self.desktop.x("xdotool", "click", "1")
        self.desktop.key("n")

    def test_asked_once_then_reminders_show_click_and_close_and_the_answer_survives_a_relaunch(self):
        app = self.launch()
        calendar = app.calendar()
        self.expect("loaded permission=default", 20)
        self.expect("frame loaded")
        # A frame of another site is refused without a question (a question would hold its answer).
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.pointer(100, 250)
        self.desktop.x("xdotool", "click", "1")
        self.expect("frame answer=denied")
        # The page's question comes over the calendar; Return takes the default, Allow.
        self.ask_in_the_page(calendar)
        wait_until(lambda: self.desktop.active_window() not in (None, calendar), 10, message="the question")
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.desktop.key("Return")
        self.expect("page answer=granted")

        # Shown while the calendar is hidden; a click brings the calendar and tells the page.
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        self.orders["page"].append('notify("Standup"); notify("Lunch")')
        notes = wait_until(lambda: len(self.calls("Notify")) == 2 and {c["summary"]: c for c in self.calls("Notify")},
                           10, message="both notifications")
        self.assertEqual((notes["Standup"]["body"], notes["Standup"]["actions"][0]),
                         ("Standup starts in 10 minutes", "default"))
        self.desktop.x("gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                       "/org/freedesktop/Notifications", "--method", "com.plenhall.NotificationTest.Click",
                       str(notes["Standup"]["id"]))
        self.wait_viewable(calendar)
        self.expect("clicked Standup")
        self.expect("closed Standup")
        # The page takes one back.
        self.orders["page"].append('shown["Lunch"].close()')
        wait_until(lambda: [c["id"] for c in self.calls("CloseNotification")] == [notes["Lunch"]["id"]], 10,
                   message="the server asked to close it")
        # A flood: a few reach the desktop, and the page hears the others closed.
        self.orders["page"].append('for (let i = 0; i < 30; i++) notify("Flood " + i)')
        wait_until(lambda: sum(r.startswith("closed Flood") for r in self.site.reports()) >= 25, 10,
                   message="the dropped ones closed")
        self.assertEqual(sum(c["summary"].startswith("Flood") for c in self.calls("Notify")), 5)

        # Relaunched: the permission is the page's from the start, and asking again gets the answer
        # at once (a question would hold it).
        app.stop()
        self.site.requests.clear()
        relaunched = self.launch(home=app.home)
        self.expect("loaded permission=granted", 20)
        self.ask_in_the_page(relaunched.calendar())
        self.expect("page answer=granted")
        self.assertEqual(self.desktop.active_window(), relaunched.calendar())


if __name__ == "__main__":
    unittest.main(verbosity=2)
