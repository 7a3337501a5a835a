#!/usr/bin/python3
# A desktop notification server (org.freedesktop.Notifications) that only writes down what it is
# asked, one JSON line a call, to the file given as the first argument; its first line is
# {"call": "ready"}. The test clicks a notification through com.plenhall.NotificationTest.Click(u id):
# ActionInvoked(id, "default"), then NotificationClosed(id, 2), as servers close a clicked one.

import json
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record, self.ids = record, 0

    def write(self, **entry):
        with open(self.record, "a") as f:
            f.write(json.dumps(entry) + "\n")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        self.ids += 1
        self.write(call="Notify", id=self.ids, summary=str(summary), body=str(body), actions=[str(a) for a in actions])
        return dbus.UInt32(self.ids)

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, nid):
        self.write(call="CloseNotification", id=int(nid))
        self.NotificationClosed(nid, dbus.UInt32(3))

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, nid, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.method("com.plenhall.NotificationTest", in_signature="u")
    def Click(self, nid):
        self.ActionInvoked(nid, "default")
        self.NotificationClosed(nid, dbus.UInt32(2))


if __name__ == "__main__":
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    server = Server(bus, sys.argv[1])
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)  # noqa: F841 (held while running)
    loop = GLib.MainLoop()
    signal.signal(signal.SIGTERM, lambda *_: loop.quit())
    server.write(call="ready")
    loop.run()
