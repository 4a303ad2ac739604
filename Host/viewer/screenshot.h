#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class ViewerWindow;

// Grabs the main window once every open camera's view has painted N frames
// (a camera whose link is lost is not waited for),
// writes it as PNG and ends the event loop with 0; ends it with 1 and one
// line of reason when that does not happen before the deadline, or, when the
// layout is checked, when a text is cut or widgets overlap (layoutcheck.h;
// the picture is still written, to be looked at, and one more for each
// panel behind a tab, FILE-panel.png). UI thread only.
class ScreenshotTaker : public QObject
{
    Q_OBJECT
public:
    ScreenshotTaker(ViewerWindow *window, const QString &file, int frames, int deadlineMs);
    void setCheckLayout(bool on) { checkLayout = on; }
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
    bool checkLayout = false;
};
