#include "simcore.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vdsim {
namespace {

// Records, with mu held, that a callback of h runs on this thread, so that a
// call made from inside it does not wait for itself. Kept per handle rather
// than in thread-local storage, which a library loaded at run time gets only
// dynamically, and which leak checkers walk unreliably.
void enterCallback(Handle &h, bool status)
{
    h.running.push_back({std::this_thread::get_id(), status});
}

void leaveCallback(Handle &h, bool status)
{
    const auto me = std::this_thread::get_id();
    for (auto it = h.running.rbegin(); it != h.running.rend(); ++it) {
        if (it->first == me && it->second == status) {
            h.running.erase(std::next(it).base());
            return;
        }
    }
}

bool loadFile(const std::string &path, Population &p, std::string &error)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path;
        return false;
    }
    return parsePopulation(f.readAll().toStdString(), p, error);
}

} // namespace

Simulator &Simulator::instance()
{
    // Never destroyed: SDK threads may still run while the process exits.
    static Simulator *s = new Simulator;
    return *s;
}

Simulator::Simulator()
{
    Population p = defaultPopulation();
    if (const char *path = std::getenv("VDCAMSDK_SIM_CONFIG"); path && *path) {
        Population fromFile;
        std::string error;
        if (loadFile(path, fromFile, error))
            p = std::move(fromFile);
        else
            std::fprintf(stderr, "VDCAMSDK simulator: configuration %s unusable (%s); using the default cameras\n",
                         path, error.c_str());
    }
    applyPopulation(p);
}

bool Simulator::countCall(const char *function, VdStatus &failure)
{
    std::lock_guard<std::mutex> lk(countersMu);
    ++counts[function];
    auto it = failures.find(function);
    if (it == failures.end())
        return false;
    failure = it->second;
    failures.erase(it);
    return true;
}

void Simulator::failNext(const std::string &function, int status)
{
    std::lock_guard<std::mutex> lk(countersMu);
    failures[function] = status;
}

int Simulator::callCount(const std::string &function)
{
    std::lock_guard<std::mutex> lk(countersMu);
    auto it = counts.find(function);
    return it == counts.end() ? 0 : it->second;
}

void Simulator::resetCounters()
{
    std::lock_guard<std::mutex> lk(countersMu);
    counts.clear();
    failures.clear();
}

void Simulator::sdkInit()
{
    std::lock_guard<std::mutex> lk(mu);
    if (initialised)
        return;
    initialised = true;
    eventEpoch = Clock::now();
    eventThread = std::thread([this] { eventLoop(); });
    eventThread.detach();
}

void Simulator::applyPopulation(const Population &p)
{
    std::lock_guard<std::mutex> lk(mu);
    for (auto &d : devices) {
        d->removed = true;
        cutDevice(*d);
    }
    devices.clear();
    const auto now = Clock::now();
    for (const DeviceConfig &c : p.devices) {
        auto d = std::make_shared<Device>();
        d->cfg = c;
        d->key = nextKey++;
        d->attached = c.attached;
        d->attachedAt = now;
        d->triggerMode = c.triggerMode;
        d->mediaType = c.mono ? VD_MEDIA_MONO : VD_MEDIA_COLOR;
        d->ispOutFormat = c.mono ? VD_PIXEL_MONO8 : VD_PIXEL_RGB8;
        d->exposureTime = c.exposureMin * c.lineTimeUs;
        devices.push_back(std::move(d));
    }
    events = p.events;
    nextEvent = 0;
    // Before the first VdSdkInit the clock starts there; afterwards, now.
    eventEpoch = now;
    eventCv.notify_all();
}

std::shared_ptr<Device> Simulator::findDevice(const std::string &serial) const
{
    for (const auto &d : devices)
        if (d->cfg.serialNumber == serial)
            return d;
    return nullptr;
}

VdStatus Simulator::lookup(int id, std::shared_ptr<Handle> &h) const
{
    if (!initialised)
        return VD_ERR_NOT_INITIALISED;
    auto it = handles.find(id);
    if (it != handles.end()) {
        h = it->second;
        return VD_OK;
    }
    if (id > 0 && id <= lastHandle) {
        ++releasedHandleCalls;
        return VD_ERR_BAD_HANDLE;
    }
    return VD_ERR_NOT_INITIALISED;
}

VdStatus Simulator::lookupReachable(int id, std::shared_ptr<Handle> &h) const
{
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    return h->dev->reachable() ? VD_OK : VD_ERR_LINK_DOWN;
}

