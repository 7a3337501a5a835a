#include "platform/gtk/portal_global_shortcuts.h"

#include <gdk/gdk.h>

#include <memory>
#include <utility>

#include "platform/gtk/key_codes.h"
#include "platform/key_event.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
constexpr const char* kRegistryInterface = "org.freedesktop.host.portal.Registry";

// The basename of our desktop entry: portals that know apps by id match it there.
constexpr const char* kAppId = "com.plenhall.Desktop";
constexpr const char* kShortcutId = "toggle-calendar";
// Fixed, because KDE keys a binding by app id and session token: a fresh token would be a new
// shortcut at every launch.
constexpr const char* kSessionToken = "plenhall_desktop";
// Portal restarts in a row that end without a binding before we stop following the portal.
constexpr int kMaxRestarts = 3;
constexpr guint32 kResponseSuccess = 0;
constexpr const char* kLogPrefix = "PlenhallDesktop: global shortcut portal: ";

std::uint64_t combinationOf(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    return (std::uint64_t(keyCode) << 32) | carbonModifiers;
}

// Keysyms a desktop's shortcut settings can hold whatever the layout: Latin-1 and the
// function, keypad and media keys.
bool portableKeysym(guint keyval) {
    return keyval < 0x100 || (keyval >= 0xFF00 && keyval <= 0xFFFF) ||
           (keyval >= 0x1008FF00 && keyval <= 0x1008FFFF);
}

// The keysym the key types in the first layout with no modifier, so that the desktop binds the
// key the user recorded (the portal speaks keysyms, not positions: on a German layout the key
// recorded at the US Y position types z). The US name where there is no display to ask or the
// layout's symbol is not one a desktop's shortcut settings accept.
std::optional<std::string> keysymNameForVirtualKey(std::uint32_t keyCode) {
    GdkDisplay* display = gdk_display_get_default();
    auto xKeycode = xKeycodeForVirtualKey(keyCode);
    if (display && xKeycode) {
        GdkKeymapKey* rawKeys = nullptr;
        guint* rawKeyvals = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keycode(gdk_keymap_get_for_display(display), *xKeycode,
                                               &rawKeys, &rawKeyvals, &count)) {
            CPtr<GdkKeymapKey, g_free> keys(rawKeys);
            CPtr<guint, g_free> keyvals(rawKeyvals);
            for (gint i = 0; i < count; ++i) {
                if (keys.get()[i].group != 0 || keys.get()[i].level != 0) continue;
                const char* name = gdk_keyval_name(keyvals.get()[i]);
                if (name && portableKeysym(keyvals.get()[i])) return std::string(name);
            }
        }
    }
    if (auto name = usKeysymNameForVirtualKey(keyCode)) return std::string(*name);
    return std::nullopt;
}

GVariant* vardict(std::initializer_list<std::pair<const char*, GVariant*>> entries) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (auto [key, value] : entries) g_variant_builder_add(&builder, "{sv}", key, value);
    return g_variant_builder_end(&builder);
}

struct ConnectCompletion {
    GObjectPtr<GCancellable> alive;
    std::function<void(GObjectPtr<GDBusConnection>, const GErrorHolder&)> onConnected;

    static void run(GObject*, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ConnectCompletion> self(static_cast<ConnectCompletion*>(data));
        GErrorHolder error;
        auto connection = adopt(g_dbus_connection_new_for_address_finish(result, error.out()));
        if (PendingOperations::cancelled(self->alive)) return;
        self->onConnected(std::move(connection), error);
    }
};

}  // namespace

PortalShortcut findPortalShortcut(GVariant* shortcuts, std::string_view id) {
    if (!shortcuts || !g_variant_is_of_type(shortcuts, G_VARIANT_TYPE("a(sa{sv})")))
        return {PortalShortcut::Found::malformed, {}};
    GVariantIter iter;
    g_variant_iter_init(&iter, shortcuts);
    const char* name = nullptr;
    GVariant* rawProperties = nullptr;
    while (g_variant_iter_next(&iter, "(&s@a{sv})", &name, &rawProperties)) {
        GVariantPtr properties(rawProperties);
        if (id != name) continue;
        GVariantPtr trigger(
            g_variant_lookup_value(properties.get(), "trigger_description", nullptr));
        // Some desktops bind without naming keys (Hyprland leaves that to the user's config).
        if (!trigger) return {PortalShortcut::Found::listed, {}};
        if (!g_variant_is_of_type(trigger.get(), G_VARIANT_TYPE_STRING))
            return {PortalShortcut::Found::malformed, {}};
        return {PortalShortcut::Found::listed, g_variant_get_string(trigger.get(), nullptr)};
    }
    return {PortalShortcut::Found::missing, {}};
}

