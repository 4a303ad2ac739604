#include "simthreads.h"

#include "handle.h"
#include "replay.h"
#include "scene.h"

#include "modulepin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace vdsim {

namespace {
// Any object of this library, to name it to the loader.
const char kThisLibrary = 0;
} // namespace

void Acquisition::start(std::mutex &mu, std::shared_ptr<Handle> self)
{
    ++session_;
    playing_ = true;
    pendingTriggers_ = 0;
    frameCounter_ = 0;
    started_ = Clock::now();
    const DeviceConfig &c = h_.device().config();
    trigger_ = c.encoder ? std::make_unique<LineTrigger>(c.web, c.linesPerMm) : nullptr;
    gathered_.clear();
    held_.reset();
    flushRequested_ = false;
    h_.device().replayStarted();
    const uint64_t session = session_;
    thread_ = PooledThread([&mu, self, session] { self->acquisition().run(mu, session); });
}

void Acquisition::halt()
{
    ++session_;
    playing_ = false;
    pendingTriggers_ = 0;
    flushRequested_ = false;
    if (thread_.joinable())
        stopped_.push_back(std::move(thread_));
    h_.wake();
}

std::vector<PooledThread> Acquisition::takeStopped()
{
    std::vector<PooledThread> threads = std::move(stopped_);
    stopped_.clear();
    return threads;
}

int Acquisition::deliver(std::unique_lock<std::mutex> &lk, const VdSimFrame *ov, const uint64_t *session,
                         const LineBatch *lines)
{
    Device &d = h_.device();
    auto current = [&] {
        return !h_.closed() && h_.hasFrameCallback() && d.reachable() && (!session || *session == session_);
    };
    auto refusal = [&] {
        return h_.closed() ? VD_ERR_BAD_HANDLE : !d.reachable() ? VD_ERR_LINK_DOWN : VD_ERR_BAD_ARGUMENT;
    };
    if (!current())
        return refusal();
    if (!h_.hasFreeBuffer()) {
        d.countSkipped();
        return VD_ERR_BUSY;
    }
    const DeviceConfig &c = d.config();   // never changes; read below without the lock
    RawFrame frame;
    frame.mono = c.mono;
    int w = c.sensorWidth;
    int ht = lines ? int(lines->positions.size()) : c.frameHeight;
    size_t rawSize = size_t(w) * size_t(ht);
    const ReplayFrame *replayed = nullptr;
    if (c.replay) {
        if (replayExhausted())
            return VD_ERR_BAD_ARGUMENT;
        replayed = &c.replay->frames[frameCounter_ % c.replay->frames.size()];
        w = replayed->width;
        ht = replayed->height;
        const int channels = c.mono ? 1 : replayed->channels;
        frame.mono = channels == 1;
        frame.rgb = channels == 3;
        frame.stamp = false;
        rawSize = size_t(w) * size_t(ht) * size_t(channels);
    }
    std::shared_ptr<const SceneRender> render;
    SceneLook look;
    bool mirrorY = false;
    if (c.sceneImage) {
        look = d.sceneLook();
        mirrorY = d.mirrorY();
        if (d.sceneRender() && d.sceneRender()->look() == look)
            render = d.sceneRender();
    }
    frame.frameId = ++frameCounter_;
    frame.width = w;
    frame.height = ht;
    frame.format = d.ispOutFormat();
    frame.flags = ov ? ov->flags : 0;
    frame.processStatus = ov ? ov->processStatus : 0;
    frame.byteCountAfterProcess = ov ? ov->byteCountAfterProcess : 0;
    // Where on the web the frame's lines lie: straight on from the frame
    // before, or where the encoder's triggers put them.
    FrameLines where{uint64_t(frame.frameId - 1) * uint64_t(c.frameHeight), nullptr};
    if (lines && !lines->positions.empty()) {
        const auto &p = lines->positions;
        where.first = p.front();
        if (uint64_t(p.back() - p.front()) != uint64_t(p.size() - 1))
            where.positions = p.data();
    }
    // A scene frame that is one stretch of the prepared web is lent from it;
    // the first frame after a change of look is drawn while the web is made.
    const unsigned char *view = render ? render->view(ht, where, c.speed, mirrorY) : nullptr;
    RawBuffer &b = *h_.lendForFrame(frame, rawSize, view, render);
    const bool lentFromWeb = b.view != nullptr;

    VdFrameHead head{};
    head.frameId = frame.frameId;
    head.width = w;
    head.height = ht;
    head.pixelFormat = frame.format;
    head.byteCount = uint32_t(size_t(w) * size_t(ht) * bytesPerPixel(frame.format));
    head.rawByteCount = uint32_t(rawSize);
    head.rawFormat = frame.rgb ? 2 : frame.mono ? 0 : 1;
    head.timeStamp = replayed && replayed->timed ? replayed->timeStamp
                     : lines                     ? lines->timeStamp
                                                 : d.timeStamp(Clock::now());
    if (ov) {
        if (ov->flags & VDSIM_FRAME_WIDTH)
            head.width = ov->width;
        if (ov->flags & VDSIM_FRAME_HEIGHT)
            head.height = ov->height;
        if (ov->flags & VDSIM_FRAME_BYTE_COUNT)
            head.byteCount = ov->byteCount;
        if (ov->flags & VDSIM_FRAME_TIME_STAMP)
            head.timeStamp = ov->timeStamp;
    }
    unsigned char *data = h_.pixels(b);

    lk.unlock();
    std::string failure;
    try {
        if (replayed) {
            cv::Mat m;
            if (readReplayFrame(*replayed, c.mono, m, failure))
                std::memcpy(data, m.data, rawSize);
        } else if (c.sceneImage) {
            if (!render)
                render = std::make_shared<SceneRender>(*c.sceneImage, w, c.frameHeight, !c.mono, look,
                                                       c.illumination, c.noise, c.seed);
            if (!lentFromWeb)
                render->fill(data, ht, where, frame.frameId, c.speed, mirrorY);
        } else {
            fillPattern(data, w, ht, frame.frameId);
        }
    } catch (const std::exception &e) {
        failure = e.what();
    }
    lk.lock();
    h_.filled(b);
    if (render)
        d.keepSceneRender(render);
    if (replayed)
        d.replayPlayed(frameCounter_, replayExhausted());

    if (!failure.empty()) {
        // The frame is lost, as a camera's would be; its id stays used.
        std::fprintf(stderr, "VDCAMSDK simulator: camera %s: %s; frame %u not delivered\n",
                     c.serialNumber.c_str(), failure.c_str(), frame.frameId);
        h_.withdraw(b);
        d.countSkipped();
        return VD_ERR_INTERNAL;
    }
    if (!current()) {
        h_.withdraw(b);
        return refusal();
    }
    d.countDelivered();
    if (lines && ht < c.frameHeight)
        d.countPartial();
    h_.runFrameCallback(lk, data, head);
    return VD_OK;
}

