"""The calendar's web content: which pages stay, which go to the browser, the offline page, and the
page's dialogs."""

import os
import signal
import time
import unittest

from harness import PORT, DesktopTest, wait_until

SERVICE = f"http://127.0.0.1:{PORT}"
FOREIGN = f"http://localhost:{PORT}"
UNREACHABLE = "http://localhost:47699"  # nothing listens there

CALENDAR = f"""<!doctype html><html><head><meta charset="utf-8"><title>Fixture calendar</title></head>
<body style="background:#fff">
<h1>Fixture calendar</h1>
<a id=inside href="/app/week">week</a> <a id=outside href="{FOREIGN}/elsewhere?x=1#f">elsewhere</a>
<a id=unreachable href="{UNREACHABLE}/nowhere">nowhere</a>
<a id=blank-inside target=_blank href="{SERVICE}/app/event">event</a>
<a id=blank-outside target=_blank href="{FOREIGN}/shared">shared</a>
<a id=mail href="mailto:someone@example.org">mail</a>
<form id=post target=_blank method=post action="/app/posted"><input name=title value=Lunch></form>
<input type=file id=file multiple style="position:fixed;left:0;top:300px;width:220px;height:40px">
<iframe id=frame src="{FOREIGN}/frame" width=200 height=50></iframe>
<script>
function report(text) {{ fetch("/report?" + encodeURIComponent(text)); }}
report("loaded " + location.pathname);
document.getElementById("file").addEventListener("change", e =>
  report("files=" + [...e.target.files].map(f => f.name).join(",")));
document.getElementById("file").addEventListener("cancel", () => report("files=cancelled"));
const actions = {{
  a: () => document.getElementById("inside").click(),
  b: () => document.getElementById("outside").click(),
  c: () => document.getElementById("blank-inside").click(),
  d: () => document.getElementById("blank-outside").click(),
  e: () => window.open("{SERVICE}/app/popup"),
  f: () => window.open("{FOREIGN}/popup"),
  g: () => {{ alert("Saved %s %n <b>"); report("alert answered"); }},
  h: () => report("confirm=" + confirm("Delete it?")),
  i: () => report("prompt=" + JSON.stringify(prompt("Title?", "Lunch"))),
  j: () => document.getElementById("file").click(),
  k: () => document.getElementById("unreachable").click(),
  m: () => document.getElementById("mail").click(),
  p: () => report("at " + location.pathname),
  q: () => document.getElementById("post").submit(),
  w: () => window.open(""),
}};
document.addEventListener("keydown", e => {{ if (actions[e.key]) actions[e.key](); }});
</script></body></html>"""

