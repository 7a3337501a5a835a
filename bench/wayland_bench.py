"""The benchmark's Wayland section (bench.py --sections wayland): what the screen shows after the
global shortcut on a private headless sway, the program against a bare web view on the same page.

The desktop is the end-to-end tests' harness.Sway (tests/e2e/harness.py): sway with wlroots'
headless backend and software rendering, two 1280x800 outputs, a private session bus with the test
global-shortcuts portal, everything run as the tests' unprivileged user. The program is shown and
hidden through the portal, by the test backend's Trigger: the path a desktop's shortcut takes. The
bare web view (bare_webkit.c as a native Wayland client) by SIGUSR1.

Each showing is read at one point of the focused output by wl_pixel_probe (wlr-screencopy), which
sees every frame the compositor puts on screen, with its presentation time, from just before the
trigger until the page's colour, and 300 ms on.
"""

import glob
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
import wl_pixel_probe  # noqa: E402
from harness import App, Sway, wait_until  # noqa: E402

SHORTCUT_ID = "toggle-calendar"  # the id the program binds at the portal

OUTPUT = "HEADLESS-1"
# The middle of the output the calendar fills: the plain page's own colour there.
POINT = (640, 400)
# What the desktop shows where no window is (swaybg): a colour no subject paints.
DESKTOP_COLOUR = "6b4f8a"
# GTK's Adwaita window background, the toolkit's colour under a web view that has not drawn.
THEME_COLOUR = "f6f5f4"
UP_MS = 300          # the page stays up this long, watched, before it is hidden again
SHOW_TIMEOUT_MS = 10000


def percentile(values, fraction):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    return ordered[min(len(ordered) - 1, max(0, int(round(fraction * (len(ordered) - 1)))))]


def colour_name(colour, page):
    """A colour the reader knows by name, else its hex value."""
    names = {page: "page", DESKTOP_COLOUR: "desktop", "000000": "black", "ffffff": "white",
             THEME_COLOUR: "theme grey"}
    for known, name in names.items():
        if all(abs(int(colour[i:i + 2], 16) - int(known[i:i + 2], 16)) <= 2 for i in (0, 2, 4)):
            return name
    return "#" + colour


def render_node():
    """The engine's path as the program picks it: compositing only where a GPU shows itself."""
    return bool(glob.glob("/dev/dri/renderD*"))


class Showing:
    """One showing: from the trigger (CLOCK_MONOTONIC s) and the frames the probe saw."""

    def __init__(self, pressed, sequence, page):
        frames = sequence.frames
        self.start = colour_name(frames[0][1], page)
        names = [colour_name(c, page) for _, c in frames]
        self.page_at = names.index("page") if "page" in names else None
        end = len(frames) if self.page_at is None else self.page_at
        self.before = [n for n in names[1:end] if n != self.start]
        self.after = [n for n in names[end + 1:] if n != "page"]
        self.show_ms = frames[self.page_at][0] / 1000 - pressed * 1000 if self.page_at is not None else -1
        changed = next((i for i in range(1, len(frames)) if names[i] != self.start), None)
        # What a user saw first where the desktop was: the page, or a blank frame.
        self.first = names[changed] if changed else "none"
        self.first_exact = frames[changed][1] if changed else "-"
        self.change_ms = frames[changed][0] / 1000 - pressed * 1000 if changed else -1
        # Every change with its time from the trigger, for whoever looks into one showing.
        self.trail = "|".join(f"{c}@{t / 1000 - pressed * 1000:.1f}" for t, c in frames)
        self.hide_ms = -1

    @property
    def other_first(self):
        return bool(self.before)


