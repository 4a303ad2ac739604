// What a reject gate can count on: two line-scan cameras at a real line
// rate (16384 px, frames of 1024 lines at 100 kHz: 97.7 frames/s and
// 1.6 GB/s each), paced by the simulator, and for each frame the time from
// the SDK entering the frame callback to a receiver connected directly (on
// the SDK's thread) and to one on the host's thread (Qt::QueuedConnection,
// the usual host pattern). Beside it: the CPU the driver's path costs per
// camera as a share of one core, the simulator's own frame making counted
// apart, and resident memory per camera.
//
// Two phases, in turns on the same streaming cameras, so that a burst of
// load on the machine weighs on both alike: the SDK alone (a bare consumer
// that only processes each frame into a warm buffer, what any consumer of
// the SDK pays), and the driver with both receivers connected, so that both
// latencies and the hop between them are measured on the same frames.
//
//   latency_bench [--seconds S] [--turns N]   N turns of S seconds a phase (defaults 10, 3)

#include "framepool.h"
#include "vandrel.h"
#include "vdsim.h"

#include <QCoreApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>

#if defined(__linux__)
#include <time.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 16384;
constexpr int kLines = 1024;
constexpr double kLineTimeUs = 10.0;  // 100 kHz
const double kFrameRate = 1e6 / (kLineTimeUs * kLines);
constexpr int kWarmupFrames = 20;  // of each camera in each phase: fresh pool buffers fault in
constexpr size_t kRing = 1024;     // frames in flight to the host's thread, far more than ever queue
const char *const kSerials[] = {"LATENCY16K01", "LATENCY16K02"};

qint64 wallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#if defined(__linux__)
constexpr bool kCpuClocks = true;
qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}
QByteArray loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return "n/a";
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() >= 3 ? parts[0] + " " + parts[1] + " " + parts[2] : QByteArray("n/a");
}
#else
constexpr bool kCpuClocks = false;
qint64 threadCpuNs()
{
    return 0;
}
qint64 residentKiB()
{
    return -1;
}
QByteArray loadAverage()
{
    return "n/a";
}
#endif

enum class Phase { Idle, SdkAlone, Driver };

// One camera's frames as the SDK's thread and the receivers see them.
struct Probe {
    CameraVandrel *camera = nullptr;
    VdHandle handle = -1;
    std::atomic<Phase> phase{Phase::Idle};
    std::atomic<int> generation{0};  // bumped by every phase, so stale frames are told apart

    // SDK thread only.
    std::vector<unsigned char> warm;  // the bare consumer's target
    qint64 entryNs = 0;               // of the frame being delivered
    quint32 entryFrame = 0;
    bool entryMeasured = false;       // that frame is past the warm-up

    // Entry times by frame id, for the host's thread; the generation of a
    // frame of the warm-up is -1.
    struct Entry {
        std::atomic<qint64> ns{0};
        std::atomic<qint64> directNs{0};  // when the direct receiver had it
        std::atomic<int> generation{-1};
    };
    std::array<Entry, kRing> entries;

    std::mutex lock;  // the figures below
    int seen = 0;     // frames entered in this phase, warm-up included
    std::vector<double> latencyMs;  // to the direct receiver, or the bare consumer's return
    std::vector<double> queuedMs;   // to the receiver on the host's thread
    std::vector<double> hopMs;      // from the direct receiver to the host's, same frame
    qint64 callbackCpuNs = 0;  // frames after warm-up
    int measured = 0;
    // The SDK thread's clock at the first and latest measured entry, and the
    // callback CPU of the frames entered between them.
    std::thread::id thread;
    bool oneThread = true;
    qint64 firstCpu = -1, firstWall = 0, lastCpu = 0, lastWall = 0, callbackCpuBeforeLast = 0;

    void reset(Phase p)
    {
        std::lock_guard<std::mutex> g(lock);
        seen = 0;
        latencyMs.clear();
        queuedMs.clear();
        hopMs.clear();
        callbackCpuNs = 0;
        measured = 0;
        oneThread = true;
        thread = std::thread::id();
        firstCpu = -1;
        callbackCpuBeforeLast = 0;
        ++generation;
        phase = p;
    }
};

