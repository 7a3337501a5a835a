// Gives the page a key press the engine let through to the view in place of one it could not hand
// back.
//
// The engine hands a press the page left alone back to the view, and lets the next press through
// to the view unseen by the page in its place. When the calendar was hidden by then, the press
// handed back never arrived, and the one let through, new, would be lost to the page; handing it
// over again gives it to the page.
//
// Thread: main thread only. Ownership: the web view adapter owns this; its handlers are
// disconnected when it goes. Handlers connected to the view after this one see only presses the
// page left alone.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <vector>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

class KeyHandBack {
  public:
    explicit KeyHandBack(GtkWidget* view);
    KeyHandBack(const KeyHandBack&) = delete;
    KeyHandBack& operator=(const KeyHandBack&) = delete;

  private:
    gboolean onKeyPressBefore(GdkEventKey*);
    gboolean onKeyPressAfter(GtkWidget*, GdkEventKey*);
    int& timesSeen(const GdkEventKey& press);

    // The latest key presses that reached the view, and how many times each did.
    struct SeenPress {
        guint32 time = 0;
        guint16 keycode = 0;
        guint keyval = 0;
        int times = 0;
    };
    std::array<SeenPress, 16> seenPresses_{};
    std::size_t nextSeenPress_ = 0;
    guint32 newestPress_ = 0;
    std::vector<SignalConnection> connections_;
};

}  // namespace plenhall::gtk
