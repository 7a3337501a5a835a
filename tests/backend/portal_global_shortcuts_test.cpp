#include "platform/gtk/portal_global_shortcuts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gtk/key_codes.h"
#include "platform/key_event.h"
#include "private_bus.h"

namespace plenhall::gtk {
namespace {

using namespace std::chrono_literals;
using testing::PrivateBus;
using testing::RecordingLog;
using testing::runLoopUntil;
using Reason = HotKeyError::Reason;

constexpr std::uint32_t kC = 8, kK = 40;
constexpr std::uint32_t kCtrlAltCmd =
    CarbonModifier::controlKey | CarbonModifier::optionKey | CarbonModifier::cmdKey;
const std::string kFixtures = PrivateBus::kConfigDir;
const char* const kRealPortal = "/usr/libexec/xdg-desktop-portal";

// ---- Pure translations ---------------------------------------------------------------------

TEST(PortalTrigger, KeyCodesAndModifiersBecomeShortcutsSpecTriggers) {
    using namespace CarbonModifier;
    struct Case {
        std::uint32_t keyCode, modifiers;
        const char* expected;  // nullptr: the key has no name
    };
    const Case cases[] = {
        {kC, kCtrlAltCmd, "CTRL+ALT+LOGO+c"},
        {96, shiftKey, "SHIFT+F5"},
        {49, 0, "space"},
        {36, controlKey | optionKey | shiftKey | cmdKey, "CTRL+ALT+SHIFT+LOGO+Return"},
        {29, cmdKey, "LOGO+0"},
        {82, controlKey, "CTRL+KP_0"},
        {126, optionKey, "ALT+Up"},
        // Bits that name no modifier add none.
        {0, 0x1 | 0x80 | 0x4000, "a"},
        {kUnnamedKeyBase + 250, controlKey, nullptr},
        {52, controlKey, nullptr},
    };
    for (const auto& c : cases) {
        auto name = usKeysymNameForVirtualKey(c.keyCode);
        SCOPED_TRACE(c.keyCode);
        ASSERT_EQ(name.has_value(), c.expected != nullptr);
        if (name) {
            EXPECT_EQ(xdgShortcutTrigger(*name, c.modifiers), c.expected);
        }
    }
}

TEST(PortalReplies, OurShortcutIsFoundInWhateverTheDesktopSends) {
    using Found = PortalShortcut::Found;
    struct Case {
        const char* results;  // GVariant text
        Found found;
        const char* trigger;
    };
    const Case cases[] = {
        {"{'shortcuts': <[('toggle-calendar', {'trigger_description': <'Ctrl+Alt+Super+C'>})]>}",
         Found::listed, "Ctrl+Alt+Super+C"},
        {"{'shortcuts': <[('other', {}), ('toggle-calendar', {'description': <'x'>})]>}",
         Found::listed, ""},
        {"{'shortcuts': <[('other', {'trigger_description': <'F1'>})]>}", Found::missing, ""},
        {"@a{sv} {}", Found::missing, ""},
        {"{'shortcuts': <'toggle-calendar'>}", Found::malformed, ""},
        {"{'shortcuts': <[('toggle-calendar', {'trigger_description': <7>})]>}", Found::malformed,
         ""},
        {"('toggle-calendar', 'F1')", Found::malformed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.results);
        GVariantPtr results(
            g_variant_ref_sink(g_variant_parse(nullptr, c.results, nullptr, nullptr, nullptr)));
        ASSERT_TRUE(results);
        const auto found = findPortalShortcutInResults(results.get(), "toggle-calendar");
        EXPECT_EQ(found.found, c.found);
        EXPECT_EQ(found.trigger, c.trigger);
    }
    EXPECT_EQ(findPortalShortcutInResults(nullptr, "toggle-calendar").found, Found::malformed);
}

TEST(PortalReplies, CallErrorsTellAMissingPortalFromAMissingInterface) {
    struct Case {
        GQuark domain;
        int code;
        PortalCallFailure expected;
    };
    const Case cases[] = {
        {G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN, PortalCallFailure::noPortal},
        {G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_CHILD_EXITED, PortalCallFailure::noPortal},
        {G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, PortalCallFailure::missingInterface},
        {G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE, PortalCallFailure::missingInterface},
        {G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY, PortalCallFailure::portalGone},
        {G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED, PortalCallFailure::other},
        {G_IO_ERROR, G_IO_ERROR_CLOSED, PortalCallFailure::other},
    };
    for (const auto& c : cases) {
        CPtr<GError, g_error_free> error(g_error_new_literal(c.domain, c.code, "test"));
        EXPECT_EQ(classifyPortalCallError(error.get()), c.expected) << c.code;
    }
}

// ---- Against a desktop on a private session bus ----------------------------------------------

// The desktop processes on a private session bus, which the client under test is pointed at.
class PortalDesktop : public PrivateBus {
  public:
    PortalDesktop() {
        const char* previous = g_getenv("DBUS_SESSION_BUS_ADDRESS");
        previousAddress_ = previous ? previous : "";
        if (ready()) g_setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
    }
    ~PortalDesktop() { g_setenv("DBUS_SESSION_BUS_ADDRESS", previousAddress_.c_str(), TRUE); }

