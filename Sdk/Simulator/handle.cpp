#include "handle.h"

#include <algorithm>
#include <iterator>

namespace vdsim {

Handle::Handle(int id, std::shared_ptr<Device> device)
    : id_(id)
    , device_(std::move(device))
{
}

VdStatus Handle::setFrameCallback(std::unique_lock<std::mutex> &lk, VdFrameCallback cb, void *ctx,
                                  VdFrameCallback &previous)
{
    if (cb && closed_)
        return VD_ERR_BAD_HANDLE;
    previous = frameCb_;
    frameCb_ = cb;
    frameCtx_ = cb ? ctx : nullptr;
    cv_.notify_all();   // a loop waiting for a consumer may go on
    if (!cb)
        waitForFrameCallbacks(lk);
    return VD_OK;
}

VdStatus Handle::setStatusCallback(std::unique_lock<std::mutex> &lk, VdConnectionStatusCallback cb, void *ctx)
{
    if (cb && closed_)
        return VD_ERR_BAD_HANDLE;
    statusCb_ = cb;
    statusCtx_ = cb ? ctx : nullptr;
    if (!cb) {
        const int own = ownCallbacks(true);
        cv_.wait(lk, [&] { return statusInFlight_ <= own; });
    }
    return VD_OK;
}

void Handle::runFrameCallback(std::unique_lock<std::mutex> &lk, unsigned char *data, VdFrameHead &head)
{
    VdFrameCallback cb = frameCb_;
    void *ctx = frameCtx_;
    ++frameInFlight_;
    enterCallback(false);
    lk.unlock();
    try {
        cb(id_, data, &head, ctx);
    } catch (...) {
    }
    lk.lock();
    leaveCallback(false);
    --frameInFlight_;
    cv_.notify_all();
}

void Handle::runStatusCallback(std::unique_lock<std::mutex> &lk, unsigned int msg, unsigned int param)
{
    VdConnectionStatusCallback cb = statusCb_;
    void *ctx = statusCtx_;
    ++statusInFlight_;
    enterCallback(true);
    lk.unlock();
    try {
        cb(id_, msg, param, ctx);
    } catch (...) {
    }
    lk.lock();
    leaveCallback(true);
    --statusInFlight_;
    cv_.notify_all();
}

void Handle::waitForFrameCallbacks(std::unique_lock<std::mutex> &lk)
{
    const int own = ownCallbacks(false);
    cv_.wait(lk, [&] { return frameInFlight_ <= own; });
}

bool Handle::close(std::unique_lock<std::mutex> &lk)
{
    if (closed_)
        return false;
    // Nothing new starts from here on; callbacks already running may still
    // use the handle (process, release) until they return.
    closed_ = true;
    frameCb_ = nullptr;
    frameCtx_ = nullptr;
    statusCb_ = nullptr;
    statusCtx_ = nullptr;
    status_.stop();
    acquisition_.halt();
    const int ownFrames = ownCallbacks(false);
    const int ownStatus = ownCallbacks(true);
    cv_.wait(lk, [&] { return frameInFlight_ <= ownFrames && statusInFlight_ <= ownStatus; });
    return true;
}

int Handle::ownCallbacks(bool status) const
{
    const auto me = std::this_thread::get_id();
    return int(std::count_if(running_.begin(), running_.end(), [&](const std::pair<std::thread::id, bool> &r) {
        return r.first == me && r.second == status;
    }));
}

void Handle::enterCallback(bool status)
{
    running_.push_back({std::this_thread::get_id(), status});
}

void Handle::leaveCallback(bool status)
{
    const auto me = std::this_thread::get_id();
    for (auto it = running_.rbegin(); it != running_.rend(); ++it) {
        if (it->first == me && it->second == status) {
            running_.erase(std::next(it).base());
            return;
        }
    }
}

bool Handle::hasFreeBuffer() const
{
    return std::any_of(std::begin(pool_), std::end(pool_), [](const RawBuffer &b) { return !b.lent && b.busy == 0; });
}

void Handle::settle(RawBuffer &b)
{
    if (!b.lent && b.busy == 0) {
        b.view = nullptr;
        b.viewOwner.reset();
    }
}

RawBuffer *Handle::lendForFrame(const RawFrame &frame, size_t rawSize, const unsigned char *view,
                                std::shared_ptr<const void> owner)
{
    // Each lent buffer has pixels of its own address: that address is how
    // VdImageProcess finds the frame it holds.
    const bool shared = view && std::any_of(std::begin(pool_), std::end(pool_), [&](const RawBuffer &o) {
        return (o.lent || o.busy != 0) && o.view == view;
    });
    if (shared) {
        view = nullptr;
        owner.reset();
    }
    for (RawBuffer &b : pool_) {
        if (b.lent || b.busy != 0)
            continue;
        b.view = view;
        b.viewOwner = std::move(owner);
        if (!view && (!b.data || b.capacity < rawSize)) {
            b.data.reset(new unsigned char[rawSize]);
            b.capacity = rawSize;
        }
        b.lent = true;
        ++b.busy;
        b.frame = frame;
        return &b;
    }
    return nullptr;
}

void Handle::withdraw(RawBuffer &b)
{
    b.lent = false;   // VdUnInit may have taken it back already
    settle(b);
    cv_.notify_all();
}

RawBuffer *Handle::beginProcessing(const unsigned char *raw, RawFrame &frame)
{
    RawBuffer *found = nullptr;
    for (RawBuffer &b : pool_)
        if (b.lent && pixels(b) == raw)
            found = &b;
    if (!found)
        return nullptr;
    ++found->busy;   // keeps the pixels from being refilled while read
    frame = found->frame;
    return found;
}

void Handle::endProcessing(RawBuffer &b)
{
    --b.busy;
    settle(b);
    cv_.notify_all();
}

bool Handle::release(const unsigned char *raw)
{
    for (RawBuffer &b : pool_) {
        if (b.lent && pixels(b) == raw) {
            b.lent = false;
            settle(b);
            cv_.notify_all();
            return true;
        }
    }
    return false;
}

void Handle::releaseAll()
{
    for (RawBuffer &b : pool_) {
        b.lent = false;
        settle(b);
    }
}

int Handle::lentBuffers() const
{
    return int(std::count_if(std::begin(pool_), std::end(pool_), [](const RawBuffer &b) { return b.lent; }));
}

} // namespace vdsim
