// Where a showing of the calendar spends its time. With PLENHALL_TRACE_SHOW set in the
// environment, each step from the shortcut's press to the web view's draws is one line on stderr,
// "show-trace <monotonic µs> <step>", on the clock the benchmark's presses and screen reads use
// (docs/performance.md). Without it, nothing is connected and nothing is written.
//
// Thread: main thread only. Ownership: the window adapter owns its trace, which goes before the
// window and the web view do.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

bool showTraceEnabled();
// One step, formatted as printf does.
void showTrace(const char* format, ...) G_GNUC_PRINTF(1, 2);

// Follows a window and its web view through map, configure, allocation and drawing.
class ShowTrace {
  public:
    ShowTrace(GtkWindow* window, GtkWidget* view);

  private:
    // One step's name, written each time its signal is emitted.
    struct Step {
        const char* name;  // a string literal
        gboolean onEvent(GdkEvent* event);
        gboolean onDraw(cairo_t* cr);
        void onWidget();
    };

    template <auto Member>
    void connect(gpointer instance, const char* signal, const char* step,
                 GConnectFlags flags = GConnectFlags(0)) {
        Step& owner = *steps_.emplace_back(std::make_unique<Step>(Step{step}));
        connections_.push_back(SignalConnection::to<Member>(instance, signal, &owner, flags));
    }
    void onAllocate(GdkRectangle* allocation);

    // Before the connections, so the steps outlive them.
    std::vector<std::unique_ptr<Step>> steps_;
    std::vector<SignalConnection> connections_;
};

}  // namespace plenhall::gtk
