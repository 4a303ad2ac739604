#include "vandrel.h"

#include "framelock.h"
#include "framepool.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

Q_LOGGING_CATEGORY(lcVandrel, "vandrel")

namespace {

constexpr int kDeviceTableSize = 20;
constexpr int kPreviewSpacingMs = 50;
constexpr int kReconnectIntervalMs = 30000;
constexpr qint32 kHostNumberedKind = 32;
constexpr int kMaxBytesPerPixel = 4;                         // RGBA8, the widest output
constexpr qint64 kMaxFrameBytes = std::numeric_limits<qint32>::max();
constexpr int kBufferWindowFrames = 64;

// Module-wide device table; used on the host's thread only.
VdDeviceInfo deviceTable[kDeviceTableSize];
qint32 deviceCount = 0;

// A text field that may fill its whole width without a terminator.
template <size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromUtf8(field, static_cast<int>(strnlen(field, N)));
}

int boundedCount(int count)
{
    return qBound(0, count, kDeviceTableSize);
}

} // namespace

// The open handle, borrowed for SDK calls; empty when the camera is not open.
// A close waits for the borrows of other threads before it releases the
// handle.
class CameraVandrel::HandleUse
{
public:
    explicit HandleUse(CameraVandrel &camera) : camera(camera)
    {
        std::lock_guard<std::mutex> guard(camera.stateLock);
        if (!camera.opened)
            return;
        camera.borrowers.push_back(std::this_thread::get_id());
        handle = camera.cameraHandle;
        valid = true;
    }
    ~HandleUse()
    {
        if (!valid)
            return;
        std::lock_guard<std::mutex> guard(camera.stateLock);
        auto &borrowers = camera.borrowers;
        borrowers.erase(std::find(borrowers.begin(), borrowers.end(), std::this_thread::get_id()));
        camera.stateChanged.notify_all();
    }
    HandleUse(const HandleUse &) = delete;
    HandleUse &operator=(const HandleUse &) = delete;

    explicit operator bool() const { return valid; }
    VdHandle get() const { return handle; }

private:
    CameraVandrel &camera;
    VdHandle handle = -1;
    bool valid = false;
};

CameraVandrel::CameraVandrel() : trigParams(nullptr), reconnectTimer(nullptr)
{
    trigKind = 1;
    trigParams = new CameraTrigParams;
    trigParams->trigKind = trigKind;
    reconnectTimer = new QTimer(this);
    connect(reconnectTimer, &QTimer::timeout, this, &CameraVandrel::reconnectTick);
}

CameraVandrel::~CameraVandrel()
{
    CameraStop();
    CameraClose();
    clearParams();
    delete trigParams;
    trigParams = nullptr;
}

bool CameraVandrel::onOwningThread() const
{
    return QThread::currentThread() == thread();
}

void CameraVandrel::waitForForeignClose()
{
    if (!onOwningThread())
        return;
    std::unique_lock<std::mutex> guard(stateLock);
    stateChanged.wait(guard, [this] { return !closing; });
}

// ---------------------------------------------------------------- identity

QString CameraVandrel::pluginIID()
{
    return QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel");
}

QString CameraVandrel::pluginName()
{
    return tr("Vandrel相机-线扫");
}

QString CameraVandrel::pluginVersion()
{
    return QStringLiteral("V2.1.0.30");
}

QString CameraVandrel::pluginDescription()
{
    return tr("请查看帮助文档 ");
}

QPixmap CameraVandrel::pluginIcon()
{
    // A pixmap can only be loaded inside a GUI application.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QPixmap();
    return QPixmap(QStringLiteral(":/img/Resources/ProcessColor.png"));
}

QVector<ParamWrap *> *CameraVandrel::pluginParams()
{
    return &paramList;
}

bool CameraVandrel::hostQueryFlag5()
{
    return true;
}

qint32 CameraVandrel::hostQueryValue()
{
    return 0;
}

bool CameraVandrel::hostQueryFlag1()
{
    return true;
}

int CameraVandrel::hostQueryCode()
{
    return 63;
}

bool CameraVandrel::hostQueryFlag2()
{
    return false;
}

void CameraVandrel::hostNotify1() {}

// --------------------------------------------------------------- lifecycle

