#pragma once

#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

// Records grabbed frames as they arrive, in a form readable without
// Vandrel: one uncompressed TIFF per frame (grey or RGB) and index.jsonl,
// one line per frame: "file", "serial", "product", "capture", "cycle",
// "captureTime" (milliseconds, as the camera stamped the frame), "width",
// "height", "channels"; and settings.json, each camera's settings. The
// simulator's `frames` replays such a folder, and hosts load those settings.
//
// A writer thread of its own takes the frames from a bounded queue; offer()
// never waits for it. A frame that finds the queue full is dropped and
// counted, never silently lost.
//
// Threading: offer() and the counters from any thread; start() and stop()
// from the thread that owns the recorder. The queue and the counters are
// guarded by mu; the index file and the writer's state belong to the writer
// thread between start() and stop().
class FrameRecorder
{
public:
    struct Frame
    {
        QString serial;
        int product = 0;
        int capture = 0;
        int cycle = 0;
        QDateTime captureTime;
        cv::Mat image;  // CV_8UC1 or CV_8UC3 (RGB); shared, not copied
    };

    struct Counts
    {
        int recorded = 0;
        int dropped = 0;  // the queue was full
        int failed = 0;   // could not be written
    };

    static constexpr int kDefaultQueueFrames = 64;
    static constexpr qint64 kDefaultQueueBytes = qint64(1) << 30;

    explicit FrameRecorder(const QString &directory, int queueFrames = kDefaultQueueFrames,
                           qint64 queueBytes = kDefaultQueueBytes);
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder &) = delete;
    FrameRecorder &operator=(const FrameRecorder &) = delete;

    const QString &directory() const { return dir; }
    // Creates the folder and index.jsonl and starts the writer; on failure
    // (also when the folder already holds a recording) says why in one line.
    bool start(QString &error);
    bool running() const { return writer.joinable(); }
    // Queues the frame, or drops and counts it; false if dropped.
    bool offer(const Frame &frame);
    // Writes what is queued, then ends the writer. Idempotent.
    void stop();

    // Keeps the camera's settings beside the index, in settings.json (the
    // form of writeSettingsFile, every camera given so far), so that a replay
    // of the recording loads them. Owning thread; false, saying why, when
    // the file cannot be written.
    bool recordSettings(const QString &serial, const QJsonObject &settings, QString &error);

    Counts counts(const QString &serial) const;
    Counts total() const;
    // Bytes of pixels written, all cameras.
    qint64 bytesWritten() const;
    // The first failure, if any: "cannot write FILE".
    QString firstError() const;

    // Tests make the writer slow to see it drop.
    void setWriteDelayMs(int ms);

private:
    void run();
    bool writeOne(const Frame &frame, qint64 sequence, QString &error);

    const QString dir;
    const int maxFrames;
    const qint64 maxBytes;

    mutable std::mutex mu;
    std::condition_variable wake;
    std::deque<std::pair<qint64, Frame>> queue;  // with the frame's sequence number
    qint64 queuedBytes = 0;
    qint64 nextSequence = 1;
    bool stopping = false;
    std::map<QString, Counts> perCamera;
    qint64 written = 0;
    QString error;
    int writeDelayMs = 0;

    std::thread writer;
    QFile index;  // the writer thread's while it runs
    QMap<QString, QJsonObject> settings;  // the owning thread's
};
