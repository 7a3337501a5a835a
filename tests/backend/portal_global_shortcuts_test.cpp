// The shortcut portal's client against a desktop the test plays through a fake transport.

#include "platform/gtk/portal_global_shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_transport.h"
#include "platform/gtk/key_codes.h"
#include "platform/gtk/portal_trigger.h"
#include "platform/key_event.h"

namespace plenhall::gtk {
namespace {

using testing::FakeTransport;
using testing::RecordingLog;
using Strings = std::vector<std::string>;

constexpr std::uint16_t kC = 54, kK = 45;  // XKB keycodes
constexpr std::uint32_t kCtrlAltSuper = Modifier::control | Modifier::alt | Modifier::super;
const std::string kPortal = "/org/freedesktop/portal/desktop";
const std::string kSession = kPortal + "/session/1_9/plenhall_desktop";

// How the desktop answers, as a portal frontend passes it on.
struct Desktop {
    std::optional<std::string> held = {};  // the trigger of ours the desktop holds
    guint32 sessionResponse = 0, bindResponse = 0;
    const char* bindResults = nullptr;  // default: what was asked, bound
    const char* bindTrigger = nullptr;  // default: the preferred trigger
    std::string version = "<uint32 1>";
    int registerError = 0, versionError = 0;
    const char* unreachable = nullptr;  // why there is no bus
    std::string silent = {};            // the method whose request gets no Response
};

struct Client {
    explicit Client(Desktop answers = {}) : desktop(std::move(answers)) {
        auto transport = std::make_unique<FakeTransport>(sent);
        bus = transport.get();
        if (desktop.unreachable) bus->unreachable = desktop.unreachable;
        shortcuts = std::make_unique<PortalGlobalShortcuts>(log, std::move(transport));
        shortcuts->installPressHandler([this](const UserInput& in) {
            presses.push_back(std::to_string(in.time) + " " + in.activationToken);
        });
        shortcuts->installBindingChangedHandler(
            [this](const HotKeyBinding& binding) { changes.push_back(binding.trigger); });
        shortcuts->installServiceHandler([this](HotKeyService s) { services.push_back(s); });
    }
    void registerKey(std::uint16_t keycode) {
        shortcuts->registerHotKey(
            {keycode, kCtrlAltSuper}, "Show", [this](const HotKeyRegistration& r) {
                outcomes.push_back(r ? r.value().trigger
                                     : "refused " + std::to_string(int(r.error().reason)) + "/" +
                                           std::to_string(r.error().status));
            });
        while (!bus->calls.empty()) answer(bus->next());
    }
    void answer(FakeTransport::Call call) {
        methods.push_back(call.method);
        if (call.method == "Register" && desktop.registerError)
            return call.fail(desktop.registerError);
        if (call.method == "Get" && desktop.versionError) return call.fail(desktop.versionError);
        if (call.method == "Get") return call.answer("(" + desktop.version + ",)");
        if (call.method == "CreateSession")
            return respond(call, desktop.sessionResponse,
                           "{'session_handle': <'" + kSession + "'>}");
        if (call.method == "ListShortcuts") return respond(call, 0, holding());
        if (call.method != "BindShortcuts") return call.answer("()");
        ++binds;
        const char* trigger = "";
        GVariantPtr asked(g_variant_get_child_value(call.parameters.get(), 1));
        GVariantPtr ours(g_variant_get_child_value(asked.get(), 0));
        GVariantPtr properties(g_variant_get_child_value(ours.get(), 1));
        g_variant_lookup(properties.get(), "preferred_trigger", "&s", &trigger);
        if (!desktop.bindResponse && !desktop.bindResults)
            desktop.held = desktop.bindTrigger ? desktop.bindTrigger : trigger;
        respond(call, desktop.bindResponse, desktop.bindResults ? desktop.bindResults : holding());
    }
    std::string holding() const {
        const auto ours =
            "('toggle-calendar', {'trigger_description': <'" + desktop.held.value_or("") + "'>})";
        return "{'shortcuts': <@a(sa{sv}) [" + (desktop.held ? ours : "") + "]>}";
    }
    // Replies with the request's path, which the portal makes of our handle token, and answers
    // there.
    void respond(FakeTransport::Call& call, guint32 code, const std::string& results) {
        GVariantPtr options(g_variant_get_child_value(
            call.parameters.get(), g_variant_n_children(call.parameters.get()) - 1));
        const char* token = nullptr;
        g_variant_lookup(options.get(), "handle_token", "&s", &token);
        // Where ours is taken, a portal adds a suffix: so it does for binds here.
        const std::string path =
            kPortal + "/request/1_9/" + token + (call.method == "BindShortcuts" ? "_1" : "");
        call.answer("(objectpath '" + path + "',)");
        if (call.method != desktop.silent)
            bus->emit(bus->owner(), path, "Response",
                      "(uint32 " + std::to_string(code) + ", " + results + ")");
    }
    void press(const std::string& sender, const std::string& session, const char* time) {
        bus->emit(sender, kPortal, "Activated",
                  "(objectpath '" + session + "', 'toggle-calendar', uint64 " + time +
                      ", {'activation_token': <'t'>})");
    }