void timedCallback(int handle, unsigned char *raw, VdFrameHead *head, void *context)
{
    auto *probe = static_cast<Probe *>(context);
    const qint64 entry = wallNs();
    const qint64 cpuIn = threadCpuNs();
    const Phase phase = probe->phase.load();
    const int generation = probe->generation.load();

    bool measuring = false;
    {
        std::lock_guard<std::mutex> g(probe->lock);
        measuring = phase != Phase::Idle && ++probe->seen > kWarmupFrames;
        if (measuring) {
            const std::thread::id me = std::this_thread::get_id();
            if (probe->firstCpu < 0) {
                probe->firstCpu = probe->lastCpu = cpuIn;
                probe->firstWall = probe->lastWall = entry;
                probe->thread = me;
            } else {
                probe->oneThread = probe->oneThread && probe->thread == me;
                probe->lastCpu = cpuIn;
                probe->lastWall = entry;
                probe->callbackCpuBeforeLast = probe->callbackCpuNs;
            }
        }
    }
    probe->entryNs = entry;
    probe->entryFrame = head->frameId;
    probe->entryMeasured = measuring;
    Probe::Entry &slot = probe->entries[head->frameId % kRing];
    slot.ns = entry;
    slot.directNs = 0;
    slot.generation = measuring ? generation : -1;

    if (phase == Phase::SdkAlone) {
        // What any consumer pays: the SDK processes into a buffer of its own.
        if (probe->warm.size() < head->byteCount)
            probe->warm.assign(head->byteCount, 1);
        VdImageProcess(handle, raw, probe->warm.data(), head);
        VdReleaseImageBuffer(handle, raw);
    } else {
        // Not counted against the driver's memory.
        if (!probe->warm.empty())
            std::vector<unsigned char>().swap(probe->warm);
        CameraVandrel::CameraSnapCallback(handle, raw, head, probe->camera);
    }

    if (measuring) {
        const qint64 cpu = threadCpuNs() - cpuIn;
        std::lock_guard<std::mutex> g(probe->lock);
        probe->callbackCpuNs += cpu;
        ++probe->measured;
        if (phase == Phase::SdkAlone)
            probe->latencyMs.push_back((wallNs() - entry) / 1e6);
    }
}

QByteArray population()
{
    QByteArray json = R"({"devices": [)";
    for (int i = 0; i < 2; ++i) {
        json += QByteArray(i ? "," : "") + R"({"productName": "VD-XG16K-M", "serialNumber": ")" + kSerials[i]
                + R"(", "sensorWidth": )" + QByteArray::number(kWidth) + R"(, "sensorHeight": )"
                + QByteArray::number(kLines) + R"(, "frameHeight": )" + QByteArray::number(kLines)
                + R"(, "mono": true, "lineTimeUs": )" + QByteArray::number(kLineTimeUs)
                + R"(, "frameRate": )" + QByteArray::number(kFrameRate, 'f', 6)
                + R"(, "attached": true, "triggerMode": 0})";
    }
    return json + "]}";
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

struct PhaseResult {
    const char *name;
    int frames = 0;  // measured, both cameras
    double skipped = 0;
    std::vector<double> latencyMs;
    std::vector<double> queuedMs;
    std::vector<double> hopMs;
    double callbackShare = 0;  // per camera, of one core
    double callbackMsPerFrame = 0;
    double makingShare = -1;   // per camera, of one core; -1 when not measurable
    double hostShare = 0;      // the host's thread, whole
    double rssKiB = 0;         // mean while streaming
    double ratePerCamera = 0;  // frames a second, warm-up included
    double poolIdleMiB = 0;    // the driver's frame pool at the end
};

double framesSkipped()
{
    double total = 0;
    for (const char *serial : kSerials) {
        double v = 0;
        VdSimGetValue(serial, "framesSkipped", &v);
        total += v;
    }
    return total;
}

