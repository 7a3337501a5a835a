# A user's hands on a headless mutter (bare or GNOME Shell's) or KWin (argv[1]), and the
# compositor's own account.
#
# Answers commands from stdin, one a line, with one line: "ok", a JSON value or "error: …"; says
# "ready" first, or one line and exits 1.
#   pointer X Y      the pointer to X,Y of the output layout
#   click            (KWin) the left button, pressed and released where the pointer is
#   keys CHORD…      each chord's keys pressed in order, then released (KWin: evdev codes, mutter: X
#                    keysyms, joined by "+")
#   windows          (KWin) [{caption, pid, fullScreen, active, geometry: [x, y, width, height]}]
#   monitors         (mutter) the logical monitors: connector, x, y, width, height
# mutter: one remote-desktop session for the whole run (mutter ends it when its caller leaves the
# bus, and its virtual devices are the seat's only pointer and keyboard). KWin: its fake-input
# protocol spoken on the Wayland socket (offered to anyone with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1),
# so a press goes through KWin's input handling, global shortcuts included; its windows from a KWin
# script that reports back over the bus.

import json
import os
import socket
import struct
import sys
import tempfile
import time

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(name, path, interface, method, signature=None, *arguments, reply=None):
    return bus.call_sync(name, path, interface, method, GLib.Variant(signature, arguments) if signature else None,
                         GLib.VariantType(reply) if reply else None, Gio.DBusCallFlags.NONE, 10000, None).unpack()


class Mutter:
    DESKTOP = "org.gnome.Mutter.RemoteDesktop"
    CONFIG = ("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig")

    def __init__(self):
        self.session = call(self.DESKTOP, "/org/gnome/Mutter/RemoteDesktop", self.DESKTOP, "CreateSession",
                            reply="(o)")[0]
        self.send("Start", None)
        # mutter adds the session's keyboard to the seat with its first key; until then no window
        # has the keyboard focus, which is what tells a toolkit window it is active.
        self.keys(["0xFFE1"])

    def send(self, method, signature, *arguments):
        call(self.DESKTOP, self.session, self.DESKTOP + ".Session", method, signature, *arguments)

    def keys(self, chords):
        for symbols in [[int(s, 0) for s in chord.split("+")] for chord in chords]:
            for symbol, pressed in [(s, True) for s in symbols] + [(s, False) for s in reversed(symbols)]:
                self.send("NotifyKeyboardKeysym", "(ub)", symbol, pressed)

    def state(self):
        # The layout's serial, and the current mode (id, width, height…) of each connector.
        serial, physical, logical, _ = call(*self.CONFIG, "GetCurrentState",
                                            reply="(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})")
        return serial, logical, {name: next(m for m in found if m[6].get("is-current"))
                                 for (name, *_), found, _ in physical}

    def monitors(self):
        _, logical, modes = self.state()
        return json.dumps([{"connector": m[0], "x": x, "y": y, "width": modes[m[0]][1], "height": modes[m[0]][2]}
                           for x, y, _, _, _, (m, *_), _ in logical])

    def arrange(self, *layout):
        # CONNECTOR X Y… where the monitors go, the first the primary, until mutter ends.
        serial, _, modes = self.state()
        logical = [(int(layout[i + 1]), int(layout[i + 2]), 1.0, 0, i == 0, [(layout[i], modes[layout[i]][0], {})])
                   for i in range(0, len(layout), 3)]
        call(*self.CONFIG, "ApplyMonitorsConfig", "(uua(iiduba(ssa{sv}))a{sv})", serial, 1, logical, {})  # 1: temporary

    def pointer(self, x, y):
        # Relative motion only (absolute motion needs a screen cast, hence PipeWire): to the
        # top-left corner of the monitor the pointer is on, one step left onto its neighbour, once
        # a monitor; then from the layout's corner. A motion that would leave every monitor stops
        # at the edge of the one it started on.
        for _ in range(3):
            self.send("NotifyPointerMotionRelative", "(dd)", -1e5, -1e5)
            self.send("NotifyPointerMotionRelative", "(dd)", -1.0, 0.0)
        self.send("NotifyPointerMotionRelative", "(dd)", -1e5, -1e5)
        self.send("NotifyPointerMotionRelative", "(dd)", float(x), float(y))