PortalShortcut findPortalShortcutInResults(GVariant* results, std::string_view id) {
    if (!results || !g_variant_is_of_type(results, G_VARIANT_TYPE_VARDICT))
        return {PortalShortcut::Found::malformed, {}};
    GVariantPtr shortcuts(g_variant_lookup_value(results, "shortcuts", nullptr));
    if (!shortcuts) return {PortalShortcut::Found::missing, {}};
    return findPortalShortcut(shortcuts.get(), id);
}

PortalCallFailure classifyPortalCallError(const GError* error) {
    if (!error || error->domain != G_DBUS_ERROR) return PortalCallFailure::other;
    switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return PortalCallFailure::noPortal;
        case G_DBUS_ERROR_UNKNOWN_METHOD:
        case G_DBUS_ERROR_UNKNOWN_INTERFACE:
        case G_DBUS_ERROR_UNKNOWN_OBJECT:
        case G_DBUS_ERROR_UNKNOWN_PROPERTY:
            return PortalCallFailure::missingInterface;
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_DISCONNECTED:
            return PortalCallFailure::portalGone;
        default:
            return PortalCallFailure::other;
    }
}

PortalGlobalShortcuts::PortalGlobalShortcuts(Log& log, std::string shortcutDescription)
    : log_(log), description_(std::move(shortcutDescription)) {}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    closed_.disconnect();
    portal_.stop();
    if (!connection_) return;
    closeSession();
    // Written out before the connection goes. The bus socket is local: this waits on no portal.
    g_dbus_connection_flush_sync(connection_.get(), nullptr, nullptr);
    g_dbus_connection_close(connection_.get(), nullptr, nullptr, nullptr);
}

void PortalGlobalShortcuts::installPressHandler(std::function<void(const UserInput&)> onPress) {
    onPress_ = std::move(onPress);
}

void PortalGlobalShortcuts::installBindingChangedHandler(
    std::function<void(const HotKeyBinding&)> onChange) {
    onBindingChanged_ = std::move(onChange);
}

void PortalGlobalShortcuts::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                           std::function<void(const HotKeyRegistration&)> done) {
    ++serial_;
    deliverPresses_ = false;
    awaitingPortal_ = false;
    restartsWithoutSuccess_ = 0;
    auto name = keysymNameForVirtualKey(keyCode);
    wanted_ =
        Wanted{combinationOf(keyCode, carbonModifiers),
               name ? xdgShortcutTrigger(*name, carbonModifiers) : std::string(), std::move(done)};
    advance();
}

void PortalGlobalShortcuts::unregisterHotKey() {
    ++serial_;
    withdrawRequest();
    wanted_.reset();
    deliverPresses_ = false;
    awaitingPortal_ = false;
}

// Starts the next exchange the state calls for. Each exchange records what it learnt about the
// portal and comes back here, so a registration that changed meanwhile is planned afresh.
void PortalGlobalShortcuts::advance() {
    if (busy_ || !wanted_ || awaitingPortal_) return;
    switch (connectionState_) {
        case Connection::none:
            return connect();
        case Connection::connecting:
            return;
        case Connection::failed:
            return fail(HotKeyError::Reason::unsupported, 0);
        case Connection::ready:
            break;
    }
    if (!appRegistered_) return registerApp();
    if (!versionChecked_) return checkVersion();
    // The portal has answered, so its owner is known at once or about to be (onPortalOwner).
    if (owner_.empty()) return;
    const bool ours = !session_.empty() && sessionHoldsOurs_;
    if (ours && (!boundCombination_ || *boundCombination_ == wanted_->combination))
        return succeed(trigger_);
    // A session takes one bind (GNOME refuses a second), so another bind needs a new session.
    if (!session_.empty() && sessionBound_) return replaceSession();
    if (session_.empty()) return createSession();
    if (boundCombination_ && *boundCombination_ != wanted_->combination) return bindShortcut();
    if (!sessionListed_) return listShortcuts();
    bindShortcut();
}

