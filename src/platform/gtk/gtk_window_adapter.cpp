#include "platform/gtk/gtk_window_adapter.h"

#include <gdk/gdkx.h>

#include "platform/gtk/gtk_web_view_adapter.h"
#include "platform/gtk/window_coordinates.h"

namespace plenhall::gtk {

GtkWindowAdapter::GtkWindowAdapter(Kind kind, GtkApplication* application, FocusTracker& focus,
                                   GtkKeyMonitor& keys, Log& log, Size size, Decoration decoration,
                                   CalendarWindowWaits waits)
    : log_(log), waits_(waits) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    if (application) gtk_window_set_application(window_, application);
    gtk_window_set_role(window_, kind == Kind::calendar ? "calendar" : "settings");
    if (kind == Kind::calendar) {
        // Moving places the client area, so set, read and remembered frames agree.
        gtk_window_set_gravity(window_, GDK_GRAVITY_STATIC);
    }
    // The adapter owns the connections and drops them before it destroys the window.
    connections_.push_back(
        SignalConnection::to<&GtkWindowAdapter::onDeleteEvent>(window_, "delete-event", this));
    connections_.push_back(
        SignalConnection::to<&GtkWindowAdapter::onMapEvent>(window_, "map-event", this));
    connections_.push_back(
        SignalConnection::to<&GtkWindowAdapter::onRealize>(window_, "realize", this));
    connections_.push_back(SignalConnection::to<&GtkWindowAdapter::onWindowStateEvent>(
        window_, "window-state-event", this));
    connections_.push_back(SignalConnection::to<&GtkWindowAdapter::onConfigureEvent>(
        window_, "configure-event", this));
    requestedFrame_ = Rect{0, 0, size.width, size.height};
    IntRect initial = mappable(requestedFrame_);
    gtk_window_set_default_size(window_, initial.width, initial.height);
    setDecoration(decoration);
    focus.watch(window_, this);
    keys.watch(window_);
    // Realized now, so the first showing only maps.
    gtk_widget_realize(GTK_WIDGET(window_));
}

GtkWindowAdapter::~GtkWindowAdapter() {
    for (auto& dialog : dialogs_) {
        if (dialog)
            g_object_remove_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
    }
    renderPending_.cancel();
    stopAwaitingPlacement();
    connections_.clear();
    trace_.reset();
    keptFrame_.reset();
    renderer_.reset();
    if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
}

void GtkWindowAdapter::setDecoration(Decoration decoration) {
    const bool decorated = decoration != Decoration::none;
    if (decorated && fullScreenMonitor_) leaveFullScreen();
    if (decoration_ == decoration) return;
    if (!decoration_ || (*decoration_ != Decoration::none) != decorated) {
        // Window managers watch the decoration hints of mapped windows too, so a visible window
        // changes in place: it is not mapped again, which would move the focus to it.
        gtk_window_set_decorated(window_, decorated);
    }
    const bool wasFixed = decoration_ == Decoration::titledFixedSize;
    decoration_ = decoration;
    const bool fixedSize = decoration == Decoration::titledFixedSize;
    // The large calendar is closed by the program's own means (the shortcut, Alt+F4), with no
    // buttons that would suggest quitting or minimizing a window that only hides.
    gtk_window_set_deletable(window_, decoration != Decoration::titledResizable);
    if (fixedSize != wasFixed) {
        applyGeometryHints();
        if (fixedSize) {
            IntRect size = mappable(requestedFrame_);
            gtk_window_set_default_size(window_, size.width, size.height);
        }
    }
    applyFunctions();
}

void GtkWindowAdapter::setKeptAbove(bool above) {
    gtk_window_set_keep_above(window_, above);
}

void GtkWindowAdapter::setOnEveryWorkspace(bool every) {
    if (every) {
        gtk_window_stick(window_);
    } else {
        gtk_window_unstick(window_);
    }
}

void GtkWindowAdapter::setSkipTaskSwitcher(bool skip) {
    gtk_window_set_skip_taskbar_hint(window_, skip);
    gtk_window_set_skip_pager_hint(window_, skip);
}

void GtkWindowAdapter::setBackgroundColor(Color color) {
    background_ = color;
    // The web view fills the window; its own background is what shows before the first paint.
    if (content_ && WEBKIT_IS_WEB_VIEW(content_)) {
        GdkRGBA rgba{color.red, color.green, color.blue, color.alpha};
        webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(content_), &rgba);
    }
    if (keptFrame_) keptFrame_->setBackground(GdkRGBA{color.red, color.green, color.blue, 1});
}

void GtkWindowAdapter::setTitle(const std::string& title) {
    if (title_ == title) return;
    gtk_window_set_title(window_, title.c_str());
    title_ = title;
}

void GtkWindowAdapter::setMinimumSize(Size size) {
    if (minSize_ == size) return;
    minSize_ = size;
    applyGeometryHints();
}

