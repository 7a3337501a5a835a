#include "platform/gtk/portal_global_shortcuts.h"

#include <utility>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_gio_transport.h"
#include "platform/gtk/portal_replies.h"
#include "platform/gtk/portal_trigger.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
constexpr const char* kRegistryInterface = "org.freedesktop.host.portal.Registry";

// The basename of our desktop entry: portals that know apps by id match it there.
constexpr const char* kAppId = "com.plenhall.Desktop";
constexpr const char* kShortcutId = "toggle-calendar";
// Fixed, because KDE keys a binding by app id and session token: a fresh token would be a new
// shortcut at every launch.
constexpr const char* kSessionToken = "plenhall_desktop";
constexpr const char* kLogPrefix = "PlenhallDesktop: global shortcut portal: ";

using Reason = HotKeyError::Reason;

}  // namespace

PortalGlobalShortcuts::PortalGlobalShortcuts(Log& log, std::unique_ptr<PortalTransport> transport)
    : log_(log), transport_(std::move(transport)) {}

std::unique_ptr<PortalTransport> PortalGlobalShortcuts::busTransport() {
    return std::make_unique<PortalGioTransport>(
        "org.freedesktop.portal.Desktop",
        std::vector<const char*>{kShortcutsInterface, "org.freedesktop.portal.Request"},
        PortalGioTransport::Connection::own);
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    if (!session_.empty()) transport_->send(session_.c_str(), kSessionInterface, "Close", nullptr);
}

void PortalGlobalShortcuts::installPressHandler(std::function<void(const UserInput&)> onPress) {
    onPress_ = std::move(onPress);
}

void PortalGlobalShortcuts::installBindingChangedHandler(
    std::function<void(const HotKeyBinding&)> onChange) {
    onBindingChanged_ = std::move(onChange);
}

void PortalGlobalShortcuts::installServiceHandler(std::function<void(HotKeyService)> onChange) {
    onService_ = std::move(onChange);
}

void PortalGlobalShortcuts::registerHotKey(const KeyCombination& keys,
                                           const std::string& description,
                                           std::function<void(const HotKeyRegistration&)> done) {
    ++serial_;
    wanted_ = Wanted{(std::uint64_t(keys.keycode) << 32) | keys.modifiers,
                     portalPreferredTrigger(keys), description, std::move(done)};
    advance();
}

void PortalGlobalShortcuts::unregisterHotKey() {
    ++serial_;
    wanted_.reset();
    if (!requests_.pending()) return;
    // Given up, so that the next exchange can start.
    requests_.withdraw();
    switch (step_) {
        case Step::listing:
            step_ = Step::unlisted;
            return;
        case Step::creating:
            // The portal may be making a session under our token: it is closed before another
            // is made there.
            session_ = requests_.handlePath("session", kSessionToken);
            step_ = Step::spent;
            return;
        default:
            step_ = Step::spent;
            return;
    }
}

bool PortalGlobalShortcuts::busy() const {
    switch (step_) {
        case Step::connecting:
        case Step::announcing:
        case Step::checking:
        case Step::creating:
        case Step::listing:
        case Step::binding:
        case Step::closing:
            return true;
        default:
            return false;
    }
}

// Starts the next exchange the step calls for. Each exchange moves the step on and comes back
// here, so a registration that changed meanwhile is planned afresh.
void PortalGlobalShortcuts::advance() {
    if (!wanted_ || busy()) return;
    switch (step_) {
        case Step::disconnected:
            step_ = Step::connecting;
            return transport_->start(*this);
        case Step::noBus:
            return fail(Reason::unsupported, 0);
        case Step::unannounced:
            return announce();
        case Step::unchecked:
            return checkVersion();
        default:
            break;
    }
    // The portal has answered, so its owner is known at once or about to be (ownerChanged).
    if (transport_->owner().empty()) return;
    if (step_ == Step::noSession) return createSession();
    const bool holdsOurs = step_ == Step::adopted || step_ == Step::bound;
    if (holdsOurs && (!boundCombination_ || *boundCombination_ == wanted_->combination))
        return succeed();
    if (step_ == Step::bound || step_ == Step::spent) return replaceSession();
    if (boundCombination_ && *boundCombination_ != wanted_->combination) return bindShortcut();
    if (step_ == Step::unlisted) return listShortcuts();
    bindShortcut();
}

void PortalGlobalShortcuts::announce() {
    step_ = Step::announcing;
    GVariantBuilder none;
    g_variant_builder_init(&none, G_VARIANT_TYPE_VARDICT);
    call(kPortalPath, kRegistryInterface, "Register", g_variant_new("(sa{sv})", kAppId, &none),
         nullptr, [this](GVariant*, const GError* error) {
             step_ = Step::unannounced;
             if (error) {
                 switch (classifyPortalCallError(error)) {
                     case PortalCallFailure::noPortal:
                         return fail(Reason::unsupported, 0);
                     case PortalCallFailure::portalGone:
                         return;  // the owner change says so
                     case PortalCallFailure::missingInterface:
                         break;  // portals before 1.19.4 know apps only by their sandbox
                     case PortalCallFailure::other:
                         logLine(std::string("registering the app id failed: ") + error->message);
                         break;
                 }
             }
             step_ = Step::unchecked;
             advance();
         });
}

