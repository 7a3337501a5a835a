// The notification client against a notification server of the test's own on a private bus: what
// it sends, which of the server's signals it believes, and how it takes a server that is missing
// or answers nonsense.

#include "platform/gtk/freedesktop_notifications.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "private_bus.h"

namespace plenhall::gtk {
namespace {

using testing::PrivateBus;
using testing::RecordingLog;
using testing::runLoopUntil;

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  </interface>
</node>)";

// A private bus with a notification server that answers as the test tells it.
class Server : public PrivateBus {
  public:
    enum class Reply { id, malformed, held };

    ~Server() {
        if (registration_) g_dbus_connection_unregister_object(bus.get(), registration_);
    }

    // Takes the server's name; until then nobody answers.
    void start() {
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {onCall, nullptr, nullptr, {}};
        registration_ =
            g_dbus_connection_register_object(bus.get(), "/org/freedesktop/Notifications",
                                              node->interfaces[0], &vtable, this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
        GVariantPtr named(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.Notifications", 4u), nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    }

    // Leaves the bus as a server that crashed does, and a new one takes the name.
    void restart() {
        g_dbus_connection_unregister_object(bus.get(), registration_);
        g_dbus_connection_close_sync(bus.get(), nullptr, nullptr);
        bus = connect();
        start();
    }

    void emit(const char* signal, GVariant* parameters) {
        g_dbus_connection_emit_signal(bus.get(), nullptr, "/org/freedesktop/Notifications",
                                      "org.freedesktop.Notifications", signal, parameters, nullptr);
        g_dbus_connection_flush_sync(bus.get(), nullptr, nullptr);
    }
    // Another program on the bus sends `signal` in the server's words, straight to `client`; the
    // bus has passed it on when this returns.
    void forge(GDBusConnection* client, const char* signal, GVariant* parameters) {
        auto forger = connect();
        g_dbus_connection_emit_signal(forger.get(), g_dbus_connection_get_unique_name(client),
                                      "/org/freedesktop/Notifications",
                                      "org.freedesktop.Notifications", signal, parameters, nullptr);
        GVariantPtr(g_dbus_connection_call_sync(
            forger.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetId", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    }
    void answerHeld(std::uint32_t id) {
        g_dbus_method_invocation_return_value(held_, g_variant_new("(u)", id));
        held_ = nullptr;
    }

    Reply reply = Reply::id;
    std::vector<std::string> capabilities{"actions", "body", "body-markup"};
    // The client asks each server it sees once it listens to it: a signal sent after the question
    // reaches the client.
    int capabilityQueries = 0;
    std::vector<std::string> summaries, bodies, icons;
    std::vector<std::vector<std::string>> actions;
    std::vector<std::uint32_t> closed;
    GDBusMethodInvocation* held_ = nullptr;

  private:
    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                       gpointer data) {
        auto* self = static_cast<Server*>(data);
        if (g_strcmp0(method, "GetCapabilities") == 0) {
            ++self->capabilityQueries;
            GVariantBuilder names;
            g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
            for (const auto& name : self->capabilities)
                g_variant_builder_add(&names, "s", name.c_str());
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &names));
            return;
        }
        if (g_strcmp0(method, "CloseNotification") == 0) {
            std::uint32_t id = 0;
            g_variant_get(parameters, "(u)", &id);
            self->closed.push_back(id);
            g_dbus_method_invocation_return_value(invocation, nullptr);
            return;
        }
        const char *icon = nullptr, *summary = nullptr, *body = nullptr;
        GVariantIter* list = nullptr;
        g_variant_get(parameters, "(&su&s&s&sasa{sv}i)", nullptr, nullptr, &icon, &summary, &body,
                      &list, nullptr, nullptr);
        std::vector<std::string> acts;
        const char* action = nullptr;
        while (g_variant_iter_next(list, "&s", &action)) acts.emplace_back(action);
        g_variant_iter_free(list);
        self->icons.emplace_back(icon);
        self->summaries.emplace_back(summary);
        self->bodies.emplace_back(body);
        self->actions.push_back(acts);
        switch (self->reply) {
            case Reply::id:
                g_dbus_method_invocation_return_value(
                    invocation, g_variant_new("(u)", std::uint32_t(self->summaries.size() + 40)));
                return;
            case Reply::malformed: {
                // Past GDBus's own check of what the introspection promises.
                auto reply = adopt(g_dbus_message_new_method_reply(
                    g_dbus_method_invocation_get_message(invocation)));
                g_dbus_message_set_body(reply.get(), g_variant_new("(s)", "nine"));
                g_dbus_connection_send_message(g_dbus_method_invocation_get_connection(invocation),
                                               reply.get(), G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                               nullptr);
                GObjectPtr<GDBusMethodInvocation> answered(invocation);
                return;
            }
            case Reply::held:
                self->held_ = invocation;
                return;
        }
    }

    guint registration_ = 0;
};

struct Recorder : DesktopNotificationsDelegate {
    void desktopNotificationClicked(std::uint64_t id) override { clicked.push_back(id); }
    void desktopNotificationClosed(std::uint64_t id) override { closed.push_back(id); }
    void desktopNotificationNotShown(std::uint64_t id) override { notShown.push_back(id); }
    std::vector<std::uint64_t> clicked, closed, notShown;
};

class Notifications : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server.ready()) GTEST_SKIP() << "needs dbus-daemon";
        client.setDelegate(recorder);
    }
    void show(std::uint64_t id, const char* title) {
        client.show(id, {title, "at ten", "x-office-calendar", "Show Calendar"});
    }
    Server server;
    RecordingLog log;
    Recorder recorder;
    GDBusConnection* clientBus = nullptr;  // the client's, which holds it
    FreedesktopNotifications client{log, [this] {
                                        auto bus = server.connect();
                                        clientBus = bus.get();
                                        return bus;
                                    }};
};

// The server's signals reach the client in the order it sent them, after its replies; so a signal
// with a visible effect marks that every earlier one has been handled.
TEST_F(Notifications, ShowsClicksAndClosesOnlyWhatIsOurs) {
    server.start();
    show(1, "Standup");
    show(2, "Lunch");
    show(3, "Review");
    ASSERT_TRUE(runLoopUntil(
        [&] { return server.summaries.size() == 3 && server.capabilityQueries == 1; }));
    EXPECT_EQ(server.bodies[0], "at ten");
    EXPECT_EQ(server.icons[0], "x-office-calendar");
    EXPECT_EQ(server.actions[0], (std::vector<std::string>{"default", "Show Calendar"}));
    // The server's ids: Standup 41, Lunch 42, Review 43.

    server.forge(clientBus, "ActionInvoked", g_variant_new("(us)", 41u, "default"));
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "snooze"));  // not the click
    server.emit("ActionInvoked", g_variant_new("(us)", 7u, "default"));  // not ours
    server.emit("NotificationClosed", g_variant_new("(s)", "41"));       // malformed
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "default"));
    server.emit("NotificationClosed", g_variant_new("(uu)", 41u, 2u));
    server.emit("NotificationClosed", g_variant_new("(uu)", 41u, 2u));  // told twice
    server.emit("ActionInvoked", g_variant_new("(us)", 43u, "default"));
    ASSERT_TRUE(runLoopUntil([&] { return recorder.clicked.size() == 2; }));
    EXPECT_EQ(recorder.clicked, (std::vector<std::uint64_t>{1, 3}));
    EXPECT_EQ(recorder.closed, std::vector<std::uint64_t>{1});

    client.close(2);
    ASSERT_TRUE(runLoopUntil([&] { return !server.closed.empty(); }));
    EXPECT_EQ(server.closed, std::vector<std::uint32_t>{42});
    server.emit("NotificationClosed", g_variant_new("(uu)", 42u, 3u));  // we asked: nobody is told
    server.emit("NotificationClosed", g_variant_new("(uu)", 43u, 1u));  // expired
    ASSERT_TRUE(runLoopUntil([&] { return recorder.closed.size() == 2; }));
    EXPECT_EQ(recorder.closed, (std::vector<std::uint64_t>{1, 3}));
}

