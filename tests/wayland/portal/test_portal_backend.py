#!/usr/bin/python3
"""A test desktop for the GlobalShortcuts and Settings portals, in one of two roles.

  --role backend   (default) the portal backends org.freedesktop.impl.portal.GlobalShortcuts and
                   org.freedesktop.impl.portal.Settings (the appearance's color-scheme only) under
                   org.freedesktop.impl.portal.desktop.plenhalltest, for the real
                   xdg-desktop-portal frontend: put plenhall-test.portal's directory in
                   XDG_DESKTOP_PORTAL_DIR and set XDG_CURRENT_DESKTOP=plenhalltest.
  --role frontend  a fake frontend owning org.freedesktop.portal.Desktop itself (Request and
                   Session objects, Response signals, the host Registry), for answers a real
                   frontend would never pass on.
  --config JSON    the initial configuration (keys below).

The desktop remembers bound shortcuts across sessions, as KDE does: ListShortcuts lists them.

Control interface com.plenhall.PortalTest at /com/plenhall/PortalTest, on the role's bus name:
  Trigger(s id, t timestamp, s activation_token) -> u
      emits Activated for every live session holding `id` (timestamp 0: now, in ms); an empty
      token sends no activation_token. Answers how many sessions were signalled.
  TriggerForeign(s id)               Activated for a session that belongs to nobody (frontend).
  TriggerForged(s id) -> u           Activated for every live session holding `id`, sent straight
                                     to the session's client by another program on the bus; the bus
                                     has passed it on by the answer (frontend).
  TriggerMalformed()                 an Activated signal of the wrong type (frontend).
  ChangeTrigger(s id, s trigger)     the user edits the binding: ShortcutsChanged to live sessions.
  Configure(a{sv})                   changes the configuration for the calls that follow.
  SetColorScheme(u)                  the user picks light or dark: SettingChanged (backend).
  Stats() -> a{sv}                   binds, lists, sessions, live, closes, request_closes (u);
                                     app_ids (as);
                                     first_call, preferred_trigger (s); legacy_shortcuts (b).
Configuration keys:
  bound (a{ss})          shortcut id -> trigger description the desktop already holds
  bind_response (u)      the Response code of BindShortcuts (0 granted, 1 cancelled, 2 other)
  bind_result (s)        "ours" (bind what was asked), "empty" (bind nothing), "malformed"
  bind_trigger (s)       the trigger description of a bind; default: the preferred trigger
  session_response (u)   the Response code of CreateSession
  silent (s)             frontend: the method (CreateSession, ListShortcuts, BindShortcuts) whose
                         Request gets no Response, only a Close
  registry (b)           frontend: offer org.freedesktop.host.portal.Registry (default true)
  global_shortcuts (b)   frontend: offer the GlobalShortcuts interface at all (default true)
  version (v)            frontend: the interface's version property, of whatever type is given
  color_scheme (u)       backend: org.freedesktop.appearance color-scheme; unset: not found
"""

import argparse
import json
import os
import signal
import time

import dbus
import dbus.bus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL_PATH = "/org/freedesktop/portal/desktop"
CONTROL_PATH = "/com/plenhall/PortalTest"
CONTROL = "com.plenhall.PortalTest"
PROPERTIES = "org.freedesktop.DBus.Properties"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
IMPL_SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
IMPL_SETTINGS = "org.freedesktop.impl.portal.Settings"
APPEARANCE = "org.freedesktop.appearance"
BACKEND_NAME = "org.freedesktop.impl.portal.desktop.plenhalltest"
DEFAULTS = {
    "bound": {},
    "bind_response": 0,
    "bind_result": "ours",
    "bind_trigger": "",
    "session_response": 0,
    "registry": True,
    "global_shortcuts": True,
    "version": dbus.UInt32(1),
    "silent": "",
}


def error(name, text=""):
    return dbus.exceptions.DBusException(text, name="org.freedesktop.DBus.Error." + name)


