// Two 16k-pixel line-scan cameras delivering as fast as the simulator can:
// the window stays responsive and memory stays bounded; and a person's
// edits while they stream go through. The figures are printed for the
// record.

#include "viewerfixture.h"
#include "residentmemory.h"

#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace viewertest;

namespace {

// Sanitizers keep freed memory in quarantine and slow every access several
// times over: resident size and latency say nothing there.
constexpr bool kFiguresMeaningful = !kUnderSanitizer;

constexpr int kTickMs = 10;

// Nanoseconds this thread has spent runnable but waiting for a CPU; -1 where
// the kernel does not say.
qint64 runQueueWaitNs()
{
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() >= 2 ? fields[1].toLongLong() : -1;
}

// How late a 10 ms timer fires while the event loop runs. A busy machine can
// keep any thread off the CPU, so each tick's lateness is also taken without
// the time the thread waited for a CPU: what remains is the viewer's own.
class LatencyProbe
{
public:
    LatencyProbe()
    {
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(kTickMs);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            const qint64 waited = runQueueWaitNs();
            const qint64 late = std::max<qint64>(0, now - last - kTickMs);
            lateness.push_back(late);
            if (waited >= 0 && lastWaited >= 0)
                ownLateness.push_back(std::max<qint64>(0, late - (waited - lastWaited) / 1000000));
            last = now;
            lastWaited = waited;
        });
        clock.start();
        lastWaited = runQueueWaitNs();
        ticker.start();
    }
    qint64 worst() const { return sorted(lateness).back(); }
    qint64 percentile(int p) const
    {
        const std::vector<qint64> s = sorted(lateness);
        return s[(s.size() - 1) * size_t(p) / 100];
    }
    // Without the waits for a CPU; the plain lateness where the kernel does not tell them.
    qint64 worstOwn() const { return ownLateness.empty() ? worst() : sorted(ownLateness).back(); }
    size_t ticks() const { return lateness.size(); }

private:
    static std::vector<qint64> sorted(std::vector<qint64> v)
    {
        if (v.empty())
            v.push_back(0);
        std::sort(v.begin(), v.end());
        return v;
    }
    QElapsedTimer clock;
    QTimer ticker;
    qint64 last = 0;
    qint64 lastWaited = -1;
    std::vector<qint64> lateness;
    std::vector<qint64> ownLateness;
};

} // namespace

class UnderLoad : public ViewerTest
{
protected:
    QByteArray population() const override
    {
        // 16384 x 512 monochrome frames, as fast as they are taken.
        auto wide = [](Population::Device &d) {
            d.sensorWidth = 16384;
            d.frameHeight = 512;
            d.mono = true;
            d.frameRate = 0;
        };
        return Population().add("VD-XG16K-M", "LOAD16K00001", wide).add("VD-XG16K-M", "LOAD16K00002", wide).json();
    }
    // Both cameras open, numbering every frame (no preview thinning), shown as strips.
    void openBoth()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        for (const QString &serial : {QStringLiteral("LOAD16K00001"), QStringLiteral("LOAD16K00002")}) {
            CameraSession *s = open(serial);
            ASSERT_NE(s, nullptr);
            s->setRunning(true);
            window->view(serial)->setStripMode(true);
            sessions.push_back(s);
        }
    }
    void printCameras()
    {
        for (CameraSession *s : sessions) {
            LiveView *v = window->view(s->serial());
            std::printf("  %s: received %llu frames (%.0f MB), taken %llu, painted %llu\n", qPrintable(s->serial()),
                        static_cast<unsigned long long>(s->sink()->received()),
                        double(s->sink()->receivedBytes()) / 1e6, static_cast<unsigned long long>(v->framesTaken()),
                        static_cast<unsigned long long>(v->framesPainted()));
        }
    }
    // Runs the event loop for `ms`, as the viewer's window runs it.
    static void run(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    std::vector<CameraSession *> sessions;
};