void PortalGlobalShortcuts::checkVersion() {
    step_ = Step::checking;
    call(kPortalPath, "org.freedesktop.DBus.Properties", "Get",
         g_variant_new("(ss)", kShortcutsInterface, "version"), G_VARIANT_TYPE("(v)"),
         [this](GVariant* reply, const GError* error) {
             step_ = Step::unchecked;
             if (error) {
                 const auto failure = classifyPortalCallError(error);
                 if (failure == PortalCallFailure::portalGone) return;
                 // GDBus answers InvalidArgs for an interface the object lacks.
                 const bool absent =
                     failure != PortalCallFailure::other ||
                     g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS);
                 return fail(Reason::unsupported, 0,
                             absent ? std::string()
                                    : std::string("reading its version failed: ") + error->message);
             }
             GVariant* rawValue = nullptr;
             g_variant_get(reply, "(v)", &rawValue);
             GVariantPtr value(rawValue);
             if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_UINT32))
                 return fail(Reason::unsupported, 0,
                             std::string("its version is of type ") +
                                 g_variant_get_type_string(value.get()));
             if (g_variant_get_uint32(value.get()) == 0)
                 return fail(Reason::unsupported, 0, "it reports version 0");
             step_ = Step::noSession;
             advance();
         });
}

void PortalGlobalShortcuts::createSession() {
    const auto serial = serial_;
    // Plasma 5.27 takes the shortcuts from here rather than from BindShortcuts, and forgets a
    // session's shortcuts that are missing here; later portals drop the key.
    auto parameters = [this](const std::string& token) {
        return g_variant_new(
            "(@a{sv})", PortalRequests::options(
                            token, {{"session_handle_token", g_variant_new_string(kSessionToken)},
                                    {"shortcuts", shortcutList()}}));
    };
    ask(Step::creating, Step::noSession, "CreateSession", parameters,
        [this, serial](guint32 code, GVariant* results) {
            step_ = Step::noSession;
            if (!results)
                return settle(serial, Reason::unsupported, 0,
                              "a malformed answer to CreateSession");
            if (code != PortalRequests::kSuccess)
                return settle(serial, Reason::unsupported, int(code));
            auto handle = portalSessionHandle(results);
            if (!handle)
                return settle(serial, Reason::unsupported, 0,
                              "the new session has no valid handle");
            session_ = *handle;
            step_ = Step::unlisted;
            advance();
        });
}

void PortalGlobalShortcuts::listShortcuts() {
    const auto serial = serial_;
    auto parameters = [this](const std::string& token) {
        return g_variant_new("(o@a{sv})", session_.c_str(), PortalRequests::options(token));
    };
    ask(Step::listing, Step::unlisted, "ListShortcuts", parameters,
        [this, serial](guint32 code, GVariant* results) {
            step_ = Step::missing;
            // A list the portal could not make is no answer: binding asks the desktop itself.
            if (results && code != PortalRequests::kSuccess) return advance();
            const auto found = findPortalShortcutInResults(results, kShortcutId);
            if (found.found == PortalShortcut::Found::malformed)
                return settle(serial, Reason::declined, 0, "a malformed answer to ListShortcuts");
            if (found.found == PortalShortcut::Found::listed) {
                step_ = Step::adopted;
                trigger_ = found.trigger;
            }
            advance();
        });
}

void PortalGlobalShortcuts::bindShortcut() {
    const auto serial = serial_;
    const auto combination = wanted_->combination;
    auto parameters = [this](const std::string& token) {
        return g_variant_new("(o@a(sa{sv})s@a{sv})", session_.c_str(), shortcutList(), "",
                             PortalRequests::options(token));
    };
    ask(Step::binding, Step::spent, "BindShortcuts", parameters,
        [this, serial, combination](guint32 code, GVariant* results) {
            step_ = Step::spent;
            if (code != PortalRequests::kSuccess && results)
                return settle(serial, Reason::declined, int(code));
            const auto found = findPortalShortcutInResults(results, kShortcutId);
            switch (found.found) {
                case PortalShortcut::Found::malformed:
                    return settle(serial, Reason::declined, 0,
                                  "a malformed answer to BindShortcuts");
                case PortalShortcut::Found::missing:
                    // Success that binds nothing: the user left the shortcut out.
                    return settle(serial, Reason::declined, 0);
                case PortalShortcut::Found::listed:
                    break;
            }
            step_ = Step::bound;
            boundCombination_ = combination;
            trigger_ = found.trigger;
            advance();
        });
}

void PortalGlobalShortcuts::replaceSession() {
    step_ = Step::closing;
    const std::string closing = std::exchange(session_, {});
    // The new session reuses the token and so the path: it waits until the portal has let go of
    // the old one (the portal closes in a thread of its own and could otherwise come second).
    call(closing.c_str(), kSessionInterface, "Close", nullptr, nullptr,
         [this](GVariant*, const GError*) {
             step_ = Step::noSession;
             advance();
         });
}

