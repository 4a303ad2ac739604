#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class ViewerWindow;

// Grabs the main window once every open camera's view has painted N frames,
// writes it as PNG and ends the event loop with 0; ends it with 1 and one
// line of reason when that does not happen before the deadline. UI thread only.
class ScreenshotTaker : public QObject
{
    Q_OBJECT
public:
    ScreenshotTaker(ViewerWindow *window, const QString &file, int frames, int deadlineMs);
    void start();
    QString reason() const { return why; }

private:
    void check();
    void finish(int status, const QString &reason);

    ViewerWindow *window;
    QString file;
    int frames;
    int deadlineMs;
    QTimer poll;
    QElapsedTimer clock;
    QString why;
};
