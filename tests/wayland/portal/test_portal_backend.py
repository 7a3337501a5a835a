#!/usr/bin/python3
# The test desktop's portal backend for Debian's real xdg-desktop-portal (plenhall-test.portal's
# directory in XDG_DESKTOP_PORTAL_DIR, XDG_CURRENT_DESKTOP=plenhalltest): global shortcuts, which it
# keeps across sessions as KDE does, and the appearance's color-scheme. Steered on its bus name at
# /com/plenhall/PortalTest, interface com.plenhall.PortalTest:
#   Trigger(s id, t timestamp, s token) -> u   the user presses the shortcut: Activated for every live
#                                              session once `id` is bound; how many heard it
#   Forget()                                   as if the desktop had never bound anything
#   SetColorScheme(u)                          the user picks dark (1) or light (2)
#   Stats() -> a{sv}                           binds, sessions (u), preferred_trigger (s)

import signal
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
SETTINGS = "org.freedesktop.impl.portal.Settings"
CONTROL = "com.plenhall.PortalTest"
APPEARANCE = "org.freedesktop.appearance"


def listed(bound):
    return dbus.Array([(sid, {"description": "", "trigger_description": trigger}) for sid, trigger in bound.items()],
                      signature="(sa{sv})")


class Session(dbus.service.Object):
    def __init__(self, portal, path):
        super().__init__(portal.connection, path)
        self.portal, self.path = portal, str(path)

    @dbus.service.method("org.freedesktop.impl.portal.Session")
    def Close(self):
        if self.portal.sessions.pop(self.path, None):
            self.remove_from_connection()


class Portal(dbus.service.Object):
    SUPPORTS_MULTIPLE_OBJECT_PATHS = True

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.add_to_connection(bus, "/com/plenhall/PortalTest")
        self.sessions, self.bound, self.scheme = {}, {}, None
        self.stats = {"binds": dbus.UInt32(0), "sessions": dbus.UInt32(0), "preferred_trigger": ""}

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session, app_id, options):
        # A frontend that has gone (a restart) left its sessions dead; the new one may reuse a path.
        if old := self.sessions.pop(str(session), None):
            old.remove_from_connection()
        self.sessions[str(session)] = Session(self, session)
        self.stats["sessions"] += 1
        # Frontend 1.16 copies "shortcuts" from here into its Response unchecked: always send it.
        return 0, {"shortcuts": listed(self.bound)}

    @dbus.service.method(SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session):
        return 0, {"shortcuts": listed(self.bound)}

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session, shortcuts, parent_window, options):
        self.stats["binds"] += 1
        granted = {str(sid): str(properties.get("preferred_trigger", "")) for sid, properties in shortcuts}
        self.stats["preferred_trigger"] = ",".join(granted.values())
        self.bound.update(granted)
        return 0, {"shortcuts": listed(granted)}

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, sid, timestamp, options):
        pass

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return dbus.UInt32(1)  # the version of either interface

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"version": dbus.UInt32(1)}

    @dbus.service.method(SETTINGS, in_signature="as", out_signature="a{sa{sv}}")
    def ReadAll(self, namespaces):
        known = {} if self.scheme is None else {APPEARANCE: {"color-scheme": dbus.UInt32(self.scheme)}}
        return dbus.Dictionary(known, signature="sa{sv}")

    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        if (namespace, key) != (APPEARANCE, "color-scheme") or self.scheme is None:
            raise dbus.exceptions.DBusException("not found", name="org.freedesktop.portal.Error.NotFound")
        return dbus.UInt32(self.scheme)

    @dbus.service.signal(SETTINGS, signature="ssv")
    def SettingChanged(self, namespace, key, value):
        pass

    @dbus.service.method(CONTROL, in_signature="sts", out_signature="u")
    def Trigger(self, sid, timestamp, token):
        heard = list(self.sessions) if sid in self.bound else []
        for path in heard:
            self.Activated(dbus.ObjectPath(path), sid, dbus.UInt64(timestamp or int(time.monotonic() * 1000)),
                           dbus.Dictionary({"activation_token": token} if token else {}, signature="sv"))
        return len(heard)

    @dbus.service.method(CONTROL)
    def Forget(self):
        self.bound = {}

    @dbus.service.method(CONTROL, in_signature="u")
    def SetColorScheme(self, scheme):
        self.scheme = int(scheme)
        self.SettingChanged(APPEARANCE, "color-scheme", dbus.UInt32(scheme))

    @dbus.service.method(CONTROL, out_signature="a{sv}")
    def Stats(self):
        return self.stats


if __name__ == "__main__":
    DBusGMainLoop(set_as_default=True)
    portal = Portal(bus := dbus.SessionBus())
    name = dbus.service.BusName("org.freedesktop.impl.portal.desktop.plenhalltest", bus, do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    loop.run()
