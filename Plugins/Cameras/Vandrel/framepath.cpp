#include "vandrel.h"

#include "framelock.h"
#include "framepool.h"
#include "sdkthread.h"

#include <cstring>
#include <exception>
#include <limits>

#include "driverlog.h"  // last: names the file of the messages below

namespace {

constexpr int kPreviewSpacingMs = 50;
constexpr int kMaxBytesPerPixel = 4;  // RGBA8, the widest output
constexpr qint64 kMaxFrameBytes = std::numeric_limits<qint32>::max();
constexpr int kBufferWindowFrames = 64;
// How often a delivery waiting for the frame mutex looks for a close.
constexpr int kClosePollMs = 5;

} // namespace

void CameraVandrel::CameraSnapCallback(int handle, unsigned char *data, VdFrameHead *head, void *context)
{
    Q_UNUSED(handle);
    auto *self = static_cast<CameraVandrel *>(context);
    if (!self) {
        // Nothing to deliver to, but the buffer must go back.
        if (data)
            VdReleaseImageBuffer(handle, data);
        return;
    }
    try {
        const sdkthread::InCallback inCallback(self->opened);
        self->deliverFrame(data, head);
    } catch (const std::exception &e) {
        qCWarning(lcVandrel) << "frame dropped:" << e.what();
    } catch (...) {
        qCWarning(lcVandrel) << "frame dropped: unknown exception";
    }
}

namespace {

// Byte size of a rows x cols matrix of the given type, or -1 when it has no
// sound size (negative, or 2 GiB and more).
qint64 matrixBytes(qint32 rows, qint32 cols, int type)
{
    if (rows < 0 || cols < 0)
        return -1;
    const qint64 limit = std::numeric_limits<qint32>::max();
    const qint64 rowBytes = static_cast<qint64>(cols) * CV_ELEM_SIZE(type);
    if (rowBytes > limit || (rows != 0 && rowBytes > limit / rows))
        return -1;
    return rowBytes * rows;
}

} // namespace

void CameraVandrel::ageProcessingBuffer()
{
    // A buffer larger than any frame of the last window needed is given up;
    // the next frame that needs one allocates what it needs.
    if (++windowFrames < kBufferWindowFrames)
        return;
    if (processCapacity > windowNeed) {
        processBuffer.reset();
        processCapacity = 0;
    }
    windowNeed = 0;
    windowFrames = 0;
}

unsigned char *CameraVandrel::processingBuffer(size_t bytes)
{
    windowNeed = qMax(windowNeed, bytes);
    if (bytes > processCapacity) {
        // The old block goes first, so the two never take memory together.
        processBuffer.reset();
        processCapacity = 0;
        processBuffer.reset(new unsigned char[bytes]);
        processCapacity = bytes;
    }
    return processBuffer.get();
}

bool CameraVandrel::lockWhileOpen()
{
    QMutex *frames = frameMutex();
    const auto closing = [this] { return !opened || sdkthread::callerClosing(); };
    while (!frames->tryLock(kClosePollMs)) {
        if (closing())
            return false;
    }
    if (!closing())
        return true;
    // Closed while this thread waited: it must return at once.
    frames->unlock();
    return false;
}

bool CameraVandrel::acceptPreviewTiming()
{
    const QTime now = QTime::currentTime();
    if (!isRunning && qAbs(lastFrameTime.msecsTo(now)) < kPreviewSpacingMs) {
        qCDebug(lcVandrel) << "Camera" << cameraIndex << "skip preview frame.";
        return false;
    }
    lastFrameTime = now;
    return true;
}

void CameraVandrel::emptyFrame(unsigned char *data, VdFrameHead *head)
{
    // An image without pixels still counts as an accepted frame for the
    // preview spacing; it is processed only when its byte count is honest
    // (0), since no buffer size can be trusted for it otherwise.
    if (head->byteCount == 0) {
        unsigned char scratch = 0;
        const VdStatus status = VdImageProcess(cameraHandle, data, &scratch, head);
        if (status != VD_OK)
            qCWarning(lcVandrel) << "VdImageProcess failed:" << status;
    }
    VdReleaseImageBuffer(cameraHandle, data);
    acceptPreviewTiming();
    // Nothing to copy: dropped without a word.
}

