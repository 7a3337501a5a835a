// Where the calendar window goes: frames the program sets, and full screen on a screen or where
// the desktop chooses, which on some compositors waits for the window to be placed first.
#include <gdk/gdkx.h>

#include <chrono>
#include <string_view>

#include "platform/gtk/gnome_keybindings_gsettings.h"
#include "platform/gtk/gtk_window_adapter.h"
#include "platform/gtk/window_coordinates.h"

namespace plenhall::gtk {
namespace {

std::optional<GdkRectangle> clientSize(const IntRect& frame) {
    return GdkRectangle{0, 0, frame.width, frame.height};
}

// The monitor a screen names: by its index while the monitors are as they were when the core
// read them, else by its geometry; the first monitor when none matches any more.
int monitorFor(const Screen& screen) {
    GdkDisplay* display = gdk_display_get_default();
    const IntRect wanted = mappable(screen.frame);
    auto geometryOf = [display](int i) {
        GdkRectangle g;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &g);
        return IntRect{g.x, g.y, g.width, g.height};
    };
    const int n = gdk_display_get_n_monitors(display);
    if (screen.id >= 0 && screen.id < n && geometryOf(screen.id) == wanted) return screen.id;
    for (int i = 0; i < n; ++i) {
        if (geometryOf(i) == wanted) return i;
    }
    return 0;
}

}  // namespace

Rect GtkWindowAdapter::frame() const {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!gdkWindow || !gtk_widget_get_mapped(GTK_WIDGET(window_))) return requestedFrame_;
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_size(window_, &width, &height);
    if (onX11()) {
        gdk_window_get_origin(gdkWindow, &x, &y);
    } else if (GdkMonitor* monitor = gdk_display_get_monitor_at_window(
                   gtk_widget_get_display(GTK_WIDGET(window_)), gdkWindow)) {
        // A Wayland client never learns where its window is; the corner of the monitor it shows
        // on stands in, so the frame still lies on a screen.
        GdkRectangle geometry;
        gdk_monitor_get_geometry(monitor, &geometry);
        x = geometry.x;
        y = geometry.y;
    }
    return Rect{double(x), double(y), double(width), double(height)};
}

void GtkWindowAdapter::moveResize(const Rect& requested) {
    requestedFrame_ = requested;
    if (fullScreenMonitor_) leaveFullScreen();
    if (!placedByProgram_) {
        placedByProgram_ = true;
        applyGeometryHints();
    }
    const IntRect target = mappable(requested);
    if (keptFrame_) keptFrame_->prepare(clientSize(target));
    const bool mapped = gtk_widget_get_mapped(GTK_WIDGET(window_));
    if (mapped && mappable(frame()) == target) return;
    gtk_window_move(window_, target.x, target.y);
    gtk_window_resize(window_, target.width, target.height);
    if (GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
        gdkWindow && !mapped && onX11()) {
        // GTK applies a position given while hidden at the first map only; later maps would come
        // back where the window was last, so the hidden window itself is moved.
        gdk_window_move_resize(gdkWindow, target.x, target.y, target.width, target.height);
    }
}

void GtkWindowAdapter::resize(Size size) {
    requestedFrame_ = Rect{0, 0, size.width, size.height};
    if (fullScreenMonitor_) leaveFullScreen();
    const IntRect target = mappable(requestedFrame_);
    if (keptFrame_) keptFrame_->prepare(clientSize(target));
    gtk_window_resize(window_, target.width, target.height);
}

