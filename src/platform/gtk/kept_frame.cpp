#include "platform/gtk/kept_frame.h"

#include <gdk/gdkx.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/gtk/pinned_bin.h"
#include "platform/gtk/show_trace.h"

namespace plenhall::gtk {
namespace {

using Pattern = CPtr<cairo_pattern_t, cairo_pattern_destroy>;

// GDK keeps its own record of a window's background and puts it back after some of its own
// operations, so the background goes through GDK; its call for that is deprecated, and on X11
// still does exactly this.
void setWindowBackground(GdkWindow* window, cairo_pattern_t* pattern) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_set_background_pattern(window, pattern);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

// The X calls made in its scope are trapped here: GDK ends the process on an X error nobody
// trapped, and a server short of memory answers BadAlloc to a pixmap the window's size. Nothing on
// Wayland.
class XErrorTrap {
  public:
    explicit XErrorTrap(GdkWindow* window)
        : display_(window && GDK_IS_X11_WINDOW(window) ? gdk_window_get_display(window) : nullptr) {
        if (display_) gdk_x11_display_error_trap_push(display_);
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
    ~XErrorTrap() {
        if (display_) gdk_x11_display_error_trap_pop_ignored(display_);
    }
    // Ends the trap once the server has run every call made in it: the code of an error one of
    // them met, or 0.
    int end() {
        return display_ ? gdk_x11_display_error_trap_pop(std::exchange(display_, nullptr)) : 0;
    }

  private:
    GdkDisplay* display_;
};

struct RenderCompletion {
    GObjectPtr<GCancellable> alive;
    KeptFrame* frame;
};

}  // namespace

KeptFrame::KeptFrame(GtkWindow* window, GtkWidget* content, Log& log)
    : window_(window), content_(content), pin_(pinnedBinNew()), log_(log) {
    gtk_container_add(GTK_CONTAINER(pin_), content_);
    gtk_container_add(GTK_CONTAINER(window_), pin_);
    gtk_widget_show(pin_);
    // The window paints no background of its own: its paints start from the window's background,
    // the kept frame, which the web view then covers once it has something to show.
    gtk_widget_set_app_paintable(GTK_WIDGET(window_), TRUE);
    configured_ = SignalConnection::to<&KeptFrame::onConfigured>(window_, "configure-event", this);
    mapped_ = SignalConnection::to<&KeptFrame::onMapped>(window_, "map-event", this);
    scaleChanged_ =
        SignalConnection::to<&KeptFrame::onScaleChanged>(window_, "notify::scale-factor", this);
    applyBackground();
}

KeptFrame::~KeptFrame() {
    replaceFrame({});
}

GdkWindow* KeptFrame::x11Window() const {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    return window && GDK_IS_X11_WINDOW(window) ? window : nullptr;
}

bool KeptFrame::hidden() const {
    return !gtk_widget_get_visible(GTK_WIDGET(window_));
}

void KeptFrame::prepare(std::optional<GdkRectangle> size) {
    size_ = size;
    if (frame_ &&
        (!size_ || size_->width != frameSize_.width || size_->height != frameSize_.height)) {
        drop();
    }
    if (!size_ || !hidden()) return;
    layOut();
    // The showing that usually follows at once in the same turn needs no render: it would only
    // compete with the engine's own paint.
    if (!frame_) pendingRender_ = ScheduledCall::idle([this] { render(); });
}

void KeptFrame::layOut() {
    // A hidden toplevel is allocated only when it shows. Allocated now, it has the engine lay the
    // page out at the show size while nobody waits, instead of after the press.
    GtkWidget* widget = GTK_WIDGET(window_);
    // The X window takes the size too: mapped at another one, the window manager would show its
    // own frame around it until the window had been resized.
    if (GdkWindow* window = gtk_widget_get_window(widget)) {
        XErrorTrap trap(window);
        gdk_window_resize(window, size_->width, size_->height);
    }
    GtkAllocation current;
    gtk_widget_get_allocation(content_, &current);
    if (current.width == size_->width && current.height == size_->height) return;
    GtkRequisition minimum;
    gtk_widget_get_preferred_size(widget, &minimum, nullptr);
    GtkAllocation allocation{0, 0, size_->width, size_->height};
    gtk_widget_size_allocate(widget, &allocation);
    showTrace("laid out while hidden");
}

void KeptFrame::render() {
    if (!hidden() || !size_ || !gtk_widget_get_window(GTK_WIDGET(window_)) ||
        !WEBKIT_IS_WEB_VIEW(content_))
        return;
    auto* view = WEBKIT_WEB_VIEW(content_);
    // A page still loading is rendered once it has loaded.
    if (webkit_web_view_is_loading(view) || !webkit_web_view_get_uri(view)) return;
    showTrace("frame render asked");
    // The completion holds the cancellable, so it can tell whether `this` is still there.
    webkit_web_view_get_snapshot(view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE,
                                 renders_.get(), onRendered,
                                 new RenderCompletion{renders_.share(), this});
}

void KeptFrame::onRendered(GObject* view, GAsyncResult* result, gpointer data) {
    std::unique_ptr<RenderCompletion> completion(static_cast<RenderCompletion*>(data));
    GErrorHolder error;
    Surface image(webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, error.out()));
    if (PendingOperations::cancelled(completion->alive) || !image) return;
    KeptFrame& self = *completion->frame;
    showTrace("frame rendered %dx%d", cairo_image_surface_get_width(image.get()),
              cairo_image_surface_get_height(image.get()));
    // Shown meanwhile, the window's own frame is newer than this one.
    if (self.hidden()) self.keep(image.get());
}

void KeptFrame::keep(cairo_surface_t* image) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!window || !size_) return;
    const int scale = gdk_window_get_scale_factor(window);
    if (cairo_image_surface_get_width(image) != size_->width * scale ||
        cairo_image_surface_get_height(image) != size_->height * scale) {
        return;  // rendered for another size than the one the window will show at
    }
    cairo_surface_set_device_scale(image, scale, scale);
    keepPainted(window, *size_, [image](cairo_t* cr) {
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
    });
}

