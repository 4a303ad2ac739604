#include "camerachannel.h"

#include "camerasignals.h"

#include <iterator>

double ChannelFigures::meanFps() const
{
    return frames >= 2 && spanMs > 0 ? double(frames - 1) * 1000.0 / double(spanMs) : 0.0;
}

double ChannelFigures::meanBytesPerSecond() const
{
    // The span from the first frame to the last holds frames - 1 frames of bytes.
    return frames >= 2 && spanMs > 0 ? double(bytes) * (frames - 1) / frames * 1000.0 / double(spanMs) : 0.0;
}

CameraChannel::CameraChannel(CameraInterface *camera, const QString &serial, int frameLimit, Clock clock,
                             const LinkKeeper::Policy &policy)
    : object(camera), cam(camera), sn(serial), limit(frameLimit), now(std::move(clock))
{
    if (camera) {
        keeper = std::make_unique<LinkKeeper>(camera, [this](const LinkEvent &e) { onLinkEvent(e); });
        keeper->setPolicy(policy);
    }
}

void CameraChannel::started()
{
    if (keeper)
        keeper->start();
}

CameraChannel::~CameraChannel()
{
    deleteCamera();
}

void CameraChannel::deleteCamera()
{
    // The keeper goes first: it works on the camera.
    keeper.reset();
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
    if (keeper)
        keeper->noteFrame();
    if (!counting || reachedLimit())
        return;
    const qint64 at = now();
    const qint64 cameraMs = data.captureTime.isValid() ? data.captureTime.toMSecsSinceEpoch() : -1;
    const cv::Mat &img = data.image;
    const qint64 size = qint64(img.total() * img.elemSize());
    ++figs.frames;
    figs.bytes += size;
    if (figs.firstMs < 0) {
        figs.firstMs = at;
    } else {
        const qint64 byCamera = lastCameraMs >= 0 && cameraMs >= 0 ? cameraMs - lastCameraMs : -1;
        figs.spanMs += byCamera > 0 ? byCamera : at - figs.lastMs;
    }
    lastCameraMs = cameraMs;
    figs.lastMs = at;
    figs.width = img.cols;
    figs.height = img.rows;
    figs.channels = img.channels();
    figs.lastProduct = data.productID;
    figs.lastCapture = data.captureIndex;
    figs.lastCycle = data.productCycleIndex;
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
    if (keeper)
        keeper->noteLoss();
}

void CameraChannel::onReconnect()
{
    if (keeper)
        keeper->noteReconnect();
}

void CameraChannel::onLinkEvent(const LinkEvent &e)
{
    figs.link = keeper ? keeper->status().state : LinkState::Open;
    if (!counting)
        return;
    const qint64 at = now();
    switch (e.kind) {
    case LinkEvent::Lost:
        ++figs.losses;
        break;
    case LinkEvent::Stalled:
        ++figs.stalls;
        break;
    case LinkEvent::Back:
        ++figs.reconnects;
        break;
    }
    const QString name = linkEventKey(e.kind);
    figs.events.append({at, name, e.detail});
    emit linkChanged(this, at, QStringLiteral("%1: %2").arg(name, e.detail));
}
