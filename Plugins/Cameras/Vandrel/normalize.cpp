#include "normalize.h"

#include <limits>

void normalizeParameterSet(CameraBase &set, const CameraResolution &camera)
{
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
    alignDown(set.imageWidth, set.widthStep);
    alignDown(set.imageHeight, set.heightStep);
    alignDown(set.roiX, set.roiXStep);
    alignDown(set.roiY, set.roiYStep);

    const bool widthDiffers = set.imageWidth != camera.width;
    const bool heightDiffers = set.imageHeight != camera.height;
    const bool offsetXDiffers = set.roiX != camera.offsetX;
    const bool offsetYDiffers = set.roiY != camera.offsetY;

    if (widthDiffers) {
        if (set.imageWidth <= 0)
            set.imageWidth = set.widthMax;
        if (sum(set.imageWidth, set.roiX) > set.sensorWidth)
            set.imageWidth = fit(qint64(set.sensorWidth) - set.roiX);
    }
    set.roiXMax = fit(qint64(set.sensorWidth) - set.imageWidth);
    if (heightDiffers) {
        if (set.imageHeight <= 0)
            set.imageHeight = set.heightMax;
        if (sum(set.imageHeight, set.roiY) > set.sensorHeight)
            set.imageHeight = fit(qint64(set.sensorHeight) - set.roiY);
    }
    set.roiYMax = fit(qint64(set.sensorHeight) - set.imageHeight);
    if (offsetXDiffers) {
        if (set.roiX <= 0)
            set.roiX = set.roiXMin;
        if (sum(set.roiX, set.imageWidth) > set.sensorWidth)
            set.roiX = set.roiXMax;
    }
    set.widthMax = fit(qint64(set.sensorWidth) - set.roiX);
    if (offsetYDiffers) {
        if (set.roiY <= 0)
            set.roiY = set.roiYMin;
        if (sum(set.roiY, set.imageHeight) > set.sensorHeight)
            set.roiY = set.roiYMax;
    }
    set.heightMax = fit(qint64(set.sensorHeight) - set.roiY);

    if (set.currentExposureIndex < 0)
        set.currentExposureIndex = 0;
    if (set.currentExposureIndex >= set.exposureTimes.size())
        set.currentExposureIndex = set.exposureTimes.size() - 1;

    auto clamp = [](qint32 &value, qint32 min, qint32 max, qint32 belowMin) {
        if (value < min)
            value = belowMin;
        else if (value > max)
            value = max;
    };
    clamp(set.analogGain, set.gainMin, set.gainMax, 8);
    clamp(set.contrast, set.contrastMin, set.contrastMax, 100);
    clamp(set.gamma, set.gammaMin, set.gammaMax, 100);
    clamp(set.sharpness, set.sharpnessMin, set.sharpnessMax, 0);
    clamp(set.debounceTime, set.debounceMin, set.debounceMax, set.debounceMin);
    clamp(set.packetInterval, set.packetIntervalMin, set.packetIntervalMax, set.packetIntervalMin);
}