bool Acquisition::replayExhausted() const
{
    const DeviceConfig &c = h_.device().config();
    return c.replay && !c.loop && frameCounter_ >= c.replay->frames.size();
}

double Acquisition::recordedGap() const
{
    const DeviceConfig &c = h_.device().config();
    const auto &frames = c.replay->frames;
    const size_t i = frameCounter_ % frames.size();
    if (i + 1 >= frames.size())   // the last frame: a loop starts again after one frame time
        return c.frameRate > 0 ? 1.0 / c.frameRate : 0.0;
    const int64_t ms = int64_t(frames[i + 1].timeStamp) - int64_t(frames[i].timeStamp);
    return double(std::clamp<int64_t>(ms, 0, 60000)) / 1000.0;
}

void Acquisition::run(std::mutex &mu, uint64_t session)
{
    try {
        std::unique_lock<std::mutex> lk(mu);
        // A replay's first frame, like a camera's, comes a frame's time
        // after VdPlay: a host that starts counting right after starting
        // the camera sees the whole recording.
        const DeviceConfig &c = h_.device().config();
        Clock::time_point next = Clock::now();
        if (c.replay)
            next += std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(c.frameRate > 0 ? 1.0 / c.frameRate : 0.05));
        while (session_ == session && !h_.closed()) {
            const Device &d = h_.device();
            if (flushRequested_) {
                sendGathered(lk, session, sinceStart(Clock::now()));
                held_.reset();
                flushRequested_ = false;
                h_.wake();
                continue;
            }
            if (d.triggerMode() == VD_TRIGGER_SOFTWARE) {
                gathered_.clear();   // lines of the other mode are lost with it
                held_.reset();
                if (pendingTriggers_ == 0) {
                    h_.wait(lk);
                    continue;
                }
                --pendingTriggers_;
                deliver(lk, nullptr, &session);
                next = Clock::now();
                continue;
            }
            if (trigger_) {
                runEncoder(lk, session);
                continue;
            }
            if (replayExhausted()) {
                h_.wait(lk);   // until stopped
                continue;
            }
            const double rate = d.config().frameRate;
            const bool recordedPace = d.config().replay && d.config().pace == Pace::Recorded;
            if (rate > 0 || recordedPace) {
                const auto now = Clock::now();
                if (now < next) {
                    h_.waitUntil(lk, next);
                    continue;
                }
                // A drawn frame takes its lines, each at least the line period long.
                const double seconds =
                    recordedPace ? recordedGap()
                    : d.config().replay
                        ? 1.0 / rate
                        : std::max(1.0 / rate, d.config().frameHeight * d.linePeriodUs() * 1e-6);
                const auto period =
                    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
                next += period;
                if (next < now)
                    next = now + period;   // a slow consumer gets no burst of late frames
                deliver(lk, nullptr, &session);
                continue;
            }
            // As fast as the consumer takes them: wait for a callback and a free buffer.
            if (!h_.hasFrameCallback() || !h_.hasFreeBuffer()) {
                h_.wait(lk);
                continue;
            }
            deliver(lk, nullptr, &session);
        }
    } catch (...) {
    }
}

