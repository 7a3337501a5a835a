# Reminders: the calendar page's notifications through the desktop's notification server (a
# recording server on the test session bus). Who is asked, what is remembered and how many show are
# decided by the core and unit-tested; this proves the engine's and the bus's wiring, and the relaunch.

import json
import os
import subprocess
import unittest

from harness import PORT, wait_until
from scenario import Scenario

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "notification_server.py")
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"  # with python3-dbus

# The page runs what the fixture site gives it at /order, so it can be driven while the calendar is
# hidden; it and its frame of another site ask for permission as the user presses N or clicks.
ASK = """function report(t) { fetch("/report?" + encodeURIComponent(t)); }
const ask = () => Notification.requestPermission().then(p => report(WHO + " answer=" + p));"""
PAGE = f"""<!doctype html><body style="background:#fff"><h1>Calendar</h1>
<iframe src="http://localhost:{PORT}/frame" style="position:fixed;left:0;top:200px;width:300px;height:100px"></iframe>
<script>const WHO = "page"; {ASK}
setInterval(async () => eval(await (await fetch("/order")).text()), 100);
const shown = {{}};
function notify(name) {{
  const n = shown[name] = new Notification(name, {{body: name + " starts in 10 minutes", tag: name}});
  n.onclick = () => report("clicked " + name);
  n.onclose = () => report("closed " + name);
}}
document.addEventListener("keydown", e => e.key === "n" && ask());
report("loaded permission=" + Notification.permission);</script>"""
FRAME = f"""<!doctype html><body>frame<script>const WHO = "frame"; {ASK}
document.addEventListener("click", ask); report("frame loaded");</script>"""


class Reminders(Scenario):
    def setUp(self):
        super().setUp()
        self.orders = []
        self.site.routes = {"/app": (200, "text/html", PAGE), "/frame": (200, "text/html", FRAME),
                            "/report": (204, "text/plain", ""),
                            "/order": lambda _: (200, "text/plain", self.orders.pop(0) if self.orders else "")}
        self.record = os.path.join(self.desktop.root, "notifications.jsonl")
        server = subprocess.Popen([SYSTEM_PYTHON, SERVER, self.record], env={**os.environ, **self.desktop.env})
        self.addCleanup(server.wait, 5)
        self.addCleanup(server.terminate)
        wait_until(lambda: self.calls("ready"), 10, message="the notification server")

    def calls(self, name):
        try:
            with open(self.record) as f:
                return [call for call in map(json.loads, f) if call["call"] == name]
        except FileNotFoundError:
            return []

    def test_asked_once_then_reminders_show_click_and_close_and_the_answer_survives_a_relaunch(self):
        app = self.launch()
        self.expect("loaded permission=default")
        self.expect("frame loaded")
        calendar = self.show(app.calendar())
        self.click(100, 250)  # a frame of another site is refused without a question (it would hold the answer)
        self.expect("frame answer=denied")
        # The engine lets a page ask only while the user interacts with it, so the calendar is up. The
        # question comes over the calendar; Return takes the default, Allow.
        self.click(600, 600)
        self.desktop.key("n")
        wait_until(lambda: self.desktop.active_window() not in (None, calendar), 10, message="the question")
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.desktop.key("Return")
        self.expect("page answer=granted")

        # Shown while the calendar is hidden; a click brings the calendar and tells the page, and the
        # page takes the other back.
        self.toggle(calendar, False)
        self.orders.append('notify("Standup"); notify("Lunch")')
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
        self.orders.append('shown["Lunch"].close()')
        wait_until(lambda: [c["id"] for c in self.calls("CloseNotification")] == [notes["Lunch"]["id"]], 10,
                   message="the server asked to close it")

        # Relaunched: the permission is the page's from the start, and asking again gets the answer
        # at once (a question would hold it).
        app.stop()
        self.site.requests.clear()
        calendar = self.show(self.launch(home=app.home).calendar())
        self.expect("loaded permission=granted")
        self.click(600, 600)
        self.desktop.key("n")
        self.expect("page answer=granted")
        self.assertEqual(self.desktop.active_window(), calendar)


if __name__ == "__main__":
    unittest.main(verbosity=2)
