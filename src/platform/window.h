// Top-level windows, the screens they are laid out on, and the pointer.
//
// Thread: main thread only. Ownership: WindowFactory hands out windows owned by the caller; a
// window outlives everything it is given (content, handlers) only through its owner, which keeps
// both for the life of the process.
#pragma once

#include <chrono>
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

// What the window manager draws around a window and lets the user do to it.
enum class Decoration {
    none,             // no title bar or border: the calendar in full screen
    titledFixedSize,  // a title bar with a close button, at the size the program sets: settings
    titledResizable,  // a title bar, resizable, no buttons (closing is the program's): the large
                      // calendar window
};

struct Color {
    double red = 1, green = 1, blue = 1, alpha = 1;
    static Color white() { return {}; }
    bool operator==(const Color&) const = default;
};

struct Screen;

class Window {
  public:
    virtual ~Window() = default;

    virtual void setDecoration(Decoration decoration) = 0;
    // Above every ordinary window, full-screen ones included.
    virtual void setKeptAbove(bool above) = 0;
    // Shown on every workspace, and left out of task bars, pagers and the window switcher.
    virtual void setOnEveryWorkspace(bool every) = 0;
    virtual void setSkipTaskSwitcher(bool skip) = 0;
    virtual void setBackgroundColor(Color color) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setMinimumSize(Size size) = 0;

    // The frame in root coordinates, and moving/resizing to one: the window goes exactly there,
    // shown or hidden, and leaves full screen. A frame the window system cannot map is clamped by
    // the backend. Only where Screens::windowsPlaceThemselves(); elsewhere the origin of frame()
    // means nothing.
    virtual Rect frame() const = 0;
    virtual void moveResize(const Rect& frame) = 0;
    // Resizes the window to `size` and leaves full screen; where it appears is the desktop's
    // choice. For desktops where windows cannot place themselves.
    virtual void resize(Size size) = 0;
    // Covers a screen whole, panels and docks included, until the next moveResize or resize:
    // `screen`, or with nothing the screen the desktop shows the window on (the one under the
    // pointer or with the focus, as the desktop decides).
    virtual void fullscreen(const std::optional<Screen>& screen) = 0;

    virtual bool isVisible() const = 0;
    // Holds the keyboard focus of the desktop.
    virtual bool isActive() const = 0;
    virtual void hide() = 0;
    // Shows the window in front with the keyboard focus in it, on behalf of `input` (its time
    // or the desktop's activation token tell the window manager this is no focus theft).
    virtual void present(const UserInput& input) = 0;
    // Gives keyboard focus to the window's content (the web view or the hosted view).
    virtual void focusContent() = 0;
    // While hidden: draws the content as it is now into what the next showing starts with, which
    // is otherwise what the window last showed.
    virtual void redrawForNextShowing() = 0;

    virtual void setContent(WebView& view) = 0;
    // Hosts a declarative view: `body` is computed now and again after every invalidate().
    virtual void setHostedView(std::function<ViewNode()> body) = 0;
    // Asks for the hosted view to be computed again once the current change has been stored.
    virtual void invalidateHostedView() = 0;

    // Called when the window is closed, by the user (the close button, Alt+F4) or by close().
    // Closing only hides a window: it and its content stay.
    virtual void setCloseHandler(std::function<void()> handler) = 0;
    // Closes the window: the close handler runs, then the window hides.
    virtual void close() = 0;
};

struct Screen {
    Rect frame;     // the whole monitor
    Rect workArea;  // the part not covered by panels and docks
    // The desktop's own name for the monitor, so a window can be sent to it; -1 when not known.
    int id = -1;
    bool operator==(const Screen&) const = default;
};

class Screens {
  public:
    virtual ~Screens() = default;
    // The attached screens in the desktop's order.
    virtual std::vector<Screen> screens() const = 0;
    // The primary screen, or nothing.
    virtual std::optional<Screen> primaryScreen() const = 0;
    // Where the pointer is, in root coordinates; nothing where the desktop does not tell (on
    // Wayland only the compositor knows, and through XWayland the answer goes stale).
    virtual std::optional<Point> pointer() const = 0;
    // False where the desktop places every window itself (Wayland): a window then asks for a size
    // or for full screen, never for a position.
    virtual bool windowsPlaceThemselves() const = 0;
};

// How long the calendar window waits for the desktop before it goes ahead without it.
struct CalendarWindowWaits {
    // A window shown framed first (for the compositor to place it on the user's monitor) waits
    // this long for the compositor to show it, then goes full screen wherever it chooses.
    std::chrono::milliseconds placement{0};
    // The page sleeps until the desktop has put the showing's first frame on screen; a window
    // manager that never maps the window must not leave it asleep longer than this.
    std::chrono::milliseconds firstFrame{0};
};

class WindowFactory {
  public:
    virtual ~WindowFactory() = default;
    // The calendar window: created hidden, undecorated, with no size of its own yet.
    virtual std::unique_ptr<Window> makeCalendarWindow(const CalendarWindowWaits& waits) = 0;
    // A plain window (the settings window), created hidden.
    virtual std::unique_ptr<Window> makeWindow(Size size, Decoration decoration) = 0;
};

}  // namespace plenhall
