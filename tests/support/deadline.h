#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// Ends the test program with a message when the scope is still running at
// its deadline: a call that hangs fails its test instead of stalling the
// whole run, and a hung camera thread could not be cleaned up anyway.
class Deadline
{
public:
    Deadline(std::string what, int ms);
    ~Deadline();
    Deadline(const Deadline &) = delete;
    Deadline &operator=(const Deadline &) = delete;

private:
    std::mutex lock;
    std::condition_variable disarmed;
    bool done = false;
    std::thread watcher;
};
