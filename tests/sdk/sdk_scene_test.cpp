// Scenes and replayed frames of the simulated cameras: where a scene row
// lands, speed, wrap, the camera's state applied to it, the Bayer mosaic,
// replay of a directory and of a recording, and the configurations refused.
#include "sdkfixture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

using namespace sdktest;

namespace {

constexpr const char *kCam = "VDXGSCENE001";
constexpr int kSceneRows = 200;
constexpr int kMarkRow = 150;

// Grey scene 32 wide: row y holds y, except a mark of 250 in columns 8 to 11 of kMarkRow.
cv::Mat rowScene()
{
    cv::Mat m(kSceneRows, 32, CV_8UC1);
    for (int y = 0; y < kSceneRows; ++y)
        m.row(y).setTo(y);
    m(cv::Rect(8, kMarkRow, 4, 1)).setTo(250);
    return m;
}

std::string write(const QTemporaryDir &dir, const char *name, const cv::Mat &image)
{
    const std::string path = dir.filePath(QLatin1String(name)).toStdString();
    EXPECT_TRUE(cv::imwrite(path, image)) << path;
    return path;
}

std::string device(const std::string &keys, bool mono = true, int width = 64, int frameHeight = 16)
{
    return std::string(R"({"devices": [{"productName": "VD-XG8K-M", "serialNumber": ")") + kCam
           + R"(", "sensorWidth": )" + std::to_string(width) + R"(, "sensorHeight": 4096, "frameHeight": )"
           + std::to_string(frameHeight) + R"(, "mono": )" + (mono ? "true" : "false")
           + R"(, "frameRate": 0, "triggerMode": 1, )" + keys + "}]}";
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
}

// Opens the camera, triggers n frames and returns what the consumer saw.
struct Grab {
    VdHandle h = 0;
    Consumer consumer;
    Grab()
    {
        h = openCamera(kCam);
        EXPECT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
        EXPECT_EQ(VdPlay(h), VD_OK);
    }
    ~Grab() { EXPECT_EQ(VdUnInit(h), VD_OK); }
    std::vector<FrameRecord> frames(size_t n)
    {
        const size_t before = consumer.count();
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(VdSoftTrigger(h), VD_OK);
            EXPECT_TRUE(consumer.waitCount(before + i + 1)) << "frame " << before + i + 1;
        }
        return consumer.snapshot();
    }
};

cv::Mat imageOf(const FrameRecord &f)
{
    const int type = f.headAfter.pixelFormat == VD_PIXEL_RGB8 ? CV_8UC3 : CV_8UC1;
    return cv::Mat(f.headBefore.height, f.headBefore.width, type, const_cast<unsigned char *>(f.processed.data()))
        .clone();
}

// Every line of the frames shows the scene row its position and speed say;
// column 40 is away from the mark and the stamp.
void expectRows(const std::vector<FrameRecord> &frames, double speed)
{
    for (const FrameRecord &f : frames) {
        const cv::Mat img = imageOf(f);
        for (int r = 0; r < img.rows; ++r) {
            const uint64_t line = uint64_t(f.headBefore.frameId - 1) * 16u + uint64_t(r);
            const int row = int(uint64_t(std::floor(double(line) * speed)) % kSceneRows);
            const int expected = row == kMarkRow ? img.at<uchar>(r, 40) : row;
            ASSERT_EQ(img.at<uchar>(r, 40), expected) << "frame " << f.headBefore.frameId << " line " << r;
        }
    }
}

} // namespace

TEST(SdkScene, ASceneRowAppearsAtTheExpectedFrameLineAndColumn)
{
    QTemporaryDir dir;
    const std::string scene = write(dir, "rows.png", rowScene());
    configure(device(R"("scene": )" + quoted(scene)).c_str());
    Grab g;
    const auto frames = g.frames(12);
    // Row 150 is line 6 of frame 10; the scene, 32 wide, is stretched to 64.
    const cv::Mat img = imageOf(frames[9]);
    EXPECT_EQ(frames[9].headBefore.frameId, 10u);
    for (int c = 18; c <= 21; ++c)
        EXPECT_EQ(img.at<uchar>(6, c), 250) << c;
    EXPECT_EQ(img.at<uchar>(6, 12), kMarkRow);
    EXPECT_EQ(img.at<uchar>(6, 30), kMarkRow);
    EXPECT_EQ(img.at<uchar>(5, 19), kMarkRow - 1);
    EXPECT_EQ(img.at<uchar>(7, 19), kMarkRow + 1);
    // Generated frames keep the frame id in their first four bytes.
    EXPECT_EQ(stampOf(frames[9].processed), 10u);
    expectRows(frames, 1.0);
}

