#include "waituntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QCoreApplication *app = QCoreApplication::instance();
    const bool onAppThread = app && QThread::currentThread() == app->thread();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        if (onAppThread)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