void CameraVandrel::deliverFrame(unsigned char *data, VdFrameHead *head)
{
    // Declared before the lock, so destroyed after it is released: a pool
    // return never lengthens the lock.
    ImageProcessData record;
    cv::Mat image;
    std::function<void()> hook;

    const VdHandle handle = cameraHandle;
    if (!lockWhileOpen()) {
        // The camera is closing, and its teardown waits for this callback:
        // the frame is given up.
        VdReleaseImageBuffer(handle, data);
        qCDebug(lcVandrel) << "Camera" << cameraIndex << "frame dropped while closing.";
        return;
    }
    FrameLock guard(frameMutex(), FrameLock::Adopt);
    struct Delivering {
        std::atomic<std::thread::id> &thread;
        explicit Delivering(std::atomic<std::thread::id> &t) : thread(t) { thread = std::this_thread::get_id(); }
        ~Delivering() { thread = std::thread::id(); }
    } delivering(deliveringThread);

    int productID = 0;
    int captureIndex = 0;
    int productCycleIndex = 0;
    int type = CV_8UC1;
    {
        std::lock_guard<std::mutex> state(triggerLock);
        getProductID(cameraIndex, trigParams, productID, captureIndex, productCycleIndex);
        type = matType;
    }

    if (!head) {
        VdReleaseImageBuffer(handle, data);
        qCWarning(lcVandrel) << "frame without header dropped";
        return;
    }

    // The size the SDK announces decides, once, where it writes: straight
    // into the frame matrix when its byte count fits, else into the
    // processing buffer, from which the image is copied.
    const qint32 rows = head->height;
    const qint32 cols = head->width;
    const quint32 announced = head->byteCount;
    const qint64 matBytes = matrixBytes(rows, cols, type);
    if (matBytes < 0) {
        VdReleaseImageBuffer(handle, data);
        qCWarning(lcVandrel) << "frame dropped: bad size" << cols << "x" << rows;
        return;
    }
    const qint64 pixels = qint64(rows) * cols;
    if (pixels == 0) {
        emptyFrame(data, head);
        return;
    }
    // No output format needs more than 4 bytes per pixel: a larger count is a
    // broken header, refused before anything is allocated for it.
    if (announced > quint64(kMaxBytesPerPixel) * quint64(pixels) || announced > quint32(kMaxFrameBytes)) {
        VdReleaseImageBuffer(handle, data);
        qCWarning(lcVandrel) << "frame dropped: byte count" << announced << "too large for" << cols << "x" << rows;
        return;
    }

    ageProcessingBuffer();
    const bool inPlace = announced > 0 && matBytes >= qint64(announced);
    unsigned char *out = nullptr;
    try {
        if (inPlace) {
            image = FramePool::instance().matrix(rows, cols, type);
            out = image.data;
        } else {
            // One byte at least, so that the SDK always gets a real buffer.
            out = processingBuffer(size_t(announced) + 1);
        }
    } catch (const std::exception &) {
        VdReleaseImageBuffer(handle, data);
        qCWarning(lcVandrel) << "frame dropped: no memory for" << announced << "bytes";
        return;
    }

    const VdStatus status = VdImageProcess(handle, data, out, head);
    if (status != VD_OK)
        qCWarning(lcVandrel) << "VdImageProcess failed:" << status;
    VdReleaseImageBuffer(handle, data);

    if (!acceptPreviewTiming())
        return;

    // Bounded by what the SDK reports after processing, by the matrix and by
    // what was allocated, in case processing changed the byte count.
    const quint32 byteCount = head->byteCount;
    const qint64 copySize = qMin<qint64>(qMin<qint64>(byteCount, matBytes), announced);
    if (copySize <= 0)
        return;
    qCDebug(lcVandrel) << "CameraVandrel::rum - memcpy image data, "
                       << "src data size: " << byteCount << "dst data size: " << matBytes
                       << "actually copy size: " << copySize;
    if (!inPlace) {
        image = FramePool::instance().matrix(rows, cols, type);
        if (status == VD_OK)
            std::memcpy(image.data, out, static_cast<size_t>(copySize));
    }
    // A failed processing leaves no image worth showing: a pooled buffer may
    // still hold an earlier frame, even another camera's.
    const qint64 valid = status == VD_OK ? copySize : 0;
    if (valid < matBytes)
        std::memset(image.data + valid, 0, static_cast<size_t>(matBytes - valid));

    record.captureTime = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(head->timeStamp));
    record.cameraIndex = cameraIndex;
    record.productID = productID;
    record.captureIndex = captureIndex;
    record.productCycleIndex = productCycleIndex;
    record.image = image;

    {
        std::lock_guard<std::mutex> state(triggerLock);
        hook = triggerCallback;
    }
    if (hook)
        hook();
    emit captureCompleted(record);
}
