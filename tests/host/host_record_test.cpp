// vandrel-host grab --record end to end: what it writes, a recording replayed
// through the plug-in by the simulator with its settings and to its end, drops
// under a slow writer, a frame cut short by an encoder stop, and broken
// recordings and configurations.

#include "hostrunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

TEST_F(HostRecord, ABrokenRecordingFailsTheHostWithTheReason)
{
    const QString live = population(QStringLiteral("live.json"), R"("frameRate": 50)");
    ASSERT_EQ(grab(live, {QStringLiteral("--frames"), QStringLiteral("4"), QStringLiteral("--record"),
                          QStringLiteral("line")})
                  .exitCode,
              0);
    const QString line = path(QStringLiteral("line"));
    const std::vector<QJsonObject> recorded = index(line);
    ASSERT_EQ(recorded.size(), 4u);
    // Three ways a recording breaks on its way to the desk.
    auto copy = [&](const QString &name) {
        QDir().mkpath(path(name));
        for (const QString &f : QDir(line).entryList(QDir::Files))
            QFile::copy(QDir(line).filePath(f), QDir(path(name)).filePath(f));
        return path(name);
    };
    const QString lost = copy(QStringLiteral("lost"));
    const QString thirdFile = recorded[2].value(QStringLiteral("file")).toString();
    ASSERT_TRUE(QFile::remove(QDir(lost).filePath(thirdFile)));
    const QString cut = copy(QStringLiteral("cut"));
    const QString cutIndex = QDir(cut).filePath(QStringLiteral("index.jsonl"));
    ASSERT_TRUE(QFile::resize(cutIndex, QFileInfo(cutIndex).size() - 20));
    const struct {
        QString frames;
        QString says;
    } cases[] = {
        {QStringLiteral("lost"), QDir(lost).filePath(thirdFile) + QStringLiteral(": no such file")},
        {QStringLiteral("cut"), cutIndex + QStringLiteral(" line 4: ")},
        {QStringLiteral("nowhere"), path(QStringLiteral("nowhere")) + QStringLiteral(": no such directory")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.frames.toStdString());
        const QString desk = population(c.frames + QStringLiteral(".json"), R"("frames": ")" + c.frames.toUtf8() + "\"");
        for (const QStringList &args : {QStringList{QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--json")},
                                         QStringList{QStringLiteral("--frames"), QStringLiteral("5")}}) {
            const HostRun r = grab(desk, args);
            ASSERT_TRUE(r.finished);
            EXPECT_EQ(r.exitCode, 2) << "not frames of other cameras" << r.out.toStdString();
            const QStringList lines = r.hostErrLines();
            ASSERT_FALSE(lines.isEmpty());
            EXPECT_TRUE(lines.last().startsWith(QStringLiteral("vandrel-host: simulator configuration ") + desk
                                                + QStringLiteral(" unusable: ")))
                << lines.last().toStdString();
            EXPECT_TRUE(lines.last().contains(c.says)) << lines.last().toStdString();
            EXPECT_FALSE(r.out.contains(QStringLiteral("frames"))) << r.out.toStdString();
        }
    }
    // A scene that is not there, for list as for grab.
    const QString sim = population(QStringLiteral("bad.json"), R"("scene": "nowhere/missing.png")");
    const HostRun r = runHost({QStringLiteral("list"), QStringLiteral("--sim-config"), sim}, 60000, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(path(QStringLiteral("nowhere/missing.png")) + QStringLiteral(": no such file")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("VDXG"))) << "no default cameras in its place";
}