TEST(SdkScene, SpeedStretchesOrCompressesTheWebAndItWraps)
{
    QTemporaryDir dir;
    const std::string scene = write(dir, "rows.png", rowScene());
    for (double speed : {0.5, 2.0}) {
        SCOPED_TRACE(speed);
        configure(device(R"("scene": )" + quoted(scene) + R"(, "speed": )" + std::to_string(speed)).c_str());
        Grab g;
        // 30 frames of 16 lines: past the scene's end at both speeds.
        const auto frames = g.frames(30);
        expectRows(frames, speed);
        const cv::Mat first = imageOf(frames[0]);
        if (speed == 0.5)
            EXPECT_EQ(first.at<uchar>(3, 40), 1);   // each row twice
        else
            EXPECT_EQ(imageOf(frames[6]).at<uchar>(4, 40), 0);   // line 100 shows row 200: wrapped
    }
}

TEST(SdkScene, MirrorFlagsFlipTheScene)
{
    QTemporaryDir dir;
    const std::string scene = write(dir, "rows.png", rowScene());
    configure(device(R"("scene": )" + quoted(scene)).c_str());
    ASSERT_EQ(VdSimSetValue(kCam, "mirrorX", 1), VD_OK);
    ASSERT_EQ(VdSimSetValue(kCam, "mirrorY", 1), VD_OK);
    EXPECT_EQ(value(kCam, "mirrorX"), 1);
    Grab g;
    const auto frames = g.frames(10);
    const cv::Mat img = imageOf(frames[9]);
    // Upside down: scene line 6 of the frame is at 15 - 6; right to left: columns 18..21 at 63 - c.
    for (int c = 18; c <= 21; ++c)
        EXPECT_EQ(img.at<uchar>(9, 63 - c), 250) << c;
    EXPECT_EQ(img.at<uchar>(9, 19), kMarkRow);
    EXPECT_EQ(img.at<uchar>(0, 40), 144 + 15);
    EXPECT_EQ(VdSimSetValue(kCam, "mirror", 1), VD_ERR_BAD_ARGUMENT);
}