// A server that restarts has forgotten what it showed, and gives its ids to others.
TEST_F(Notifications, WhatTheServerShowedIsClosedWhenItLeavesTheBus) {
    server.start();
    show(1, "Standup");
    show(2, "Lunch");
    ASSERT_TRUE(runLoopUntil(
        [&] { return server.summaries.size() == 2 && server.capabilityQueries == 1; }));
    server.restart();
    ASSERT_TRUE(runLoopUntil([&] { return recorder.closed.size() == 2; }));
    EXPECT_EQ(recorder.closed, (std::vector<std::uint64_t>{1, 2}));

    ASSERT_TRUE(runLoopUntil([&] { return server.capabilityQueries == 2; }));
    show(3, "Review");
    ASSERT_TRUE(runLoopUntil([&] { return server.summaries.size() == 3; }));
    server.emit("ActionInvoked", g_variant_new("(us)", 41u, "default"));  // no longer ours
    server.emit("ActionInvoked", g_variant_new("(us)", 43u, "default"));
    ASSERT_TRUE(runLoopUntil([&] { return !recorder.clicked.empty(); }));
    EXPECT_EQ(recorder.clicked, std::vector<std::uint64_t>{3});
    EXPECT_EQ(recorder.closed.size(), 2u);
}

TEST_F(Notifications, OneClosedBeforeTheServerAnsweredIsClosedWhenItDoes) {
    server.start();
    server.reply = Server::Reply::held;
    show(1, "Standup");
    ASSERT_TRUE(runLoopUntil([&] { return server.held_ != nullptr; }));
    client.close(1);
    server.answerHeld(77);
    ASSERT_TRUE(runLoopUntil([&] { return !server.closed.empty(); }));
    EXPECT_EQ(server.closed, std::vector<std::uint32_t>{77});
    EXPECT_TRUE(recorder.notShown.empty());
}

