#include <gtest/gtest.h>

#include "support.h"

#include <string>

#include "platform/gtk/gtk_platform.h"

namespace plenhall::gtk {
namespace {

using namespace std::chrono_literals;
using testing::runLoopFor;

TEST(GlibMainQueue, RunsWorkInOrderAndWhatWorkPostsOnALaterTurn) {
    GlibMainQueue queue;
    std::string trace;
    queue.async([&] {
        trace += 'a';
        queue.async([&] { trace += 'c'; });
    });
    queue.async([&] { trace += 'b'; });
    EXPECT_EQ(trace, "");  // never inside async()

    g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(trace, "ab");
    runLoopFor(10ms);
    EXPECT_EQ(trace, "abc");

    queue.async([&] { trace += 'd'; });  // after the queue went idle
    runLoopFor(10ms);
    EXPECT_EQ(trace, "abcd");
}

TEST(GlibMainQueue, WorkOfAGoneQueueOrTimerNeverRuns) {
    int ran = 0;
    {
        GlibMainQueue queue;
        queue.async([&] { ++ran; });
    }
    GlibMainQueue queue;
    auto kept = queue.asyncAfter(2ms, [&] { ran += 10; });
    auto dropped = queue.asyncAfter(2ms, [&] { ran += 100; });
    dropped.reset();
    runLoopFor(20ms);
    EXPECT_EQ(ran, 10);
}

}  // namespace
}  // namespace plenhall::gtk
