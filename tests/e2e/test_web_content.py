# The calendar's web content on the real engine, ordinary and hostile: its reminders through the
# desktop's notification server (a recording one on the test session bus), and what a lost web
# process leaves on screen. Which page goes where, who is asked for reminders,
# how dialogs answer and what the offline page says are decided by the core and unit-tested; these
# prove the engine's and the bus's wiring.

import json
import os
import tempfile
import unittest

from harness import PORT, SYSTEM_PYTHON, DesktopTest, stop_process, wait_until, write

FOREIGN = f"http://localhost:{PORT}"
LIGHT_OFFLINE = "#f7f5f0"
NOTIFICATIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "notification_server.py")

# Keys drive the page; from O on, so do orders it fetches from the fixture site, to be driven while
# the calendar is hidden.
PAGE = f"""<!doctype html><body style="background:#fff"><h1>Calendar</h1>
<iframe src="{FOREIGN}/frame" style="position:fixed;left:0;top:200px"></iframe>
<a id=b href="{FOREIGN}/elsewhere?x=1#f">elsewhere</a> <a id=d target=_blank href="{FOREIGN}/shared">shared</a>
<a id=s download href="/files/agenda.txt">save</a> <a id=t href="/files/export">export</a>
<a id=u href="/files/tool.bin">tool</a>
<form id=q target=_blank method=post action="/app/posted"><input name=title value=Lunch></form>
<input type=file id=file style="position:fixed;left:0;top:400px;width:220px;height:40px"><script>
function report(t) {{ fetch("/report?" + encodeURIComponent(t)); }}
const shown = {{}};
function notify(name) {{ const n = shown[name] = new Notification(name, {{body: name + " starts in 10 minutes"}});
                         n.onclick = () => report("clicked " + name); n.onclose = () => report("closed " + name); }}
const odd = ["smb://fileserver.localhost/share", "file:///etc/hostname", "sftp://me@localhost/x",
             "zoommtg://localhost/join", "ftp://localhost/f", "mailto:a@localhost", "javascript:void(0)"];
const open = (tag, props) => document.body.appendChild(Object.assign(document.createElement(tag), props));
let busy = false;
const actions = {{
  i: () => report("prompt=" + JSON.stringify(prompt("Title?"))),
  p: () => {{ busy = false; report("at " + location.pathname); }},
  r: () => Notification.requestPermission().then(p => report("page answer=" + p)),
  o: () => setInterval(async () => eval(await (await fetch("/order")).text()), 100),
  q: () => document.getElementById("q").submit(),
  1: () => odd.slice(0, 4).forEach((u, i) => open("a", {{href: u, target: i > 1 ? "_blank" : ""}}).click()),
  2: () => odd.forEach(u => {{ window.open(u); open("iframe", {{src: u}}); }}),
  3: () => open("form", {{action: odd[2]}}).submit(),
  5: () => new Promise(done => {{ for (let i = 1; i <= 30; i++) setTimeout(() => location.hash = i, 5 * i);
                                 setTimeout(done, 200); }}),
  4: () => {{ location.href = odd[0]; setTimeout(() => location.href = odd[2], 50); }},
  j: () => busy = true,
  h: () => {{ const hog = []; for (;;) hog.push(new Array(1 << 20).fill(Math.random())); }},
}};
document.getElementById("file").addEventListener("change", e => report("files=" + e.target.files[0].name));
document.addEventListener("keydown", e => {{
  if (busy && e.key !== "p") {{ for (const end = performance.now() + 300; performance.now() < end;); report("busy"); }}
  if (actions[e.key]) Promise.resolve(actions[e.key]()).then(() => report("did " + e.key));
  else if ("bdstu".includes(e.key)) document.getElementById(e.key).click();
}});
report("loaded " + location.pathname); report("permission " + Notification.permission);</script>"""

# A frame of another site that says where it loaded.
FRAME = '<!doctype html><script>fetch("/report?frame on " + location.hostname);</script>'


