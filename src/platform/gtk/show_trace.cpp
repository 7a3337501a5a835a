#include "platform/gtk/show_trace.h"

#include <cstdarg>
#include <cstdio>

namespace plenhall::gtk {
namespace {

gboolean onEvent(GtkWidget*, GdkEvent* event, gpointer step) {
    const auto* name = static_cast<const char*>(step);
    if (event->type == GDK_CONFIGURE) {
        showTrace("%s %dx%d", name, event->configure.width, event->configure.height);
    } else if (event->type == GDK_WINDOW_STATE) {
        showTrace("%s %#x", name, unsigned(event->window_state.new_window_state));
    } else {
        showTrace("%s", name);
    }
    return FALSE;
}

void onAllocate(GtkWidget*, GdkRectangle* allocation, gpointer) {
    showTrace("view allocated %dx%d", allocation->width, allocation->height);
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer step) {
    GdkRectangle clip{};
    gdk_cairo_get_clip_rectangle(cr, &clip);
    showTrace("%s %dx%d+%d+%d", static_cast<const char*>(step), clip.width, clip.height, clip.x,
              clip.y);
    return FALSE;
}

void onWidget(GtkWidget*, gpointer step) {
    showTrace("%s", static_cast<const char*>(step));
}

}  // namespace

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
    // The steps are string literals, which outlive every connection.
    auto connect = [this](gpointer instance, const char* signal, GCallback callback,
                          const char* step, GConnectFlags flags = GConnectFlags(0)) {
        connections_.emplace_back(instance, signal, callback,
                                  const_cast<gpointer>(static_cast<const void*>(step)), flags);
    };
    connect(window, "show", G_CALLBACK(onWidget), "window show");
    connect(window, "hide", G_CALLBACK(onWidget), "window hide");
    connect(window, "map-event", G_CALLBACK(onEvent), "window mapped");
    connect(window, "unmap-event", G_CALLBACK(onEvent), "window unmapped");
    connect(window, "configure-event", G_CALLBACK(onEvent), "window configured");
    connect(window, "window-state-event", G_CALLBACK(onEvent), "window state");
    connect(window, "focus-in-event", G_CALLBACK(onEvent), "window focused");
    connect(view, "size-allocate", G_CALLBACK(onAllocate), nullptr);
    connect(view, "map", G_CALLBACK(onWidget), "view map");
    connect(view, "draw", G_CALLBACK(onDraw), "view draw begins");
    connect(view, "draw", G_CALLBACK(onDraw), "view draw ends", G_CONNECT_AFTER);
}

}  // namespace plenhall::gtk
