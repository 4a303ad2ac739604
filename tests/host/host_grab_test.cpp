// The parts of vandrel-host's grab, in process and without a camera: what a
// channel counts, what the frame writer keeps, and the wording of the
// reports that the end-to-end runs read.

#include "camerachannel.h"
#include "framewriter.h"
#include "grabreport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <memory>
#include <string>

namespace {

ImageProcessData frame(int width, int height, int type, int product, int capture = 1, int cycle = 1,
                       qint64 cameraMs = -1)
{
    ImageProcessData d;
    if (cameraMs >= 0)
        d.captureTime = QDateTime::fromMSecsSinceEpoch(cameraMs);
    d.image = cv::Mat(height, width, type, cv::Scalar::all(7));
    d.productID = product;
    d.captureIndex = capture;
    d.productCycleIndex = cycle;
    return d;
}

// A channel without a camera on a clock the test sets.
struct Channel
{
    explicit Channel(int limit = 0)
        : channel(nullptr, QStringLiteral("SERIAL"), limit, [this] { return nowMs; })
    {
        QObject::connect(&channel, &CameraChannel::frameCounted, [this](CameraChannel *, const ImageProcessData &d) {
            counted << channel.figures().frames;
            lastCounted = d.productID;
        });
        QObject::connect(&channel, &CameraChannel::linkChanged,
                         [this](CameraChannel *, qint64 at, const QString &what) { events << QStringLiteral("%1 %2").arg(at).arg(what); });
    }
    qint64 nowMs = 0;
    CameraChannel channel;
    QVector<int> counted;
    int lastCounted = -1;
    QStringList events;
};

TEST(GrabChannel, CountsOnlyWhileTheRunLetsItAndUpToItsLimit)
{
    Channel c(3);
    c.channel.onCapture(frame(16, 4, CV_8UC1, 1));
    EXPECT_EQ(c.channel.figures().frames, 0);  // before the run
    EXPECT_TRUE(c.counted.isEmpty());

    c.channel.setCounting(true);
    for (int i = 1; i <= 5; ++i)
        c.channel.onCapture(frame(16, 4, CV_8UC1, i));
    EXPECT_EQ(c.channel.figures().frames, 3);
    EXPECT_TRUE(c.channel.reachedLimit());
    EXPECT_EQ(c.counted, (QVector<int>{1, 2, 3}));
    EXPECT_EQ(c.lastCounted, 3);
    EXPECT_EQ(c.channel.figures().lastProduct, 3);
}

TEST(GrabChannel, FiguresFollowTheFrames)
{
    Channel c;
    c.channel.setCounting(true);
    c.nowMs = 100;
    c.channel.onCapture(frame(32, 8, CV_8UC1, 4, 2, 1));
    c.nowMs = 5100;
    c.channel.onCapture(frame(32, 8, CV_8UC3, 5, 3, 2));

    const ChannelFigures &f = c.channel.figures();
    EXPECT_EQ(f.frames, 2);
    EXPECT_EQ(f.bytes, 32 * 8 + 32 * 8 * 3);
    EXPECT_EQ(f.firstMs, 100);
    EXPECT_EQ(f.lastMs, 5100);
    EXPECT_EQ(f.width, 32);
    EXPECT_EQ(f.height, 8);
    EXPECT_EQ(f.channels, 3);
    EXPECT_EQ(f.lastProduct, 5);
    EXPECT_EQ(f.lastCapture, 3);
    EXPECT_EQ(f.lastCycle, 2);
    EXPECT_EQ(f.link, LinkState::Open);
    EXPECT_TRUE(f.events.isEmpty());
}

TEST(GrabChannel, TheMeanRateIsTheCamerasNotTheEventLoops)
{
    // A 20 frames/s camera whose first two frames the host handled in one go:
    // by arrival 2 ms apart, by the camera's clock 50.
    Channel c;
    c.channel.setCounting(true);
    c.nowMs = 300;
    c.channel.onCapture(frame(8, 2, CV_8UC1, 1, 1, 1, 1000));
    c.nowMs = 302;
    c.channel.onCapture(frame(8, 2, CV_8UC1, 2, 1, 1, 1050));
    EXPECT_DOUBLE_EQ(c.channel.figures().meanFps(), 20.0);
    // A camera clock that starts again (a reopened camera) counts by arrival.
    c.nowMs = 402;
    c.channel.onCapture(frame(8, 2, CV_8UC1, 3, 1, 1, 10));
    EXPECT_EQ(c.channel.figures().spanMs, 50 + 100);
    // Frames without time stamps count by arrival.
    Channel plain;
    plain.channel.setCounting(true);
    plain.nowMs = 0;
    plain.channel.onCapture(frame(8, 2, CV_8UC1, 1));
    plain.nowMs = 250;
    plain.channel.onCapture(frame(8, 2, CV_8UC1, 2));
    EXPECT_DOUBLE_EQ(plain.channel.figures().meanFps(), 4.0);
}

TEST(GrabChannel, RatesOverTheRunAndOverTheLastTwoSeconds)
{
    Channel c;
    c.channel.setCounting(true);
    EXPECT_EQ(c.channel.figures().meanFps(), 0.0);
    // 1000 bytes every 100 ms for 5 s.
    for (int i = 0; i <= 50; ++i) {
        c.nowMs = 1000 + 100 * i;
        c.channel.onCapture(frame(1000, 1, CV_8UC1, i));
    }
    EXPECT_DOUBLE_EQ(c.channel.figures().meanFps(), 10.0);
    EXPECT_DOUBLE_EQ(c.channel.figures().meanBytesPerSecond(), 10000.0);
    EXPECT_NEAR(c.channel.liveFps(6000), 10.0, 1e-9);
    EXPECT_NEAR(c.channel.liveBytesPerSecond(6000), 10000.0, 1e-9);

    // Twice as fast for one second: the live rate sees it, the mean less so.
    for (int i = 1; i <= 20; ++i) {
        c.nowMs = 6000 + 50 * i;
        c.channel.onCapture(frame(1000, 1, CV_8UC1, 50 + i));
    }
    EXPECT_NEAR(c.channel.liveFps(7000), 15.0, 0.6);
    EXPECT_LT(c.channel.figures().meanFps(), 12.0);
    // A camera that stopped delivering two seconds ago has no live rate.
    EXPECT_GT(c.channel.liveFps(9000), 0.0);
    EXPECT_EQ(c.channel.liveFps(9001), 0.0);
    EXPECT_EQ(c.channel.liveBytesPerSecond(9001), 0.0);
}

TEST(GrabChannel, KeepsItsLastFramesForTheContactSheet)
{
    Channel c;
    c.channel.setCounting(true);
    for (int i = 1; i <= 9; ++i)
        c.channel.onCapture(frame(8, 2, CV_8UC1, 100 + i, i % 3 + 1, i % 2 + 1));
    const QVector<SheetFrame> &kept = c.channel.recentFrames();
    ASSERT_EQ(kept.size(), CameraChannel::kSheetFrames);
    for (int k = 0; k < kept.size(); ++k) {
        const int i = 9 - CameraChannel::kSheetFrames + 1 + k;  // oldest first
        EXPECT_EQ(kept[k].sequence, i);
        EXPECT_EQ(kept[k].productID, 100 + i);
        EXPECT_EQ(kept[k].captureIndex, i % 3 + 1);
        EXPECT_EQ(kept[k].productCycleIndex, i % 2 + 1);
        EXPECT_EQ(kept[k].image.cols, 8);
    }
}

TEST(GrabFrameWriter, KeepsEveryKthFrameAndCountsWhatItWrote)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("frames/deeper"));
    FrameWriter writer(out, 3);
    QString error;
    ASSERT_TRUE(writer.createDirectory(error)) << error.toStdString();
    for (int i = 1; i <= 7; ++i) {
        writer.offer(QStringLiteral("MONO"), i, cv::Mat(4, 16, CV_8UC1, cv::Scalar(i)));
        writer.offer(QStringLiteral("RGB"), i, cv::Mat(4, 16, CV_8UC3, cv::Scalar(10, 20, 30)));
    }
    writer.waitForDone();
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("MONO_000001.png"), QStringLiteral("MONO_000004.png"),
                           QStringLiteral("MONO_000007.png"), QStringLiteral("RGB_000001.png"),
                           QStringLiteral("RGB_000004.png"), QStringLiteral("RGB_000007.png")}));
    EXPECT_EQ(writer.saved(QStringLiteral("MONO")), 3);
    EXPECT_EQ(writer.failed(QStringLiteral("MONO")), 0);
    EXPECT_EQ(writer.skipped(QStringLiteral("MONO")), 0);
    EXPECT_EQ(writer.saved(QStringLiteral("OTHER")), 0);
    // Delivered RGB, written BGR as the PNG writer expects: the colours survive.
    const cv::Mat rgb = cv::imread(QDir(out).filePath(QStringLiteral("RGB_000004.png")).toStdString(), cv::IMREAD_COLOR);
    ASSERT_FALSE(rgb.empty());
    EXPECT_EQ(rgb.at<cv::Vec3b>(0, 0), cv::Vec3b(30, 20, 10));
    EXPECT_EQ(cv::imread(QDir(out).filePath(QStringLiteral("MONO_000007.png")).toStdString(), cv::IMREAD_GRAYSCALE)
                  .at<uchar>(0, 0),
              7);
}

