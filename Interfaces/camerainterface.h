#pragma once

// The host application's contract with camera plug-ins. The host calls the
// virtual operations by position: their order and signatures are fixed.

#include <QBitArray>
#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QTime>
#include <QVariant>
#include <QVector>
#include <QtPlugin>

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

class ParamWrap;
class QMutex;

class SerializeInterface
{
public:
    virtual ~SerializeInterface() {}
    virtual void load(const QJsonObject &json) = 0;
    virtual void save(QJsonObject &json) = 0;
};

class PluginInterface : public SerializeInterface
{
public:
    virtual QString pluginIID() = 0;
    virtual QString pluginName() = 0;
    virtual QString pluginVersion() = 0;
    virtual QString pluginDescription() = 0;
    virtual QPixmap pluginIcon() = 0;
    virtual QVector<ParamWrap *> *pluginParams() = 0;
    virtual bool hostQueryFlag5() = 0;
    virtual qint32 hostQueryValue() = 0;
};

// Value type of ImageProcessData::hostResults; the driver only copies it.
struct HostResultEntry
{
    QString name;
    bool passed = false;
    QBitArray mask;
    bool valid = false;
    int code = 0;
    QString message;
    QMap<QString, QVariant> values;
    QVector<std::shared_ptr<void>> items;
};

// One delivered image with its numbers. Copies share the pixels. The plug-in
// registers no meta-type for it: a host that queues captureCompleted across
// threads registers it by name, qRegisterMetaType<ImageProcessData>("ImageProcessData"),
// and may declare Q_DECLARE_METATYPE(ImageProcessData) itself.
struct ImageProcessData
{
    bool hostFlag1 = false;
    bool hostFlag2 = false;
    QDateTime captureTime;
    QDateTime hostTime;
    int hostValue0 = 0;
    int cameraIndex = 0;
    int productID = -1;
    int captureIndex = 1;
    int productCycleIndex = 1;
    cv::Mat image;
    qint32 hostValue1 = 0;
    qint32 hostValue2 = 0;
    qint32 hostValue3 = 0;
    bool hostFlag3 = false;
    bool hostFlag4 = false;
    QVector<std::shared_ptr<void>> hostItems1;
    QMap<QString, HostResultEntry> hostResults;
    int hostValue4 = 0;
    QString hostText1 = QString(QLatin1String(""));
    QString hostText2;
    QVector<std::shared_ptr<void>> hostItems2;
};

// Trigger and product-grouping settings installed by the host.
class CameraTrigParams
{
public:
    virtual ~CameraTrigParams() {}

    qint32 trigKind = 4;
    qint32 trigValue2 = 0;
    qint32 trigValue3 = 0;
    qint32 trigValue4 = 0;
    qint32 trigValue5 = 1;
    qint32 capturesPerProduct = 1;
    qint32 trigValue7 = 0;
    qint32 productsPerCycle = 1;
    qint32 cycleTimeout = 0;  // ms; 0 or less: no time-out
    qint32 autoCount = 0;
    qint32 trigValue11 = 1;
    QMap<QString, QVariant> extraParams;
};

// Threading: operations run on the thread that owns the object; signals
// captureCompleted and CameraLoss come from the camera SDK's threads.
// getProductID runs on the frame thread with frameMutex() held.
//
// Logging: a plug-in logs to a Qt logging category named after it; the
// Vandrel plug-in's category is "vandrel", with one debug line per frame.
// A host silences that line, before loading the plug-in, with
//   QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
class CameraInterface : public QObject, public PluginInterface
{
    Q_OBJECT
public:
    CameraInterface() : QObject(nullptr) {}
    ~CameraInterface() override {}

    virtual QString cameraSerial() = 0;
    virtual void paramsChanged() = 0;
    virtual QSize imageSize() = 0;
    virtual int channels() = 0;
    virtual void softTrigger(int productNumber, int captureNumber, std::function<void()> hook) = 0;
    virtual CameraInterface *createCamera(int cameraNumber, QString serialNumber, int creationArg) = 0;
    virtual QVector<QString> enumerateCameras(int &count) = 0;
    virtual bool hostQueryFlag1() = 0;
    virtual int hostQueryCode() = 0;
    virtual void setTrigParams(CameraTrigParams *params) = 0;
    virtual void setContinueCapture(bool continuous) = 0;
    virtual bool isContinueCapture() = 0;
    virtual void saveSnapshot() = 0;
    virtual void restoreSnapshot() = 0;
    virtual void setExposureConfigCount(int count) = 0;
    virtual bool hostQueryFlag2() = 0;
    virtual bool hostQueryFlag3() { return false; }
    virtual QMutex *frameMutex() = 0;
    virtual cv::Mat blankImage() = 0;
    virtual void hostNotify1() = 0;
    virtual void closeCamera() = 0;
    virtual void restartCamera() = 0;
    virtual bool hostQueryFlag4() { return true; }
    virtual QVector<int> hostQueryList() { return QVector<int>(); }
    virtual int selectExposure(int index)
    {
        Q_UNUSED(index);
        return 0;
    }
    virtual void hostNotify2() {}
    virtual double hostQueryReal() { return 0.0; }

    // Numbers one frame by product, capture within the product and product
    // within the cycle, advancing the counters below.
    void getProductID(int cameraIndex, CameraTrigParams *params, int &productID, int &captureIndex,
                      int &productCycleIndex)
    {
        productID = 0;
        captureIndex = 1;
        productCycleIndex = 1;
        if (!isRunning)
            return;
        if (!(params->trigKind == 32 && params->autoCount <= 0)) {
            ++productFrame;
            if (productFrame > params->capturesPerProduct)
                productFrame = 1;
            if (productFrame == 1) {
                ++productId;
                ++productCycle;
                if (productCycle > params->productsPerCycle)
                    productCycle = 1;
            }
            if (params->cycleTimeout > 0) {
                if ((params->capturesPerProduct > 1 && productFrame == 1)
                    || (params->productsPerCycle > 1 && productCycle == 1)) {
                    cycleTimer.restart();
                } else if (cycleTimer.isValid() && cycleTimer.elapsed() > params->cycleTimeout) {
                    // A never-started clock cannot have run out.
                    cycleTimer.restart();
                    if (productFrame > 1) {
                        qWarning() << "Camera" << cameraIndex << "cycle capture timeout with product"
                                   << productId << "cycle" << productFrame;
                        productFrame = 1;
                        ++productId;
                    }
                    if (productCycle > 1) {
                        qWarning() << "Camera" << cameraIndex << "cycle product timeout with product"
                                   << productId << "cycle" << productCycle;
                        productCycle = 1;
                    }
                }
            }
        }
        productID = productId;
        captureIndex = productFrame;
        productCycleIndex = productCycle;
    }

    bool isRunning = false;
    int productId = 0;
    int productFrame = 0;
    int productCycle = 0;
    int reservedCount = 0;
    std::function<void()> triggerCallback;
    QTime lastFrameTime = QTime::currentTime();
    QElapsedTimer cycleTimer;
    QTime createdTime = QTime::currentTime();

signals:
    void captureCompleted(ImageProcessData data);
    void CameraLoss();
    void CameraReconnect();
};

#define CameraInterface_iid "com.kvr.quorvane.camerainterface"
Q_DECLARE_INTERFACE(CameraInterface, CameraInterface_iid)
