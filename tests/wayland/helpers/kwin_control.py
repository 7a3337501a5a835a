"""A user's hands on a headless KWin, and KWin's own account of its windows.

The hands are KWin's fake-input Wayland protocol (org_kde_kwin_fake_input, which KWin offers to
any client only when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1), spoken here directly on
the Wayland socket: pressing keys through it goes through KWin's input pipeline, global shortcuts
included, as a keyboard would. The account is a KWin script (org.kde.kwin.Scripting on the session
bus) that hands the windows back through callDBus.

Reads commands from stdin, one a line, and answers each with one line, "ok", a JSON value or
"error: …":
  pointer X Y     puts the pointer at X,Y of the output layout
  click           presses and releases the left button where the pointer is
  keys CHORD…     for each chord (evdev key codes joined by "+"): presses its keys in order, then
                  releases them in reverse
  windows         KWin's windows: [{caption, pid, fullScreen, active, geometry: [x, y, width,
                  height]}]
  shortcuts       what KWin's shortcut daemon holds: {component: {action: [Qt key codes]}}
  forget C A      the daemon forgets action A of component C, as if never bound
  has-name NAME   whether NAME has an owner on the session bus
Prints "ready" once the fake devices are there, or one line and exits 1 when KWin never offers them.
"""

import json
import os
import socket
import struct
import sys
import tempfile
import time

from gi.repository import Gio, GLib

FAKE_INPUT = "org_kde_kwin_fake_input"
# Its requests, by opcode.
AUTHENTICATE, BUTTON, POINTER_MOTION_ABSOLUTE, KEYBOARD_KEY = 0, 2, 9, 10
BTN_LEFT = 0x110
NAME = "com.plenhall.KWinControl"
SCRIPT = """callDBus("%s", "/", "%s", "Report", JSON.stringify(workspace.clientList().map(w => ({
  caption: w.caption, pid: w.pid, fullScreen: w.fullScreen, active: w.active,
  geometry: [w.frameGeometry.x, w.frameGeometry.y, w.frameGeometry.width, w.frameGeometry.height]}))));
"""


