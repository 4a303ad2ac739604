#include "sdkthread.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace sdkthread {
namespace {

struct Entry {
    std::thread::id thread;
    const std::atomic<qint32> *cameraOpen;
};

// Kept in one list rather than in thread-local storage, which a library
// loaded at run time gets only dynamically and leak checkers walk unreliably.
struct Registry {
    std::mutex lock;
    std::vector<Entry> entries;  // one per callback in flight
};

Registry &registry()
{
    // Never destroyed: SDK threads may still end callbacks during exit.
    static Registry *r = new Registry;
    return *r;
}

} // namespace

InCallback::InCallback(const std::atomic<qint32> &cameraOpen)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.entries.push_back({std::this_thread::get_id(), &cameraOpen});
}

InCallback::~InCallback()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::thread::id me = std::this_thread::get_id();
    // The innermost mark of this thread is the newest one.
    auto it = std::find_if(r.entries.rbegin(), r.entries.rend(), [me](const Entry &e) { return e.thread == me; });
    if (it != r.entries.rend())
        r.entries.erase(std::next(it).base());
}

bool current()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::thread::id me = std::this_thread::get_id();
    return std::any_of(r.entries.begin(), r.entries.end(), [me](const Entry &e) { return e.thread == me; });
}

bool callerClosing()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::thread::id me = std::this_thread::get_id();
    return std::any_of(r.entries.begin(), r.entries.end(),
                       [me](const Entry &e) { return e.thread == me && e.cameraOpen->load() == 0; });
}

} // namespace sdkthread
