"""The calendar's web content on the real engine. Which page goes where, what the offline page says
and how dialogs answer are decided by the core and unit-tested; these prove the engine's wiring."""

import os
import tempfile
import time
import unittest

from harness import PORT, DesktopTest, dropped_connection, wait_until

SERVICE = f"http://127.0.0.1:{PORT}"
FOREIGN = f"http://localhost:{PORT}"

CALENDAR = f"""<!doctype html><html><head><meta charset="utf-8"><title>Fixture calendar</title></head>
<body style="background:#fff">
<h1>Fixture calendar</h1>
<a id=inside href="/app/week">week</a> <a id=outside href="{FOREIGN}/elsewhere?x=1#f">elsewhere</a>
<a id=blank-inside target=_blank href="{SERVICE}/app/event">event</a>
<a id=blank-outside target=_blank href="{FOREIGN}/shared">shared</a>
<a id=mail href="mailto:someone@example.org">mail</a>
<form id=post target=_blank method=post action="/app/posted"><input name=title value=Lunch></form>
<a id=save download href="/files/agenda.txt">save</a> <a id=attached href="/files/export">export</a>
<a id=binary href="/files/tool.bin">tool</a>
<input type=file id=file multiple style="position:fixed;left:0;top:300px;width:220px;height:40px">
<iframe id=frame src="{FOREIGN}/frame" width=200 height=50></iframe>
<script>
function report(text) {{ fetch("/report?" + encodeURIComponent(text)); }}
report("loaded " + location.pathname);
document.getElementById("file").addEventListener("change", e =>
  report("files=" + [...e.target.files].map(f => f.name).join(",")));
const actions = {{
  a: () => document.getElementById("inside").click(),
  b: () => document.getElementById("outside").click(),
  c: () => document.getElementById("blank-inside").click(),
  d: () => document.getElementById("blank-outside").click(),
  i: () => report("prompt=" + JSON.stringify(prompt("Title?", "Lunch"))),
  m: () => document.getElementById("mail").click(),
  p: () => report("at " + location.pathname),
  q: () => document.getElementById("post").submit(),
  s: () => document.getElementById("save").click(),
  t: () => document.getElementById("attached").click(),
  u: () => document.getElementById("binary").click(),
}};
document.addEventListener("keydown", e => {{ if (actions[e.key]) actions[e.key](); }});
</script></body></html>"""

SUBPAGE = """<!doctype html><html><body><h1>Sub-page</h1><script>
fetch("/report?" + encodeURIComponent("loaded " + location.pathname));
</script></body></html>"""

FRAME = """<!doctype html><html><body>frame<script>
fetch("/report?frame-loaded-on-" + location.host.split(":")[0]);
</script></body></html>"""

LIGHT_OFFLINE = "#f7f5f0"
DARK_OFFLINE = "#1c1c1e"


