// For backend tests, which have no loop of their own: turning the default GLib main context, and
// a log that keeps its lines.
#pragma once

#include <glib.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace plenhall::gtk::testing {

struct RecordingLog : Log {
    void line(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// Turns the default main context for `duration`, dispatching whatever becomes due.
inline void runLoopFor(std::chrono::milliseconds duration) {
    const gint64 end = g_get_monotonic_time() + duration.count() * 1000;
    while (g_get_monotonic_time() < end) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
}

// Turns the default main context until `done` holds, for at most `limit` (a bound for a failing
// test, not a wait); answers whether it held.
inline bool runLoopUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const gint64 end = g_get_monotonic_time() + limit.count() * 1000;
    while (!done()) {
        if (g_get_monotonic_time() >= end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

}  // namespace plenhall::gtk::testing
