// Measures the cost of the driver's frame path per frame: the time spent in
// the SDK's frame callback, timed around the driver's own callback, and the
// minor page faults taken meanwhile on that thread. Beside it, in the same
// run: one memcpy of the same bytes into a warm buffer (the floor), the
// straightforward path (fresh buffer, fresh matrix, copy), and for RGB8 the
// cost of demosaicing alone.

#include "framepool.h"
#include "vandrel.h"
#include "vdsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

#include <opencv2/imgproc.hpp>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    const char *name;
    const char *serial;
    int width;
    int height;
    bool colour;
    int frames;
};

const Case kCases[] = {
    {"Mono8 8 MiB (8192x1024)", "BENCHMONO8M", 8192, 1024, false, 300},
    {"Mono8 64 MiB (16384x4096)", "BENCHMONO64M", 16384, 4096, false, 40},
    {"RGB8 24 MiB (4096x2048)", "BENCHRGB24M", 4096, 2048, true, 60},
};
constexpr int kWarmupFrames = 5;

#if defined(__linux__)
constexpr bool kFaultsCounted = true;
long threadMinorFaults()
{
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}
#else
// Windows: no per-thread count; GetProcessMemoryInfo's PageFaultCount (whole process) stands in.
constexpr bool kFaultsCounted = false;
long threadMinorFaults()
{
    return 0;
}
#endif

enum class Path { Floor, Straightforward, Driver };

// Per-frame figures gathered on the SDK's frame thread.
struct Probe {
    CameraVandrel *camera = nullptr;
    Path path = Path::Driver;
    std::vector<unsigned char> *floorSource = nullptr;
    std::vector<unsigned char> floorTarget;
    std::atomic<int> frames{0};
    int limit = 0;
    std::vector<double> ms;
    std::vector<long> faults;
};

// The straightforward path, as a reference: a fresh heap block for the
// processed image, a fresh matrix, a copy.
void referencePath(CameraVandrel *camera, unsigned char *raw, VdFrameHead *head)
{
    QMutexLocker guard(camera->frameMutex());
    int p = 0, c = 0, y = 0;
    camera->getProductID(camera->cameraIndex, camera->trigParams, p, c, y);
    const quint32 bytes = head->byteCount;
    std::unique_ptr<unsigned char[]> processed(new unsigned char[bytes]);
    VdImageProcess(camera->cameraHandle, raw, processed.get(), head);
    VdReleaseImageBuffer(camera->cameraHandle, raw);
    cv::Mat image(head->height, head->width, camera->matType);
    const size_t matBytes = image.total() * image.elemSize();
    std::memcpy(image.data, processed.get(), std::min<size_t>(bytes, matBytes));
    ImageProcessData record;
    record.productID = p;
    record.image = image;
    emit camera->captureCompleted(record);
}

void timedCallback(int handle, unsigned char *raw, VdFrameHead *head, void *context)
{
    auto *probe = static_cast<Probe *>(context);
    const int n = probe->frames.load();
    if (n >= probe->limit) {
        VdReleaseImageBuffer(handle, raw);
        return;
    }
    // The floor copies the frame's bytes once, from the raw buffer when it
    // has them all (so in the same cache state as the paths), into a warm buffer.
    const size_t bytes = head->byteCount;
    const unsigned char *floorFrom = nullptr;
    if (probe->path == Path::Floor) {
        floorFrom = bytes == head->rawByteCount ? raw : probe->floorSource->data();
        if (probe->floorTarget.size() != bytes)
            probe->floorTarget.assign(bytes, 1);
    }
    const long faults = threadMinorFaults();
    const auto start = Clock::now();
    switch (probe->path) {
    case Path::Floor:
        std::memcpy(probe->floorTarget.data(), floorFrom, bytes);
        VdReleaseImageBuffer(handle, raw);
        break;
    case Path::Straightforward:
        referencePath(probe->camera, raw, head);
        break;
    case Path::Driver:
        CameraVandrel::CameraSnapCallback(handle, raw, head, probe->camera);
        break;
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (n >= kWarmupFrames) {
        probe->ms.push_back(ms);
        probe->faults.push_back(threadMinorFaults() - faults);
    }
    probe->frames.store(n + 1);
}

// Samples of one path, gathered over several runs.
struct Samples {
    std::vector<double> ms;
    long faults = 0;
    double medianMs() const
    {
        if (ms.empty())
            return 0;
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];  // robust against a neighbour's burst
    }
    double faultsPerFrame() const { return ms.empty() ? 0 : double(faults) / ms.size(); }
};

