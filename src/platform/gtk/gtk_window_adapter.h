// A top-level GTK window behind the seam's Window: the calendar's overlay window or a plain one
// (the settings window).
//
// Window-system calls whose value has not changed since the last one are skipped, so showing the
// calendar costs little more than mapping it. Frames are client-area rectangles in root
// coordinates, the same for setFrame, frame and the remembered text. On Wayland the compositor
// places every window: only the size of a frame counts there. On GNOME a calendar full screen on
// the desktop's screen shows framed for a moment first (see enterFullScreen).
//
// Thread: main thread only. Ownership: the core owns the adapter; the adapter owns its GtkWindow
// and destroys it first thing in its destructor, with every signal handler.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <list>
#include <map>
#include <optional>
#include <string>

#include "platform/gtk/focus_tracker.h"
#include "platform/gtk/frame_presented.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/gtk_key_monitor.h"
#include "platform/gtk/kept_frame.h"
#include "platform/gtk/show_trace.h"
#include "platform/gtk/view_renderer.h"
#include "platform/system.h"
#include "platform/window.h"

namespace plenhall::gtk {

class GtkWindowAdapter final : public Window {
  public:
    enum class Kind { overlay, plain };

    GtkWindowAdapter(Kind kind, GtkApplication* application, FocusTracker& focus,
                     GtkKeyMonitor& keys, Log& log, const Rect& contentRect, WindowStyle style);
    GtkWindowAdapter(const GtkWindowAdapter&) = delete;
    GtkWindowAdapter& operator=(const GtkWindowAdapter&) = delete;
    ~GtkWindowAdapter() override;

    void setStyle(WindowStyle style) override;
    void setLevel(int level) override;
    void setCollectionBehavior(std::uint32_t behavior) override;
    void setReleasedWhenClosed(bool released) override { releasedWhenClosed_ = released; }
    void setBackgroundColor(Color color) override;
    void setTitle(const std::string& title) override;
    void setHasShadow(bool) override {}  // the window manager draws shadows of decorated windows
    void setMovable(bool) override {}    // X11 has no way to forbid moves; fullscreen is immovable
    void setMinSize(Size size) override;
    bool hasStandardButton(WindowButton) const override { return true; }
    void setStandardButtonHidden(WindowButton button, bool hidden) override;
    Rect frame() const override;
    void setFrame(const Rect& frame) override;
    void setSize(Size size) override;
    void enterFullScreen(const std::optional<Screen>& screen) override;
    bool isVisible() const override;
    bool isKeyWindow() const override;
    void orderOut() override;
    void makeKeyAndOrderFront(const UserInput& input) override;
    void makeContentFirstResponder() override;
    void setContentView(WebView& view) override;
    void setHostedView(std::function<ViewNode()> body) override;
    void invalidateHostedView() override;
    void setWillCloseHandler(std::function<void()> handler) override {
        willClose_ = std::move(handler);
    }
    void close() override;

    GtkWindow* widget() const { return window_; }

    // A dialog that belongs to this window like a sheet: it is on screen only while the window
    // is, and comes back in front of it when the window is shown again.
    void attachSheet(GtkWindow* sheet);
    // A sheet has ended: the focus goes back to this window, where it was before.
    void sheetEnded();

  private:
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onMapEvent(GtkWidget*, GdkEvent*, gpointer self);
    static void onRealize(GtkWidget*, gpointer self);
    static gboolean onWindowStateEvent(GtkWidget*, GdkEventWindowState* event, gpointer self);
    static gboolean onConfigureEvent(GtkWidget*, GdkEventConfigure* event, gpointer self);
    // The size a full-screen showing where the desktop chooses the screen will most likely have.
    std::optional<GdkRectangle> expectedDesktopsScreenSize() const;
    bool onX11() const;
    // Full screen on the desktop's screen comes after the compositor has placed the window framed.
    bool fillsScreenOncePlaced() const;
    void awaitPlacement();
    void stopAwaitingPlacement();
    // `placed`: the compositor has shown the window, so GTK knows its monitor.
    void placementEnded(bool placed);
    // Full screen on the monitor the compositor put the window on, or where it chooses when that
    // is not known.
    void fillPlacedMonitor(bool placed);
    void applyFunctions();
    void applyGeometryHints();
    void leaveFullScreen();
    // Asks the window manager for the focus, with `time` or, without one, the server's current
    // time.
    void focusNow(guint32 time = GDK_CURRENT_TIME);
    void presentSheets();
    void render();

    GtkWindow* window_ = nullptr;  // owned: destroyed in the destructor
    Log& log_;
    GtkWidget* content_ = nullptr;
    std::vector<SignalConnection> connections_;
    bool releasedWhenClosed_ = true;
    std::function<void()> willClose_;

    std::optional<Color> background_;
    std::optional<bool> decorated_;
    std::optional<bool> fixedSize_;
    std::optional<std::string> title_;
    std::optional<Size> minSize_;
    // The position is the program's choice, not the window manager's (the large calendar).
    bool placedByProgram_ = false;
    std::map<WindowButton, bool> hiddenButtons_;
    // The monitor the window is full screen on, kDesktopsMonitor where the desktop chose it.
    static constexpr int kDesktopsMonitor = -1;
    std::optional<int> fullScreenMonitor_;
    std::optional<GdkRectangle> desktopsScreenSize_;  // the size it last filled there
    Rect requestedFrame_;
    bool focusOnMap_ = false;
    // While a window shown framed waits for the compositor to place it.
    FramePresented placementFrames_;
    ScheduledCall placementDeadline_;
    // Our window that had the focus when this visible window was sent full screen: some window
    // managers (openbox) focus a window as it enters full screen, and a layout must not.
    GObjectPtr<GtkWindow> focusBeforeFullScreen_;
    std::list<GtkWindow*> sheets_;  // weak: an entry turns null when its dialog goes

    std::unique_ptr<ShowTrace> trace_;
    std::unique_ptr<KeptFrame> keptFrame_;  // with web content only

    std::function<ViewNode()> body_;
    std::unique_ptr<ViewRenderer> renderer_;
    ScheduledCall renderPending_;
};

class GtkWindowFactory final : public WindowFactory {
  public:
    GtkWindowFactory(FocusTracker& focus, GtkKeyMonitor& keys, Log& log)
        : focus_(focus), keys_(keys), log_(log) {}
    void setApplication(GtkApplication* application) { application_ = application; }

    std::unique_ptr<Window> makeOverlayWindow(const Rect& contentRect, WindowStyle style) override;
    std::unique_ptr<Window> makeWindow(const Rect& contentRect, WindowStyle style) override;

  private:
    FocusTracker& focus_;
    GtkKeyMonitor& keys_;
    Log& log_;
    GtkApplication* application_ = nullptr;
};

}  // namespace plenhall::gtk