    // The fake frontend, configured with `config` (JSON), once it owns the portal's name.
    GPid startFrontend(const std::string& config) {
        return start(
            {kFixtures + "/test_portal_backend.py", "--role", "frontend", "--config", config},
            "org.freedesktop.portal.Desktop");
    }
    // Debian's own frontend over the test backend; it talks on stderr of no concern here.
    void startRealPortal(const std::string& config) {
        control_ = "org.freedesktop.impl.portal.desktop.plenhalltest";
        start({kFixtures + "/test_portal_backend.py", "--config", config}, control_);
        start({kRealPortal}, "org.freedesktop.portal.Desktop",
              {"XDG_DESKTOP_PORTAL_DIR=" + kFixtures, "XDG_CURRENT_DESKTOP=plenhalltest"}, true);
    }

    GVariantPtr control(const char* method, GVariant* parameters = nullptr) {
        return GVariantPtr(g_dbus_connection_call_sync(
            bus.get(), control_.c_str(), "/com/plenhall/PortalTest", "com.plenhall.PortalTest",
            method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    }
    // One entry of the test desktop's Stats.
    GVariantPtr stat(const char* key) {
        auto stats = control("Stats");
        if (!stats) return nullptr;
        GVariantPtr dict(g_variant_get_child_value(stats.get(), 0));
        return GVariantPtr(g_variant_lookup_value(dict.get(), key, nullptr));
    }
    std::uint32_t count(const char* key) {
        auto value = stat(key);
        return value ? g_variant_get_uint32(value.get()) : 0;
    }
    std::string text(const char* key) {
        auto value = stat(key);
        return value ? g_variant_get_string(value.get(), nullptr) : "";
    }
    // How many sessions a Trigger… control method signalled.
    std::uint32_t signalled(const char* method, GVariant* parameters) {
        auto answer = control(method, parameters);
        guint32 sessions = 0;
        if (answer) g_variant_get(answer.get(), "(u)", &sessions);
        return sessions;
    }
    std::uint32_t trigger(std::uint64_t timestamp, const char* token) {
        return signalled("Trigger", g_variant_new("(sts)", "toggle-calendar", timestamp, token));
    }

  private:
    GPid start(std::vector<std::string> argv, const std::string& name,
               const std::vector<std::string>& environment = {}, bool quiet = false) {
        GPid pid = spawn(std::move(argv), environment, quiet);
        EXPECT_TRUE(runLoopUntil([&] { return owned(name); })) << name << " never appeared";
        return pid;
    }

    std::string previousAddress_;
    std::string control_ = "org.freedesktop.portal.Desktop";
};

// The shortcut as the core uses it, with everything it is told recorded.
struct Client {
    explicit Client(Log& log)
        : shortcuts(std::make_unique<PortalGlobalShortcuts>(log, "Show or hide the calendar")) {
        shortcuts->installPressHandler(
            [this](const UserInput& input) { presses.push_back(input); });
        shortcuts->installBindingChangedHandler(
            [this](const HotKeyBinding& binding) { changes.push_back(binding.trigger); });
    }
    void registerKey(std::uint32_t keyCode) {
        shortcuts->registerHotKey(keyCode, kCtrlAltCmd, [this](const HotKeyRegistration& outcome) {
            outcomes.push_back(outcome);
        });
    }
    // The one outcome of the last registration, once it arrived.
    const HotKeyRegistration* settle(std::size_t expected = 1) {
        if (!runLoopUntil([&] { return outcomes.size() >= expected; })) return nullptr;
        return &outcomes.back();
    }

    std::unique_ptr<PortalGlobalShortcuts> shortcuts;
    std::vector<HotKeyRegistration> outcomes;
    std::vector<UserInput> presses;
    std::vector<std::string> changes;
};

bool haveDesktopTools() {
    const char* probe[] = {"/usr/bin/python3", "-c", "import dbus, gi", nullptr};
    gint status = -1;
    return !takeString(g_find_program_in_path("dbus-daemon")).empty() &&
           g_spawn_sync(nullptr, const_cast<char**>(probe), nullptr,
                        GSpawnFlags(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                        nullptr, nullptr, nullptr, nullptr, &status, nullptr) &&
           status == 0;
}

class PortalShortcuts : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool available = haveDesktopTools();
        if (!available) GTEST_SKIP() << "needs dbus-daemon, python3-dbus and python3-gi";
    }
};

TEST_F(PortalShortcuts, RegistrationEndsAsTheDesktopAnswers) {
    struct Case {
        const char* name;
        const char* config;  // nullptr: no portal on the bus at all
        Reason reason;       // ignored when `trigger` is set
        int status;
        const char* trigger;  // nullptr: a refusal
        unsigned binds;
        std::size_t logLines;
    };
    const Case cases[] = {
        {"granted", "{}", {}, 0, "CTRL+ALT+LOGO+c", 1, 0},
        {"already bound: adopted without asking",
         R"({"bound": {"toggle-calendar": "Ctrl+Alt+Super+C"}})",
         {},
         0,
         "Ctrl+Alt+Super+C",
         0,
         0},
        {"the desktop picked other keys", R"({"bind_trigger": "Super+K"})", {}, 0, "Super+K", 1, 0},
        {"a portal without the registry", R"({"registry": false})", {}, 0, "CTRL+ALT+LOGO+c", 1, 0},
        {"the user cancelled", R"({"bind_response": 1})", Reason::declined, 1, nullptr, 1, 0},
        {"the desktop refused", R"({"bind_response": 2})", Reason::declined, 2, nullptr, 1, 0},
        {"granted nothing", R"({"bind_result": "empty"})", Reason::declined, 0, nullptr, 1, 0},
        {"malformed bind", R"({"bind_result": "malformed"})", Reason::declined, 0, nullptr, 1, 1},
        {"session refused", R"({"session_response": 2})", Reason::unsupported, 2, nullptr, 0, 0},
        {"no GlobalShortcuts", R"({"global_shortcuts": false})", Reason::unsupported, 0, nullptr, 0,
         0},
        {"version of the wrong type", R"({"version": "one"})", Reason::unsupported, 0, nullptr, 0,
         1},
        {"no portal at all", nullptr, Reason::unsupported, 0, nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortalDesktop desktop;
        ASSERT_TRUE(desktop.ready());
        if (c.config) desktop.startFrontend(c.config);
        RecordingLog log;
        Client client(log);
        client.registerKey(kC);
        auto* outcome = client.settle();
        ASSERT_TRUE(outcome);
        EXPECT_EQ(client.outcomes.size(), 1u);
        if (c.trigger) {
            ASSERT_TRUE(outcome->ok());
            EXPECT_EQ(outcome->value().trigger, c.trigger);
        } else {
            ASSERT_FALSE(outcome->ok());
            EXPECT_EQ(outcome->error().reason, c.reason);
            EXPECT_EQ(outcome->error().status, c.status);
        }
        EXPECT_EQ(log.lines.size(), c.logLines);
        if (!c.config) continue;
        EXPECT_EQ(desktop.count("binds"), c.binds);
        // The app id must be the portal's first call on the connection.
        EXPECT_EQ(desktop.text("first_call"), "Register");
    }
}

TEST_F(PortalShortcuts, PressesOfOurSessionArriveWithTimeAndTokenWhileRegistered) {
    PortalDesktop desktop;
    ASSERT_TRUE(desktop.ready());
    desktop.startFrontend("{}");
    RecordingLog log;
    Client client(log);
    client.registerKey(kC);
    ASSERT_TRUE(client.settle() && client.outcomes.back().ok());

    // Another client's session first, then our session's press in the portal's words from
    // another program on the bus: signals of one sender arrive in order.
    desktop.control("TriggerForeign", g_variant_new("(s)", "toggle-calendar"));
    ASSERT_EQ(desktop.signalled("TriggerForged", g_variant_new("(s)", "toggle-calendar")), 1u);
    ASSERT_EQ(desktop.trigger((std::uint64_t(1) << 32) + 1234, "token-1"), 1u);
    ASSERT_TRUE(runLoopUntil([&] { return !client.presses.empty(); }));
    ASSERT_EQ(client.presses.size(), 1u);
    EXPECT_EQ(client.presses[0].time, 1234u);
    EXPECT_EQ(client.presses[0].activationToken, "token-1");

    client.shortcuts->unregisterHotKey();
    desktop.trigger(5, "");
    // A malformed signal behind it is logged: by then the press has been seen and dropped.
    desktop.control("TriggerMalformed");
    ASSERT_TRUE(runLoopUntil([&] { return !log.lines.empty(); }));
    EXPECT_EQ(client.presses.size(), 1u);
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(desktop.count("live"), 1u);  // the session, and so the binding, is kept
}

TEST_F(PortalShortcuts, BindsAgainOnlyForAnotherCombinationAndFollowsTheDesktopsEdits) {
    PortalDesktop desktop;
    ASSERT_TRUE(desktop.ready());
    desktop.startFrontend("{}");
    RecordingLog log;
    Client client(log);
    client.registerKey(kC);
    ASSERT_TRUE(client.settle() && client.outcomes.back().ok());

    client.registerKey(kC);  // the same combination: the desktop already holds it
    auto* same = client.settle(2);
    ASSERT_TRUE(same && same->ok());
    EXPECT_EQ(same->value().trigger, "CTRL+ALT+LOGO+c");
    EXPECT_EQ(desktop.count("binds"), 1u);

    client.registerKey(kK);
    auto* other = client.settle(3);
    ASSERT_TRUE(other && other->ok());
    EXPECT_EQ(other->value().trigger, "CTRL+ALT+LOGO+k");
    EXPECT_EQ(desktop.count("binds"), 2u);
    EXPECT_EQ(desktop.count("live"), 1u);  // the first session, bound once already, was closed

    desktop.control("ChangeTrigger", g_variant_new("(ss)", "toggle-calendar", "Super+J"));
    ASSERT_TRUE(runLoopUntil([&] { return !client.changes.empty(); }));
    EXPECT_EQ(client.changes, std::vector<std::string>{"Super+J"});
    EXPECT_TRUE(log.lines.empty());

    client.shortcuts.reset();
    EXPECT_TRUE(runLoopUntil([&] { return desktop.count("live") == 0; }));
}

TEST_F(PortalShortcuts, ASupersededRegistrationNeverCompletes) {
    PortalDesktop desktop;
    ASSERT_TRUE(desktop.ready());
    desktop.startFrontend("{}");
    RecordingLog log;
    Client client(log);
    bool firstDone = false;
    client.shortcuts->registerHotKey(kC, kCtrlAltCmd,
                                     [&](const HotKeyRegistration&) { firstDone = true; });
    client.registerKey(kK);
    auto* outcome = client.settle();
    ASSERT_TRUE(outcome && outcome->ok());
    EXPECT_EQ(outcome->value().trigger, "CTRL+ALT+LOGO+k");
    EXPECT_FALSE(firstDone);
}

// The core gives a registration up when the desktop leaves it unanswered: the request is
// withdrawn, and the next registration goes ahead.
TEST_F(PortalShortcuts, ARequestTheDesktopNeverAnswersIsWithdrawnWithTheRegistration) {
    const struct {
        const char* method;
        const char* asked;  // the Stats entry that counts the method's calls
    } cases[] = {
        {"CreateSession", "sessions"},
        {"ListShortcuts", "lists"},
        {"BindShortcuts", "binds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        PortalDesktop desktop;
        ASSERT_TRUE(desktop.ready());
        desktop.startFrontend(std::string(R"({"silent": ")") + c.method + "\"}");
        RecordingLog log;
        Client client(log);
        client.registerKey(kC);
        ASSERT_TRUE(runLoopUntil([&] { return desktop.count(c.asked) == 1; }));
        client.shortcuts->unregisterHotKey();
        ASSERT_TRUE(runLoopUntil([&] { return desktop.count("request_closes") == 1; }));

        desktop.control("Configure", g_variant_new_parsed("({'silent': <''>},)"));
        client.registerKey(kC);
        auto* outcome = client.settle();
        ASSERT_TRUE(outcome && outcome->ok());
        EXPECT_EQ(outcome->value().trigger, "CTRL+ALT+LOGO+c");
        EXPECT_EQ(client.outcomes.size(), 1u);
        EXPECT_EQ(desktop.count("live"), 1u);
        EXPECT_TRUE(log.lines.empty());
    }
}

TEST_F(PortalShortcuts, ARestartedPortalGetsTheSameBindingWithoutAskingAgain) {
    PortalDesktop desktop;
    ASSERT_TRUE(desktop.ready());
    GPid first = desktop.startFrontend("{}");
    RecordingLog log;
    Client client(log);
    client.registerKey(kC);
    ASSERT_TRUE(client.settle() && client.outcomes.back().ok());

    desktop.stop(first);
    // The desktop kept the binding, which the user has since changed.
    desktop.startFrontend(R"({"bound": {"toggle-calendar": "Ctrl+Alt+Super+V"}})");
    ASSERT_TRUE(runLoopUntil([&] { return !client.changes.empty(); }));
    EXPECT_EQ(client.changes, std::vector<std::string>{"Ctrl+Alt+Super+V"});
    EXPECT_EQ(client.outcomes.size(), 1u);
    EXPECT_EQ(desktop.count("binds"), 0u);
    EXPECT_EQ(desktop.text("first_call"), "Register");

    ASSERT_EQ(desktop.trigger(42, "after-restart"), 1u);
    ASSERT_TRUE(runLoopUntil([&] { return !client.presses.empty(); }));
    EXPECT_EQ(client.presses[0].activationToken, "after-restart");
    EXPECT_LE(log.lines.size(), 1u);  // at most: the portal was gone for a moment
}

TEST_F(PortalShortcuts, DebiansPortalBindsRelaysPressesRebindsAndTheNextLaunchAdoptsTheBinding) {
    if (!g_file_test(kRealPortal, G_FILE_TEST_IS_EXECUTABLE))
        GTEST_SKIP() << "no xdg-desktop-portal";
    PortalDesktop desktop;
    ASSERT_TRUE(desktop.ready());
    desktop.startRealPortal("{}");
    RecordingLog log;
    {
        Client client(log);
        client.registerKey(kC);
        auto* outcome = client.settle();
        ASSERT_TRUE(outcome && outcome->ok());
        EXPECT_EQ(outcome->value().trigger, "CTRL+ALT+LOGO+c");
        EXPECT_EQ(desktop.text("preferred_trigger"), "CTRL+ALT+LOGO+c");
        // 1.16 hands CreateSession's options to the backend unfiltered: Plasma 5.27 reads them.
        EXPECT_TRUE(g_variant_get_boolean(desktop.stat("legacy_shortcuts").get()));

        ASSERT_EQ(desktop.trigger((std::uint64_t(7) << 32) + 99, "token-real"), 1u);
        ASSERT_TRUE(runLoopUntil([&] { return !client.presses.empty(); }));
        EXPECT_EQ(client.presses[0].time, 99u);
        EXPECT_EQ(client.presses[0].activationToken, "token-real");

        // The user records another shortcut: a new session under the same token binds it.
        client.registerKey(kK);
        auto* rebound = client.settle(2);
        ASSERT_TRUE(rebound && rebound->ok());
        EXPECT_EQ(rebound->value().trigger, "CTRL+ALT+LOGO+k");
    }
    ASSERT_TRUE(runLoopUntil([&] { return desktop.count("live") == 0; }));

    Client nextLaunch(log);
    nextLaunch.registerKey(kK);
    auto* outcome = nextLaunch.settle();
    ASSERT_TRUE(outcome && outcome->ok());
    EXPECT_EQ(outcome->value().trigger, "CTRL+ALT+LOGO+k");
    EXPECT_EQ(desktop.count("binds"), 2u);
    EXPECT_TRUE(log.lines.empty());
}

}  // namespace
}  // namespace plenhall::gtk