QVector<QString> CameraVandrel::enumerateCameras(int &count)
{
    QVector<QString> serials;
    int found = kDeviceTableSize;
    VdSdkInit(0);
    const VdStatus status = VdEnumerateDevice(deviceTable, &found);
    count = found;
    deviceCount = found;
    if (status != VD_OK || found < 1)
        return serials;
    const int records = boundedCount(found);
    for (int i = 0; i < records; ++i) {
        if (fieldText(deviceTable[i].productName).indexOf(QLatin1String("VD-XG"), 0, Qt::CaseSensitive) >= 0)
            serials.append(fieldText(deviceTable[i].serialNumber));
    }
    return serials;
}

CameraInterface *CameraVandrel::createCamera(int cameraNumber, QString serialNumber, int creationArg)
{
    auto *camera = new CameraVandrel;
    camera->cameraNumber = cameraNumber;
    camera->cameraIndex = cameraNumber;
    camera->creationArg = creationArg;
    camera->serialNumber = serialNumber;
    camera->CameraOpen();
    camera->buildParams();
    return camera;
}

void CameraVandrel::CameraOpen()
{
    waitForForeignClose();
    if (opened) {
        // Opening an open camera would leak its handle; close it first.
        CameraStop();
        CameraClose();
    }
    if (serialNumber.size() <= 8) {
        opened = 0;
        return;
    }
    const VdDeviceInfo *record = nullptr;
    const int records = boundedCount(deviceCount);
    for (int i = 0; i < records; ++i) {
        if (fieldText(deviceTable[i].serialNumber) == serialNumber) {
            record = &deviceTable[i];
            break;
        }
    }
    if (!record) {
        opened = 0;
        return;
    }
    // Written to the member only on success: a failed open must not leave a
    // handle behind that a later call could use.
    VdHandle opening = -1;
    if (VdInit(record, -1, -1, &opening) != VD_OK) {
        opened = 0;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        cameraHandle = opening;
        opened = 1;
    }
    // A loss reported while the camera is being set up closes it once the
    // set-up's calls are done.
    const HandleUse use(*this);
    if (!use)
        return;
    const VdHandle handle = use.get();
    VdSetConnectionStatusCallback(handle, &CameraVandrel::ExpCallbackMSG, this);
    VdSetCallbackFunction(handle, &CameraVandrel::CameraSnapCallback, this, nullptr);

    VdCapability capability;
    std::memset(&capability, 0, sizeof capability);
    VdGetCapability(handle, &capability);
    monoSensor = capability.monoSensor;
    const qint32 w = capability.maxWidth;
    const qint32 h = capability.maxHeight;
    roiXMin = 0;
    roiXMax = w;
    roiXStep = 16;
    roiYMin = 0;
    roiYMax = h;
    roiYStep = 4;
    widthMin = 64;
    widthMax = w;
    widthStep = 16;
    heightMin = 64;
    heightMax = h;
    heightStep = 4;
    sensorWidth = w;
    sensorHeight = h;
    gainMin = capability.analogGainMin;
    gainMax = capability.analogGainMax;
    gammaMin = capability.gammaMin;
    gammaMax = capability.gammaMax;
    sharpnessMin = capability.sharpnessMin;
    sharpnessMax = capability.sharpnessMax;
    contrastMin = capability.contrastMin;
    contrastMax = capability.contrastMax;
    debounceMin = 0;
    debounceMax = 2000000;
    packetIntervalMin = 0;
    packetIntervalMax = 0;

    VdGetExposureLineTime(handle, &exposureLineTime);
    exposureMin = static_cast<float>(static_cast<quint32>(capability.exposureMin) * exposureLineTime / 1000.0);
    exposureMax = static_cast<float>(static_cast<quint32>(capability.exposureMax) * exposureLineTime / 1000.0);
}

