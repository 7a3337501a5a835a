"""A user's hands on a headless mutter, through mutter's own D-Bus API on the session bus.

Holds one org.gnome.Mutter.RemoteDesktop session for its whole run (mutter ends a session when its
caller leaves the bus, and the session's virtual devices are the seat's only pointer and keyboard),
then reads commands from stdin, one a line, and answers each with one line, "ok", a JSON value or
"error: …":
  pointer X Y        puts the pointer at X,Y of the monitor layout
  keys SYM…          presses and releases each X keysym (hexadecimal or decimal) in turn
  monitors           the logical monitors: connector, x, y, width, height, primary
  arrange JSON       applies a layout (a list of connector, x, y, primary) until mutter restarts
Prints "ready" once the session runs, or one line and exits 1 when mutter never answers.
"""

import json
import sys
import time

from gi.repository import Gio, GLib

REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"
DISPLAY_CONFIG = "org.gnome.Mutter.DisplayConfig"
STATE = "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})"
# Farther than any layout reaches: a motion that would leave every monitor stops at the edge of
# the monitor it started on.
FAR = 100000.0
XK_SHIFT_L = 0xFFE1

bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(name, path, interface, method, arguments=None, reply="()"):
    return bus.call_sync(name, path, interface, method, arguments, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 10000, None).unpack()


def start_session():
    deadline = time.monotonic() + 20
    while True:  # mutter takes its names on the bus a moment after its Wayland socket appears
        try:
            return call(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop", REMOTE_DESKTOP, "CreateSession",
                        reply="(o)")[0]
        except GLib.Error as error:
            if time.monotonic() > deadline:
                print(f"error: no remote desktop from mutter: {error.message}", flush=True)
                sys.exit(1)
            time.sleep(0.1)


session = start_session()


def session_call(method, signature, *arguments):
    call(REMOTE_DESKTOP, session, REMOTE_DESKTOP + ".Session", method, GLib.Variant(signature, arguments))


def move(dx, dy):
    session_call("NotifyPointerMotionRelative", "(dd)", float(dx), float(dy))


def keys(symbols):
    for symbol in symbols:
        for pressed in (True, False):
            session_call("NotifyKeyboardKeysym", "(ub)", symbol, pressed)


def state():
    return call(DISPLAY_CONFIG, "/org/gnome/Mutter/DisplayConfig", DISPLAY_CONFIG, "GetCurrentState", reply=STATE)


def current_mode(physical, connector):
    for (name, *_), modes, _ in physical:
        if name == connector:
            return next(mode for mode in modes if mode[6].get("is-current"))
    raise KeyError(connector)


def monitors():
    _, physical, logical, _ = state()
    found = []
    for x, y, _, _, primary, (monitor, *_), _ in logical:
        mode = current_mode(physical, monitor[0])
        found.append({"connector": monitor[0], "x": x, "y": y, "width": mode[1], "height": mode[2],
                      "primary": primary})
    return found


def arrange(layout):
    serial, physical, _, _ = state()
    logical = [(m["x"], m["y"], 1.0, 0, m["primary"], [(m["connector"], current_mode(physical, m["connector"])[0], {})])
               for m in layout]
    temporary = 1  # persistent layouts wait for the user to confirm them
    call(DISPLAY_CONFIG, "/org/gnome/Mutter/DisplayConfig", DISPLAY_CONFIG, "ApplyMonitorsConfig",
         GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})", (serial, temporary, logical, {})))


def pointer(x, y):
    # Relative motion only (absolute motion needs a screen-cast stream, hence PipeWire), from the
    # layout's top-left corner: to the corner of the monitor the pointer is on, then one step left
    # onto its neighbour, once for each monitor.
    for _ in monitors():
        move(-FAR, -FAR)
        move(-1, 0)
    move(-FAR, -FAR)
    move(x, y)


call(REMOTE_DESKTOP, session, REMOTE_DESKTOP + ".Session", "Start")
# mutter adds a remote session's keyboard to the seat with its first key; until then no window has
# the keyboard focus, which is what tells a toolkit window it is active.
keys([XK_SHIFT_L])
print("ready", flush=True)

for line in sys.stdin:
    command, _, rest = line.strip().partition(" ")
    try:
        if command == "pointer":
            pointer(*(float(n) for n in rest.split()))
            answer = "ok"
        elif command == "keys":
            keys([int(symbol, 0) for symbol in rest.split()])
            answer = "ok"
        elif command == "monitors":
            answer = json.dumps(monitors())
        elif command == "arrange":
            arrange(json.loads(rest))
            answer = "ok"
        else:
            answer = f"error: unknown command {command!r}"
    except (GLib.Error, KeyError, ValueError, TypeError) as error:
        answer = f"error: {command}: {error}"
    print(answer, flush=True)
