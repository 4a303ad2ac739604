#include "logcapture.h"


namespace {
LogCapture *active = nullptr;
std::mutex activeLock;
}

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> guard(activeLock);
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> guard(activeLock);
    qInstallMessageHandler(previous);
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    std::lock_guard<std::mutex> guard(activeLock);
    if (!active)
        return;
    CapturedMessage m{type, text, QString::fromUtf8(context.file ? context.file : ""),
                      QString::fromUtf8(context.function ? context.function : ""), context.line};
    std::lock_guard<std::mutex> recordGuard(active->lock);
    active->recorded.append(m);
}

QList<CapturedMessage> LogCapture::messages() const
{
    std::lock_guard<std::mutex> guard(lock);
    return recorded;
}

QList<CapturedMessage> LogCapture::matching(const QString &text) const
{
    QList<CapturedMessage> out;
    for (const CapturedMessage &m : messages())
        if (m.text == text)
            out.append(m);
    return out;
}

QList<CapturedMessage> LogCapture::containing(const QString &part) const
{
    QList<CapturedMessage> out;
    for (const CapturedMessage &m : messages())
        if (m.text.contains(part))
            out.append(m);
    return out;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> guard(lock);
    recorded.clear();
}