void KeptFrame::keepPainted(GdkWindow* window, GdkRectangle size,
                            const std::function<void(cairo_t*)>& paint) {
    // A new pixmap each time: drawing into one the server already uses as a background has no
    // defined effect. On Wayland the frame is our own memory, which GDK paints first into every
    // buffer the window commits (the window's background), under the web view.
    const bool x11 = GDK_IS_X11_WINDOW(window);
    XErrorTrap making(window);
    Surface pixmap(x11 ? gdk_window_create_similar_surface(window, CAIRO_CONTENT_COLOR, size.width,
                                                           size.height)
                       : gdk_window_create_similar_image_surface(window, CAIRO_FORMAT_RGB24,
                                                                 size.width, size.height, 0));
    // Waits for the server: a pixmap it refused is neither drawn into nor shown.
    int xError = making.end();
    cairo_status_t status = cairo_surface_status(pixmap.get());
    // Where cairo cannot have a pixmap it makes an image in our memory, which the server cannot
    // show.
    if (status == CAIRO_STATUS_SUCCESS && x11 &&
        cairo_surface_get_type(pixmap.get()) != CAIRO_SURFACE_TYPE_XLIB)
        status = CAIRO_STATUS_SURFACE_TYPE_MISMATCH;
    if (status == CAIRO_STATUS_SUCCESS && xError == 0) {
        XErrorTrap drawing(window);
        CPtr<cairo_t, cairo_destroy> cr(cairo_create(pixmap.get()));
        paint(cr.get());
        // Cairo may still hold the drawing on our side; the server must have it before it paints.
        cairo_surface_flush(pixmap.get());
        status = cairo_status(cr.get());
        xError = drawing.end();
    }
    if (status != CAIRO_STATUS_SUCCESS || xError != 0) {
        XErrorTrap freeing(window);  // the server may hold no pixmap by the id cairo frees
        pixmap.reset();
        // GDK keeps the last error, which follows from the first: the line names neither.
        return notKept(size, xError != 0 ? std::string("the X server refused it")
                                         : std::string(cairo_status_to_string(status)));
    }
    failureLogged_ = false;
    replaceFrame(std::move(pixmap));
    frameSize_ = size;
    applyBackground();
}

void KeptFrame::notKept(GdkRectangle size, const std::string& why) {
    if (!std::exchange(failureLogged_, true)) {
        log_.line("PlenhallDesktop: the calendar's last frame could not be kept at " +
                  std::to_string(size.width) + "x" + std::to_string(size.height) + " (" + why +
                  "); showings start from the plain background");
    }
    drop();
}

void KeptFrame::replaceFrame(Surface frame) {
    XErrorTrap trap(gtk_widget_get_window(GTK_WIDGET(window_)));
    frame_ = std::move(frame);
}

