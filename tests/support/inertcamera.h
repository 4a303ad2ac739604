#pragma once

#include "camerainterface.h"

#include <QMutex>

// A camera of the host contract whose every operation does nothing and
// answers neutrally, for tests of what lies around a camera: the contract's
// own inline numbering and layout, or a host's editor. Tests override what
// their cases need.
class InertCamera : public CameraInterface
{
public:
    void load(const QJsonObject &) override {}
    void save(QJsonObject &) override {}
    QString pluginIID() override { return QString(); }
    QString pluginName() override { return QString(); }
    QString pluginVersion() override { return QString(); }
    QString pluginDescription() override { return QString(); }
    QPixmap pluginIcon() override { return QPixmap(); }
    QVector<ParamWrap *> *pluginParams() override { return nullptr; }
    bool hostQueryFlag5() override { return false; }
    qint32 hostQueryValue() override { return 0; }
    QString cameraSerial() override { return QString(); }
    void paramsChanged() override {}
    QSize imageSize() override { return QSize(); }
    int channels() override { return 1; }
    void softTrigger(int, int, std::function<void()>) override {}
    CameraInterface *createCamera(int, QString, int) override { return nullptr; }
    QVector<QString> enumerateCameras(int &count) override
    {
        count = 0;
        return {};
    }
    bool hostQueryFlag1() override { return true; }
    int hostQueryCode() override { return 63; }
    void setTrigParams(CameraTrigParams *) override {}
    void setContinueCapture(bool) override {}
    bool isContinueCapture() override { return false; }
    void saveSnapshot() override {}
    void restoreSnapshot() override {}
    void setExposureConfigCount(int) override {}
    bool hostQueryFlag2() override { return false; }
    QMutex *frameMutex() override { return &mutex; }
    cv::Mat blankImage() override { return cv::Mat(); }
    void hostNotify1() override {}
    void closeCamera() override {}
    void restartCamera() override {}

    QMutex mutex;
};
