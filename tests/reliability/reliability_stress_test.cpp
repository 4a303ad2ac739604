// Several cameras stream as fast as the simulator delivers while the owning
// thread runs a seeded random mix of host operations and a second thread
// breaks links, unplugs devices and fails SDK calls. In the re-entrant case,
// receivers connected directly to captureCompleted, the trigger hook and the
// CameraLoss and CameraReconnect receivers call the camera's operations too,
// and a host holding frameMutex() closes a camera whose link it has just
// broken while the CameraLoss receiver waits for that mutex in paramsChanged.
// A watchdog ends the run, printing every thread's stack, when an operation
// or a callback has not returned within 5 s. Resident memory is sampled
// throughout; a run of 8 s or more fails when it rises steadily over the
// last half (see kSlopeLimit) or ends far above its level after warm-up.
//
//   VANDREL_STRESS_SECONDS  duration of each case (default 20)
//   VANDREL_STRESS_SEED     seed of the random sequences (default: from the clock)

#include "driverfixture.h"
#include "memorytrend.h"
#include "residentmemory.h"
#include "stackdump.h"

#include <QJsonArray>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace drivertest;

namespace {

constexpr int kFrameWidth = 256;
constexpr int kFrameHeight = 16;

// Two colour and two monochrome VD-XG cameras of small frames, streaming as
// fast as frames are taken, and one camera of another family.
QByteArray stressPopulation()
{
    auto streaming = [](Population::Device &d) {
        d.sensorWidth = 256;
        d.frameHeight = 16;
        d.frameRate = 0;
    };
    return Population()
        .add("VD-XG2K-C", "XGSTRESSC001", [&](Population::Device &d) {
            streaming(d);
            typicalColourRanges(d);
            d.sensorHeight = 1024;
        })
        .add("VD-XG2K-C", "XGSTRESSC002", [&](Population::Device &d) {
            streaming(d);
            typicalColourRanges(d);
            d.sensorHeight = 512;
            d.lineTimeUs = 3.0;
        })
        .add("VD-XG4K-M", "XGSTRESSM003", [&](Population::Device &d) {
            streaming(d);
            typicalMonoRanges(d);
            d.sensorHeight = 1024;
            d.lineTimeUs = 4.0;
        })
        .add("VD-XG4K-M", "XGSTRESSM004", [&](Population::Device &d) {
            streaming(d);
            typicalMonoRanges(d);
            d.sensorHeight = 256;
            d.lineTimeUs = 1.0;
        })
        .add("VD-AC1300", "ACSTRESS0005", [&](Population::Device &d) {
            streaming(d);
            d.sensorHeight = 256;
            d.mono = true;
            d.exposureMax = 1000;
        })
        .json();
}

const std::array<const char *, 5> kSerials = {"XGSTRESSC001", "XGSTRESSC002", "XGSTRESSM003", "XGSTRESSM004",
                                                "ACSTRESS0005"};
constexpr int kCameraSlots = 4;  // the VD-XG ones

// SDK functions whose failure the driver must survive. VdUnInit and
// VdReleaseImageBuffer are left out: the driver relies on them succeeding and
// has nothing to fall back on, so a planned failure there only leaks in the
// simulator, which is not the driver's fault.
const std::array<const char *, 17> kFailable = {
    "VdSdkInit",        "VdEnumerateDevice",     "VdInit",          "VdSetConnectionStatusCallback",
    "VdSetCallbackFunction", "VdGetCapability",  "VdGetImageResolution", "VdGetExposureLineTime",
    "VdPlay",           "VdStop",                "VdImageProcess",  "VdSetMediaType",
    "VdSetIspOutFormat", "VdSetExposureTime",    "VdSoftTrigger",   "VdSetTriggerMode",
    "VdGetTriggerMode"};
const std::array<int, 5> kFailStatuses = {VD_ERR_BUSY, VD_ERR_LINK_DOWN, VD_ERR_INTERNAL, VD_ERR_BAD_HANDLE, 7};

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

// What one camera object delivered, checked on the frame thread. The fields
// without atomics are touched only under the camera's frame mutex.
struct Track {
    // Receivers call the camera's operations: frames may come in either
    // format and with any numbers, and closes and reopens happen anywhere.
    bool reentrant = false;
    // Host closed the camera and has not asked for a reopen since.
    std::atomic<bool> hostClosed{false};
    // Odd while a host operation that may restart acquisition (and so the
    // simulator's frame ids) is running; bumped before and after it.
    std::atomic<unsigned> streamEpoch{0};
    // Same, around an operation that may preset the product counters.
    std::atomic<unsigned> numberingEpoch{0};

    // What the camera was last seen to apply, copied by the owning thread
    // under the frame mutex once an operation has returned. The driver reads
    // its own copies without that mutex, so a frame checked while the epoch
    // around the operation is odd may carry either the old or the new value.
    int matType = -1;
    int trigKind = 1;
    int autoCount = 0;
    int capturesPerProduct = 1;

    bool haveStamp = false;
    unsigned stampEpoch = 0;
    quint32 lastStamp = 0;
    bool haveProduct = false;
    unsigned productEpoch = 0;
    int lastProduct = 0;