class WaylandSection:
    def __init__(self, bench, page_html, page_colour):
        self.bench = bench
        self.args = bench.args
        self.page_html = page_html
        self.page = page_colour
        self.showings = []  # (subject, case, [Showing])
        self.table = []
        self.notes = []

    def plan(self):
        """Launches for the first showing, and (seconds hidden, showings) after the last launch."""
        if self.args.quick:
            return 2, [(3, 3), (12, 1)]
        return 5, [(3, 15), (12, 5)]

    def desktop(self):
        harness.BINARY = os.path.abspath(self.args.binary)
        for attempt in range(3):
            sway = Sway()
            try:
                sway.start()
                return sway
            except AssertionError:
                sway.stop()
                if attempt == 2:
                    raise

    def run(self, site):
        site.routes["/app"] = (200, "text/html", self.page_html)
        self.site = site
        self.notes.append("load average (1 min) as the Wayland readings start: {:.2f}".format(os.getloadavg()[0]))
        sway = self.sway = self.desktop()
        try:
            sway.msg("output", "*", "bg", f"#{DESKTOP_COLOUR}", "solid_color")
            sway.point_at(OUTPUT)
            self.probe = wl_pixel_probe.session_binary(sway, self.args.wl_pixel_probe)
            wait_until(self.desktop_shown, 10, message="the desktop's colour")
            self.trigger = subprocess.Popen(
                sway.command([harness.SYSTEM_PYTHON, os.path.join(HERE, "wl_portal_trigger.py")]),
                env=sway.base_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                start_new_session=True)
            sway.processes.append(self.trigger)
            if self.trigger.stdout.readline().strip() != "ready":
                raise RuntimeError("the portal trigger did not start")
            self.measure("plenhall", self.start_program, self.press)
            self.measure("bare webkit", self.start_bare, self.signal)
        finally:
            sway.stop(logs_to=os.path.join(self.args.out, "wayland-logs") if self.args.keep_logs else None)
        self.notes.append("load average (1 min) as the Wayland readings end: {:.2f}".format(os.getloadavg()[0]))
        self.rows()

    def desktop_shown(self):
        probe = [self.probe, "--timeout", "1000", f"{POINT[0]},{POINT[1]}", DESKTOP_COLOUR]
        return self.sway.run(probe, check=False).returncode == 0

    # The subjects: each starts hidden with the page loaded and returns how to stop it.

    def start_program(self):
        sway, site = self.sway, self.site
        before = int(sway.portal_stats()["sessions"])
        site.requests.clear()
        app = App(sway, preferences={"hasOnboarded": True, "displayMode": "fullScreen"})
        # As users have it: the end-to-end switch that keeps the engine from compositing stays off.
        app.start(env={"WEBKIT_DISABLE_COMPOSITING_MODE": None, **self.bench.engine_env()})
        wait_until(lambda: site.requests_for("/loaded"), 30, message="the page loaded")

        def shortcut_ready():
            # A session of this run, and the shortcut bound (the backend keeps it across runs).
            stats = sway.portal_stats()
            return int(stats["sessions"]) > before and int(stats["binds"]) >= 1
        wait_until(shortcut_ready, 30, interval=0.25, message="the program's shortcut session")
        self.current = app

        def stop():
            app.stop()
            self.keep_log(app.log_path, "plenhall")
            shutil.rmtree(app.home, ignore_errors=True)
        return stop

    def start_bare(self):
        sway, site = self.sway, self.site
        site.requests.clear()
        binary = os.path.join(sway.root, "bare-webkit")
        if not os.path.exists(binary):
            shutil.copy2(self.args.bare_webkit, binary)
            os.chmod(binary, 0o755)
        home = tempfile.mkdtemp(prefix="bare-home-", dir=sway.root)  # a fresh one, as the program's
        sway.own(home)
        env = sway.base_env(HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"), GDK_BACKEND="wayland",
                            **self.bench.engine_env())
        if not render_node():
            # Without a GPU the program paints pages without compositing; so does its floor.
            env.setdefault("WEBKIT_DISABLE_COMPOSITING_MODE", "1")
        process = sway.spawn([binary, f"http://127.0.0.1:{site.port}/app", "0", "fullscreen"], "bare-webkit",
                             env=env)
        wait_until(lambda: site.requests_for("/loaded"), 30, message="the bare web view's page loaded")
        self.current = process

        def stop():
            process.terminate()
            process.wait(10)
            shutil.rmtree(home, ignore_errors=True)
        return stop

    def press(self):
        self.trigger.stdin.write(f"{SHORTCUT_ID}\n")
        self.trigger.stdin.flush()
        pressed, heard = self.trigger.stdout.readline().split()
        if int(heard) < 1:
            raise RuntimeError("no portal session heard the shortcut")
        return float(pressed)

    def signal(self):
        pressed = time.monotonic()
        os.kill(self.current.pid, signal.SIGUSR1)
        return pressed

    def keep_log(self, path, name):
        if self.args.keep_logs and path and os.path.exists(path):
            directory = os.path.join(self.args.out, "wayland-logs")
            os.makedirs(directory, exist_ok=True)
            shutil.copy(path, os.path.join(directory, f"{name}-{int(time.time() * 1000)}.log"))

    # The readings.

    def showing(self, trigger):
        """Shows the subject, reads the point until the page's colour and UP_MS on, hides it again
        and reads until the desktop is back."""
        probe = wl_pixel_probe.Probe(self.probe, POINT, self.page, SHOW_TIMEOUT_MS, then_ms=UP_MS,
                                     wrap=self.sway.command, env=self.sway.base_env())
        probe.started()
        pressed = trigger()
        showing = Showing(pressed, probe.finish(timeout=SHOW_TIMEOUT_MS / 1000 + 10), self.page)
        probe = wl_pixel_probe.Probe(self.probe, POINT, DESKTOP_COLOUR, 5000, wrap=self.sway.command,
                                     env=self.sway.base_env())
        probe.started()
        pressed = trigger()
        hidden = probe.finish()
        if hidden.reached:
            showing.hide_ms = hidden.frames[-1][0] / 1000 - pressed * 1000
        else:
            raise RuntimeError(f"the subject did not hide: {hidden}")
        return showing

    def measure(self, subject, start, trigger):
        launches, plan = self.plan()
        firsts = []
        for run in range(launches):
            stop = start()
            try:
                time.sleep(1)
                firsts.append(self.showing(trigger))
                if run == launches - 1:
                    for hidden, count in plan:
                        later = []
                        for _ in range(count):
                            time.sleep(hidden)
                            later.append(self.showing(trigger))
                        self.record(subject, f"after {hidden} s hidden", later)
            finally:
                stop()
        self.record(subject, "first after launch", firsts)

    def record(self, subject, case, showings):
        key = f"wayland | {subject} | {case}"
        record = self.bench.record
        record("wayland: trigger to the page's colour (ms)", key, [s.show_ms for s in showings])
        record("wayland: another colour first (1 = yes)", key, [int(s.other_first) for s in showings])
        record("wayland: trigger to the first frame that changed there (ms)", key, [s.change_ms for s in showings])
        record("wayland: first colour where the desktop was", key, [s.first for s in showings])
        record("wayland: first colour where the desktop was (rrggbb)", key, [s.first_exact for s in showings])
        record("wayland: colours before the page's", key, ["|".join(s.before) or "-" for s in showings])
        record("wayland: other colours while up", key, ["|".join(s.after) or "-" for s in showings])
        record("wayland: trigger to the desktop again (ms)", key, [s.hide_ms for s in showings])
        record("wayland: each change (rrggbb@ms from the trigger)", key, [s.trail for s in showings])
        self.showings.append((subject, case, showings))

    def rows(self):
        def stats(values):
            values = [v for v in values if v >= 0]
            if not values:
                return "—"
            return f"{statistics.median(values):.1f} / {percentile(values, .95):.1f}"

        def counts(names):
            tally = {}
            for name in names:
                tally[name] = tally.get(name, 0) + 1
            return ", ".join(f"{name} {n}" for name, n in sorted(tally.items(), key=lambda item: -item[1])) or "—"

        cases = ("first after launch", "after 3 s hidden", "after 12 s hidden")
        for subject, case, showings in sorted(self.showings, key=lambda s: (s[0] != "plenhall", cases.index(s[1]))):
            shown = [s.show_ms for s in showings]
            missed = sum(1 for v in shown if v < 0)
            self.table.append((subject, case, len(showings), stats(shown) + (f" ({missed} never)" if missed else ""),
                               max(shown, default=float("nan")), stats([s.change_ms for s in showings]),
                               sum(s.other_first for s in showings),
                               counts(s.first for s in showings),
                               counts(c for s in showings for c in s.before) if any(s.before for s in showings)
                               else "—",
                               f"{sum(bool(s.after) for s in showings)}" +
                               (f" ({counts(c for s in showings for c in s.after)})"
                                if any(s.after for s in showings) else ""),
                               stats([s.hide_ms for s in showings])))

        def find(subject, case):
            return next((s for su, c, s in self.showings if (su, c) == (subject, case)), [])

        for case in cases:
            ours, bare = find("plenhall", case), find("bare webkit", case)
            if not ours:
                continue
            blank = sum(s.other_first for s in ours)
            self.bench.rows.append((
                f"wayland (sway, headless): {case}, trigger to the page's colour (ms), showings with another "
                "colour first", f"{stats([s.show_ms for s in ours])}, {blank} of {len(ours)}",
                f"bare webkit {stats([s.show_ms for s in bare])}, {sum(s.other_first for s in bare)} of {len(bare)}",
                "no other colour first", "yes" if blank == 0 else "no"))
        self.notes.append(
            "engine path: " + ("a GPU render node is present: the engine's default (compositing) for the program"
                               if render_node() else
                               "no GPU render node (/dev/dri/renderD*): the program sets the engine's hardware "
                               "acceleration policy to NEVER (no compositing); the bare web view has "
                               "WEBKIT_DISABLE_COMPOSITING_MODE=1, the same path"))
