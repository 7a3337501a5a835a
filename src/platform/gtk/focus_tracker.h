// The desktop's focus events of our windows and dialogs, from GTK's per-window focus state.
//
// Thread: main thread only. Ownership: the platform owns the tracker for the life of the process;
// a connection lets go of a window that is destroyed first.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/focus_events.h"
#include "platform/gtk/desktop_state.h"
#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

class FocusTracker final : public FocusEvents {
  public:
    explicit FocusTracker(DesktopState& state) : state_(state) {}

    void setHandler(std::function<void(const FocusChange&)> handler) override {
        handler_ = std::move(handler);
    }
    bool anyWindowActive() const override;
    bool keyboardGrabbed() const override { return state_.hotKeyHeld; }

    // Starts following `widget`'s focus; `owner` is the seam window it belongs to, if any.
    void watch(GtkWindow* widget, const Window* owner);

  private:
    struct Watched {
        GtkWindow* widget;
        const Window* owner;
        FocusTracker* tracker;

        void onActiveChanged(GParamSpec*);
        void onUnmapped();
    };

    void report(FocusChange change) const;

    DesktopState& state_;
    std::function<void(const FocusChange&)> handler_;
    struct Watch {
        std::unique_ptr<Watched> entry;
        SignalConnection connection;
        SignalConnection unmapped;
    };
    std::vector<Watch> watched_;
};

}  // namespace plenhall::gtk
