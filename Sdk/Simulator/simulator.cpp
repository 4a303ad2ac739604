// The simulator's population, its handle table, and the life of a handle
// from VdInit to VdUnInit.
#include "simulator.h"

#include "handle.h"

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

namespace vdsim {

std::string Simulator::configureError()
{
    std::lock_guard<std::mutex> lk(errorMu_);
    return configureError_;
}

void Simulator::setConfigureError(const std::string &error)
{
    std::lock_guard<std::mutex> lk(errorMu_);
    configureError_ = error;
    // Any configuration applied replaces the empty population.
    if (error.empty())
        populationError_.clear();
}

Simulator &Simulator::instance()
{
    // Never destroyed: SDK threads may still run while the process exits.
    static Simulator *s = new Simulator;
    return *s;
}

Simulator::Simulator()
    : clock_(mu_, [this](const EventConfig &e) { fire(e); })
{
    // The default cameras only when no configuration was named: a named one
    // that cannot be used leaves no camera rather than other ones.
    Population p;
    if (const char *path = std::getenv("VDCAMSDK_SIM_CONFIG"); path && *path) {
        std::string error;
        if (!loadPopulationFile(path, p, error)) {
            const std::string why = std::string("configuration ") + path + " unusable: " + error;
            setConfigureError(error);
            populationError_ = why;
            std::fprintf(stderr, "VDCAMSDK simulator: %s; no cameras\n", why.c_str());
            p = Population();
        }
    } else {
        p = defaultPopulation();
    }
    applyPopulation(p);
}

std::string Simulator::populationError()
{
    std::lock_guard<std::mutex> lk(errorMu_);
    return populationError_;
}

void Simulator::sdkInit()
{
    std::lock_guard<std::mutex> lk(mu_);
    if (initialised_)
        return;
    initialised_ = true;
    clock_.start(Clock::now());
}

void Simulator::applyPopulation(const Population &p)
{
    std::lock_guard<std::mutex> lk(mu_);
    for (auto &d : devices_) {
        d->remove();
        cutDevice(*d);
    }
    devices_.clear();
    const auto now = Clock::now();
    for (const DeviceConfig &c : p.devices)
        devices_.push_back(std::make_shared<Device>(c, nextKey_++, now));
    // Before the first VdSdkInit the clock starts there; afterwards, now.
    clock_.replace(p.events, now);
}

VdStatus Simulator::enumerate(VdDeviceInfo *records, int capacity, int &written)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (!initialised_)
        return VD_ERR_NOT_INITIALISED;
    written = 0;
    for (const auto &d : devices_) {
        if (written >= capacity)
            break;
        if (!d->reachable())
            continue;
        d->describe(written, records[written]);
        ++written;
    }
    return VD_OK;
}

std::shared_ptr<Device> Simulator::findDevice(const std::string &serial) const
{
    for (const auto &d : devices_)
        if (d->serialNumber() == serial)
            return d;
    return nullptr;
}

VdStatus Simulator::lookup(int id, std::shared_ptr<Handle> &h) const
{
    if (!initialised_)
        return VD_ERR_NOT_INITIALISED;
    auto it = handles_.find(id);
    if (it != handles_.end()) {
        h = it->second;
        return VD_OK;
    }
    if (id > 0 && id <= lastHandle_) {
        ++releasedHandleCalls_;
        return VD_ERR_BAD_HANDLE;
    }
    return VD_ERR_NOT_INITIALISED;
}

VdStatus Simulator::lookupReachable(int id, std::shared_ptr<Handle> &h) const
{
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    return h->device().reachable() ? VD_OK : VD_ERR_LINK_DOWN;
}

// A callback already running finishes on its own.
void Simulator::cutDevice(Device &d)
{
    if (d.openHandle() == 0)
        return;
    auto it = handles_.find(d.openHandle());
    if (it != handles_.end())
        it->second->acquisition().halt();
}

