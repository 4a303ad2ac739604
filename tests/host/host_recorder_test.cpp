// The frame recorder in process: what it writes, in which order, and what it
// counts when its writer falls behind.

#include "framerecorder.h"
#include "recordindex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

FrameRecorder::Frame frame(const char *serial, int product, const cv::Mat &image)
{
    FrameRecorder::Frame f;
    f.serial = QString::fromLatin1(serial);
    f.product = product;
    f.capture = 2;
    f.cycle = 3;
    f.captureTime = QDateTime::fromMSecsSinceEpoch(1000 + product);
    f.image = image;
    return f;
}

} // namespace

TEST(FrameRecorder, WritesUncompressedGreyAndRgbTiffsAndOneIndexLineEach)
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("rec"));
    cv::Mat grey(20, 30, CV_8UC1), rgb(10, 12, CV_8UC3);
    cv::randu(grey, 0, 256);
    cv::randu(rgb, 0, 256);
    {
        FrameRecorder r(dir);
        QString why;
        ASSERT_TRUE(r.start(why)) << why.toStdString();
        EXPECT_TRUE(r.offer(frame("CAMA", 1, grey)));
        EXPECT_TRUE(r.offer(frame("CAMB", 7, rgb)));
        r.stop();
        EXPECT_EQ(r.counts(QStringLiteral("CAMA")).recorded, 1);
        EXPECT_EQ(r.counts(QStringLiteral("CAMB")).recorded, 1);
        EXPECT_EQ(r.bytesWritten(), qint64(20 * 30 + 10 * 12 * 3));
        EXPECT_FALSE(r.offer(frame("CAMA", 2, grey))) << "stopped: dropped, counted";
        EXPECT_EQ(r.counts(QStringLiteral("CAMA")).dropped, 1);
    }
    const auto lines = readRecordIndex(dir);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value(QStringLiteral("file")).toString(), QStringLiteral("00000001_CAMA.tif"));
    EXPECT_EQ(lines[1].value(QStringLiteral("serial")).toString(), QStringLiteral("CAMB"));
    EXPECT_EQ(lines[1].value(QStringLiteral("product")).toInt(), 7);
    EXPECT_EQ(lines[1].value(QStringLiteral("capture")).toInt(), 2);
    EXPECT_EQ(lines[1].value(QStringLiteral("cycle")).toInt(), 3);
    EXPECT_EQ(lines[1].value(QStringLiteral("captureTime")).toDouble(), 1007.0);
    EXPECT_EQ(lines[1].value(QStringLiteral("width")).toInt(), 12);
    EXPECT_EQ(lines[1].value(QStringLiteral("height")).toInt(), 10);
    EXPECT_EQ(lines[1].value(QStringLiteral("channels")).toInt(), 3);

    const QString greyFile = QDir(dir).filePath(lines[0].value(QStringLiteral("file")).toString());
    EXPECT_GE(QFileInfo(greyFile).size(), 20 * 30) << "uncompressed";
    EXPECT_EQ(cv::norm(cv::imread(greyFile.toStdString(), cv::IMREAD_UNCHANGED), grey, cv::NORM_INF), 0);
    // Any reader sees RGB: OpenCV reads it back as BGR.
    const cv::Mat back = cv::imread(QDir(dir).filePath(lines[1].value(QStringLiteral("file")).toString()).toStdString(),
                                    cv::IMREAD_UNCHANGED);
    cv::Mat asRgb;
    cv::cvtColor(back, asRgb, cv::COLOR_BGR2RGB);
    EXPECT_EQ(cv::norm(asRgb, rgb, cv::NORM_INF), 0);
}

TEST(FrameRecorder, ASlowWriterDropsWhatTheQueueCannotHoldAndCountsIt)
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("rec"));
    FrameRecorder r(dir, 3);
    r.setWriteDelayMs(30);
    QString why;
    ASSERT_TRUE(r.start(why));
    const cv::Mat m(8, 8, CV_8UC1, cv::Scalar(5));
    int accepted = 0;
    for (int i = 1; i <= 40; ++i)
        accepted += r.offer(frame("CAM", i, m)) ? 1 : 0;
    r.stop();
    const FrameRecorder::Counts c = r.counts(QStringLiteral("CAM"));
    EXPECT_GT(c.dropped, 0);
    EXPECT_LE(accepted, 40 - c.dropped);
    EXPECT_EQ(c.recorded + c.dropped, 40);
    EXPECT_EQ(c.recorded, accepted);
    const auto lines = readRecordIndex(dir);
    ASSERT_EQ(int(lines.size()), c.recorded);
    // Names keep the order of arrival; the gaps are the dropped frames.
    EXPECT_EQ(lines.front().value(QStringLiteral("file")).toString(), QStringLiteral("00000001_CAM.tif"));
    EXPECT_LT(lines.front().value(QStringLiteral("file")).toString(), lines.back().value(QStringLiteral("file")).toString());
    EXPECT_EQ(QDir(dir).entryList({QStringLiteral("*.tif")}, QDir::Files).size(), lines.size());
}

TEST(FrameRecorder, RefusesAFolderWithARecordingOrOneItCannotCreate)
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("rec"));
    {
        FrameRecorder r(dir);
        QString why;
        ASSERT_TRUE(r.start(why));
    }
    FrameRecorder again(dir);
    QString why;
    EXPECT_FALSE(again.start(why));
    EXPECT_TRUE(why.contains(QStringLiteral("already holds a recording"))) << why.toStdString();

    QFile file(tmp.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FrameRecorder under(tmp.filePath(QStringLiteral("plain/rec")));
    EXPECT_FALSE(under.start(why));
    EXPECT_TRUE(why.contains(QStringLiteral("cannot create directory"))) << why.toStdString();
}