TEST(SdkScene, BrightnessGrowsWithTheExposureUntilTheSensorSaturates)
{
    QTemporaryDir dir;
    const std::string scene = write(dir, "flat.png", cv::Mat(64, 64, CV_8UC1, cv::Scalar(50)));
    // Exposure 1 to 10000 lines of 10 us; the scene as drawn at 100 us.
    configure(device(R"("scene": )" + quoted(scene) + R"(, "lineTimeUs": 10, "exposureMin": 1,
        "exposureMax": 10000, "gainMin": 0, "gainMax": 16, "sceneExposureUs": 100)").c_str());
    Grab g;
    auto level = [&] {
        const auto frames = g.frames(1);
        return int(imageOf(frames.back()).at<uchar>(8, 40));
    };
    // The exposure is sent in us times the line time, as the driver scales it.
    auto expose = [&](double us) { EXPECT_EQ(VdSetExposureTime(g.h, us * 10), VD_OK); };
    EXPECT_EQ(value(kCam, "exposureUs"), 100) << "powered up at the exposure that shows the scene as drawn";
    EXPECT_EQ(level(), 50);
    const struct {
        double us;
        int level;
    } steps[] = {{50, 25}, {100, 50}, {200, 100}, {400, 200}, {500, 250}, {600, 255}, {5000, 255}};
    for (const auto &s : steps) {
        SCOPED_TRACE(s.us);
        expose(s.us);
        EXPECT_EQ(value(kCam, "exposureUs"), s.us);
        EXPECT_EQ(level(), s.level);
    }
    expose(1);
    EXPECT_EQ(value(kCam, "exposureUs"), 10) << "below the range counts as its shortest";
    EXPECT_EQ(level(), 5);
    expose(1e9);
    EXPECT_EQ(value(kCam, "exposureUs"), 1e5);
    expose(100);
    ASSERT_EQ(VdSimSetValue(kCam, "gain", 16), VD_OK);
    EXPECT_EQ(level(), 100) << "the gain doubles it across its range";
    ASSERT_EQ(VdSimSetValue(kCam, "gain", 1000), VD_OK);
    EXPECT_EQ(level(), 100);
}

TEST(SdkScene, NoiseIsSeededAndIlluminationFallsOffTowardsTheEdges)
{
    QTemporaryDir dir;
    const std::string scene = write(dir, "flat.png", cv::Mat(64, 64, CV_8UC1, cv::Scalar(100)));
    auto grab = [&](const std::string &keys) {
        configure(device(R"("scene": )" + quoted(scene) + ", " + keys, true, 256).c_str());
        Grab g;
        return imageOf(g.frames(3).back());
    };
    const cv::Mat a = grab(R"("noise": 4, "seed": 7)");
    const cv::Mat b = grab(R"("noise": 4, "seed": 7)");
    const cv::Mat c = grab(R"("noise": 4, "seed": 8)");
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0) << "same seed, same frames";
    EXPECT_GT(cv::norm(a, c, cv::NORM_INF), 0);
    cv::Scalar mean, dev;
    cv::meanStdDev(a(cv::Rect(8, 1, 240, 15)), mean, dev);
    EXPECT_NEAR(mean[0], 100, 1.5);
    EXPECT_NEAR(dev[0], 4, 1.0);

    const cv::Mat lit = grab(R"("illumination": 40)");
    EXPECT_EQ(lit.at<uchar>(8, 127), 100);
    EXPECT_NEAR(lit.at<uchar>(8, 0), 60, 1);
    EXPECT_NEAR(lit.at<uchar>(8, 255), 60, 1);
}

TEST(SdkScene, AColourCameraDeliversABayerMosaicThatDemosaicsBackToTheScene)
{
    QTemporaryDir dir;
    // A smooth colour scene in RGB: red across, green down, blue constant.
    cv::Mat rgb(256, 128, CV_8UC3);
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x)
            rgb.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(40 + x), uchar(30 + y / 2), 150);
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    const std::string scene = write(dir, "colour.png", bgr);
    configure(device(R"("scene": )" + quoted(scene), false, 128, 16).c_str());
    Grab g;
    g.consumer.keepRaw = true;
    const auto frames = g.frames(2);
    const FrameRecord &f = frames[1];
    EXPECT_EQ(f.headBefore.rawFormat, 1u);
    EXPECT_EQ(f.raw.size(), 128u * 16u) << "one byte per pixel: a mosaic";
    // The mosaic: R at even lines and columns, B at odd lines and columns.
    const int sceneRow = 16;   // frame 2 starts at row 16
    EXPECT_EQ(f.raw[2], rgb.at<cv::Vec3b>(sceneRow, 2)[0]);
    EXPECT_EQ(f.raw[128 + 3], rgb.at<cv::Vec3b>(sceneRow + 1, 3)[2]);
    EXPECT_EQ(f.raw[3], rgb.at<cv::Vec3b>(sceneRow, 3)[1]);

    const cv::Mat out = imageOf(f);
    ASSERT_EQ(out.type(), CV_8UC3);
    const cv::Rect inner(2, 2, 124, 12);
    const double error = cv::norm(out(inner), rgb(cv::Rect(2, sceneRow + 2, 124, 12)), cv::NORM_L1)
                         / double(inner.area() * 3);
    EXPECT_LT(error, 2.0) << "mean error per sample";

    // Mono8 gives the grey of the same scene.
    ASSERT_EQ(VdSetIspOutFormat(g.h, VD_PIXEL_MONO8), VD_OK);
    const auto grey = g.frames(1);
    const cv::Mat m = imageOf(grey.back());
    ASSERT_EQ(m.type(), CV_8UC1);
    cv::Mat expected;
    cv::cvtColor(rgb(cv::Rect(0, 32, 128, 16)), expected, cv::COLOR_RGB2GRAY);
    EXPECT_LT(cv::norm(m(inner), expected(inner), cv::NORM_L1) / inner.area(), 3.0);
}

