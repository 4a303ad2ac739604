#include "screenshot.h"

#include "camerasession.h"
#include "exitstatus.h"
#include "layoutcheck.h"
#include "liveview.h"
#include "viewerwindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QStringList>

ScreenshotTaker::ScreenshotTaker(ViewerWindow *w, const QString &f, int n, int ms)
    : window(w), file(f), frames(n), deadlineMs(ms)
{
    poll.setInterval(50);
    connect(&poll, &QTimer::timeout, this, &ScreenshotTaker::check);
}

void ScreenshotTaker::start()
{
    clock.start();
    poll.start();
}

void ScreenshotTaker::check()
{
    const QList<LiveView *> views = window->views();
    if (views.isEmpty()) {
        finish(ExitNoCamera, QStringLiteral("no camera is open: nothing to take a screenshot of"));
        return;
    }
    QStringList behind;
    for (LiveView *v : views)
        // A lost camera shows no more frames until it is back: its picture
        // is the one to take. A stalled one may only be slow.
        if (!v->session()->lost() && v->framesPainted() < quint64(frames))
            behind << QStringLiteral("%1 (%2 of %3 frames shown, %4 received)")
                          .arg(v->session()->serial())
                          .arg(v->framesPainted())
                          .arg(frames)
                          .arg(v->session()->sink()->received());
    if (behind.isEmpty()) {
        // Status lines show the figures of the frames just painted.
        for (LiveView *v : views)
            v->updateStatus();
        QCoreApplication::processEvents();
        const QPixmap shot = window->grab();
        if (shot.isNull() || !shot.save(file, "PNG")) {
            finish(ExitFailure, QStringLiteral("cannot write the screenshot %1").arg(file));
            return;
        }
        // The panels behind tabs are pictured too, beside the screenshot.
        const auto picture = [this](const QString &panel) {
            const QString name = QFileInfo(file).path() + QLatin1Char('/') + QFileInfo(file).completeBaseName()
                                 + QLatin1Char('-') + panel.toLower() + QStringLiteral(".png");
            window->grab().save(name, "PNG");
        };
        const QStringList problems = checkLayout ? layoutProblemsOfEveryPanel(window, picture) : QStringList();
        if (!problems.isEmpty())
            finish(ExitFailure, QStringLiteral("the window at %1x%2 shows %3 layout problem(s): %4")
                                    .arg(window->width())
                                    .arg(window->height())
                                    .arg(problems.size())
                                    .arg(problems.join(QStringLiteral("; "))));
        else
            finish(ExitOk, QString());
        return;
    }
    if (clock.elapsed() > deadlineMs)
        finish(ExitFailure, QStringLiteral("no screenshot: within %1 s, %2")
                                .arg(deadlineMs / 1000.0, 0, 'f', 1)
                                .arg(behind.join(QStringLiteral("; "))));
}

void ScreenshotTaker::finish(int status, const QString &reason)
{
    poll.stop();
    why = reason;
    QCoreApplication::exit(status);
}