    std::atomic<long> frames{0};
    std::atomic<long> afterClose{0};
    std::atomic<long> badStamp{0};
    std::atomic<long> badSize{0};
    std::atomic<long> badNumbering{0};
    std::atomic<long> hookCalls{0};
};

// Operations and callbacks under way, with their start: the watchdog's view.
class InFlight
{
public:
    class Scope
    {
    public:
        Scope(InFlight &registry, const char *what) : registry(registry)
        {
            std::lock_guard<std::mutex> g(registry.lock);
            id = ++registry.nextId;
            registry.running[id] = {what, std::chrono::steady_clock::now()};
        }
        ~Scope()
        {
            std::lock_guard<std::mutex> g(registry.lock);
            registry.running.erase(id);
        }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        InFlight &registry;
        long id = 0;
    };

    // The oldest entry older than the limit, or null.
    const char *overdue(std::chrono::milliseconds limit)
    {
        std::lock_guard<std::mutex> g(lock);
        const auto now = std::chrono::steady_clock::now();
        for (const auto &r : running)
            if (now - r.second.second > limit)
                return r.second.first;
        return nullptr;
    }

private:
    std::mutex lock;
    long nextId = 0;
    std::map<long, std::pair<const char *, std::chrono::steady_clock::time_point>> running;
};

InFlight *inFlight = nullptr;

std::mutex receiverGate;
void passGate()
{
    std::lock_guard<std::mutex> g(receiverGate);
}

// What the re-entrant callbacks of one camera object share with the test.
// The host's own edits of parameter values are plain writes: the test makes
// them holding `edits` and the frame mutex, and so do its CameraLoss
// receivers whatever they call, as a host that edits while its receivers
// read the values must.
struct Reentry {
    std::atomic<bool> active{true};
    std::atomic<quint64> draws{0};
    quint64 seed = 0;
    std::mutex edits;
    QJsonObject saved;  // written before the receivers are connected
    std::atomic<long> calls{0};
    // Set while a host holding the frame mutex breaks the link and closes:
    // the CameraLoss receiver then calls paramsChanged, and says so first.
    std::atomic<bool> lossCallsParamsChanged{false};
    std::atomic<bool> lossReceiverWaiting{false};

    // A random number below n, from any thread.
    int below(int n)
    {
        quint64 z = seed + 0x9e3779b97f4a7c15ull * ++draws;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return int((z ^ (z >> 31)) % quint64(n));
    }
};

struct Totals {
    std::atomic<long> frames{0};
    std::atomic<long> afterClose{0};
    std::atomic<long> badStamp{0};
    std::atomic<long> badSize{0};
    std::atomic<long> badNumbering{0};
    std::atomic<long> losses{0};
    std::atomic<long> reconnections{0};
    std::atomic<long> warnings{0};
    std::atomic<long> reentrantCalls{0};
    QMutex firstErrorsLock;
    QStringList firstErrors;

    void error(const QString &text)
    {
        QMutexLocker g(&firstErrorsLock);
        if (firstErrors.size() < 20)
            firstErrors << text;
    }
};

Totals *totals = nullptr;

// Set on a frame thread when the SDK failed to process its frame: the frame
// is still delivered, with whatever the reused buffer held, so its stamp
// proves nothing.
thread_local bool processingFailed = false;

void countingHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (totals && type >= QtWarningMsg)
        ++totals->warnings;
    if (text.startsWith(QLatin1String("VdImageProcess failed")))
        processingFailed = true;
}

// Runs on the frame thread with the camera's frame mutex held.
void checkFrame(CameraVandrel *camera, Track &t, const ImageProcessData &d)
{
    ++t.frames;
    ++totals->frames;
    const QString who = camera->serialNumber;
    if (t.reentrant) {
        const cv::Mat &m = d.image;
        if (m.rows != kFrameHeight || m.cols != kFrameWidth || (m.type() != CV_8UC1 && m.type() != CV_8UC3)) {
            ++t.badSize;
            ++totals->badSize;
            totals->error(QStringLiteral("%1: image %2x%3 type %4").arg(who).arg(m.cols).arg(m.rows).arg(m.type()));
        }
        return;
    }
    if (t.hostClosed) {
        ++t.afterClose;
        ++totals->afterClose;
        totals->error(who + QStringLiteral(": frame after closeCamera returned"));
    }

    const cv::Mat &m = d.image;
    // A mono sensor may still stream colour when the capability query failed
    // at open, so the type is checked against the camera's own format.
    const bool formatSettled = (t.streamEpoch.load() & 1u) == 0;
    const bool typeOk = (m.type() == CV_8UC1 || m.type() == CV_8UC3) && (!formatSettled || m.type() == t.matType);
    if (m.rows != kFrameHeight || m.cols != kFrameWidth || !typeOk || !m.isContinuous()) {
        ++t.badSize;
        ++totals->badSize;
        totals->error(QStringLiteral("%1: image %2x%3 type %4").arg(who).arg(m.cols).arg(m.rows).arg(m.type()));
        return;
    }

    const quint32 stamp = quint32(m.data[0]) | quint32(m.data[1]) << 8 | quint32(m.data[2]) << 16
                          | quint32(m.data[3]) << 24;
    const unsigned se = t.streamEpoch.load();
    if (processingFailed) {
        processingFailed = false;
        t.haveStamp = false;
    } else {
        if (stamp == 0 || (t.haveStamp && t.stampEpoch == se && stamp <= t.lastStamp)) {
            ++t.badStamp;
            ++totals->badStamp;
            totals->error(QStringLiteral("%1: stamp %2 after %3").arg(who).arg(stamp).arg(t.lastStamp));
        }
        t.haveStamp = (se & 1u) == 0;
        t.stampEpoch = se;
        t.lastStamp = stamp;
    }

    bool numberingOk = true;
    if (!camera->isRunning) {
        numberingOk = d.productID == 0 && d.captureIndex == 1 && d.productCycleIndex == 1;
    } else {
        const bool counting = !(t.trigKind == 32 && t.autoCount <= 0);
        const unsigned ne = t.numberingEpoch.load();
        if (counting && (ne & 1u) == 0) {
            numberingOk = d.captureIndex >= 1 && d.captureIndex <= qMax(1, t.capturesPerProduct)
                          && d.productCycleIndex >= 1;
        }
        if (t.haveProduct && t.productEpoch == ne && d.productID < t.lastProduct)
            numberingOk = false;
        t.haveProduct = (ne & 1u) == 0;
        t.productEpoch = ne;
        t.lastProduct = d.productID;
    }
    if (!numberingOk) {
        ++t.badNumbering;
        ++totals->badNumbering;
        totals->error(QStringLiteral("%1: numbering %2/%3/%4 running %5 kind %6 captures %7")
                          .arg(who).arg(d.productID).arg(d.captureIndex).arg(d.productCycleIndex)
                          .arg(camera->isRunning).arg(t.trigKind).arg(t.capturesPerProduct));
    }
}