TEST(SdkScene, AnOddHeightColourSceneKeepsItsMosaicAcrossEveryWrapUprightOrMirrored)
{
    // 37 rows: frames of 16 lines start at odd and even rows, and the web's
    // parity turns over at each wrap. Colours differ in every row and column.
    QTemporaryDir dir;
    constexpr int kRows = 37;
    cv::Mat rgb(kRows, 32, CV_8UC3);
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < rgb.cols; ++x)
            rgb.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(5 * y + x), uchar(200 - 3 * y - x), uchar(7 * x + y));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    const std::string scene = write(dir, "odd.png", bgr);
    for (const bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "upside down" : "upright");
        configure(device(R"("scene": )" + quoted(scene) + R"(, "mirrorY": )" + (mirrored ? "true" : "false"),
                         false, 32, 16)
                      .c_str());
        Grab g;
        g.consumer.keepRaw = true;
        const auto frames = g.frames(12);   // 192 lines: five wraps
        for (const FrameRecord &f : frames) {
            ASSERT_EQ(f.raw.size(), 32u * 16u);
            for (int line = 0; line < 16; ++line) {
                const int r = mirrored ? 15 - line : line;
                const int y = int((uint64_t(f.headBefore.frameId - 1) * 16u + uint64_t(r)) % kRows);
                for (int x = 0; x < 32; ++x) {
                    // R G on even lines, G B on odd ones.
                    const int channel = (line & 1) ? ((x & 1) ? 2 : 1) : ((x & 1) ? 1 : 0);
                    ASSERT_EQ(f.raw[size_t(line) * 32 + size_t(x)], rgb.at<cv::Vec3b>(y, x)[channel])
                        << "frame " << f.headBefore.frameId << " line " << line << " column " << x;
                }
            }
        }
    }
}

TEST(SdkScene, HeldSceneFramesKeepTheirPixelsAndTheirOwnNumbers)
{
    // A scene as tall as the frame: every frame shows the same rows, the
    // case where lent frames could share their pixels.
    QTemporaryDir dir;
    cv::Mat rows(16, 64, CV_8UC1);
    for (int y = 0; y < 16; ++y)
        rows.row(y).setTo(10 * y + 3);
    const std::string scene = write(dir, "short.png", rows);
    configure(device(R"("scene": )" + quoted(scene) + R"(, "lineTimeUs": 10, "exposureMin": 1,
        "exposureMax": 10000, "gainMin": 0, "gainMax": 16)")
                  .c_str());
    Grab g;
    g.consumer.keepRaw = true;
    g.consumer.release = false;
    g.frames(3);
    // Another look: the camera prepares the scene anew while three frames are
    // held. Twice the exposure it powered up with (one line of 10 us).
    ASSERT_EQ(VdSetExposureTime(g.h, 20.0 * 10), VD_OK);
    const auto held = g.frames(1);
    ASSERT_EQ(held.size(), 4u);
    for (size_t i = 0; i < held.size(); ++i)
        for (size_t j = i + 1; j < held.size(); ++j)
            EXPECT_NE(held[i].data, held[j].data) << "frames " << i + 1 << " and " << j + 1 << " share their pixels";
    EXPECT_EQ(held[0].raw[size_t(5) * 64 + 40], 53);
    EXPECT_EQ(held[3].raw[size_t(5) * 64 + 40], 106) << "twice as bright";
    for (const FrameRecord &f : held) {
        SCOPED_TRACE(f.headBefore.frameId);
        EXPECT_EQ(std::memcmp(f.data, f.raw.data(), f.raw.size()), 0) << "a held frame changed";
        VdFrameHead head = f.headBefore;
        std::vector<unsigned char> out(head.byteCount);
        ASSERT_EQ(VdImageProcess(g.h, f.data, out.data(), &head), VD_OK);
        EXPECT_EQ(stampOf(out), f.headBefore.frameId) << "processed as another frame";
        EXPECT_EQ(VdReleaseImageBuffer(g.h, f.data), VD_OK);
        EXPECT_NE(VdReleaseImageBuffer(g.h, f.data), VD_OK) << "given back twice";
    }
    g.consumer.release = true;
    EXPECT_EQ(g.frames(3).size(), 7u) << "the pool is whole again";
}

