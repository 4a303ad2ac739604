#pragma once

#include "camerainterface.h"
#include "contactsheet.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

struct GrabOptions
{
    QStringList serials;
    QMap<QString, QJsonObject> settings;  // per serial; missing means defaults
    int frames = 0;                       // per camera; 0: no limit
    double seconds = 0;                   // 0: no limit
    int exposure = -1;                    // -1: leave the camera's own
    bool setTrigger = false;
    int capturesPerProduct = 1;
    int productsPerCycle = 1;
    int cycleTimeout = 0;
    bool preview = false;
    QString saveDir;
    int every = 1;
    QString saveSettings;
    bool json = false;
};

class GrabSession;

// Receives one camera's signals on the main thread and keeps its figures.
class CameraChannel : public QObject
{
    Q_OBJECT
public:
    CameraChannel(GrabSession *session, CameraInterface *camera, const QString &serial, int index);

    struct Event
    {
        qint64 atMs;
        QString name;
    };

    GrabSession *session;
    QPointer<QObject> cameraObject;
    CameraInterface *camera;
    QString serial;
    int index;

    int frames = 0;
    qint64 bytes = 0;
    qint64 firstMs = -1;
    qint64 lastMs = -1;
    int width = 0;
    int height = 0;
    int channels = 0;
    int lastProduct = 0;
    int lastCapture = 0;
    int lastCycle = 0;
    int losses = 0;
    int reconnects = 0;
    bool linkUp = true;
    QVector<Event> events;
    QVector<SheetFrame> recent;
    std::deque<std::pair<qint64, qint64>> window;  // arrival ms, bytes
    std::shared_ptr<std::atomic<int>> saved = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> saveFailures = std::make_shared<std::atomic<int>>(0);
    int savesSkipped = 0;

    double liveFps(qint64 nowMs) const;
    double liveMBps(qint64 nowMs) const;
    double meanFps() const;
    double meanMBps() const;

public slots:
    void onCapture(ImageProcessData data);
    void onLoss();
    void onReconnect();
};

// One grab run: configures the cameras, collects frames until the frame
// count, the time limit or an interrupt, then stops and reports.
class GrabSession : public QObject
{
    Q_OBJECT
public:
    GrabSession(CameraInterface *plugin, const GrabOptions &options, QTextStream &human);
    ~GrabSession() override;

    // Returns the exit status; the one-line reason of a failure is in error().
    int run();
    QString error() const { return failure; }

    qint64 elapsedMs() const { return clock.isValid() ? clock.elapsed() : 0; }
    bool acceptsFrames() const { return running; }
    const GrabOptions &options() const { return opts; }
    void frameArrived(CameraChannel *channel, const ImageProcessData &data);
    void printEvent(CameraChannel *channel, const QString &what);
    // A log line written around the live progress lines, on the main thread.
    void printLog(const QString &line);
    bool drawsProgress() const { return terminal; }

public slots:
    void requestStop(const QString &reason);

signals:
    void stopped();

private slots:
    void tick();

private:
    int setUp();
    void tearDown();
    void drawProgress(bool final);
    void clearProgress();
    void writeContactSheet();
    void printSummary();
    QString progressText(const CameraChannel *c, qint64 nowMs) const;

    CameraInterface *plugin;
    GrabOptions opts;
    QTextStream &out;
    bool terminal;
    std::vector<std::unique_ptr<CameraChannel>> channels;
    QElapsedTimer clock;
    QTimer ticker;
    bool running = false;
    QString stopReason;
    QString failure;
    QString contactSheetPath;
    int progressLines = 0;
    bool progressDone = false;
    qint64 lastPlainMs = 0;
    qint64 runMs = 0;
    std::shared_ptr<std::atomic<qint64>> pendingSaves = std::make_shared<std::atomic<qint64>>(0);
};