TEST_F(HostRecord, AColourRecordingReplaysInColourWithTheSettingsItWasRecordedWith)
{
    const QString live = population(QStringLiteral("live.json"), R"("scene": "printed-sheet", "frameRate": 50)");
    // The defaults, and the same with the colour image switched on (the 21st entry).
    ASSERT_EQ(grab(live, {QStringLiteral("--frames"), QStringLiteral("1"), QStringLiteral("--save-settings"),
                          QStringLiteral("grey.json")})
                  .exitCode,
              0);
    QFile greyFile(path(QStringLiteral("grey.json")));
    ASSERT_TRUE(greyFile.open(QIODevice::ReadOnly));
    QJsonObject all = QJsonDocument::fromJson(greyFile.readAll()).object();
    QJsonObject cameras = all.value(QStringLiteral("cameras")).toObject();
    QJsonObject camera = cameras.value(kCam).toObject();
    QJsonArray wrap = camera.value(QStringLiteral("paramsWrap")).toArray();
    QJsonObject colourEntry = wrap.at(20).toObject();
    colourEntry.insert(QStringLiteral("values"), QJsonArray{true});
    wrap.replace(20, colourEntry);
    camera.insert(QStringLiteral("paramsWrap"), wrap);
    cameras.insert(kCam, camera);
    all.insert(QStringLiteral("cameras"), cameras);
    write(QStringLiteral("colour.json"), QJsonDocument(all).toJson());

    const HostRun rec = grab(live, {QStringLiteral("--frames"), QStringLiteral("4"), QStringLiteral("--settings"),
                                    QStringLiteral("colour.json"), QStringLiteral("--record"), QStringLiteral("line")});
    ASSERT_EQ(rec.exitCode, 0) << rec.err.toStdString();
    ASSERT_EQ(index(path(QStringLiteral("line"))).at(0).value(QStringLiteral("channels")).toInt(), 3);
    QFile kept(path(QStringLiteral("line/settings.json")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the settings are recorded beside the index";
    EXPECT_TRUE(QJsonDocument::fromJson(kept.readAll()).object().value(QStringLiteral("cameras")).toObject().contains(kCam));

    // At the desk, no settings given: the recorded ones, so colour.
    const QString desk = population(QStringLiteral("desk.json"), R"("frames": "line")");
    const HostRun replay = grab(desk, {QStringLiteral("--frames"), QStringLiteral("4"), QStringLiteral("--json"),
                                       QStringLiteral("--record"), QStringLiteral("again")});
    ASSERT_EQ(replay.exitCode, 0) << replay.err.toStdString();
    EXPECT_EQ(cameraOf(replay.json()).value(QStringLiteral("channels")).toInt(), 3);
    const std::vector<QJsonObject> recorded = index(path(QStringLiteral("line")));
    const std::vector<QJsonObject> again = index(path(QStringLiteral("again")));
    ASSERT_EQ(again.size(), 4u);
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(cv::norm(image(path(QStringLiteral("again")), again[i]), image(path(QStringLiteral("line")), recorded[i]),
                           cv::NORM_INF),
                  0)
            << "frame " << i << " replayed in its recorded colours";
    // --settings still decides.
    const HostRun grey = grab(desk, {QStringLiteral("--frames"), QStringLiteral("2"), QStringLiteral("--json"),
                                     QStringLiteral("--settings"), QStringLiteral("grey.json")});
    ASSERT_EQ(grey.exitCode, 0) << grey.err.toStdString();
    EXPECT_EQ(cameraOf(grey.json()).value(QStringLiteral("channels")).toInt(), 1);
}

TEST_F(HostRecord, AReplaysEndIsReportedWithTheFramesItPlayed)
{
    const QString live = population(QStringLiteral("live.json"), R"("frameRate": 50)");
    ASSERT_EQ(grab(live, {QStringLiteral("--frames"), QStringLiteral("4"), QStringLiteral("--record"),
                          QStringLiteral("line")})
                  .exitCode,
              0);
    const QString once = population(QStringLiteral("once.json"), R"("frames": "line")");
    const HostRun r = grab(once, {QStringLiteral("--frames"), QStringLiteral("10"), QStringLiteral("--seconds"),
                                  QStringLiteral("30"), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("stopReason")).toString(), QStringLiteral("recording ended"));
    EXPECT_LT(r.json().value(QStringLiteral("runMs")).toDouble(), 20000) << "ended, not timed out";
    EXPECT_EQ(cameraOf(r.json()).value(QStringLiteral("recordingEnded")).toInt(), 4);
    EXPECT_EQ(cameraOf(r.json()).value(QStringLiteral("frames")).toInt(), 4);
    EXPECT_TRUE(r.err.contains(QStringLiteral("camera VDXGREC00001: recording ended after 4 frames"))) << r.err.toStdString();
    // In a loop it never ends: the frame count ends the grab.
    const QString loop = population(QStringLiteral("loop.json"), R"("frames": "line", "loop": true)");
    const HostRun l = grab(loop, {QStringLiteral("--frames"), QStringLiteral("10"), QStringLiteral("--json")});
    ASSERT_EQ(l.exitCode, 0) << l.err.toStdString();
    EXPECT_EQ(l.json().value(QStringLiteral("stopReason")).toString(), QStringLiteral("frames"));
    EXPECT_FALSE(cameraOf(l.json()).contains(QStringLiteral("recordingEnded")));
}

TEST_F(HostRecord, AFrameCutShortByAnEncoderStopTravelsThroughThePluginAndTheRecording)
{
    // 1000 lines a second into frames of 32; the web stops after 300 lines,
    // so the tenth frame holds 12, and runs again 0.3 s later.
    const QString live = population(QStringLiteral("encoder.json"), R"("encoder": {"linesPerMm": 10,
        "lineTimeoutMs": 50, "webSpeed": [[0, 100], [0.3, 100], [0.3, 0], [0.6, 0], [0.6, 100]]})");
    const HostRun r = grab(live, {QStringLiteral("--frames"), QStringLiteral("13"), QStringLiteral("--record"),
                                  QStringLiteral("line"), QStringLiteral("--save-dir"), QStringLiteral("png"),
                                  QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const std::vector<QJsonObject> recorded = index(path(QStringLiteral("line")));
    ASSERT_EQ(recorded.size(), 13u);
    for (size_t i = 0; i < recorded.size(); ++i) {
        EXPECT_EQ(recorded[i].value(QStringLiteral("height")).toInt(), i == 9 ? 12 : 32) << i;
        EXPECT_EQ(image(path(QStringLiteral("line")), recorded[i]).rows, i == 9 ? 12 : 32) << i;
    }
    // The stop shows in the camera's time stamps: 313 ms from frame 10 to 11.
    const double gap = recorded[10].value(QStringLiteral("captureTime")).toDouble()
                       - recorded[9].value(QStringLiteral("captureTime")).toDouble();
    EXPECT_NEAR(gap, 601 - 288, 2);
    EXPECT_EQ(cv::imread(path(QStringLiteral("png/VDXGREC00001_000010.png")).toStdString(), cv::IMREAD_UNCHANGED).rows,
              12);
    // Replayed, the short frame comes back as it was.
    const QString desk = population(QStringLiteral("desk.json"), R"("frames": "line")");
    const HostRun replay = grab(desk, {QStringLiteral("--frames"), QStringLiteral("13"), QStringLiteral("--record"),
                                       QStringLiteral("again")});
    ASSERT_EQ(replay.exitCode, 0) << replay.err.toStdString();
    const std::vector<QJsonObject> again = index(path(QStringLiteral("again")));
    ASSERT_EQ(again.size(), 13u);
    EXPECT_EQ(again[9].value(QStringLiteral("height")).toInt(), 12);
}
