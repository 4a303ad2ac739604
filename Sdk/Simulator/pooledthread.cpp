#include "pooledthread.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace vdsim {

struct PooledThread::Run {
    std::function<void()> work;  // set before the run is handed over
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;           // guarded by lock
};

namespace {

// More idle threads than a process ever runs at once are not kept: one that
// would be the next is ended instead.
constexpr size_t kMaxIdle = 32;

struct Worker {
    std::mutex lock;
    std::condition_variable wake;
    std::shared_ptr<PooledThread::Run> next;  // guarded by lock
    std::thread::id id;                       // written by the worker before it is first idle
};

struct Pool {
    std::mutex lock;
    std::vector<Worker *> idle;
};

Pool &pool()
{
    // Never destroyed: idle threads wait on their workers while the process exits.
    static Pool *p = new Pool;
    return *p;
}

void serve(Worker *w)
{
    w->id = std::this_thread::get_id();
    for (;;) {
        std::shared_ptr<PooledThread::Run> run;
        {
            std::unique_lock<std::mutex> lk(w->lock);
            w->wake.wait(lk, [w] { return w->next != nullptr; });
            run = std::move(w->next);
        }
        {
            // The captures go before the joiner returns, as with a thread that ends.
            std::function<void()> work = std::move(run->work);
            try {
                work();
            } catch (...) {
            }
        }
        // Idle before the joiner hears of the end, so that the session it
        // starts next finds this thread.
        bool keep = false;
        {
            Pool &p = pool();
            std::lock_guard<std::mutex> g(p.lock);
            keep = p.idle.size() < kMaxIdle;
            if (keep)
                p.idle.push_back(w);
        }
        {
            std::lock_guard<std::mutex> g(run->lock);
            run->done = true;
        }
        run->finished.notify_all();
        run.reset();
        if (!keep) {
            delete w;
            return;
        }
    }
}

} // namespace

PooledThread::PooledThread(std::function<void()> work)
    : run_(std::make_shared<Run>())
{
    run_->work = std::move(work);
    Worker *w = nullptr;
    {
        Pool &p = pool();
        std::lock_guard<std::mutex> g(p.lock);
        if (!p.idle.empty()) {
            w = p.idle.back();
            p.idle.pop_back();
        }
    }
    if (w) {
        id_ = w->id;
        {
            std::lock_guard<std::mutex> g(w->lock);
            w->next = run_;
        }
        w->wake.notify_one();
        return;
    }
    auto fresh = std::make_unique<Worker>();
    fresh->next = run_;
    Worker *raw = fresh.get();
    std::thread t([raw] { serve(raw); });  // throws like std::thread; fresh is freed then
    fresh.release();
    id_ = t.get_id();
    t.detach();
}

PooledThread &PooledThread::operator=(PooledThread &&other) noexcept
{
    run_ = std::move(other.run_);
    id_ = other.id_;
    return *this;
}

PooledThread::~PooledThread() = default;

void PooledThread::join()
{
    if (!run_)
        return;
    {
        std::unique_lock<std::mutex> lk(run_->lock);
        run_->finished.wait(lk, [this] { return run_->done; });
    }
    run_.reset();
}

} // namespace vdsim
