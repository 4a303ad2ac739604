// The link state's transitions on a clock the test sets, and the order the
// trigger sequencer keeps, on their own.

#include "linkstate.h"
#include "triggersequencer.h"
#include "waituntil.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

namespace {

const QDateTime kWall = QDateTime::fromMSecsSinceEpoch(1700000000000);

TEST(LinkModel, StallsOnlyWhileOpenAcquiringAndExpectingFrames)
{
    LinkModel m;
    m.setStallAfterMs(1000);
    m.frame(0, kWall);
    EXPECT_FALSE(m.stallDue(5000)) << "not acquiring yet";
    m.started(100);
    m.frame(200, kWall);
    EXPECT_FALSE(m.stallDue(1199));
    EXPECT_TRUE(m.stallDue(1200)) << "counted from the last frame";
    // A camera in trigger mode: look again one stall time later.
    m.notExpecting(1200);
    EXPECT_FALSE(m.stallDue(2199));
    ASSERT_TRUE(m.stallDue(2200));
    const auto stalled = m.stalled(2200, kWall);
    ASSERT_TRUE(stalled);
    EXPECT_EQ(stalled->kind, LinkEvent::Stalled);
    EXPECT_EQ(stalled->detail, QStringLiteral("no frame for 2.0 s while open and free-running, without a status message"));
    EXPECT_EQ(m.state(), LinkState::Stalled);
    EXPECT_FALSE(m.stalled(2300, kWall)) << "once";
    // A frame ends it.
    const auto back = m.frame(2400, kWall.addSecs(2));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, LinkEvent::Back);
    EXPECT_EQ(m.status().since, kWall.addSecs(2));
    EXPECT_EQ(m.status().stalls, 1);
    EXPECT_EQ(m.status().backs, 1);
    // Switched off, or stopped by the host: never.
    m.setStallAfterMs(0);
    EXPECT_FALSE(m.stallDue(100000));
    m.setStallAfterMs(1000);
    m.stopped();
    EXPECT_FALSE(m.stallDue(100000));
}

TEST(LinkModel, ALossIsOneEventAndBackIsReportedOnceWhoeverReopens)
{
    LinkModel m;
    m.setStallAfterMs(1000);
    m.started(0);
    const auto lost = m.lost(kWall);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->kind, LinkEvent::Lost);
    EXPECT_FALSE(m.lost(kWall)) << "a second report of the same loss";
    EXPECT_FALSE(m.stallDue(60000)) << "a lost camera does not also stall";
    // Frames of a closed camera cannot end a loss.
    EXPECT_FALSE(m.frame(100, kWall));
    EXPECT_EQ(m.state(), LinkState::Lost);
    const auto back = m.reopened(5000, kWall, QStringLiteral("reopened by the host's retry (restartCamera)"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->detail, QStringLiteral("reopened by the host's retry (restartCamera)"));
    // The driver's own CameraReconnect that follows is no second "back".
    EXPECT_FALSE(m.reopened(30000, kWall, QStringLiteral("CameraReconnect")));
    // The stall clock starts again at the reopening.
    EXPECT_FALSE(m.stallDue(5999));
    EXPECT_TRUE(m.stallDue(6000));
    // A stalled camera can still be lost.
    ASSERT_TRUE(m.stalled(6000, kWall));
    EXPECT_TRUE(m.lost(kWall));
    EXPECT_EQ(m.status().losses, 2);
    EXPECT_EQ(m.status().stalls, 1);
    EXPECT_EQ(m.status().backs, 1);
}

// A camera stand-in: records the triggers, and answers those the test lets it.
struct Triggered
{
    std::mutex lock;
    std::vector<std::pair<int, int>> sent;
    std::vector<std::function<void()>> hooks;
};

TEST(TriggerSequencer, EachTriggerWaitsForTheFrameOfTheOneBefore)
{
    Triggered t;
    TriggerSequencer seq(
        [&t](int p, int c, std::function<void()> hook) {
            std::lock_guard<std::mutex> g(t.lock);
            t.sent.emplace_back(p, c);
            t.hooks.push_back(std::move(hook));
        },
        10000);
    seq.submit(9, 1);
    seq.submit(9, 2);
    seq.submit(10, 1);
    EXPECT_EQ(t.sent, (std::vector<std::pair<int, int>>{{9, 1}}));
    EXPECT_EQ(seq.waiting(), 2);
    EXPECT_TRUE(seq.underWay());
    // The frame of (9, 1) arrives: its hook sends the next, on the frame's thread.
    t.hooks.at(0)();
    EXPECT_EQ(t.sent, (std::vector<std::pair<int, int>>{{9, 1}, {9, 2}}));
    // The hook stays installed and runs for later frames too: an old
    // trigger's hook is no answer to the one under way.
    t.hooks.at(0)();
    EXPECT_EQ(t.sent.size(), 2u);
    t.hooks.at(1)();
    t.hooks.at(2)();
    EXPECT_EQ(t.sent, (std::vector<std::pair<int, int>>{{9, 1}, {9, 2}, {10, 1}}));
    EXPECT_FALSE(seq.underWay());
    EXPECT_EQ(seq.timedOut(), 0u);
}

TEST(TriggerSequencer, ATriggerWithoutAFrameGivesWayAfterItsTime)
{
    Triggered t;
    std::function<void()> lastHook;
    auto seq = std::make_unique<TriggerSequencer>(
        [&t, &lastHook](int p, int c, std::function<void()> hook) {
            t.sent.emplace_back(p, c);
            lastHook = std::move(hook);
        },
        50);
    seq->submit(1, 1);
    seq->submit(2, 1);
    ASSERT_TRUE(waitUntil([&] { return t.sent.size() == 2; }, 3000));
    EXPECT_EQ(seq->timedOut(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !seq->underWay(); }, 3000));
    EXPECT_EQ(seq->timedOut(), 2u);
    // Cleared (a lost camera): nothing waits any more.
    seq->submit(3, 1);
    seq->submit(4, 1);
    seq->clear();
    EXPECT_EQ(seq->waiting(), 0);
    EXPECT_FALSE(seq->underWay());
    // A hook that outlives the sequencer does nothing.
    seq.reset();
    lastHook();
    EXPECT_EQ(t.sent.size(), 3u);
}

} // namespace
