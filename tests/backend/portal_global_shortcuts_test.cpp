// The shortcut portal's client against a desktop the test plays through a fake transport.

#include "platform/gtk/portal_global_shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_transport.h"
#include "platform/gtk/key_codes.h"
#include "support.h"
#include "platform/gtk/portal_replies.h"
#include "platform/gtk/portal_trigger.h"
#include "platform/key_event.h"

namespace plenhall::gtk {
namespace {

using testing::FakeTransport;
using testing::parsed;
using testing::RecordingLog;
using Reason = HotKeyError::Reason;

constexpr std::uint32_t kC = 8, kK = 40;
constexpr std::uint32_t kCtrlAltCmd =
    CarbonModifier::controlKey | CarbonModifier::optionKey | CarbonModifier::cmdKey;
const std::string kPortal = "/org/freedesktop/portal/desktop";
const std::string kSession = kPortal + "/session/1_9/plenhall_desktop";

std::string activated(const std::string& session, const char* time, const char* token) {
    return "(objectpath '" + session + "', 'toggle-calendar', uint64 " + time +
           ", {'activation_token': <'" + token + "'>})";
}

// How the desktop answers, as a portal frontend passes it on.
struct Desktop {
    std::map<std::string, std::string> bound = {};  // shortcut id -> the trigger it holds
    guint32 sessionResponse = 0, bindResponse = 0;
    const char* bindResults = nullptr;  // default: what was asked, bound
    const char* bindTrigger = nullptr;  // default: the preferred trigger
    const char* version = "<uint32 1>";
    int registerError = 0, versionError = 0;
    const char* unreachable = nullptr;  // why there is no bus
    std::string silent = {};            // the method whose request gets no Response
};

struct Client {
    explicit Client(Desktop answers = {}) : desktop(std::move(answers)) {
        auto transport = std::make_unique<FakeTransport>(sent);
        bus = transport.get();
        if (desktop.unreachable) bus->unreachable = desktop.unreachable;
        shortcuts = std::make_unique<PortalGlobalShortcuts>(log, "Show or hide the calendar",
                                                            std::move(transport));
        shortcuts->installPressHandler([this](const UserInput& in) { presses.push_back(in); });
        shortcuts->installBindingChangedHandler(
            [this](const HotKeyBinding& binding) { changes.push_back(binding.trigger); });
        shortcuts->installServiceHandler([this](HotKeyService s) { services.push_back(s); });
    }
    void registerKey(std::uint32_t keyCode) {
        shortcuts->registerHotKey(keyCode, kCtrlAltCmd, [this](const HotKeyRegistration& outcome) {
            outcomes.push_back(outcome);
        });
        answer();
    }
    // Answers every waiting call as the desktop would.
    void answer() {
        while (!bus->calls.empty()) {
            auto call = bus->next();
            methods.push_back(call.method);
            if (call.method == "Register") {
                desktop.registerError ? call.fail(desktop.registerError) : call.answer("()");
            } else if (call.method == "Get") {
                desktop.versionError ? call.fail(desktop.versionError)
                                     : call.answer(("(" + std::string(desktop.version) + ",)").c_str());
            } else if (call.method == "Close") {
                call.answer("()");
            } else if (call.method == "CreateSession") {
                respond(call, desktop.sessionResponse, "{'session_handle': <'" + kSession + "'>}");
            } else if (call.method == "ListShortcuts") {
                respond(call, 0, held());
            } else if (call.method == "BindShortcuts") {
                ++binds;
                GVariantPtr asked(g_variant_get_child_value(call.parameters.get(), 1));
                GVariantPtr ours(g_variant_get_child_value(asked.get(), 0));
                GVariantPtr properties(g_variant_get_child_value(ours.get(), 1));
                const char* trigger = "";
                g_variant_lookup(properties.get(), "preferred_trigger", "&s", &trigger);
                if (!desktop.bindResponse && !desktop.bindResults)
                    desktop.bound["toggle-calendar"] = desktop.bindTrigger ? desktop.bindTrigger : trigger;
                respond(call, desktop.bindResponse, desktop.bindResults ? desktop.bindResults : held());
            }
        }
    }
    std::string held() const {
        std::string list;
        for (const auto& [id, trigger] : desktop.bound)
            list += (list.empty() ? "" : ", ") + ("('" + id + "', {'trigger_description': <'" +
                                                  trigger + "'>})");
        return "{'shortcuts': <@a(sa{sv}) [" + list + "]>}";
    }
    // Replies with the request's path, made of the handle token as the portal makes it, and
    // answers there.
    void respond(FakeTransport::Call& call, guint32 code, const std::string& results) {
        GVariantPtr options(g_variant_get_child_value(
            call.parameters.get(), g_variant_n_children(call.parameters.get()) - 1));
        const char* token = nullptr;
        g_variant_lookup(options.get(), "handle_token", "&s", &token);
        const std::string path = kPortal + "/request/1_9/" + token;
        call.answer(("(objectpath '" + path + "',)").c_str());
        if (call.method != desktop.silent)
            bus->emit(bus->owner(), path, "Response",
                      ("(uint32 " + std::to_string(code) + ", " + results + ")").c_str());
    }

