"""Reminders: the calendar page's notifications through the desktop's notification server (a
recording server on the test session bus). Who is asked and what is remembered are decided by the
core and unit-tested; this proves the engine's and the bus's wiring, and the relaunch."""

import json
import os
import subprocess
import unittest

from harness import PORT, DesktopTest, wait_until

FOREIGN = f"http://localhost:{PORT}"
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"
SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "notification_server.py")

# The page and its frame of another site take their orders from the fixture site, so they can be
# driven while the calendar is hidden.
POLL = """
function report(text) { fetch("/report?" + encodeURIComponent(text)); }
setInterval(async () => {
  const order = await (await fetch("/order?" + WHO)).text();
  if (order) eval(order);
}, 100);
"""

CALENDAR = f"""<!doctype html><html><head><meta charset="utf-8"><title>Fixture calendar</title></head>
<body style="background:#fff"><h1>Fixture calendar</h1>
<iframe src="{FOREIGN}/frame" style="position:fixed;left:0;top:200px;width:300px;height:100px"></iframe>
<script>const WHO = "page"; {POLL}
const shown = {{}};
function ask() {{ Notification.requestPermission().then(p => report("page answer=" + p)); }}
function notify(name) {{
  const n = new Notification(name, {{body: name + " starts in 10 minutes", tag: name}});
  n.onclick = () => report("clicked " + name);
  n.onclose = () => report("closed " + name);
  shown[name] = n;
}}
document.addEventListener("keydown", e => {{ if (e.key === "n") ask(); }});
report("loaded permission=" + Notification.permission);
</script></body></html>"""

FRAME = f"""<!doctype html><html><body>frame<script>const WHO = "frame"; {POLL}
document.addEventListener("click", () =>
  Notification.requestPermission().then(p => report("frame answer=" + p)));
report("frame loaded");
</script></body></html>"""


class Reminders(DesktopTest):
    def setUp(self):
        super().setUp()
        self.orders = {"page": [], "frame": []}
        self.site.routes = {
            "/app": (200, "text/html", CALENDAR),
            "/frame": (200, "text/html", FRAME),
            "/report": (204, "text/plain", ""),
            "/order": self.answer_order,
        }
        self.record = os.path.join(self.desktop.root, "notifications.jsonl")
        if os.path.exists(self.record):
            os.remove(self.record)
        self.server = subprocess.Popen([SYSTEM_PYTHON, SERVER, self.record], env={**os.environ, **self.desktop.env},
                                       start_new_session=True)
        wait_until(lambda: self.calls("ready"), 10, message="the notification server")

    def tearDown(self):
        super().tearDown()
        self.server.terminate()
        self.server.wait(5)

    def answer_order(self, handler):
        who = handler.path.split("?", 1)[-1]
        with self.site.lock:
            return 200, "text/plain", self.orders[who].pop(0) if self.orders.get(who) else ""

    def order(self, who, script):
        with self.site.lock:
            self.orders[who].append(script)

    def calls(self, name):
        try:
            with open(self.record) as f:
                return [c for c in map(json.loads, f) if c["call"] == name]
        except FileNotFoundError:
            return []

    def expect_report(self, text, timeout=10):
        try:
            wait_until(lambda: text in self.site.reports(), timeout, message=f"the page reporting {text!r}")
        except AssertionError as error:
            raise AssertionError(f"{error}; reports so far {self.site.reports()}") from None

    def server_does(self, method, nid):
        self.desktop.x("gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                       "/org/freedesktop/Notifications", "--method", f"com.plenhall.NotificationTest.{method}",
                       str(nid))

    def test_asked_once_then_reminders_show_click_and_close_and_the_answer_survives_a_relaunch(self):
        app = self.launch()
        calendar = app.calendar()
        self.expect_report("loaded permission=default", 20)
        self.expect_report("frame loaded")

        # The engine lets a page ask only while the user interacts with it, so the calendar is up.
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(calendar)

        # A frame of another site is refused without a question (a question would hold its answer).
        self.desktop.pointer(100, 250)
        self.desktop.x("xdotool", "click", "1")
        self.expect_report("frame answer=denied")

        # The page's question comes over the calendar; Return takes the default, Allow.
        self.desktop.pointer(600, 600)
        self.desktop.x("xdotool", "click", "1")
        self.desktop.key("n")
        wait_until(lambda: self.desktop.active_window() not in (None, calendar), 10, message="the question")
        self.shot("question")
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.desktop.key("Return")
        self.expect_report("page answer=granted")
        wait_until(lambda: app.preferences().get("reminderPermission") == "granted", 5, message="the answer stored")

        # Shown while the calendar is hidden.
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        self.order("page", 'notify("Standup"); notify("Lunch")')
        wait_until(lambda: len(self.calls("Notify")) == 2, 10, message="both notifications")
        notes = {c["summary"]: c for c in self.calls("Notify")}
        self.assertEqual(notes["Standup"]["body"], "Standup starts in 10 minutes")
        self.assertEqual(notes["Standup"]["actions"][0], "default")

        # A click brings the calendar and tells the page.
        self.server_does("Click", notes["Standup"]["id"])
        self.wait_viewable(calendar)
        self.expect_report("clicked Standup")
        self.expect_report("closed Standup")

        # The page takes one back.
        self.order("page", 'shown["Lunch"].close()')
        wait_until(lambda: [c["id"] for c in self.calls("CloseNotification")] == [notes["Lunch"]["id"]], 10,
                   message="the server asked to close it")

        # A flood: a few reach the desktop, the page hears the others closed, and one line says so.
        self.order("page", 'for (let i = 0; i < 30; i++) notify("Flood " + i)')
        wait_until(lambda: sum(r.startswith("closed Flood") for r in self.site.reports()) >= 25, 10,
                   message="the dropped ones closed")
        self.assertEqual(len([c for c in self.calls("Notify") if c["summary"].startswith("Flood")]), 5)
        self.assertEqual(app.log().count("PlenhallDesktop: the page shows reminders faster"), 1)

        # Relaunched: the permission is the page's from the start, and asking again gets the answer
        # at once (a question would hold it).
        app.stop()
        self.site.requests.clear()
        relaunched = self.launch(home=app.home)
        self.expect_report("loaded permission=granted", 20)
        self.press_shortcut()
        self.wait_active(relaunched.calendar())
        self.desktop.pointer(600, 600)
        self.desktop.x("xdotool", "click", "1")
        self.desktop.key("n")
        self.expect_report("page answer=granted")
        self.assertEqual(self.desktop.active_window(), relaunched.calendar())


if __name__ == "__main__":
    unittest.main(verbosity=2)