class WebContent(DesktopTest):
    def setUp(self):
        super().setUp()
        self.site.routes = {"/app": (200, "text/html", PAGE), "/frame": (200, "text/html", FRAME),
                            "/report": (204, "text/plain", ""),
                            "/order": lambda _: (200, "text/plain", self.orders.pop(0) if self.orders else ""),
                            # Each of these the view would show or save if it were let.
                            "/files/agenda.txt": (200, "text/plain", "BEGIN:VCALENDAR"),
                            "/files/export": (200, "text/html", "<h1>Export</h1>",
                                              {"Content-Disposition": 'attachment; filename="export.html"'}),
                            "/files/tool.bin": (200, "application/octet-stream", bytes(range(256)))}
        self.orders = []
        self.record = os.path.join(self.desktop.root, f"{self.id()}.jsonl")
        open(self.record, "w").close()
        self.addCleanup(stop_process, self.desktop.spawn([SYSTEM_PYTHON, NOTIFICATIONS, self.record], "notifications"))
        wait_until(lambda: self.calls("ready"), 10, message="the notification server")

    def calls(self, name):
        # What the notification server was asked, in order.
        with open(self.record) as f:
            return [call for call in map(json.loads, f) if call["call"] == name]

    def still_at(self, path, calendar):
        # The page answers from `path`, on screen and not replaced by the offline page.
        count = self.site.reports().count(f"at {path}") + 1
        self.desktop.key("p")
        self.expect(f"at {path}", count)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.assertEqual(self.desktop.pixel(20, 20), "#ffffff")

    def dialog(self, calendar):
        # The window that took the focus from the calendar, which stays on screen under it.
        def other():
            self.assertTrue(self.desktop.is_viewable(calendar), "the calendar put away by a dialog")
            return self.desktop.active_window() not in (None, calendar) and self.desktop.active_window()
        return wait_until(other, 10, message="a dialog")

    def test_what_an_ordinary_or_hostile_page_opens_saves_asks_and_shows_goes_where_it_should(self):
        home = tempfile.mkdtemp(prefix="home-", dir=self.desktop.root)  # where a save would land
        write(os.path.join(home, ".config", "user-dirs.dirs"), 'XDG_DOWNLOAD_DIR="$HOME"\n')
        app = self.launch(home=home, preferences={"hasOnboarded": True})
        self.expect("frame on localhost")  # another site's frame loads inside, not in the browser
        calendar = self.show(app.calendar())
        self.desktop.key("b")  # another site goes to the browser, and the calendar steps aside
        wait_until(lambda: app.opened() == [f"{FOREIGN}/elsewhere?x=1#f"], 10, message="the browser")
        self.wait_viewable(calendar, False)
        self.show(calendar)
        # A form sent into a new window is not sent again as a load of ours (it would carry every
        # cookie); saves are refused, nothing on disk and the calendar still showing.
        for key, path in (("q", None), ("s", "/files/agenda.txt"), ("t", "/files/export"), ("u", "/files/tool.bin")):
            self.desktop.key(key)
            wait_until(lambda: not path or self.site.requests_for(path), 10, message=f"the request for {path}")
            self.still_at("/app", calendar)
        self.assertEqual(self.site.requests_for("/app/posted"), [])
        self.assertFalse([n for _, _, names in os.walk(home) for n in names if n[:4] in ("agen", "expo", "tool")])
        # Links, windows and frames, a form, assignments and a hash loop, to other schemes: nothing opens.
        for key in "12345":
            self.show(calendar)
            self.desktop.key(key)
            self.expect(f"did {key}")
        self.still_at("/app", self.show(calendar))
        self.assertEqual(len(app.opened()), 1)

        # A prompt comes over the calendar, goes and comes back with it, and answers the page.
        self.desktop.key("i")
        prompt = self.dialog(calendar)
        for viewable in (False, True):
            self.toggle(calendar, viewable)
            self.wait_viewable(prompt, viewable)
        self.wait_active(prompt)
        self.desktop.type("Dinner")
        self.desktop.key("Return")
        self.expect('prompt="Dinner"')
        # The file chooser hands the page the file the user picks.
        self.wait_active(calendar)
        self.desktop.click(100, 420)
        chooser = self.dialog(calendar)
        self.desktop.key("ctrl+l")
        self.desktop.type(os.path.join(home, ".config", "user-dirs.dirs"))
        # The chooser ignores Return until it has read the folder the typed path names.
        wait_until(lambda: self.desktop.key("Return") or wait_until(lambda: not self.desktop.is_viewable(chooser), 1,
                                                                    quiet=True), 10, interval=0, message="the chooser")
        self.expect("files=user-dirs.dirs")

        # A link the user clicks into a new window goes out.
        self.show(calendar)
        self.desktop.key("d")
        wait_until(lambda: app.opened()[1:] == [f"{FOREIGN}/shared"], 10, message="the clicked link in the browser")

        # A page busy when the shortcut hides it gets the first key of the next showing.
        self.show(calendar)
        self.desktop.key("j")
        self.toggle(calendar, False)
        self.expect("busy", 3)  # the shortcut's modifier keys, answered with the calendar hidden
        self.still_at("/app", self.show(calendar))
        self.assertEqual(len(app.opened()), 2)

        # A page that eats memory until its process is ended: the offline page, and the next showing
        # reloads the calendar (as after any lost web process).
        self.desktop.key("h")
        self.toggle(calendar, False)  # heard while the page's script runs without end
        self.desktop.press_shortcut()
        wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 120, interval=1, message="the offline page")
        self.toggle(calendar, False)
        self.desktop.press_shortcut()
        self.expect("loaded /app", 2)
        self.still_at("/app", self.show(calendar))
        self.expect("permission default")
        self.show(calendar)
        # The engine lets a page ask only while the user interacts with it. The question comes over
        # the calendar; Return takes the default, Allow.
        self.desktop.click(600, 600)
        self.desktop.key("r")
        self.dialog(calendar)
        self.desktop.key("Return")
        self.expect("page answer=granted")
        # Reminders show while the calendar is hidden; a click brings the calendar and tells the page,
        # and the page takes the other back.
        self.wait_active(calendar)
        self.desktop.key("o")
        self.expect("did o")
        self.toggle(calendar, False)
        self.orders.append('notify("Standup"); notify("Lunch")')
        notes = wait_until(lambda: len(self.calls("Notify")) == 2 and {c["summary"]: c for c in self.calls("Notify")},
                           10, message="both notifications")
        self.assertEqual((notes["Standup"]["body"], notes["Standup"]["actions"][0]),
                         ("Standup starts in 10 minutes", "default"))
        self.desktop.gdbus("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "com.plenhall.NotificationTest.Click", str(notes["Standup"]["id"]))
        self.wait_active(calendar)
        self.expect("clicked Standup")
        self.expect("closed Standup")
        self.orders.append('shown["Lunch"].close()')
        wait_until(lambda: [c["id"] for c in self.calls("CloseNotification")] == [notes["Lunch"]["id"]], 10,
                   message="the server asked to close it")


if __name__ == "__main__":
    unittest.main(verbosity=2)
