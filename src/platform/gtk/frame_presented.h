// Tells once the compositor has shown a frame of a window painted from now on. GTK marks a frame
// complete in the window's frame clock when the compositor reports it shown (on Wayland the
// frame callback); frames of an earlier showing do not count.
//
// Thread: main thread only. Ownership: the owner keeps the watch; it ends with it, uncalled.
#pragma once

#include <gtk/gtk.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

class FramePresented {
  public:
    // False, and nothing is called, when the window has no frame clock.
    bool watch(GdkWindow* window, std::function<void()> presented) {
        stop();
        GdkFrameClock* clock = window ? gdk_window_get_frame_clock(window) : nullptr;
        if (!clock) return false;
        first_ = gdk_frame_clock_get_frame_counter(clock) + 1;
        presented_ = std::move(presented);
        afterPaint_ = SignalConnection::withInstance<&FramePresented::onAfterPaint>(
            clock, "after-paint", this);
        gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_AFTER_PAINT);
        return true;
    }
    void stop() { afterPaint_.disconnect(); }

  private:
    void onAfterPaint(GdkFrameClock* clock) {
        // This runs after GTK has committed the frame just painted; the clock waits for the
        // compositor's report of it before the next one.
        const gint64 last = gdk_frame_clock_get_frame_counter(clock);
        for (gint64 frame = std::max(first_, gdk_frame_clock_get_history_start(clock));
             frame <= last; ++frame) {
            GdkFrameTimings* timings = gdk_frame_clock_get_timings(clock, frame);
            if (timings && gdk_frame_timings_get_complete(timings)) {
                stop();
                // Last: the call may end the watch's owner.
                return std::exchange(presented_, nullptr)();
            }
        }
        gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_AFTER_PAINT);
    }

    SignalConnection afterPaint_;
    gint64 first_ = 0;
    std::function<void()> presented_;
};

}  // namespace plenhall::gtk