def shortcut_list(entries):
    return dbus.Array(
        [dbus.Struct((sid, dbus.Dictionary({"description": d, "trigger_description": t},
                                           signature="sv")))
         for sid, (d, t) in entries.items()],
        signature="(sa{sv})")


class Desktop:
    """What the desktop holds and how it answers; the same in both roles."""

    def __init__(self, config):
        self.config = dict(DEFAULTS)
        self.configure(config)
        self.sessions = {}  # path -> exported session object, while live
        self.stats = {"binds": 0, "lists": 0, "sessions": 0, "closes": 0, "request_closes": 0,
                      "app_ids": [],
                      "first_call": "", "preferred_trigger": "", "legacy_shortcuts": False}

    def configure(self, config):
        for key, value in config.items():
            if key == "bound":
                value = {sid: ("", str(t)) for sid, t in value.items()}
            self.config[key] = value
        self.bound = dict(self.config["bound"])

    def note_call(self, method):
        if not self.stats["first_call"]:
            self.stats["first_call"] = method

    def create_session(self, app_id, options):
        self.stats["app_ids"].append(str(app_id))
        self.stats["legacy_shortcuts"] = self.stats["legacy_shortcuts"] or "shortcuts" in options
        return int(self.config["session_response"])

    def list(self):
        self.stats["lists"] += 1
        return 0, {"shortcuts": shortcut_list(self.bound)}

    def bind(self, shortcuts):
        self.stats["binds"] += 1
        code = int(self.config["bind_response"])
        if code:
            return code, {}
        result = self.config["bind_result"]
        if result == "empty":
            return 0, {"shortcuts": shortcut_list({})}
        if result == "malformed":
            return 0, {"shortcuts": dbus.String("not a list")}
        granted = {}
        for sid, props in shortcuts:
            preferred = str(props.get("preferred_trigger", ""))
            self.stats["preferred_trigger"] = preferred
            granted[str(sid)] = (str(props.get("description", "")),
                                 self.config["bind_trigger"] or preferred)
        self.bound.update(granted)
        return 0, {"shortcuts": shortcut_list(granted)}

    def sessions_holding(self, sid):
        return list(self.sessions) if sid in self.bound else []

    def close(self, path):
        session = self.sessions.pop(path, None)
        if session:
            self.stats["closes"] += 1
            session.remove_from_connection()

    def snapshot(self):
        stats = dict(self.stats, live=len(self.sessions))
        return dbus.Dictionary(
            {k: (dbus.UInt32(v) if isinstance(v, int) and not isinstance(v, bool) else
                 dbus.Array(v, signature="s") if isinstance(v, list) else v)
             for k, v in stats.items()}, signature="sv")


class Session(dbus.service.Object):
    # dbus-python names interfaces at class level, so each role has its own subclass.
    def __init__(self, bus, path, desktop):
        super().__init__(bus, path)
        self.desktop = desktop
        self.path = path

    def close(self):
        self.desktop.close(self.path)


class FrontendSession(Session):
    @dbus.service.method("org.freedesktop.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.close()


class BackendSession(Session):
    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.close()


class Request(dbus.service.Object):
    def __init__(self, bus, path, desktop):
        super().__init__(bus, path)
        self.desktop = desktop

    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="")
    def Close(self):
        self.desktop.stats["request_closes"] += 1
        self.remove_from_connection()

    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


def escaped(sender):
    return sender[1:].replace(".", "_")


