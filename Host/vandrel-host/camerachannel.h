#pragma once

#include "camerainterface.h"
#include "contactsheet.h"
#include "linkkeeper.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <deque>
#include <memory>
#include <functional>
#include <utility>

// What one camera delivered in a run, as the reports show it.
struct ChannelFigures
{
    struct Event
    {
        qint64 atMs;
        QString name;    // "lost", "stalled" or "back"
        QString detail;  // what told
    };

    int frames = 0;
    qint64 bytes = 0;
    qint64 firstMs = -1;
    qint64 lastMs = -1;
    // From the first frame to the last, interval by interval: by the
    // camera's own time stamps where they advance, else by arrival. What the
    // host's event loop makes of the frames' arrival (two handled in one go
    // after a busy moment) does not count.
    qint64 spanMs = 0;
    int width = 0;
    int height = 0;
    int channels = 0;
    int lastProduct = 0;
    int lastCapture = 0;
    int lastCycle = 0;
    int losses = 0;
    int stalls = 0;
    int reconnects = 0;  // "back" after a loss or a stall
    LinkState link = LinkState::Open;
    QVector<Event> events;

    // Over the whole run, between the first frame and the last.
    double meanFps() const;
    double meanBytesPerSecond() const;
};

// One camera of a grab: receives its signals and keeps its figures, its
// rate over the last two seconds and its last frames for the contact sheet.
// Nobody else writes them. It counts only while the run lets it and up to
// its frame limit; what it counted it announces. Its link keeper says
// whether the camera is lost or stalled and, with a retry interval, reopens it.
//
// Threading: main thread only. The camera's signals arrive queued.
class CameraChannel : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;  // the run's milliseconds

    static constexpr int kSheetFrames = 6;
    static constexpr qint64 kRateWindowMs = 2000;

    // Owns the camera from here on (it may be null); frameLimit 0: no limit.
    CameraChannel(CameraInterface *camera, const QString &serial, int frameLimit, Clock clock,
                  const LinkKeeper::Policy &policy = LinkKeeper::Policy());
    ~CameraChannel() override;

    const QString &serial() const { return sn; }
    // Null once deleted, by deleteCamera() or by whoever else.
    CameraInterface *camera() const { return object ? cam : nullptr; }
    // Disconnects from the camera and deletes it.
    void deleteCamera();

    void setCounting(bool on) { counting = on; }
    // Acquisition runs from now on: stalls count from here.
    void started();
    bool reachedLimit() const { return limit > 0 && figs.frames >= limit; }

    const ChannelFigures &figures() const { return figs; }
    // Over the last two seconds; 0 when the last frame is older than that.
    double liveFps(qint64 nowMs) const;
    double liveBytesPerSecond(qint64 nowMs) const;
    // The last kSheetFrames frames, oldest first.
    const QVector<SheetFrame> &recentFrames() const { return recent; }

signals:
    // After the figures took the frame: `figures().frames` is its sequence.
    void frameCounted(CameraChannel *channel, const ImageProcessData &data);
    void linkChanged(CameraChannel *channel, qint64 atMs, const QString &what);

private:
    void onLinkEvent(const LinkEvent &event);

public slots:
    void onCapture(ImageProcessData data);
    void onLoss();
    void onReconnect();

private:
    QPointer<QObject> object;
    CameraInterface *cam;
    std::unique_ptr<LinkKeeper> keeper;
    qint64 lastCameraMs = -1;
    const QString sn;
    const int limit;
    const Clock now;
    bool counting = false;
    ChannelFigures figs;
    std::deque<std::pair<qint64, qint64>> window;  // arrival ms, bytes
    QVector<SheetFrame> recent;
};