TEST(SdkScene, DrawnScenesAreAtTheSensorsOwnResolution)
{
    // The fabric's threads are 8 pixels wide on any sensor: over and under
    // alternate every 8 columns and repeat every 16. Scaled up, the period
    // would grow with the width.
    for (const int width : {2048, 8192}) {
        SCOPED_TRACE(width);
        configure(device(R"("scene": "fabric")", true, width, 64).c_str());
        Grab g;
        const cv::Mat img = imageOf(g.frames(1).back());
        double sameThread = 0, nextThread = 0;
        for (int y = 8; y < 56; ++y)
            for (int x = 16; x + 16 < width; ++x) {
                sameThread += std::abs(img.at<uchar>(y, x) - img.at<uchar>(y, x + 16));
                nextThread += std::abs(img.at<uchar>(y, x) - img.at<uchar>(y, x + 8));
            }
        EXPECT_LT(sameThread * 3, nextThread) << "a weave of 8-pixel threads";
    }
    // The sheet is a colour print: its colour bar holds saturated patches.
    configure(device(R"("scene": "printed-sheet")", false, 4096, 256).c_str());
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    Grab g;
    const cv::Mat rgb = imageOf(g.frames(1).back());
    ASSERT_EQ(rgb.type(), CV_8UC3);
    cv::Mat hsv;
    cv::cvtColor(rgb(cv::Rect(120, 90, 1800, 50)), hsv, cv::COLOR_RGB2HSV);
    std::vector<cv::Mat> planes;
    cv::split(hsv, planes);
    double saturation = 0;
    cv::minMaxLoc(planes[1], nullptr, &saturation);
    EXPECT_GT(saturation, 200);
}

TEST(SdkScene, ADrawnSceneLooksAlikeOnTheDefaultCameraAndOnOneThatNamesIt)
{
    // The default monochrome camera sees the fabric; a camera configured
    // with the same sensor, naming the scene and nothing else about it,
    // sees the same web at the same speed (but for the default's noise).
    const std::string named = R"({"devices": [{"productName": "VD-XG8K-M", "serialNumber": "VDXGNAMED001",
        "sensorWidth": 8192, "frameHeight": 512, "mono": true, "lineTimeUs": 7.5, "frameRate": 20,
        "scene": "fabric", "illumination": 20}]})";
    auto firstFrames = [](const char *serial) {
        VdHandle h = openCamera(serial);
        Consumer consumer;
        EXPECT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
        EXPECT_EQ(VdPlay(h), VD_OK);
        EXPECT_TRUE(consumer.waitCount(2, 5000));
        EXPECT_EQ(VdUnInit(h), VD_OK);
        return consumer.snapshot();
    };
    ASSERT_EQ(VdSimConfigureDefault(), VD_OK);
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    const auto byDefault = firstFrames("VDXG8K0M0002");
    configure(named.c_str());
    const auto byName = firstFrames("VDXGNAMED001");
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const cv::Mat a = imageOf(byDefault[i]), b = imageOf(byName[i]);
        ASSERT_EQ(a.size(), b.size());
        const cv::Rect inside(0, 1, a.cols, a.rows - 1);   // the first row carries the frame id
        EXPECT_LT(cv::norm(a(inside), b(inside), cv::NORM_L1) / double(inside.area()), 2.5);
    }
}