// One turn's figures added to those of the earlier turns of the same phase.
void merge(PhaseResult &into, const PhaseResult &turn, int turns)
{
    into.frames += turn.frames;
    into.skipped += turn.skipped;
    into.latencyMs.insert(into.latencyMs.end(), turn.latencyMs.begin(), turn.latencyMs.end());
    into.queuedMs.insert(into.queuedMs.end(), turn.queuedMs.begin(), turn.queuedMs.end());
    into.hopMs.insert(into.hopMs.end(), turn.hopMs.begin(), turn.hopMs.end());
    // Turns are of equal length: shares and rates are their means.
    into.callbackShare += turn.callbackShare / turns;
    into.callbackMsPerFrame += turn.callbackMsPerFrame / turns;
    if (into.makingShare < 0 || turn.makingShare < 0)
        into.makingShare = -1;
    else
        into.makingShare += turn.makingShare / turns;
    into.hostShare += turn.hostShare / turns;
    into.rssKiB += turn.rssKiB / turns;
    into.ratePerCamera += turn.ratePerCamera / turns;
    into.poolIdleMiB = turn.poolIdleMiB;
}

PhaseResult runPhase(const char *name, Phase phase, std::vector<Probe *> &probes, int seconds)
{
    PhaseResult r;
    r.name = name;
    const double skippedBefore = framesSkipped();
    for (Probe *p : probes)
        p->reset(phase);
    const qint64 hostCpu0 = threadCpuNs();
    QElapsedTimer wall;
    wall.start();

    // Resident memory, sampled on the host's thread while frames flow; the
    // warm-up second is left out.
    double rssSum = 0;
    int rssSamples = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (wall.elapsed() < 1000)
            return;
        const qint64 kib = residentKiB();
        if (kib > 0) {
            rssSum += double(kib);
            ++rssSamples;
        }
    });
    sampler.start(100);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    sampler.stop();
    for (Probe *p : probes)
        p->phase = Phase::Idle;
    const double wallNsTotal = double(wall.nsecsElapsed());
    const qint64 hostCpu = threadCpuNs() - hostCpu0;
    // What is still queued for the host's thread belongs to this phase.
    QCoreApplication::processEvents();

    double making = 0;
    bool makingKnown = kCpuClocks;
    int seen = 0;
    for (Probe *p : probes) {
        std::lock_guard<std::mutex> g(p->lock);
        r.frames += p->measured;
        seen += p->seen;
        r.latencyMs.insert(r.latencyMs.end(), p->latencyMs.begin(), p->latencyMs.end());
        r.queuedMs.insert(r.queuedMs.end(), p->queuedMs.begin(), p->queuedMs.end());
        r.hopMs.insert(r.hopMs.end(), p->hopMs.begin(), p->hopMs.end());
        r.callbackShare += double(p->callbackCpuNs) / wallNsTotal;
        r.callbackMsPerFrame += p->measured ? p->callbackCpuNs / 1e6 / p->measured : 0;
        const qint64 span = p->lastWall - p->firstWall;
        if (p->firstCpu < 0 || span <= 0 || !p->oneThread) {
            makingKnown = false;
        } else {
            making += double(p->lastCpu - p->firstCpu - p->callbackCpuBeforeLast) / double(span);
        }
    }
    const double n = double(probes.size());
    r.callbackShare /= n;
    r.callbackMsPerFrame /= n;
    r.makingShare = makingKnown ? making / n : -1;
    r.hostShare = double(hostCpu) / wallNsTotal;
    r.rssKiB = rssSamples ? rssSum / rssSamples : -1;
    r.skipped = framesSkipped() - skippedBefore;
    r.ratePerCamera = seen / n / (wallNsTotal / 1e9);
    r.poolIdleMiB = FramePool::instance().idleBytes() / 1048576.0;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Frame latency and CPU of the driver at a real line rate"));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Seconds per phase."),
                                           QStringLiteral("S"), QStringLiteral("10"));
    parser.addOption(secondsOption);
    const QCommandLineOption turnsOption(QStringLiteral("turns"), QStringLiteral("Turns of both phases."),
                                         QStringLiteral("N"), QStringLiteral("3"));
    parser.addOption(turnsOption);
    parser.process(app);
    const int seconds = qMax(1, parser.value(secondsOption).toInt());
    const int turns = qMax(1, parser.value(turnsOption).toInt());

    // A host keeps the per-frame debug line off in production.
    QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
    qRegisterMetaType<ImageProcessData>("ImageProcessData");
    if (VdSimConfigure(population().constData()) != 0) {
        std::fprintf(stderr, "simulator refused the benchmark population\n");
        return 1;
    }
    CameraVandrel plugin;
    int count = 0;
    plugin.enumerateCameras(count);
    const qint64 rssBefore = residentKiB();

    // Probes outlive the cameras, whose callbacks they are.
    std::vector<std::unique_ptr<Probe>> probeStore;
    std::vector<std::unique_ptr<CameraInterface>> cameras;
    std::vector<Probe *> probes;
    for (int i = 0; i < 2; ++i) {
        cameras.emplace_back(plugin.createCamera(i, QString::fromLatin1(kSerials[i]), 0));
        auto *camera = static_cast<CameraVandrel *>(cameras.back().get());
        if (!camera->opened) {
            std::fprintf(stderr, "cannot open %s\n", kSerials[i]);
            return 1;
        }
        auto probe = std::make_unique<Probe>();
        probe->camera = camera;
        probe->handle = camera->cameraHandle;
        {
            QMutexLocker guard(camera->frameMutex());
            camera->isRunning = true;
        }
        // The timing wrapper takes the driver's place with the SDK and hands
        // every frame on to it.
        VdSetCallbackFunction(camera->cameraHandle, &timedCallback, probe.get(), nullptr);
        probes.push_back(probe.get());
        probeStore.push_back(std::move(probe));
    }
    for (auto &c : cameras)
        c->load(QJsonObject());  // Mono8, continuous, streaming

    // The direct receiver runs inside the callback, on the SDK's thread.
    for (Probe *p : probes) {
        QObject::connect(p->camera, &CameraInterface::captureCompleted, p->camera,
                         [p](ImageProcessData d) {
                             const qint64 now = wallNs();
                             if (p->phase != Phase::Driver || !p->entryMeasured || d.image.empty())
                                 return;
                             p->entries[p->entryFrame % kRing].directNs = now;
                             std::lock_guard<std::mutex> g(p->lock);
                             p->latencyMs.push_back((now - p->entryNs) / 1e6);
                         },
                         Qt::DirectConnection);
    }
    // The host's receiver lives on this thread and finds the frame's entry
    // time by the frame id the simulator stamps into the first pixels.
    QObject host;
    for (Probe *p : probes) {
        QObject::connect(p->camera, &CameraInterface::captureCompleted, &host,
                         [p](ImageProcessData d) {
                             const qint64 now = wallNs();
                             if (p->phase != Phase::Driver || d.image.total() < 4)
                                 return;
                             const uchar *px = d.image.data;
                             const quint32 id = quint32(px[0]) | quint32(px[1]) << 8 | quint32(px[2]) << 16
                                                | quint32(px[3]) << 24;
                             const Probe::Entry &e = p->entries[id % kRing];
                             if (e.generation.load() != p->generation.load())
                                 return;
                             const qint64 direct = e.directNs.load();
                             std::lock_guard<std::mutex> g(p->lock);
                             p->queuedMs.push_back((now - e.ns.load()) / 1e6);
                             if (direct > 0)
                                 p->hopMs.push_back((now - direct) / 1e6);
                         },
                         Qt::QueuedConnection);
    }

    const QByteArray loadBefore = loadAverage();
    std::vector<PhaseResult> results(2);
    results[0].name = "SDK alone (bare consumer)";
    results[1].name = "driver, both receivers";
    results[0].makingShare = results[1].makingShare = 0;
    std::vector<double> ownMs;  // the driver's own part a frame, turn by turn
    double rssSdkOnlyKiB = 0;   // the first turn, before the driver's pool holds anything
    for (int turn = 0; turn < turns; ++turn) {
        const PhaseResult bareTurn = runPhase(results[0].name, Phase::SdkAlone, probes, seconds);
        if (turn == 0)
            rssSdkOnlyKiB = bareTurn.rssKiB;
        const PhaseResult driverTurn = runPhase(results[1].name, Phase::Driver, probes, seconds);
        ownMs.push_back(driverTurn.callbackMsPerFrame - bareTurn.callbackMsPerFrame);
        merge(results[0], bareTurn, turns);
        merge(results[1], driverTurn, turns);
    }
    const QByteArray loadAfter = loadAverage();

    std::printf("2 cameras, Mono8 %dx%d (%.0f MiB a frame), %.0f kHz line rate: %.2f frames/s and %.2f GB/s each, "
                "paced by the simulator; %d turns of %d s a phase; load average %s before, %s after\n",
                kWidth, kLines, kWidth * double(kLines) / 1048576.0, 1000.0 / kLineTimeUs, kFrameRate,
                kFrameRate * kWidth * kLines / 1e9, turns, seconds, loadBefore.constData(), loadAfter.constData());
    const PhaseResult &bare = results[0];
    const PhaseResult &driver = results[1];
    std::printf("frames/s per camera: %.2f with the SDK alone, %.2f with the driver; skipped by the simulator: "
                "%.0f and %.0f\n",
                bare.ratePerCamera, driver.ratePerCamera, bare.skipped, driver.skipped);
    auto latencyRow = [](const char *what, const std::vector<double> &ms) {
        std::printf("%-44s %7d %8.3f %8.3f %8.3f\n", what, int(ms.size()), percentile(ms, 0.5), percentile(ms, 0.99),
                    ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()));
    };
    std::printf("%-44s %7s %8s %8s %8s\n", "from the SDK entering the frame callback", "frames", "p50 ms", "p99 ms",
                "max ms");
    latencyRow("SDK alone: the bare consumer returns", bare.latencyMs);
    latencyRow("driver: direct receiver (SDK thread)", driver.latencyMs);
    latencyRow("driver: queued receiver (host thread)", driver.queuedMs);
    latencyRow("driver: direct to queued, same frame", driver.hopMs);
    if (kCpuClocks) {
        std::printf("%-30s %13s %10s %14s %12s\n", "CPU, share of one core", "callback/cam", "ms/frame",
                    "frame making/cam", "host thread");
        for (const PhaseResult &r : results) {
            std::printf("%-30s %12.1f%% %10.3f %13.1f%% %11.1f%%\n", r.name, 100 * r.callbackShare,
                        r.callbackMsPerFrame, r.makingShare < 0 ? -1.0 : 100 * r.makingShare, 100 * r.hostShare);
        }
        std::printf("driver's own part per camera (its callback minus the bare consumer's): %.1f%% of one core, "
                    "%.3f ms a frame (turns:",
                    100 * (driver.callbackShare - bare.callbackShare),
                    driver.callbackMsPerFrame - bare.callbackMsPerFrame);
        for (double ms : ownMs)
            std::printf(" %+.3f", ms);
        std::printf(" ms)\n");
    } else {
        std::printf("CPU: no per-thread clock on this platform\n");
    }
    if (rssBefore > 0) {
        // The simulator lends each camera one raw buffer of a frame at this
        // pace; the bare consumer keeps a frame-sized buffer of its own.
        std::printf("resident memory: %.1f MiB before the cameras were created; %.1f MiB per camera with the SDK "
                    "alone (its raw buffer and the bare consumer's buffer, first turn); %.1f MiB per camera with the "
                    "driver, whose frame pool held %.1f MiB idle at the end\n",
                    rssBefore / 1024.0, (rssSdkOnlyKiB - double(rssBefore)) / 2 / 1024.0,
                    (driver.rssKiB - double(rssBefore)) / 2 / 1024.0, driver.poolIdleMiB);
    }
    if (bare.latencyMs.empty() || driver.latencyMs.empty() || driver.queuedMs.empty()) {
        std::fprintf(stderr, "no frame measured\n");
        return 1;
    }
    for (auto &c : cameras)
        c->closeCamera();
    return 0;
}
