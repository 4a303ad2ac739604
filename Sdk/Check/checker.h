// The checker: runs the checks in order on one camera and fills the report's
// rows, one file per group of checks. Private to vdcamsdk-check.
#pragma once

#include "session.h"

#include <cstring>
#include <initializer_list>
#include <mutex>
#include <sstream>
#include <string>

namespace vdcheck {
namespace detail {

constexpr int kTableSize = 20;           // the driver's device table

template <size_t N>
std::string fieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

inline std::string seconds(int ms)
{
    std::ostringstream s;
    s << ms / 1000.0 << " s";
    return s.str();
}

// Threading: one Checker per run, used only by the thread that called
// runChecks; it alone writes the report. It reads and writes the session's
// guarded members under s.mu and never holds s.mu while it calls the SDK.
class Checker
{
public:
    Checker(Session &session, Report &report) : s(session), r(report) {}
    // runchecks.cpp
    void run();
    // streamchecks.cpp: the rows that watch every frame of the run.
    void finish();

private:
    Session &s;
    Report &r;
    VdDeviceInfo record{};
    std::string serial;
    int firstCount = 0;
    bool monoSensor = false;
    bool formatSet = false;
    int maxWidth = 0;
    int maxHeight = 0;

    Row &row(Check c) { return r.rows[static_cast<size_t>(c)]; }
    // Notes a call's status on the row; true for success.
    bool ok(Check c, VdStatus st)
    {
        Row &rw = row(c);
        rw.hasStatus = true;
        if (st != VD_OK && rw.status == VD_OK)
            rw.status = st;
        return st == VD_OK;
    }
    // Notes every status (braced lists evaluate in order); true if all succeeded.
    bool okAll(Check c, std::initializer_list<VdStatus> statuses)
    {
        bool all = true;
        for (VdStatus st : statuses)
            all = ok(c, st) && all;
        return all;
    }
    void pass(Check c, const std::string &detail = {})
    {
        Row &rw = row(c);
        if (rw.outcome == Outcome::Fail)
            return;
        rw.outcome = Outcome::Pass;
        rw.detail = detail;
    }
    // The first failure's detail stays.
    void fail(Check c, const std::string &detail)
    {
        Row &rw = row(c);
        if (rw.outcome != Outcome::Fail)
            rw.detail = detail;
        rw.outcome = Outcome::Fail;
    }
    void progress(const std::string &text)
    {
        if (s.opt.progress)
            s.opt.progress(text);
    }

    void setHandle(VdHandle h)
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.handle = h;
        s.framesClosed = false;
        s.statusClosed = false;
    }
    void reopenWindow()
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = false;
    }

    // devicechecks.cpp
    bool enumerate();
    bool open(VdHandle &h, Check openRow, Check registerRow);
    void closeQuietly(VdHandle h);
    bool describeCamera(VdHandle h);

    // streamchecks.cpp
    bool stream(VdHandle h);
    void formats(VdHandle h);
    bool triggers(VdHandle h, int initialMode);

    // quietchecks.cpp
    bool stopping(VdHandle h);
    bool inside(Action a, Check c, const char *call);
    void quietAfter(Check c, VdStatus st, int framesInFlight, long late0, const char *call);

    // replug.cpp
    void interactive();
};

} // namespace detail
} // namespace vdcheck
