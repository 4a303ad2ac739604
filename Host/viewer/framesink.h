#pragma once

#include "camerainterface.h"

#include <QObject>

#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class FrameRecorder;

// The mailbox between a camera's frame thread and the UI: it keeps only the
// newest frames, so frames that arrive faster than the screen repaints are
// counted and replaced, never queued without bound.
//
// Threading: onFrame() runs on the SDK's frame thread through a direct
// connection, under the camera's frame mutex, so it only moves the record in
// and never blocks for long. `lock` guards `waiting` and `historyRows`; the
// counters are atomics. Everything else runs on the UI thread, which owns
// the object. framesWaiting() is emitted at most once until take().
// `seen`, fixed at construction, runs on the frame thread for every frame.
class FrameSink : public QObject
{
    Q_OBJECT
public:
    explicit FrameSink(std::function<void()> seen = {}, QObject *parent = nullptr);
    ~FrameSink() override;

    // Lines of history to keep for a strip: the newest frames whose heights
    // add up to at least `rows` stay waiting. 0 keeps the newest frame only.
    // Returns whether frames were waiting at that moment.
    bool setHistoryRows(int rows);
    // The waiting frames, oldest first; re-arms framesWaiting().
    std::vector<ImageProcessData> take();
    // Every frame from now on also goes to the recorder, as camera serial;
    // null ends that.
    void setRecorder(std::shared_ptr<FrameRecorder> recorder, const QString &serial);

    quint64 received() const { return receivedCount.load(std::memory_order_relaxed); }
    quint64 receivedBytes() const { return byteCount.load(std::memory_order_relaxed); }
    // Frames replaced by newer ones before the UI took them.
    quint64 replaced() const { return replacedCount.load(std::memory_order_relaxed); }

signals:
    void framesWaiting();

public slots:
    void onFrame(ImageProcessData data);

private:
    const std::function<void()> frameSeen;
    std::mutex lock;
    std::deque<ImageProcessData> waiting;
    int waitingRows = 0;
    int historyRows = 0;
    std::shared_ptr<FrameRecorder> recorder;
    QString recordSerial;
    std::atomic<bool> notified{false};
    std::atomic<quint64> receivedCount{0};
    std::atomic<quint64> byteCount{0};
    std::atomic<quint64> replacedCount{0};
};
