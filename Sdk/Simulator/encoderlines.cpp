// The encoder-driven line of an Acquisition: lines gathered as the web's
// run triggers them, frames sent whole or, at a halt or a stop, with the
// lines so far.
#include "simthreads.h"

#include "handle.h"

#include <cmath>

namespace vdsim {

double Acquisition::sinceStart(Clock::time_point t) const
{
    return std::chrono::duration<double>(t - started_).count();
}

double Acquisition::webSpeed() const
{
    if (!playing_ || !trigger_)
        return 0.0;
    return h_.device().config().web.speed(sinceStart(Clock::now()));
}

void Acquisition::flush(std::unique_lock<std::mutex> &lk)
{
    if (!playing_ || gathered_.empty() || h_.inOwnFrameCallback())
        return;
    flushRequested_ = true;
    h_.wake();
    const uint64_t session = session_;
    while (flushRequested_ && session_ == session && !h_.closed())
        h_.wait(lk);
}

void Acquisition::sendGathered(std::unique_lock<std::mutex> &lk, uint64_t session, double untilSeconds)
{
    Device &d = h_.device();
    LineBatch batch;
    uint64_t missed = 0;
    double first = 0;
    for (const LineTrigger::Line &l : gathered_) {
        if (l.at > untilSeconds)
            break;
        if (batch.positions.empty())
            first = l.at;
        // The encoder counts from 1; the web's first line is line 0.
        batch.positions.push_back(l.trigger - 1);
        missed += l.missed;
    }
    gathered_.clear();
    if (batch.positions.empty())
        return;
    d.countMissedTriggers(missed);
    batch.timeStamp = d.timeStamp(started_ + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(first)));
    deliver(lk, nullptr, &session, &batch);
}

void Acquisition::runEncoder(std::unique_lock<std::mutex> &lk, uint64_t session)
{
    const Device &d = h_.device();
    const DeviceConfig &c = d.config();
    const double period = d.linePeriodUs() * 1e-6;
    const double timeout = c.lineTimeoutMs / 1000.0;
    const size_t height = size_t(c.frameHeight);
    while (gathered_.size() < height) {
        LineTrigger::Line l = held_ ? *held_ : trigger_->next(period);
        held_.reset();
        if (std::isinf(l.at))
            break;   // the web stands for good
        if (!gathered_.empty() && l.at - gathered_.back().at > timeout) {
            held_ = std::make_unique<LineTrigger::Line>(l);
            break;
        }
        gathered_.push_back(l);
    }
    if (gathered_.empty()) {
        h_.wait(lk);   // until stopped
        return;
    }
    // A whole frame goes out with its last line; a part one when the line
    // after it is later than the time-out.
    const bool whole = gathered_.size() == height;
    const double due = gathered_.back().at + (whole ? 0.0 : timeout);
    const auto dueAt = started_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due));
    if (Clock::now() < dueAt) {
        h_.waitUntil(lk, dueAt);
        return;
    }
    sendGathered(lk, session, due);
}

} // namespace vdsim
