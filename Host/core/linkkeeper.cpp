#include "linkkeeper.h"

#include "camerainterface.h"
#include "settingsload.h"

#include <algorithm>

LinkKeeper::LinkKeeper(CameraInterface *camera, Sink s, QObject *parent) : QObject(parent), cam(camera), sink(std::move(s))
{
    clock.start();
    ticker.setInterval(kLookMs);
    connect(&ticker, &QTimer::timeout, this, &LinkKeeper::look);
    ticker.start();
}

LinkKeeper::~LinkKeeper() = default;

void LinkKeeper::setPolicy(const Policy &policy)
{
    std::lock_guard<std::mutex> guard(lock);
    pol.retryIntervalMs = policy.retryIntervalMs > 0 ? policy.retryIntervalMs : 0;
    pol.stallAfterMs = policy.stallAfterMs > 0 ? policy.stallAfterMs : 0;
    model.setStallAfterMs(pol.stallAfterMs);
}

LinkKeeper::Policy LinkKeeper::policy() const
{
    std::lock_guard<std::mutex> guard(lock);
    return pol;
}

void LinkKeeper::start()
{
    std::lock_guard<std::mutex> guard(lock);
    model.started(nowMs());
}

void LinkKeeper::stop()
{
    std::lock_guard<std::mutex> guard(lock);
    model.stopped();
}

void LinkKeeper::noteFrame()
{
    lastFrame.store(nowMs() + 1, std::memory_order_relaxed);
}

void LinkKeeper::noteLoss()
{
    std::optional<LinkEvent> e;
    {
        std::lock_guard<std::mutex> guard(lock);
        e = model.lost(QDateTime::currentDateTime());
        if (e) {
            lastAttempt = -1;
            downSince = nowMs();
        }
    }
    emitEvent(e);
}

void LinkKeeper::noteReconnect()
{
    std::optional<LinkEvent> e;
    {
        std::lock_guard<std::mutex> guard(lock);
        e = model.reopened(nowMs(), QDateTime::currentDateTime(),
                           QStringLiteral("CameraReconnect: the driver reopened the camera"));
    }
    // The driver's reopening applies the colour choice but sends no exposure.
    const SettingsLoad::ExposureSelection chosen = SettingsLoad::selectStoredExposure(cam);
    {
        std::lock_guard<std::mutex> guard(lock);
        reopened = chosen;
        ++reopenCount;
    }
    emitEvent(e);
}

bool LinkKeeper::retryNow()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (model.state() == LinkState::Open)
            return false;
        lastAttempt = nowMs();
    }
    cam->restartCamera();
    if (cam->cameraSerial() == QLatin1String("-1"))
        return false;
    // Open again, but restartCamera leaves the colour choice and the exposure
    // unsent: the Apply step sends what the settings show.
    const SettingsLoad::ExposureSelection chosen = SettingsLoad::apply(cam);
    std::optional<LinkEvent> e;
    {
        std::lock_guard<std::mutex> guard(lock);
        reopened = chosen;
        ++reopenCount;
        e = model.reopened(nowMs(), QDateTime::currentDateTime(),
                           QStringLiteral("reopened by the host's retry (restartCamera)"));
    }
    emitEvent(e);
    return true;
}

LinkStatus LinkKeeper::status() const
{
    std::lock_guard<std::mutex> guard(lock);
    return model.status();
}

int LinkKeeper::nextRetryInMs() const
{
    std::lock_guard<std::mutex> guard(lock);
    if (model.state() == LinkState::Open || pol.retryIntervalMs <= 0)
        return -1;
    const qint64 from = lastAttempt >= 0 ? lastAttempt : downSince;
    return int(std::max<qint64>(0, from + pol.retryIntervalMs - nowMs()));
}

SettingsLoad::ExposureSelection LinkKeeper::reopenSelection() const
{
    std::lock_guard<std::mutex> guard(lock);
    return reopened;
}

int LinkKeeper::reopenings() const
{
    std::lock_guard<std::mutex> guard(lock);
    return reopenCount;
}

void LinkKeeper::look()
{
    const qint64 now = nowMs();
    const qint64 frameAt = lastFrame.load(std::memory_order_relaxed) - 1;
    bool checkStall = false;
    bool retry = false;
    std::optional<LinkEvent> e;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (frameAt >= 0 && frameAt + 1 != seenFrame) {
            seenFrame = frameAt + 1;
            if (model.state() != LinkState::Lost)
                e = model.frame(frameAt, QDateTime::currentDateTime());
        }
        checkStall = model.stallDue(now);
        if (model.state() != LinkState::Open && pol.retryIntervalMs > 0) {
            const qint64 from = lastAttempt >= 0 ? lastAttempt : downSince;
            retry = now - from >= pol.retryIntervalMs;
        }
    }
    emitEvent(e);
    if (checkStall) {
        // A camera in trigger mode sends nothing until triggered: not a stall.
        const bool expecting = cam->cameraSerial() != QLatin1String("-1") && cam->isContinueCapture();
        std::optional<LinkEvent> s;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (expecting) {
                s = model.stalled(now, QDateTime::currentDateTime());
                if (s) {
                    lastAttempt = -1;
                    downSince = now;
                }
            } else {
                model.notExpecting(now);
            }
        }
        emitEvent(s);
    }
    if (retry)
        retryNow();
}

void LinkKeeper::emitEvent(const std::optional<LinkEvent> &e)
{
    if (e && sink)
        sink(*e);
}