void PortalGlobalShortcuts::connect() {
    connectionState_ = Connection::connecting;
    GErrorHolder error;
    GCharPtr address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, operations_.get(), error.out()));
    if (!address) {
        connectionState_ = Connection::failed;
        return fail(HotKeyError::Reason::unsupported, 0,
                    std::string("no session bus (") + error.message() + ")");
    }
    // `this` is used only while operations_, a member, is not cancelled.
    auto* completion = new ConnectCompletion{
        operations_.share(),
        [this](GObjectPtr<GDBusConnection> connection, const GErrorHolder& failure) {
            if (!connection) {
                connectionState_ = Connection::failed;
                return fail(HotKeyError::Reason::unsupported, 0,
                            "cannot connect to the session bus (" + failure.message() + ")");
            }
            onConnected(std::move(connection));
        }};
    g_dbus_connection_new_for_address(
        address.get(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, operations_.get(), ConnectCompletion::run, completion);
}

void PortalGlobalShortcuts::onConnected(GObjectPtr<GDBusConnection> connection) {
    connection_ = std::move(connection);
    GDBusConnection* bus = connection_.get();
    // Disconnected first thing in the destructor. Connected before the watch below, which also
    // hears of a closed connection, and would take it for the portal leaving.
    closed_ = SignalConnection(bus, "closed",
                               G_CALLBACK(+[](GDBusConnection*, gboolean, GError*, gpointer data) {
                                   auto* self = static_cast<PortalGlobalShortcuts*>(data);
                                   self->connectionState_ = Connection::failed;
                                   self->portalLost();
                               }),
                               this);
    // Stopped first thing in the destructor after that.
    portal_ =
        DBusNameWatch(bus, kPortalName, [this](const std::string& owner) { onPortalOwner(owner); });
    connectionState_ = Connection::ready;
    advance();
}

void PortalGlobalShortcuts::registerApp() {
    busy_ = true;
    const auto epoch = epoch_;
    call(kPortalPath, kRegistryInterface, "Register",
         g_variant_new("(s@a{sv})", kAppId, vardict({})), nullptr,
         [this, epoch](GVariant*, const GError* error) {
             if (epoch != epoch_) return;
             busy_ = false;
             if (error) {
                 switch (classifyPortalCallError(error)) {
                     case PortalCallFailure::noPortal:
                         return portalUnavailable();
                     case PortalCallFailure::portalGone:
                         return;  // the owner change starts over
                     case PortalCallFailure::missingInterface:
                         break;  // portals before 1.19.4 know apps only by their sandbox
                     case PortalCallFailure::other:
                         logLine(std::string("registering the app id failed: ") + error->message);
                         break;
                 }
             }
             appRegistered_ = true;
             advance();
         });
}

void PortalGlobalShortcuts::checkVersion() {
    busy_ = true;
    const auto epoch = epoch_;
    call(kPortalPath, "org.freedesktop.DBus.Properties", "Get",
         g_variant_new("(ss)", kShortcutsInterface, "version"), G_VARIANT_TYPE("(v)"),
         [this, epoch](GVariant* reply, const GError* error) {
             if (epoch != epoch_) return;
             busy_ = false;
             if (error) {
                 const auto failure = classifyPortalCallError(error);
                 if (failure == PortalCallFailure::noPortal) return portalUnavailable();
                 if (failure == PortalCallFailure::portalGone) return;
                 // GDBus answers InvalidArgs for an interface the object lacks.
                 const bool absent =
                     failure == PortalCallFailure::missingInterface ||
                     g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS);
                 return fail(HotKeyError::Reason::unsupported, 0,
                             absent ? std::string()
                                    : std::string("reading its version failed: ") + error->message);
             }
             GVariant* rawValue = nullptr;
             g_variant_get(reply, "(v)", &rawValue);
             GVariantPtr value(rawValue);
             if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_UINT32))
                 return fail(HotKeyError::Reason::unsupported, 0,
                             std::string("its version is of type ") +
                                 g_variant_get_type_string(value.get()));
             if (g_variant_get_uint32(value.get()) == 0)
                 return fail(HotKeyError::Reason::unsupported, 0, "it reports version 0");
             versionChecked_ = true;
             advance();
         });
}

