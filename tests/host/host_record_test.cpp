// vandrel-host grab --record end to end: what it writes, a recording replayed
// through the plug-in by the simulator, drops under a slow writer, and a
// configuration naming a scene that is not there.

#include "hostrunner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <map>
#include <vector>

namespace {

const QString kCam = QStringLiteral("VDXGREC00001");

class HostRecord : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString &name) const { return dir.filePath(name); }

    QString write(const QString &name, const QByteArray &content) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }

    // One colour line-scan camera; what it sees and how fast come in keys.
    QString population(const QString &name, const QByteArray &keys) const
    {
        return write(name, R"({"devices": [{"productName": "VD-XG4K-C", "serialNumber": "VDXGREC00001",
            "sensorWidth": 256, "sensorHeight": 1024, "frameHeight": 32, )" + keys + "}]}");
    }

    HostRun grab(const QString &simConfig, QStringList args,
                 const QProcessEnvironment &env = QProcessEnvironment())
    {
        args = QStringList{QStringLiteral("grab"), QStringLiteral("--sim-config"), simConfig} + args;
        return runHost(args, 60000, dir.path(), env);
    }

    static QJsonObject cameraOf(const QJsonObject &summary)
    {
        return summary.value(QStringLiteral("cameras")).toArray().at(0).toObject();
    }

    static std::vector<QJsonObject> index(const QString &recording)
    {
        std::vector<QJsonObject> lines;
        QFile f(QDir(recording).filePath(QStringLiteral("index.jsonl")));
        if (!f.open(QIODevice::ReadOnly))
            return lines;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (!line.isEmpty())
                lines.push_back(QJsonDocument::fromJson(line).object());
        }
        return lines;
    }

    static cv::Mat image(const QString &recording, const QJsonObject &line)
    {
        return cv::imread(QDir(recording).filePath(line.value(QStringLiteral("file")).toString()).toStdString(),
                          cv::IMREAD_UNCHANGED);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(HostRecord, ARecordingReplaysThroughThePluginWithItsPixelsNumbersSizesOrderAndPacing)
{
    cv::Mat scene(300, 128, CV_8UC1);
    cv::randu(scene, 0, 256);
    ASSERT_TRUE(cv::imwrite(path(QStringLiteral("scene.png")).toStdString(), scene));
    // Ten frames a second: the replay's pacing is far from "as fast as possible".
    const QString live = population(QStringLiteral("live.json"), R"("scene": "scene.png", "frameRate": 10)");
    const HostRun first = grab(live, {QStringLiteral("--frames"), QStringLiteral("8"), QStringLiteral("--record"),
                                      QStringLiteral("line"), QStringLiteral("--json")});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const std::vector<QJsonObject> recorded = index(path(QStringLiteral("line")));
    ASSERT_EQ(recorded.size(), 8u);
    EXPECT_EQ(cameraOf(first.json()).value(QStringLiteral("recordedFrames")).toInt(), 8);
    EXPECT_EQ(cameraOf(first.json()).value(QStringLiteral("recordDropped")).toInt(), 0);
    for (size_t i = 0; i < recorded.size(); ++i) {
        const QJsonObject &l = recorded[i];
        EXPECT_EQ(l.value(QStringLiteral("serial")).toString(), kCam);
        EXPECT_EQ(l.value(QStringLiteral("product")).toInt(), int(i) + 1);
        EXPECT_EQ(l.value(QStringLiteral("capture")).toInt(), 1);
        EXPECT_EQ(l.value(QStringLiteral("cycle")).toInt(), 1);
        EXPECT_EQ(l.value(QStringLiteral("width")).toInt(), 256);
        EXPECT_EQ(l.value(QStringLiteral("height")).toInt(), 32);
        EXPECT_EQ(l.value(QStringLiteral("channels")).toInt(), 1);
        const cv::Mat m = image(path(QStringLiteral("line")), l);
        ASSERT_EQ(m.cols, 256);
        ASSERT_EQ(m.type(), CV_8UC1);
    }

    // At the desk: the same camera replays the recording (a path relative to
    // the configuration file) and the grab records it again.
    const QString desk = population(QStringLiteral("desk.json"), R"("frames": "line", "frameRate": 10)");
    const HostRun second = grab(desk, {QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--seconds"),
                                       QStringLiteral("20"), QStringLiteral("--record"), QStringLiteral("desk"),
                                       QStringLiteral("--json")});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QJsonObject cam = cameraOf(second.json());
    EXPECT_EQ(second.json().value(QStringLiteral("stopReason")).toString(), QStringLiteral("frames"));
    // Paced as recorded, about 10 frames a second, not as fast as the consumer takes them.
    EXPECT_GT(cam.value(QStringLiteral("fps")).toDouble(), 4.0);
    EXPECT_LT(cam.value(QStringLiteral("fps")).toDouble(), 25.0);

    std::map<qint64, size_t> byTime;
    for (size_t i = 0; i < recorded.size(); ++i)
        byTime[qint64(recorded[i].value(QStringLiteral("captureTime")).toDouble())] = i;
    ASSERT_EQ(byTime.size(), recorded.size()) << "time stamps identify the recorded frames";
    const std::vector<QJsonObject> replayed = index(path(QStringLiteral("desk")));
    ASSERT_EQ(replayed.size(), 5u);
    size_t previous = 0;
    for (size_t i = 0; i < replayed.size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject &l = replayed[i];
        const auto found = byTime.find(qint64(l.value(QStringLiteral("captureTime")).toDouble()));
        ASSERT_NE(found, byTime.end()) << "the recorded time stamp comes back";
        const QJsonObject &original = recorded[found->second];
        if (i > 0) {
            EXPECT_EQ(found->second, previous + 1) << "in the recorded order, none left out";
        }
        previous = found->second;
        EXPECT_EQ(l.value(QStringLiteral("product")).toInt(), int(i) + 1);
        for (const char *key : {"width", "height", "channels", "serial"})
            EXPECT_EQ(l.value(QLatin1String(key)), original.value(QLatin1String(key))) << key;
        const cv::Mat a = image(path(QStringLiteral("desk")), l);
        const cv::Mat b = image(path(QStringLiteral("line")), original);
        ASSERT_EQ(a.size(), b.size());
        EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0) << "same pixels, stamp included";
    }
}

