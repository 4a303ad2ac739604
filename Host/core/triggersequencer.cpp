#include "triggersequencer.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// The timer only has to notice a time-out; the hook sends on without it.
constexpr int kLookMs = 10;

} // namespace

struct TriggerSequencer::State : std::enable_shared_from_this<State>
{
    explicit State(Fire f, int timeout) : fire(std::move(f)), timeoutMs(timeout) {}

    const Fire fire;
    // Guards what follows; never held while `fire` runs.
    mutable std::mutex lock;
    std::deque<std::pair<int, int>> queue;
    bool sent = false;     // a trigger is under way
    Clock::time_point sentAt;
    int timeoutMs;
    std::uint64_t timeouts = 0;
    std::uint64_t generation = 0;  // counts sends: a hook of an older one is no answer
    bool gone = false;

    // Under `lock`: takes the next trigger when none is under way.
    bool claim(std::pair<int, int> &next)
    {
        if (sent || queue.empty() || gone)
            return false;
        next = queue.front();
        queue.pop_front();
        sent = true;
        sentAt = Clock::now();
        ++generation;
        return true;
    }

    void send(const std::pair<int, int> &next, std::uint64_t ofGeneration)
    {
        std::weak_ptr<State> weak = shared_from_this();
        fire(next.first, next.second, [weak, ofGeneration] {
            if (const std::shared_ptr<State> s = weak.lock())
                s->arrived(ofGeneration);
        });
    }

    // On the frame thread, in the delivery of a frame.
    void arrived(std::uint64_t ofGeneration)
    {
        std::pair<int, int> next;
        std::uint64_t g = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            // The hook stays installed: only the first frame after this
            // trigger answers it.
            if (!sent || ofGeneration != generation)
                return;
            sent = false;
            if (!claim(next))
                return;
            g = generation;
        }
        send(next, g);
    }
};

TriggerSequencer::TriggerSequencer(Fire fire, int timeoutMs, QObject *parent)
    : QObject(parent), state(std::make_shared<State>(std::move(fire), timeoutMs))
{
    ticker.setInterval(kLookMs);
    connect(&ticker, &QTimer::timeout, this, &TriggerSequencer::look);
}

TriggerSequencer::~TriggerSequencer()
{
    std::lock_guard<std::mutex> guard(state->lock);
    state->gone = true;
    state->queue.clear();
}

void TriggerSequencer::submit(int product, int capture)
{
    std::pair<int, int> next;
    std::uint64_t g = 0;
    bool go = false;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        state->queue.emplace_back(product, capture);
        go = state->claim(next);
        g = state->generation;
    }
    if (!ticker.isActive())
        ticker.start();
    if (go)
        state->send(next, g);
}

void TriggerSequencer::clear()
{
    std::lock_guard<std::mutex> guard(state->lock);
    state->queue.clear();
    state->sent = false;
    ++state->generation;
}

void TriggerSequencer::setTimeoutMs(int ms)
{
    std::lock_guard<std::mutex> guard(state->lock);
    state->timeoutMs = ms > 0 ? ms : 1;
}

int TriggerSequencer::waiting() const
{
    std::lock_guard<std::mutex> guard(state->lock);
    return int(state->queue.size());
}

bool TriggerSequencer::underWay() const
{
    std::lock_guard<std::mutex> guard(state->lock);
    return state->sent;
}

std::uint64_t TriggerSequencer::timedOut() const
{
    std::lock_guard<std::mutex> guard(state->lock);
    return state->timeouts;
}

void TriggerSequencer::look()
{
    std::pair<int, int> next;
    std::uint64_t g = 0;
    bool go = false;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->sent && Clock::now() - state->sentAt >= std::chrono::milliseconds(state->timeoutMs)) {
            // No frame came for it: the next one goes anyway.
            state->sent = false;
            ++state->timeouts;
        }
        go = state->claim(next);
        g = state->generation;
        if (!state->sent && state->queue.empty())
            ticker.stop();
    }
    if (go)
        state->send(next, g);
}
