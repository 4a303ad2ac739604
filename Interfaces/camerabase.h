#pragma once

// The parameter set of one camera: every setting, the texts and ranges that
// describe it, and the descriptor list that points at them. Descriptors point
// into these members, so the object must not move while the list exists.
// Not thread-safe: used on the thread that owns the camera.

#include "paramwrap.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

class CameraBase
{
public:
    CameraBase();
    // Not virtual: the set is destroyed only as part of its camera.
    ~CameraBase();
    CameraBase(const CameraBase &) = delete;
    CameraBase &operator=(const CameraBase &) = delete;

    virtual void loadParams(const QJsonObject &json);
    virtual void saveParams(QJsonObject &json);
    virtual void buildParams();

    // Sets the number of exposure configurations and builds the list anew.
    void rebuildParams(int count);
    // Destroys every descriptor and empties the list.
    void clearParams();

    QVector<ParamWrap *> paramList;
    qint32 roiX = 0;
    qint32 roiY = 0;
    qint32 imageWidth = 0;
    qint32 imageHeight = 0;
    float pixelDistanceX = 0;
    float pixelDistanceY = 0;
    float unitDistanceZ = 0;
    bool mirror[2] = {false, false};
    bool transpose = false;
    qint32 frameSpeedIndex = 1;
    qint32 exposureConfigCount = 1;
    qint32 currentExposureIndex = 0;
    QVector<float> exposureTimes;
    qint32 analogGain = 0;
    qint32 gamma = 0;
    qint32 sharpness = 0;
    qint32 contrast = 0;
    qint32 debounceTime = 50;
    qint32 packetInterval = 400;
    bool whiteBalance = false;
    bool colorImage = false;
    QString serialNumber;
    qint32 cameraNumber = 0;
    qint32 creationArg = 0;
    qint32 channelCount = 1;
    qint32 trigKind = 0;
    QString roiXLabel, roiXDesc;
    qint32 roiXMin = 0, roiXMax = 0, roiXStep = 1;
    QString roiYLabel, roiYDesc;
    qint32 roiYMin = 0, roiYMax = 0, roiYStep = 1;
    QString widthLabel, widthDesc;
    qint32 widthMin = 0, widthMax = 0, widthStep = 1;
    QString heightLabel, heightDesc;
    qint32 heightMin = 0, heightMax = 0, heightStep = 1;
    float distanceMin = 0.0f, distanceMax = 1000.0f, distanceStep = 0.1f;
    qint32 sensorWidth = 64, sensorHeight = 64;
    QString mirrorNames[2];
    QString mirrorDescs[2];
    QString transposeNames[1];
    QString transposeDescs[1];
    QString frameSpeedLabel, frameSpeedDesc;
    QString frameSpeedNames[4];
    qint32 frameSpeedCount = 3;
    QString exposureLabel, exposureDesc;
    float exposureMin = 0.0f, exposureMax = 0.0f;
    QString *exposureConfigNames;
    QString exposureConfigLabel, exposureConfigDesc;
    QString gainLabel, gainDesc;
    qint32 gainMin = 0, gainMax = 0;
    QString gammaLabel, gammaDesc;
    qint32 gammaMin = 0, gammaMax = 0;
    QString sharpnessLabel, sharpnessDesc;
    qint32 sharpnessMin = 0, sharpnessMax = 0;
    QString contrastLabel, contrastDesc;
    qint32 contrastMin = 0, contrastMax = 0;
    QString debounceLabel, debounceDesc;
    qint32 debounceMin = 0, debounceMax = 0;
    QString packetIntervalLabel, packetIntervalDesc;
    qint32 packetIntervalMin = 0, packetIntervalMax = 0;
    QString whiteBalanceName, whiteBalanceDesc;
    QString colorImageName, colorImageDesc;
    qint32 intStep = 1;
    float exposureStep = 0.1f;

private:
    // Name arrays replaced while descriptors of an earlier build still point
    // into them; freed with those descriptors.
    QVector<QString *> retiredConfigNames;
};
