// Frame headers as the SDK might hand them over (width, height, byte count,
// time stamp, processing status, byte count after processing) through the
// driver's real frame path. Every raw buffer must be back with the SDK after
// each frame, and a delivered image must have the header's size.

#include "fuzzsupport.h"
#include "vandrel.h"
#include "vdsim.h"

#include <QMutexLocker>

#include <cstring>
#include <memory>

namespace {

const char *kPopulation = R"({"devices": [
  {"productName": "VD-XG2K-C", "serialNumber": "XGFUZZCOL001", "sensorWidth": 64, "sensorHeight": 512,
   "frameHeight": 8, "mono": false, "lineTimeUs": 2.0, "exposureMin": 10, "exposureMax": 50000,
   "gainMin": 1, "gainMax": 32, "gammaMin": 50, "gammaMax": 250, "contrastMin": 50, "contrastMax": 200,
   "sharpnessMin": 0, "sharpnessMax": 10, "frameRate": 0, "attached": true, "triggerMode": 1},
  {"productName": "VD-XG4K-M", "serialNumber": "XGFUZZMON002", "sensorWidth": 64, "sensorHeight": 512,
   "frameHeight": 8, "mono": true, "lineTimeUs": 4.0, "exposureMin": 5, "exposureMax": 20000,
   "gainMin": 1, "gainMax": 16, "gammaMin": 10, "gammaMax": 400, "contrastMin": 10, "contrastMax": 300,
   "sharpnessMin": 1, "sharpnessMax": 8, "frameRate": 0, "attached": true, "triggerMode": 1}
]})";
const char *kSerials[2] = {"XGFUZZCOL001", "XGFUZZMON002"};
constexpr int kDefaultWidth = 64;
constexpr int kDefaultHeight = 8;
// Images beyond this are legitimate but only cost time and memory; headers
// whose matrix would reach 2 GiB stay in, and so do byte counts of any size,
// since the driver must refuse those without allocating.
constexpr qint64 kLargest = qint64(1) << 20;

CameraVandrel *cameras[2] = {nullptr, nullptr};
int expectedRows = 0;
int expectedCols = 0;
unsigned long long checksum = 0;

template <typename T>
T take(const uint8_t *&p, const uint8_t *end)
{
    T v{};
    const size_t n = std::min<size_t>(sizeof v, size_t(end - p));
    std::memcpy(&v, p, n);
    p += n;
    return v;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::startQt();
    if (VdSimConfigure(kPopulation) != 0)
        std::abort();
    static CameraVandrel plugin;
    int count = 0;
    plugin.enumerateCameras(count);
    for (int i = 0; i < 2; ++i) {
        cameras[i] = static_cast<CameraVandrel *>(plugin.createCamera(i, QString::fromLatin1(kSerials[i]), 0));
        if (!cameras[i]->opened)
            std::abort();
        cameras[i]->load(QJsonObject());
        QObject::connect(cameras[i], &CameraInterface::captureCompleted, cameras[i], [](ImageProcessData d) {
            if (d.image.rows != expectedRows || d.image.cols != expectedCols) {
                std::fprintf(stderr, "image %dx%d for a header of %dx%d\n", d.image.cols, d.image.rows,
                             expectedCols, expectedRows);
                std::abort();
            }
            // Reads every byte, so that the sanitizer sees any pixel not owned.
            const size_t bytes = d.image.total() * d.image.elemSize();
            for (size_t i = 0; i < bytes; ++i)
                checksum += d.image.data[i];
        }, Qt::DirectConnection);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint8_t *p = data;
    const uint8_t *end = data + size;
    const uint8_t mode = take<uint8_t>(p, end);
    VdSimFrame f{};
    f.flags = take<uint8_t>(p, end) & 0x3f;
    f.width = take<int32_t>(p, end);
    f.height = take<int32_t>(p, end);
    f.byteCount = take<uint32_t>(p, end);
    f.timeStamp = take<uint32_t>(p, end);
    f.processStatus = take<int32_t>(p, end);
    f.byteCountAfterProcess = take<uint32_t>(p, end);

    CameraVandrel *camera = cameras[mode & 1];
    const int width = (f.flags & VDSIM_FRAME_WIDTH) ? f.width : kDefaultWidth;
    const int height = (f.flags & VDSIM_FRAME_HEIGHT) ? f.height : kDefaultHeight;
    // Pixels, whatever the element size: one byte each for mono output.
    const double matrix = double(width) * height;
    if (width > 0 && height > 0 && matrix > double(kLargest) && matrix < double(qint64(1) << 31))
        return -1;

    if (mode & 4) {
        camera->colorImage = (mode & 8) != 0;
        camera->applyImageFormat();
    }
    {
        QMutexLocker g(camera->frameMutex());
        camera->isRunning = (mode & 2) == 0;
        expectedRows = height;
        expectedCols = width;
    }
    const int pushed = VdSimPushFrame(kSerials[mode & 1], &f);
    if (pushed != 0) {
        std::fprintf(stderr, "no frame callback ran: %d\n", pushed);
        std::abort();
    }
    if (VdSimOutstandingBuffers() != 0) {
        std::fprintf(stderr, "%d raw buffers outstanding after a frame\n", VdSimOutstandingBuffers());
        std::abort();
    }
    return 0;
}