class Frontend(dbus.service.Object):
    """org.freedesktop.portal.Desktop as a client sees it."""

    def __init__(self, bus, desktop):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.desktop = desktop

    def check(self, method, registry=False):
        self.desktop.note_call(method)
        enabled = self.desktop.config["registry" if registry else "global_shortcuts"]
        if not enabled:
            raise error("UnknownMethod", "No such interface on object at path " + PORTAL_PATH)

    def respond(self, method, sender, options, code, results):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (
            escaped(sender), options.get("handle_token", "t"))
        request = Request(self.bus, path, self.desktop)
        if self.desktop.config["silent"] == method:
            return dbus.ObjectPath(path)

        def emit():
            request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
        GLib.idle_add(emit)
        return dbus.ObjectPath(path)

    @dbus.service.method("org.freedesktop.host.portal.Registry", in_signature="sa{sv}",
                         out_signature="", sender_keyword="sender")
    def Register(self, app_id, options, sender=None):
        self.check("Register", registry=True)
        self.desktop.stats["app_ids"].append(str(app_id))

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.check("CreateSession")
        code = self.desktop.create_session("", options)
        results = {}
        if code == 0:
            path = "/org/freedesktop/portal/desktop/session/%s/%s" % (
                escaped(sender), options.get("session_handle_token", "s"))
            self.desktop.sessions[path] = FrontendSession(self.bus, path, self.desktop)
            self.desktop.sessions[path].client = str(sender)
            self.desktop.stats["sessions"] += 1
            results = {"session_handle": dbus.String(path)}
        return self.respond("CreateSession", sender, options, code, results)

    @dbus.service.method(SHORTCUTS, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def ListShortcuts(self, session, options, sender=None):
        self.check("ListShortcuts")
        return self.respond("ListShortcuts", sender, options, *self.desktop.list())

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        self.check("BindShortcuts")
        return self.respond("BindShortcuts", sender, options, *self.desktop.bind(shortcuts))

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        self.desktop.note_call("Get")
        if interface != SHORTCUTS or not self.desktop.config["global_shortcuts"]:
            raise error("InvalidArgs", "No such interface " + interface)
        if name != "version":
            raise error("InvalidArgs", "No such property " + name)
        return self.desktop.config["version"]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"version": self.Get(interface, "version")}

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, sid, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session, shortcuts):
        pass