constexpr int kReentrantOneIn = 16;  // callbacks that call an operation

// A sustained rise of resident memory over the last half of a run: a fitted
// slope above kSlopeLimit that also adds up to more than kRiseFloor over that
// half and goes on through each of its thirds. A leak of a few hundred
// bytes per camera session rose about 2 MiB/min here; the allocator keeps
// arenas it grew in steps of about 1 MiB, and a pool grows once for a
// bigger frame, which a short window must not take for a slope.
constexpr double kSlopeLimit = 1.0;  // MiB per minute
constexpr double kRiseFloor = 4.0;   // MiB

std::function<void()> reentrantHook(CameraVandrel *camera, const std::shared_ptr<Reentry> &r);

// One operation, chosen at random, of those a callback may call; run by
// receivers connected directly to captureCompleted, by the trigger hook and
// by the link receivers.
void reentrantCall(CameraVandrel *camera, const std::shared_ptr<Reentry> &r)
{
    if (!r->active || r->below(kReentrantOneIn) != 0)
        return;
    ++r->calls;
    ++totals->reentrantCalls;
    switch (r->below(12)) {
    case 0:
        // Rare, so that cameras spend most of the time streaming.
        if (r->below(6) == 0)
            camera->closeCamera();
        break;
    case 1:
        if (r->below(3) == 0)
            camera->restartCamera();
        break;
    case 2:
        camera->softTrigger(r->below(1000), r->below(4), reentrantHook(camera, r));
        break;
    case 3: {
        CameraTrigParams trig;
        trig.trigKind = r->below(3) == 0 ? 32 : 4;
        trig.capturesPerProduct = r->below(5) - 1;
        trig.productsPerCycle = r->below(4) - 1;
        trig.cycleTimeout = r->below(3) == 0 ? 1 + r->below(50) : 0;
        trig.autoCount = r->below(2);
        camera->setTrigParams(&trig);
        break;
    }
    case 4:
        camera->selectExposure(r->below(6) - 2);
        break;
    case 5:
        camera->setContinueCapture(true);
        break;
    case 6:
        camera->isContinueCapture();
        break;
    case 7:
        camera->load(r->below(2) ? r->saved : QJsonObject());
        break;
    case 8: {
        QJsonObject j;
        camera->save(j);
        break;
    }
    case 9:
        camera->saveSnapshot();
        break;
    case 10:
        camera->restoreSnapshot();
        break;
    default:
        // The misuse from a frame thread: a warning, no hang.
        camera->paramsChanged();
        break;
    }
}

std::function<void()> reentrantHook(CameraVandrel *camera, const std::shared_ptr<Reentry> &r)
{
    return [camera, r] {
        InFlight::Scope scope(*inFlight, "trigger hook");
        reentrantCall(camera, r);
    };
}

enum Op {
    OpParamsChanged,
    OpSoftTrigger,
    OpSetTrigParams,
    OpSelectExposure,
    OpSetContinueCapture,
    OpSaveLoad,
    OpLoadOdd,
    OpSnapshot,
    OpRestart,
    OpClose,
    OpReconnectTick,
    OpDestroy,
    OpCreate,
    OpCreateBad,
    OpEnumerate,
    OpToggleRunning,
    OpExposureCount,
    OpQueries,
    OpCloseHoldingFrameMutex,
    OpCount
};

const char *opName(int op)
{
    static const char *names[OpCount] = {
        "paramsChanged", "softTrigger", "setTrigParams", "selectExposure", "setContinueCapture", "save+load",
        "load(odd json)", "saveSnapshot/restoreSnapshot", "restartCamera", "closeCamera", "reconnectTick",
        "destroy", "create", "createCamera(bad arguments)", "enumerateCameras", "isRunning toggle",
        "setExposureConfigCount", "queries", "closeCamera holding frameMutex()"};
    return names[op];
}