class Wayland:
    """Just enough of the Wayland wire protocol for one global's requests."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
        self.next_id = 2
        self.pending = b""
        self.globals = {}
        self.registry = self.new_id()
        self.send(1, 1, struct.pack("<I", self.registry))  # wl_display.get_registry
        self.roundtrip()

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def send(self, obj, opcode, payload=b""):
        self.socket.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def roundtrip(self):
        """Waits until the compositor has handled everything sent so far (wl_display.sync)."""
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))
        while True:
            while len(self.pending) < 8 or len(self.pending) < struct.unpack_from("<I", self.pending, 4)[0] >> 16:
                data = self.socket.recv(65536)
                if not data:
                    raise ConnectionError("the compositor closed the connection")
                self.pending += data
            obj, size_opcode = struct.unpack_from("<II", self.pending)
            size, opcode = size_opcode >> 16, size_opcode & 0xFFFF
            body, self.pending = self.pending[8:size], self.pending[size:]
            if obj == 1 and opcode == 0:  # wl_display.error
                raise ConnectionError("protocol error: " + body[12:].rstrip(b"\0").decode(errors="replace"))
            if obj == self.registry and opcode == 0:  # wl_registry.global
                name, length = struct.unpack_from("<II", body)
                interface = body[8:8 + length - 1].decode()
                self.globals[interface] = (name, struct.unpack_from("<I", body, 8 + (length + 3) // 4 * 4)[0])
            if obj == callback:
                return

    def bind(self, interface, version):
        name, offered = self.globals[interface]
        obj = self.new_id()
        self.send(self.registry, 0, struct.pack("<I", name) + self.string(interface)
                  + struct.pack("<II", min(version, offered), obj))
        return obj


def fixed(value):
    return struct.pack("<i", int(round(value * 256)))


wayland = Wayland()
if FAKE_INPUT not in wayland.globals:
    print(f"error: KWin offers no {FAKE_INPUT} (KWIN_WAYLAND_NO_PERMISSION_CHECKS unset?)", flush=True)
    sys.exit(1)
fake = wayland.bind(FAKE_INPUT, 4)
wayland.send(fake, AUTHENTICATE, wayland.string("plenhall tests") + wayland.string("a user's hands"))
wayland.roundtrip()

bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(name, path, interface, method, signature=None, *arguments):
    return bus.call_sync(name, path, interface, method, GLib.Variant(signature, arguments) if signature else None,
                         None, Gio.DBusCallFlags.NONE, 10000, None).unpack()


def kglobalaccel(path, interface, method, signature=None, *arguments):
    return call("org.kde.kglobalaccel", path, interface, method, signature, *arguments)


def scripting(method, signature=None, *arguments):
    return call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", method, signature, *arguments)


# Where the window script reports.
reports = []
bus.register_object("/", Gio.DBusNodeInfo.new_for_xml(
    f'<node><interface name="{NAME}"><method name="Report"><arg type="s" direction="in"/></method>'
    '</interface></node>').interfaces[0],
    lambda connection, sender, path, interface, method, parameters, invocation: (
        reports.append(parameters.unpack()[0]), invocation.return_value(None)))
script_path = os.path.join(tempfile.mkdtemp(dir=os.environ["XDG_RUNTIME_DIR"]), "windows.js")
with open(script_path, "w") as f:
    f.write(SCRIPT % (bus.get_unique_name(), NAME))


def windows():
    del reports[:]
    plugin = f"plenhall-windows-{time.monotonic_ns()}"
    scripting("loadScript", "(ss)", script_path, plugin)
    try:
        scripting("start")
        deadline = time.monotonic() + 10
        while not reports:
            if time.monotonic() > deadline:
                raise TimeoutError("the script never reported")
            GLib.MainContext.default().iteration(False) or time.sleep(0.005)
    finally:
        scripting("unloadScript", "(s)", plugin)
    return reports[0]


def shortcuts():
    held = {}
    for path in kglobalaccel("/kglobalaccel", "org.kde.KGlobalAccel", "allComponents")[0]:
        for action, _, component, *_, keys, _ in kglobalaccel(path, "org.kde.kglobalaccel.Component",
                                                               "allShortcutInfos")[0]:
            held.setdefault(component, {})[action] = keys
    return held


def press(chords):
    for chord in chords:
        codes = [int(code) for code in chord.split("+")]
        for code in codes:
            wayland.send(fake, KEYBOARD_KEY, struct.pack("<II", code, 1))
        for code in reversed(codes):
            wayland.send(fake, KEYBOARD_KEY, struct.pack("<II", code, 0))
        wayland.roundtrip()


print("ready", flush=True)

for line in sys.stdin:
    command, _, rest = line.strip().partition(" ")
    try:
        if command == "pointer":
            x, y = (float(n) for n in rest.split())
            wayland.send(fake, POINTER_MOTION_ABSOLUTE, fixed(x) + fixed(y))
            wayland.roundtrip()
            answer = "ok"
        elif command == "click":
            for state in (1, 0):
                wayland.send(fake, BUTTON, struct.pack("<II", BTN_LEFT, state))
            wayland.roundtrip()
            answer = "ok"
        elif command == "keys":
            press(rest.split())
            answer = "ok"
        elif command == "windows":
            answer = windows()
        elif command == "shortcuts":
            answer = json.dumps(shortcuts())
        elif command == "forget":
            kglobalaccel("/kglobalaccel", "org.kde.KGlobalAccel", "unregister", "(ss)", *rest.split())
            answer = "ok"
        elif command == "has-name":
            answer = json.dumps(call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                     "NameHasOwner", "(s)", rest)[0])
        else:
            answer = f"error: unknown command {command!r}"
    except (GLib.Error, OSError, ValueError, TimeoutError) as error:
        answer = f"error: {command}: {error}"
    print(answer, flush=True)
