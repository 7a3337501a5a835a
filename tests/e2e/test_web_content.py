# The calendar's web content on the real engine. Which page goes where and how dialogs answer are
# decided by the core and unit-tested; these prove the engine's wiring.

import os
import unittest

from harness import PORT, DesktopTest, wait_until

SERVICE = f"http://127.0.0.1:{PORT}"
FOREIGN = f"http://localhost:{PORT}"
POP_UP_PAGE = "#e0f0ff"

# Keys drive the page; every service address serves it again, so it reports where it loaded.
PAGE = f"""<!doctype html><body style="background:#fff"><h1>Calendar</h1><a id=a href="/app/week">week</a>
<a id=b href="{FOREIGN}/elsewhere?x=1#f">elsewhere</a> <a id=c target=_blank href="{SERVICE}/app/event">event</a>
<a id=d target=_blank href="{FOREIGN}/shared">shared</a> <a id=s download href="/files/agenda.txt">save</a>
<a id=t href="/files/export">export</a> <a id=u href="/files/tool.bin">tool</a> <iframe src="{FOREIGN}/frame"></iframe>
<form id=q target=_blank method=post action="/app/posted"><input name=title value=Lunch></form>
<input type=file id=file style="position:fixed;left:0;top:300px;width:220px;height:40px"><script>
function report(t) {{ fetch("/report?" + encodeURIComponent(t)); }}
const odd = ["smb://fileserver.localhost/share", "file:///etc/hostname", "sftp://me@localhost/x",
             "zoommtg://localhost/join", "ftp://localhost/f", "mailto:a@localhost", "javascript:void(0)"];
const open = (tag, props) => document.body.appendChild(Object.assign(document.createElement(tag), props));
const red = "<body style='background:#f00'>red</body>";
const kinds = {{data: () => window.open("data:text/html," + red), about: () => window.open("about:blank"),
  blob: () => window.open(URL.createObjectURL(new Blob([red], {{type: "text/html"}}))),
  frame: () => open("iframe", {{src: "{FOREIGN}/advert"}})}};
let busy = false;
const actions = {{
  i: () => report("prompt=" + JSON.stringify(prompt("Title?", "Lunch"))),
  p: () => {{ busy = false; report("at " + location.pathname); }},
  q: () => document.getElementById("q").submit(),
  1: () => odd.slice(0, 4).forEach((u, i) => open("a", {{href: u, target: i > 1 ? "_blank" : ""}}).click()),
  2: () => odd.forEach(u => window.open(u)),
  3: () => odd.forEach(u => open("iframe", {{src: u}})),
  4: () => open("form", {{action: odd[2]}}).submit(),
  5: () => new Promise(done => {{ let i = 0; const hop = () => i++ < 30 ? (location.hash = i, setTimeout(hop, 5)) : done();
                                 hop(); }}),
  6: () => {{ location.href = odd[0]; setTimeout(() => location.href = odd[2], 50); }},
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
  else if ("abcdstu".includes(e.key)) document.getElementById(e.key).click();
}});
const kind = location.search.slice(1);
if (kinds[kind]) {{ document.body.style.background = "{POP_UP_PAGE}"; kinds[kind](); report("opened " + kind); }}
report("loaded " + location.pathname);
</script></body></html>"""

# Frames of another site: one says where it loaded, one opens twenty windows.
FRAME = '<!doctype html><body><script>fetch("/report?frame on " + location.hostname)</script>'
ADVERT = f"""<!doctype html><body><script>for (let i = 0; i < 20; i++) window.open("{FOREIGN}/ad?" + i);
fetch("/report?advert done");</script>"""


