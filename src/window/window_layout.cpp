#include "window/window_layout.h"

#include <cmath>

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
    return usable(screen.frame) && usable(screen.visibleFrame);
}

}  // namespace

std::optional<Screen> targetScreen(std::optional<Point> pointer, const std::vector<Screen>& screens,
                                   const std::optional<Screen>& mainScreen) {
    for (const auto& screen : screens) {
        if (pointer && usable(screen) && screen.frame.contains(*pointer)) return screen;
    }
    if (mainScreen && usable(*mainScreen)) return mainScreen;
    // Desktops without a configured primary monitor report none; any screen beats no layout.
    for (const auto& screen : screens) {
        if (usable(screen)) return screen;
    }
    return std::nullopt;
}

Rect defaultLargeFrame(const Rect& visibleFrame) {
    double width = std::round(0.9 * visibleFrame.width);
    double height = std::round(0.9 * visibleFrame.height);
    return Rect{visibleFrame.midX() - 0.5 * width, visibleFrame.midY() - 0.5 * height, width,
                height};
}

bool acceptsRememberedFrame(const Rect& frame, const Rect& visibleFrame) {
    return frame.width >= kLargeWindowMinSize.width && frame.height >= kLargeWindowMinSize.height &&
           visibleFrame.intersects(frame);
}

Rect largeWindowFrame(const std::optional<std::string>& remembered, const Rect& visibleFrame) {
    if (remembered) {
        Rect frame = rectFromString(*remembered);
        if (acceptsRememberedFrame(frame, visibleFrame)) return frame;
    }
    return defaultLargeFrame(visibleFrame);
}

Size largeWindowSize(const std::optional<std::string>& remembered, const Rect& visibleFrame) {
    if (remembered) {
        Rect frame = rectFromString(*remembered);
        if (frame.width >= kLargeWindowMinSize.width && frame.height >= kLargeWindowMinSize.height)
            return Size{frame.width, frame.height};
    }
    Rect fallback = defaultLargeFrame(visibleFrame);
    return Size{fallback.width, fallback.height};
}

void layoutWindow(Window& window, const Screens& screens, const Prefs& prefs) {
    const auto pointer = screens.mouseLocation();
    auto screen = targetScreen(pointer, screens.screens(), screens.mainScreen());
    if (!screen) return;

    if (prefs.displayMode() == DisplayMode::fullScreen) {
        window.setStyle(WindowStyle::borderless);
        window.setHasShadow(false);
        window.setMovable(false);
        // Without the pointer the main screen would be a guess; the desktop knows where the user
        // is.
        window.enterFullScreen(pointer ? screen : std::nullopt);
        return;
    }

    window.setStyle(WindowStyle::titledResizable);
    window.setTitle("Plenhall");
    for (auto button : {WindowButton::close, WindowButton::miniaturize, WindowButton::zoom}) {
        if (window.hasStandardButton(button)) window.setStandardButtonHidden(button, true);
    }
    window.setHasShadow(true);
    window.setMovable(true);
    window.setMinSize(kLargeWindowMinSize);
    auto remembered = prefs.defaults().stringForKey(kLargeWindowFrameKey);
    if (screens.windowsPlaceThemselves()) {
        window.setFrame(largeWindowFrame(remembered, screen->visibleFrame));
    } else {
        window.setSize(largeWindowSize(remembered, screen->visibleFrame));
    }
}

Rect centeredFrame(Size size, const Rect& visibleFrame) {
    return Rect{std::round(visibleFrame.midX() - 0.5 * size.width),
                std::round(visibleFrame.midY() - 0.5 * size.height), size.width, size.height};
}

void rememberLargeFrame(const Window& window, const Prefs& prefs) {
    if (prefs.displayMode() != DisplayMode::largeWindow) return;
    prefs.defaults().setString(kLargeWindowFrameKey, frameToString(window.frame()));
}

}  // namespace plenhall