TEST(GrabFrameWriter, FailuresAreCountedAndNothingIsWrittenWithoutADirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A directory that cannot be made, and frames that cannot go where it would be.
    FrameWriter writer(dir.filePath(QStringLiteral("file/sub")), 1);
    QString error;
    EXPECT_FALSE(writer.createDirectory(error));
    EXPECT_EQ(error, QStringLiteral("cannot create directory %1").arg(dir.filePath(QStringLiteral("file/sub"))));
    for (int i = 1; i <= 2; ++i)
        writer.offer(QStringLiteral("CAM"), i, cv::Mat(4, 16, CV_8UC1));
    writer.waitForDone();
    EXPECT_EQ(writer.saved(QStringLiteral("CAM")), 0);
    EXPECT_EQ(writer.failed(QStringLiteral("CAM")), 2);

    FrameWriter none(QString(), 1);
    EXPECT_FALSE(none.enabled());
    EXPECT_TRUE(none.createDirectory(error));
    none.offer(QStringLiteral("CAM"), 1, cv::Mat(4, 16, CV_8UC1));
    none.waitForDone();
    EXPECT_EQ(none.saved(QStringLiteral("CAM")) + none.failed(QStringLiteral("CAM")), 0);
}

QSet<QString> keySet(const QJsonObject &o)
{
    const QStringList keys = o.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

GrabSummary twoCameraRun()
{
    GrabSummary s;
    s.stopReason = QStringLiteral("frames");
    s.runMs = 2346;
    CameraSummary colour;
    colour.serial = QStringLiteral("VDXGTEST0C01");
    ChannelFigures &f = colour.figures;
    f.frames = 11;
    f.bytes = 11 * 98304;
    f.firstMs = 0;
    f.lastMs = 2000;
    f.spanMs = 2000;
    f.width = 512;
    f.height = 64;
    f.channels = 3;
    f.lastProduct = 11;
    f.lastCapture = 2;
    f.lastCycle = 1;
    f.losses = 1;
    f.reconnects = 1;
    f.events = {{500, QStringLiteral("lost"), QStringLiteral("CameraLoss: the link is down")},
                {900, QStringLiteral("back"), QStringLiteral("reopened by the host's retry (restartCamera)")}};
    colour.savedFrames = 9;
    colour.savesSkipped = 2;
    CameraSummary mono;
    mono.serial = QStringLiteral("VDXGTEST0M02");
    mono.figures.frames = 1;
    mono.figures.width = 640;
    mono.figures.height = 64;
    mono.figures.channels = 1;
    mono.figures.link = LinkState::Stalled;
    mono.figures.stalls = 1;
    s.cameras = {colour, mono};
    return s;
}

TEST(GrabReport, TheJsonSummaryHasItsKeys)
{
    GrabSummary s = twoCameraRun();
    QJsonObject j = summaryToJson(s);
    EXPECT_EQ(keySet(j),
              (QSet<QString>{QStringLiteral("stopReason"), QStringLiteral("seconds"), QStringLiteral("preview"),
                             QStringLiteral("cameras")}));
    EXPECT_EQ(j.value(QStringLiteral("seconds")).toDouble(), 2.346);
    const QJsonObject c = j.value(QStringLiteral("cameras")).toArray().at(0).toObject();
    EXPECT_EQ(keySet(c),
              (QSet<QString>{QStringLiteral("serial"), QStringLiteral("frames"), QStringLiteral("width"),
                             QStringLiteral("height"), QStringLiteral("channels"), QStringLiteral("fps"),
                             QStringLiteral("megabytesPerSecond"), QStringLiteral("lastProductID"),
                             QStringLiteral("lastCaptureIndex"), QStringLiteral("lastProductCycleIndex"),
                             QStringLiteral("losses"), QStringLiteral("stalls"), QStringLiteral("reconnects"),
                             QStringLiteral("linkUp"), QStringLiteral("link"),
                             QStringLiteral("savedFrames"), QStringLiteral("savesSkipped"), QStringLiteral("events")}));
    EXPECT_DOUBLE_EQ(c.value(QStringLiteral("fps")).toDouble(), 5.0);
    EXPECT_DOUBLE_EQ(c.value(QStringLiteral("megabytesPerSecond")).toDouble(), 10 * 98304 / 2.0 / 1e6);
    EXPECT_EQ(c.value(QStringLiteral("events")).toArray(),
              (QJsonArray{QJsonObject{{QStringLiteral("event"), QStringLiteral("lost")},
                                      {QStringLiteral("atMs"), 500},
                                      {QStringLiteral("detail"), QStringLiteral("CameraLoss: the link is down")}},
                          QJsonObject{{QStringLiteral("event"), QStringLiteral("back")},
                                      {QStringLiteral("atMs"), 900},
                                      {QStringLiteral("detail"),
                                       QStringLiteral("reopened by the host's retry (restartCamera)")}}}));
    const QJsonObject m = j.value(QStringLiteral("cameras")).toArray().at(1).toObject();
    EXPECT_EQ(m.value(QStringLiteral("link")).toString(), QStringLiteral("stalled"));
    EXPECT_FALSE(m.value(QStringLiteral("linkUp")).toBool());
    EXPECT_EQ(c.value(QStringLiteral("savesSkipped")).toInt(), 2);

    s.contactSheet = QStringLiteral("/tmp/out/contact-sheet.png");
    s.error = QStringLiteral("cannot write settings x.json: denied");
    j = summaryToJson(s);
    EXPECT_EQ(j.value(QStringLiteral("contactSheet")).toString(), s.contactSheet);
    EXPECT_EQ(j.value(QStringLiteral("error")).toString(), s.error);
}

TEST(GrabReport, TheTextLinesAsPeopleAndTheLinkLossTestReadThem)
{
    GrabSummary s = twoCameraRun();
    s.savingFrames = true;
    s.contactSheet = QDir::current().absoluteFilePath(QStringLiteral("out/contact-sheet.png"));
    QString text;
    QTextStream out(&text);
    printSummary(s, out);
    out.flush();
    EXPECT_EQ(text.toStdString(),
              std::string("Grabbed for 2.35 s (frame count reached)\n"
                             "VDXGTEST0C01  512x64x3  frames 11  5.0 fps  0.5 MB/s  last product 11 capture 2 cycle 1"
                             "  losses 1  stalls 0  reconnects 1  link up  saved 9 (skipped 2: writers behind)\n"
                             "VDXGTEST0M02  640x64x1  frames 1  0.0 fps  0.0 MB/s  last product 0 capture 0 cycle 0"
                             "  losses 0  stalls 1  reconnects 0  link STALLED  saved 0\n"
                             "Contact sheet: out/contact-sheet.png\n"));

    s.savingFrames = false;
    s.preview = true;
    s.stopReason = QStringLiteral("interrupted");
    s.contactSheet.clear();
    s.cameras.resize(1);
    s.cameras[0].savesSkipped = 0;
    text.clear();
    printSummary(s, out);
    out.flush();
    EXPECT_EQ(text.toStdString(), std::string("Grabbed for 2.35 s (interrupted), preview\n"
                                   "VDXGTEST0C01  512x64x3  frames 11  5.0 fps  0.5 MB/s  last product 11 capture 2 "
                                   "cycle 1  losses 1  stalls 0  reconnects 1  link up\n"));

    EXPECT_EQ(progressLine(QStringLiteral("VDXGTEST0C01"), twoCameraRun().cameras[0].figures, 49.96, 4.9e6),
              QStringLiteral("VDXGTEST0C01  frames     11   50.0 fps     4.9 MB/s  last product 11 capture 2 cycle 1  link up"));
    EXPECT_EQ(eventLine(QDateTime(QDate(2024, 5, 6), QTime(10, 2, 3, 45)), 3004, QStringLiteral("VDXGTEST0C01"),
                        QStringLiteral("lost: CameraLoss: the link is down")),
              QStringLiteral("[10:02:03.045 +3.004 s] VDXGTEST0C01 lost: CameraLoss: the link is down"));
}

} // namespace
