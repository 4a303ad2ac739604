// How often each SDK function was called, and the failures and delays
// planned for the next call of a function.
//
// Threading contract: safe from any thread; its own lock, held only briefly
// and never together with the simulator's, so counting never waits on
// device work.
#ifndef VDSIM_CALLCOUNTERS_H
#define VDSIM_CALLCOUNTERS_H

#include "vdcamsdk.h"

#include <map>
#include <mutex>
#include <string>

namespace vdsim {

class CallCounters
{
public:
    // Counts a call of function; true, with the planned status in failure,
    // if this call is to fail (a planned failure is used once). delayMs
    // receives a delay planned for this call, 0 if none (also used once).
    bool count(const char *function, VdStatus &failure, int &delayMs);
    void failNext(const std::string &function, int status);
    void delayNext(const std::string &function, int ms);
    int calls(const std::string &function) const;
    // Forgets counts and planned failures.
    void reset();

private:
    mutable std::mutex mu_;
    std::map<std::string, int> counts_;     // guarded by mu_
    std::map<std::string, int> failures_;   // guarded by mu_
    std::map<std::string, int> delays_;     // guarded by mu_
};

} // namespace vdsim

#endif
