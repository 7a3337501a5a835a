# The calendar's web content on the real engine, ordinary and hostile: its reminders through the
# desktop's notification server (a recording one on the test session bus), and what a misbehaving
# server or a lost web process leaves on screen. Which page goes where, who is asked for reminders,
# how dialogs answer and what the offline page says are decided by the core and unit-tested; these
# prove the engine's and the bus's wiring.

import json
import os
import tempfile
import subprocess
import unittest

from harness import PORT, dropped_connection, wait_until
from scenario import Scenario

SERVICE = f"http://127.0.0.1:{PORT}"
FOREIGN = f"http://localhost:{PORT}"
WHITE, POP_UP_PAGE, LIGHT_OFFLINE, DARK_OFFLINE = "#ffffff", "#e0f0ff", "#f7f5f0", "#1c1c1e"
NOTIFICATIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "notification_server.py")
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"  # with python3-dbus

# Keys drive the page; from O on, so do orders it fetches from the fixture site, to be driven while
# the calendar is hidden. Every service address serves it again, so it reports where it loaded.
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
const red = "<body style='background:#f00'>red</body>";
const kinds = {{data: () => window.open("data:text/html," + red), about: () => window.open("about:blank"),
  blob: () => window.open(URL.createObjectURL(new Blob([red], {{type: "text/html"}}))),
  frame: () => open("iframe", {{src: "{FOREIGN}/advert"}})}};