void PortalGlobalShortcuts::createSession() {
    busy_ = true;
    const auto serial = serial_;
    const auto token = nextToken();
    // Plasma 5.27 takes the shortcuts from here rather than from BindShortcuts, and forgets a
    // session's shortcuts that are missing here; later portals drop the key.
    GVariant* options = vardict({{"handle_token", g_variant_new_string(token.c_str())},
                                 {"session_handle_token", g_variant_new_string(kSessionToken)},
                                 {"shortcuts", shortcutList()}});
    callWithRequest(
        "CreateSession", g_variant_new("(@a{sv})", options), token,
        [this, serial](guint32 code, GVariant* results) {
            busy_ = false;
            if (!results)
                return settle(serial, HotKeyError::Reason::unsupported, 0,
                              "a malformed answer to CreateSession");
            if (code != kResponseSuccess)
                return settle(serial, HotKeyError::Reason::unsupported, int(code));
            GVariantPtr handle(g_variant_lookup_value(results, "session_handle", nullptr));
            // An object path sent as a string, by the interface's own admission.
            const bool valid =
                handle &&
                (g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_STRING) ||
                 g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_OBJECT_PATH)) &&
                g_variant_is_object_path(g_variant_get_string(handle.get(), nullptr));
            if (!valid)
                return settle(serial, HotKeyError::Reason::unsupported, 0,
                              "the new session has no valid handle");
            session_ = g_variant_get_string(handle.get(), nullptr);
            sessionBound_ = sessionListed_ = sessionHoldsOurs_ = false;
            advance();
        });
}

void PortalGlobalShortcuts::listShortcuts() {
    busy_ = true;
    const auto serial = serial_;
    const auto token = nextToken();
    callWithRequest("ListShortcuts",
                    g_variant_new("(o@a{sv})", session_.c_str(),
                                  vardict({{"handle_token", g_variant_new_string(token.c_str())}})),
                    token, [this, serial](guint32 code, GVariant* results) {
                        onListed(serial, code, results);
                    });
}

void PortalGlobalShortcuts::onListed(std::uint64_t serial, guint32 code, GVariant* results) {
    busy_ = false;
    sessionListed_ = true;
    sessionHoldsOurs_ = false;
    // A list the portal could not make is no answer: binding asks the desktop itself.
    if (results && code != kResponseSuccess) return advance();
    const auto found = findPortalShortcutInResults(results, kShortcutId);
    if (found.found == PortalShortcut::Found::malformed)
        return settle(serial, HotKeyError::Reason::declined, 0,
                      "a malformed answer to ListShortcuts");
    if (found.found == PortalShortcut::Found::listed) {
        sessionHoldsOurs_ = true;
        trigger_ = found.trigger;
    }
    advance();
}

void PortalGlobalShortcuts::bindShortcut() {
    busy_ = true;
    sessionBound_ = true;
    const auto serial = serial_;
    const auto combination = wanted_->combination;
    const auto token = nextToken();
    callWithRequest("BindShortcuts",
                    g_variant_new("(o@a(sa{sv})s@a{sv})", session_.c_str(), shortcutList(), "",
                                  vardict({{"handle_token", g_variant_new_string(token.c_str())}})),
                    token, [this, serial, combination](guint32 code, GVariant* results) {
                        onBound(serial, combination, code, results);
                    });
}

