#include "framesink.h"

#include "framerecorder.h"

#include <utility>

FrameSink::FrameSink(std::function<void()> seen, QObject *parent) : QObject(parent), frameSeen(std::move(seen)) {}

FrameSink::~FrameSink() = default;

bool FrameSink::setHistoryRows(int rows)
{
    std::lock_guard<std::mutex> guard(lock);
    historyRows = qMax(0, rows);
    return !waiting.empty();
}

void FrameSink::onFrame(ImageProcessData data)
{
    // Runs on the SDK's thread: nothing may escape from here.
    try {
        if (frameSeen)
            frameSeen();
        std::shared_ptr<FrameRecorder> rec;
        QString serial;
        {
            std::lock_guard<std::mutex> guard(lock);
            rec = recorder;
            serial = recordSerial;
        }
        // Queued or dropped and counted by the recorder; never waits for its disk.
        if (rec)
            rec->offer({serial, data.productID, data.captureIndex, data.productCycleIndex, data.captureTime,
                        data.image});
        const qint64 rows = data.image.rows;
        const quint64 bytes = quint64(data.image.total() * data.image.elemSize());
        std::deque<ImageProcessData> dropped;  // released outside the lock
        {
            std::lock_guard<std::mutex> guard(lock);
            waiting.push_back(std::move(data));
            waitingRows += int(rows);
            // Older frames go once the newer ones cover the history; the
            // newest always stays.
            while (waiting.size() > 1 && waitingRows - waiting.front().image.rows >= historyRows) {
                waitingRows -= waiting.front().image.rows;
                dropped.push_back(std::move(waiting.front()));
                waiting.pop_front();
            }
        }
        receivedCount.fetch_add(1, std::memory_order_relaxed);
        byteCount.fetch_add(bytes, std::memory_order_relaxed);
        if (!dropped.empty())
            replacedCount.fetch_add(dropped.size(), std::memory_order_relaxed);
        if (!notified.exchange(true))
            emit framesWaiting();
    } catch (...) {
    }
}

void FrameSink::setRecorder(std::shared_ptr<FrameRecorder> r, const QString &serial)
{
    std::lock_guard<std::mutex> guard(lock);
    recorder = std::move(r);
    recordSerial = serial;
}

std::vector<ImageProcessData> FrameSink::take()
{
    // Cleared first: a frame that comes after the swap below notifies again.
    notified.store(false);
    std::deque<ImageProcessData> taken;
    {
        std::lock_guard<std::mutex> guard(lock);
        taken.swap(waiting);
        waitingRows = 0;
    }
    return std::vector<ImageProcessData>(std::make_move_iterator(taken.begin()),
                                         std::make_move_iterator(taken.end()));
}