TEST(SdkReplay, ADirectoryReplaysInNameOrderEachImageAtItsOwnSize)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("frames")));
    cv::Mat a(16, 64, CV_8UC1), b(10, 40, CV_8UC1), c(16, 64, CV_8UC3);
    cv::randu(a, 0, 256);
    cv::randu(b, 0, 256);
    cv::randu(c, 0, 256);
    write(dir, "frames/b.png", b);
    write(dir, "frames/a.png", a);
    write(dir, "frames/c.png", c);   // colour into a mono camera: its grey
    configure(device(R"("frames": )" + quoted(dir.filePath(QStringLiteral("frames")).toStdString())
                     + R"(, "loop": true)").c_str());
    Grab g;
    const auto frames = g.frames(4);
    EXPECT_EQ(cv::norm(imageOf(frames[0]), a, cv::NORM_INF), 0) << "pixels as recorded, no stamp";
    EXPECT_EQ(frames[1].headBefore.width, 40);
    EXPECT_EQ(frames[1].headBefore.height, 10);
    EXPECT_EQ(frames[1].headBefore.byteCount, 400u);
    EXPECT_EQ(cv::norm(imageOf(frames[1]), b, cv::NORM_INF), 0);
    cv::Mat grey;
    cv::cvtColor(c, grey, cv::COLOR_BGR2GRAY);
    EXPECT_LE(cv::norm(imageOf(frames[2]), grey, cv::NORM_INF), 1);
    EXPECT_EQ(cv::norm(imageOf(frames[3]), a, cv::NORM_INF), 0) << "looped";
    EXPECT_EQ(frames[3].headBefore.frameId, 4u);
    EXPECT_EQ(value(kCam, "replayEnded"), 0) << "a loop never ends";
}

TEST(SdkReplay, ARecordingReplaysItsTimeStampsAndPacingThenStops)
{
    QTemporaryDir dir;
    cv::Mat f[3];
    QFile index(dir.filePath(QStringLiteral("index.jsonl")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    const int times[3] = {1000, 1150, 1450};
    for (int i = 0; i < 3; ++i) {
        f[i] = cv::Mat(12, 48, CV_8UC3);
        cv::randu(f[i], 0, 256);
        const std::string name = "f" + std::to_string(i) + ".tif";
        write(dir, name.c_str(), f[i]);
        index.write(QByteArray::fromStdString(
            R"({"file": ")" + name + R"(", "serial": "ANY", "product": 1, "capture": 1, "cycle": 1, "captureTime": )"
            + std::to_string(times[i]) + R"(, "width": 48, "height": 12, "channels": 3})" + "\n"));
    }
    index.close();
    std::string json = device(R"("frames": )" + quoted(dir.path().toStdString()), false, 64, 16);
    json.replace(json.find(R"("triggerMode": 1)"), 16, R"("triggerMode": 0)");
    configure(json.c_str());
    VdHandle h = openCamera(kCam);
    Consumer consumer;
    ASSERT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    std::vector<double> ended;
    consumer.inside = [&](int) {
        arrivals.push_back(std::chrono::steady_clock::now());
        ended.push_back(value(kCam, "replayEnded"));
    };
    ASSERT_EQ(VdPlay(h), VD_OK);
    ASSERT_TRUE(consumer.waitCount(3, 5000));
    // No loop: nothing after the last frame, for longer than its gaps, and
    // the end is there to read.
    EXPECT_FALSE(consumer.waitCount(4, 700));
    EXPECT_EQ(ended, (std::vector<double>{0, 0, 1})) << "ended with its last frame, not before";
    EXPECT_EQ(value(kCam, "replayFrames"), 3);
    ASSERT_EQ(VdStop(h), VD_OK);
    EXPECT_EQ(value(kCam, "replayEnded"), 1) << "until the next VdPlay";
    consumer.inside = nullptr;
    ASSERT_EQ(VdPlay(h), VD_OK);
    EXPECT_EQ(value(kCam, "replayEnded"), 0) << "a new session plays it again";
    ASSERT_TRUE(consumer.waitCount(4, 5000));
    ASSERT_EQ(VdUnInit(h), VD_OK);
    const auto frames = consumer.snapshot();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].headBefore.timeStamp, uint32_t(times[i]));
        EXPECT_EQ(frames[i].headBefore.width, 48);
        EXPECT_EQ(frames[i].headBefore.byteCount, 48u * 12u * 3u);
        cv::Mat rgb;
        cv::cvtColor(f[i], rgb, cv::COLOR_BGR2RGB);
        EXPECT_EQ(cv::norm(imageOf(frames[i]), rgb, cv::NORM_INF), 0);
    }
    // Gaps of 150 and 300 ms, generously.
    const auto gap = [&](int i) {
        return std::chrono::duration<double, std::milli>(arrivals[size_t(i) + 1] - arrivals[size_t(i)]).count();
    };
    EXPECT_GT(gap(0), 120);
    EXPECT_LT(gap(0), 1000);
    EXPECT_GT(gap(1), 250);
    EXPECT_LT(gap(1), 1500);
}