int Simulator::ownCallbacks(const Handle *h, bool status)
{
    const auto me = std::this_thread::get_id();
    return int(std::count_if(h->running.begin(), h->running.end(),
                             [&](const std::pair<std::thread::id, bool> &r) {
                                 return r.first == me && r.second == status;
                             }));
}

void Simulator::haltAcquisition(Handle &h)
{
    ++h.session;
    h.playing = false;
    h.pendingTriggers = 0;
    if (h.acqThread.joinable())
        h.finished.push_back(std::move(h.acqThread));
    h.cv.notify_all();
}

void Simulator::drainFrames(std::unique_lock<std::mutex> &lk, Handle &h)
{
    const int own = ownCallbacks(&h, false);
    h.cv.wait(lk, [&] { return h.frameInFlight <= own; });
}

void Simulator::reap(std::unique_lock<std::mutex> &lk, std::vector<std::thread> threads)
{
    if (threads.empty())
        return;
    lk.unlock();
    for (std::thread &t : threads) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();   // exits by itself once the callback on it returns
        else if (t.joinable())
            t.join();
    }
    lk.lock();
}

// Link gone for whatever reason: frames stop at once; a callback already
// running finishes on its own.
void Simulator::cutDevice(Device &d)
{
    if (d.openHandle == 0)
        return;
    auto it = handles.find(d.openHandle);
    if (it != handles.end())
        haltAcquisition(*it->second);
}

VdStatus Simulator::open(const std::string &serial, int &id)
{
    std::unique_lock<std::mutex> lk(mu);
    if (!initialised)
        return VD_ERR_NOT_INITIALISED;
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d || !d->reachable())
        return VD_ERR_NO_DEVICE;
    if (d->openHandle != 0)
        return VD_ERR_BUSY;
    auto h = std::make_shared<Handle>();
    h->id = ++lastHandle;
    h->dev = d;
    h->statusThread = std::thread([this, h] { statusLoop(h); });
    d->openHandle = h->id;
    handles[h->id] = h;
    id = h->id;
    return VD_OK;
}

VdStatus Simulator::unInit(int id)
{
    std::unique_lock<std::mutex> lk(mu);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    if (h->closed)
        return VD_ERR_BAD_HANDLE;   // another thread is closing it
    // Nothing new starts from here on; callbacks already running may still
    // use the handle (process, release) until they return.
    h->closed = true;
    h->frameCb = nullptr;
    h->frameCtx = nullptr;
    h->statusCb = nullptr;
    h->statusCtx = nullptr;
    h->statusStop = true;
    haltAcquisition(*h);
    const int ownFrames = ownCallbacks(h.get(), false);
    const int ownStatus = ownCallbacks(h.get(), true);
    h->cv.wait(lk, [&] { return h->frameInFlight <= ownFrames && h->statusInFlight <= ownStatus; });
    handles.erase(id);
    for (RawBuffer &b : h->pool) {
        if (b.lent) {
            b.lent = false;
            --outstanding;
        }
    }
    if (h->dev->openHandle == id)
        h->dev->openHandle = 0;
    std::vector<std::thread> threads = std::move(h->finished);
    h->finished.clear();
    if (h->statusThread.joinable())
        threads.push_back(std::move(h->statusThread));
    reap(lk, std::move(threads));
    return VD_OK;
}

VdStatus Simulator::play(int id)
{
    std::unique_lock<std::mutex> lk(mu);
    std::shared_ptr<Handle> h;
    VdStatus st = lookupReachable(id, h);
    if (st != VD_OK)
        return st;
    if (h->closed)
        return VD_ERR_BAD_HANDLE;
    if (h->playing)
        return VD_OK;
    std::vector<std::thread> old = std::move(h->finished);
    h->finished.clear();
    reap(lk, std::move(old));
    // The lock was released while joining: look again.
    st = lookupReachable(id, h);
    if (st != VD_OK)
        return st;
    if (h->closed)
        return VD_ERR_BAD_HANDLE;
    if (h->playing)
        return VD_OK;
    ++h->session;
    h->playing = true;
    h->pendingTriggers = 0;
    h->frameCounter = 0;
    const uint64_t session = h->session;
    h->acqThread = std::thread([this, h, session] { acquisitionLoop(h, session); });
    return VD_OK;
}

VdStatus Simulator::stop(int id)
{
    std::unique_lock<std::mutex> lk(mu);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    haltAcquisition(*h);
    drainFrames(lk, *h);
    std::vector<std::thread> old = std::move(h->finished);
    h->finished.clear();
    reap(lk, std::move(old));
    return VD_OK;
}

