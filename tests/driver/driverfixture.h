#pragma once

// Shared set-up of the driver tests: a known simulated population, the
// plug-in's own object for discovery, and a thread-safe sink for frames.

#include "deadline.h"
#include "framelock.h"
#include "population.h"
#include "vandrel.h"
#include "vdsim.h"
#include "waituntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>

namespace drivertest {

// Colour and monochrome VD-XG cameras and one camera of another family.
// Software trigger mode, so nothing flows unless a test asks for frames.
inline QByteArray defaultPopulation()
{
    return Population()
        .add("VD-XG2K-C", "XGCOLOR00001", [](Population::Device &d) {
            typicalColourRanges(d);
            d.sensorWidth = 256;
            d.sensorHeight = 2048;
            d.frameHeight = 64;
            d.frameRate = 0;
            d.triggerMode = 1;
        })
        .add("VD-XG4K-M", "XGMONO000002", [](Population::Device &d) {
            d.sensorWidth = 512;
            d.sensorHeight = 1024;
            d.frameHeight = 32;
            typicalMonoRanges(d);
            d.lineTimeUs = 4.0;
            d.frameRate = 0;
            d.triggerMode = 1;
        })
        .add("VD-AC1300", "ACOTHER00003", [](Population::Device &d) {
            d.sensorWidth = 1280;
            d.sensorHeight = 1024;
            d.frameHeight = 1024;
            d.mono = true;
            d.exposureMax = 1000;
            d.frameRate = 0;
            d.triggerMode = 1;
        })
        .json();
}

inline const QString kColour = QStringLiteral("XGCOLOR00001");
inline const QString kMono = QStringLiteral("XGMONO000002");
inline const QString kOther = QStringLiteral("ACOTHER00003");


inline double simValue(const QString &serial, const char *key)
{
    double v = -1;
    EXPECT_EQ(VdSimGetValue(serial.toUtf8().constData(), key, &v), 0) << key;
    return v;
}

// Records every delivered frame; connected directly, so it runs on the
// SDK's frame thread under the camera's mutex. A delivery may still be under
// way when the sink goes (disconnecting does not wait for it), so what it
// writes lives as long as the receiver, and a closed sink takes nothing more.
class FrameSink
{
public:
    explicit FrameSink(CameraInterface *camera)
        : state(std::make_shared<State>())
    {
        connection = QObject::connect(camera, &CameraInterface::captureCompleted, camera,
                                      [s = state](ImageProcessData d) { add(*s, d); }, Qt::DirectConnection);
    }
    ~FrameSink()
    {
        QObject::disconnect(connection);
        std::lock_guard<std::mutex> g(state->lock);
        state->closed = true;
    }

    // A list of its own: a shared one would be detached by the next
    // delivery behind the reader's back, in ways TSan cannot follow.
    QList<ImageProcessData> frames() const
    {
        std::lock_guard<std::mutex> g(state->lock);
        QList<ImageProcessData> copy;
        copy.reserve(state->received.size());
        for (const ImageProcessData &d : state->received)
            copy.append(d);
        return copy;
    }
    int count() const
    {
        std::lock_guard<std::mutex> g(state->lock);
        return state->received.size();
    }
    ImageProcessData last() const
    {
        std::lock_guard<std::mutex> g(state->lock);
        return state->received.isEmpty() ? ImageProcessData() : state->received.last();
    }
    bool onCallerThread() const
    {
        std::lock_guard<std::mutex> g(state->lock);
        return state->sawCallerThread;
    }

private:
    struct State {
        std::mutex lock;
        QList<ImageProcessData> received;
        bool sawCallerThread = false;
        bool closed = false;
    };
    static void add(State &s, const ImageProcessData &d)
    {
        std::lock_guard<std::mutex> g(s.lock);
        if (s.closed)
            return;
        s.received.append(d);
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            s.sawCallerThread = true;
    }
    std::shared_ptr<State> state;
    QMetaObject::Connection connection;
};

class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VdSimConfigure(population().constData()), 0);
        VdSimResetCounters();
        releasedAtStart = VdSimReleasedHandleCalls();
        plugin = std::make_unique<CameraVandrel>();
    }
    void TearDown() override
    {
        cameras.clear();
        plugin.reset();
        EXPECT_EQ(VdSimOutstandingBuffers(), 0);
        EXPECT_EQ(VdSimReleasedHandleCalls(), releasedAtStart) << "an SDK call named a released handle";
    }
    virtual QByteArray population() const { return defaultPopulation(); }

    QVector<QString> enumerate()
    {
        int count = -1;
        QVector<QString> serials = plugin->enumerateCameras(count);
        lastCount = count;
        return serials;
    }

    // Enumerates and creates a camera; the fixture owns it.
    CameraVandrel *create(const QString &serial, int number = 0, bool enumerateFirst = true)
    {
        if (enumerateFirst)
            enumerate();
        auto *camera = static_cast<CameraVandrel *>(plugin->createCamera(number, serial, 0));
        cameras.emplace_back(camera);
        return camera;
    }

    // Pushes one frame through the camera's callback; true if a callback ran.
    static bool push(const QString &serial, const VdSimFrame *frame = nullptr)
    {
        return VdSimPushFrame(serial.toUtf8().constData(), frame) == 0;
    }

    std::unique_ptr<CameraVandrel> plugin;
    std::vector<std::unique_ptr<CameraVandrel>> cameras;
    int lastCount = -1;
    int releasedAtStart = 0;
};

// The colour camera open, loaded and numbering, for cases that call into it
// from its own callbacks. The deadline covers the teardown as well: a camera
// thread stuck in a delivery would hang the camera's destruction.
class RunningCameraTest : public DriverTest
{
protected:
    Deadline wholeCase{::testing::UnitTest::GetInstance()->current_test_info()->name(), 45000};
    CameraVandrel *camera = nullptr;
    void SetUp() override
    {
        DriverTest::SetUp();
        camera = create(kColour);
        ASSERT_TRUE(camera->opened);
        camera->load(QJsonObject());
        FrameLock guard(camera->frameMutex());
        camera->isRunning = true;
    }
};

} // namespace drivertest
