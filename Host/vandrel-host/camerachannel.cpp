#include "camerachannel.h"

#include "camerasignals.h"

#include <iterator>

double ChannelFigures::meanFps() const
{
    return frames >= 2 && lastMs > firstMs ? double(frames - 1) * 1000.0 / double(lastMs - firstMs) : 0.0;
}

double ChannelFigures::meanBytesPerSecond() const
{
    // The span from the first frame to the last holds frames - 1 frames of bytes.
    return frames >= 2 && lastMs > firstMs ? double(bytes) * (frames - 1) / frames * 1000.0 / double(lastMs - firstMs)
                                           : 0.0;
}

CameraChannel::CameraChannel(CameraInterface *camera, const QString &serial, int frameLimit, Clock clock)
    : object(camera), cam(camera), sn(serial), limit(frameLimit), now(std::move(clock))
{
}

CameraChannel::~CameraChannel()
{
    deleteCamera();
}

void CameraChannel::deleteCamera()
{
    if (object) {
        disconnectCamera(object, this);
        delete cam;
    }
    cam = nullptr;
}

double CameraChannel::liveFps(qint64 nowMs) const
{
    if (window.size() < 2 || nowMs - window.back().first > kRateWindowMs)
        return 0.0;
    const qint64 span = window.back().first - window.front().first;
    return span > 0 ? double(window.size() - 1) * 1000.0 / double(span) : 0.0;
}

double CameraChannel::liveBytesPerSecond(qint64 nowMs) const
{
    if (window.size() < 2 || nowMs - window.back().first > kRateWindowMs)
        return 0.0;
    const qint64 span = window.back().first - window.front().first;
    qint64 sum = 0;
    for (auto it = std::next(window.begin()); it != window.end(); ++it)
        sum += it->second;
    return span > 0 ? double(sum) * 1000.0 / double(span) : 0.0;
}

void CameraChannel::onCapture(ImageProcessData data)
{
    if (!counting || reachedLimit())
        return;
    const qint64 at = now();
    const cv::Mat &img = data.image;
    const qint64 size = qint64(img.total() * img.elemSize());
    ++figs.frames;
    figs.bytes += size;
    if (figs.firstMs < 0)
        figs.firstMs = at;
    figs.lastMs = at;
    figs.width = img.cols;
    figs.height = img.rows;
    figs.channels = img.channels();
    figs.lastProduct = data.productID;
    figs.lastCapture = data.captureIndex;
    figs.lastCycle = data.productCycleIndex;
    figs.linkUp = true;
    window.emplace_back(at, size);
    while (window.size() > 2 && at - window.front().first > kRateWindowMs)
        window.pop_front();
    recent.append(SheetFrame{img, figs.frames, data.productID, data.captureIndex, data.productCycleIndex});
    if (recent.size() > kSheetFrames)
        recent.removeFirst();
    emit frameCounted(this, data);
}

void CameraChannel::onLoss()
{
    if (!counting)
        return;
    const qint64 at = now();
    ++figs.losses;
    figs.linkUp = false;
    figs.events.append({at, QStringLiteral("CameraLoss")});
    emit linkChanged(this, at, QStringLiteral("CameraLoss: link lost"));
}

void CameraChannel::onReconnect()
{
    if (!counting)
        return;
    const qint64 at = now();
    ++figs.reconnects;
    figs.linkUp = true;
    figs.events.append({at, QStringLiteral("CameraReconnect")});
    emit linkChanged(this, at, QStringLiteral("CameraReconnect: camera open again"));
}
