// Monitors, their work areas and the pointer, from GDK.
//
// Thread: main thread only.
#pragma once

#include <optional>

#include "platform/system.h"
#include "platform/window.h"

namespace plenhall::gtk {

class GtkScreens final : public Screens {
  public:
    explicit GtkScreens(Log& log) : log_(log) {}

    std::vector<Screen> screens() const override;
    // The primary monitor, or the first when none is configured as primary.
    std::optional<Screen> primaryScreen() const override;
    // Nothing on Wayland, and nothing through XWayland, whose pointer position stops moving
    // while the pointer is over native Wayland windows.
    std::optional<Point> pointer() const override;
    bool windowsPlaceThemselves() const override;
    // Whether the X display is XWayland; decided, and said in the log, once.
    bool throughXWayland() const;

  private:
    Log& log_;
    mutable std::optional<bool> throughXWayland_;
};

}  // namespace plenhall::gtk