VdStatus Simulator::releaseBuffer(int id, unsigned char *raw)
{
    std::lock_guard<std::mutex> lk(mu);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    for (RawBuffer &b : h->pool) {
        if (b.lent && b.data.get() == raw) {
            b.lent = false;
            --outstanding;
            h->cv.notify_all();
            return VD_OK;
        }
    }
    return VD_ERR_BAD_ARGUMENT;
}

int Simulator::deliver(std::unique_lock<std::mutex> &lk, const std::shared_ptr<Handle> &h, const VdSimFrame *ov,
                       const uint64_t *session)
{
    Device &d = *h->dev;
    auto current = [&] {
        return !h->closed && h->frameCb && d.reachable() && (!session || *session == h->session);
    };
    if (!current())
        return h->closed ? VD_ERR_BAD_HANDLE : !d.reachable() ? VD_ERR_LINK_DOWN : VD_ERR_BAD_ARGUMENT;
    RawBuffer *b = nullptr;
    for (RawBuffer &candidate : h->pool) {
        if (!candidate.lent && candidate.busy == 0) {
            b = &candidate;
            break;
        }
    }
    if (!b) {
        ++d.framesSkipped;
        return VD_ERR_BUSY;
    }
    const int w = d.cfg.sensorWidth;
    const int ht = d.cfg.frameHeight;
    const size_t rawSize = size_t(w) * size_t(ht);
    if (!b->data) {
        b->data.reset(new unsigned char[rawSize]);
        b->size = rawSize;
    }
    b->lent = true;
    ++b->busy;
    ++outstanding;
    const uint32_t frameId = ++h->frameCounter;
    b->frameId = frameId;
    b->width = w;
    b->height = ht;
    b->mono = d.cfg.mono;
    b->format = d.ispOutFormat;
    b->flags = ov ? ov->flags : 0;
    b->processStatus = ov ? ov->processStatus : 0;
    b->byteCountAfterProcess = ov ? ov->byteCountAfterProcess : 0;

    VdFrameHead head{};
    head.frameId = frameId;
    head.width = w;
    head.height = ht;
    head.pixelFormat = b->format;
    head.byteCount = uint32_t(rawSize * bytesPerPixel(b->format));
    head.rawByteCount = uint32_t(rawSize);
    head.rawFormat = d.cfg.mono ? 0 : 1;
    head.timeStamp = uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - d.attachedAt).count());
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
    unsigned char *data = b->data.get();

    lk.unlock();
    fillPattern(data, w, ht, frameId);
    lk.lock();
    --b->busy;

    if (!current()) {
        if (b->lent) {
            b->lent = false;
            --outstanding;
        }
        h->cv.notify_all();
        return h->closed ? VD_ERR_BAD_HANDLE : !d.reachable() ? VD_ERR_LINK_DOWN : VD_ERR_BAD_ARGUMENT;
    }
    VdFrameCallback cb = h->frameCb;
    void *ctx = h->frameCtx;
    ++h->frameInFlight;
    ++d.framesDelivered;
    enterCallback(*h, false);
    lk.unlock();
    try {
        cb(h->id, data, &head, ctx);
    } catch (...) {
    }
    lk.lock();
    leaveCallback(*h, false);
    --h->frameInFlight;
    h->cv.notify_all();
    return VD_OK;
}

void Simulator::acquisitionLoop(std::shared_ptr<Handle> h, uint64_t session)
{
    try {
        std::unique_lock<std::mutex> lk(mu);
        Clock::time_point next = Clock::now();
        while (h->session == session && !h->closed) {
            Device &d = *h->dev;
            if (d.triggerMode == VD_TRIGGER_SOFTWARE) {
                if (h->pendingTriggers == 0) {
                    h->cv.wait(lk);
                    continue;
                }
                --h->pendingTriggers;
                deliver(lk, h, nullptr, &session);
                next = Clock::now();
                continue;
            }
            if (d.cfg.frameRate > 0) {
                const auto now = Clock::now();
                if (now < next) {
                    h->cv.wait_until(lk, next);
                    continue;
                }
                const auto period = std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(1.0 / d.cfg.frameRate));
                next += period;
                if (next < now)
                    next = now + period;   // a slow consumer gets no burst of late frames
                deliver(lk, h, nullptr, &session);
                continue;
            }
            // As fast as the consumer takes them: wait for a callback and a free buffer.
            const bool freeBuffer = std::any_of(std::begin(h->pool), std::end(h->pool),
                                                [](const RawBuffer &b) { return !b.lent && b.busy == 0; });
            if (!h->frameCb || !freeBuffer) {
                h->cv.wait(lk);
                continue;
            }
            deliver(lk, h, nullptr, &session);
        }
    } catch (...) {
    }
}