class PageTest(DesktopTest):
    # The page above on every service address, and what it links to.
    def setUp(self):
        super().setUp()
        page = (200, "text/html", PAGE)
        self.site.routes = {**{path: page for path in ("/app", "/app/week", "/app/event", "/app/pop-up")},
                            **{f"/app/p{i}": page for i in range(300)}, "/report": (204, "text/plain", ""),
                            "/frame": (200, "text/html", FRAME), "/advert": (200, "text/html", ADVERT),
                            # Each of these the view would show or save if it were let.
                            "/files/agenda.txt": (200, "text/plain", "BEGIN:VCALENDAR"),
                            "/files/export": (200, "text/html", "<h1>Export</h1>",
                                              {"Content-Disposition": 'attachment; filename="export.html"'}),
                            "/files/tool.bin": (200, "application/octet-stream", bytes(range(256)))}

    def shown(self, **launch):
        app = self.launch(**launch)
        self.expect("loaded /app")
        return app, self.show(app.calendar())

    def show(self, calendar):
        if not self.desktop.is_viewable(calendar):
            self.press_shortcut()
        self.wait_active(calendar)
        return calendar

    def expect(self, report, count=1, timeout=20):
        wait_until(lambda: self.site.reports().count(report) >= count, timeout,
                   message=f"{report!r} (reports so far {self.site.reports()})")

    def still_at(self, path, calendar, colour="#ffffff"):
        # The page answers from `path`, on screen and not replaced by the offline page.
        self.desktop.key("p")
        self.expect(f"at {path}", self.site.reports().count(f"at {path}") + 1)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.assertEqual(self.desktop.pixel(20, 20), colour)

    def dialog(self, calendar):
        # The window that took the focus from the calendar, which stays on screen under it.
        def other():
            self.assertTrue(self.desktop.is_viewable(calendar), "the calendar put away by a dialog")
            return self.desktop.active_window() not in (None, calendar) and self.desktop.active_window()
        return wait_until(other, 10, message="a dialog")


class WebContent(PageTest):
    def test_links_new_windows_files_and_dialogs_of_the_calendar_page(self):
        home = os.path.join(self.desktop.root, "home")  # with a downloads folder, where a save would land
        os.makedirs(os.path.join(home, "Downloads"))
        os.makedirs(os.path.join(home, ".config"))
        with open(os.path.join(home, ".config", "user-dirs.dirs"), "w") as f:
            f.write('XDG_DOWNLOAD_DIR="$HOME/Downloads"\n')
        app, calendar = self.shown(home=home, preferences={"hasOnboarded": True})
        windows = self.desktop.x("xdotool", "search", "--pid", str(app.process.pid))
        self.expect("frame on localhost")  # another site's frame loads inside, not in the browser
        # Service pages stay in the one view, in place or from a new window; Reload goes back to start.
        for key, path in (("a", "/app/week"), ("c", "/app/event"), ("ctrl+r", "/app")):
            self.desktop.key(key)
            self.expect(f"loaded {path}", 1 + (path == "/app"))
        # Other sites go to the browser, in place or from a new window, and the calendar steps aside.
        for key, path in (("b", "/elsewhere?x=1#f"), ("d", "/shared")):
            self.desktop.key(key)
            wait_until(lambda: app.opened()[-1:] == [FOREIGN + path], 10, message=f"the browser given {path}")
            self.wait_viewable(calendar, False)
            self.show(calendar)
        # A form sent into a new window is not sent again as a load of ours (it would carry every
        # cookie); saves are refused, nothing on disk and the calendar still showing.
        for key, request in (("q", None), ("s", "/files/agenda.txt"), ("t", "/files/export"), ("u", "/files/tool.bin")):
            self.desktop.key(key)
            wait_until(lambda: self.site.requests_for(request) if request else True, 10, message=f"{request}")
            self.still_at("/app", calendar)
        self.assertEqual(self.site.requests_for("/app/posted"), [])
        self.assertEqual([n for _, _, names in os.walk(home) for n in names if n.startswith(("agenda", "export", "tool"))], [])
        self.assertEqual(os.listdir(os.path.join(home, "Downloads")), [])
        self.assertEqual(self.desktop.x("xdotool", "search", "--pid", str(app.process.pid)), windows)

        # A prompt comes over the calendar, goes and comes back with it, and answers the page.
        self.desktop.key("i")
        prompt = self.dialog(calendar)
        for viewable in (False, True):
            self.press_shortcut()
            self.wait_viewable(calendar, viewable)
            self.wait_viewable(prompt, viewable)
        self.wait_active(prompt)
        self.desktop.key("ctrl+a")
        self.desktop.type("Dinner")
        self.desktop.key("Return")
        self.expect('prompt="Dinner"')
        # The file chooser hands the page the file the user picks.
        self.wait_active(calendar)
        self.desktop.pointer(100, 320)
        self.desktop.x("xdotool", "click", "1")
        chooser = self.dialog(calendar)
        self.desktop.key("ctrl+l")
        self.desktop.type(os.path.join(home, ".config", "user-dirs.dirs"))

        def accepted():
            # The chooser ignores Return until it has read the folder the typed path names.
            self.desktop.key("Return")
            return wait_until(lambda: not self.desktop.is_viewable(chooser), 1, quiet=True)
        wait_until(accepted, 10, interval=0, message="the chooser taking the file")
        self.expect("files=user-dirs.dirs")
        self.assertEqual(len(app.opened()), 2)


if __name__ == "__main__":
    unittest.main(verbosity=2)
