// Laying the calendar window out for the current display mode on the screen under the pointer,
// and remembering the large window's frame.
#pragma once

#include <optional>
#include <vector>

#include "platform/window.h"
#include "prefs/prefs.h"

namespace plenhall {

// Smallest large window, and the smallest remembered frame that is used.
inline constexpr Size kLargeWindowMinSize{640, 480};

// The first screen (in the desktop's order) whose frame holds the pointer, else the main screen,
// else the first screen; nothing when there is no screen at all.
std::optional<Screen> targetScreen(std::optional<Point> pointer, const std::vector<Screen>& screens,
                                   const std::optional<Screen>& primaryScreen);

// 90 % of the visible frame's width and height, rounded half away from zero, centred on it.
Rect defaultLargeFrame(const Rect& workArea);

// A frame of `size` centred on `workArea`, on whole points.
Rect centeredFrame(Size size, const Rect& workArea);

// Whether a remembered frame is used as it stands: at least 640 × 480 and touching the visible
// frame.
bool acceptsRememberedFrame(const Rect& frame, const Rect& workArea);

// The frame a large window takes on a screen with `workArea`, given the remembered text.
Rect largeWindowFrame(const std::optional<std::string>& remembered, const Rect& workArea);

// The size a large window takes where the desktop places it: the remembered one when it is at
// least 640 × 480, else the default frame's on `workArea`.
Size largeWindowSize(const std::optional<std::string>& remembered, const Rect& workArea);

// Lays `window` out for the store's display mode on the screen under the pointer, or where the
// desktop places windows itself, on the screen it chooses. Does nothing when there is no screen.
void layoutWindow(Window& window, const Screens& screens, const Prefs& prefs);

// Stores the window's frame under "largeWindowFrame" in largeWindow mode; nothing otherwise.
void rememberLargeFrame(const Window& window, const Prefs& prefs);

}  // namespace plenhall
