// The viewer's Record / Stop: every open camera's frames, and those of a
// camera opened meanwhile, go to one recording in vandrel-host's format,
// with each camera's settings.
#include "recordindex.h"
#include "viewerfixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <map>

using namespace viewertest;

namespace {

class ViewerRecord : public ViewerTest
{
};

} // namespace

TEST_F(ViewerRecord, RecordAndStopWriteEveryOpenCamerasFramesInTheHostsFormat)
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("rec"));
    QAction *record = window->action(QStringLiteral("record"));
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->isEnabled()) << "nothing to record without a camera";
    open(kColour);
    EXPECT_TRUE(record->isEnabled());
    EXPECT_EQ(record->text(), QStringLiteral("Record…"));

    QString error;
    ASSERT_TRUE(window->startRecording(dir, error)) << error.toStdString();
    EXPECT_TRUE(window->recording());
    EXPECT_EQ(record->text(), QStringLiteral("Stop recording"));
    // A camera opened while recording joins the recording.
    open(kMono);
    const auto both = [&] {
        std::map<QString, int> perCamera;
        for (const QJsonObject &l : readRecordIndex(dir))
            ++perCamera[l.value(QStringLiteral("serial")).toString()];
        return perCamera[kColour] >= 5 && perCamera[kMono] >= 5;
    };
    EXPECT_TRUE(waitUntil(both, 10000));

    record->trigger();   // Stop
    EXPECT_FALSE(window->recording());
    EXPECT_EQ(record->text(), QStringLiteral("Record…"));
    const std::vector<QJsonObject> lines = readRecordIndex(dir);
    // Each camera's settings beside the index, the one that joined too.
    QFile settings(QDir(dir).filePath(QStringLiteral("settings.json")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QJsonObject cameras = QJsonDocument::fromJson(settings.readAll()).object().value(QStringLiteral("cameras")).toObject();
    for (const QString &serial : {kColour, kMono})
        EXPECT_TRUE(cameras.value(serial).toObject().value(QStringLiteral("paramsWrap")).isArray()) << serial.toStdString();
    EXPECT_TRUE(window->messageText().contains(QStringLiteral("Recorded %1 frames into").arg(lines.size())))
        << window->messageText().toStdString();
    for (const QJsonObject &l : lines) {
        const QString serial = l.value(QStringLiteral("serial")).toString();
        const int width = l.value(QStringLiteral("width")).toInt();
        EXPECT_EQ(width, serial == kColour ? 512 : 640);
        EXPECT_EQ(l.value(QStringLiteral("height")).toInt(), 64);
        const cv::Mat m = cv::imread(QDir(dir).filePath(l.value(QStringLiteral("file")).toString()).toStdString(),
                                     cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(m.empty());
        EXPECT_EQ(m.cols, width);
        EXPECT_EQ(m.channels(), l.value(QStringLiteral("channels")).toInt());
    }
    // Nothing more is written once stopped.
    const size_t written = lines.size();
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(readRecordIndex(dir).size(), written);
    EXPECT_EQ(QDir(dir).entryList({QStringLiteral("*.tif")}, QDir::Files).size(), int(written));

    // The folder now holds a recording: a second start into it is refused with the reason.
    EXPECT_FALSE(window->startRecording(dir, error));
    EXPECT_TRUE(error.contains(QStringLiteral("already holds a recording"))) << error.toStdString();
}
