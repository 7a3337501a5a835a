# Another application's window on the Wayland desktop: a plain GTK window titled argv[1]. Prints
# "shown" once the window is mapped, then "active" or "inactive" at each later change of its focus,
# and runs until killed.

import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

window = Gtk.Window(title=sys.argv[1])
window.set_default_size(320, 200)
window.connect("map-event", lambda *_: print("shown", flush=True))
window.connect("notify::is-active", lambda *_: window.get_mapped() and print(
    "active" if window.is_active() else "inactive", flush=True))
window.show_all()
Gtk.main()