// Streams frames through the cameras until enough are measured.
void stream(const std::vector<CameraVandrel *> &cameras, int frames, Path path, Samples &into,
            std::vector<unsigned char> *floorSource = nullptr)
{
    std::vector<std::unique_ptr<Probe>> probes;
    for (CameraVandrel *camera : cameras) {
        auto probe = std::make_unique<Probe>();
        probe->camera = camera;
        probe->path = path;
        probe->floorSource = floorSource;
        probe->limit = frames + kWarmupFrames;
        probe->ms.reserve(frames);
        probe->faults.reserve(frames);
        VdSetCallbackFunction(camera->cameraHandle, &timedCallback, probe.get(), nullptr);
        probes.push_back(std::move(probe));
    }
    for (CameraVandrel *camera : cameras)
        camera->setContinueCapture(true);
    QElapsedTimer deadline;
    deadline.start();
    for (auto &probe : probes)
        while (probe->frames.load() < probe->limit && deadline.elapsed() < 120000)
            QThread::msleep(2);
    for (CameraVandrel *camera : cameras) {
        VdStop(camera->cameraHandle);
        VdSetCallbackFunction(camera->cameraHandle, &CameraVandrel::CameraSnapCallback, camera, nullptr);
        VdSetTriggerMode(camera->cameraHandle, VD_TRIGGER_SOFTWARE);
        VdPlay(camera->cameraHandle);
    }
    for (auto &probe : probes) {
        into.ms.insert(into.ms.end(), probe->ms.begin(), probe->ms.end());
        for (long f : probe->faults)
            into.faults += f;
    }
}

// Runs the three paths in turns, so that a burst of load on the machine
// weighs on all of them alike.
void measure(const std::vector<CameraVandrel *> &cameras, int frames, size_t bytes, Samples &floor,
             Samples &plain, Samples &driver)
{
    std::vector<unsigned char> source(bytes, 7);
    for (int round = 0; round < 3; ++round) {
        stream(cameras, frames, Path::Floor, floor, &source);
        stream(cameras, frames, Path::Driver, driver);
        stream(cameras, std::max(5, frames / 4), Path::Straightforward, plain);
    }
}

double demosaicMs(int width, int height, int rounds)
{
    cv::Mat raw(height, width, CV_8UC1);
    cv::randu(raw, 0, 255);
    cv::Mat rgb;
    cv::cvtColor(raw, rgb, cv::COLOR_BayerRG2RGB);
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        cv::cvtColor(raw, rgb, cv::COLOR_BayerRG2RGB);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

QByteArray population()
{
    QByteArray json = R"({"devices": [)";
    bool first = true;
    auto add = [&](const char *serial, int w, int h, bool colour) {
        json += QByteArray(first ? "" : ",") + R"({"productName": ")" + (colour ? "VD-XG-C" : "VD-XG-M")
                + R"(", "serialNumber": ")" + serial + R"(", "sensorWidth": )" + QByteArray::number(w)
                + R"(, "sensorHeight": )" + QByteArray::number(h) + R"(, "frameHeight": )" + QByteArray::number(h)
                + R"(, "mono": )" + (colour ? "false" : "true")
                + R"(, "frameRate": 0, "attached": true, "triggerMode": 1})";
        first = false;
    };
    for (const Case &c : kCases)
        add(c.serial, c.width, c.height, c.colour);
    add("BENCHSECOND8M", 8192, 1024, false);
    return json + "]}";
}

