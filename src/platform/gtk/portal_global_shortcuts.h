// The global shortcut on Wayland: the desktop's GlobalShortcuts portal (xdg-desktop-portal) binds
// it, possibly after asking the user, and reports its presses as Activated signals.
//
// One shortcut of ours lives in one portal session, kept for the life of this object. A binding
// the desktop already holds for us is adopted without asking again (desktops that open their
// settings on every bind would otherwise do so at every launch); a bind is asked for only when the
// desktop lists nothing of ours or the core asks for another combination. When the portal
// restarts, the session is made again and the same combination bound silently.
//
// Thread: main thread only; every portal call is asynchronous, since a desktop's dialog can stay
// up for minutes. Ownership: the platform owns this. It holds a bus connection of its own (the
// portal takes the app id only as the first call on a connection, which the shared connection
// cannot promise), the session and every subscription; the session is closed when this goes.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/global_hot_keys.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"

namespace plenhall::gtk {

// What a portal's list of shortcuts (a(sa{sv})) says about one shortcut id.
struct PortalShortcut {
    enum class Found { listed, missing, malformed };
    Found found = Found::missing;
    std::string trigger;  // the desktop's trigger_description when listed; may be empty
};

// Looks `id` up in `shortcuts`, a value the portal sent (any type: a wrong one is malformed).
PortalShortcut findPortalShortcut(GVariant* shortcuts, std::string_view id);
// The same, in a Response's results, whose "shortcuts" entry holds the list.
PortalShortcut findPortalShortcutInResults(GVariant* results, std::string_view id);

// How a failed portal call is to be read.
enum class PortalCallFailure {
    noPortal,          // nothing owns the portal's name and the bus cannot start it
    missingInterface,  // the portal runs but lacks the interface or method
    portalGone,        // the portal left the bus while the call was pending
    other,
};
PortalCallFailure classifyPortalCallError(const GError* error);

class PortalGlobalShortcuts final : public GlobalHotKeys {
  public:
    // `shortcutDescription` is the text the desktop shows for the shortcut in its dialogs.
    PortalGlobalShortcuts(Log& log, std::string shortcutDescription);
    PortalGlobalShortcuts(const PortalGlobalShortcuts&) = delete;
    PortalGlobalShortcuts& operator=(const PortalGlobalShortcuts&) = delete;
    ~PortalGlobalShortcuts() override;

    void installPressHandler(std::function<void(const UserInput&)> onPress) override;
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> onChange) override;
    void registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                        std::function<void(const HotKeyRegistration&)> done) override;
    // Keeps the session (and so the desktop's binding); presses are no longer delivered, and a
    // request the portal has not answered is closed.
    void unregisterHotKey() override;

  private:
    struct Wanted {
        std::uint64_t combination;
        std::string preferredTrigger;  // empty when the key has no keysym name
        std::function<void(const HotKeyRegistration&)> done;  // empty once delivered
    };
    // The one portal request awaiting its Response signal.
    struct PendingRequest {
        std::string token;
        std::string path;
        DBusSignalSubscription response;
        std::function<void(guint32 code, GVariant* results)> onResponse;
    };
    using Reply = std::function<void(GVariant* reply, const GError* error)>;

    void advance();
    void connect();
    void onConnected(GObjectPtr<GDBusConnection> connection);
    void registerApp();
    void checkVersion();
    void createSession();
    void listShortcuts();
    void onListed(std::uint64_t serial, guint32 code, GVariant* results);
    void bindShortcut();
    void onBound(std::uint64_t serial, std::uint64_t combination, guint32 code, GVariant* results);
    void replaceSession();
    void closeSession();
    void withdrawRequest();
    void closeRequest(const std::string& path);

    void succeed(const std::string& trigger);
    // Ends the wanted registration; `detail` goes to the log when it says more than the reason.
    void fail(HotKeyError::Reason reason, int status, std::string_view detail = {});
    // fail() for the registration wanted when `serial` was current; a later one is planned afresh.
    void settle(std::uint64_t serial, HotKeyError::Reason reason, int status,
                std::string_view detail = {});
    void failCall(std::string_view method, const GError* error);
    void portalUnavailable();
    void portalLost();
    void logLine(std::string_view text);

    void call(const char* path, const char* interface, const char* method, GVariant* parameters,
              const GVariantType* replyType, Reply onReply);
    void callWithRequest(const char* method, GVariant* parameters, const std::string& token,
                         std::function<void(guint32, GVariant*)> onResponse);
    std::string nextToken();
    // Where the portal puts a request or a session of ours with `token`.
    std::string handlePath(const char* kind, const std::string& token) const;
    GVariant* shortcutList() const;

    static void onSignal(GDBusConnection*, const char* sender, const char* path,
                         const char* interface, const char* signal, GVariant* parameters,
                         gpointer self);
    void onActivated(GVariant* parameters);
    void onShortcutsChanged(GVariant* parameters);
    void onPortalOwner(const std::string& owner);
    void onResponse(const char* path, GVariant* parameters);

    Log& log_;
    const std::string description_;
    std::function<void(const UserInput&)> onPress_;
    std::function<void(const HotKeyBinding&)> onBindingChanged_;

    PendingOperations operations_;
    GObjectPtr<GDBusConnection> connection_;
    DBusNameWatch portal_;
    // The unique name of the portal's process while it runs: its signals are believed from it
    // alone.
    std::string owner_;
    DBusSignalSubscription activated_;
    DBusSignalSubscription shortcutsChanged_;
    SignalConnection closed_;
    std::optional<PendingRequest> request_;
    std::string withdrawnToken_;  // of the last request given up before its Response

    enum class Connection { none, connecting, ready, failed };
    Connection connectionState_ = Connection::none;
    bool busy_ = false;         // one exchange with the portal at a time
    std::uint64_t epoch_ = 0;   // moves on when the portal leaves the bus
    std::uint64_t serial_ = 0;  // moves on with every register or unregister
    std::uint64_t tokens_ = 0;
    bool appRegistered_ = false;
    bool versionChecked_ = false;
    std::string session_;
    bool sessionBound_ = false;  // a bind was asked for on this session
    bool sessionListed_ = false;
    bool sessionHoldsOurs_ = false;
    std::optional<std::uint64_t> boundCombination_;  // bound or adopted in this process
    // What the core asked for; kept after success, so that a restarted portal gets it again.
    std::optional<Wanted> wanted_;
    bool deliverPresses_ = false;
    bool awaitingPortal_ = false;  // the portal left and could not be started again
    int restartsWithoutSuccess_ = 0;
    std::string trigger_;
    std::optional<std::string> reportedTrigger_;
};

}  // namespace plenhall::gtk