void CameraVandrel::CameraClose()
{
    VdHandle handle;
    {
        std::unique_lock<std::mutex> guard(stateLock);
        if (!opened) {
            // Someone else may be tearing the handle down right now; on the
            // owning thread "closed" must mean no more callbacks.
            guard.unlock();
            waitForForeignClose();
            return;
        }
        opened = 0;
        closing = true;
        handle = cameraHandle;
        const std::thread::id me = std::this_thread::get_id();
        if (deliveringThread.load() != me) {
            stateChanged.wait(guard, [this, me] {
                return std::all_of(borrowers.begin(), borrowers.end(), [me](std::thread::id t) { return t == me; });
            });
        }
    }
    VdSetConnectionStatusCallback(handle, nullptr, nullptr);
    VdSetCallbackFunction(handle, nullptr, nullptr, nullptr);
    qCInfo(lcVandrel) << "cameraVandrel Close";
    VdUnInit(handle);
    // Last touch of this object on a foreign thread: the owning thread may
    // destroy it as soon as it sees `closing` clear.
    std::lock_guard<std::mutex> guard(stateLock);
    cameraHandle = -1;
    closing = false;
    stateChanged.notify_all();
}

void CameraVandrel::CameraStart()
{
    const HandleUse use(*this);
    if (!use)
        return;
    const VdStatus status = VdPlay(use.get());
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

void CameraVandrel::CameraStop()
{
    const HandleUse use(*this);
    if (!use)
        return;
    const VdStatus status = VdStop(use.get());
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

void CameraVandrel::closeCamera()
{
    CameraStop();
    CameraClose();
}

void CameraVandrel::restartCamera()
{
    CameraStop();
    CameraClose();
    CameraOpen();
    normalizeParams();
    CameraStart();
}

QString CameraVandrel::cameraSerial()
{
    return opened ? serialNumber : QStringLiteral("-1");
}

QMutex *CameraVandrel::frameMutex()
{
    return &mutex;
}

void CameraVandrel::normalizeParams()
{
    VdResolution resolution;
    std::memset(&resolution, 0, sizeof resolution);
    {
        const HandleUse use(*this);
        if (!use)
            return;
        VdGetImageResolution(use.get(), &resolution);
    }
    // Values come from settings files and the host's editor: sums and
    // differences are taken in 64 bits and saturated, so that no value
    // can overflow.
    auto alignDown = [](qint32 &value, qint32 step) {
        if (step != 0)
            value = static_cast<qint32>(value - qint64(value) % step);
    };
    auto sum = [](qint64 a, qint64 b) { return a + b; };
    auto fit = [](qint64 v) {
        return static_cast<qint32>(qBound<qint64>(std::numeric_limits<qint32>::min(), v,
                                                  std::numeric_limits<qint32>::max()));
    };
    alignDown(imageWidth, widthStep);
    alignDown(imageHeight, heightStep);
    alignDown(roiX, roiXStep);
    alignDown(roiY, roiYStep);

    const bool widthDiffers = imageWidth != resolution.width;
    const bool heightDiffers = imageHeight != resolution.height;
    const bool offsetXDiffers = roiX != resolution.offsetX;
    const bool offsetYDiffers = roiY != resolution.offsetY;

    if (widthDiffers) {
        if (imageWidth <= 0)
            imageWidth = widthMax;
        if (sum(imageWidth, roiX) > sensorWidth)
            imageWidth = fit(qint64(sensorWidth) - roiX);
    }
    roiXMax = fit(qint64(sensorWidth) - imageWidth);
    if (heightDiffers) {
        if (imageHeight <= 0)
            imageHeight = heightMax;
        if (sum(imageHeight, roiY) > sensorHeight)
            imageHeight = fit(qint64(sensorHeight) - roiY);
    }
    roiYMax = fit(qint64(sensorHeight) - imageHeight);
    if (offsetXDiffers) {
        if (roiX <= 0)
            roiX = roiXMin;
        if (sum(roiX, imageWidth) > sensorWidth)
            roiX = roiXMax;
    }
    widthMax = fit(qint64(sensorWidth) - roiX);
    if (offsetYDiffers) {
        if (roiY <= 0)
            roiY = roiYMin;
        if (sum(roiY, imageHeight) > sensorHeight)
            roiY = roiYMax;
    }
    heightMax = fit(qint64(sensorHeight) - roiY);

    if (currentExposureIndex < 0)
        currentExposureIndex = 0;
    if (currentExposureIndex >= exposureTimes.size())
        currentExposureIndex = exposureTimes.size() - 1;

    auto clamp = [](qint32 &value, qint32 min, qint32 max, qint32 belowMin) {
        if (value < min)
            value = belowMin;
        else if (value > max)
            value = max;
    };
    clamp(analogGain, gainMin, gainMax, 8);
    clamp(contrast, contrastMin, contrastMax, 100);
    clamp(gamma, gammaMin, gammaMax, 100);
    clamp(sharpness, sharpnessMin, sharpnessMax, 0);
    clamp(debounceTime, debounceMin, debounceMax, debounceMin);
    clamp(packetInterval, packetIntervalMin, packetIntervalMax, packetIntervalMin);
}

// -------------------------------------------------------------- frame path

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

void CameraVandrel::deliverFrame(unsigned char *data, VdFrameHead *head)
{
    // Declared before the lock, so destroyed after it is released: a pool
    // return never lengthens the lock.
    ImageProcessData record;
    cv::Mat image;
    std::function<void()> hook;

    FrameLock guard(frameMutex());
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

    const VdHandle handle = cameraHandle;
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
        // Nothing to show; the byte count of an empty image is meaningless.
        VdReleaseImageBuffer(handle, data);
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

    const QTime now = QTime::currentTime();
    if (!isRunning && qAbs(lastFrameTime.msecsTo(now)) < kPreviewSpacingMs) {
        qCDebug(lcVandrel) << "Camera" << cameraIndex << "skip preview frame.";
        return;
    }
    lastFrameTime = now;

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

// ------------------------------------------------------- connection status

void CameraVandrel::ExpCallbackMSG(int handle, unsigned int msg, unsigned int param, void *context)
{
    Q_UNUSED(handle);
    Q_UNUSED(param);
    auto *self = static_cast<CameraVandrel *>(context);
    if (!self)
        return;
    try {
        if (msg == VD_MSG_LINK_LOST) {
            qCInfo(lcVandrel) << QStringLiteral("camera %1 disconnect").arg(self->serialNumber);
            emit self->CameraLoss();
            ++self->lossCount;
            self->connectionLost = true;
            // Nothing of `self` may be touched after this: the owning
            // thread may destroy it once the close is done.
            self->closeCamera();
        } else {
            qCInfo(lcVandrel) << QStringLiteral("camera %1 reconnect").arg(self->serialNumber);
        }
    } catch (...) {
        qCWarning(lcVandrel) << "connection status handling failed";
    }
}

void CameraVandrel::reconnectTick()
{
    if (!connectionLost)
        return;
    // A loss reported while this tick runs, receivers of CameraReconnect
    // included, must leave the camera lost for the next tick.
    const quint64 losses = lossCount;
    int found = kDeviceTableSize;
    const VdStatus status = VdEnumerateDevice(deviceTable, &found);
    if (status != VD_OK || found < 1 || found != deviceCount)
        return;
    if (!CameraReopen() || lossCount != losses)
        return;
    qCInfo(lcVandrel) << QStringLiteral("camera %1 connect").arg(serialNumber);
    emit CameraReconnect();
    connectionLost = false;
    // A loss counts itself before it sets the flag, so one that raced the
    // clearing is seen here or sets the flag after it.
    if (lossCount != losses)
        connectionLost = true;
}

bool CameraVandrel::CameraReopen()
{
    CameraOpen();
    setTrigParams(trigParams);
    applyImageFormat();
    if (!opened) {
        qCInfo(lcVandrel) << QStringLiteral("camera %1 reconnect fail").arg(serialNumber);
        return false;
    }
    return true;
}

// ------------------------------------------------------ parameter application

void CameraVandrel::paramsChanged()
{
    FrameLock guard(&mutex);
    qCInfo(lcVandrel) << "CameraVandrel::paramsChanged";
    normalizeParams();
}

QSize CameraVandrel::imageSize()
{
    return QSize(imageWidth, imageHeight);
}

int CameraVandrel::channels()
{
    return channelCount;
}

void CameraVandrel::applyImageFormat()
{
    {
        const HandleUse use(*this);
        if (!use)
            return;
        if (monoSensor) {
            channelCount = 1;
        } else if (colorImage) {
            channelCount = 3;
            VdSetMediaType(use.get(), VD_MEDIA_COLOR);
            VdSetIspOutFormat(use.get(), VD_PIXEL_RGB8);
        } else {
            channelCount = 1;
            VdSetMediaType(use.get(), VD_MEDIA_MONO);
            VdSetIspOutFormat(use.get(), VD_PIXEL_MONO8);
        }
    }
    {
        std::lock_guard<std::mutex> state(triggerLock);
        matType = channelCount == 3 ? CV_8UC3 : channelCount == 4 ? CV_8UC4 : CV_8UC1;
    }
    normalizeParams();
    CameraStart();
}

int CameraVandrel::selectExposure(int index)
{
    if (index < 0 || index >= exposureTimes.size())
        return -1;
    currentExposureIndex = index;
    // A camera that is not open has no handle to send to.
    const HandleUse use(*this);
    if (!use)
        return VD_ERR_NOT_INITIALISED;
    const double value = static_cast<double>(exposureTimes[index]) * exposureLineTime * 1000.0;
    return VdSetExposureTime(use.get(), value);
}

void CameraVandrel::setContinueCapture(bool continuous)
{
    Q_UNUSED(continuous);
    const HandleUse use(*this);
    if (!use)
        return;
    const VdStatus status = VdSetTriggerMode(use.get(), VD_TRIGGER_CONTINUOUS);
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

bool CameraVandrel::isContinueCapture()
{
    const HandleUse use(*this);
    if (!use)
        return false;
    int mode = 0;
    VdGetTriggerMode(use.get(), &mode);
    return mode == VD_TRIGGER_CONTINUOUS;
}

void CameraVandrel::softTrigger(int productNumber, int captureNumber, std::function<void()> hook)
{
    const HandleUse use(*this);
    if (!use)
        return;
    // The replaced hook dies after the lock is released: its captures are
    // the host's and may take their time.
    std::function<void()> replaced = std::move(hook);
    {
        std::lock_guard<std::mutex> state(triggerLock);
        if (trigParams->trigKind == kHostNumberedKind) {
            // A cycle of 0 or fewer products counts as one, as in numbering.
            const int perCycle = trigParams->productsPerCycle > 0 ? trigParams->productsPerCycle : 1;
            productId = productNumber;
            productFrame = captureNumber;
            const int remainder = productNumber % perCycle;
            productCycle = remainder == 0 ? perCycle : remainder;
        }
        triggerCallback.swap(replaced);
    }
    VdSoftTrigger(use.get());
}

void CameraVandrel::setTrigParams(CameraTrigParams *params)
{
    if (!opened || !params)
        return;
    if (params != trigParams) {
        std::lock_guard<std::mutex> state(triggerLock);
        trigParams->trigKind = params->trigKind;
        trigParams->trigValue2 = params->trigValue2;
        trigParams->trigValue3 = params->trigValue3;
        trigParams->trigValue4 = params->trigValue4;
        trigParams->trigValue5 = params->trigValue5;
        trigParams->capturesPerProduct = params->capturesPerProduct;
        trigParams->trigValue7 = params->trigValue7;
        trigParams->productsPerCycle = params->productsPerCycle;
        trigParams->cycleTimeout = params->cycleTimeout;
        trigParams->autoCount = params->autoCount;
        trigParams->trigValue11 = params->trigValue11;
        trigParams->extraParams = params->extraParams;
    }
    trigKind = params->trigKind;
}

void CameraVandrel::save(QJsonObject &json)
{
    saveParams(json);
}

void CameraVandrel::load(const QJsonObject &json)
{
    loadParams(json);
    applyImageFormat();
    reconnectTimer->start(kReconnectIntervalMs);
}

void CameraVandrel::saveSnapshot()
{
    save(settingsSnapshot);
}

void CameraVandrel::restoreSnapshot()
{
    load(settingsSnapshot);
}

void CameraVandrel::setExposureConfigCount(int count)
{
    rebuildParams(count);
}

cv::Mat CameraVandrel::blankImage()
{
    if (imageWidth <= 0 || imageHeight <= 0)
        return cv::Mat();
    try {
        return cv::Mat::zeros(imageHeight, imageWidth, matType);
    } catch (const std::exception &e) {
        qCWarning(lcVandrel) << "blank image of" << imageWidth << "x" << imageHeight << "failed:" << e.what();
        return cv::Mat();
    }
}