class WebContent(DesktopTest):
    def setUp(self):
        super().setUp()
        self.site.routes = {
            "/app": (200, "text/html", CALENDAR),
            "/app/week": (200, "text/html", SUBPAGE),
            "/app/event": (200, "text/html", SUBPAGE),
            "/app/posted": (200, "text/html", SUBPAGE),
            "/elsewhere": (200, "text/html", SUBPAGE),
            "/shared": (200, "text/html", SUBPAGE),
            "/frame": (200, "text/html", FRAME),
            "/report": (204, "text/plain", ""),
            # Each of these the view would show or save if it were let.
            "/files/agenda.txt": (200, "text/plain", "BEGIN:VCALENDAR"),
            "/files/export": (200, "text/html", "<h1>Export</h1>",
                              {"Content-Disposition": 'attachment; filename="export.html"'}),
            "/files/tool.bin": (200, "application/octet-stream", bytes(range(256))),
        }

    def shown(self, app):
        """Launch done, the calendar on screen and focused with the page loaded."""
        calendar = app.calendar()
        wait_until(lambda: "loaded /app" in self.site.reports(), 20, message="the calendar page")
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(calendar)
        return calendar

    def expect_report(self, text, count=1, timeout=10):
        try:
            wait_until(lambda: self.site.reports().count(text) >= count, timeout,
                       message=f"the page reporting {text!r}")
        except AssertionError as error:
            self.shot("missing-report")
            raise AssertionError(f"{error}; reports so far {self.site.reports()}") from None

    def reload(self):
        loads = self.site.reports().count("loaded /app")
        self.desktop.key("ctrl+r")
        self.expect_report("loaded /app", loads + 1)

    def dialog(self, calendar):
        """The window that took the focus from the calendar."""
        def other():
            active = self.desktop.active_window()
            return active not in (None, calendar) and active
        return wait_until(other, 10, message="a dialog")

    def test_service_pages_stay_foreign_pages_go_to_the_browser(self):
        app = self.launch()
        calendar = self.shown(app)
        # A frame on another site loads inside the page; the browser is not involved.
        self.expect_report("frame-loaded-on-localhost")

        self.desktop.key("b")
        wait_until(lambda: app.opened(), 10, message="the browser being asked")
        self.assertEqual(app.opened(), [f"{FOREIGN}/elsewhere?x=1#f"])
        self.wait_viewable(calendar, False)
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.key("p")
        self.expect_report("at /app")  # the calendar page stayed where it was

        # A link the engine cannot show (mailto:) leaves the calendar as it is, not offline.
        self.desktop.key("m")
        time.sleep(1)  # nothing is to happen: long enough for a failed load to bring the offline page
        self.desktop.key("p")
        self.expect_report("at /app", 2)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.assertEqual(self.desktop.pixel(20, 20), "#ffffff")

        # A service sub-page stays in the calendar; Reload goes back to the start page.
        self.desktop.key("a")
        self.expect_report("loaded /app/week")
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.reload()
        self.desktop.key("p")
        self.expect_report("at /app", 3)

    def test_new_windows_stay_in_the_one_view_or_go_to_the_browser(self):
        app = self.launch()
        calendar = self.shown(app)
        windows_before = set(self.desktop.x("xdotool", "search", "--pid", str(app.process.pid)).split())
        self.desktop.key("d")
        wait_until(lambda: app.opened() == [f"{FOREIGN}/shared"], 10, message="the browser being asked")
        self.wait_viewable(calendar, False)
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.key("c")
        self.expect_report("loaded /app/event")
        self.reload()
        # A form sent into a new window is not sent again as the program's own request: the
        # engine does not say whether the page or a frame of another site sent it.
        self.desktop.key("q")
        wait_until(lambda: "sent a form into a new window" in app.log(), 10, message="the line about the form")
        self.desktop.key("p")
        self.expect_report("at /app")
        self.assertEqual(self.site.requests_for("/app/posted"), [])
        self.assertTrue(self.desktop.is_viewable(calendar))
        windows_after = set(self.desktop.x("xdotool", "search", "--pid", str(app.process.pid)).split())
        self.assertEqual(windows_before, windows_after, "the page opened a window of its own")

    def test_downloads_put_nothing_on_disk_and_leave_the_calendar_showing(self):
        home = tempfile.mkdtemp(prefix="plenhall-home-")
        downloads = os.path.join(home, "Downloads")
        os.makedirs(downloads)
        os.makedirs(os.path.join(home, ".config"))
        with open(os.path.join(home, ".config", "user-dirs.dirs"), "w") as f:
            f.write('XDG_DOWNLOAD_DIR="$HOME/Downloads"\n')
        app = self.launch(preferences={"hasOnboarded": True}, home=home)
        calendar = self.shown(app)
        for number, (key, path) in enumerate((("s", "/files/agenda.txt"), ("t", "/files/export"),
                                              ("u", "/files/tool.bin")), start=1):
            self.desktop.key(key)
            wait_until(lambda: self.site.requests_for(path), 10, message=f"the request for {path}")
            self.desktop.key("p")
            self.expect_report("at /app", number)
            self.assertTrue(self.desktop.is_viewable(calendar), path)
            self.assertEqual(self.desktop.pixel(20, 20), "#ffffff", path)
        saved = [os.path.join(folder, name) for folder, _, names in os.walk(app.home) for name in names
                 if name.startswith(("agenda", "export", "tool")) or "download" in name.lower()]
        self.assertEqual(saved, [])
        self.assertEqual(os.listdir(downloads), [])

    def test_page_dialogs_answer_the_page_and_go_and_come_back_with_the_calendar(self):
        app = self.launch()
        calendar = self.shown(app)
        self.desktop.key("i")
        dialog = self.dialog(calendar)
        self.shot("prompt")
        self.assertTrue(self.desktop.is_viewable(calendar))  # the dialog comes over the calendar
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        self.wait_viewable(dialog, False)
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(dialog)
        self.desktop.key("ctrl+a")
        self.desktop.type("Dinner")
        self.desktop.key("Return")
        self.expect_report('prompt="Dinner"')

        upload = os.path.join(app.home, "agenda.ics")
        with open(upload, "w") as f:
            f.write("BEGIN:VCALENDAR\nEND:VCALENDAR\n")
        self.wait_active(calendar)
        self.desktop.pointer(100, 320)
        self.desktop.x("xdotool", "click", "1")
        chooser = self.dialog(calendar)
        self.shot("file-chooser")
        self.desktop.key("ctrl+l")
        self.desktop.type(upload)

        def accepted():
            # The chooser ignores Return until it has read the folder the typed path names.
            self.desktop.key("Return")
            return wait_until(lambda: not self.desktop.is_viewable(chooser), 1, message="", quiet=True)
        wait_until(accepted, 10, interval=0, message="the chooser taking the file")
        self.expect_report("files=agenda.ics")
        self.assertEqual(app.opened(), [])

    def test_offline_at_launch_in_a_dark_theme(self):
        # The way back from the offline page is the killed web process's below.
        self.site.routes["/app"] = dropped_connection
        app = self.launch(start_env={"GTK_THEME": "Adwaita:dark"})
        calendar = app.calendar()
        self.press_shortcut()
        self.wait_viewable(calendar)
        wait_until(lambda: self.desktop.pixel(20, 20) == DARK_OFFLINE, 10, message="the dark offline page")
        self.shot("offline-dark")

    def test_a_killed_web_process_gives_the_offline_page_then_a_working_calendar(self):
        app = self.launch()
        calendar = self.shown(app)
        app.kill_web_processes()
        wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 10, message="the offline page")
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        loads = len(self.site.requests_for("/app"))
        self.press_shortcut()
        wait_until(lambda: len(self.site.requests_for("/app")) == loads + 1, 10, message="the reload")
        wait_until(lambda: self.desktop.pixel(20, 20) == "#ffffff", 10, message="the calendar page")
        self.desktop.key("p")
        self.expect_report("at /app")


if __name__ == "__main__":
    unittest.main(verbosity=2)
