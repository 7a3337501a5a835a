#include "platform/gtk/show_trace.h"

#include <cstdarg>
#include <cstdio>

namespace plenhall::gtk {
bool showTraceEnabled() {
    static const bool enabled = g_getenv("PLENHALL_TRACE_SHOW") != nullptr;
    return enabled;
}

void showTrace(const char* format, ...) {
    if (!showTraceEnabled()) return;
    char step[160];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(step, sizeof step, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "show-trace %lld %s\n", static_cast<long long>(g_get_monotonic_time()),
                 step);
}

ShowTrace::ShowTrace(GtkWindow* window, GtkWidget* view) {
    if (!showTraceEnabled()) return;
    connect<&Step::onWidget>(window, "show", "window show");
    connect<&Step::onWidget>(window, "hide", "window hide");
    connect<&Step::onEvent>(window, "map-event", "window mapped");
    connect<&Step::onEvent>(window, "unmap-event", "window unmapped");
    connect<&Step::onEvent>(window, "configure-event", "window configured");
    connect<&Step::onEvent>(window, "window-state-event", "window state");
    connect<&Step::onEvent>(window, "focus-in-event", "window focused");
    connections_.push_back(
        SignalConnection::to<&ShowTrace::onAllocate>(view, "size-allocate", this));
    connect<&Step::onWidget>(view, "map", "view map");
    connect<&Step::onDraw>(view, "draw", "view draw begins");
    connect<&Step::onDraw>(view, "draw", "view draw ends", G_CONNECT_AFTER);
}

gboolean ShowTrace::Step::onEvent(GdkEvent* event) {
    if (event->type == GDK_CONFIGURE) {
        showTrace("%s %dx%d", name, event->configure.width, event->configure.height);
    } else if (event->type == GDK_WINDOW_STATE) {
        showTrace("%s %#x", name, unsigned(event->window_state.new_window_state));
    } else {
        showTrace("%s", name);
    }
    return FALSE;
}

gboolean ShowTrace::Step::onDraw(cairo_t* cr) {
    GdkRectangle clip{};
    gdk_cairo_get_clip_rectangle(cr, &clip);
    showTrace("%s %dx%d+%d+%d", name, clip.width, clip.height, clip.x, clip.y);
    return FALSE;
}

void ShowTrace::Step::onWidget() {
    showTrace("%s", name);
}

void ShowTrace::onAllocate(GdkRectangle* allocation) {
    showTrace("view allocated %dx%d", allocation->width, allocation->height);
}

}  // namespace plenhall::gtk