void KeptFrame::keepShown() {
    releaseContent();  // hidden again before the window manager mapped it
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!window || !gtk_widget_get_mapped(GTK_WIDGET(window_))) return;
    pendingRender_.cancel();
    const GdkRectangle size{0, 0, gdk_window_get_width(window), gdk_window_get_height(window)};
    if (x11Window()) {
        // The copy is the server's own, from the window to the pixmap.
        keepPainted(window, size, [window](cairo_t* cr) {
            gdk_cairo_set_source_window(cr, window, 0, 0);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cr);
        });
    } else {
        // A Wayland client cannot read its buffers back once committed: the web view paints
        // what it shows once more, into the frame. Parts it has not painted keep the frame
        // they had, as on screen.
        Surface previous = frame_ ? Surface(cairo_surface_reference(frame_.get())) : Surface();
        GtkWidget* content = content_;
        keepPainted(window, size, [&previous, content](cairo_t* cr) {
            if (previous) {
                cairo_set_source_surface(cr, previous.get(), 0, 0);
                cairo_paint(cr);
            }
            gtk_widget_draw(content, cr);
        });
    }
    showTrace("frame kept");
}

void KeptFrame::willShow(std::chrono::milliseconds releaseAnyway, bool sizedByCompositor) {
    if (!frame_ || !hidden() || !WEBKIT_IS_WEB_VIEW(content_)) return;
    gtk_widget_set_child_visible(content_, FALSE);
    holdingContent_ = true;
    if (sizedByCompositor && size_ && !x11Window()) {
        // sway's first configure leaves the size to the window and shows nothing of what answers
        // it; a buffer the window's full size, the kept frame copied in, would only delay the
        // full-screen configure that follows by as long as it takes to paint.
        answeringSmall_ = true;
        pinnedBinPin(pin_, size_);
        // GTK maps a window it has full screen at the size its GDK window has.
        gtk_window_resize(window_, 1, 1);
        gdk_window_resize(gtk_widget_get_window(GTK_WIDGET(window_)), 1, 1);
    }
    releaseAnyway_ = ScheduledCall::after(releaseAnyway, [this] { releaseContent(); });
    // On Wayland the map is the toolkit's own, at once: the page is told once the compositor
    // has shown a frame of the showing, the kept frame alone, which costs a copy to paint; the
    // page drawn then would hold the toolkit's first frames while the engine catches up. The
    // watch starts with the compositor's first configure: a frame the clock ran before it, with
    // the watch's request still open, would hold the answer to that configure back a frame.
    watchOnConfigure_ = !x11Window();
}

void KeptFrame::releaseContent() {
    releaseAnyway_.cancel();
    presented_.stop();
    watchOnConfigure_ = false;
    if (std::exchange(answeringSmall_, false)) {
        pinnedBinPin(pin_, std::nullopt);
        // A compositor that left the size to the window after all gets it at the size it would
        // have had.
        if (size_) gtk_window_resize(window_, size_->width, size_->height);
    }
    if (!std::exchange(holdingContent_, false)) return;
    gtk_widget_set_child_visible(content_, TRUE);
    showTrace("page told it shows");
}

gboolean KeptFrame::onMapped(GdkEvent*) {
    // The X server painted the frame as it mapped the window, before it sent this.
    if (x11Window()) releaseContent();
    return FALSE;
}

void KeptFrame::setBackground(const GdkRGBA& colour) {
    background_ = colour;
    if (!frame_) applyBackground();
}

void KeptFrame::drop() {
    replaceFrame({});
    applyBackground();
    showTrace("frame dropped");
}

void KeptFrame::applyBackground() {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!window) return;
    Pattern pattern(frame_ ? cairo_pattern_create_for_surface(frame_.get())
                           : cairo_pattern_create_rgba(background_.red, background_.green,
                                                       background_.blue, background_.alpha));
    XErrorTrap trap(window);
    setWindowBackground(window, pattern.get());
}

void KeptFrame::onScaleChanged(GParamSpec*) {
    // Drawn for the old scale, the frame would show at the wrong size. A hidden page is rendered
    // anew at the new one.
    if (frame_) drop();
    if (hidden() && size_) pendingRender_ = ScheduledCall::idle([this] { render(); });
}

gboolean KeptFrame::onConfigured(GdkEventConfigure* event) {
    if (watchOnConfigure_ && holdingContent_ && gtk_widget_get_mapped(GTK_WIDGET(window_))) {
        watchOnConfigure_ = false;
        presented_.watch(gtk_widget_get_window(GTK_WIDGET(window_)), [this] {
            showTrace("frame presented");
            releaseContent();
        });
    }
    // Resized on screen, the server would tile the frame over the new area until the engine has
    // painted it; the plain background is less of a surprise.
    const bool singlePixel = answeringSmall_ && event->width == 1 && event->height == 1;
    if (frame_ && !hidden() && !singlePixel &&
        (event->width != frameSize_.width || event->height != frameSize_.height)) {
        drop();
    }
    return FALSE;
}

}  // namespace plenhall::gtk