TEST_F(HostRecord, ASlowWriterDropsFramesAndTheSummaryCountsThemAll)
{
    const QString sim = population(QStringLiteral("fast.json"), R"("frameRate": 0)");
    QProcessEnvironment slow;
    slow.insert(QStringLiteral("VANDREL_RECORD_DELAY_MS"), QStringLiteral("40"));
    const HostRun r = grab(sim, {QStringLiteral("--frames"), QStringLiteral("200"), QStringLiteral("--record"),
                                 QStringLiteral("rec"), QStringLiteral("--record-queue"), QStringLiteral("2"),
                                 QStringLiteral("--json")},
                           slow);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject cam = cameraOf(r.json());
    const int recorded = cam.value(QStringLiteral("recordedFrames")).toInt();
    const int dropped = cam.value(QStringLiteral("recordDropped")).toInt();
    EXPECT_EQ(cam.value(QStringLiteral("frames")).toInt(), 200);
    EXPECT_GT(dropped, 0) << "a 40 ms writer cannot keep up with a camera at full speed";
    EXPECT_GT(recorded, 0);
    EXPECT_EQ(recorded + dropped, 200) << "every frame is recorded or counted as dropped";
    EXPECT_EQ(int(index(path(QStringLiteral("rec"))).size()), recorded);
    EXPECT_EQ(int(QDir(path(QStringLiteral("rec"))).entryList({QStringLiteral("*.tif")}, QDir::Files).size()),
              recorded);

    // The text summary says it too, and a second recording into the same folder is refused.
    const HostRun text = grab(sim, {QStringLiteral("--frames"), QStringLiteral("50"), QStringLiteral("--record"),
                                    QStringLiteral("rec2"), QStringLiteral("--record-queue"), QStringLiteral("1")},
                              slow);
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression(QStringLiteral("recorded \\d+  dropped [1-9]\\d*"))))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("Recording: rec2"))) << text.out.toStdString();
    const HostRun again = grab(sim, {QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--record"),
                                     QStringLiteral("rec")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already holds a recording"))) << again.err.toStdString();
    EXPECT_EQ(int(index(path(QStringLiteral("rec"))).size()), recorded) << "the first recording untouched";
}

TEST_F(HostRecord, AConfigurationNamingAMissingSceneIsReportedWithTheFile)
{
    const QString sim = population(QStringLiteral("bad.json"), R"("scene": "nowhere/missing.png")");
    const HostRun r = runHost({QStringLiteral("list"), QStringLiteral("--sim-config"), sim}, 60000, dir.path());
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.err.contains(path(QStringLiteral("nowhere/missing.png")) + QStringLiteral(": no such file")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("using the default cameras"))) << r.err.toStdString();
}
