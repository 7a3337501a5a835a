// Turning the default GLib main context in backend tests, which have no display and no loop of
// their own.
#pragma once

#include <glib.h>

#include <chrono>

namespace plenhall::gtk::testing {

// Turns the default main context for `duration`, dispatching whatever becomes due.
inline void runLoopFor(std::chrono::milliseconds duration) {
    const gint64 end = g_get_monotonic_time() + duration.count() * 1000;
    while (g_get_monotonic_time() < end) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
}

}  // namespace plenhall::gtk::testing
