// Monitors, their work areas and the pointer, from GDK.
//
// Thread: main thread only.
#pragma once

#include "platform/window.h"

namespace plenhall::gtk {

class GtkScreens final : public Screens {
  public:
    std::vector<Screen> screens() const override;
    // The primary monitor, or the first when none is configured as primary.
    std::optional<Screen> mainScreen() const override;
    std::optional<Point> mouseLocation() const override;
    bool windowsPlaceThemselves() const override;
};

}  // namespace plenhall::gtk
