#include "vandrel.h"

#include "framelock.h"

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
}

CameraVandrel::~CameraVandrel()
{
    CameraStop();
    CameraClose();
    // A receiver that closed the camera from inside a delivery may still be
    // unwinding that delivery; it lets go of the frame mutex last.
    { FrameLock unwound(frameMutex()); }
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
    return QSize(imageWidth, imageHeight);
}

int CameraVandrel::channels()
{
    return channelCount;
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
