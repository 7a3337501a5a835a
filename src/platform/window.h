// Top-level windows, the screens they are laid out on, and the pointer.
//
// Thread: main thread only. Ownership: WindowFactory hands out windows owned by the caller; a
// window outlives everything it is given (content, handlers) only through its owner, which keeps
// both for the life of the process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/user_input.h"
#include "platform/view_tree.h"

namespace plenhall {

class WebView;

// The kinds of window frame the program uses.
enum class WindowStyle : std::uint32_t {
    borderless = 0,
    titledClosable = 3,   // titled + closable: the settings window
    titledResizable = 9,  // titled + resizable: the large calendar window
};

enum class WindowButton { close = 0, miniaturize = 1, zoom = 2 };

struct Color {
    double red = 1, green = 1, blue = 1, alpha = 1;
    static Color white() { return {}; }
    bool operator==(const Color&) const = default;
};

// The level that floats above every ordinary window.
inline constexpr int kScreenSaverWindowLevel = 1000;

// Collection behaviour bits.
namespace CollectionBehavior {
inline constexpr std::uint32_t canJoinAllSpaces = 0x1;
inline constexpr std::uint32_t stationary = 0x10;
inline constexpr std::uint32_t ignoresCycle = 0x40;
inline constexpr std::uint32_t fullScreenAuxiliary = 0x100;
}  // namespace CollectionBehavior

struct Screen;

class Window {
  public:
    virtual ~Window() = default;

    virtual void setStyle(WindowStyle style) = 0;
    virtual void setLevel(int level) = 0;
    virtual void setCollectionBehavior(std::uint32_t behavior) = 0;
    // false: closing only orders the window out; it and its content stay.
    virtual void setReleasedWhenClosed(bool released) = 0;
    virtual void setBackgroundColor(Color color) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setHasShadow(bool shadow) = 0;
    virtual void setMovable(bool movable) = 0;
    virtual void setMinSize(Size size) = 0;
    // False when the window has no button of that kind.
    virtual bool hasStandardButton(WindowButton button) const = 0;
    virtual void setStandardButtonHidden(WindowButton button, bool hidden) = 0;

    // The frame in root coordinates, and moving/resizing to one: the window goes exactly there,
    // shown or hidden, and leaves full screen. A frame the window system cannot map is clamped by
    // the backend. Only where Screens::windowsPlaceThemselves(); elsewhere the origin of frame()
    // means nothing.
    virtual Rect frame() const = 0;
    virtual void setFrame(const Rect& frame) = 0;
    // Resizes the window to `size` and leaves full screen; where it appears is the desktop's
    // choice. For desktops where windows cannot place themselves.
    virtual void setSize(Size size) = 0;
    // Covers a screen whole, panels and docks included, until the next setFrame or setSize:
    // `screen`, or with nothing the screen the desktop shows the window on (the one under the
    // pointer or with the focus, as the desktop decides).
    virtual void enterFullScreen(const std::optional<Screen>& screen) = 0;

    virtual bool isVisible() const = 0;
    virtual bool isKeyWindow() const = 0;
    virtual void orderOut() = 0;
    // Brings the application forward with this window in front and the keyboard focus in it, on
    // behalf of `input`.
    virtual void makeKeyAndOrderFront(const UserInput& input) = 0;
    // Gives keyboard focus to the window's content (the web view or the hosted view).
    virtual void makeContentFirstResponder() = 0;

    virtual void setContentView(WebView& view) = 0;
    // Hosts a declarative view: `body` is computed now and again after every invalidate().
    virtual void setHostedView(std::function<ViewNode()> body) = 0;
    // Asks for the hosted view to be computed again once the current change has been stored.
    virtual void invalidateHostedView() = 0;

    // Called when the window is about to close, by the user or by close().
    virtual void setWillCloseHandler(std::function<void()> handler) = 0;
    // Closes the window: the will-close handler runs, then the window is ordered out.
    virtual void close() = 0;
};

struct Screen {
    Rect frame;         // the whole monitor
    Rect visibleFrame;  // the part not covered by panels and docks
    // The desktop's own name for the monitor, so a window can be sent to it; -1 when not known.
    int id = -1;
    bool operator==(const Screen&) const = default;
};

class Screens {
  public:
    virtual ~Screens() = default;
    // The attached screens in the desktop's order.
    virtual std::vector<Screen> screens() const = 0;
    // The main (primary) screen, or nothing.
    virtual std::optional<Screen> mainScreen() const = 0;
    // Where the pointer is, in root coordinates; nothing where the desktop does not tell (on
    // Wayland only the compositor knows, and through XWayland the answer goes stale).
    virtual std::optional<Point> mouseLocation() const = 0;
    // False where the desktop places every window itself (Wayland): a window then asks for a size
    // or for full screen, never for a position.
    virtual bool windowsPlaceThemselves() const = 0;
};

class WindowFactory {
  public:
    virtual ~WindowFactory() = default;
    // The calendar window: created hidden with a zero frame and the given style.
    virtual std::unique_ptr<Window> makeOverlayWindow(const Rect& contentRect,
                                                      WindowStyle style) = 0;
    // A plain window (the settings window), created hidden.
    virtual std::unique_ptr<Window> makeWindow(const Rect& contentRect, WindowStyle style) = 0;
};

}  // namespace plenhall