struct Slot {
    QString serial;
    std::unique_ptr<CameraVandrel> camera;
    std::shared_ptr<Track> track;
    std::shared_ptr<Reentry> reentry;  // re-entrant case only
    CameraTrigParams trig;
    QJsonObject saved;
    // Simulator's delivery count when the host closed or destroyed the
    // camera; it must not move until the host reopens or creates one.
    double deliveredAtClose = -1;
};

double delivered(const QString &serial)
{
    double v = -1;
    VdSimGetValue(serial.toUtf8().constData(), "framesDelivered", &v);
    return v;
}

class Stress : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VdSimConfigure(stressPopulation().constData()), 0);
        VdSimResetCounters();
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
        totals = &counts;
        inFlight = &running;
        previousHandler = qInstallMessageHandler(countingHandler);
        plugin = std::make_unique<CameraVandrel>();
    }
    void TearDown() override
    {
        qInstallMessageHandler(previousHandler);
        totals = nullptr;
        inFlight = nullptr;
    }

    void run(bool reentrantCase);

    // Runs an operation that may restart acquisition or change the format,
    // then records what the camera applied.
    template <typename F>
    void streamChange(Slot &s, F &&f)
    {
        ++s.track->streamEpoch;
        f();
        if (s.camera) {
            QMutexLocker g(s.camera->frameMutex());
            s.track->matType = s.camera->matType;
        }
        ++s.track->streamEpoch;
    }

    // Same for the trigger settings and the counters. Taking the frame mutex
    // also waits out a delivery numbered before the operation.
    template <typename F>
    void numberingChange(Slot &s, F &&f)
    {
        ++s.track->numberingEpoch;
        f();
        {
            std::unique_lock<std::mutex> edits;
            if (s.reentry)
                edits = std::unique_lock<std::mutex>(s.reentry->edits);
            QMutexLocker g(s.camera->frameMutex());
            const CameraTrigParams *p = s.camera->trigParams;
            s.track->trigKind = p->trigKind;
            s.track->autoCount = p->autoCount;
            s.track->capturesPerProduct = p->capturesPerProduct;
        }
        ++s.track->numberingEpoch;
    }

    void setRunning(Slot &s, bool running)
    {
        QMutexLocker g(s.camera->frameMutex());
        s.camera->isRunning = running;
    }

    void checkStillClosed(Slot &s)
    {
        // Receivers may reopen what the owning thread closed.
        if (reentrant || s.deliveredAtClose < 0)
            return;
        const double now = delivered(s.serial);
        EXPECT_EQ(now, s.deliveredAtClose) << s.serial.toStdString() << ": SDK delivered frames after "
                                          << (s.camera ? "closeCamera" : "destruction") << " returned";
        s.deliveredAtClose = now;
    }

    void create(Slot &s, int number)
    {
        checkStillClosed(s);
        s.deliveredAtClose = -1;
        s.track = std::make_shared<Track>();
        auto *camera = static_cast<CameraVandrel *>(plugin->createCamera(number, s.serial, random.bounded(3)));
        s.camera.reset(camera);
        std::shared_ptr<Track> track = s.track;
        track->reentrant = reentrant;
        s.reentry.reset();
        std::shared_ptr<Reentry> r;
        if (reentrant) {
            r = std::make_shared<Reentry>();
            r->seed = random.generate64();
            r->saved = s.saved;
            s.reentry = r;
        }
        // The camera's threads run from createCamera on, and a loss may
        // reach a receiver as soon as it is connected. Qt publishes a new
        // connection inside its own library, where TSan cannot see it; the
        // gate, held while connecting and passed by every receiver first,
        // shows it that order.
        std::unique_lock<std::mutex> connecting(receiverGate);
        QObject::connect(camera, &CameraInterface::captureCompleted, camera,
                         [camera, track, r](ImageProcessData d) {
                             passGate();
                             InFlight::Scope scope(*inFlight, "captureCompleted receiver");
                             checkFrame(camera, *track, d);
                             if (r)
                                 reentrantCall(camera, r);
                         },
                         Qt::DirectConnection);
        QObject::connect(camera, &CameraInterface::CameraLoss, camera, [camera, r] {
            passGate();
            InFlight::Scope scope(*inFlight, "CameraLoss receiver");
            ++totals->losses;
            if (r) {
                std::lock_guard<std::mutex> edits(r->edits);
                if (r->lossCallsParamsChanged) {
                    ++r->calls;
                    ++totals->reentrantCalls;
                    r->lossReceiverWaiting = true;
                    camera->paramsChanged();
                } else {
                    reentrantCall(camera, r);
                }
            }
        }, Qt::DirectConnection);
        QObject::connect(camera, &CameraInterface::CameraReconnect, camera, [camera, r] {
            passGate();
            InFlight::Scope scope(*inFlight, "CameraReconnect receiver");
            ++totals->reconnections;
            if (r)
                reentrantCall(camera, r);
        }, Qt::DirectConnection);
        connecting.unlock();
        streamChange(s, [&] {
            camera->load(s.saved);
            camera->setContinueCapture(true);
            if (r)
                camera->softTrigger(0, 0, reentrantHook(camera, r));
        });
        setRunning(s, random.bounded(5) != 0);
    }

    // A host that keeps the frame mutex around its own bookkeeping closes
    // the camera, on the owning thread or on another of its threads. In the
    // re-entrant case the link drops first and the CameraLoss receiver calls
    // paramsChanged, which waits for the mutex held here: neither the close
    // nor the receiver may wait for the other for good.
    void closeHoldingFrameMutex(Slot &s)
    {
        CameraVandrel *c = s.camera.get();
        const std::shared_ptr<Reentry> r = s.reentry;
        const QByteArray serial = s.serial.toUtf8();
        const bool lose = r && c->opened;
        const unsigned int powerLost = random.bounded(2);
        const bool onOwningThread = random.bounded(2) == 0;
        auto holdAndClose = [&] {
            QMutexLocker held(c->frameMutex());
            if (lose) {
                r->lossReceiverWaiting = false;
                r->lossCallsParamsChanged = true;
                VdSimLinkLost(serial.constData(), powerLost);
                // No loss is heard when a planned failure kept the status
                // callback from being registered. No events are run while
                // the mutex is held: a reconnect tick's receivers could call
                // paramsChanged on this very thread.
                QElapsedTimer waited;
                waited.start();
                while (!r->lossReceiverWaiting && waited.elapsed() < 1000)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++lossesTried;
                if (r->lossReceiverWaiting)
                    ++lossesAgainstHeldMutex;
            }
            c->closeCamera();
        };
        if (onOwningThread) {
            holdAndClose();
        } else {
            std::thread other(holdAndClose);
            other.join();
        }
        if (lose) {
            r->lossCallsParamsChanged = false;
            VdSimLinkRestored(serial.constData());
        }
        s.track->hostClosed = true;
        s.deliveredAtClose = delivered(s.serial);
    }

    void destroy(Slot &s)
    {
        s.camera.reset();
        s.deliveredAtClose = delivered(s.serial);
    }

    void randomParams(Slot &s)
    {
        CameraVandrel *c = s.camera.get();
        std::unique_lock<std::mutex> edits;
        std::unique_ptr<QMutexLocker> frames;
        if (s.reentry) {
            edits = std::unique_lock<std::mutex>(s.reentry->edits);
            frames = std::make_unique<QMutexLocker>(c->frameMutex());
        }
        switch (random.bounded(4)) {
        case 0:
            c->imageWidth = random.bounded(-100, 600);
            c->roiX = random.bounded(-50, 400);
            break;
        case 1:
            c->imageHeight = random.bounded(-100, 1500);
            c->roiY = random.bounded(-50, 1200);
            break;
        case 2:
            c->analogGain = random.bounded(-5, 100);
            c->gamma = random.bounded(-5, 500);
            c->contrast = random.bounded(-5, 400);
            c->sharpness = random.bounded(-5, 20);
            break;
        default:
            c->currentExposureIndex = random.bounded(-2, 6);
            c->debounceTime = random.bounded(-10, 3000000);
            c->packetInterval = random.bounded(-10, 1000);
            c->colorImage = random.bounded(2) == 1;
            break;
        }
    }

    void randomTrig(CameraTrigParams &t)
    {
        t.trigKind = random.bounded(3) == 0 ? 32 : 4;
        t.capturesPerProduct = random.bounded(-1, 5);
        t.productsPerCycle = random.bounded(-1, 4);
        t.cycleTimeout = random.bounded(3) == 0 ? random.bounded(1, 50) : 0;
        t.autoCount = random.bounded(2);
        t.extraParams.clear();
        if (random.bounded(2))
            t.extraParams.insert(QStringLiteral("k"), random.bounded(100));
    }

    QJsonObject oddJson()
    {
        switch (random.bounded(4)) {
        case 0:
            return QJsonObject();
        case 1:
            return QJsonObject{{QStringLiteral("paramsWrap"), 42}};
        case 2: {
            const QJsonArray wrap{QJsonObject{{QStringLiteral("values"), QStringLiteral("yes")}}, 7,
                                  QJsonObject{{QStringLiteral("selectedIndex"), -7}}};
            return QJsonObject{{QStringLiteral("paramsWrap"), wrap}};
        }
        default: {
            // Saved settings with some values replaced by numbers out of any range.
            QJsonObject j = saved;
            QJsonArray wrap = j.value(QStringLiteral("paramsWrap")).toArray();
            for (int i = 0; i < wrap.size(); ++i) {
                if (random.bounded(3) != 0)
                    continue;
                QJsonObject item = wrap.at(i).toObject();
                item.insert(item.contains(QStringLiteral("selectedIndex")) ? QStringLiteral("selectedIndex")
                                                                            : QStringLiteral("values"),
                            random.bounded(-3000, 3000));
                wrap.replace(i, item);
            }
            j.insert(QStringLiteral("paramsWrap"), wrap);
            return j;
        }
        }
    }

    void runOp(Slot &s, int op, int index)
    {
        CameraVandrel *c = s.camera.get();
        switch (op) {
        case OpParamsChanged:
            randomParams(s);
            c->paramsChanged();
            break;
        case OpSoftTrigger: {
            std::shared_ptr<Track> track = s.track;
            numberingChange(s, [&] {
                c->softTrigger(random.bounded(0, 100000), random.bounded(0, 5), [track] { ++track->hookCalls; });
            });
            break;
        }
        case OpSetTrigParams:
            randomTrig(s.trig);
            numberingChange(s, [&] { c->setTrigParams(random.bounded(20) == 0 ? nullptr : &s.trig); });
            break;
        case OpSelectExposure:
            c->selectExposure(random.bounded(-2, 6));
            break;
        case OpSetContinueCapture:
            c->setContinueCapture(random.bounded(2) == 1);
            break;
        case OpSaveLoad: {
            QJsonObject j;
            c->save(j);
            streamChange(s, [&] { c->load(j); });
            saved = j;
            break;
        }
        case OpLoadOdd: {
            const QJsonObject j = oddJson();
            streamChange(s, [&] { c->load(j); });
            break;
        }
        case OpSnapshot:
            if (random.bounded(2))
                c->saveSnapshot();
            else
                streamChange(s, [&] { c->restoreSnapshot(); });
            break;
        case OpRestart:
            s.track->hostClosed = false;
            s.deliveredAtClose = -1;
            streamChange(s, [&] { c->restartCamera(); });
            break;
        case OpClose:
            c->closeCamera();
            s.track->hostClosed = true;
            s.deliveredAtClose = delivered(s.serial);
            break;
        case OpReconnectTick:
            s.track->hostClosed = false;
            s.deliveredAtClose = -1;
            streamChange(s, [&] { c->reconnectTick(); });
            break;
        case OpDestroy:
            destroy(s);
            break;
        case OpCreate:
            break;  // handled by the caller
        case OpCreateBad: {
            static const QString bad[] = {QString(), QStringLiteral("XG"), QStringLiteral("12345678"),
                                          QStringLiteral("NOSUCHSERIAL9"), QStringLiteral("XGSTRESSC001 ")};
            std::unique_ptr<CameraInterface> odd(
                plugin->createCamera(random.bounded(-5, 100), bad[random.bounded(5)], random.bounded(-3, 3)));
            EXPECT_EQ(odd->cameraSerial(), QStringLiteral("-1"));
            Q_UNUSED(index);
            break;
        }
        case OpEnumerate: {
            int count = 0;
            plugin->enumerateCameras(count);
            break;
        }
        case OpToggleRunning:
            setRunning(s, !c->isRunning);
            break;
        case OpExposureCount:
            c->setExposureConfigCount(random.bounded(0, 5));
            break;
        case OpCloseHoldingFrameMutex:
            closeHoldingFrameMutex(s);
            break;
        case OpQueries:
            c->blankImage();
            c->imageSize();
            c->channels();
            c->cameraSerial();
            c->isContinueCapture();
            break;
        default:
            break;
        }
    }

    // The simulator side: links, plugs and planned failures.
    void chaos(quint32 seed, std::atomic<bool> &stop, std::map<std::string, long> &done)
    {
        QRandomGenerator r(seed ^ 0x5bd1e995u);
        std::array<bool, kSerials.size()> lost{};
        std::array<bool, kSerials.size()> detached{};
        while (!stop) {
            const int i = r.bounded(int(kSerials.size()));
            const char *serial = kSerials[size_t(i)];
            switch (r.bounded(6)) {
            case 0:
                if (!lost[size_t(i)]) {
                    VdSimLinkLost(serial, r.bounded(2));
                    lost[size_t(i)] = true;
                    ++done["link lost"];
                } else {
                    VdSimLinkRestored(serial);
                    lost[size_t(i)] = false;
                    ++done["link restored"];
                }
                break;
            case 1:
                VdSimSetAttached(serial, detached[size_t(i)] ? 1 : 0);
                detached[size_t(i)] = !detached[size_t(i)];
                ++done[detached[size_t(i)] ? "detached" : "attached"];
                break;
            default:
                VdSimFailNext(kFailable[size_t(r.bounded(int(kFailable.size())))],
                              kFailStatuses[size_t(r.bounded(int(kFailStatuses.size())))]);
                ++done["SDK call failed"];
                break;
            }
            // Links come back soon, so cameras spend most of the time streaming.
            for (size_t k = 0; k < kSerials.size(); ++k) {
                if ((lost[k] || detached[k]) && r.bounded(4) == 0) {
                    if (lost[k])
                        VdSimLinkRestored(kSerials[k]);
                    if (detached[k])
                        VdSimSetAttached(kSerials[k], 1);
                    lost[k] = detached[k] = false;
                    ++done["restored by the simulator thread"];
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(r.bounded(500, 20000)));
        }
        for (size_t k = 0; k < kSerials.size(); ++k) {
            VdSimLinkRestored(kSerials[k]);
            VdSimSetAttached(kSerials[k], 1);
        }
    }

    Totals counts;
    InFlight running;
    bool reentrant = false;
    QtMessageHandler previousHandler = nullptr;
    std::unique_ptr<CameraVandrel> plugin;
    QRandomGenerator random;
    QJsonObject saved;
    long lossesTried = 0;             // links broken by a host holding the frame mutex
    long lossesAgainstHeldMutex = 0;  // of those, the receiver was waiting when the close began
};