void GtkWindowAdapter::applyGeometryHints() {
    GdkGeometry geometry{};
    int hints = 0;
    if (decoration_ == Decoration::titledFixedSize) {
        // A fixed-size window keeps its content size by equal minimum and maximum hints: the
        // user cannot resize it, and its texts wrap to its width instead of widening it.
        IntRect size = mappable(requestedFrame_);
        geometry.min_width = geometry.max_width = size.width;
        geometry.min_height = geometry.max_height = size.height;
        hints |= GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE;
    } else if (minSize_) {
        geometry.min_width = clampedInt(minSize_->width, 1, kMaxCoordinate);
        geometry.min_height = clampedInt(minSize_->height, 1, kMaxCoordinate);
        hints |= GDK_HINT_MIN_SIZE;
    }
    // Without a user-given position, window managers place a window anew each time it is mapped
    // (openbox under the pointer, or cascaded), whatever position it was given while hidden.
    if (placedByProgram_) hints |= GDK_HINT_USER_POS;
    gtk_window_set_geometry_hints(window_, nullptr, &geometry, GdkWindowHints(hints));
}

void GtkWindowAdapter::applyFunctions() {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!gdkWindow || !decoration_) return;
    int functions = GDK_FUNC_MOVE;
    switch (*decoration_) {
        case Decoration::none:
            functions = GDK_FUNC_ALL;
            break;
        case Decoration::titledFixedSize:
            functions |= GDK_FUNC_CLOSE;
            break;
        case Decoration::titledResizable:
            functions |= GDK_FUNC_RESIZE;
            break;
    }
    gdk_window_set_functions(gdkWindow, static_cast<GdkWMFunction>(functions));
}

bool GtkWindowAdapter::onX11() const {
    return GDK_IS_X11_DISPLAY(gtk_widget_get_display(GTK_WIDGET(window_)));
}

bool GtkWindowAdapter::isVisible() const {
    return gtk_widget_get_visible(GTK_WIDGET(window_));
}

bool GtkWindowAdapter::isActive() const {
    return gtk_window_is_active(window_);
}

void GtkWindowAdapter::hide() {
    focusOnMap_ = false;
    // The frame as the user last saw it, its dialogs included: they come back with it.
    if (keptFrame_) keptFrame_->keepShown();
    for (GtkWindow* dialog : dialogs_) {
        if (dialog) gtk_widget_hide(GTK_WIDGET(dialog));
    }
    gtk_widget_hide(GTK_WIDGET(window_));
    if (fullScreenMonitor_ == kDesktopsMonitor && fillsScreenOncePlaced()) {
        // Once hidden, so the calendar does not shrink on screen: the next showing maps framed
        // again, to be placed anew.
        stopAwaitingPlacement();
        gtk_window_unfullscreen(window_);
    }
}

void GtkWindowAdapter::attachDialog(GtkWindow* dialog) {
    std::erase(dialogs_, nullptr);
    dialogs_.push_back(dialog);
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialogs_.back()));
    if (gtk_widget_get_visible(GTK_WIDGET(window_))) gtk_window_present(dialog);
}

void GtkWindowAdapter::dialogEnded() {
    // Window managers do not all hand the focus back to the parent of a closed dialog.
    if (!gtk_widget_get_mapped(GTK_WIDGET(window_))) return;
    for (GtkWindow* dialog : dialogs_) {
        if (dialog && gtk_widget_get_visible(GTK_WIDGET(dialog))) return;  // another dialog is up
    }
    focusNow();
}

void GtkWindowAdapter::presentDialogs() {
    for (GtkWindow* dialog : dialogs_) {
        if (!dialog) continue;
        gtk_window_present_with_time(dialog, gtk_get_current_event_time());
        // A modal dialog takes the keys; it must have the focus its window was just given.
        if (GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(dialog));
            gdkWindow && GDK_IS_X11_WINDOW(gdkWindow)) {
            gdk_window_focus(gdkWindow, gdk_x11_get_server_time(gdkWindow));
        }
    }
}

