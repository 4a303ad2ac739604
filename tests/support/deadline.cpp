#include "deadline.h"

#include <cstdio>
#include <cstdlib>

Deadline::Deadline(std::string what, int ms)
{
    watcher = std::thread([this, what, ms] {
        std::unique_lock<std::mutex> guard(lock);
        if (!disarmed.wait_for(guard, std::chrono::milliseconds(ms), [this] { return done; })) {
            std::fprintf(stderr, "deadline of %d ms exceeded: %s\n", ms, what.c_str());
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
}

Deadline::~Deadline()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
    }
    disarmed.notify_all();
    watcher.join();
}
