// A container that can keep its child at a size of its own while the window around it is smaller.
// A window the compositor makes full screen answers its first configure before it is full screen;
// the calendar answers with a one-pixel buffer, which costs nothing to paint, while the page stays
// laid out at the size it is about to fill instead of being laid out at one pixel and again.
//
// Thread: main thread only. Ownership: a GTK widget, owned by its parent as any other.
#pragma once

#include <gtk/gtk.h>

#include <optional>

namespace plenhall::gtk {

GtkWidget* pinnedBinNew();
// From now on the child is allocated `size` (its corner at the bin's), or, with nothing, the
// bin's own allocation.
void pinnedBinPin(GtkWidget* bin, std::optional<GdkRectangle> size);

}  // namespace plenhall::gtk
