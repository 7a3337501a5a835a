#!/usr/bin/python3
"""A desktop notification server (org.freedesktop.Notifications) that only writes down what it is
asked, for the end-to-end tests. Every call is appended as one JSON line to the file given as the
first argument.

Control interface com.plenhall.NotificationTest at /org/freedesktop/Notifications:
  Click(u id)     the user clicks the notification: ActionInvoked(id, "default"), then
                  NotificationClosed(id, 2), as servers close a clicked notification
  Dismiss(u id)   the user dismisses it: NotificationClosed(id, 2)
"""

import json
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
CONTROL = "com.plenhall.NotificationTest"


class Server(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, PATH)
        self.record = record
        self.next_id = 1

    def write(self, entry):
        with open(self.record, "a") as f:
            f.write(json.dumps(entry) + "\n")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        nid = self.next_id
        self.next_id += 1
        self.write({"call": "Notify", "id": nid, "app_name": str(app_name), "app_icon": str(app_icon),
                    "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
                    "hints": {str(k): str(v) for k, v in hints.items()}})
        return dbus.UInt32(nid)

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, nid):
        self.write({"call": "CloseNotification", "id": int(nid)})
        self.NotificationClosed(nid, dbus.UInt32(3))

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("recorder", "plenhall", "1", "1.2")

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, nid, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.method(CONTROL, in_signature="u")
    def Click(self, nid):
        self.ActionInvoked(nid, "default")
        self.NotificationClosed(nid, dbus.UInt32(2))

    @dbus.service.method(CONTROL, in_signature="u")
    def Dismiss(self, nid):
        self.NotificationClosed(nid, dbus.UInt32(2))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    server = Server(bus, sys.argv[1])
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)  # noqa: F841 (held while running)
    loop = GLib.MainLoop()
    signal.signal(signal.SIGTERM, lambda *_: loop.quit())
    server.write({"call": "ready"})
    loop.run()


if __name__ == "__main__":
    main()