void row(const char *label, const char *path, double ms, double bytes, double floor, double straight, double faults)
{
    std::printf("%-27s %-16s %9.3f %8.2f %8.2fx %8s %9s\n", label, path, ms, bytes / (ms * 1e6), ms / floor,
                straight > 0 ? QByteArray::number(ms / straight, 'f', 2).append('x').constData() : "",
                kFaultsCounted ? QByteArray::number(faults, 'f', 1).constData() : "n/a");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A host keeps the per-frame debug line off in production.
    QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
    if (VdSimConfigure(population().constData()) != 0) {
        std::fprintf(stderr, "simulator refused the benchmark population\n");
        return 1;
    }
    CameraVandrel plugin;
    int count = 0;
    plugin.enumerateCameras(count);

    std::printf("%-27s %-16s %9s %8s %9s %9s %9s\n", "frame", "path", "ms/frame", "GB/s", "vs floor",
                "vs plain", "faults");
    for (const Case &c : kCases) {
        std::unique_ptr<CameraInterface> created(plugin.createCamera(0, QString::fromLatin1(c.serial), 0));
        auto *camera = static_cast<CameraVandrel *>(created.get());
        if (!camera->opened) {
            std::fprintf(stderr, "cannot open %s\n", c.serial);
            return 1;
        }
        camera->colorImage = c.colour;
        camera->load(QJsonObject());
        VdStop(camera->cameraHandle);
        {
            QMutexLocker guard(camera->frameMutex());
            camera->isRunning = true;
        }
        std::atomic<long> touched{0};
        QObject::connect(camera, &CameraInterface::captureCompleted, camera,
                         [&](ImageProcessData d) { touched += d.image.data[0] + d.productID; },
                         Qt::DirectConnection);
        VdPlay(camera->cameraHandle);

        const double bytes = double(c.width) * c.height * (c.colour ? 3 : 1);
        Samples floor, plain, driver;
        measure({camera}, c.frames, size_t(bytes), floor, plain, driver);
        const double f = floor.medianMs();
        row(c.name, "one memcpy", f, bytes, f, 0, floor.faultsPerFrame());
        row(c.name, "straightforward", plain.medianMs(), bytes, f, plain.medianMs(), plain.faultsPerFrame());
        row(c.name, "driver", driver.medianMs(), bytes, f, plain.medianMs(), driver.faultsPerFrame());
        if (c.colour)
            row(c.name, "demosaic alone", demosaicMs(c.width, c.height, 20), bytes, f, 0, 0);
    }

    // Two cameras streaming at once, each on its own SDK thread.
    {
        std::unique_ptr<CameraInterface> a(plugin.createCamera(0, QStringLiteral("BENCHMONO8M"), 0));
        std::unique_ptr<CameraInterface> b(plugin.createCamera(1, QStringLiteral("BENCHSECOND8M"), 0));
        auto *ca = static_cast<CameraVandrel *>(a.get());
        auto *cb = static_cast<CameraVandrel *>(b.get());
        for (CameraVandrel *camera : {ca, cb}) {
            camera->load(QJsonObject());
            QMutexLocker guard(camera->frameMutex());
            camera->isRunning = true;
        }
        const double bytes = 8192.0 * 1024;
        Samples floor, plain, driver;
        measure({ca, cb}, 100, size_t(bytes), floor, plain, driver);
        const double f = floor.medianMs();
        row("2 cameras, Mono8 8 MiB", "one memcpy", f, bytes, f, 0, floor.faultsPerFrame());
        row("2 cameras, Mono8 8 MiB", "straightforward", plain.medianMs(), bytes, f, plain.medianMs(),
            plain.faultsPerFrame());
        row("2 cameras, Mono8 8 MiB", "driver", driver.medianMs(), bytes, f, plain.medianMs(),
            driver.faultsPerFrame());
    }
    std::printf("pool: %.1f MiB idle of %.0f MiB cap\n", FramePool::instance().idleBytes() / 1048576.0,
                FramePool::instance().capacity() / 1048576.0);
    return 0;
}
