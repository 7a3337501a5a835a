// The local key monitor: key presses addressed to our windows, offered to the monitors before the
// window handles them (accelerators, focused controls).
//
// Thread: main thread only. Ownership: the platform owns the monitor for the life of the process;
// its handlers on watched windows go with those windows.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/key_event.h"

namespace plenhall::gtk {

class GtkKeyMonitor final : public KeyMonitor {
  public:
    std::optional<Token> addKeyPressMonitor(Handler handler) override;
    void removeMonitor(Token token) override;

    void watch(GtkWindow* window);

  private:
    // The press as the core sees it: virtual key code, modifier flags, the texts of the key.
    static KeyEvent translate(const GdkEventKey& event);
    gboolean onKeyPress(GdkEventKey* event);

    std::map<Token, Handler> monitors_;
    Token next_ = 1;
    std::vector<SignalConnection> connections_;
};

}  // namespace plenhall::gtk