TEST_F(UnderLoad, TwoFastCamerasKeepTheEventLoopResponsiveAndMemoryBounded)
{
    constexpr int kRunMs = 5000;
    constexpr int kWarmMs = 1500;
    openBoth();
    LatencyProbe probe;
    qint64 warmPeak = 0;
    qint64 latePeak = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        qint64 &peak = clock.elapsed() < kWarmMs ? warmPeak : latePeak;
        peak = std::max(peak, residentKiB());
    });
    sampler.start();
    run(kRunMs);
    sampler.stop();

    std::printf("under load, %d ms: event-loop lateness max %lld ms (%lld ms without waits for a CPU), "
                "99th percentile %lld ms, median %lld ms (%zu ticks of %d ms)\n",
                kRunMs, static_cast<long long>(probe.worst()), static_cast<long long>(probe.worstOwn()),
                static_cast<long long>(probe.percentile(99)), static_cast<long long>(probe.percentile(50)),
                probe.ticks(), kTickMs);
    printCameras();
    std::printf("  resident memory: peak %lld KiB in the first %d ms, %lld KiB after\n",
                static_cast<long long>(warmPeak), kWarmMs, static_cast<long long>(latePeak));
    std::fflush(stdout);

    EXPECT_GT(probe.ticks(), 50u);
    if (kFiguresMeaningful) {
        EXPECT_LT(probe.worstOwn(), 100) << "the event loop stalled";
        EXPECT_LT(probe.percentile(99), 100) << "the event loop was slow throughout";
    }
    for (CameraSession *s : sessions) {
        LiveView *v = window->view(s->serial());
        EXPECT_GT(s->sink()->received(), 20u) << "the cameras were meant to be fast";
        EXPECT_GT(v->framesPainted(), 10u) << "the views were meant to keep painting";
        // Frames came faster than the screen repaints: counted and replaced, not queued.
        EXPECT_LT(v->framesPainted(), s->sink()->received());
    }
    if (kFiguresMeaningful) {
        EXPECT_LT(latePeak - warmPeak, 48 * 1024) << "resident memory grew from " << warmPeak << " KiB to " << latePeak
                                                  << " KiB";
    }
}

// paramsChanged, setTrigParams and softTrigger take the frame mutex, which a
// camera delivering back to back holds almost all the time; they must still
// get through, and the numbering must follow the grouping.
TEST_F(UnderLoad, EditsGroupingTriggersAndApplyGoThroughWhileFramesStream)
{
    openBoth();
    CameraSession *s = window->editor()->session();
    ASSERT_NE(s, nullptr);
    QSpinBox *gain = nullptr;
    for (QWidget *row : window->editor()->rows())
        if (auto *label = row->findChild<QLabel *>(); label && label->text() == QStringLiteral("模拟增益"))
            gain = row->findChild<QSpinBox *>();
    ASSERT_NE(gain, nullptr);
    auto *gainValue = static_cast<qint32 *>(
        static_cast<LineEditCameraParam *>(descriptors(s)[window->editor()->rows().indexOf(gain->parentWidget())])->value);

    LatencyProbe probe;
    qint64 slowest[4] = {0, 0, 0, 0};
    int step = 0;
    QTimer person;
    person.setInterval(200);
    QObject::connect(&person, &QTimer::timeout, [&] {
        QElapsedTimer took;
        took.start();
        const int kind = step++ % 4;
        switch (kind) {
        case 0:
            gain->setValue(gain->value() == gain->minimum() ? gain->maximum() : gain->minimum());
            break;
        case 1: {
            CameraTrigParams t;
            t.trigKind = 1;
            t.capturesPerProduct = 3;
            t.productsPerCycle = 2;
            s->setGrouping(t);
            break;
        }
        case 2:
            s->softTrigger(step, 1);
            break;
        default:
            s->apply();
            break;
        }
        slowest[kind] = std::max(slowest[kind], took.elapsed());
    });
    person.start();
    run(3000);
    person.stop();
    const int gainShown = gain->value();
    run(200);  // frames numbered after the last grouping

    std::printf("edits while streaming: %d operations; slowest edit with paramsChanged %lld ms, setTrigParams %lld ms, "
                "softTrigger %lld ms, Apply (load) %lld ms; event-loop lateness max %lld ms (%lld ms without waits "
                "for a CPU), 99th percentile %lld ms\n",
                step, static_cast<long long>(slowest[0]), static_cast<long long>(slowest[1]),
                static_cast<long long>(slowest[2]), static_cast<long long>(slowest[3]),
                static_cast<long long>(probe.worst()), static_cast<long long>(probe.worstOwn()),
                static_cast<long long>(probe.percentile(99)));
    printCameras();
    std::fflush(stdout);

    EXPECT_GE(step, 8);
    EXPECT_EQ(*gainValue, gainShown) << "the editor shows what the camera holds";
    const ImageProcessData &last = window->view(s->serial())->lastFrame();
    EXPECT_GE(last.captureIndex, 1);
    EXPECT_LE(last.captureIndex, 3);
    EXPECT_GE(last.productCycleIndex, 1);
    EXPECT_LE(last.productCycleIndex, 2);
    EXPECT_GT(last.productID, 0);
    for (CameraSession *c : sessions)
        EXPECT_GT(window->view(c->serial())->framesPainted(), 10u);
}
