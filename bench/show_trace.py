#!/usr/bin/env python3
"""One subject on Xvfb with openbox, shown and hidden a few times, with the program's show trace
(PLENHALL_TRACE_SHOW) and the pixel reader's times (X_LATENCY_TRACE) on one timeline, in ms from
each press: where a showing spends its time.

  show_trace.py --binary BUILD/tests/plenhall-desktop-e2e --x-latency BUILD/plenhall-bench-x-latency
                --fullcalendar PATH/index.global.min.js [--mode largeWindow] [--page fullcalendar]
                [--hidden 3] [--count 5] [--engine-env NAME=VALUE]

The first showing is the one after launch. Set PLENHALL_E2E_PORT to the port the test build was
configured with.
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import bench  # noqa: E402
import harness  # noqa: E402
from harness import App, Site, wait_until  # noqa: E402


def timeline(stderr_lines, log_lines):
    events = []
    for line in stderr_lines:
        words = line.split()
        if len(words) >= 2 and words[-1].isdigit():
            events.append((int(words[-1]), "screen: " + " ".join(words[:-1])))
    for line in log_lines:
        if line.startswith("show-trace "):
            _, at, step = line.split(" ", 2)
            events.append((int(at), step))
    events.sort()
    press = None
    for at, step in events:
        if step == "screen: press":
            press = at
        if press is not None:
            print(f"{(at - press) / 1000:9.2f}  {step}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--x-latency", required=True)
    parser.add_argument("--fullcalendar", required=True)
    parser.add_argument("--mode", default="fullScreen", choices=list(bench.CLIENT_AREAS))
    parser.add_argument("--page", default="fullcalendar", choices=["plain page", "fullcalendar"])
    parser.add_argument("--hidden", type=float, default=3)
    parser.add_argument("--count", type=int, default=5)
    parser.add_argument("--engine-env", action="append", default=[], metavar="NAME=VALUE")
    args = parser.parse_args()
    harness.BINARY = os.path.abspath(args.binary)

    desktop = bench.Bench.desktop()
    try:
        with Site() as site:
            desktop.x("xsetroot", "-solid", bench.ROOT_COLOUR)
            with open(args.fullcalendar, "rb") as f:
                site.routes["/fullcalendar.js"] = (200, "application/javascript", f.read())
            site.routes["/loaded"] = (204, "text/plain", "")
            site.routes["/app"] = (200, "text/html", bench.PLAIN_PAGE if args.page == "plain page"
                                   else bench.calendar_page("/fullcalendar.js"))
            app = App(desktop, preferences={"hasOnboarded": True, "displayMode": args.mode})
            extra = dict(item.split("=", 1) for item in args.engine_env)

            def environment(**more):
                env = App.environment(app, **more)
                env.pop("WEBKIT_DISABLE_COMPOSITING_MODE", None)
                return {**env, **extra, "PLENHALL_TRACE_SHOW": "1"}
            app.environment = environment
            app.start()
            window = app.calendar()
            wait_until(lambda: site.requests_for("/loaded"), 30, message="the page loaded")
            time.sleep(1)
            point, colour = bench.probe(args.page, args.mode)
            stderr = []
            for hidden, count in ((0, 1), (args.hidden, args.count)):
                out = subprocess.run(
                    [args.x_latency, "pixels", bench.SHORTCUT_KEYCODES, f"{point[0]},{point[1]}", colour,
                     str(int(hidden * 1000)), str(count), str(window), bench.fresh_probe(args.mode)],
                    env={**os.environ, **desktop.env, "X_LATENCY_TRACE": "1"}, capture_output=True, text=True,
                    timeout=count * (hidden + 15) + 60)
                print(out.stdout, end="")
                stderr += out.stderr.splitlines()
            app.stop()
            with open(app.log_path) as f:
                timeline(stderr, f.read().splitlines())
    finally:
        desktop.stop()


if __name__ == "__main__":
    main()
