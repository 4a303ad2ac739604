#include "sdkthread.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace sdkthread {
namespace {

// Kept in one list rather than in thread-local storage, which a library
// loaded at run time gets only dynamically and leak checkers walk unreliably.
struct Registry {
    std::mutex lock;
    std::vector<std::thread::id> threads;  // one entry per callback in flight
};

Registry &registry()
{
    // Never destroyed: SDK threads may still end callbacks during exit.
    static Registry *r = new Registry;
    return *r;
}

} // namespace

InCallback::InCallback()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.threads.push_back(std::this_thread::get_id());
}

InCallback::~InCallback()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = std::find(r.threads.begin(), r.threads.end(), std::this_thread::get_id());
    if (it != r.threads.end())
        r.threads.erase(it);
}

bool current()
{
    Registry &r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return std::find(r.threads.begin(), r.threads.end(), std::this_thread::get_id()) != r.threads.end();
}

} // namespace sdkthread
