// The arithmetic that brings a parameter set into a camera's limits, on a
// bare parameter set and a given resolution: no camera, no SDK.

#include "normalize.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

// What opening a 4096 x 2048 sensor sets, with the integer ranges of a
// typical capability record.
void openedBounds(CameraBase &p)
{
    p.sensorWidth = p.widthMax = p.roiXMax = 4096;
    p.sensorHeight = p.heightMax = p.roiYMax = 2048;
    p.roiXMin = p.roiYMin = 0;
    p.roiXStep = 16;
    p.roiYStep = 4;
    p.widthMin = p.heightMin = 64;
    p.widthStep = 16;
    p.heightStep = 4;
    p.gainMin = 10;
    p.gainMax = 32;
    p.gammaMin = 150;
    p.gammaMax = 250;
    p.contrastMin = 120;
    p.contrastMax = 200;
    p.sharpnessMin = 2;
    p.sharpnessMax = 10;
    p.debounceMin = 0;
    p.debounceMax = 2000000;
    p.packetIntervalMin = p.packetIntervalMax = 0;
    p.exposureTimes = {1.0f};
    p.imageWidth = 4096;
    p.imageHeight = 512;
}

struct Row {
    const char *what;
    CameraResolution camera;
    std::function<void(CameraBase &)> given;
    std::function<void(const CameraBase &)> expect;
};

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

} // namespace

TEST(NormalizeParameterSet, Table)
{
    const CameraResolution same{4096, 512, 0, 0};
    const Row rows[] = {
        {"width aligned down to its step before the comparison", {992, 512, 0, 0},
         [](CameraBase &p) { p.imageWidth = 1000; },
         [](const CameraBase &p) {
             EXPECT_EQ(p.imageWidth, 992);
             EXPECT_EQ(p.roiXMax, 4096 - 992);
         }},
        {"offset pushes the width past the sensor", {1024, 512, 0, 0},
         [](CameraBase &p) { p.roiX = 96; },
         [](const CameraBase &p) {
             EXPECT_EQ(p.imageWidth, 4000);
             EXPECT_EQ(p.roiXMax, 96);
             EXPECT_EQ(p.widthMax, 4000);
         }},
        {"a width the camera already has is kept as it is", {8192, 512, 0, 0},
         [](CameraBase &p) { p.imageWidth = 8192; },
         [](const CameraBase &p) {
             EXPECT_EQ(p.imageWidth, 8192);
             EXPECT_EQ(p.roiXMax, 4096 - 8192);
         }},
        {"zero or negative sizes take the largest size", {4096, 2048, 0, 0},
         [](CameraBase &p) {
             p.imageWidth = 0;
             p.imageHeight = -8;
             p.widthMax = 1024;
             p.heightMax = 256;
         },
         [](const CameraBase &p) {
             EXPECT_EQ(p.imageWidth, 1024);
             EXPECT_EQ(p.imageHeight, 256);
         }},
        {"an offset past the sensor moves back to the room left", {1024, 512, 16, 0},
         [](CameraBase &p) {
             p.imageWidth = 1024;
             p.roiX = 4000;
         },
         [](const CameraBase &p) {
             EXPECT_EQ(p.imageWidth, 1024);
             EXPECT_EQ(p.roiX, 4096 - 1024);
             EXPECT_EQ(p.widthMax, 1024);
         }},
        {"values below their minimum take the replacement, not the minimum", same,
         [](CameraBase &p) {
             p.analogGain = 1;
             p.gamma = 0;
             p.contrast = 0;
             p.sharpness = 1;
             p.debounceTime = -5;
             p.packetInterval = 400;
         },
         [](const CameraBase &p) {
             EXPECT_EQ(p.analogGain, 8) << "even below the minimum of 10";
             EXPECT_EQ(p.gamma, 100);
             EXPECT_EQ(p.contrast, 100);
             EXPECT_EQ(p.sharpness, 0);
             EXPECT_EQ(p.debounceTime, 0);
             EXPECT_EQ(p.packetInterval, 0) << "both of its bounds are 0";
         }},
        {"values above their maximum take the maximum", same,
         [](CameraBase &p) {
             p.analogGain = 99;
             p.gamma = 999;
             p.contrast = 999;
             p.sharpness = 99;
             p.debounceTime = 3000000;
         },
         [](const CameraBase &p) {
             EXPECT_EQ(p.analogGain, 32);
             EXPECT_EQ(p.gamma, 250);
             EXPECT_EQ(p.contrast, 200);
             EXPECT_EQ(p.sharpness, 10);
             EXPECT_EQ(p.debounceTime, 2000000);
         }},
        {"exposure index within the list, -1 for an empty one", same,
         [](CameraBase &p) {
             p.exposureTimes.clear();
             p.currentExposureIndex = 3;
         },
         [](const CameraBase &p) { EXPECT_EQ(p.currentExposureIndex, -1); }},
        {"a negative exposure index becomes 0", same,
         [](CameraBase &p) {
             p.exposureTimes = {1.0f, 2.0f};
             p.currentExposureIndex = -4;
         },
         [](const CameraBase &p) { EXPECT_EQ(p.currentExposureIndex, 0); }},
        {"extreme values saturate instead of overflowing", {0, 0, 0, 0},
         [](CameraBase &p) {
             p.imageWidth = kMax;
             p.roiX = kMax;
             p.imageHeight = kMin;
             p.roiY = kMin;
             p.widthStep = -1;
             p.roiXStep = 0;
         },
         [](const CameraBase &p) {
             EXPECT_LE(qint64(p.imageWidth) + p.roiX, qint64(kMax));
             EXPECT_GE(p.roiXMax, kMin);
             EXPECT_GE(p.heightMax, kMin);
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CameraBase set;
        openedBounds(set);
        row.given(set);
        normalizeParameterSet(set, row.camera);
        row.expect(set);
    }
}