void PortalGlobalShortcuts::ask(Step asking, Step from, const char* method,
                                const PortalRequests::Parameters& parameters,
                                std::function<void(guint32 code, GVariant* results)> onResponse) {
    step_ = asking;
    requests_.ask(kShortcutsInterface, method, parameters, std::move(onResponse),
                  [this, method, from](const GError* error) {
                      step_ = from;
                      failCall(method, error);
                  });
}

void PortalGlobalShortcuts::call(const char* path, const char* interface, const char* method,
                                 GVariant* parameters, const GVariantType* replyType,
                                 PortalTransport::Reply onReply) {
    // The transport, a member, runs no reply once it has gone.
    transport_->call(
        path, interface, method, parameters, replyType,
        [this, epoch = epoch_, onReply = std::move(onReply)](GVariant* reply, const GError* error) {
            if (epoch == epoch_) onReply(reply, error);
        });
}

void PortalGlobalShortcuts::ownerChanged(const std::string& owner) {
    if (step_ == Step::connecting) {
        step_ = Step::unannounced;
        portalSeen_ = !owner.empty();
        return advance();
    }
    // One owner at a time: whoever held the name held our session.
    if (portalSeen_) lost();
    portalSeen_ = !owner.empty();
    if (!portalSeen_) return;
    if (onService_) onService_(HotKeyService::back);
    advance();
}

// The portal left the bus with our session and any request under way; the core hears of it and
// decides whether to register again.
void PortalGlobalShortcuts::lost() {
    ++epoch_;
    requests_.drop();
    session_.clear();
    if (step_ != Step::noBus) step_ = Step::unannounced;
    wanted_.reset();
    if (onService_) onService_(HotKeyService::left);
}

void PortalGlobalShortcuts::closed(const std::string& why) {
    const bool registering = wanted_ && wanted_->done;
    const bool held = portalSeen_ || wanted_;
    portalSeen_ = false;
    step_ = Step::noBus;
    if (registering) return fail(Reason::unsupported, 0, why);
    logLine(why);
    if (held) lost();
}

void PortalGlobalShortcuts::succeed() {
    auto done = std::exchange(wanted_->done, nullptr);
    if (!done) return;
    boundCombination_ = wanted_->combination;
    done(HotKeyBinding{trigger_});
}

void PortalGlobalShortcuts::fail(Reason reason, int status, std::string_view detail) {
    if (!detail.empty()) logLine(detail);
    if (!wanted_) return;
    auto done = std::exchange(wanted_->done, nullptr);
    wanted_.reset();
    if (done) done(HotKeyError{reason, status});
}

void PortalGlobalShortcuts::settle(std::uint64_t serial, Reason reason, int status,
                                   std::string_view detail) {
    // An outcome for a registration since replaced is no answer to the one now wanted.
    if (serial != serial_) return advance();
    fail(reason, status, detail);
}

void PortalGlobalShortcuts::failCall(std::string_view method, const GError* error) {
    switch (classifyPortalCallError(error)) {
        case PortalCallFailure::portalGone:
            return;  // the owner change says so
        case PortalCallFailure::noPortal:
        case PortalCallFailure::missingInterface:
            return fail(Reason::unsupported, 0);
        case PortalCallFailure::other:
            return fail(Reason::unsupported, 0, std::string(method) + " failed: " + error->message);
    }
}

void PortalGlobalShortcuts::logLine(std::string_view text) {
    log_.line(std::string(kLogPrefix) + std::string(text));
}

GVariant* PortalGlobalShortcuts::shortcutList() const {
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&properties, "{sv}", "description",
                          g_variant_new_string(wanted_->description.c_str()));
    if (!wanted_->preferredTrigger.empty())
        g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                              g_variant_new_string(wanted_->preferredTrigger.c_str()));
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    g_variant_builder_add(&list, "(sa{sv})", kShortcutId, &properties);
    return g_variant_builder_end(&list);
}

void PortalGlobalShortcuts::signalled(std::string_view path, std::string_view member,
                                      GVariant* parameters) {
    if (member == "Response") return requests_.signalled(path, member, parameters);
    if (path != kPortalPath) return;
    if (member == "Activated") return onActivated(parameters);
    if (member == "ShortcutsChanged") return onShortcutsChanged(parameters);
}

void PortalGlobalShortcuts::onActivated(GVariant* parameters) {
    auto activation = portalActivation(parameters);
    if (!activation)
        return logLine("ignored an Activated signal of type " +
                       std::string(g_variant_get_type_string(parameters)));
    // Portals before 1.17 send every session's presses to every client.
    if (session_.empty() || activation->session != session_ || activation->shortcut != kShortcutId)
        return;
    if (delivering() && onPress_) onPress_(activation->input);
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
    if (found.found != PortalShortcut::Found::listed)
        return logLine("the desktop no longer lists the shortcut");
    if (step_ == Step::unlisted || step_ == Step::missing) step_ = Step::adopted;
    trigger_ = found.trigger;
    // While a registration is under way its own completion carries the trigger.
    if (delivering() && onBindingChanged_) onBindingChanged_(HotKeyBinding{trigger_});
}

}  // namespace plenhall::gtk
