#include "framepool.h"

#include "alignedmemory.h"
#include "modulepin.h"

#include <mutex>
#include <new>

namespace {
constexpr size_t kAlignment = 64;

// Every matrix made here calls back into this module when it is released,
// possibly after the host has unloaded the plug-in: from the first one on,
// the module stays loaded.
void keepModuleLoaded()
{
    static std::once_flag once;
    std::call_once(once, [] { vdplatform::pinModuleOf(reinterpret_cast<const void *>(&keepModuleLoaded)); });
}
} // namespace

FramePool &FramePool::instance()
{
    // Deliberately leaked: matrices may be released after static destruction.
    static FramePool *pool = new FramePool;
    return *pool;
}

cv::UMatData *FramePool::allocate(int dims, const int *sizes, int type, void *data0, size_t *step,
                                  cv::AccessFlag, cv::UMatUsageFlags) const
{
    size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; --i) {
        if (step) {
            if (data0 && step[i] != cv::Mat::AUTO_STEP)
                total = step[i];
            else
                step[i] = total;
        }
        total *= size_t(sizes[i]);
    }

    keepModuleLoaded();
    void *data = data0;
    if (!data) {
        std::unique_lock<std::mutex> guard(lock);
        for (auto it = idle.rbegin(); it != idle.rend(); ++it) {
            if (it->size == total) {
                data = it->data;
                idleTotal -= it->size;
                idle.erase(std::next(it).base());
                break;
            }
        }
        guard.unlock();
        if (!data) {
            data = vdplatform::alignedAllocate(kAlignment, total);
            if (!data)
                throw std::bad_alloc();
        }
    }
    auto *u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar *>(data);
    u->size = total;
    if (data0)
        u->flags |= cv::UMatData::USER_ALLOCATED;
    return u;
}

bool FramePool::allocate(cv::UMatData *data, cv::AccessFlag, cv::UMatUsageFlags) const
{
    return data != nullptr;
}

void FramePool::deallocate(cv::UMatData *u) const
{
    if (!u)
        return;
    if (!(u->flags & cv::UMatData::USER_ALLOCATED) && u->origdata) {
        std::lock_guard<std::mutex> guard(lock);
        if (u->size <= cap) {
            trimLocked(cap - u->size);
            idle.push_back({u->origdata, u->size});
            idleTotal += u->size;
        } else {
            vdplatform::alignedFree(u->origdata);
        }
        u->origdata = nullptr;
    }
    delete u;
}

void FramePool::trimLocked(size_t limit) const
{
    while (idleTotal > limit && !idle.empty()) {
        idleTotal -= idle.front().size;
        vdplatform::alignedFree(idle.front().data);
        idle.pop_front();
    }
}

cv::Mat FramePool::matrix(int rows, int cols, int type) const
{
    cv::Mat m;
    m.allocator = const_cast<FramePool *>(this);
    m.create(rows, cols, type);
    return m;
}

size_t FramePool::idleBytes() const
{
    std::lock_guard<std::mutex> guard(lock);
    return idleTotal;
}

size_t FramePool::capacity() const
{
    std::lock_guard<std::mutex> guard(lock);
    return cap;
}

void FramePool::setCapacity(size_t bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    cap = bytes;
    trimLocked(cap);
}
