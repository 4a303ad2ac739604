#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <mutex>

// One message as Qt's logger handed it over.
struct CapturedMessage {
    QtMsgType type;
    QString text;
    QString file;
    QString function;
    int line;
};

// Records every Qt log message while it exists; installs itself as the
// message handler and restores the previous one on destruction. Messages
// may arrive from any thread. Only one capture may be active at a time.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<CapturedMessage> messages() const;
    // Messages whose text equals text exactly.
    QList<CapturedMessage> matching(const QString &text) const;
    // Messages whose text contains part.
    QList<CapturedMessage> containing(const QString &part) const;
    int count(const QString &text) const { return matching(text).size(); }
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    mutable std::mutex lock;
    QList<CapturedMessage> recorded;
    QtMessageHandler previous;
};