let busy = false, kind = location.search.slice(1);
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
  n: () => location.href = "/app/pop-up?" + Object.keys(kinds)[Object.keys(kinds).indexOf(kind) + 1],
  j: () => busy = true,
  l: () => {{ addEventListener("beforeunload", e => e.preventDefault()); for (let i = 0; i < 1000; i++) alert(i);
             report("loop done " + confirm("more?") + " " + prompt("name?", "x")); }},
  g: () => {{ for (let i = 0; i < 300; i++) window.open("{SERVICE}/app/p" + i); }},
  h: () => {{ const hog = []; for (;;) hog.push(new Array(1 << 20).fill(Math.random())); }},
}};
document.getElementById("file").addEventListener("change", e => report("files=" + e.target.files[0].name));
document.addEventListener("keydown", e => {{
  if (busy && e.key !== "p") {{ for (const end = performance.now() + 300; performance.now() < end;); report("busy"); }}
  if (actions[e.key]) Promise.resolve(actions[e.key]()).then(() => report("did " + e.key));
  else if ("bdstu".includes(e.key)) document.getElementById(e.key).click();
}});
if (kinds[kind]) {{ document.body.style.background = "{POP_UP_PAGE}"; kinds[kind](); report("opened " + kind); }}
report("loaded " + location.pathname); report("permission " + Notification.permission);</script>"""

# Frames of another site: one says where it loaded and asks for reminders when clicked, one opens
# twenty windows.
FRAME = """<!doctype html><body><script>fetch("/report?frame on " + location.hostname);
addEventListener("click", () => Notification.requestPermission().then(p => fetch("/report?frame answer=" + p)));
</script>"""
ADVERT = f'<script>for (let i = 0; i < 20; i++) window.open("{FOREIGN}/ad?" + i);</script>'


def hangs_up_after(raw):
    # A server that writes `raw` and hangs up without the rest.
    def route(handler):
        handler.wfile.write(raw)
        dropped_connection(handler)
    return route


class WebContent(Scenario):
    def setUp(self):
        super().setUp()
        page = (200, "text/html", PAGE)  # on every service address
        self.site.routes = {"/app": page, "/app/pop-up": page, **{f"/app/p{i}": page for i in range(300)},
                            "/frame": (200, "text/html", FRAME), "/advert": (200, "text/html", ADVERT),
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
        server = subprocess.Popen([SYSTEM_PYTHON, NOTIFICATIONS, self.record], env={**os.environ, **self.desktop.env})
        self.addCleanup(server.wait, 5)
        self.addCleanup(server.terminate)
        wait_until(lambda: self.calls("ready"), 10, message="the notification server")

    def calls(self, name):
        # What the notification server was asked, in order.
        with open(self.record) as f:
            return [call for call in map(json.loads, f) if call["call"] == name]

    def still_at(self, path, calendar, colour=WHITE):
        # The page answers from `path`, on screen and not replaced by the offline page.
        count = self.site.reports().count(f"at {path}") + 1
        self.desktop.key("p")
        self.expect(f"at {path}", count)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.assertEqual(self.desktop.pixel(20, 20), colour)

    def dialog(self, calendar):
        # The window that took the focus from the calendar, which stays on screen under it.
        def other():
            self.assertTrue(self.desktop.is_viewable(calendar), "the calendar put away by a dialog")
            return self.desktop.active_window() not in (None, calendar) and self.desktop.active_window()
        return wait_until(other, 10, message="a dialog")

    def test_what_an_ordinary_or_hostile_page_opens_saves_asks_and_shows_goes_where_it_should(self):
        home = tempfile.mkdtemp(prefix="home-", dir=self.desktop.root)  # where a save would land
        os.makedirs(os.path.join(home, ".config"))
        with open(os.path.join(home, ".config", "user-dirs.dirs"), "w") as f:
            f.write('XDG_DOWNLOAD_DIR="$HOME"\n')
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
        self.click(100, 420)
        chooser = self.dialog(calendar)
        self.desktop.key("ctrl+l")
        self.desktop.type(os.path.join(home, ".config", "user-dirs.dirs"))
        # The chooser ignores Return until it has read the folder the typed path names.
        wait_until(lambda: self.desktop.key("Return") or wait_until(lambda: not self.desktop.is_viewable(chooser), 1,
                                                                    quiet=True), 10, interval=0, message="the chooser")
        self.expect("files=user-dirs.dirs")

        # Pop-ups no click asked for: made-up pages replace nothing; another site's frame gets a few,
        # and what the user clicks still goes out.
        for kind in ("data", "about", "blob"):
            self.desktop.key("n")
            self.expect(f"opened {kind}")
            self.still_at("/app/pop-up", calendar, POP_UP_PAGE)
        self.desktop.key("n")
        wait_until(lambda: sorted(app.opened()[1:]) == [f"{FOREIGN}/ad?{i}" for i in range(3)], 10, message="three ads")
        self.show(calendar)
        self.desktop.key("d")
        wait_until(lambda: app.opened()[4:] == [f"{FOREIGN}/shared"], 10, message="the clicked link in the browser")

        # A page busy when the shortcut hides it gets the first key of the next showing.
        self.show(calendar)
        self.desktop.key("j")
        self.toggle(calendar, False)
        self.expect("busy", 3)  # the shortcut's modifier keys, answered with the calendar hidden
        self.show(calendar)
        self.still_at("/app/pop-up", calendar, POP_UP_PAGE)

        # A thousand alerts: Escape answers each, and the third in quick succession offers to block the rest.
        self.desktop.key("l")
        seen = set()

        def third_dialog():
            seen.add(self.dialog(calendar))
            if len(seen) < 3:
                self.desktop.key("Escape")
            return len(seen) == 3
        wait_until(third_dialog, 30, interval=0.3, message="the third dialog")
        self.desktop.key("Tab")  # OK, Block Dialogs
        self.desktop.key("space")
        self.expect("loop done false null")  # the rest answered at once: confirm false, prompt null
        self.wait_active(calendar)
        # Three hundred pop-ups on the service domain, each replacing the last; leaving a page that
        # asks to be kept is not held up.
        self.desktop.key("g")
        self.expect("loaded /app/p299", timeout=30)
        self.toggle(calendar, False)
        app.click_status_item("Show / Hide")
        self.wait_active(calendar)
        self.still_at("/app/p299", calendar)
        self.assertEqual(len(app.opened()), 5)

        # A page that eats memory until its process is ended: the offline page, and the next showing
        # reloads the calendar (as after any lost web process).
        self.desktop.key("h")
        self.toggle(calendar, False)  # heard while the page's script runs without end
        self.press_shortcut()
        wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 120, interval=1, message="the offline page")
        self.toggle(calendar, False)
        self.press_shortcut()
        self.expect("loaded /app", 2)
        self.still_at("/app", self.show(calendar))
        self.expect("permission default")
        self.show(calendar)
        self.click(100, 250)  # the frame is refused reminders without a question (it would hold the answer)
        self.expect("frame answer=denied")
        # The engine lets a page ask only while the user interacts with it. The question comes over
        # the calendar; Return takes the default, Allow.
        self.click(600, 600)
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
        self.desktop.x("gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                       "/org/freedesktop/Notifications", "--method", "com.plenhall.NotificationTest.Click",
                       str(notes["Standup"]["id"]))
        self.wait_active(calendar)
        self.expect("clicked Standup")
        self.expect("closed Standup")
        self.orders.append('shown["Lunch"].close()')
        wait_until(lambda: [c["id"] for c in self.calls("CloseNotification")] == [notes["Lunch"]["id"]], 10,
                   message="the server asked to close it")
        # Relaunched: the page's reminder permission is its own from the start, and asking again gets
        # the answer at once (a question would hold it).
        app.stop()
        calendar = self.show(self.launch(home=home).calendar())
        self.expect("permission granted")
        self.click(600, 600)
        self.desktop.key("r")
        self.expect("page answer=granted", 2)
        self.assertEqual(self.desktop.active_window(), calendar)

    def test_a_misbehaving_server_gives_the_offline_page_not_a_hang(self):
        half_a_page = hangs_up_after(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<!doctype html><h1>Half a pa")
        for route, env, colour in ((half_a_page, None, LIGHT_OFFLINE), (hangs_up_after(bytes(range(256)) * 64), None,
                                   LIGHT_OFFLINE), (dropped_connection, {"GTK_THEME": "Adwaita:dark"}, DARK_OFFLINE)):
            self.site.routes["/app"] = route
            calendar = self.launch(start_env=env).calendar()
            self.toggle(calendar)
            wait_until(lambda: self.desktop.pixel(20, 20) == colour, 15, message=f"the offline page ({route})")
            self.toggle(calendar, False)
            self.apps[-1].stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
