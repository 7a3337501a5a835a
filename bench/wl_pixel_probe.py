#!/usr/bin/env python3
"""Builds and runs bench/wl_pixel_probe.c: the colours one point of a wlroots compositor's screen
shows, frame by frame, from now until an expected colour. Used by the benchmark's Wayland
section on the end-to-end harness's private sway (tests/e2e/harness.py's Sway).

  python3 bench/wl_pixel_probe.py build [DIR]      builds it (once) and prints its path

From Python (with a started harness.Sway):

  sys.path.insert(0, os.path.join(REPO, "bench"))
  import wl_pixel_probe
  seen = wl_pixel_probe.colours_until(sway, (640, 400), "2a6f97", sway.press_shortcut)
  assert seen.first_change() == "2a6f97", seen   # no other colour came first

Building needs wayland-scanner, libwayland-dev and wayland-protocols (Debian 12:
`apt-get install libwayland-bin libwayland-dev wayland-protocols`) and a C compiler.
"""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "wl_pixel_probe.c")
DEFAULT_DIR = os.path.join(HERE, "..", "build", "wl-pixel-probe")
# Debian 12 has no wlr-protocols package; later releases put the XML there.
SCREENCOPY_XML = ["/usr/share/wlr-protocols/unstable/wlr-screencopy-unstable-v1.xml",
                  os.path.join(HERE, "protocols", "wlr-screencopy-unstable-v1.xml")]


def _pkg_config(*arguments):
    return subprocess.run(["pkg-config", *arguments], capture_output=True, text=True, check=True).stdout.split()


def build(directory=None):
    """The probe's executable, compiled into `directory` (default build/wl-pixel-probe/) unless it
    is newer than its sources there already."""
    directory = os.path.abspath(directory or DEFAULT_DIR)
    binary = os.path.join(directory, "wl_pixel_probe")
    screencopy = next(path for path in SCREENCOPY_XML if os.path.exists(path))
    protocols = _pkg_config("--variable=pkgdatadir", "wayland-protocols")[0]
    xdg_output = os.path.join(protocols, "unstable", "xdg-output", "xdg-output-unstable-v1.xml")
    sources = [SOURCE, screencopy, xdg_output, __file__]
    if os.path.exists(binary) and os.path.getmtime(binary) >= max(map(os.path.getmtime, sources)):
        return binary
    os.makedirs(directory, exist_ok=True)
    scanner = (_pkg_config("--variable=wayland_scanner", "wayland-scanner") or ["wayland-scanner"])[0]
    generated = []
    for xml in (screencopy, xdg_output):
        name = os.path.basename(xml)[:-len(".xml")]
        header = os.path.join(directory, f"{name}-client-protocol.h")
        code = os.path.join(directory, f"{name}-protocol.c")
        subprocess.run([scanner, "client-header", xml, header], check=True)
        subprocess.run([scanner, "private-code", xml, code], check=True)
        generated.append(code)
    compiler = os.environ.get("CC") or shutil.which("cc") or "gcc"
    subprocess.run([compiler, "-O2", "-std=c11", "-Wall", "-Wextra", "-I", directory, "-o", binary + ".new", SOURCE,
                    *generated, *_pkg_config("--cflags", "--libs", "wayland-client")], check=True)
    os.replace(binary + ".new", binary)
    return binary


class Sequence:
    """What the point showed: `frames`, each (CLOCK_MONOTONIC µs, "rrggbb"), the first being what
    it showed as the probe started, then one per change; `reached`: the expected colour came."""

    def __init__(self, frames, reached, stderr=""):
        self.frames = frames
        self.reached = reached
        self.stderr = stderr

    @property
    def colours(self):
        return [colour for _, colour in self.frames]

    def first_change(self):
        """The first colour after the one shown at the start; None if nothing changed."""
        return self.colours[1] if len(self.frames) > 1 else None

    def __repr__(self):
        return f"Sequence({' → '.join(self.colours)}, reached={self.reached})"


class Probe:
    """One run of the probe. `wrap` turns a command into the one to run (a session's `command`,
    to run it as the desktop's user), `env` is its environment (with WAYLAND_DISPLAY)."""

    def __init__(self, binary, point, expected=None, timeout_ms=5000, then_ms=0, every=False, wrap=None,
                 env=None):
        command = [binary, "--timeout", str(int(timeout_ms))]
        command += ["--then", str(int(then_ms))] if then_ms else []
        command += ["--every"] if every else []
        command += [f"{point[0]},{point[1]}"] + ([expected.lower().lstrip("#")] if expected else [])
        self.process = subprocess.Popen((wrap or list)(command), env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, start_new_session=True)
        self.frames = []

    def started(self, timeout=5):
        """Waits for the first frame (what the point shows now) and returns it."""
        line = self.process.stdout.readline()  # the probe's first frame comes within one refresh
        if not line:
            self.process.wait(timeout)
            raise RuntimeError(f"the pixel probe did not start: {self.process.stderr.read().strip()}")
        self.frames.append(_frame(line))
        return self.frames[0]

    def finish(self, timeout=30):
        """Waits for the probe to end; the whole Sequence."""
        try:
            out, err = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        self.frames += [_frame(line) for line in out.splitlines() if line.strip()]
        if self.process.returncode not in (0, 1):
            raise RuntimeError(f"the pixel probe failed ({self.process.returncode}): {err.strip()}")
        return Sequence(self.frames, self.process.returncode == 0, err)


def _frame(line):
    when, colour = line.split()
    return int(when), colour


def session_binary(session, binary=None):
    """The probe where the session's user can run it (its root), built first if need be."""
    binary = binary or build()
    if not getattr(session, "user", None):
        return binary
    copy = os.path.join(session.root, "wl_pixel_probe")
    if not os.path.exists(copy):
        shutil.copy2(binary, copy)
        os.chmod(copy, 0o755)
    return copy


def colours_until(session, point, expected, action, timeout_ms=5000, binary=None):
    """The colours `point` of `session`'s screen (a harness.Sway) shows from just before
    `action()` until `expected` ("rrggbb") or `timeout_ms`: a Sequence. No timing is asserted
    here; the frames carry their times for whoever wants them."""
    probe = Probe(session_binary(session, binary), point, expected, timeout_ms, wrap=session.command,
                  env=session.base_env())
    probe.started()
    action()
    return probe.finish(timeout=timeout_ms / 1000 + 10)


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "build":
        print(build(sys.argv[2] if len(sys.argv) > 2 else None))
        return
    print(__doc__, file=sys.stderr)
    sys.exit(2)


if __name__ == "__main__":
    main()
