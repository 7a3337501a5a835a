// A top-level GTK window behind the seam's Window: the calendar's overlay window or a plain one
// (the settings window).
//
// Window-system calls whose value has not changed since the last one are skipped, so showing the
// calendar costs little more than mapping it. Frames are client-area rectangles in root
// coordinates, the same for moveResize, frame and the remembered text. On Wayland the compositor
// places every window: only the size of a frame counts there. On GNOME a calendar full screen on
// the desktop's screen shows framed for a moment first (see fullscreen).
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
    enum class Kind { calendar, plain };

    GtkWindowAdapter(Kind kind, GtkApplication* application, FocusTracker& focus,
                     GtkKeyMonitor& keys, Log& log, Size size, Decoration decoration,
                     CalendarWindowWaits waits = {});
    GtkWindowAdapter(const GtkWindowAdapter&) = delete;
    GtkWindowAdapter& operator=(const GtkWindowAdapter&) = delete;
    ~GtkWindowAdapter() override;

    void setDecoration(Decoration decoration) override;
    void setKeptAbove(bool above) override;
    void setOnEveryWorkspace(bool every) override;
    void setSkipTaskSwitcher(bool skip) override;
    void setBackgroundColor(Color color) override;
    void setTitle(const std::string& title) override;
    void setMinimumSize(Size size) override;
    Rect frame() const override;
    void moveResize(const Rect& frame) override;
    void resize(Size size) override;
    void fullscreen(const std::optional<Screen>& screen) override;
    bool isVisible() const override;
    bool isActive() const override;
    void hide() override;
    void present(const UserInput& input) override;
    void focusContent() override;
    void redrawForNextShowing() override;
    void setContent(WebView& view) override;
    void setHostedView(std::function<ViewNode()> body) override;
    void invalidateHostedView() override;
    void setCloseHandler(std::function<void()> handler) override {
        closeHandler_ = std::move(handler);
    }
    void close() override;

    GtkWindow* widget() const { return window_; }

    // A dialog that belongs to this window like a dialog: it is on screen only while the window
    // is, and comes back in front of it when the window is shown again.
    void attachDialog(GtkWindow* dialog);
    // A dialog has ended: the focus goes back to this window, where it was before.
    void dialogEnded();

  private:
    gboolean onDeleteEvent(GdkEvent*);
    gboolean onMapEvent(GdkEvent*);
    void onRealize();
    gboolean onWindowStateEvent(GdkEventWindowState* event);
    gboolean onConfigureEvent(GdkEventConfigure* event);
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
    void presentDialogs();
    void render();

    GtkWindow* window_ = nullptr;  // owned: destroyed in the destructor
    Log& log_;
    GtkWidget* content_ = nullptr;
    std::vector<SignalConnection> connections_;
    std::function<void()> closeHandler_;
    const CalendarWindowWaits waits_;

    std::optional<Color> background_;
    std::optional<Decoration> decoration_;
    std::optional<std::string> title_;
    std::optional<Size> minSize_;
    // The position is the program's choice, not the window manager's (the large calendar).
    bool placedByProgram_ = false;
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
    std::list<GtkWindow*> dialogs_;  // weak: an entry turns null when its dialog goes

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

    std::unique_ptr<Window> makeCalendarWindow(const CalendarWindowWaits& waits) override;
    std::unique_ptr<Window> makeWindow(Size size, Decoration decoration) override;

  private:
    FocusTracker& focus_;
    GtkKeyMonitor& keys_;
    Log& log_;
    GtkApplication* application_ = nullptr;
};

}  // namespace plenhall::gtk
