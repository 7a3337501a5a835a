#include "platform/gtk/x11_hot_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include "platform/gtk/key_codes.h"
#include "platform/gtk/show_trace.h"
#include "platform/user_input.h"

namespace plenhall::gtk {
namespace {

// Caps Lock and Num Lock change the state of every key event; the grab must not care.
constexpr unsigned kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
constexpr unsigned kIgnoredState = LockMask | Mod2Mask;

// Statuses of refusals the X server did not make itself, in its own terms.
constexpr int kNoSuchKey = BadValue;
constexpr int kNoDisplay = -1;

Display* xDisplay() {
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) ? GDK_DISPLAY_XDISPLAY(display) : nullptr;
}

// The real modifier that carries Super on this keyboard map; Mod4 on standard maps.
unsigned superMask() {
    GdkModifierType mask = GDK_SUPER_MASK;
    gdk_keymap_map_virtual_modifiers(gdk_keymap_get_for_display(gdk_display_get_default()), &mask);
    unsigned real = unsigned(mask) & (Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask);
    return real ? real : Mod4Mask;
}

}  // namespace

X11HotKeys::~X11HotKeys() {
    if (grab_) ungrab(*grab_);
    if (filterInstalled_) gdk_window_remove_filter(gdk_get_default_root_window(), filter, this);
}

void X11HotKeys::installPressHandler(std::function<void(const UserInput&)> onPress) {
    onPress_ = std::move(onPress);
    if (filterInstalled_ || !xDisplay()) return;
    // The destructor removes the filter before the grab goes.
    gdk_window_add_filter(gdk_get_default_root_window(), filter, this);
    // Auto-repeat then sends presses without releases in between, so a held shortcut acts once.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(xDisplay(), True, &supported);
    filterInstalled_ = true;
}

void X11HotKeys::registerHotKey(const KeyCombination& keys, const std::string& /*description*/,
                                std::function<void(const HotKeyRegistration&)> done) {
    unregisterHotKey();
    auto grabbed = grab(keys);
    done(grabbed ? HotKeyRegistration(HotKeyBinding{}) : HotKeyRegistration(grabbed.error()));
}

Result<HotKeyError> X11HotKeys::grab(const KeyCombination& keys) {
    Display* display = xDisplay();
    if (!display) return HotKeyError{HotKeyError::Reason::unsupported, kNoDisplay};
    // X keycodes run from 8 to 255.
    if (keys.keycode < 8 || keys.keycode > 255)
        return HotKeyError{HotKeyError::Reason::noSuchKey, kNoSuchKey};

    Grab grab{keys.keycode, xModifiersFor(keys.modifiers, superMask())};
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    Window root = GDK_ROOT_WINDOW();
    gdk_x11_display_error_trap_push(gdkDisplay);
    for (unsigned variant : kLockVariants) {
        XGrabKey(display, int(grab.keycode), grab.modifiers | variant, root, False, GrabModeAsync,
                 GrabModeAsync);
    }
    XSync(display, False);
    int error = gdk_x11_display_error_trap_pop(gdkDisplay);
    if (error != 0) {
        ungrab(grab);  // some variants may have been granted before the refusal
        // BadAccess is the one way X says another client holds the combination; anything else
        // (BadValue for a keycode outside the server's range) means the key cannot be grabbed.
        return HotKeyError{
            error == BadAccess ? HotKeyError::Reason::taken : HotKeyError::Reason::noSuchKey,
            error};
    }
    grab_ = grab;
    return {};
}

void X11HotKeys::unregisterHotKey() {
    if (grab_) ungrab(*grab_);
    grab_.reset();
    keyDown_ = false;
    state_.hotKeyHeld = false;
}

void X11HotKeys::ungrab(const Grab& grab) {
    Display* display = xDisplay();
    if (!display) return;
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdkDisplay);
    for (unsigned variant : kLockVariants) {
        XUngrabKey(display, int(grab.keycode), grab.modifiers | variant, GDK_ROOT_WINDOW());
    }
    XSync(display, False);
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
}

GdkFilterReturn X11HotKeys::filter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    auto* self = static_cast<X11HotKeys*>(data);
    auto* event = static_cast<XEvent*>(xevent);
    if (!self->grab_ || (event->type != KeyPress && event->type != KeyRelease))
        return GDK_FILTER_CONTINUE;
    if (event->xkey.keycode != self->grab_->keycode) return GDK_FILTER_CONTINUE;

    if (event->type == KeyRelease) {
        self->keyDown_ = false;
        self->state_.hotKeyHeld = false;
        return GDK_FILTER_REMOVE;
    }
    if ((event->xkey.state & ~kIgnoredState) != self->grab_->modifiers) return GDK_FILTER_CONTINUE;
    if (self->keyDown_) return GDK_FILTER_REMOVE;  // auto-repeat of a held shortcut
    self->keyDown_ = true;
    self->state_.hotKeyHeld = true;
    showTrace("key press");
    if (self->onPress_) self->onPress_(UserInput{std::uint32_t(event->xkey.time), {}});
    return GDK_FILTER_REMOVE;
}

}  // namespace plenhall::gtk