VdStatus Simulator::open(const std::string &serial, int &id)
{
    std::lock_guard<std::mutex> lk(mu_);
    if (!initialised_)
        return VD_ERR_NOT_INITIALISED;
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d || !d->reachable())
        return VD_ERR_NO_DEVICE;
    if (d->openHandle() != 0)
        return VD_ERR_BUSY;
    auto h = std::make_shared<Handle>(lastHandle_ + 1, d);
    ++lastHandle_;
    h->status().start(mu_, h);
    d->setOpenHandle(h->id());
    handles_[h->id()] = h;
    id = h->id();
    return VD_OK;
}

VdStatus Simulator::unInit(int id)
{
    std::unique_lock<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    if (!h->close(lk))
        return VD_ERR_BAD_HANDLE;   // another thread is closing it
    handles_.erase(id);
    h->releaseAll();
    if (h->device().openHandle() == id)
        h->device().setOpenHandle(0);
    std::vector<PooledThread> threads = h->acquisition().takeStopped();
    PooledThread status = h->status().takeThread();
    if (status.joinable())
        threads.push_back(std::move(status));
    joinOrDetach(lk, std::move(threads));
    return VD_OK;
}

VdStatus Simulator::setFrameCallback(int id, VdFrameCallback cb, void *ctx, VdFrameCallback &previous)
{
    std::unique_lock<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    return h->setFrameCallback(lk, cb, ctx, previous);
}

VdStatus Simulator::setStatusCallback(int id, VdConnectionStatusCallback cb, void *ctx)
{
    std::unique_lock<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    return h->setStatusCallback(lk, cb, ctx);
}

VdStatus Simulator::play(int id)
{
    std::unique_lock<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    VdStatus st = lookupReachable(id, h);
    if (st != VD_OK)
        return st;
    if (h->closed())
        return VD_ERR_BAD_HANDLE;
    if (h->acquisition().playing())
        return VD_OK;
    // Loops of sessions a loss or an unplug ended are let go, not waited
    // for: one may still be inside a frame callback that waits for a lock
    // the caller holds. They leave once that callback returns, and VdStop
    // and VdUnInit still wait for every callback of the handle.
    h->acquisition().takeStopped();
    h->acquisition().start(mu_, h);
    return VD_OK;
}

VdStatus Simulator::stop(int id)
{
    std::unique_lock<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    // The lines of a frame under way go out before acquisition ends, as a
    // line-scan camera sends them.
    h->acquisition().flush(lk);
    h->acquisition().halt();
    h->waitForFrameCallbacks(lk);
    joinOrDetach(lk, h->acquisition().takeStopped());
    return VD_OK;
}

VdStatus Simulator::processImage(int id, unsigned char *raw, unsigned char *out, VdFrameHead &head)
{
    std::shared_ptr<Handle> h;
    RawBuffer *b = nullptr;
    RawFrame frame;
    {
        std::lock_guard<std::mutex> lk(mu_);
        const VdStatus st = lookup(id, h);
        if (st != VD_OK)
            return st;
        b = h->beginProcessing(raw, frame);
        if (!b)
            return VD_ERR_BAD_ARGUMENT;
    }
    // The pixels are read without the lock; the buffer stays busy meanwhile.
    struct Done {
        std::mutex &mu;
        Handle &h;
        RawBuffer &b;
        ~Done()
        {
            std::lock_guard<std::mutex> lk(mu);
            h.endProcessing(b);
        }
    } done{mu_, *h, *b};
    return processFrame(frame, raw, out, head);
}

VdStatus Simulator::releaseBuffer(int id, unsigned char *raw)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookup(id, h);
    if (st != VD_OK)
        return st;
    return h->release(raw) ? VD_OK : VD_ERR_BAD_ARGUMENT;
}

int Simulator::outstandingBuffers()
{
    std::lock_guard<std::mutex> lk(mu_);
    int lent = 0;
    for (const auto &entry : handles_)
        lent += entry.second->lentBuffers();
    return lent;
}

} // namespace vdsim
