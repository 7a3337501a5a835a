#include "platform/gtk/gtk_screens.h"

#include <gtk/gtk.h>

#include <cstdlib>

#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

namespace plenhall::gtk {
namespace {

Screen screenOf(GdkMonitor* monitor, int index) {
    GdkRectangle geometry, workarea;
    gdk_monitor_get_geometry(monitor, &geometry);
    gdk_monitor_get_workarea(monitor, &workarea);
    return Screen{Rect{double(geometry.x), double(geometry.y), double(geometry.width),
                       double(geometry.height)},
                  Rect{double(workarea.x), double(workarea.y), double(workarea.width),
                       double(workarea.height)},
                  index};
}

}  // namespace

std::vector<Screen> GtkScreens::screens() const {
    GdkDisplay* display = gdk_display_get_default();
    std::vector<Screen> result;
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
        result.push_back(screenOf(gdk_display_get_monitor(display, i), i));
    }
    return result;
}

std::optional<Screen> GtkScreens::primaryScreen() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        if (!primary || monitor == primary) return screenOf(monitor, i);
    }
    return std::nullopt;
}

bool GtkScreens::windowsPlaceThemselves() const {
#ifdef GDK_WINDOWING_X11
    return GDK_IS_X11_DISPLAY(gdk_display_get_default());
#else
    return false;
#endif
}

bool GtkScreens::throughXWayland() const {
    if (throughXWayland_) return *throughXWayland_;
    bool xwayland = false;
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    if (display && GDK_IS_X11_DISPLAY(display)) {
        // A Wayland session's X display is XWayland. XWayland names its outputs XWAYLAND<n>;
        // newer releases also announce themselves by an extension of that name.
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        int opcode = 0, event = 0, error = 0;
        xwayland = (wayland && *wayland) || XQueryExtension(GDK_DISPLAY_XDISPLAY(display),
                                                            "XWAYLAND", &opcode, &event, &error);
        for (int i = 0, n = gdk_display_get_n_monitors(display); i < n && !xwayland; ++i) {
            const char* name = gdk_monitor_get_model(gdk_display_get_monitor(display, i));
            xwayland = name && g_str_has_prefix(name, "XWAYLAND");
        }
    }
#endif
    throughXWayland_ = xwayland;
    if (xwayland)
        log_.line(
            "PlenhallDesktop: running through XWayland, which does not tell where the pointer "
            "is; the calendar does not follow the pointer");
    return xwayland;
}

std::optional<Point> GtkScreens::pointer() const {
    // Only the X server tells where the pointer is on the whole desktop; a Wayland client learns
    // it only over its own surfaces.
    if (!windowsPlaceThemselves() || throughXWayland()) return std::nullopt;
    GdkDisplay* display = gdk_display_get_default();
    int x = 0, y = 0;
    gdk_device_get_position(gdk_seat_get_pointer(gdk_display_get_default_seat(display)), nullptr,
                            &x, &y);
    return Point{double(x), double(y)};
}

}  // namespace plenhall::gtk
