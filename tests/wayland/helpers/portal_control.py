"""Talks to the test desktop's session bus as the desktop's user (the bus admits no one else).

  portal_control.py has-name NAME        prints true or false
  portal_control.py trigger ID TOKEN     the user presses the shortcut; prints how many heard it
  portal_control.py configure JSON       the test desktop's configuration for what follows
  portal_control.py stats                prints the test desktop's counts as JSON
"""

import json
import sys

import dbus

BACKEND = "org.freedesktop.impl.portal.desktop.plenhalltest"


def control(bus):
    return dbus.Interface(bus.get_object(BACKEND, "/com/plenhall/PortalTest"), "com.plenhall.PortalTest")


def main():
    bus = dbus.SessionBus()
    command, arguments = sys.argv[1], sys.argv[2:]
    if command == "has-name":
        print(json.dumps(bool(bus.name_has_owner(arguments[0]))))
    elif command == "trigger":
        print(int(control(bus).Trigger(arguments[0], dbus.UInt64(0), arguments[1])))
    elif command == "configure":
        config = json.loads(arguments[0])
        typed = {"bound": dbus.Dictionary(config.get("bound", {}), signature="ss")}
        for key in ("bind_response", "session_response"):
            if key in config:
                typed[key] = dbus.UInt32(config[key])
        control(bus).Configure(dbus.Dictionary(typed, signature="sv"))
        print("null")
    elif command == "stats":
        stats = control(bus).Stats()
        print(json.dumps({str(k): (int(v) if isinstance(v, (dbus.UInt32, dbus.Boolean)) else
                                   [str(x) for x in v] if isinstance(v, dbus.Array) else str(v))
                          for k, v in stats.items()}))


if __name__ == "__main__":
    main()