TEST(SdkReplay, ARecordingCarriesTheSettingsItWasRecordedWith)
{
    QTemporaryDir dir;
    write(dir, "f.tif", cv::Mat(8, 16, CV_8UC3, cv::Scalar(1, 2, 3)));
    auto put = [&](const char *name, const QByteArray &text) {
        QFile f(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    put("index.jsonl", R"({"file": "f.tif", "serial": "LINE3CAM", "captureTime": 5, "width": 16, "height": 8, "channels": 3})" "\n");
    put("settings.json", R"({"cameras": {"LINE3CAM": {"paramsWrap": [{"isRunningShow": false, "values": [true]}]}}})");
    put("other.json", R"({"paramsWrap": [{"isRunningShow": true}]})");
    put("two.json", R"({"cameras": {"A": {"paramsWrap": []}, "B": {"paramsWrap": []}}})");
    const std::string rec = quoted(dir.path().toStdString());
    // A one-camera recording's settings serve the camera that replays it, whatever its serial.
    configure(device(R"("frames": )" + rec, false).c_str());
    EXPECT_STREQ(VdSimGetText(kCam, "settings"), R"({"paramsWrap":[{"isRunningShow":false,"values":[true]}]})");
    EXPECT_EQ(std::string(VdSimGetText(kCam, "settingsFile")), dir.filePath(QStringLiteral("settings.json")).toStdString());
    // The configuration may name others, for a replay or any camera.
    configure(device(R"("frames": )" + rec + R"(, "settings": ")" + dir.filePath(QStringLiteral("other.json")).toStdString() + "\"", false).c_str());
    EXPECT_STREQ(VdSimGetText(kCam, "settings"), R"({"paramsWrap":[{"isRunningShow":true}]})");
    // Settings that are not there, or not this camera's, are refused up front.
    const struct {
        std::string file;
        std::string says;
    } bad[] = {{"missing.json", "missing.json: no such file"},
               {"two.json", "two.json: no settings of camera VDXGSCENE001"},
               {"index.jsonl", "index.jsonl: "}};
    for (const auto &b : bad) {
        SCOPED_TRACE(b.file);
        EXPECT_EQ(VdSimConfigure(device(R"("settings": ")" + dir.filePath(QString::fromStdString(b.file)).toStdString() + "\"").c_str()),
                  VD_ERR_BAD_ARGUMENT);
        EXPECT_NE(std::string(VdSimConfigureError()).find(b.says), std::string::npos) << VdSimConfigureError();
    }
    configure(device(R"("speed": 1)").c_str());
    EXPECT_STREQ(VdSimGetText(kCam, "settings"), "") << "none without a recording or a file named";
    EXPECT_STREQ(VdSimGetText("NOSUCHCAMERA", "settings"), "");
}

