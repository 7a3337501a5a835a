"""Presses the test desktop's global shortcut (the Trigger of
tests/wayland/portal/test_portal_backend.py on /com/plenhall/PortalTest) for each line read, from
one process that stays connected to the session bus: a new process per press would put its
start-up between the time taken and the press.

Run as the desktop's user (the bus admits no one else). Each stdin line "ID TOKEN" (TOKEN may be
left out) answers "<CLOCK_MONOTONIC s just before the call> <sessions signalled>".
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

import dbus  # noqa: E402

from harness import TEST_PORTAL  # noqa: E402


def main():
    backend = dbus.Interface(dbus.SessionBus().get_object(TEST_PORTAL, "/com/plenhall/PortalTest"),
                             "com.plenhall.PortalTest")
    print("ready", flush=True)
    for line in sys.stdin:
        shortcut, _, token = line.strip().partition(" ")
        pressed = time.monotonic()
        heard = int(backend.Trigger(shortcut, dbus.UInt64(0), token))
        print(f"{pressed:.6f} {heard}", flush=True)


if __name__ == "__main__":
    main()