void GtkWindowAdapter::fullscreen(const std::optional<Screen>& screen) {
    if (!screen) {
        // The desktop puts the window on a screen of its choosing at the next map. Mapped at
        // the size it will fill there, its first frame is the page already laid out at that
        // size, with the kept frame under it, instead of a frame at the toolkit's own size that
        // the compositor would show on black, and a second layout.
        const std::optional<GdkRectangle> size = expectedDesktopsScreenSize();
        if (keptFrame_) keptFrame_->prepare(size);
        if (size && !gtk_widget_get_visible(GTK_WIDGET(window_)))
            gtk_window_resize(window_, size->width, size->height);
        if (fullScreenMonitor_ == kDesktopsMonitor) return;
        fullScreenMonitor_ = kDesktopsMonitor;
        if (fillsScreenOncePlaced()) {
            // mutter would put a window mapped full screen on the monitor at the origin: the
            // window maps framed, where mutter places new windows (the pointer's monitor), and
            // fills that monitor once it is shown there (present).
            if (gtk_widget_get_mapped(GTK_WIDGET(window_))) {
                fillPlacedMonitor(true);
            } else {
                gtk_window_unfullscreen(window_);
            }
            return;
        }
        // The desktop puts the window on a screen of its choosing at the next map. Asked for
        // while hidden, full screen is the state the window is mapped in, so it never shows
        // framed first. It stays asked for while hidden: GTK names no output with it, so each
        // showing lands where the desktop then chooses (sway: the focused output).
        gtk_window_fullscreen(window_);
        return;
    }
    const IntRect geometry = mappable(screen->frame);
    requestedFrame_ = Rect{double(geometry.x), double(geometry.y), double(geometry.width),
                           double(geometry.height)};
    if (keptFrame_) keptFrame_->prepare(clientSize(geometry));
    const int monitor = monitorFor(*screen);
    const bool mapped = gtk_widget_get_mapped(GTK_WIDGET(window_));
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    const bool isFullScreen =
        gdkWindow && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_FULLSCREEN) != 0;
    // On a hidden window these calls only record the initial state for the next map; on a mapped
    // one that is already fullscreen there, they would be round trips for nothing.
    if (mapped && isFullScreen && fullScreenMonitor_ == monitor) return;
    if (mapped && !gtk_window_is_active(window_)) {
        focusBeforeFullScreen_.reset();
        GListPtr toplevels(gtk_window_list_toplevels());
        for (GList* item = toplevels.get(); item; item = item->next) {
            auto* other = GTK_WINDOW(item->data);
            if (other != window_ && gtk_window_is_active(other))
                focusBeforeFullScreen_ = adopt(GTK_WINDOW(g_object_ref(other)));
        }
    }
    gtk_window_move(window_, geometry.x, geometry.y);
    gtk_window_resize(window_, geometry.width, geometry.height);
    gtk_window_fullscreen_on_monitor(window_, gtk_window_get_screen(window_), monitor);
    fullScreenMonitor_ = monitor;
}

std::optional<GdkRectangle> GtkWindowAdapter::expectedDesktopsScreenSize() const {
    if (desktopsScreenSize_) return desktopsScreenSize_;
    // Before the first showing: the desktop's main screen, where a single-screen user's
    // calendar goes.
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return std::nullopt;
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    if (geometry.width <= 0 || geometry.height <= 0) return std::nullopt;
    return GdkRectangle{0, 0, geometry.width, geometry.height};
}

gboolean GtkWindowAdapter::onConfigureEvent(GdkEventConfigure* event) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    // The screen the desktop chose is the one it most likely chooses next time.
    if (fullScreenMonitor_ == kDesktopsMonitor && gdkWindow && event->width > 1 &&
        event->height > 1 && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_FULLSCREEN)) {
        desktopsScreenSize_ = GdkRectangle{0, 0, event->width, event->height};
    }
    return FALSE;
}

void GtkWindowAdapter::leaveFullScreen() {
    stopAwaitingPlacement();
    gtk_window_unfullscreen(window_);
    fullScreenMonitor_.reset();
}

bool GtkWindowAdapter::fillsScreenOncePlaced() const {
    return !onX11() && onGnome();
}

void GtkWindowAdapter::awaitPlacement() {
    // GTK learns the output a surface is on (wl_surface.enter) when the compositor shows it.
    // mutter may report the first frame shown before it says where (a frame painted quickly, the
    // kept frame alone, makes that likely); by the next frame it has: GTK then knows the monitor.
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!placementFrames_.watch(gdkWindow, [this, gdkWindow] {
            gtk_widget_queue_draw(GTK_WIDGET(window_));
            if (!placementFrames_.watch(gdkWindow, [this] { placementEnded(true); }))
                placementEnded(false);
        }))
        return placementEnded(false);
    placementDeadline_ = ScheduledCall::after(waits_.placement, [this] {
        log_.line(
            "PlenhallDesktop: the desktop did not show the calendar in time; it fills the "
            "screen the desktop chooses");
        placementEnded(false);
    });
}

void GtkWindowAdapter::stopAwaitingPlacement() {
    placementFrames_.stop();
    placementDeadline_.cancel();
}

void GtkWindowAdapter::placementEnded(bool placed) {
    stopAwaitingPlacement();
    fillPlacedMonitor(placed);
    // Dialogs that come back with the calendar are placed over it where it ends up.
    presentDialogs();
}

void GtkWindowAdapter::fillPlacedMonitor(bool placed) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    GdkMonitor* monitor =
        placed && gdkWindow ? gdk_display_get_monitor_at_window(display, gdkWindow) : nullptr;
    int index = -1;
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n && monitor; ++i) {
        if (gdk_display_get_monitor(display, i) == monitor) index = i;
    }
    if (index >= 0) {
        gtk_window_fullscreen_on_monitor(window_, gtk_window_get_screen(window_), index);
    } else {
        gtk_window_fullscreen(window_);
    }
}

}  // namespace plenhall::gtk