void PortalGlobalShortcuts::onBound(std::uint64_t serial, std::uint64_t combination, guint32 code,
                                    GVariant* results) {
    busy_ = false;
    if (code != kResponseSuccess && results)
        return settle(serial, HotKeyError::Reason::declined, int(code));
    const auto found = findPortalShortcutInResults(results, kShortcutId);
    switch (found.found) {
        case PortalShortcut::Found::malformed:
            return settle(serial, HotKeyError::Reason::declined, 0,
                          "a malformed answer to BindShortcuts");
        case PortalShortcut::Found::missing:
            // Success that binds nothing: the user left the shortcut out.
            return settle(serial, HotKeyError::Reason::declined, 0);
        case PortalShortcut::Found::listed:
            break;
    }
    sessionHoldsOurs_ = true;
    boundCombination_ = combination;
    trigger_ = found.trigger;
    advance();
}

void PortalGlobalShortcuts::replaceSession() {
    busy_ = true;
    const auto epoch = epoch_;
    const std::string closing = std::exchange(session_, {});
    sessionBound_ = sessionListed_ = sessionHoldsOurs_ = false;
    // The new session reuses the token and so the path: it waits until the portal has let go of
    // the old one (the portal closes in a thread of its own and could otherwise come second).
    call(closing.c_str(), kSessionInterface, "Close", nullptr, nullptr,
         [this, epoch](GVariant*, const GError*) {
             if (epoch != epoch_) return;
             busy_ = false;
             advance();
         });
}

