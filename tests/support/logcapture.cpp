#include "logcapture.h"

#include <QMutexLocker>

namespace {
LogCapture *active = nullptr;
QMutex activeLock;
}

LogCapture::LogCapture()
{
    QMutexLocker guard(&activeLock);
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    QMutexLocker guard(&activeLock);
    qInstallMessageHandler(previous);
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    QMutexLocker guard(&activeLock);
    if (!active)
        return;
    CapturedMessage m{type, text, QString::fromUtf8(context.file ? context.file : ""),
                      QString::fromUtf8(context.function ? context.function : ""), context.line};
    QMutexLocker recordGuard(&active->lock);
    active->recorded.append(m);
}

QList<CapturedMessage> LogCapture::messages() const
{
    QMutexLocker guard(&lock);
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
    QMutexLocker guard(&lock);
    recorded.clear();
}
