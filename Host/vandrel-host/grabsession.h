#pragma once

#include "camerainterface.h"
#include "framerecorder.h"
#include "framewriter.h"
#include "graboptions.h"
#include "progresslines.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class CameraChannel;
struct GrabSummary;
class TextOut;

// One grab run: creates and configures the cameras, lets their channels
// count until the frame count, the time limit or an interrupt, then stops
// the cameras, writes what was asked for and reports.
//
// Threading: main thread only, the thread that creates the cameras; their
// signals arrive queued. requestStop is safe from slots of that thread.
class GrabSession : public QObject
{
    Q_OBJECT
public:
    // Human-readable lines go to `human`; the JSON summary to stdout.
    GrabSession(CameraInterface *plugin, const GrabOptions &options, TextOut &human);
    ~GrabSession() override;

    // Returns the exit status; the one-line reason of a failure is in error().
    int run();
    QString error() const { return failure; }

    ProgressLines &progress() { return progressLines; }

public slots:
    void requestStop(const QString &reason);

signals:
    void stopped();

private:
    int setUp();
    int configure(CameraInterface *camera, const QString &serial);
    void tearDown();
    void onFrameCounted(CameraChannel *channel, const ImageProcessData &data);
    void onLinkChanged(CameraChannel *channel, qint64 atMs, const QString &what);
    void setCounting(bool on);
    void saveContactSheet();
    // Reports a replayed recording that ended; stops once every camera has
    // ended or reached its frame count.
    void watchRecordings();
    GrabSummary summary() const;
    int exitStatus();

    CameraInterface *plugin;
    GrabOptions opts;
    TextOut &human;
    QElapsedTimer clock;
    std::vector<std::unique_ptr<CameraChannel>> channels;
    FrameWriter writer;
    std::unique_ptr<FrameRecorder> recorder;  // with --record
    qint64 recordMs = 0;                      // from the start of the run to the last frame written
    ProgressLines progressLines;
    bool running = false;
    QString stopReason;
    QString failure;
    QString contactSheetPath;
    QSet<QString> warned;
    qint64 runMs = 0;
    QTimer recordingWatch;
    QMap<QString, int> recordingEnded;  // frames each ended recording played
    QStringList recordingSettled;       // ended a tick ago: its last frames are counted
};
