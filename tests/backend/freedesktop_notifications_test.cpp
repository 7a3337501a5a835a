// The notification client against a server the test plays through a fake transport.

#include "platform/gtk/freedesktop_notifications.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_transport.h"
#include "support.h"

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
    void show(std::uint64_t id, const char* body = "at ten") {
        client.show(id, {"Standup", body, "x-office-calendar", "Show Calendar"});
    }
    // Answers the waiting calls as a server does, numbering from 41; or fails Notify with `error`.
    void serve(int error = 0) {
        while (!bus->calls.empty()) {
            auto call = bus->next();
            if (call.method == "GetCapabilities") {
                call.answer("(['body', 'body-markup'],)");
            } else if (error) {
                call.fail(error);
            } else {
                shown.push_back(takeString(g_variant_print(call.parameters.get(), TRUE)));
                call.answer(("(uint32 " + std::to_string(++served) + ",)").c_str());
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
    std::uint32_t served = 40;
};

TEST_F(Notifications, ShowsClicksAndClosesOnlyWhatIsOurs) {
    show(1);
    show(2);
    show(3);
    serve();  // Standup 1, 2, 3 are the server's 41, 42, 43
    EXPECT_EQ(shown[0],
              "('Plenhall', uint32 0, 'x-office-calendar', 'Standup', 'at ten', ['default', 'Show "
              "Calendar'], {'desktop-entry': <'com.plenhall.Desktop'>}, -1)");

    emit("ActionInvoked", "(uint32 41, 'default')", ":1.66");  // another program, in its words
    emit("ActionInvoked", "(uint32 41, 'snooze')");            // not the click
    emit("ActionInvoked", "(uint32 7, 'default')");            // not ours
    emit("NotificationClosed", "('41',)");                      // malformed
    emit("ActionInvoked", "(uint32 41, 'default')");
    emit("NotificationClosed", "(uint32 41, uint32 2)");
    emit("NotificationClosed", "(uint32 41, uint32 2)");  // told twice
    emit("ActionInvoked", "(uint32 43, 'default')");
    EXPECT_EQ(recorder.clicked, (Ids{1, 3}));
    EXPECT_EQ(recorder.closed, Ids{1});

    client.close(2);
    EXPECT_EQ(sent, std::vector<std::string>{
                        "CloseNotification /org/freedesktop/Notifications (uint32 42,)"});
    emit("NotificationClosed", "(uint32 42, uint32 3)");  // we asked: nobody is told
    EXPECT_EQ(recorder.closed, Ids{1});

    // A server that leaves has forgotten what it showed, and gives its ids to others.
    bus->setOwner(":1.5");
    EXPECT_EQ(recorder.closed, (Ids{1, 3}));
    emit("ActionInvoked", "(uint32 43, 'default')");
    EXPECT_EQ(recorder.clicked, (Ids{1, 3}));
}

TEST_F(Notifications, OneClosedBeforeTheServerAnsweredIsClosedWhenItDoes) {
    show(1);
    client.close(1);
    serve();
    EXPECT_EQ(sent, std::vector<std::string>{
                        "CloseNotification /org/freedesktop/Notifications (uint32 41,)"});
    EXPECT_TRUE(recorder.notShown.empty());
}

TEST_F(Notifications, AFailureShowsNothingAndIsLoggedOnceUntilOneIsShownAgain) {
    const struct {
        int error;  // 0: shown
        std::size_t logLines;
    } steps[] = {{G_DBUS_ERROR_SERVICE_UNKNOWN, 1}, {G_DBUS_ERROR_INVALID_ARGS, 1}, {0, 1},
                 {G_DBUS_ERROR_NO_REPLY, 2}};
    Ids notShown;
    for (std::uint64_t id = 1; const auto& step : steps) {
        show(id);
        serve(step.error);
        if (step.error) notShown.push_back(id);
        ++id;
        EXPECT_EQ(recorder.notShown, notShown);
        EXPECT_EQ(log.lines.size(), step.logLines);
    }
}

// A page's text is shown as written, never read as the server's markup.
TEST(NotificationBodies, AreTextNotMarkup) {
    for (bool markup : {true, false}) {
        std::vector<std::string> sent;
        auto owned = std::make_unique<FakeTransport>(sent);
        auto* bus = owned.get();
        RecordingLog log;
        FreedesktopNotifications client{log, std::move(owned)};
        client.show(1, {"Lunch", "<img src=\"x\"> & tea", "", ""});
        bus->next().answer(markup ? "(['body-markup'],)" : "(@as [],)");
        bus->next().answer("(uint32 1,)");
        client.show(2, {"Lunch", "<img src=\"x\"> & tea", "", ""});
        GVariantPtr body(g_variant_get_child_value(bus->next().parameters.get(), 4));
        EXPECT_STREQ(g_variant_get_string(body.get(), nullptr),
                     markup ? "&lt;img src=&quot;x&quot;&gt; &amp; tea" : "<img src=\"x\"> & tea");
    }
}

}  // namespace
}  // namespace plenhall::gtk
