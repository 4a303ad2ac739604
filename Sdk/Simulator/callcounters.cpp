#include "callcounters.h"

namespace vdsim {

bool CallCounters::count(const char *function, VdStatus &failure, int &delayMs)
{
    std::lock_guard<std::mutex> lk(mu_);
    ++counts_[function];
    delayMs = 0;
    auto delay = delays_.find(function);
    if (delay != delays_.end()) {
        delayMs = delay->second;
        delays_.erase(delay);
    }
    auto it = failures_.find(function);
    if (it == failures_.end())
        return false;
    failure = it->second;
    failures_.erase(it);
    return true;
}

void CallCounters::failNext(const std::string &function, int status)
{
    std::lock_guard<std::mutex> lk(mu_);
    failures_[function] = status;
}

void CallCounters::delayNext(const std::string &function, int ms)
{
    std::lock_guard<std::mutex> lk(mu_);
    delays_[function] = ms;
}

int CallCounters::calls(const std::string &function) const
{
    std::lock_guard<std::mutex> lk(mu_);
    auto it = counts_.find(function);
    return it == counts_.end() ? 0 : it->second;
}

void CallCounters::reset()
{
    std::lock_guard<std::mutex> lk(mu_);
    counts_.clear();
    failures_.clear();
    delays_.clear();
}

} // namespace vdsim