void PortalGlobalShortcuts::closeSession() {
    if (session_.empty()) return;
    g_dbus_connection_call(connection_.get(), kPortalName, session_.c_str(), kSessionInterface,
                           "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                           nullptr, nullptr);
    session_.clear();
    sessionBound_ = sessionListed_ = sessionHoldsOurs_ = false;
}

// Gives up the request the portal has not answered, so the next exchange can start.
void PortalGlobalShortcuts::withdrawRequest() {
    if (!request_) return;
    closeRequest(request_->path);
    withdrawnToken_ = request_->token;
    request_.reset();
    busy_ = false;
    // The portal may be making a session under our token: it is closed before another is made
    // there.
    if (session_.empty()) {
        session_ = handlePath("session", kSessionToken);
        sessionBound_ = true;
    }
}

void PortalGlobalShortcuts::closeRequest(const std::string& path) {
    // Ends the desktop's dialog, if it shows one; no Response follows. Nothing waits for the
    // answer: a request already answered is gone, which is no error of ours.
    g_dbus_connection_call(connection_.get(), kPortalName, path.c_str(), kRequestInterface, "Close",
                           nullptr, nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr,
                           nullptr);
}

void PortalGlobalShortcuts::succeed(const std::string& trigger) {
    deliverPresses_ = true;
    restartsWithoutSuccess_ = 0;
    boundCombination_ = wanted_->combination;
    auto done = std::exchange(wanted_->done, nullptr);
    if (done) {
        reportedTrigger_ = trigger;
        return done(HotKeyBinding{trigger});
    }
    // A binding made again after the portal restarted: only a changed trigger is news.
    if (reportedTrigger_ == trigger) return;
    reportedTrigger_ = trigger;
    if (onBindingChanged_) onBindingChanged_(HotKeyBinding{trigger});
}

void PortalGlobalShortcuts::fail(HotKeyError::Reason reason, int status, std::string_view detail) {
    deliverPresses_ = false;
    if (!wanted_) {
        if (!detail.empty()) logLine(detail);
        return;
    }
    auto done = std::exchange(wanted_->done, nullptr);
    wanted_.reset();
    if (done) {
        if (!detail.empty()) logLine(detail);
        return done(HotKeyError{reason, status});
    }
    // A binding made again after the portal restarted: nobody waits for the outcome.
    logLine(detail.empty() ? "the shortcut could not be bound again after the portal restarted"
                           : detail);
}

void PortalGlobalShortcuts::settle(std::uint64_t serial, HotKeyError::Reason reason, int status,
                                   std::string_view detail) {
    // An outcome for a registration since replaced is no answer to the one now wanted.
    if (serial != serial_) return advance();
    fail(reason, status, detail);
}

void PortalGlobalShortcuts::portalUnavailable() {
    if (wanted_ && wanted_->done) return fail(HotKeyError::Reason::unsupported, 0);
    if (!wanted_) return;
    // Gone after a restart and not startable: wait for it to come back on its own.
    awaitingPortal_ = true;
    deliverPresses_ = false;
    logLine("the portal left the bus; the shortcut returns with it");
}

void PortalGlobalShortcuts::portalLost() {
    ++epoch_;
    busy_ = false;
    request_.reset();
    owner_.clear();
    activated_.unsubscribe();
    shortcutsChanged_.unsubscribe();
    appRegistered_ = versionChecked_ = false;
    session_.clear();
    sessionBound_ = sessionListed_ = sessionHoldsOurs_ = false;
    if (!wanted_ || awaitingPortal_) return;
    if (connectionState_ == Connection::failed)
        return fail(HotKeyError::Reason::unsupported, 0, "the session bus connection closed");
    if (++restartsWithoutSuccess_ > kMaxRestarts)
        return fail(HotKeyError::Reason::unsupported, 0, "the portal keeps restarting");
    advance();
}

void PortalGlobalShortcuts::logLine(std::string_view text) {
    log_.line(std::string(kLogPrefix) + std::string(text));
}

void PortalGlobalShortcuts::call(const char* path, const char* interface, const char* method,
                                 GVariant* parameters, const GVariantType* replyType,
                                 Reply onReply) {
    // `onReply` (which holds `this`) runs only while operations_, a member, is not cancelled.
    g_dbus_connection_call(connection_.get(), kPortalName, path, interface, method, parameters,
                           replyType, G_DBUS_CALL_FLAGS_NONE, -1, operations_.get(),
                           DBusCallCompletion::run,
                           new DBusCallCompletion{operations_.share(), std::move(onReply)});
}

void PortalGlobalShortcuts::callWithRequest(const char* method, GVariant* parameters,
                                            const std::string& token,
                                            std::function<void(guint32, GVariant*)> onResponse) {
    // Subscribed before the call: the portal may answer before its reply reaches us. The
    // subscription lives in request_, a member, so it goes before `this`.
    const auto path = handlePath("request", token);
    request_ =
        PendingRequest{token, path,
                       DBusSignalSubscription(connection_.get(), owner_.c_str(), kRequestInterface,
                                              "Response", path.c_str(), nullptr, onSignal, this),
                       std::move(onResponse)};
    const auto epoch = epoch_;
    call(kPortalPath, kShortcutsInterface, method, parameters, G_VARIANT_TYPE("(o)"),
         [this, epoch, token, path, method](GVariant* reply, const GError* error) {
             if (epoch != epoch_) return;
             const bool pending = request_ && request_->token == token;
             if (error) {
                 if (!pending) return;
                 request_.reset();
                 busy_ = false;
                 return failCall(method, error);
             }
             const char* handle = nullptr;
             g_variant_get(reply, "(&o)", &handle);
             if (!pending) {
                 // Given up before the portal said where it put the request: closed there too.
                 if (token == withdrawnToken_ && path != handle) closeRequest(handle);
                 return;
             }
             if (request_->path == handle) return;
             // The portal chose another path (it adds a suffix when ours is taken).
             request_->path = handle;
             request_->response =
                 DBusSignalSubscription(connection_.get(), owner_.c_str(), kRequestInterface,
                                        "Response", handle, nullptr, onSignal, this);
         });
}

void PortalGlobalShortcuts::failCall(std::string_view method, const GError* error) {
    switch (classifyPortalCallError(error)) {
        case PortalCallFailure::noPortal:
            return portalUnavailable();
        case PortalCallFailure::portalGone:
            return;  // the owner change starts over
        case PortalCallFailure::missingInterface:
            return fail(HotKeyError::Reason::unsupported, 0);
        case PortalCallFailure::other:
            return fail(HotKeyError::Reason::unsupported, 0,
                        std::string(method) + " failed: " + error->message);
    }
}

std::string PortalGlobalShortcuts::nextToken() {
    return "plenhall_" + std::to_string(++tokens_);
}

std::string PortalGlobalShortcuts::handlePath(const char* kind, const std::string& token) const {
    std::string sender = g_dbus_connection_get_unique_name(connection_.get());
    if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
    for (char& c : sender) {
        if (c == '.') c = '_';
    }
    return std::string("/org/freedesktop/portal/desktop/") + kind + "/" + sender + "/" + token;
}

GVariant* PortalGlobalShortcuts::shortcutList() const {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&properties, "{sv}", "description",
                          g_variant_new_string(description_.c_str()));
    if (!wanted_->preferredTrigger.empty())
        g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                              g_variant_new_string(wanted_->preferredTrigger.c_str()));
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    g_variant_builder_add(&list, "(sa{sv})", kShortcutId, &properties);
    return g_variant_builder_end(&list);
}

