# Another application's window on the Wayland desktop: a plain GTK window titled argv[1]. Prints
# "shown" once the window is mapped, then runs until killed.

import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

window = Gtk.Window(title=sys.argv[1])
window.set_default_size(320, 200)
window.connect("map-event", lambda *_: print("shown", flush=True))
window.show_all()
Gtk.main()