    Desktop desktop;
    RecordingLog log;
    Strings sent, methods, outcomes, presses, changes;
    FakeTransport* bus = nullptr;
    std::unique_ptr<PortalGlobalShortcuts> shortcuts;
    std::vector<HotKeyService> services;
    unsigned binds = 0;
};

TEST(PortalShortcuts, RegistrationEndsAsTheDesktopAnswers) {
    const struct {
        Desktop desktop;
        const char* outcome;  // the trigger, or refused <reason>/<status>
        unsigned binds;
        std::size_t logLines;
    } cases[] = {
        {{}, "CTRL+ALT+LOGO+c", 1, 0},
        {{.held = "Ctrl+Alt+Super+C"}, "Ctrl+Alt+Super+C", 0, 0},
        {{.bindTrigger = "Super+K"}, "Super+K", 1, 0},
        {{.registerError = G_DBUS_ERROR_UNKNOWN_METHOD}, "CTRL+ALT+LOGO+c", 1, 0},  // 1.16
        {{.bindResponse = 1}, "refused 3/1", 1, 0},  // declined: the user cancelled
        {{.bindResponse = 2}, "refused 3/2", 1, 0},
        {{.bindResults = "@a{sv} {}"}, "refused 3/0", 1, 0},
        {{.bindResults = "{'shortcuts': <7>}"}, "refused 3/0", 1, 1},
        {{.sessionResponse = 2}, "refused 2/2", 0, 0},  // unsupported
        {{.version = "<'one'>"}, "refused 2/0", 0, 1},
        {{.versionError = G_DBUS_ERROR_INVALID_ARGS}, "refused 2/0", 0, 0},  // no GlobalShortcuts
        {{.registerError = G_DBUS_ERROR_SERVICE_UNKNOWN}, "refused 2/0", 0, 0},  // no portal
        {{.unreachable = "no session bus"}, "refused 2/0", 0, 1},
    };
    for (const auto& c : cases) {
        Client client(c.desktop);
        client.registerKey(kC);
        EXPECT_EQ(client.outcomes, Strings{c.outcome});
        EXPECT_EQ(client.binds, c.binds) << c.outcome;
        EXPECT_EQ(client.log.lines.size(), c.logLines) << c.outcome;
        // The app id must be the portal's first call on the connection.
        EXPECT_EQ(client.methods.empty() ? "Register" : client.methods[0], "Register");
    }
}

TEST(PortalShortcuts, BindsOnceAndHearsOnlyItsOwnSessionFromThePortal) {
    Client client;
    client.registerKey(kC);
    client.registerKey(kC);  // the desktop holds it already: not asked again
    EXPECT_EQ(client.outcomes, (Strings{"CTRL+ALT+LOGO+c", "CTRL+ALT+LOGO+c"}));
    EXPECT_EQ(client.binds, 1u);

    const std::string portal = client.bus->owner();
    client.press(portal, kPortal + "/session/other", "1");
    client.press(":1.66", kSession, "2");          // another program, in the portal's words
    client.press(portal, kSession, "4294968530");  // 2^32 + 1234: cut to 32 bits as X times are
    EXPECT_EQ(client.presses, Strings{"1234 t"});
    const auto edited = "(objectpath '" + kSession +
                        "', [('toggle-calendar', {'trigger_description': <'Super+J'>})])";
    client.bus->emit(":1.66", kPortal, "ShortcutsChanged", edited);
    client.bus->emit(portal, kPortal, "ShortcutsChanged", edited);
    EXPECT_EQ(client.changes, Strings{"Super+J"});

    // Another combination: the session took its one bind, so it is closed and one made anew.
    client.registerKey(kK);
    EXPECT_EQ(client.outcomes.back(), "CTRL+ALT+LOGO+k");
    EXPECT_EQ(client.binds, 2u);
    EXPECT_EQ(std::count(client.methods.begin(), client.methods.end(), "Close"), 1);

    client.shortcuts->unregisterHotKey();
    client.press(portal, kSession, "5");
    EXPECT_EQ(client.presses.size(), 1u);
    client.shortcuts.reset();  // the session, and so the binding, is kept until now
    EXPECT_EQ(client.sent, Strings{"Close " + kSession});
}

TEST(PortalShortcuts, APortalThatLeavesTakesTheSessionAndItsReturnAdoptsTheBinding) {
    Client client;
    client.registerKey(kC);
    client.bus->setOwner("");
    client.bus->setOwner(":1.3");
    EXPECT_EQ(client.services, (std::vector{HotKeyService::left, HotKeyService::back}));
    client.methods.clear();
    client.registerKey(kC);  // as the core does
    EXPECT_EQ(client.outcomes.back(), "CTRL+ALT+LOGO+c");
    EXPECT_EQ(client.methods, (Strings{"Register", "Get", "CreateSession", "ListShortcuts"}));
    client.press(":1.2", kSession, "1");
    client.press(":1.3", kSession, "2");
    EXPECT_EQ(client.presses, Strings{"2 t"});

    // A registration under way when the portal goes never completes: the core asks again.
    client.desktop.silent = "BindShortcuts";
    client.registerKey(kK);
    client.bus->setOwner(":1.4");
    EXPECT_EQ(client.outcomes.size(), 2u);
    EXPECT_EQ(client.services.size(), 4u);
}

// The core gives a registration up when the desktop leaves it unanswered: the request is closed,
// which puts the desktop's dialog away, and the next registration goes ahead.
TEST(PortalShortcuts, ARequestLeftUnansweredIsClosedWithTheRegistration) {
    for (const char* method : {"CreateSession", "ListShortcuts", "BindShortcuts"}) {
        Client client({.silent = method});
        client.registerKey(kC);
        client.shortcuts->unregisterHotKey();
        ASSERT_EQ(client.sent.size(), 1u) << method;
        EXPECT_EQ(client.sent[0].rfind("Close " + kPortal + "/request/1_9/plenhall_", 0), 0u);
        client.desktop.silent.clear();
        client.registerKey(kC);
        EXPECT_EQ(client.outcomes, Strings{"CTRL+ALT+LOGO+c"}) << method;
        EXPECT_TRUE(client.log.lines.empty());
    }
}

TEST(PortalTrigger, KeysAreNamedInTheShortcutsFormatByTheirUsKeysymsWithoutADisplay) {
    EXPECT_EQ(portalPreferredTrigger({71, Modifier::shift}), "SHIFT+F5");
    EXPECT_EQ(portalPreferredTrigger({90, Modifier::control}), "CTRL+KP_0");
    EXPECT_EQ(portalPreferredTrigger({250, Modifier::control}), "");
}

}  // namespace
}  // namespace plenhall::gtk
