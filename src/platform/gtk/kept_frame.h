// The calendar kept ready to be seen. While its window is hidden, the web view is laid out at the
// size the window will show at, and the window's last frame stays as the window's background. On
// X11 it is kept in the X server, which paints it the moment the window manager maps the window,
// before the toolkit or the web engine have drawn anything. On Wayland, where the client draws
// every frame, it is kept in our memory, and GDK paints it into each buffer before the web view
// draws what it has: the first buffer of a showing is the calendar even where the engine has
// nothing yet. The engine throws its own frame away while a page is hidden and paints anew once
// it shows; until it has, the toolkit's paints start from the kept frame, so the user sees the
// calendar as they left it and never a blank window. Before the first showing, and after a page
// loaded while hidden, the frame is the page as the engine renders it at the show size. A frame
// the X server or cairo cannot hold (a server short of memory refuses the pixmap) leaves the plain
// background, with one log line until a frame is kept again; a frame drawn for another scale
// factor is let go.
//
// Thread: main thread only. Ownership: the window adapter owns it and destroys it before the
// window and the web view; pending renders end with it.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/gtk/frame_presented.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"

namespace plenhall::gtk {

class KeptFrame {
  public:
    // Puts `content` into `window`, which it fills; a web view's page is rendered for the first
    // frame.
    KeptFrame(GtkWindow* window, GtkWidget* content, Log& log);
    KeptFrame(const KeptFrame&) = delete;
    KeptFrame& operator=(const KeptFrame&) = delete;
    ~KeptFrame();

    // The size the hidden window will next show at: the page is laid out at it now, and a frame
    // of another size is let go, since the server would tile it. Unknown, nothing is kept.
    void prepare(std::optional<GdkRectangle> size);
    // Keeps what the window shows now; called just before it is hidden.
    void keepShown();
    // Called just before the hidden window is presented. With a frame kept, the engine is told
    // its page is on screen only once the frame is (the X server's map, the compositor's report
    // of the first frame on Wayland): waking the page takes the web process a core for a while,
    // and the window manager, the server or the compositor, which put the frame on screen, would
    // wait for it. `sizedByCompositor`: the compositor sizes the window as it shows it (full
    // screen on Wayland), after a first configure that leaves the size to the window; that one is
    // answered with a single pixel, cheap to paint, so the sized frame comes sooner.
    void willShow(std::chrono::milliseconds releaseAnyway, bool sizedByCompositor);
    // While hidden: the page as it is now becomes the frame (once it has loaded).
    void render();
    // What the window shows where it has no frame yet (the web view's own background).
    void setBackground(const GdkRGBA& colour);

  private:
    using Surface = CPtr<cairo_surface_t, cairo_surface_destroy>;

    // The window's GdkWindow where it is an X window, else null.
    GdkWindow* x11Window() const;
    bool hidden() const;
    void layOut();
    void keep(cairo_surface_t* image);
    // What `paint` draws becomes the frame, `size` large: a new server pixmap on X11, an image in
    // our memory on Wayland.
    void keepPainted(GdkWindow* window, GdkRectangle size,
                     const std::function<void(cairo_t*)>& paint);
    void notKept(GdkRectangle size, const std::string& why);
    // Frees the frame (an X call where it is a pixmap) and keeps `frame` instead.
    void replaceFrame(Surface frame);
    void drop();
    void applyBackground();
    gboolean onConfigured(GdkEventConfigure* event);
    gboolean onMapped(GdkEvent*);
    void onScaleChanged(GParamSpec*);
    void releaseContent();
    static void onRendered(GObject* view, GAsyncResult* result, gpointer data);

    GtkWindow* window_;
    GtkWidget* content_;
    GtkWidget* pin_;  // between the window and the content
    Log& log_;
    bool failureLogged_ = false;
    std::optional<GdkRectangle> size_;  // what the hidden window will show at
    Surface frame_;  // an X pixmap, or on Wayland an image, the window's size; or nothing
    GdkRectangle frameSize_{};
    GdkRGBA background_{1, 1, 1, 1};
    SignalConnection configured_;
    SignalConnection mapped_;
    SignalConnection scaleChanged_;
    bool holdingContent_ = false;    // the web view stays unmapped until the window is
    bool answeringSmall_ = false;    // the showing's first buffer is a single pixel
    bool watchOnConfigure_ = false;  // the first frame is watched from the first configure
    ScheduledCall releaseAnyway_;
    FramePresented presented_;
    ScheduledCall pendingRender_;
    PendingOperations renders_;
};

}  // namespace plenhall::gtk
