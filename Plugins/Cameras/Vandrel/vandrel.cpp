#include "vandrel.h"

#include "ownerwork.h"


#include <QGuiApplication>

#include <exception>

#include "driverlog.h"  // last: names the file of the messages below

Q_LOGGING_CATEGORY(lcVandrel, "vandrel")

CameraVandrel::CameraVandrel() : trigParams(nullptr), reconnectTimer(nullptr)
{
    trigKind = 1;
    trigParams = new CameraTrigParams;
    trigParams->trigKind = trigKind;
    reconnectTimer = new QTimer(this);
    connect(reconnectTimer, &QTimer::timeout, this, &CameraVandrel::reconnectTick);
    ownerWaker = new OwnerWaker(this, [this] { runDeferred(); });
}

CameraVandrel::~CameraVandrel()
{
    // Work other threads left for this camera goes with it. The close waits
    // for a teardown still running elsewhere, and that teardown for every
    // callback, so nothing of this object is in use once it returns.
    CameraClose();
    clearParams();
    delete trigParams;
    trigParams = nullptr;
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
    // Not runDeferred: a rebuild left here would free the descriptors that
    // the host's editor may still show from an earlier call.
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

// ----------------------------------------------------------------- queries

QString CameraVandrel::cameraSerial()
{
    return opened ? serialNumber : QStringLiteral("-1");
}

QMutex *CameraVandrel::frameMutex()
{
    return &mutex;
}

QSize CameraVandrel::imageSize()
{
    std::lock_guard<std::mutex> guard(paramsLock);
    return QSize(imageWidth, imageHeight);
}

int CameraVandrel::channels()
{
    std::lock_guard<std::mutex> guard(paramsLock);
    return channelCount;
}

cv::Mat CameraVandrel::blankImage()
{
    qint32 width = 0;
    qint32 height = 0;
    {
        std::lock_guard<std::mutex> guard(paramsLock);
        width = imageWidth;
        height = imageHeight;
    }
    int type = CV_8UC1;
    {
        std::lock_guard<std::mutex> state(triggerLock);
        type = matType;
    }
    if (width <= 0 || height <= 0)
        return cv::Mat();
    try {
        return cv::Mat::zeros(height, width, type);
    } catch (const std::exception &e) {
        qCWarning(lcVandrel) << "blank image of" << width << "x" << height << "failed:" << e.what();
        return cv::Mat();
    }
}
