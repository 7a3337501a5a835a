#include "window/window_layout.h"

#include <cmath>

#include "text/product_name.h"
#include "window/frame_text.h"

namespace plenhall {
namespace {

bool usable(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.maxX()) &&
           std::isfinite(r.maxY()) && r.width >= 0 && r.height >= 0;
}

// A screen the desktop could really have: finite, of non-negative size. Anything else would lay
// the window out at nowhere.
bool usable(const Screen& screen) {
    return usable(screen.frame) && usable(screen.workArea);
}

}  // namespace

std::optional<Screen> targetScreen(std::optional<Point> pointer, const std::vector<Screen>& screens,
                                   const std::optional<Screen>& primaryScreen) {
    for (const auto& screen : screens) {
        if (pointer && usable(screen) && screen.frame.contains(*pointer)) return screen;
    }
    if (primaryScreen && usable(*primaryScreen)) return primaryScreen;
    // Desktops without a configured primary monitor report none; any screen beats no layout.
    for (const auto& screen : screens) {
        if (usable(screen)) return screen;
    }
    return std::nullopt;
}

Rect defaultLargeFrame(const Rect& workArea) {
    double width = std::round(0.9 * workArea.width);
    double height = std::round(0.9 * workArea.height);
    return Rect{workArea.midX() - 0.5 * width, workArea.midY() - 0.5 * height, width, height};
}

bool acceptsRememberedFrame(const Rect& frame, const Rect& workArea) {
    return frame.width >= kLargeWindowMinSize.width && frame.height >= kLargeWindowMinSize.height &&
           workArea.intersects(frame);
}

Rect largeWindowFrame(const std::optional<std::string>& remembered, const Rect& workArea) {
    if (remembered) {
        Rect frame = rectFromString(*remembered);
        if (acceptsRememberedFrame(frame, workArea)) return frame;
    }
    return defaultLargeFrame(workArea);
}

Size largeWindowSize(const std::optional<std::string>& remembered, const Rect& workArea) {
    if (remembered) {
        Rect frame = rectFromString(*remembered);
        if (frame.width >= kLargeWindowMinSize.width && frame.height >= kLargeWindowMinSize.height)
            return Size{frame.width, frame.height};
    }
    Rect fallback = defaultLargeFrame(workArea);
    return Size{fallback.width, fallback.height};
}

void layoutWindow(Window& window, const Screens& screens, const Prefs& prefs) {
    const auto pointer = screens.pointer();
    auto screen = targetScreen(pointer, screens.screens(), screens.primaryScreen());
    if (!screen) return;

    if (prefs.displayMode() == DisplayMode::fullScreen) {
        window.setDecoration(Decoration::none);
        // Without the pointer the main screen would be a guess; the desktop knows where the user
        // is.
        window.fullscreen(pointer ? screen : std::nullopt);
        return;
    }

    window.setDecoration(Decoration::titledResizable);
    window.setTitle(kProductName);
    window.setMinimumSize(kLargeWindowMinSize);
    auto remembered = prefs.defaults().stringForKey(kLargeWindowFrameKey);
    if (screens.windowsPlaceThemselves()) {
        window.moveResize(largeWindowFrame(remembered, screen->workArea));
    } else {
        window.resize(largeWindowSize(remembered, screen->workArea));
    }
}

Rect centeredFrame(Size size, const Rect& workArea) {
    return Rect{std::round(workArea.midX() - 0.5 * size.width),
                std::round(workArea.midY() - 0.5 * size.height), size.width, size.height};
}

void rememberLargeFrame(const Window& window, const Prefs& prefs) {
    if (prefs.displayMode() != DisplayMode::largeWindow) return;
    prefs.defaults().setString(kLargeWindowFrameKey, frameToString(window.frame()));
}

}  // namespace plenhall
