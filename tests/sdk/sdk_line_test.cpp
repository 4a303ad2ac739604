// The simulated line as a line-scan line behaves: lines triggered by an
// encoder on a web whose speed changes, partial frames at a halt and at a
// stop, triggers missed above the line rate the exposure allows, and the
// line period against the exposure.
#include "sdkfixture.h"

#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <cmath>

using namespace sdktest;

namespace {

constexpr const char *kCam = "VDXGLINE0001";
using Clock = std::chrono::steady_clock;

// 256 rows, row y holding y: a line shows where on the web it was taken.
std::string rowScene(const QTemporaryDir &dir)
{
    cv::Mat m(256, 64, CV_8UC1);
    for (int y = 0; y < m.rows; ++y)
        m.row(y).setTo(y);
    const std::string path = dir.filePath(QStringLiteral("rows.png")).toStdString();
    EXPECT_TRUE(cv::imwrite(path, m));
    return path;
}

std::string camera(const std::string &keys, int frameHeight = 16)
{
    return std::string(R"({"devices": [{"productName": "VD-XG8K-M", "serialNumber": ")") + kCam
           + R"(", "sensorWidth": 64, "sensorHeight": 4096, "frameHeight": )" + std::to_string(frameHeight)
           + R"(, "mono": true, "lineTimeUs": 10, "exposureMin": 1, "exposureMax": 10000, )" + keys + "}]}";
}

// The scene row line r of a processed frame shows (column 40).
int rowOf(const FrameRecord &f, int r)
{
    return f.processed[size_t(r) * size_t(f.headBefore.width) + 40];
}

struct LineRun {
    VdHandle h = 0;
    Consumer consumer;
    std::mutex mu;
    std::vector<double> arrivals;   // seconds after VdPlay, by frame
    Clock::time_point played;

    LineRun()
    {
        h = openCamera(kCam);
        consumer.inside = [this](int) {
            std::lock_guard<std::mutex> lk(mu);
            arrivals.push_back(std::chrono::duration<double>(Clock::now() - played).count());
        };
        EXPECT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
    }
    ~LineRun() { EXPECT_EQ(VdUnInit(h), VD_OK); }
    void play()
    {
        played = Clock::now();
        ASSERT_EQ(VdPlay(h), VD_OK);
    }
    std::vector<double> times()
    {
        std::lock_guard<std::mutex> lk(mu);
        return arrivals;
    }
};

} // namespace

TEST(SdkLine, AnEncoderStopGivesAPartialFrameThenNoneWhileTheWebStandsThenFramesAgain)
{
    QTemporaryDir dir;
    // 100 mm/s at 10 lines per mm: a frame of 16 lines every 16 ms; the web
    // stops at 0.2 s, after 200 lines, and runs again at 0.7 s.
    configure(camera(R"("scene": ")" + rowScene(dir) + R"(",
        "encoder": {"linesPerMm": 10, "lineTimeoutMs": 50,
                    "webSpeed": [[0, 100], [0.2, 100], [0.2, 0], [0.7, 0], [0.7, 100]]})")
                  .c_str());
    LineRun run;
    run.play();
    ASSERT_TRUE(run.consumer.waitCount(16, 5000));
    const auto frames = run.consumer.snapshot();
    const auto arrived = run.times();
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const VdFrameHead &head = frames[i].headBefore;
        EXPECT_EQ(head.frameId, i + 1) << "frames are numbered on across the stop";
        // 12 whole frames take 192 lines; the 8 before the stop go out on their own.
        const int lines = i == 12 ? 8 : 16;
        ASSERT_EQ(head.height, lines);
        EXPECT_EQ(head.byteCount, 64u * uint32_t(lines));
        // The web stood still: after the stop its lines go on where they ended.
        const int first = i <= 12 ? int(i) * 16 : 200 + int(i - 13) * 16;
        for (int r = 0; r < lines; ++r) {
            ASSERT_EQ(rowOf(frames[i], r), (first + r) % 256) << "line " << r;
        }
        if (i >= 13) {
            EXPECT_GE(arrived[i], 0.70) << "no frame while the web stands";
        }
    }
    // The time stamps follow the lines: the first line of frame 13 at 192 ms,
    // of frame 14 at 701 ms.
    auto stamp = [&](size_t i) { return int64_t(frames[i].headBefore.timeStamp) - int64_t(frames[0].headBefore.timeStamp); };
    EXPECT_NEAR(double(stamp(1)), 16, 1);
    EXPECT_NEAR(double(stamp(12)), 192, 1);
    EXPECT_NEAR(double(stamp(13)), 701, 1);
    EXPECT_NEAR(double(stamp(14)), 717, 1);
    EXPECT_EQ(value(kCam, "partialFrames"), 1);
    EXPECT_EQ(value(kCam, "missedTriggers"), 0);
}