void Stress::run(bool reentrantCase)
{
    reentrant = reentrantCase;
    const int seconds = qMax(1, envInt("VANDREL_STRESS_SECONDS", 20));
    const quint32 seed = quint32(envInt("VANDREL_STRESS_SEED", int(QDateTime::currentMSecsSinceEpoch() & 0x7fffffff)));
    std::printf("stress: %s, seed %u, %d s (VANDREL_STRESS_SEED / VANDREL_STRESS_SECONDS)\n",
                reentrant ? "re-entrant callbacks" : "host operations", seed, seconds);
    std::fflush(stdout);
    random.seed(seed);

    // Watchdog: an operation or a callback that has not returned within 5 s
    // ends the run with every thread's stack.
    std::atomic<int> currentOp{-1};
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (const char *what = running.overdue(std::chrono::seconds(5))) {
                const int op = currentOp.load();
                std::fprintf(stderr, "stress: %s has not returned within 5 s (host operation: %s, seed %u)\n", what,
                             op >= 0 ? opName(op) : "none", seed);
                printAllThreadStacks();
                std::abort();
            }
        }
    });

    std::vector<Slot> cams(kCameraSlots);
    for (int i = 0; i < kCameraSlots; ++i) {
        cams[size_t(i)].serial = QString::fromLatin1(kSerials[size_t(i)]);
    }
    int count = 0;
    ASSERT_EQ(plugin->enumerateCameras(count).size(), kCameraSlots);
    for (int i = 0; i < kCameraSlots; ++i)
        create(cams[size_t(i)], i);
    // Take the first settings of a real camera as the base of later loads.
    cams[0].camera->save(saved);
    for (Slot &s : cams)
        s.saved = saved;

    std::atomic<bool> stopChaos{false};
    std::map<std::string, long> faults;
    std::thread simulatorThread([&] { chaos(seed, stopChaos, faults); });

    std::array<long, OpCount> ops{};
    qint64 rssBaseline = -1, rssPeakLate = -1;
    MemoryTrend memory;
    QElapsedTimer clock;
    clock.start();
    const qint64 total = qint64(seconds) * 1000;
    const qint64 warmEnd = total / 4;        // RSS baseline taken over [warmEnd, 2*warmEnd)
    const qint64 lateStart = total * 3 / 4;  // compared with the peak over the last quarter
    qint64 nextSample = 0;
    while (clock.elapsed() < total) {
        const int index = random.bounded(kCameraSlots);
        Slot &s = cams[size_t(index)];
        int op = random.bounded(int(OpCount));
        if (!s.camera)
            op = OpCreate;
        else if (op == OpCreate)
            op = OpQueries;
        // Destruction is heavy; keep it rarer than the rest.
        if (op == OpDestroy && random.bounded(3) != 0)
            op = OpQueries;
        currentOp = op;
        {
            InFlight::Scope scope(running, opName(op));
            if (op == OpCreate) {
                // A freshly plugged camera is only found by a new enumeration.
                if (random.bounded(2))
                    plugin->enumerateCameras(count);
                create(s, index);
            } else {
                if (s.camera && op != OpRestart && op != OpReconnectTick)
                    checkStillClosed(s);
                runOp(s, op, index);
            }
        }
        ++ops[size_t(op)];
        currentOp = -1;
        {
            // Work receivers left for the owning thread runs here.
            InFlight::Scope scope(running, "the owning thread's events");
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(0, 1500)));

        const qint64 now = clock.elapsed();
        if (now >= nextSample) {
            nextSample = now + 100;
            const qint64 rss = residentKiB();
            if (!kUnderSanitizer)
                memory.sample(now);
            if (now >= warmEnd && now < 2 * warmEnd)
                rssBaseline = qMax(rssBaseline, rss);
            else if (now >= lateStart)
                rssPeakLate = qMax(rssPeakLate, rss);
        }
    }
    const qint64 ranMs = clock.elapsed();
    // What the allocator keeps against what the program holds.
    const qint64 trimmedKiB = kUnderSanitizer ? -1 : residentAfterTrimKiB();

    stopChaos = true;
    simulatorThread.join();
    // Receivers stop calling; what they left for the owning thread runs.
    for (Slot &s : cams)
        if (s.reentry)
            s.reentry->active = false;
    waitUntil([] { return false; }, 100);
    // Planned failures not yet used must not hit the teardown.
    VdSimResetCounters();
    // One more loss of an open camera, so that the reconnection below is
    // put to the test. A camera whose status callback could not be
    // registered (a planned failure) hears of no loss; the next one is tried.
    for (Slot &s : cams) {
        if (s.camera && s.camera->opened) {
            const QByteArray serial = s.serial.toUtf8();
            VdSimLinkLost(serial.constData(), 0);
            const bool reported = waitUntil([&] { return s.camera->connectionLost.load(); }, 2000);
            VdSimLinkRestored(serial.constData());
            if (reported)
                break;
        }
    }

    // Liveness: with the faults over and every link back, each lost camera is
    // open again within a few ticks. A host enumerates again after such a
    // storm, since unplugged cameras made the last count stale.
    plugin->enumerateCameras(count);
    std::vector<Slot *> lostCameras;
    for (Slot &s : cams) {
        if (s.camera && s.camera->connectionLost) {
            // A lost camera is retried even when the host closed it meanwhile.
            s.track->hostClosed = false;
            s.deliveredAtClose = -1;
            lostCameras.push_back(&s);
        }
    }
    for (int tick = 0; tick < 5; ++tick) {
        for (Slot *s : lostCameras) {
            if (s->camera->connectionLost)
                streamChange(*s, [&] { s->camera->reconnectTick(); });
        }
        // A loss reported before the storm ended may still be on its way.
        waitUntil([] { return false; }, 20);
    }
    for (Slot *s : lostCameras) {
        EXPECT_TRUE(s->camera->opened && !s->camera->connectionLost)
            << s->serial.toStdString() << ": still lost after the links came back";
    }
    std::printf("stress: %zu cameras lost when the faults stopped, reopened by the reconnect tick\n",
                lostCameras.size());
    for (Slot &s : cams) {
        if (s.camera) {
            checkStillClosed(s);
            destroy(s);
        }
    }
    plugin.reset();
    EXPECT_TRUE(waitUntil([] { return VdSimOutstandingBuffers() == 0; }, 5000))
        << VdSimOutstandingBuffers() << " raw buffers outstanding";
    EXPECT_EQ(VdSimReleasedHandleCalls(), 0) << "SDK calls named a handle already released";
    for (Slot &s : cams)
        checkStillClosed(s);
    finished = true;
    watchdog.join();

    long totalOps = 0;
    for (long n : ops)
        totalOps += n;
    long injected = 0;
    for (const auto &f : faults)
        injected += f.second;
    std::printf("stress: ran %.1f s, %ld host operations, %ld operations called from callbacks, %ld frames "
                "delivered, %ld losses, %ld reconnections, %ld simulator faults, %ld warnings logged\n",
                ranMs / 1000.0, totalOps, counts.reentrantCalls.load(), counts.frames.load(), counts.losses.load(),
                counts.reconnections.load(), injected, counts.warnings.load());
    std::printf("stress: operations:");
    for (int i = 0; i < OpCount; ++i)
        std::printf(" %s %ld;", opName(i), ops[size_t(i)]);
    std::printf("\nstress: faults:");
    for (const auto &f : faults)
        std::printf(" %s %ld;", f.first.c_str(), f.second);
    std::printf("\nstress: %ld of %ld links broken under a held frameMutex() had their loss receiver waiting for it "
                "when the close began\n",
                lossesAgainstHeldMutex, lossesTried);
    std::printf("stress: resident memory %lld KiB after warm-up, %lld KiB peak in the last quarter\n", rssBaseline,
                rssPeakLate);
    const MemoryTrend::Fit residentFit = memory.residentLastHalf();
    const MemoryTrend::Fit heapFit = memory.heapLastHalf();
    if (!memory.empty()) {
        std::printf("stress: %s; %lld KiB once the allocator gave back what it could\n",
                    memory.describe().toUtf8().constData(), trimmedKiB);
        std::printf("stress: last half (%d samples over %.0f s): resident %+.2f MiB/min (%+.2f MiB; medians of its "
                    "thirds %.1f, %.1f, %.1f MiB), heap in use %+.2f MiB/min; fails above %.1f MiB/min with a rise "
                    "above %.1f MiB that goes on through each third\n",
                    residentFit.samples, residentFit.windowS, residentFit.slopeMiBPerMin, residentFit.riseMiB(),
                    residentFit.thirdMedianMiB[0], residentFit.thirdMedianMiB[1], residentFit.thirdMedianMiB[2],
                    heapFit.slopeMiBPerMin, kSlopeLimit, kRiseFloor);
    }
    std::fflush(stdout);
    {
        QMutexLocker g(&counts.firstErrorsLock);
        for (const QString &e : counts.firstErrors)
            ADD_FAILURE() << e.toStdString();
    }

    EXPECT_GT(counts.frames.load(), 0);
    if (reentrant) {
        EXPECT_GT(counts.reentrantCalls.load(), 0);
    }
    EXPECT_EQ(counts.afterClose.load(), 0);
    EXPECT_EQ(counts.badSize.load(), 0);
    EXPECT_EQ(counts.badStamp.load(), 0);
    EXPECT_EQ(counts.badNumbering.load(), 0);
#ifndef VANDREL_SANITIZED
    // Sanitizers keep freed memory in quarantine and shadow it, so resident
    // size says nothing there; their own leak checks cover that build.
    if (seconds >= 8) {
        ASSERT_GT(rssBaseline, 0);
        EXPECT_LE(rssPeakLate, rssBaseline + 32 * 1024) << "resident memory grew after warm-up";
        EXPECT_FALSE(MemoryTrend::sustainedRise(residentFit, kSlopeLimit, kRiseFloor))
            << "resident memory rose " << residentFit.slopeMiBPerMin << " MiB/min over the last "
            << residentFit.windowS << " s";
    }
#endif
}

TEST_F(Stress, CamerasSurviveRandomHostOperationsAndSdkFaults)
{
    run(false);
}

TEST_F(Stress, CamerasSurviveOperationsCalledFromTheirCallbacks)
{
    run(true);
}

} // namespace