void PortalGlobalShortcuts::onSignal(GDBusConnection*, const char*, const char* path, const char*,
                                     const char* signal, GVariant* parameters, gpointer data) {
    auto* self = static_cast<PortalGlobalShortcuts*>(data);
    const std::string_view name = signal;
    if (name == "Response") return self->onResponse(path, parameters);
    if (name == "Activated") return self->onActivated(parameters);
    if (name == "ShortcutsChanged") return self->onShortcutsChanged(parameters);
}

void PortalGlobalShortcuts::onResponse(const char* path, GVariant* parameters) {
    if (!request_ || request_->path != path) return;
    auto onResponse = std::move(request_->onResponse);
    request_.reset();
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return onResponse(0, nullptr);
    guint32 code = 0;
    GVariant* rawResults = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &rawResults);
    GVariantPtr results(rawResults);
    onResponse(code, results.get());
}

void PortalGlobalShortcuts::onActivated(GVariant* parameters) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})")))
        return logLine("ignored an Activated signal of type " +
                       std::string(g_variant_get_type_string(parameters)));
    const char* session = nullptr;
    const char* id = nullptr;
    guint64 timestamp = 0;
    GVariant* rawOptions = nullptr;
    g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, &timestamp, &rawOptions);
    GVariantPtr options(rawOptions);
    // Portals before 1.17 send every session's presses to every client.
    if (session_.empty() || session_ != session || std::string_view(id) != kShortcutId) return;
    if (!deliverPresses_ || !onPress_) return;
    UserInput input;
    // Milliseconds of an unspecified clock, as X event times are; they wrap alike.
    input.time = std::uint32_t(timestamp);
    const char* token = nullptr;
    if (g_variant_lookup(options.get(), "activation_token", "&s", &token)) {
        input.activationToken = token;
    }
    onPress_(input);
}

void PortalGlobalShortcuts::onShortcutsChanged(GVariant* parameters) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa(sa{sv}))")))
        return logLine("ignored a ShortcutsChanged signal of type " +
                       std::string(g_variant_get_type_string(parameters)));
    const char* session = nullptr;
    GVariant* rawShortcuts = nullptr;
    g_variant_get(parameters, "(&o@a(sa{sv}))", &session, &rawShortcuts);
    GVariantPtr shortcuts(rawShortcuts);
    if (session_.empty() || session_ != session) return;
    const auto found = findPortalShortcut(shortcuts.get(), kShortcutId);
    if (found.found != PortalShortcut::Found::listed) {
        return logLine("the desktop no longer lists the shortcut");
    }
    sessionHoldsOurs_ = true;
    trigger_ = found.trigger;
    // While a registration is under way its own completion carries the trigger.
    if (!deliverPresses_ || !wanted_ || wanted_->done || reportedTrigger_ == trigger_) return;
    reportedTrigger_ = trigger_;
    if (onBindingChanged_) onBindingChanged_(HotKeyBinding{trigger_});
}

void PortalGlobalShortcuts::onPortalOwner(const std::string& owner) {
    // One owner at a time: whoever held the name held our session.
    if (!owner_.empty()) portalLost();
    if (owner.empty()) return;
    owner_ = owner;
    // Both subscriptions are members, dropped before `this` goes.
    activated_ = DBusSignalSubscription(connection_.get(), owner_.c_str(), kShortcutsInterface,
                                        "Activated", kPortalPath, nullptr, onSignal, this);
    shortcutsChanged_ =
        DBusSignalSubscription(connection_.get(), owner_.c_str(), kShortcutsInterface,
                               "ShortcutsChanged", kPortalPath, nullptr, onSignal, this);
    awaitingPortal_ = false;
    advance();
}

}  // namespace plenhall::gtk