void GtkWindowAdapter::present(const UserInput& input) {
    // Presenting with the time of the input that asked for the window tells the window manager
    // this is no focus theft.
    const guint32 time = input.time ? input.time : gtk_get_current_event_time();
    // The desktop's token goes with the request GTK makes as it presents: on Wayland it is the
    // xdg-activation token, on X11 the startup notification's id.
    if (!input.activationToken.empty())
        gtk_window_set_startup_id(window_, input.activationToken.c_str());
    // Where the desktop chooses the screen, mutter places the window framed first; elsewhere the
    // compositor sizes it as it maps it full screen.
    const bool desktopChooses =
        !gtk_widget_get_mapped(GTK_WIDGET(window_)) && fullScreenMonitor_ == kDesktopsMonitor;
    const bool placing = desktopChooses && fillsScreenOncePlaced();
    if (keptFrame_) keptFrame_->willShow(waits_.firstFrame, desktopChooses && !placing);
    gtk_window_present_with_time(window_, time);
    if (renderer_) {
        // A form comes up with no control focused, so Return goes to its default button and Tab
        // to the first control; showing a window would otherwise focus its first control.
        gtk_window_set_focus(window_, nullptr);
    }
    // On Wayland, presenting has asked the compositor to activate the window already, and
    // compositors focus a window as it appears; another request would only carry a token GTK
    // minted itself, which a compositor may refuse or answer by marking the window urgent.
    if (onX11()) {
        // Presenting alone does not take the focus from another application on every window
        // manager (openbox refuses); an explicit activation request does.
        focusNow(input.time);
        // Some window managers ignore activation of a window that is not mapped yet.
        if (!gtk_widget_get_mapped(GTK_WIDGET(window_))) focusOnMap_ = true;
    }
    if (placing) {
        awaitPlacement();  // presents the dialogs once the window fills its monitor
    } else {
        presentDialogs();
    }
    // The map request goes out now, not when the loop next waits: the web engine may hold the
    // loop for a while as it catches up, and the window manager can map meanwhile.
    gdk_display_flush(gtk_widget_get_display(GTK_WIDGET(window_)));
}

void GtkWindowAdapter::focusNow(guint32 time) {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!gdkWindow) return;
    if (time == GDK_CURRENT_TIME && GDK_IS_X11_WINDOW(gdkWindow))
        time = gdk_x11_get_server_time(gdkWindow);
    gdk_window_focus(gdkWindow, time);
}

gboolean GtkWindowAdapter::onMapEvent(GdkEvent*) {
    if (std::exchange(focusOnMap_, false)) {
        focusNow();
        presentDialogs();
    }
    return FALSE;
}

gboolean GtkWindowAdapter::onWindowStateEvent(GdkEventWindowState* event) {
    if (!(event->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) ||
        !(event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN))
        return FALSE;
    auto previous = std::move(focusBeforeFullScreen_);
    // The window manager's focus change may still be on its way; asking for the focus back
    // comes after it either way.
    if (previous && gtk_widget_get_visible(GTK_WIDGET(previous.get()))) {
        if (GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(previous.get())))
            gdk_window_focus(gdkWindow, GDK_IS_X11_WINDOW(gdkWindow)
                                            ? gdk_x11_get_server_time(gdkWindow)
                                            : GDK_CURRENT_TIME);
    }
    return FALSE;
}

void GtkWindowAdapter::onRealize() {
    applyFunctions();
}

void GtkWindowAdapter::redrawForNextShowing() {
    if (keptFrame_) keptFrame_->render();
}

void GtkWindowAdapter::focusContent() {
    if (content_) gtk_widget_grab_focus(content_);
}

void GtkWindowAdapter::setContent(WebView& view) {
    auto& adapter = static_cast<GtkWebViewAdapter&>(view);
    content_ = adapter.widget();
    trace_ = std::make_unique<ShowTrace>(window_, content_);
    gtk_widget_show(content_);
    keptFrame_ = std::make_unique<KeptFrame>(window_, content_, log_);
    if (background_) setBackgroundColor(*background_);
}

void GtkWindowAdapter::setHostedView(std::function<ViewNode()> body) {
    body_ = std::move(body);
    renderer_ = std::make_unique<ViewRenderer>(window_);
    render();
}

void GtkWindowAdapter::invalidateHostedView() {
    // The model announces a change before storing it; rendering waits for the stored value.
    if (renderPending_) return;
    // The adapter owns the call, which goes with it.
    renderPending_ = ScheduledCall::idle([this] { render(); }, G_PRIORITY_HIGH_IDLE);
}

void GtkWindowAdapter::render() {
    if (body_ && renderer_) renderer_->render(body_());
}

void GtkWindowAdapter::close() {
    if (closeHandler_) closeHandler_();
    hide();
}

gboolean GtkWindowAdapter::onDeleteEvent(GdkEvent*) {
    // Closing only hides: the window and its content stay for the next showing.
    close();
    return TRUE;
}

std::unique_ptr<Window> GtkWindowFactory::makeCalendarWindow(const CalendarWindowWaits& waits) {
    return std::make_unique<GtkWindowAdapter>(GtkWindowAdapter::Kind::calendar, application_,
                                              focus_, keys_, log_, Size{}, Decoration::none, waits);
}

std::unique_ptr<Window> GtkWindowFactory::makeWindow(Size size, Decoration decoration) {
    return std::make_unique<GtkWindowAdapter>(GtkWindowAdapter::Kind::plain, application_, focus_,
                                              keys_, log_, size, decoration);
}

}  // namespace plenhall::gtk