void Simulator::statusLoop(std::shared_ptr<Handle> h)
{
    try {
        std::unique_lock<std::mutex> lk(mu);
        for (;;) {
            h->cv.wait(lk, [&] { return h->statusStop || !h->statusQueue.empty(); });
            if (h->statusStop)
                return;
            const auto msg = h->statusQueue.front();
            h->statusQueue.pop_front();
            if (!h->statusCb)
                continue;
            VdConnectionStatusCallback cb = h->statusCb;
            void *ctx = h->statusCtx;
            ++h->statusInFlight;
            enterCallback(*h, true);
            lk.unlock();
            try {
                cb(h->id, msg.first, msg.second, ctx);
            } catch (...) {
            }
            lk.lock();
            leaveCallback(*h, true);
            --h->statusInFlight;
            h->cv.notify_all();
        }
    } catch (...) {
    }
}

void Simulator::eventLoop()
{
    try {
        std::unique_lock<std::mutex> lk(mu);
        for (;;) {
            if (nextEvent >= events.size()) {
                eventCv.wait(lk);
                continue;
            }
            const EventConfig e = events[nextEvent];
            const auto due = eventEpoch + std::chrono::milliseconds(e.atMs);
            if (Clock::now() < due) {
                eventCv.wait_until(lk, due);
                continue;
            }
            ++nextEvent;
            lk.unlock();
            switch (e.kind) {
            case EventKind::LinkLost:
                linkLost(e.serialNumber, e.powerLost ? 1 : 0);
                break;
            case EventKind::LinkRestored:
                linkRestored(e.serialNumber);
                break;
            case EventKind::Detach:
                setAttached(e.serialNumber, false);
                break;
            case EventKind::Attach:
                setAttached(e.serialNumber, true);
                break;
            }
            lk.lock();
        }
    } catch (...) {
    }
}

int Simulator::linkLost(const std::string &serial, unsigned powerLost)
{
    std::lock_guard<std::mutex> lk(mu);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    const bool wasUp = d->linkUp;
    d->linkUp = false;
    cutDevice(*d);
    if (wasUp && d->openHandle != 0) {
        Handle &h = *handles.at(d->openHandle);
        h.statusQueue.emplace_back(VD_MSG_LINK_LOST, powerLost ? 1u : 0u);
        h.cv.notify_all();
    }
    return VD_OK;
}

int Simulator::linkRestored(const std::string &serial)
{
    std::lock_guard<std::mutex> lk(mu);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    const bool wasDown = !d->linkUp;
    d->linkUp = true;
    if (wasDown && d->openHandle != 0) {
        Handle &h = *handles.at(d->openHandle);
        if (h.statusCb) {
            h.statusQueue.emplace_back(VD_MSG_LINK_RESTORED, 0u);
            h.cv.notify_all();
        }
    }
    return VD_OK;
}

int Simulator::setAttached(const std::string &serial, bool attached)
{
    std::lock_guard<std::mutex> lk(mu);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    if (attached && !d->attached)
        d->attachedAt = Clock::now();
    d->attached = attached;
    if (!attached)
        cutDevice(*d);
    return VD_OK;
}

int Simulator::pushFrame(const std::string &serial, const VdSimFrame *frame)
{
    std::shared_ptr<Handle> h;
    {
        std::lock_guard<std::mutex> lk(mu);
        std::shared_ptr<Device> d = findDevice(serial);
        if (!d)
            return VD_ERR_NO_DEVICE;
        if (d->openHandle == 0)
            return VD_ERR_BAD_HANDLE;
        h = handles.at(d->openHandle);
    }
    const VdSimFrame ov = frame ? *frame : VdSimFrame{};
    int result = VD_ERR_BAD_ARGUMENT;
    std::thread t([&] {
        try {
            std::unique_lock<std::mutex> lk(mu);
            result = deliver(lk, h, frame ? &ov : nullptr, nullptr);
        } catch (...) {
            result = VD_ERR_BAD_ARGUMENT;
        }
    });
    t.join();
    return result;
}

} // namespace vdsim
