#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class CameraChannel;
class TextOut;

// The live lines of a grab on its human stream. On a terminal: one line per
// camera, redrawn in place every 100 ms. Otherwise the same lines appended
// once a second, each with the run's time. Event lines and log lines are
// written above the live lines, which are drawn again beneath them.
//
// Threading: main thread only. Log lines from other threads reach printLog
// queued (hostlog.h).
class ProgressLines : public QObject
{
    Q_OBJECT
public:
    ProgressLines(TextOut &human, const std::vector<std::unique_ptr<CameraChannel>> &channels,
                  const QElapsedTimer &clock);

    // Lines redrawn in place, as only a terminal shows them.
    bool isLive() const;
    void start();
    // Stops for good and takes the live lines away.
    void finish();

    void printEvent(const QString &line);
    void printLog(const QString &line);

private:
    void tick();
    void draw();
    void clear();

    TextOut &out;
    const std::vector<std::unique_ptr<CameraChannel>> &channels;
    const QElapsedTimer &clock;
    QTimer ticker;
    int drawn = 0;  // live lines on the screen
    bool finished = false;
    qint64 lastPlainMs = 0;
};