TEST(SdkSceneInput, BadScenesAndFramesAreRefusedNamingTheFileAndLine)
{
    QTemporaryDir dir;
    configure(device(R"("speed": 1)").c_str());
    const std::string missing = dir.filePath(QStringLiteral("missing.png")).toStdString();
    const std::string notImage = dir.filePath(QStringLiteral("text.png")).toStdString();
    {
        QFile t(QString::fromStdString(notImage));
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write("not a picture");
    }
    const std::string deep = write(dir, "deep.png", cv::Mat(8, 8, CV_16UC1, cv::Scalar(1000)));
    QDir().mkpath(dir.filePath(QStringLiteral("rec")));
    write(dir, "rec/a.tif", cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)));
    {
        QFile index(dir.filePath(QStringLiteral("rec/index.jsonl")));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(R"({"file": "a.tif", "captureTime": 5, "width": 4, "height": 4, "channels": 1})" "\n"
                    R"({"file": "a.tif", "captureTime": 5, "width": 4, "height": )" "\n");
    }
    QDir().mkpath(dir.filePath(QStringLiteral("gone")));
    write(dir, "gone/a.tif", cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)));
    {
        QFile index(dir.filePath(QStringLiteral("gone/index.jsonl")));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(R"({"file": "b.tif", "captureTime": 5, "width": 4, "height": 4, "channels": 1})" "\n");
    }
    QDir().mkpath(dir.filePath(QStringLiteral("big")));
    {
        QFile index(dir.filePath(QStringLiteral("big/index.jsonl")));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(R"({"file": "a.tif", "captureTime": 5, "width": 20000, "height": 4096, "channels": 1})" "\n");
    }
    // Frames that do not match their lines: a TIFF cut short, one of another
    // size, an empty file. Found when the recording is loaded.
    const cv::Mat frame(64, 64, CV_8UC1, cv::Scalar(7));
    for (const char *name : {"cut", "other", "empty"}) {
        QDir().mkpath(dir.filePath(QLatin1String(name)));
        const std::string tif = std::string(name) + "/a.tif";
        cv::imwrite(dir.filePath(QString::fromStdString(tif)).toStdString(), frame,
                    {cv::IMWRITE_TIFF_COMPRESSION, 1});
        QFile index(dir.filePath(QLatin1String(name) + QStringLiteral("/index.jsonl")));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(std::string(name) == "other"
                        ? R"({"file": "a.tif", "captureTime": 5, "width": 64, "height": 32, "channels": 1})" "\n"
                        : R"({"file": "a.tif", "captureTime": 5, "width": 64, "height": 64, "channels": 1})" "\n");
    }
    QFile::resize(dir.filePath(QStringLiteral("cut/a.tif")), 2000);
    QFile::resize(dir.filePath(QStringLiteral("empty/a.tif")), 0);
    auto sub = [&](const char *name) { return dir.filePath(QLatin1String(name)).toStdString(); };
    const std::string big = dir.filePath(QStringLiteral("big")).toStdString();
    const std::string rec = dir.filePath(QStringLiteral("rec")).toStdString();
    const std::string gone = dir.filePath(QStringLiteral("gone")).toStdString();
    struct Case {
        std::string keys;
        std::string says;
    } cases[] = {
        {R"("scene": )" + quoted(missing), missing + ": no such file"},
        {R"("scene": )" + quoted(notImage), notImage + ": not an image"},
        {R"("scene": )" + quoted(deep), deep + ": samples of 16 bits"},
        {R"("frames": )" + quoted(missing), missing + ": no such directory"},
        {R"("frames": )" + quoted(rec), rec + "/index.jsonl line 2: "},
        {R"("frames": )" + quoted(gone), gone + "/index.jsonl line 1: " + gone + "/b.tif: no such file"},
        {R"("frames": )" + quoted(dir.path().toStdString()), deep + ": samples of 16 bits"},
        {R"("frames": )" + quoted(big), big + "/index.jsonl line 1: frame larger than 16384 x 4096 pixels"},
        {R"("frames": )" + quoted(sub("cut")), sub("cut") + "/a.tif: cut short (2000 bytes"},
        {R"("frames": )" + quoted(sub("other")), sub("other") + "/a.tif: 64 x 64 x 1 of 8 bits, recorded as 64 x 32 x 1"},
        {R"("frames": )" + quoted(sub("empty")), sub("empty") + "/a.tif: an empty or unreadable file"},
        {R"("scene": )" + quoted(deep) + R"(, "frames": )" + quoted(rec), "exclude each other"},
        {R"("frames": )" + quoted(rec) + R"(, "pace": "fast")", "\"pace\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        EXPECT_EQ(VdSimConfigure(device(c.keys).c_str()), VD_ERR_BAD_ARGUMENT);
        const std::string error = VdSimConfigureError();
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        // Nothing changed: the camera of the last good configuration is still there.
        double open = -1;
        EXPECT_EQ(VdSimGetValue(kCam, "open", &open), VD_OK);
    }
    EXPECT_EQ(VdSimConfigure(device(R"("speed": 1)").c_str()), VD_OK);
    EXPECT_STREQ(VdSimConfigureError(), "");
}

TEST(SdkSceneInput, ScenePathsInAConfigurationFileStartFromItsFolder)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("scenes")));
    write(dir, "scenes/rows.png", rowScene());
    const QString file = dir.filePath(QStringLiteral("population.json"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(device(R"("scene": "scenes/rows.png")")));
    }
    ASSERT_EQ(VdSimConfigureFile(file.toLocal8Bit().constData()), VD_OK) << VdSimConfigureError();
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    Grab g;
    expectRows(g.frames(2), 1.0);
}