class KWin:
    FAKE_INPUT = "org_kde_kwin_fake_input"
    AUTHENTICATE, BUTTON, POINTER_ABSOLUTE, KEY = 0, 2, 9, 10  # its requests' opcodes
    SCRIPT = """callDBus("%s", "/", "com.plenhall.Hands", "Report", JSON.stringify(workspace.clientList().map(
      w => ({caption: w.caption, pid: w.pid, fullScreen: w.fullScreen, active: w.active,
             geometry: [w.frameGeometry.x, w.frameGeometry.y, w.frameGeometry.width, w.frameGeometry.height]}))));"""

    def __init__(self):
        # Just enough of the Wayland wire protocol for one global's requests.
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
        self.next_id, self.pending, self.globals = 3, b"", {}
        self.send(1, 1, struct.pack("<I", 2))  # wl_display.get_registry
        self.roundtrip()
        name, version = self.globals[self.FAKE_INPUT]
        self.fake, self.next_id = self.next_id, self.next_id + 1
        self.send(2, 0, struct.pack("<I", name) + self.string(self.FAKE_INPUT)
                  + struct.pack("<II", min(version, 4), self.fake))
        self.send(self.fake, self.AUTHENTICATE, self.string("plenhall tests") + self.string("a user's hands"))
        self.roundtrip()
        self.reports = []
        bus.register_object("/", Gio.DBusNodeInfo.new_for_xml(
            '<node><interface name="com.plenhall.Hands"><method name="Report"><arg type="s" direction="in"/>'
            '</method></interface></node>').interfaces[0],
            lambda _c, _s, _p, _i, _m, parameters, invocation: (self.reports.append(parameters.unpack()[0]),
                                                                 invocation.return_value(None)))
        self.script = os.path.join(tempfile.mkdtemp(dir=os.environ["XDG_RUNTIME_DIR"]), "windows.js")
        with open(self.script, "w") as f:
            f.write(self.SCRIPT % bus.get_unique_name())

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def send(self, obj, opcode, payload=b""):
        self.socket.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def roundtrip(self):
        # Waits until KWin has handled everything sent so far (wl_display.sync).
        callback, self.next_id = self.next_id, self.next_id + 1
        self.send(1, 0, struct.pack("<I", callback))
        while True:
            while len(self.pending) < 8 or len(self.pending) < struct.unpack_from("<I", self.pending, 4)[0] >> 16:
                data = self.socket.recv(65536)
                assert data, "KWin closed the connection"
                self.pending += data
            obj, size_opcode = struct.unpack_from("<II", self.pending)
            body, self.pending = self.pending[8:size_opcode >> 16], self.pending[size_opcode >> 16:]
            assert obj != 1 or size_opcode & 0xFFFF, "protocol error: " + body[12:].decode(errors="replace")
            if obj == 2:  # wl_registry.global
                name, length = struct.unpack_from("<II", body)
                version = struct.unpack_from("<I", body, 8 + (length + 3) // 4 * 4)[0]
                self.globals[body[8:7 + length].decode()] = (name, version)
            if obj == callback:
                return

    def pointer(self, x, y):
        self.send(self.fake, self.POINTER_ABSOLUTE, struct.pack("<ii", round(float(x) * 256), round(float(y) * 256)))
        self.roundtrip()

    def click(self):
        for state in (1, 0):
            self.send(self.fake, self.BUTTON, struct.pack("<II", 0x110, state))  # BTN_LEFT
        self.roundtrip()

    def keys(self, chords):
        for codes in [[int(c) for c in chord.split("+")] for chord in chords]:
            for code, state in [(c, 1) for c in codes] + [(c, 0) for c in reversed(codes)]:
                self.send(self.fake, self.KEY, struct.pack("<II", code, state))
            self.roundtrip()

    def windows(self):
        self.reports.clear()
        plugin = f"plenhall-windows-{time.monotonic_ns()}"
        scripting = ("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting")
        call(*scripting, "loadScript", "(ss)", self.script, plugin)
        try:
            call(*scripting, "start")
            deadline = time.monotonic() + 10
            while not self.reports and time.monotonic() < deadline:
                GLib.MainContext.default().iteration(False) or time.sleep(0.005)
        finally:
            call(*scripting, "unloadScript", "(s)", plugin)
        return self.reports[0]


hands = {"mutter": Mutter, "gnome": Mutter, "kwin": KWin}[sys.argv[1]]()
print("ready", flush=True)
for line in sys.stdin:
    command, *arguments = line.split()
    try:
        print(getattr(hands, command)(*([arguments] if command == "keys" else arguments)) or "ok", flush=True)
    except Exception as error:  # noqa: BLE001 (any fault of a command is its answer)
        print(f"error: {command}: {error}", flush=True)