    Desktop desktop;
    RecordingLog log;
    std::vector<std::string> sent, methods;
    FakeTransport* bus = nullptr;
    std::unique_ptr<PortalGlobalShortcuts> shortcuts;
    std::vector<HotKeyRegistration> outcomes;
    std::vector<UserInput> presses;
    std::vector<std::string> changes;
    std::vector<HotKeyService> services;
    unsigned binds = 0;
};

TEST(PortalShortcuts, RegistrationEndsAsTheDesktopAnswers) {
    const struct {
        const char* name;
        Desktop desktop;
        const char* trigger;  // nullptr: refused for `reason`, with `status`
        Reason reason;
        int status;
        unsigned binds;
        std::size_t logLines;
    } cases[] = {
        {"granted", {}, "CTRL+ALT+LOGO+c", {}, 0, 1, 0},
        {"held already: adopted without asking",
         {.bound = {{"toggle-calendar", "Ctrl+Alt+Super+C"}}}, "Ctrl+Alt+Super+C", {}, 0, 0, 0},
        {"other keys picked", {.bindTrigger = "Super+K"}, "Super+K", {}, 0, 1, 0},
        {"no registry", {.registerError = G_DBUS_ERROR_UNKNOWN_METHOD}, "CTRL+ALT+LOGO+c", {}, 0, 1, 0},
        {"cancelled", {.bindResponse = 1}, nullptr, Reason::declined, 1, 1, 0},
        {"refused", {.bindResponse = 2}, nullptr, Reason::declined, 2, 1, 0},
        {"bound nothing", {.bindResults = "@a{sv} {}"}, nullptr, Reason::declined, 0, 1, 0},
        {"malformed bind", {.bindResults = "{'shortcuts': <7>}"}, nullptr, Reason::declined, 0, 1, 1},
        {"session refused", {.sessionResponse = 2}, nullptr, Reason::unsupported, 2, 0, 0},
        {"version of the wrong type", {.version = "<'one'>"}, nullptr, Reason::unsupported, 0, 0, 1},
        {"no GlobalShortcuts", {.versionError = G_DBUS_ERROR_INVALID_ARGS}, nullptr,
         Reason::unsupported, 0, 0, 0},
        {"no portal", {.registerError = G_DBUS_ERROR_SERVICE_UNKNOWN}, nullptr, Reason::unsupported,
         0, 0, 0},
        {"no bus", {.unreachable = "no session bus"}, nullptr, Reason::unsupported, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(c.desktop);
        client.registerKey(kC);
        ASSERT_EQ(client.outcomes.size(), 1u);
        const auto& outcome = client.outcomes[0];
        if (c.trigger) {
            ASSERT_TRUE(outcome.ok());
            EXPECT_EQ(outcome.value().trigger, c.trigger);
        } else {
            ASSERT_FALSE(outcome.ok());
            EXPECT_EQ(outcome.error().reason, c.reason);
            EXPECT_EQ(outcome.error().status, c.status);
        }
        EXPECT_EQ(client.binds, c.binds);
        EXPECT_EQ(client.log.lines.size(), c.logLines);
        // The app id must be the portal's first call on the connection.
        if (!c.desktop.unreachable) {
            EXPECT_EQ(client.methods.front(), "Register");
        }
    }
}

TEST(PortalShortcuts, BindsOnceAndHearsOnlyItsOwnSessionFromThePortal) {
    Client client;
    client.registerKey(kC);
    client.registerKey(kC);  // the desktop holds it already: not asked again
    ASSERT_EQ(client.outcomes.size(), 2u);
    EXPECT_EQ(client.outcomes[1].value().trigger, "CTRL+ALT+LOGO+c");
    EXPECT_EQ(client.binds, 1u);

    auto& bus = *client.bus;
    const std::string portal = bus.owner();
    bus.emit(portal, kPortal, "Activated", activated(kPortal + "/session/other", "1", "x").c_str());
    bus.emit(":1.66", kPortal, "Activated", activated(kSession, "2", "forged").c_str());
    bus.emit(portal, kPortal, "Activated", activated(kSession, "4294968530", "token-1").c_str());
    ASSERT_EQ(client.presses.size(), 1u);
    EXPECT_EQ(client.presses[0].time, 1234u);  // 2^32 + 1234, cut to 32 bits as X times are
    EXPECT_EQ(client.presses[0].activationToken, "token-1");

    const auto edited = "(objectpath '" + kSession +
                        "', [('toggle-calendar', {'trigger_description': <'Super+J'>})])";
    bus.emit(":1.66", kPortal, "ShortcutsChanged", edited.c_str());
    bus.emit(portal, kPortal, "ShortcutsChanged", edited.c_str());
    EXPECT_EQ(client.changes, std::vector<std::string>{"Super+J"});

    // Another combination: the session took its one bind, so a new one is made for it.
    client.registerKey(kK);
    ASSERT_EQ(client.outcomes.size(), 3u);
    EXPECT_EQ(client.outcomes[2].value().trigger, "CTRL+ALT+LOGO+k");
    EXPECT_EQ(client.binds, 2u);
    EXPECT_EQ(std::count(client.methods.begin(), client.methods.end(), "Close"), 1);

    client.shortcuts->unregisterHotKey();
    bus.emit(portal, kPortal, "Activated", activated(kSession, "5", "").c_str());
    EXPECT_EQ(client.presses.size(), 1u);
    client.shortcuts.reset();  // the session, and so the binding, is kept until now
    EXPECT_EQ(client.sent, std::vector<std::string>{"Close " + kSession});
}

TEST(PortalShortcuts, APortalThatLeavesTakesTheSessionAndItsReturnAdoptsTheBinding) {
    Client client;
    client.registerKey(kC);
    client.bus->setOwner("");
    client.bus->setOwner(":1.3");
    EXPECT_EQ(client.services, (std::vector{HotKeyService::left, HotKeyService::back}));

    client.methods.clear();
    client.registerKey(kC);  // as the core does
    ASSERT_EQ(client.outcomes.size(), 2u);
    EXPECT_TRUE(client.outcomes[1].ok());
    EXPECT_EQ(client.binds, 1u);  // the desktop kept it
    EXPECT_EQ(client.methods, (std::vector<std::string>{"Register", "Get", "CreateSession",
                                                        "ListShortcuts"}));
    client.bus->emit(":1.2", kPortal, "Activated", activated(kSession, "1", "old").c_str());
    client.bus->emit(":1.3", kPortal, "Activated", activated(kSession, "2", "new").c_str());
    ASSERT_EQ(client.presses.size(), 1u);
    EXPECT_EQ(client.presses[0].activationToken, "new");

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
        SCOPED_TRACE(method);
        Client client({.silent = method});
        client.registerKey(kC);
        EXPECT_TRUE(client.outcomes.empty());
        client.shortcuts->unregisterHotKey();
        ASSERT_EQ(client.sent.size(), 1u);
        EXPECT_EQ(client.sent[0].rfind("Close " + kPortal + "/request/1_9/plenhall_", 0), 0u);

        client.desktop.silent.clear();
        client.registerKey(kC);
        ASSERT_EQ(client.outcomes.size(), 1u);
        EXPECT_EQ(client.outcomes[0].value().trigger, "CTRL+ALT+LOGO+c");
        EXPECT_TRUE(client.log.lines.empty());
    }
}

TEST(PortalTrigger, KeysAreNamedInTheShortcutsFormatByTheirUsKeysymsWithoutADisplay) {
    using namespace CarbonModifier;
    const struct {
        std::uint32_t keyCode, modifiers;
        const char* trigger;
    } cases[] = {
        {kC, kCtrlAltCmd, "CTRL+ALT+LOGO+c"},
        {96, shiftKey, "SHIFT+F5"},
        {36, controlKey | optionKey | shiftKey | cmdKey, "CTRL+ALT+SHIFT+LOGO+Return"},
        {82, controlKey, "CTRL+KP_0"},
        {0, 0x1 | 0x80 | 0x4000, "a"},  // bits that name no modifier add none
        {kUnnamedKeyBase + 250, controlKey, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portalPreferredTrigger(c.keyCode, c.modifiers), c.trigger) << c.keyCode;
}

TEST(PortalReplies, OurShortcutIsFoundInWhateverTheDesktopSends) {
    using Found = PortalShortcut::Found;
    const struct {
        const char* results;
        Found found;
        const char* trigger;
    } cases[] = {
        {"{'shortcuts': <[('other', {}), ('toggle-calendar', {'description': <'x'>})]>}",
         Found::listed, ""},
        {"{'shortcuts': <[('other', {'trigger_description': <'F1'>})]>}", Found::missing, ""},
        {"{'shortcuts': <[('toggle-calendar', {'trigger_description': <7>})]>}", Found::malformed,
         ""},
        {"('toggle-calendar', 'F1')", Found::malformed, ""},
    };
    for (const auto& c : cases) {
        const auto found = findPortalShortcutInResults(parsed(c.results).get(), "toggle-calendar");
        EXPECT_EQ(found.found, c.found) << c.results;
        EXPECT_EQ(found.trigger, c.trigger) << c.results;
    }
}

}  // namespace
}  // namespace plenhall::gtk
