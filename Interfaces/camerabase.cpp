#include "camerabase.h"

#include <QJsonArray>

namespace {
const QString kParamsWrap = QStringLiteral("paramsWrap");
}

CameraBase::CameraBase() : exposureConfigNames(new QString[1]) {}

CameraBase::~CameraBase()
{
    clearParams();
    delete[] exposureConfigNames;
}

void CameraBase::clearParams()
{
    for (ParamWrap *p : paramList)
        delete p;
    paramList.clear();
    for (QString *names : retiredConfigNames)
        delete[] names;
    retiredConfigNames.clear();
}

void CameraBase::rebuildParams(int count)
{
    // A negative count has no sound list; it is taken as no configuration.
    exposureConfigCount = count < 0 ? 0 : count;
    if (!paramList.isEmpty())
        clearParams();
    buildParams();
}

void CameraBase::buildParams()
{
    const int n = exposureConfigCount < 0 ? 0 : exposureConfigCount;
    if (paramList.isEmpty())
        delete[] exposureConfigNames;
    else
        retiredConfigNames.append(exposureConfigNames);
    exposureConfigNames = new QString[n > 0 ? n : 1];

    const QString empty = QStringLiteral("");
    paramList.append(new SeparateParam(QStringLiteral("图像尺寸"), empty, false, false));

    roiXLabel = QStringLiteral("X坐标");
    roiXDesc = QStringLiteral("裁切的起始位置X坐标");
    paramList.append(new LineEditCameraParam(roiXLabel, roiXDesc, false, false, 3, &roiX, ParamInt, &roiXMin,
                                             &roiXMax, &roiXStep));
    roiYLabel = QStringLiteral("Y坐标");
    roiYDesc = QStringLiteral("裁切的起始位置Y坐标");
    paramList.append(new LineEditCameraParam(roiYLabel, roiYDesc, false, false, 3, &roiY, ParamInt, &roiYMin,
                                             &roiYMax, &roiYStep));
    widthLabel = QStringLiteral("图像的宽度");
    widthDesc = QStringLiteral("图像的宽度");
    paramList.append(new LineEditCameraParam(widthLabel, widthDesc, true, false, 3, &imageWidth, ParamInt,
                                             &widthMin, &widthMax, &widthStep));
    heightLabel = QStringLiteral("图像的高度");
    heightDesc = QStringLiteral("图像的高度");
    paramList.append(new LineEditCameraParam(heightLabel, heightDesc, true, false, 3, &imageHeight, ParamInt,
                                             &heightMin, &heightMax, &heightStep));
    paramList.append(new LineEditCameraParam(QStringLiteral("x方向像素距离"), QStringLiteral("x方向像素距离，单位um"),
                                             false, false, 3, &pixelDistanceX, ParamFloat, &distanceMin,
                                             &distanceMax, &distanceStep));
    paramList.append(new LineEditCameraParam(QStringLiteral("y方向像素距离"), QStringLiteral("y方向像素距离，单位um"),
                                             false, false, 3, &pixelDistanceY, ParamFloat, &distanceMin,
                                             &distanceMax, &distanceStep));
    paramList.append(new LineEditCameraParam(QStringLiteral("z方向单位距离"), QStringLiteral("x方向单位距离，单位um"),
                                             false, false, 3, &unitDistanceZ, ParamFloat, &distanceMin,
                                             &distanceMax, &distanceStep));

    paramList.append(new SeparateParam(QStringLiteral("其它设置"), empty, false, false));
    mirrorNames[0] = mirrorDescs[0] = QStringLiteral("水平镜像");
    mirrorNames[1] = mirrorDescs[1] = QStringLiteral("垂直镜像");
    paramList.append(new CheckBoxParam(empty, empty, false, false, 1, mirror, 2, mirrorNames, mirrorDescs));
    transposeNames[0] = QStringLiteral("图像转置");
    transposeDescs[0] = QStringLiteral("图像转置，即转置后，图像的行列坐标与原图像互换");
    paramList.append(
        new CheckBoxParam(empty, empty, false, false, 1, &transpose, 1, transposeNames, transposeDescs));

    exposureConfigLabel = QStringLiteral("当前曝光配置");
    exposureConfigDesc = QStringLiteral("选择当前曝光配置项");
    for (int i = 0; i < n; ++i)
        exposureConfigNames[i] = QStringLiteral("曝光时间%1").arg(i + 1);
    paramList.append(new ComboBoxParam(exposureConfigLabel, exposureConfigDesc, false, false, 1,
                                       &currentExposureIndex, n, exposureConfigNames, exposureConfigNames));

    exposureLabel = QStringLiteral("曝光时间");
    exposureDesc = QStringLiteral("设置曝光时间,单位0.1ms");
    exposureTimes.resize(n);
    for (int i = 0; i < n; ++i)
        paramList.append(new LineEditCameraParam(exposureConfigNames[i], exposureDesc, false, false, 1,
                                                 &exposureTimes[i], ParamFloat, &exposureMin, &exposureMax,
                                                 &exposureStep));

    frameSpeedLabel = QStringLiteral("图像帧率");
    frameSpeedDesc = QStringLiteral("相机输出图像的帧率索引号");
    frameSpeedNames[0] = QStringLiteral("低速模式");
    frameSpeedNames[1] = QStringLiteral("普通模式");
    frameSpeedNames[2] = QStringLiteral("高速模式");
    frameSpeedNames[3] = QStringLiteral("超高速模式");
    frameSpeedCount = 3;
    paramList.append(new ComboBoxParam(frameSpeedLabel, frameSpeedDesc, false, false, 1, &frameSpeedIndex,
                                       frameSpeedCount, frameSpeedNames, frameSpeedNames));

    gainLabel = QStringLiteral("模拟增益");
    gainDesc = QStringLiteral("设置相机的图像模拟增益值");
    paramList.append(new LineEditCameraParam(gainLabel, gainDesc, false, false, 1, &analogGain, ParamInt,
                                             &gainMin, &gainMax, &intStep));
    gammaLabel = QStringLiteral("Gamma值");
    gammaDesc = QStringLiteral("设定LUT动态生成模式下的Gamma值");
    paramList.append(new LineEditCameraParam(gammaLabel, gammaDesc, false, false, 1, &gamma, ParamInt, &gammaMin,
                                             &gammaMax, &intStep));
    sharpnessLabel = QStringLiteral("锐化");
    sharpnessDesc = QStringLiteral("设置图像的处理的锐化参数");
    paramList.append(new LineEditCameraParam(sharpnessLabel, sharpnessDesc, false, false, 1, &sharpness,
                                             ParamInt, &sharpnessMin, &sharpnessMax, &intStep));
    contrastLabel = QStringLiteral("对比度");
    contrastDesc = QStringLiteral("设定LUT动态生成模式下的对比度值");
    paramList.append(new LineEditCameraParam(contrastLabel, contrastDesc, false, false, 1, &contrast, ParamInt,
                                             &contrastMin, &contrastMax, &intStep));
    debounceLabel = QStringLiteral("去抖时长");
    debounceDesc = QStringLiteral("设定去抖时长");
    paramList.append(new LineEditCameraParam(debounceLabel, debounceDesc, false, false, 1, &debounceTime,
                                             ParamInt, &debounceMin, &debounceMax, &intStep));
    packetIntervalLabel = QStringLiteral("发包间隔");
    packetIntervalDesc = QStringLiteral("相机发数据包的间隔时间");
    paramList.append(new LineEditCameraParam(packetIntervalLabel, packetIntervalDesc, false, false, 1,
                                             &packetInterval, ParamInt, &packetIntervalMin, &packetIntervalMax,
                                             &intStep));

    colorImageName = QStringLiteral("彩色图像");
    colorImageDesc = QStringLiteral("可设置相机输出的是彩色图像还是黑白图像，重启才生效");
    paramList.append(
        new CheckBoxParam(empty, empty, false, false, 1, &colorImage, 1, &colorImageName, &colorImageDesc));
    whiteBalanceName = QStringLiteral("白平衡");
    whiteBalanceDesc = QStringLiteral("白平衡,彩色相机有效");
    paramList.append(new CheckBoxParam(empty, empty, false, false, 1, &whiteBalance, 1, &whiteBalanceName,
                                       &whiteBalanceDesc));
}

void CameraBase::saveParams(QJsonObject &json)
{
    QJsonArray array;
    for (ParamWrap *p : paramList) {
        QJsonObject item;
        p->toJson(item);
        array.append(item);
    }
    json.insert(kParamsWrap, array);
}

void CameraBase::loadParams(const QJsonObject &json)
{
    if (!json.contains(kParamsWrap))
        return;
    const QJsonArray array = json.value(kParamsWrap).toArray();
    for (int i = 0; i < paramList.size() && i < array.size(); ++i) {
        QJsonObject item = array.at(i).toObject();
        paramList[i]->fromJson(item);
    }
}
