// The notification client against a server the test plays through a fake transport.

#include "platform/gtk/freedesktop_notifications.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_transport.h"

namespace plenhall::gtk {
namespace {

using testing::FakeTransport;
using testing::RecordingLog;
using Ids = std::vector<std::uint64_t>;

struct Recorder : DesktopNotificationsDelegate {
    void desktopNotificationClicked(std::uint64_t id) override { clicked.push_back(id); }
    void desktopNotificationClosed(std::uint64_t id) override { closed.push_back(id); }
    void desktopNotificationNotShown(std::uint64_t id) override { notShown.push_back(id); }
    Ids clicked, closed, notShown;
};

class Notifications : public ::testing::Test {
  protected:
    Notifications() { client.setDelegate(recorder); }
    std::unique_ptr<PortalTransport> transport() {
        auto transport = std::make_unique<FakeTransport>(sent);
        bus = transport.get();
        return transport;
    }
    // Shows `id` on a server that reads markup and numbers them from 41; or fails with `error`.
    void show(std::uint64_t id, int error = 0, const char* body = "at ten") {
        client.show(id, {"Plenhall", "Standup", body, "x-office-calendar", "Show Calendar"});
        while (!bus->calls.empty()) {
            auto call = bus->next();
            if (call.method == "GetCapabilities") {
                call.answer("(['body-markup'],)");
            } else if (error) {
                call.fail(error);
            } else {
                shown.push_back(takeString(g_variant_print(call.parameters.get(), TRUE)));
                call.answer("(uint32 " + std::to_string(40 + shown.size()) + ",)");
            }
        }
    }
    void emit(const char* signal, const char* parameters, std::string sender = "") {
        bus->emit(sender.empty() ? bus->owner() : sender, "/org/freedesktop/Notifications", signal,
                  parameters);
    }

    std::vector<std::string> sent, shown;
    FakeTransport* bus = nullptr;
    RecordingLog log;
    Recorder recorder;
    FreedesktopNotifications client{log, transport()};
};

TEST_F(Notifications, ShowsClicksAndClosesOnlyWhatIsOurs) {
    show(1, 0, "<b> & tea");  // the page's text, never the server's markup
    show(2);
    show(3);  // the server's 41, 42, 43
    EXPECT_EQ(shown[0],
              "('Plenhall', uint32 0, 'x-office-calendar', 'Standup', '&lt;b&gt; &amp; "
              "tea', ['default', 'Show Calendar'], {'desktop-entry': "
              "<'com.plenhall.Desktop'>}, -1)");
    emit("ActionInvoked", "(uint32 41, 'default')", ":1.66");  // another program, in its words
    emit("ActionInvoked", "(uint32 41, 'snooze')");            // not the click
    emit("ActionInvoked", "(uint32 7, 'default')");            // not ours
    emit("NotificationClosed", "('41',)");                     // malformed
    emit("ActionInvoked", "(uint32 41, 'default')");
    emit("NotificationClosed", "(uint32 41, uint32 2)");
    emit("NotificationClosed", "(uint32 41, uint32 2)");  // told twice
    emit("ActionInvoked", "(uint32 43, 'default')");
    EXPECT_EQ(recorder.clicked, (Ids{1, 3}));
    EXPECT_EQ(recorder.closed, Ids{1});

    client.close(2);
    emit("NotificationClosed", "(uint32 42, uint32 3)");  // we asked: nobody is told
    EXPECT_EQ(recorder.closed, Ids{1});
    // A server that leaves has forgotten what it showed, and gives its ids to others; a new one
    // may read no markup.
    bus->setOwner(":1.5");
    bus->next().answer("(@as [],)");
    EXPECT_EQ(recorder.closed, (Ids{1, 3}));
    emit("ActionInvoked", "(uint32 43, 'default')");
    EXPECT_EQ(recorder.clicked, (Ids{1, 3}));
    client.show(4, {"Plenhall", "Lunch", "", "", ""});
    client.close(4);  // before the server answered: closed there once it does
    show(5, 0, "<b>");
    EXPECT_NE(shown[4].find("'<b>'"), std::string::npos);
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "CloseNotification /org/freedesktop/Notifications (uint32 42,)",
                        "CloseNotification /org/freedesktop/Notifications (uint32 44,)"}));
    EXPECT_TRUE(recorder.notShown.empty());
}

TEST_F(Notifications, AFailureShowsNothingAndIsLoggedOnceUntilOneIsShownAgain) {
    show(1, G_DBUS_ERROR_SERVICE_UNKNOWN);
    show(2, G_DBUS_ERROR_INVALID_ARGS);  // a malformed reply, as GDBus reports it
    EXPECT_EQ(log.lines.size(), 1u);
    show(3);
    show(4, G_DBUS_ERROR_NO_REPLY);
    EXPECT_EQ(recorder.notShown, (Ids{1, 2, 4}));
    EXPECT_EQ(log.lines.size(), 2u);
}

}  // namespace
}  // namespace plenhall::gtk