class Backend(dbus.service.Object):
    """org.freedesktop.impl.portal.GlobalShortcuts as the frontend calls it."""

    def __init__(self, bus, desktop):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.desktop = desktop

    @dbus.service.method(IMPL_SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session, app_id, options):
        self.desktop.note_call("CreateSession")
        code = self.desktop.create_session(app_id, options)
        if code == 0:
            # A session of a frontend that has gone (a portal restart) is dead; the new frontend
            # may hand out its path again, as a real desktop's backend must allow.
            self.desktop.close(str(session))
            self.desktop.sessions[str(session)] = BackendSession(self.bus, session, self.desktop)
            self.desktop.stats["sessions"] += 1
        # Frontend 1.16 copies "shortcuts" from here into its Response unchecked: always send it.
        return dbus.UInt32(code), {"shortcuts": shortcut_list(self.desktop.bound)}

    @dbus.service.method(IMPL_SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session):
        code, results = self.desktop.list()
        return dbus.UInt32(code), results

    @dbus.service.method(IMPL_SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session, shortcuts, parent_window, options):
        code, results = self.desktop.bind(shortcuts)
        return dbus.UInt32(code), results

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface not in (IMPL_SHORTCUTS, IMPL_SETTINGS) or name != "version":
            raise error("InvalidArgs", "No such property " + name)
        return dbus.UInt32(1)

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"version": dbus.UInt32(1)} if interface in (IMPL_SHORTCUTS, IMPL_SETTINGS) else {}

    def appearance(self):
        scheme = self.desktop.config.get("color_scheme")
        return {} if scheme is None else {"color-scheme": dbus.UInt32(scheme)}

    @dbus.service.method(IMPL_SETTINGS, in_signature="as", out_signature="a{sa{sv}}")
    def ReadAll(self, namespaces):
        settings = self.appearance()
        wanted = not namespaces or any(n in ("", APPEARANCE) or (n.endswith("*") and APPEARANCE.startswith(n[:-1]))
                                       for n in namespaces)
        return dbus.Dictionary({APPEARANCE: dbus.Dictionary(settings, signature="sv")} if wanted and settings
                               else {}, signature="sa{sv}")

    @dbus.service.method(IMPL_SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        settings = self.appearance() if namespace == APPEARANCE else {}
        if key not in settings:
            raise dbus.exceptions.DBusException("Requested setting not found",
                                                name="org.freedesktop.portal.Error.NotFound")
        return settings[key]

    @dbus.service.signal(IMPL_SETTINGS, signature="ssv")
    def SettingChanged(self, namespace, key, value):
        pass

    @dbus.service.signal(IMPL_SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, sid, timestamp, options):
        pass

    @dbus.service.signal(IMPL_SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session, shortcuts):
        pass


class Control(dbus.service.Object):
    def __init__(self, bus, desktop, portal):
        super().__init__(bus, CONTROL_PATH)
        self.desktop = desktop
        self.portal = portal

    @dbus.service.method(CONTROL, in_signature="sts", out_signature="u")
    def Trigger(self, sid, timestamp, token):
        timestamp = timestamp or int(time.monotonic() * 1000)
        options = dbus.Dictionary({"activation_token": token} if token else {}, signature="sv")
        sessions = self.desktop.sessions_holding(sid)
        for path in sessions:
            self.portal.Activated(dbus.ObjectPath(path), sid, dbus.UInt64(timestamp), options)
        return dbus.UInt32(len(sessions))

    @dbus.service.method(CONTROL, in_signature="s", out_signature="")
    def TriggerForeign(self, sid):
        self.portal.Activated(dbus.ObjectPath("/org/freedesktop/portal/desktop/session/1_999/x"),
                              sid, dbus.UInt64(1), dbus.Dictionary({}, signature="sv"))

    @dbus.service.method(CONTROL, in_signature="s", out_signature="u")
    def TriggerForged(self, sid):
        forger = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        sessions = self.desktop.sessions_holding(sid)
        for path in sessions:
            message = dbus.lowlevel.SignalMessage(PORTAL_PATH, SHORTCUTS, "Activated")
            message.set_destination(self.desktop.sessions[path].client)
            message.append(dbus.ObjectPath(path), sid, dbus.UInt64(1),
                           dbus.Dictionary({"activation_token": "forged"}, signature="sv"),
                           signature="osta{sv}")
            forger.send_message(message)
        # The bus handles one connection's messages in order: once it answers, it has passed
        # the signals on.
        forger.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus", "GetId", "", ())
        forger.close()
        return dbus.UInt32(len(sessions))

    @dbus.service.method(CONTROL, in_signature="", out_signature="")
    def TriggerMalformed(self):
        message = dbus.lowlevel.SignalMessage(PORTAL_PATH, SHORTCUTS, "Activated")
        message.append("not a session", signature="s")
        self.connection.send_message(message)

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="")
    def ChangeTrigger(self, sid, trigger):
        description = self.desktop.bound.get(sid, ("", ""))[0]
        self.desktop.bound[sid] = (description, str(trigger))
        for path in self.desktop.sessions_holding(sid):
            self.portal.ShortcutsChanged(dbus.ObjectPath(path), shortcut_list(self.desktop.bound))

    @dbus.service.method(CONTROL, in_signature="a{sv}", out_signature="")
    def Configure(self, config):
        self.desktop.configure(config)

    @dbus.service.method(CONTROL, in_signature="u", out_signature="")
    def SetColorScheme(self, scheme):
        self.desktop.config["color_scheme"] = int(scheme)
        self.portal.SettingChanged(APPEARANCE, "color-scheme", dbus.UInt32(scheme))

    @dbus.service.method(CONTROL, in_signature="", out_signature="a{sv}")
    def Stats(self):
        return self.desktop.snapshot()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--role", choices=["backend", "frontend"], default="backend")
    parser.add_argument("--config", default="{}")
    args = parser.parse_args()
    config = json.loads(args.config)
    if "version" in config:  # JSON has no unsigned type: a number is the real one
        version = config["version"]
        config["version"] = dbus.UInt32(version) if isinstance(version, int) else dbus.String(version)

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    desktop = Desktop(config)
    portal = (Frontend if args.role == "frontend" else Backend)(bus, desktop)
    control = Control(bus, desktop, portal)
    name = dbus.service.BusName(
        "org.freedesktop.portal.Desktop" if args.role == "frontend" else BACKEND_NAME, bus,
        do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    loop.run()
    del name, control


if __name__ == "__main__":
    main()
