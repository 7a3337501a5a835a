// The global shortcut on Wayland: the desktop's GlobalShortcuts portal (xdg-desktop-portal) binds
// it, possibly after asking the user, and reports its presses as Activated signals.
//
// One shortcut of ours lives in one portal session. A binding the desktop already holds for us is
// adopted without asking again (desktops that open their settings on every bind would otherwise
// do so at every launch); a bind is asked for only when the desktop lists nothing of ours or the
// core asks for another combination. When the portal leaves the bus it takes the session along:
// that is reported, and the core decides whether to register again.
//
// Thread: main thread only; every portal call is asynchronous, since a desktop's dialog can stay
// up for minutes. Ownership: the platform owns this; this owns its transport, whose connection is
// its own (the portal takes the app id only as the first call on a connection, which the shared
// connection cannot promise), and closes the session when it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/global_hot_keys.h"
#include "platform/gtk/portal_request.h"
#include "platform/gtk/portal_transport.h"
#include "platform/system.h"

namespace plenhall::gtk {

class PortalGlobalShortcuts final : public GlobalHotKeys, private PortalTransport::Listener {
  public:
    PortalGlobalShortcuts(Log& log, std::unique_ptr<PortalTransport> transport);
    PortalGlobalShortcuts(const PortalGlobalShortcuts&) = delete;
    PortalGlobalShortcuts& operator=(const PortalGlobalShortcuts&) = delete;
    ~PortalGlobalShortcuts() override;
    // The portal on the session bus, on a connection of its own.
    static std::unique_ptr<PortalTransport> busTransport();

    void installPressHandler(std::function<void(const UserInput&)> onPress) override;
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> onChange) override;
    void installServiceHandler(std::function<void(HotKeyService)> onChange) override;
    void registerHotKey(const KeyCombination& keys, const std::string& description,
                        std::function<void(const HotKeyRegistration&)> done) override;
    // Keeps the session (and so the desktop's binding); presses are no longer delivered, and a
    // request the portal has not answered is closed.
    void unregisterHotKey() override;

  private:
    // Where the exchange with the portal stands. Each answer moves it on, and advance() plans the
    // next exchange from it and from what the core wants. The "…ing" steps await an answer.
    enum class Step {
        disconnected,  // no bus connection asked for yet
        connecting,
        unannounced,  // connected; the portal as it runs now has not been given our app id
        announcing,
        unchecked,  // its version not read yet
        checking,
        noSession,
        creating,
        unlisted,  // a session of ours, not listed yet
        listing,
        missing,  // listed without ours
        binding,
        adopted,  // the session holds ours, which was not bound on it
        bound,    // the session holds ours, bound on it; a session takes one bind (GNOME's rule)
        spent,    // bound on it without ours, or perhaps being made under our token: no more binds
        closing,  // closed, to be made again
        noBus,    // nothing to talk on, for good
    };
    struct Wanted {
        std::uint64_t combination;
        std::string preferredTrigger;  // empty when the key has no keysym name
        std::string description;
        std::function<void(const HotKeyRegistration&)> done;  // empty once delivered
    };

    void ownerChanged(const std::string& owner) override;
    void signalled(std::string_view path, std::string_view member, GVariant* parameters) override;
    void closed(const std::string& why) override;

    bool busy() const;
    void advance();
    void announce();
    void checkVersion();
    void createSession();
    void listShortcuts();
    void bindShortcut();
    void replaceSession();
    // Asks with a Request, at step `asking`; `from` is where it goes back to when the call itself
    // fails.
    void ask(Step asking, Step from, const char* method,
             const PortalRequests::Parameters& parameters,
             std::function<void(guint32 code, GVariant* results)> onResponse);
    // A plain call, whose reply is dropped once the portal that was asked has gone.
    void call(const char* path, const char* interface, const char* method, GVariant* parameters,
              const GVariantType* replyType, PortalTransport::Reply onReply);
    void lost();

    void succeed();
    // Ends the wanted registration; `detail` goes to the log when it says more than the reason.
    void fail(HotKeyError::Reason reason, int status, std::string_view detail = {});
    // fail() for the registration wanted when `serial` was current; a later one is planned afresh.
    void settle(std::uint64_t serial, HotKeyError::Reason reason, int status,
                std::string_view detail = {});
    void failCall(std::string_view method, const GError* error);
    void logLine(std::string_view text);
    GVariant* shortcutList() const;
    bool delivering() const { return wanted_ && !wanted_->done; }

    void onActivated(GVariant* parameters);
    void onShortcutsChanged(GVariant* parameters);

    Log& log_;
    std::unique_ptr<PortalTransport> transport_;
    PortalRequests requests_{*transport_};
    std::function<void(const UserInput&)> onPress_;
    std::function<void(const HotKeyBinding&)> onBindingChanged_;
    std::function<void(HotKeyService)> onService_;

    Step step_ = Step::disconnected;
    bool portalSeen_ = false;   // someone owns the portal's name
    std::uint64_t epoch_ = 0;   // moves on when the portal leaves the bus
    std::uint64_t serial_ = 0;  // moves on with every register or unregister
    std::string session_;       // from creating's answer until closing
    std::string trigger_;       // the desktop's words for what the session holds
    std::optional<std::uint64_t> boundCombination_;  // bound or adopted in this process
    std::optional<Wanted> wanted_;
};

}  // namespace plenhall::gtk
