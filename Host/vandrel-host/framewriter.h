#pragma once

#include <QString>
#include <QThreadPool>

#include <opencv2/core.hpp>

#include <atomic>
#include <map>
#include <memory>

// Writes grabbed frames as PNG into a directory, on threads of its own so
// that the cameras are not held up, and counts per camera what it wrote,
// what it could not write and what it skipped because the writers were
// behind. Without a directory it writes nothing.
//
// Threading: construct, offer, wait and read on one thread (the main
// thread). The writing threads touch only the atomics, which they share
// with the writer, so that a write still running may outlive it.
class FrameWriter
{
public:
    // Pixels waiting for the writers; beyond this a frame is not saved
    // rather than held in memory while the cameras keep delivering.
    static constexpr qint64 kMaxPendingBytes = qint64(768) << 20;

    // Keeps frames 1, 1 + every, 1 + 2 * every, ... of each camera.
    FrameWriter(const QString &dir, int every);
    ~FrameWriter();

    bool enabled() const { return !dir.isEmpty(); }
    const QString &directory() const { return dir; }
    // Creates the directory; on failure says why in one line.
    bool createDirectory(QString &error) const;

    // Frame number `sequence` (from 1) of a camera, as delivered.
    void offer(const QString &serial, int sequence, const cv::Mat &image);
    // Returns once every frame offered is written or has failed.
    void waitForDone();

    int saved(const QString &serial) const;
    int failed(const QString &serial) const;
    int skipped(const QString &serial) const;

private:
    struct Tally
    {
        std::atomic<int> saved{0};
        std::atomic<int> failed{0};
        int skipped = 0;  // only ever touched by the offering thread
    };
    Tally &tally(const QString &serial);
    const Tally *find(const QString &serial) const;

    const QString dir;
    const int every;
    std::map<QString, std::shared_ptr<Tally>> tallies;
    std::shared_ptr<std::atomic<qint64>> pendingBytes = std::make_shared<std::atomic<qint64>>(0);
    QThreadPool pool;
};