SUBPAGE = """<!doctype html><html><body><h1>Sub-page</h1><script>
fetch("/report?" + encodeURIComponent("loaded " + location.pathname));
document.addEventListener("keydown", e => { if (e.key === "p") fetch("/report?" + encodeURIComponent("at " + location.pathname)); });
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
            "/app/popup": (200, "text/html", SUBPAGE),
            "/app/posted": (200, "text/html", SUBPAGE),
            "/elsewhere": (200, "text/html", SUBPAGE),
            "/shared": (200, "text/html", SUBPAGE),
            "/popup": (200, "text/html", SUBPAGE),
            "/frame": (200, "text/html", FRAME),
            "/report": (204, "text/plain", ""),
        }

    def shown(self, app):
        """Launch done, the calendar on screen and focused with the page loaded."""
        calendar = app.calendar()
        wait_until(lambda: "loaded /app" in self.site.reports(), 20, message="the calendar page")
        self.press_shortcut()
        self.wait_viewable(calendar)
        self.wait_active(calendar)
        return calendar

    def expect_report(self, text, timeout=10):
        try:
            wait_until(lambda: text in self.site.reports(), timeout, message=f"the page reporting {text!r}")
        except AssertionError as error:
            self.shot("missing-report")
            raise AssertionError(f"{error}; reports so far {self.site.reports()}") from None

    def test_service_pages_stay_foreign_pages_go_to_the_browser(self):
        app = self.launch()
        calendar = self.shown(app)
        # A frame on another site loads inside the page; the browser is not involved.
        self.expect_report("frame-loaded-on-localhost")

        self.desktop.key("b")
        wait_until(lambda: app.opened(), 10, message="the browser being asked")
        self.assertEqual(app.opened(), [f"{FOREIGN}/elsewhere?x=1#f"])
        self.wait_viewable(calendar, False)
        # The calendar page stayed where it was.
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.key("p")
        self.expect_report("at /app")

        # A foreign page that cannot even be reached goes to the browser too, not to the offline page.
        self.desktop.key("k")
        wait_until(lambda: len(app.opened()) == 2, 10, message="the unreachable page handed over")
        self.assertEqual(app.opened()[1], f"{UNREACHABLE}/nowhere")
        self.wait_viewable(calendar, False)
        self.press_shortcut()
        self.wait_active(calendar)
        self.assertEqual(self.desktop.pixel(20, 20), "#ffffff")  # not the offline page

        # A link the engine cannot show (mailto:) leaves the calendar as it is.
        self.desktop.key("m")
        time.sleep(1)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.desktop.key("p")
        wait_until(lambda: self.site.reports().count("at /app") == 2, 10, message="the page still there")

        # A service sub-page stays in the calendar; Reload goes back to the start page.
        self.desktop.key("a")
        self.expect_report("loaded /app/week")
        self.assertTrue(self.desktop.is_viewable(calendar))
        starts = len(self.site.requests_for("/app"))
        self.desktop.key("ctrl+r")
        wait_until(lambda: len(self.site.requests_for("/app")) == starts + 1, 10, message="the reload")
        wait_until(lambda: self.site.reports().count("loaded /app") == 2, 10, message="the start page loaded")
        self.desktop.key("p")
        wait_until(lambda: self.site.reports().count("at /app") == 3, 10, message="back at the start page")

    def test_new_windows_stay_in_the_one_view_or_go_to_the_browser(self):
        app = self.launch()
        calendar = self.shown(app)
        windows_before = set(self.desktop.x("xdotool", "search", "--pid", str(app.process.pid)).split())
        cases = [("c", "loaded /app/event", None), ("e", "loaded /app/popup", None),
                 ("q", "loaded /app/posted", None),
                 ("d", None, f"{FOREIGN}/shared"), ("f", None, f"{FOREIGN}/popup")]
        for key, report, opened in cases:
            if not self.desktop.is_viewable(calendar):
                self.press_shortcut()
                self.wait_active(calendar)
            loads = self.site.reports().count("loaded /app")
            self.desktop.key("ctrl+r")  # back to the calendar page, whose keys open the windows
            wait_until(lambda: self.site.reports().count("loaded /app") == loads + 1, 10, message="the reload")
            self.desktop.key(key)
            if report:
                self.expect_report(report)
                self.assertTrue(self.desktop.is_viewable(calendar))
            else:
                wait_until(lambda: opened in app.opened(), 10, message=f"{opened} handed to the browser")
                self.wait_viewable(calendar, False)
        # A form posted into a new window is loaded here as the page made it.
        posted = self.site.requests_for("/app/posted")
        self.assertEqual([(r["method"], r["body"]) for r in posted], [("POST", "title=Lunch")])
        # window.open() with no URL does nothing.
        self.press_shortcut()
        self.wait_active(calendar)
        loads = self.site.reports().count("loaded /app")
        self.desktop.key("ctrl+r")
        wait_until(lambda: self.site.reports().count("loaded /app") == loads + 1, 10, message="the reload")
        self.desktop.key("w")
        time.sleep(1)
        self.assertTrue(self.desktop.is_viewable(calendar))
        self.assertEqual(len(app.opened()), 2)
        windows_after = set(self.desktop.x("xdotool", "search", "--pid", str(app.process.pid)).split())
        self.assertEqual(windows_before, windows_after, "the page opened a window of its own")

    def test_page_dialogs_answer_the_page(self):
        app = self.launch()
        calendar = self.shown(app)
        self.desktop.key("g")
        time.sleep(0.8)
        self.shot("alert")
        self.assertNotEqual(self.desktop.active_window(), calendar)  # the dialog has the focus
        self.assertTrue(self.desktop.is_viewable(calendar))          # and the calendar stays
        self.desktop.key("Return")
        self.expect_report("alert answered")

        for keys, expected in [(["Return"], "confirm=true"), (["Escape"], "confirm=false")]:
            self.desktop.key("h")
            time.sleep(0.8)
            for key in keys:
                self.desktop.key(key)
            self.expect_report(expected)

        self.desktop.key("i")
        time.sleep(0.8)
        self.shot("prompt")
        self.desktop.key("Return")
        self.expect_report('prompt="Lunch"')
        self.desktop.key("i")
        time.sleep(0.8)
        self.desktop.key("ctrl+a")
        self.desktop.type("Dinner")
        self.desktop.key("Return")
        self.expect_report('prompt="Dinner"')
        self.desktop.key("i")
        time.sleep(0.8)
        self.desktop.key("Escape")
        self.expect_report("prompt=null")
        self.assertTrue(self.desktop.is_viewable(calendar))

        self.click_file_input()
        self.shot("file-chooser")
        self.desktop.key("Escape")
        self.expect_report("files=cancelled")

        upload = os.path.join(app.home, "agenda.ics")
        with open(upload, "w") as f:
            f.write("BEGIN:VCALENDAR\nEND:VCALENDAR\n")
        self.click_file_input()
        self.desktop.key("ctrl+l")
        self.desktop.type(upload)
        time.sleep(0.5)  # the location field completes as it goes
        self.desktop.key("Return")
        self.expect_report("files=agenda.ics")
        self.assertEqual(app.opened(), [])

    def click_file_input(self):
        self.desktop.pointer(100, 320)
        self.desktop.x("xdotool", "click", "1")
        time.sleep(1.5)

    def test_a_sheet_goes_and_comes_back_with_the_calendar(self):
        app = self.launch()
        calendar = self.shown(app)
        self.desktop.key("h")
        time.sleep(0.8)
        self.press_shortcut()
        self.wait_viewable(calendar, False)
        time.sleep(0.5)
        self.shot("hidden-with-sheet")
        self.press_shortcut()
        self.wait_viewable(calendar)
        time.sleep(0.8)
        self.desktop.key("Return")
        self.expect_report("confirm=true")

    def test_offline_at_launch_then_back(self):
        self.site.stop()
        try:
            app = self.launch()
            calendar = app.calendar()
            wait_until(lambda: "PlenhallDesktop" in app.log() or True, 1)
            time.sleep(3)  # the failed start request puts the offline page up, hidden
            self.press_shortcut()
            self.wait_viewable(calendar)
            wait_until(lambda: self.desktop.pixel(20, 20) == LIGHT_OFFLINE, 10, message="the offline page")
            self.shot("offline-light")
            self.press_shortcut()
            self.wait_viewable(calendar, False)
        finally:
            self.site.start()
        self.press_shortcut()  # the next showing loads the calendar again
        self.wait_viewable(calendar)
        self.expect_report("loaded /app")
        wait_until(lambda: self.desktop.pixel(20, 20) == "#ffffff", 10, message="the calendar page")
        self.shot("back-online")

    def test_offline_page_follows_the_dark_appearance(self):
        self.site.stop()
        try:
            app = self.launch(start_env={"GTK_THEME": "Adwaita:dark"})
            calendar = app.calendar()
            time.sleep(3)
            self.press_shortcut()
            self.wait_viewable(calendar)
            wait_until(lambda: self.desktop.pixel(20, 20) == DARK_OFFLINE, 10, message="the dark offline page")
            self.shot("offline-dark")
        finally:
            self.site.start()

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