TEST_F(Notifications, AMissingOrNonsensicalServerShowsNothingAndIsLoggedOnce) {
    show(1, "Standup");  // nobody owns the name yet
    ASSERT_TRUE(runLoopUntil([&] { return recorder.notShown.size() == 1; }));
    server.start();
    server.reply = Server::Reply::malformed;
    show(2, "Lunch");
    ASSERT_TRUE(runLoopUntil([&] { return recorder.notShown.size() == 2; }));
    EXPECT_EQ(recorder.notShown, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(log.lines.size(), 1u);

    server.reply = Server::Reply::id;  // it works again; a later failure is news
    show(3, "Review");
    ASSERT_TRUE(runLoopUntil([&] { return server.summaries.size() == 2; }));
    server.reply = Server::Reply::malformed;
    show(4, "Retro");
    ASSERT_TRUE(runLoopUntil([&] { return recorder.notShown.size() == 3; }));
    EXPECT_EQ(log.lines.size(), 2u);
}

// A page's text is shown as written, never read as the server's markup.
TEST_F(Notifications, ThePagesBodyIsTextNotMarkup) {
    const struct {
        std::vector<std::string> capabilities;
        const char* shown;
    } cases[] = {
        {{"actions", "body", "body-markup"}, "&lt;img src=&quot;x&quot;&gt; &amp; tea"},
        {{"actions", "body"}, "<img src=\"x\"> & tea"},
    };
    for (const auto& c : cases) {
        Server fresh;
        fresh.capabilities = c.capabilities;
        fresh.start();
        Recorder seen;
        FreedesktopNotifications ours{log, [&fresh] { return fresh.connect(); }};
        ours.setDelegate(seen);
        ours.show(1, {"Lunch", "first", "x-office-calendar", "Show Calendar"});
        ASSERT_TRUE(runLoopUntil(
            [&] { return fresh.summaries.size() == 1 && fresh.capabilityQueries == 1; }));
        // Signals come after the replies sent before them: the capabilities are known once the
        // click is.
        fresh.emit("ActionInvoked", g_variant_new("(us)", 41u, "default"));
        ASSERT_TRUE(runLoopUntil([&] { return seen.clicked.size() == 1; }));
        ours.show(2, {"Lunch", "<img src=\"x\"> & tea", "x-office-calendar", "Show Calendar"});
        ASSERT_TRUE(runLoopUntil([&] { return fresh.bodies.size() == 2; }));
        EXPECT_EQ(fresh.bodies[1], c.shown);
    }
}

}  // namespace
}  // namespace plenhall::gtk
