#!/usr/bin/env python3
"""The real program under valgrind's memcheck on a private headless desktop: it loads the plain
fixture page, is shown and hidden by the shortcut many times, reloads, opens the settings
window, then quits. Writes bench/results/valgrind.md and exits non-zero when memcheck reports an
error or a definite leak made by this program's own code.

  python3 bench/valgrind.py --binary build/tests/plenhall-desktop-e2e [--toggles 200]

The engine's web and network processes are not run under valgrind; errors and one-time leaks inside
the libraries (GTK, the engine, fontconfig, the dynamic loader) are counted but not held against us.
"""
import argparse
import datetime
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
from harness import SHORTCUT, App, Desktop, Site, wait_until  # noqa: E402

PAGE = ("<!doctype html><html><head><title>Fixture calendar</title></head><body>"
        "<h1>Fixture calendar</h1><input autofocus>"
        "<script>addEventListener('load', () => fetch('/loaded'));</script></body></html>")

ALLOCATORS = re.compile(r": (malloc|calloc|realloc|memalign|posix_memalign|operator new|g_malloc|g_malloc0|g_realloc|"
                        r"g_slice_\w+|g_strdup\w*|g_memdup\w*|strdup|strndup)\b")
OUR_FRAME = re.compile(r": (plenhall::|main \()")


def ours(body):
    """The record is this program's when its innermost frame past the allocator is our code: our own
    access, or memory our code allocated. Library leaks merely reached through our calls are not."""
    for line in body.splitlines()[1:]:
        line = line.strip()
        if not line.startswith(("at ", "by ")) or ALLOCATORS.search(line):
            continue
        return bool(OUR_FRAME.search(line))
    return False


def records(log_text):
    """memcheck's error and leak records: (first line, whole record)."""
    blocks, current = [], []
    for line in log_text.splitlines():
        body = re.sub(r"^==\d+== ?", "", line)
        if not body.strip():
            if current:
                blocks.append(current)
            current = []
        else:
            current.append(body)
    if current:
        blocks.append(current)
    kinds = ("Invalid ", "Conditional jump", "Use of uninitialised", "Syscall param", "Mismatched free",
             "definitely lost", "Source and destination overlap", "Argument ")
    return [(block[0], "\n".join(block)) for block in blocks if any(k in block[0] for k in kinds)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--toggles", type=int, default=200)
    parser.add_argument("--out", default=os.path.join(HERE, "results"))
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="plenhall-valgrind-")
    log_path = os.path.join(work, "memcheck.log")
    wrapper = os.path.join(work, "program")
    with open(wrapper, "w") as f:
        f.write("#!/bin/sh\nexec valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite "
                "--errors-for-leak-kinds=definite --num-callers=40 --track-origins=no "
                f"--log-file={log_path} {os.path.abspath(args.binary)} \"$@\"\n")
    os.chmod(wrapper, 0o755)
    harness.BINARY = wrapper

    started = time.monotonic()
    desktop = Desktop(server="xvfb")
    try:
        desktop.start()
        site = Site()
        site.start()
        site.routes["/app"] = (200, "text/html", PAGE)
        site.routes["/loaded"] = (204, "text/plain", "")
        try:
            app = App(desktop, preferences={"hasOnboarded": True})
            app.start()
            calendar = app.window("calendar", timeout=300)

            def command(url):
                # A second start hands the URL to the running program and ends; it runs natively.
                subprocess.run([os.path.abspath(args.binary), url], env=app.environment(), timeout=60,
                               capture_output=True)
            wait_until(lambda: site.requests_for("/loaded"), 300, interval=1, message="the page under valgrind")
            time.sleep(5)
            for i in range(args.toggles):
                desktop.key(SHORTCUT)
                wait_until(lambda: desktop.is_viewable(calendar), 60, message=f"shown ({i})")
                desktop.key(SHORTCUT)
                wait_until(lambda: not desktop.is_viewable(calendar), 60, message=f"hidden ({i})")
                if i % 50 == 25:
                    command("plenhall://settings")
                    settings = app.window("settings", timeout=120)
                    wait_until(lambda: desktop.is_viewable(settings), 60, message="the settings window")
                    command("plenhall://show")
                    wait_until(lambda: desktop.is_viewable(calendar), 60, message="shown by URL")
                    app.click_status_item("Reload")
                    time.sleep(2)
                    command("plenhall://hide")
                    wait_until(lambda: not desktop.is_viewable(calendar), 60, message="hidden by URL")
            app.process.terminate()  # quits like Quit, so the leak check sees an orderly end
            app.process.wait(600)
        finally:
            site.stop()
    finally:
        desktop.stop()
    minutes = (time.monotonic() - started) / 60

    with open(log_path, errors="replace") as f:
        text = f.read()
    found = records(text)
    mine = [(head, body) for head, body in found if ours(body)]
    summary = re.findall(r"ERROR SUMMARY: .*", text)
    leaks = {kind: re.search(rf"{kind}: ([\d,]+) bytes", text) for kind in
             ("definitely lost", "indirectly lost", "possibly lost")}

    os.makedirs(args.out, exist_ok=True)
    lines = ["# The program under valgrind", "",
             f"Run {datetime.datetime.utcnow():%Y-%m-%d %H:%M} UTC, {minutes:.0f} minutes: {args.toggles} show/hide "
             "cycles by the shortcut, every 50 cycles the settings window, show and hide by URL and a reload "
             "from the status menu, then quit.", "",
             f"- memcheck: {summary[-1] if summary else 'no summary (did the program end?)'}"]
    for kind, match in leaks.items():
        lines.append(f"- {kind}: {match.group(1) if match else '0'} bytes")
    lines.append(f"- records made by this program's own code (innermost frame past the allocator): {len(mine)}")
    lines.append(f"- records made inside the libraries: {len(found) - len(mine)}")
    if found:
        lines += ["", "## Records", ""]
        for head, body in found:
            frames = [line.strip() for line in body.splitlines()[1:] if line.strip().startswith(("at ", "by "))]
            mark = "ours" if (head, body) in mine else "library"
            lines.append(f"- ({mark}) {head} — " + " ← ".join(frames[:4]))
    with open(os.path.join(args.out, "valgrind.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines))
    print(f"memcheck log: {log_path}")
    return 1 if mine else 0


if __name__ == "__main__":
    sys.exit(main())