TEST(SdkLine, TriggersAboveTheLineRateAreMissedCountedAndCompressTheWeb)
{
    QTemporaryDir dir;
    const std::string scene = rowScene(dir);
    struct Case {
        const char *name;
        double speed;   // mm/s, at 10 lines per mm
        std::string keys;
        double askedUs;
        double exposureUs;
        int step;       // web lines from one camera line to the next
    } cases[] = {
        {"a trigger every 125 us", 800, "", 100, 100, 1},
        {"every 50 us, one just as the line ends", 2000, "", 100, 100, 2},
        {"every 55.6 us", 1800, "", 100, 100, 2},
        {"every 35.7 us", 2800, "", 100, 100, 3},
        {"clamped to the line period", 2000, R"("longExposure": "clamped", "linePeriodUs": 40, )", 160, 40, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The scene as drawn at the exposure in effect, so that a line's grey is its row.
        configure(camera(c.keys + R"("scene": ")" + scene + R"(", "sceneExposureUs": )" + std::to_string(c.exposureUs)
                             + R"(, "encoder": {"linesPerMm": 10, "webSpeed": )" + std::to_string(c.speed) + "}",
                         64)
                      .c_str());
        LineRun run;
        ASSERT_EQ(VdSetExposureTime(run.h, c.askedUs * 10), VD_OK);
        EXPECT_DOUBLE_EQ(value(kCam, "exposureUs"), c.exposureUs);
        EXPECT_DOUBLE_EQ(value(kCam, "linePeriodUs"), c.exposureUs);
        run.play();
        ASSERT_TRUE(run.consumer.waitCount(6, 5000));
        EXPECT_DOUBLE_EQ(value(kCam, "triggerRate"), c.speed * 10);
        EXPECT_NEAR(value(kCam, "lineRate"), std::min(c.speed * 10, 1e6 / c.exposureUs), 1e-6);
        ASSERT_EQ(VdStop(run.h), VD_OK);
        const auto frames = run.consumer.snapshot();
        size_t lines = 0;
        for (const FrameRecord &f : frames) {
            for (int r = 1; r < f.headBefore.height; ++r) {
                ASSERT_EQ((rowOf(f, r) - rowOf(f, r - 1) + 256) % 256, c.step)
                    << "frame " << f.headBefore.frameId << " line " << r;
            }
            lines += size_t(f.headBefore.height);
        }
        // Every line taken missed the triggers of its step but one; the
        // stop may have cut off one more frame whose lines were taken.
        const double missed = value(kCam, "missedTriggers");
        EXPECT_GE(missed, double(lines) * (c.step - 1) - c.step) << lines << " lines";
        EXPECT_LE(missed, double(lines + 64) * (c.step - 1) + c.step) << lines << " lines";
    }
}

TEST(SdkLine, AWebThatSpeedsUpFillsFramesEverFaster)
{
    // From 100 to 1000 mm/s within a second: a frame of 64 lines takes 64 ms
    // at first and 6.4 ms at the top speed.
    configure(camera(R"("encoder": {"linesPerMm": 10, "webSpeed": {"from": 100, "to": 1000, "seconds": 1}})", 64)
                  .c_str());
    LineRun run;
    run.play();
    ASSERT_TRUE(run.consumer.waitCount(60, 10000));
    const auto frames = run.consumer.snapshot();
    auto gap = [&](size_t i) {
        return double(frames[i + 1].headBefore.timeStamp) - double(frames[i].headBefore.timeStamp);
    };
    EXPECT_GT(gap(0), 50);
    EXPECT_LT(gap(0), 70);
    EXPECT_LT(gap(58), 15);
    for (size_t i = 0; i + 1 < frames.size(); ++i)
        ASSERT_EQ(frames[i].headBefore.height, 64);
    EXPECT_EQ(value(kCam, "missedTriggers"), 0);
}

TEST(SdkLine, StoppingSendsTheLinesGatheredSoFarBeforeItReturns)
{
    // 50 lines a second: a frame of 64 lines takes 1.28 s.
    configure(camera(R"("encoder": {"linesPerMm": 10, "webSpeed": 5})", 64).c_str());
    {
        LineRun run;
        run.play();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the web runs for a while
        ASSERT_EQ(VdStop(run.h), VD_OK);
        const auto frames = run.consumer.snapshot();
        ASSERT_EQ(frames.size(), 1u) << "the partial frame came before VdStop returned";
        EXPECT_GE(frames[0].headBefore.height, 10);
        EXPECT_LT(frames[0].headBefore.height, 64);
        EXPECT_EQ(frames[0].headBefore.frameId, 1u);
        EXPECT_FALSE(run.consumer.waitCount(2, 300)) << "nothing after the stop";
    }
    // Stopped from inside its own frame callback, the camera does not wait for itself.
    configure(camera(R"("encoder": {"linesPerMm": 10, "webSpeed": 1000})", 64).c_str());
    LineRun run;
    std::atomic<int> stopped{1};
    run.consumer.inside = [&](int h) {
        if (stopped.exchange(0) == 1)
            stopped = VdStop(h) == VD_OK ? 2 : 3;
    };
    run.play();
    ASSERT_TRUE(waitUntil([&] { return stopped.load() >= 2; }, 3000));
    EXPECT_EQ(stopped.load(), 2);
}

TEST(SdkLine, TheLinePeriodFollowsTheExposureAndPacesAFreeRunningCamera)
{
    // 100 frames of 16 lines a second: a line period of 625 us.
    for (const bool clamped : {false, true}) {
        SCOPED_TRACE(clamped ? "clamped" : "extends the line");
        configure(camera(std::string(R"("frameRate": 100)") + (clamped ? R"(, "longExposure": "clamped")" : ""))
                      .c_str());
        LineRun run;
        EXPECT_DOUBLE_EQ(value(kCam, "linePeriodUs"), 625);
        EXPECT_DOUBLE_EQ(value(kCam, "exposureUs"), 312.5) << "powered up at half the line period";
        ASSERT_EQ(VdSetExposureTime(run.h, 2000.0 * 10), VD_OK);
        EXPECT_DOUBLE_EQ(value(kCam, "exposureUs"), clamped ? 625 : 2000);
        EXPECT_DOUBLE_EQ(value(kCam, "linePeriodUs"), clamped ? 625 : 2000);
        EXPECT_DOUBLE_EQ(value(kCam, "maxLineRate"), clamped ? 1600 : 500);
        run.play();
        EXPECT_DOUBLE_EQ(value(kCam, "lineRate"), clamped ? 1600 : 500);
        ASSERT_TRUE(run.consumer.waitCount(8, 5000));
        ASSERT_EQ(VdStop(run.h), VD_OK);
        if (!clamped) {
            // 16 lines of 2 ms: the eighth frame 7 x 32 ms after the first at the earliest.
            EXPECT_GE(run.times()[7], 0.224);
        }
    }
}

TEST(SdkLineInput, BadLineKeysAreRefused)
{
    configure(camera(R"("frameRate": 10)").c_str());
    QTemporaryDir dir;
    const struct {
        std::string keys;
        std::string says;
    } cases[] = {
        {R"("longExposure": "sometimes")", "\"longExposure\""},
        {R"("linePeriodUs": 5)", "shorter than the camera's \"lineTimeUs\""},
        {R"("encoder": 3)", "\"encoder\" must be an object"},
        {R"("encoder": {"linesPerMm": 10})", "needs a \"webSpeed\""},
        {R"("encoder": {"webSpeed": -1})", "\"webSpeed\""},
        {R"("encoder": {"webSpeed": [[0, 10], [2, 5], [1, 5]]})", "point 2"},
        {R"("encoder": {"webSpeed": []})", "at least one"},
        {R"("encoder": {"webSpeed": {"speed": 10}})", "a ramp"},
        {R"("encoder": {"webSpeed": {"from": 0, "to": 10}})", "\"seconds\""},
        {R"("encoder": {"webSpeed": 10, "linesPerMm": 0})", "\"linesPerMm\""},
        {R"("encoder": {"webSpeed": 10}, "frames": ")" + dir.path().toStdString() + "\"", "exclude each other"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keys);
        EXPECT_EQ(VdSimConfigure(camera(c.keys).c_str()), VD_ERR_BAD_ARGUMENT);
        const std::string error = VdSimConfigureError();
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

TEST(SdkLine, TheShippedScenariosLoadAndTheEncoderStopsColourCameraMissesAtFullSpeed)
{
    for (const char *name : {"link-loss.json", "encoder-stop.json"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(VdSimConfigureFile((std::string(VANDREL_SCENARIOS) + "/" + name).c_str()), VD_OK)
            << VdSimConfigureError();
    }
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    // At 2000 mm/s and 10 lines per mm a trigger comes every 50 us: the
    // colour camera's 80 us exposure takes every other one, the monochrome
    // camera's 40 us every one.
    for (const auto &[serial, missing] : {std::pair<const char *, bool>{"VDXG4K0C0001", true}, {"VDXG8K0M0002", false}}) {
        SCOPED_TRACE(serial);
        VdHandle h = openCamera(serial);
        Consumer consumer;
        ASSERT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
        const double before = value(serial, "missedTriggers");
        ASSERT_EQ(VdPlay(h), VD_OK);
        ASSERT_TRUE(consumer.waitCount(2, 5000));
        ASSERT_EQ(VdUnInit(h), VD_OK);
        const double missed = value(serial, "missedTriggers") - before;
        if (missing)
            EXPECT_GE(missed, 511) << "one for every line of the first frame but its first";
        else
            EXPECT_EQ(missed, 0);
    }
}
