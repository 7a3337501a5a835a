#include "platform/gtk/glib_ptr.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "support.h"

#include <csignal>

namespace plenhall::gtk {
namespace {

using namespace std::chrono_literals;
using testing::runLoopFor;

TEST(ScheduledCall, RunsWhenDueAndNeverOnceCancelledOrDestroyed) {
    int ran = 0, cancelled = 0, destroyed = 0, idle = 0;
    auto due = ScheduledCall::after(5ms, [&] { ++ran; });
    auto toCancel = ScheduledCall::after(5ms, [&] { ++cancelled; });
    auto idleCall = ScheduledCall::idle([&] { ++idle; });
    {
        auto gone = ScheduledCall::after(5ms, [&] { ++destroyed; });
    }
    toCancel.cancel();
    EXPECT_TRUE(due.pending());
    EXPECT_FALSE(toCancel.pending());

    runLoopFor(40ms);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(destroyed, 0);
    EXPECT_FALSE(due.pending());  // a one-off has ended
    EXPECT_FALSE(idleCall.pending());
}

TEST(ScheduledCall, RepeatsWhileTheWorkAsksAndStopsWhenHolderGoes) {
    int idleRuns = 0, timerRuns = 0, droppedRuns = 0;
    auto idle = ScheduledCall::idleWhile([&] { return ++idleRuns < 3; });
    auto timer = ScheduledCall::every(2ms, [&] { return ++timerRuns < 2; });
    auto dropped = std::make_unique<ScheduledCall>(ScheduledCall::every(2ms, [&] {
        ++droppedRuns;
        return true;
    }));
    runLoopFor(30ms);
    EXPECT_EQ(idleRuns, 3);
    EXPECT_EQ(timerRuns, 2);
    EXPECT_FALSE(idle.pending());
    EXPECT_FALSE(timer.pending());

    ASSERT_GT(droppedRuns, 0);
    const int before = droppedRuns;
    dropped.reset();
    runLoopFor(20ms);
    EXPECT_EQ(droppedRuns, before);
}

TEST(ScheduledCall, MovedCallKeepsItsWorkAndReplacingCancelsThePrevious) {
    int first = 0, second = 0;
    ScheduledCall held = ScheduledCall::after(2ms, [&] { ++first; });
    ScheduledCall moved = std::move(held);
    EXPECT_FALSE(held.pending());
    moved = ScheduledCall::after(2ms, [&] { ++second; });
    runLoopFor(20ms);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(ScheduledCall, UnixSignalRunsTheWorkOnTheLoop) {
    int received = 0;
    auto watch = ScheduledCall::onUnixSignal(SIGUSR1, [&] { ++received; });
    std::raise(SIGUSR1);
    runLoopFor(20ms);
    EXPECT_EQ(received, 1);
}

void countActivation(GSimpleAction*, GVariant*, gpointer count) {
    ++*static_cast<int*>(count);
}

TEST(SignalConnection, HandlerRunsWhileHeldAndNeverAfterTheConnectionGoes) {
    auto action = adopt(g_simple_action_new("probe", nullptr));
    int count = 0;
    {
        SignalConnection connection(action.get(), "activate", G_CALLBACK(countActivation), &count);
        g_action_activate(G_ACTION(action.get()), nullptr);
        SignalConnection moved = std::move(connection);
        EXPECT_FALSE(connection.alive());
        EXPECT_TRUE(moved.alive());
        g_action_activate(G_ACTION(action.get()), nullptr);
    }
    g_action_activate(G_ACTION(action.get()), nullptr);
    EXPECT_EQ(count, 2);
}

TEST(SignalConnection, InstanceDestroyedFirstLeavesAConnectionThatIsSafeToDrop) {
    int count = 0;
    auto action = adopt(g_simple_action_new("probe", nullptr));
    SignalConnection connection(action.get(), "activate", G_CALLBACK(countActivation), &count);
    action.reset();
    EXPECT_FALSE(connection.alive());
    connection.disconnect();  // nothing left to disconnect; must not touch the dead instance
    EXPECT_EQ(count, 0);
}

TEST(Owners, ReleaseWhatTheyHold) {
    // An object whose last reference the owner holds is finalized when the owner goes.
    GObject* watched = nullptr;
    {
        auto object = adopt(G_OBJECT(g_simple_action_new("probe", nullptr)));
        watched = object.get();
        g_object_add_weak_pointer(watched, reinterpret_cast<gpointer*>(&watched));
    }
    EXPECT_EQ(watched, nullptr);

    EXPECT_EQ(takeString(g_strdup("text")), "text");
    EXPECT_EQ(takeString(nullptr), "");
}

}  // namespace
}  // namespace plenhall::gtk
