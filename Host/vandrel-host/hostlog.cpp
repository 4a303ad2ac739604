#include "hostlog.h"

#include "progresslines.h"
#include "textout.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QtGlobal>

namespace {

QMutex divertMutex;
ProgressLines *divertedTo = nullptr;  // guarded by divertMutex

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = qFormatLogMessage(type, context, message);
    if (type != QtFatalMsg) {
        QMutexLocker lock(&divertMutex);
        if (ProgressLines *sink = divertedTo) {
            QMetaObject::invokeMethod(sink, [sink, line] { sink->printLog(line); }, Qt::QueuedConnection);
            return;
        }
    }
    stdErr().lines() << line << '\n';
}

} // namespace

void installLogHandler()
{
    qInstallMessageHandler(handleMessage);
}

void divertLogsTo(ProgressLines *lines)
{
    QMutexLocker lock(&divertMutex);
    divertedTo = lines;
}
