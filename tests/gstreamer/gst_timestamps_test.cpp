// vandrelsrc's buffer times by the live-source convention: PTS the running
// time at which the frame arrived, also for frames that waited behind a
// blocked downstream, never going back over a pause or a flush; the camera's
// own time in a GstReferenceTimestampMeta.

#include "gstsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Seen
{
    guint64 offset;
    GstClockTime pts;
    guint64 cameraNs;
};

// Pulls n buffers, failing the test when one does not come.
std::vector<Seen> pullSeen(TestPipeline &p, int n)
{
    std::vector<Seen> out;
    for (int i = 0; i < n; ++i) {
        GstBuffer *b = p.pull();
        if (!b) {
            ADD_FAILURE() << "buffer " << i << " of " << n << " did not come";
            break;
        }
        EXPECT_TRUE(GST_BUFFER_PTS_IS_VALID(b));
        out.push_back({GST_BUFFER_OFFSET(b), GST_BUFFER_PTS(b), numbersOf(b).cameraTimeNs});
        gst_buffer_unref(b);
    }
    return out;
}

void expectInArrivalOrder(const std::vector<Seen> &seen, const char *what)
{
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GT(seen[i].offset, seen[i - 1].offset) << what << ", buffer " << i;
        EXPECT_GE(seen[i].pts, seen[i - 1].pts) << what << ", buffer " << i;
        // Two frames may share the camera's millisecond when its thread catches up.
        EXPECT_GE(seen[i].cameraNs, seen[i - 1].cameraNs) << what << ", buffer " << i;
    }
}

guint64 droppedOf(TestPipeline &p)
{
    guint64 dropped = 0;
    g_object_get(p.src, "dropped", &dropped, nullptr);
    return dropped;
}

GstClockTime runningTimeNow(TestPipeline &p)
{
    GstClock *clock = gst_element_get_clock(p.pipeline);
    const GstClockTime now = gst_clock_get_time(clock) - gst_element_get_base_time(p.pipeline);
    gst_object_unref(clock);
    return now;
}

// A camera of 100 frames/s behind a sink that holds two buffers and blocks.
class Blocked : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_object_set(p.sink, "max-buffers", 2u, "drop", FALSE, nullptr);
        ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    }
    // Waits until the element's queue is full behind the blocked sink.
    void waitForAFullQueue()
    {
        const guint64 before = droppedOf(p);
        ASSERT_TRUE(eventually([&] { return droppedOf(p) > before; }, 5s)) << "the queue never filled";
    }
    TestPipeline p{std::string("serial=") + kMono + " queue-size=8"};
};

} // namespace

TEST_F(Blocked, FramesThatWaitedKeepTheirArrivalTimes)
{
    const std::vector<Seen> first = pullSeen(p, 6);
    expectInArrivalOrder(first, "flowing");
    waitForAFullQueue();
    // The sink's two, then the eight that waited in the element.
    const std::vector<Seen> waited = pullSeen(p, 10);
    ASSERT_EQ(waited.size(), 10u);
    expectInArrivalOrder(waited, "after waiting");
    const GstClockTime now = runningTimeNow(p);
    for (const Seen &s : waited)
        EXPECT_LE(s.pts, now);
    // Stamped on arrival, the waiting frames are as far apart in running time
    // as by the camera's clock (10 ms); stamped when taken, they would be
    // microseconds apart.
    const double ptsSpan = double(waited.back().pts - waited.front().pts);
    const double cameraSpan = double(waited.back().cameraNs - waited.front().cameraNs);
    EXPECT_GT(ptsSpan, 0.5 * cameraSpan) << "PTS span " << ptsSpan / 1e6 << " ms, camera span " << cameraSpan / 1e6 << " ms";
    EXPECT_LT(ptsSpan, 1.5 * cameraSpan + 50e6) << "PTS span " << ptsSpan / 1e6 << " ms";
}

TEST_F(Blocked, RunningTimeNeverGoesBackOverAPauseAndTheFramesOfThePauseAreNotKept)
{
    std::vector<Seen> before = pullSeen(p, 6);
    waitForAFullQueue();
    ASSERT_NE(p.setState(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    // The length of the pause; nothing waits on it.
    std::this_thread::sleep_for(300ms);
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    const std::vector<Seen> after = pullSeen(p, 6);
    before.insert(before.end(), after.begin(), after.end());
    expectInArrivalOrder(before, "over the pause");
    // A live source makes no data while paused: frames of the pause were let
    // go, the camera's clock shows the gap.
    bool gap = false;
    for (std::size_t i = 1; i < before.size(); ++i)
        gap = gap || before[i].cameraNs - before[i - 1].cameraNs >= 250 * GST_MSECOND;
    EXPECT_TRUE(gap) << "frames of the pause came through";
}

TEST_F(Blocked, AFlushDropsWhatWaitedAndRunningTimeGoesOn)
{
    const std::vector<Seen> before = pullSeen(p, 4);
    waitForAFullQueue();
    ASSERT_TRUE(gst_element_send_event(p.src, gst_event_new_flush_start()));
    ASSERT_TRUE(gst_element_send_event(p.src, gst_event_new_flush_stop(FALSE)));
    const GstClockTime flushedAt = runningTimeNow(p);
    const std::vector<Seen> after = pullSeen(p, 4);
    ASSERT_FALSE(after.empty());
    // What waited in the sink and the element went with the flush.
    EXPECT_GE(after.front().pts + 20 * GST_MSECOND, flushedAt);
    std::vector<Seen> all = before;
    all.insert(all.end(), after.begin(), after.end());
    expectInArrivalOrder(all, "over the flush");
}

TEST(GstTimestamps, TheCameraTimeIsAReferenceTimestamp)
{
    TestPipeline p(std::string("serial=") + kMono);
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    GstCaps *reference = gst_caps_from_string(VANDREL_CAMERA_TIME_CAPS);
    GstClockTime last = 0;
    for (int i = 0; i < 5; ++i) {
        GstBuffer *b = p.pull();
        ASSERT_NE(b, nullptr);
        GstReferenceTimestampMeta *m = gst_buffer_get_reference_timestamp_meta(b, reference);
        ASSERT_NE(m, nullptr) << "no camera time on buffer " << i;
        EXPECT_EQ(m->timestamp, numbersOf(b).cameraTimeNs);
        EXPECT_FALSE(GST_CLOCK_TIME_IS_VALID(m->duration));
        if (i > 0) {
            EXPECT_GE(m->timestamp, last);
        }
        last = m->timestamp;
        gst_buffer_unref(b);
    }
    gst_caps_unref(reference);
}