void StatusSender::start(std::mutex &mu, std::shared_ptr<Handle> self)
{
    thread_ = PooledThread([&mu, self] { self->status().run(mu); });
}

void StatusSender::post(unsigned int msg, unsigned int param)
{
    queue_.emplace_back(msg, param);
    h_.wake();
}

void StatusSender::stop()
{
    stop_ = true;
    h_.wake();
}

void StatusSender::run(std::mutex &mu)
{
    try {
        std::unique_lock<std::mutex> lk(mu);
        for (;;) {
            while (!stop_ && queue_.empty())
                h_.wait(lk);
            if (stop_)
                return;
            const auto msg = queue_.front();
            queue_.pop_front();
            if (!h_.hasStatusCallback())
                continue;
            h_.runStatusCallback(lk, msg.first, msg.second);
        }
    } catch (...) {
    }
}

EventClock::EventClock(std::mutex &mu, Fire fire)
    : mu_(mu)
    , fire_(std::move(fire))
{
}

void EventClock::start(Clock::time_point epoch)
{
    epoch_ = epoch;
    // The clock's thread runs for the rest of the process: the library must
    // stay mapped under it, even when whoever loaded it unloads it.
    vdplatform::pinModuleOf(&kThisLibrary);
    std::thread([this] { run(); }).detach();
}

void EventClock::replace(std::vector<EventConfig> events, Clock::time_point epoch)
{
    events_ = std::move(events);
    next_ = 0;
    epoch_ = epoch;
    cv_.notify_all();
}

void EventClock::run()
{
    try {
        std::unique_lock<std::mutex> lk(mu_);
        for (;;) {
            if (next_ >= events_.size()) {
                cv_.wait(lk);
                continue;
            }
            const EventConfig e = events_[next_];
            const auto due = epoch_ + std::chrono::milliseconds(e.atMs);
            if (Clock::now() < due) {
                cv_.wait_until(lk, due);
                continue;
            }
            ++next_;
            lk.unlock();
            fire_(e);
            lk.lock();
        }
    } catch (...) {
    }
}

void joinOrDetach(std::unique_lock<std::mutex> &lk, std::vector<PooledThread> threads)
{
    if (threads.empty())
        return;
    lk.unlock();
    for (PooledThread &t : threads) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();   // exits by itself once the callback on it returns
        else if (t.joinable())
            t.join();
    }
    lk.lock();
}

} // namespace vdsim
