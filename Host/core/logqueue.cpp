#include "logqueue.h"

#include <deque>
#include <mutex>

namespace LogQueue {

namespace {

struct Queue
{
    std::mutex lock;
    std::deque<Message> messages;
    std::uint64_t dropped = 0;
    bool installed = false;
};

Queue &queue()
{
    static Queue *q = new Queue;  // outlives every thread that may still log at exit
    return *q;
}

void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    Message m;
    m.type = type;
    m.category = QString::fromUtf8(context.category ? context.category : "default");
    m.text = text;
    Queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.messages.size() >= std::size_t(kCapacity)) {
        q.messages.pop_front();
        ++q.dropped;
    }
    q.messages.push_back(std::move(m));
}

} // namespace

void install()
{
    Queue &q = queue();
    {
        std::lock_guard<std::mutex> guard(q.lock);
        if (q.installed)
            return;
        q.installed = true;
    }
    qInstallMessageHandler(handle);
}

bool installed()
{
    Queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    return q.installed;
}

bool take(Message &message)
{
    Queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.messages.empty())
        return false;
    message = std::move(q.messages.front());
    q.messages.pop_front();
    return true;
}

std::uint64_t dropped()
{
    Queue &q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    return q.dropped;
}

} // namespace LogQueue
