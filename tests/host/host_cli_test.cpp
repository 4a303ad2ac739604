// vandrel-host end to end, against the simulated cameras.

#include "hostrunner.h"
#include "recordindex.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QDeadlineTimer>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <csignal>

namespace {

const QString kColour = QStringLiteral("VDXGTEST0C01");
const QString kMono = QStringLiteral("VDXGTEST0M02");

class HostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        simConfig = write(QStringLiteral("population.json"), smallPopulation());
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    QString write(const QString &name, const QByteArray &content) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }

    QJsonObject readJson(const QString &file) const
    {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    // A run on the small population; extra arguments after the command.
    HostRun run(const QString &command, QStringList args = {}, int timeoutMs = 60000)
    {
        args.prepend(simConfig);
        args.prepend(QStringLiteral("--sim-config"));
        args.prepend(command);
        return runHost(args, timeoutMs, dir.path());
    }

    static QJsonObject cameraOf(const QJsonObject &summary, const QString &serial)
    {
        for (const QJsonValue &v : summary.value(QStringLiteral("cameras")).toArray())
            if (v.toObject().value(QStringLiteral("serial")).toString() == serial)
                return v.toObject();
        return QJsonObject();
    }

    // Position of the descriptor with this label in the camera's list, which
    // is also its position in "paramsWrap".
    int paramIndex(const QString &serial, const QString &label)
    {
        const HostRun r = run(QStringLiteral("params"), {serial, QStringLiteral("--json")});
        const QJsonArray params = r.json().value(QStringLiteral("params")).toArray();
        for (int i = 0; i < params.size(); ++i)
            if (params.at(i).toObject().value(QStringLiteral("label")).toString() == label
                || params.at(i).toObject().value(QStringLiteral("options")).toArray().contains(label))
                return i;
        return -1;
    }

    QTemporaryDir dir;
    QString simConfig;
};

int countFiles(const QString &dir, const QString &pattern)
{
    return QDir(dir).entryList({pattern}, QDir::Files).size();
}

// The bad-input cases all end with one line on stderr and a distinct status.
void expectFailure(const HostRun &r, int status, const QString &fragment)
{
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, status) << r.err.toStdString();
    const QStringList lines = r.hostErrLines();
    ASSERT_EQ(lines.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(lines.first().startsWith(QLatin1String("vandrel-host: "))) << lines.first().toStdString();
    EXPECT_TRUE(lines.first().contains(fragment)) << lines.first().toStdString();
}

TEST_F(HostTest, InfoReportsThePluginIdentity)
{
    const HostRun text = run(QStringLiteral("info"));
    ASSERT_TRUE(text.finished);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("Vandrel相机-线扫"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("V2.1.0.30")));

    const QJsonObject j = run(QStringLiteral("info"), {QStringLiteral("--json")}).json();
    EXPECT_EQ(j.value(QStringLiteral("metadataIID")).toString(), QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"));
    EXPECT_EQ(j.value(QStringLiteral("pluginIID")).toString(), QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"));
    EXPECT_EQ(j.value(QStringLiteral("interfaceIID")).toString(), QStringLiteral("com.kvr.quorvane.camerainterface"));
    EXPECT_EQ(j.value(QStringLiteral("className")).toString(), QStringLiteral("CameraVandrel"));
    EXPECT_EQ(j.value(QStringLiteral("description")).toString(), QStringLiteral("请查看帮助文档 "));
    EXPECT_TRUE(j.value(QStringLiteral("file")).toString().endsWith(QLatin1String("/libVandrel.so")));

    // The SDK library the plug-in brought in, beside it, and that it is the simulator.
    const QString pluginDir = QFileInfo(j.value(QStringLiteral("file")).toString()).path();
    const QString sdk = j.value(QStringLiteral("sdkLibrary")).toString();
    EXPECT_EQ(QFileInfo(sdk).path(), pluginDir) << sdk.toStdString();
    EXPECT_TRUE(QFileInfo(sdk).fileName().startsWith(QLatin1String("libVDCAMSDK.so"))) << sdk.toStdString();
    EXPECT_EQ(j.value(QStringLiteral("sdkSimulated")), QJsonValue(true));
    EXPECT_TRUE(text.out.contains(QStringLiteral("\nSDK library:   %1\n").arg(sdk))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression(QStringLiteral(
        "\nsimulated SDK: yes, Vandrel simulated VD camera SDK [0-9.]+: its cameras are not real\n"))))
        << text.out.toStdString();
}

// An SDK that is not the simulator (a stand-in loaded ahead of it) is named
// as loaded and not called simulated.
TEST_F(HostTest, InfoSaysWhenTheSdkIsNotTheSimulator)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VANDREL_STANDIN_SDK));
    // A dynamic AddressSanitizer runtime wants to come first.
    const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
    const HostRun json = runHost({QStringLiteral("info"), QStringLiteral("--json")}, 60000, dir.path(), env);
    ASSERT_TRUE(json.finished);
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject j = json.json();
    EXPECT_EQ(j.value(QStringLiteral("sdkLibrary")).toString(), QStringLiteral(VANDREL_STANDIN_SDK));
    EXPECT_EQ(j.value(QStringLiteral("sdkSimulated")), QJsonValue(false));

    const HostRun text = runHost({QStringLiteral("info")}, 60000, dir.path(), env);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("\nSDK library:   " VANDREL_STANDIN_SDK "\nsimulated SDK: no\n")))
        << text.out.toStdString();
}

TEST_F(HostTest, ListShowsWhatEachCameraIsAndMarksTheOtherDevices)
{
    const HostRun r = run(QStringLiteral("list"), {QStringLiteral("--json")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject j = r.json();
    EXPECT_EQ(j.value(QStringLiteral("deviceCount")).toInt(), 3);
    EXPECT_EQ(j.value(QStringLiteral("cameras")).toArray(), (QJsonArray{kColour, kMono}));
    const QJsonArray described = j.value(QStringLiteral("described")).toArray();
    ASSERT_EQ(described.size(), 2);
    const QJsonObject colour = described.at(0).toObject();
    const QJsonObject mono = described.at(1).toObject();
    EXPECT_EQ(colour.value(QStringLiteral("product")).toString(), QStringLiteral("VD-XG4K-C"));
    EXPECT_EQ(colour.value(QStringLiteral("width")).toInt(), 512);
    EXPECT_TRUE(colour.value(QStringLiteral("colour")).toBool());
    EXPECT_EQ(mono.value(QStringLiteral("width")).toInt(), 640);
    EXPECT_FALSE(mono.value(QStringLiteral("colour")).toBool());
    EXPECT_EQ(j.value(QStringLiteral("otherDevices")).toArray(),
              (QJsonArray{QJsonObject{{QStringLiteral("serial"), QStringLiteral("VDACTEST0003")},
                                      {QStringLiteral("product"), QStringLiteral("VD-AC1300")}}}));

    const HostRun text = run(QStringLiteral("list"));
    EXPECT_TRUE(text.out.contains(QStringLiteral("SDK devices: 3")));
    EXPECT_TRUE(text.out.contains(QStringLiteral("  %1  VD-XG4K-C  512 px  colour\n").arg(kColour))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("  %1  VD-XG8K-M  640 px  mono\n").arg(kMono)));
    EXPECT_TRUE(text.out.contains(QStringLiteral("Other devices (not VD-XG; the plug-in does not drive them): 1\n"
                                                 "  VDACTEST0003  VD-AC1300\n")));
    // The listing left every camera closed: it can be grabbed from at once.
    EXPECT_EQ(run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("1")}).exitCode, 0);

    // Without --sim-config: the simulator's own cameras.
    const QJsonObject builtIn = runHost({QStringLiteral("list"), QStringLiteral("--json")}).json();
    EXPECT_EQ(builtIn.value(QStringLiteral("deviceCount")).toInt(), 3);
    EXPECT_EQ(builtIn.value(QStringLiteral("cameras")).toArray().size(), 2);

    // A device of the other family is named for what it is.
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--camera"), QStringLiteral("VDACTEST0003")}), 4,
                  QStringLiteral("VDACTEST0003 is a VD-AC1300, not a VD-XG camera"));
}

TEST_F(HostTest, ParamsReadsTheDescriptorsOfTheChosenCamera)
{
    for (const QString &serial : {kColour, kMono}) {
        const HostRun r = run(QStringLiteral("params"), {serial, QStringLiteral("--json")});
        ASSERT_TRUE(r.finished);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonArray params = r.json().value(QStringLiteral("params")).toArray();
        ASSERT_FALSE(params.isEmpty());
        QSet<QString> kinds;
        QMap<QString, QJsonObject> byName;
        for (const QJsonValue &v : params) {
            const QJsonObject p = v.toObject();
            kinds.insert(p.value(QStringLiteral("kind")).toString());
            byName.insert(p.value(QStringLiteral("name")).toString(), p);
        }
        EXPECT_EQ(kinds, (QSet<QString>{QStringLiteral("SeparateParam"), QStringLiteral("LineEditCameraParam"),
                                        QStringLiteral("CheckBoxParam"), QStringLiteral("ComboBoxParam")}));
        // The range comes from the camera that was opened, not a default.
        const QJsonObject width = byName.value(QStringLiteral("Width"));
        EXPECT_EQ(width.value(QStringLiteral("label")).toString(), QStringLiteral("图像的宽度"));
        EXPECT_EQ(width.value(QStringLiteral("max")).toInt(), serial == kColour ? 512 : 640) << serial.toStdString();
        EXPECT_EQ(width.value(QStringLiteral("unit")).toString(), QStringLiteral("px"));
        EXPECT_EQ(width.value(QStringLiteral("applies")).toString(), QStringLiteral("never"));
        EXPECT_EQ(byName.value(QStringLiteral("ExposureTime1")).value(QStringLiteral("applies")).toString(),
                  QStringLiteral("select"));
        EXPECT_EQ(byName.value(QStringLiteral("ColorImage")).value(QStringLiteral("applies")).toString(),
                  QStringLiteral("apply"));
        EXPECT_TRUE(byName.contains(QStringLiteral("ReverseX/ReverseY")));
    }

    const HostRun table = run(QStringLiteral("params"));
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_TRUE(table.out.contains(QStringLiteral("Camera %1:").arg(kColour)));
    EXPECT_TRUE(table.out.contains(QStringLiteral("NAME")) && table.out.contains(QStringLiteral("EFFECT"))
                && table.out.contains(QStringLiteral("DESCRIPTION")));
    EXPECT_TRUE(table.out.contains(QStringLiteral("0 .. 512 step")));
    const QRegularExpression exposureRow(QStringLiteral(R"(^ExposureTime1 +曝光时间1 +0 +0\.1 ms +\S+ \.\. \S+ step \S+ +Select )"),
                                         QRegularExpression::MultilineOption);
    EXPECT_TRUE(exposureRow.match(table.out).hasMatch()) << table.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Gain +模拟增益 +0 +0 \.\. \d+ step 1 +kept only )"),
                                   QRegularExpression::MultilineOption)
                    .match(table.out)
                    .hasMatch());
}

TEST_F(HostTest, SetWritesThroughTheDescriptorsAndSaysWhatTheCameraIgnores)
{
    const QString saved = path(QStringLiteral("set.json"));
    const HostRun r = run(QStringLiteral("grab"),
                          {QStringLiteral("--camera"), kColour, QStringLiteral("--frames"), QStringLiteral("2"),
                           QStringLiteral("--set"), QStringLiteral("Gain=9"), QStringLiteral("--set"),
                           QStringLiteral("ReverseY=on"), QStringLiteral("--set"), QStringLiteral("彩色图像=on"),
                           QStringLiteral("--set"), QStringLiteral("图像帧率=高速模式"), QStringLiteral("--set"),
                           QStringLiteral("ExposureTime1=50"), QStringLiteral("--save-settings"), saved,
                           QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // The colour choice took effect on the Apply that follows the edits.
    EXPECT_EQ(cameraOf(r.json(), kColour).value(QStringLiteral("channels")).toInt(), 3);
    // Every value stands where the driver keeps it, named as paramfacts names it.
    QMap<QString, QJsonObject> entries;
    for (const QJsonValue &v : readJson(saved)
                                   .value(QStringLiteral("cameras"))
                                   .toObject()
                                   .value(kColour)
                                   .toObject()
                                   .value(QStringLiteral("paramsWrap"))
                                   .toArray())
        entries.insert(v.toObject().value(QStringLiteral("name")).toString(), v.toObject());
    EXPECT_EQ(entries.value(QStringLiteral("Gain")).value(QStringLiteral("values")).toInt(), 9);
    EXPECT_EQ(entries.value(QStringLiteral("ReverseX/ReverseY")).value(QStringLiteral("values")).toArray(),
              (QJsonArray{false, true}));
    EXPECT_EQ(entries.value(QStringLiteral("FrameSpeed")).value(QStringLiteral("selectedIndex")).toInt(), 2);
    EXPECT_DOUBLE_EQ(entries.value(QStringLiteral("ExposureTime1")).value(QStringLiteral("values")).toDouble(), 50.0);
    // A warning for each parameter that reaches no camera, and none for the others.
    const QStringList warnings = r.hostErrLines().filter(QStringLiteral("warning:"));
    EXPECT_EQ(warnings.size(), 3) << r.err.toStdString();
    EXPECT_TRUE(warnings.filter(QStringLiteral("Gain (模拟增益) is kept and saved")).size() == 1);
    EXPECT_TRUE(warnings.filter(QStringLiteral("ReverseY (垂直镜像)")).size() == 1);
    EXPECT_TRUE(warnings.filter(QStringLiteral("FrameSpeed (图像帧率)")).size() == 1);

    // params shows what --set made of the values; the driver aligns a width to its step.
    const HostRun p = run(QStringLiteral("params"),
                          {kColour, QStringLiteral("--set"), QStringLiteral("width=200"), QStringLiteral("--json")});
    ASSERT_EQ(p.exitCode, 0) << p.err.toStdString();
    int width = -1;
    for (const QJsonValue &v : p.json().value(QStringLiteral("params")).toArray()) {
        if (v.toObject().value(QStringLiteral("name")).toString() == QStringLiteral("Width"))
            width = v.toObject().value(QStringLiteral("value")).toInt();
    }
    EXPECT_EQ(width, 192);

    // What cannot be set ends the run before any frame, with the reason.
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--set"), QStringLiteral("Gain=17")}), 2,
                  QStringLiteral("--set Gain=17: Gain: 17 is out of range 0..16"));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--set"), QStringLiteral("Gain=high")}), 2,
                  QStringLiteral("Gain takes a whole number"));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--set"), QStringLiteral("Brightness=3")}), 2,
                  QStringLiteral("has no parameter Brightness"));
    expectFailure(run(QStringLiteral("params"), {QStringLiteral("--set"), QStringLiteral("FrameSpeed=极速")}), 2,
                  QStringLiteral("no choice \"极速\""));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--set"), QStringLiteral("Gain")}), 2,
                  QStringLiteral("--set needs NAME=VALUE"));
}

TEST_F(HostTest, ASuccessfulRunIsQuietAndMeasuresItsRateBetweenFrames)
{
    const QString rec = path(QStringLiteral("rec"));
    const HostRun r = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("3"), QStringLiteral("--record"),
                                                   rec, QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Nothing of the driver's info lines.
    EXPECT_FALSE(r.err.contains(QStringLiteral("cameraVandrel Close"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("vandrel:"))) << r.err.toStdString();
    // The rate is the camera's, between its frames' own times (which the
    // recording keeps), not that of their arrival in the host.
    QMap<QString, QVector<qint64>> times;
    for (const QJsonObject &line : readRecordIndex(rec))
        times[line.value(QStringLiteral("serial")).toString()].append(
            qint64(line.value(QStringLiteral("captureTime")).toDouble()));
    for (const QString &serial : {kColour, kMono}) {
        const QVector<qint64> t = times.value(serial);
        ASSERT_EQ(t.size(), 3) << serial.toStdString();
        ASSERT_GT(t.last(), t.first());
        const double expected = 2 * 1000.0 / double(t.last() - t.first());
        EXPECT_NEAR(cameraOf(r.json(), serial).value(QStringLiteral("fps")).toDouble(), expected, expected * 1e-6)
            << serial.toStdString();
    }
    const HostRun verbose = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("1"), QStringLiteral("--verbose")});
    ASSERT_EQ(verbose.exitCode, 0);
    EXPECT_TRUE(verbose.err.contains(QStringLiteral("cameraVandrel Close")));
}

// "[hh:mm:ss.zzz +S.sss s] SERIAL kind: detail" lines of a run, as (serial kind, seconds).
QVector<QPair<QString, double>> linkLines(const QString &out)
{
    const QRegularExpression line(QStringLiteral(R"(^\[\d\d:\d\d:\d\d\.\d{3} \+(\d+\.\d{3}) s\] (\S+) (\w+):)"),
                                  QRegularExpression::MultilineOption);
    QVector<QPair<QString, double>> found;
    for (auto it = line.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        found.append({m.captured(2) + QLatin1Char(' ') + m.captured(3), m.captured(1).toDouble()});
    }
    return found;
}

// The small population with timed events for its colour camera.
QByteArray populationWithEvents(const QByteArray &events)
{
    QJsonObject root = QJsonDocument::fromJson(smallPopulation()).object();
    root.insert(QStringLiteral("events"), QJsonDocument::fromJson(events).array());
    return QJsonDocument(root).toJson();
}

TEST_F(HostTest, ALostLinkIsBackWithinTheRetryIntervalNotTheDriversThirtySeconds)
{
    const QString config = write(QStringLiteral("loss.json"), populationWithEvents(R"([
        {"atMs": 600, "serialNumber": "VDXGTEST0C01", "event": "linkLost", "powerLost": false},
        {"atMs": 1400, "serialNumber": "VDXGTEST0C01", "event": "linkRestored"}])"));
    const HostRun r = runHost({QStringLiteral("grab"), QStringLiteral("--sim-config"), config, QStringLiteral("--seconds"),
                               QStringLiteral("3.5"), QStringLiteral("--retry-interval"), QStringLiteral("0.2")},
                              60000, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto lines = linkLines(r.out);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_EQ(lines[0].first, kColour + QStringLiteral(" lost"));
    EXPECT_EQ(lines[1].first, kColour + QStringLiteral(" back"));
    // Back after the link returned, within a few retry intervals of it.
    EXPECT_GT(lines[1].second - lines[0].second, 0.5);
    EXPECT_LT(lines[1].second - lines[0].second, 0.8 + 1.0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("reopened by the host's retry"))) << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("%1  .* losses 1  stalls 0  reconnects 1  link up").arg(kColour))
                    .match(r.out)
                    .hasMatch())
        << r.out.toStdString();
}

TEST_F(HostTest, ACameraGoneWithoutAMessageIsReportedStalledAndComesBack)
{
    const QString config = write(QStringLiteral("stall.json"), populationWithEvents(R"([
        {"atMs": 600, "serialNumber": "VDXGTEST0C01", "event": "detach"},
        {"atMs": 1800, "serialNumber": "VDXGTEST0C01", "event": "attach"}])"));
    HostRun r = runHost({QStringLiteral("grab"), QStringLiteral("--sim-config"), config, QStringLiteral("--seconds"),
                         QStringLiteral("3.5"), QStringLiteral("--stall-after"), QStringLiteral("0.4"),
                         QStringLiteral("--retry-interval"), QStringLiteral("0.2"), QStringLiteral("--json")},
                        60000, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject colour = cameraOf(r.json(), kColour);
    EXPECT_EQ(colour.value(QStringLiteral("stalls")).toInt(), 1) << r.out.toStdString();
    EXPECT_EQ(colour.value(QStringLiteral("losses")).toInt(), 0);
    EXPECT_EQ(colour.value(QStringLiteral("reconnects")).toInt(), 1);
    EXPECT_EQ(colour.value(QStringLiteral("link")).toString(), QStringLiteral("open"));
    const QJsonArray events = colour.value(QStringLiteral("events")).toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].toObject().value(QStringLiteral("event")).toString(), QStringLiteral("stalled"));
    EXPECT_EQ(events[1].toObject().value(QStringLiteral("event")).toString(), QStringLiteral("back"));
    // The stall is seen about the stall time after the last frame, not at once.
    const double stalledAt = events[0].toObject().value(QStringLiteral("atMs")).toDouble();
    EXPECT_GT(stalledAt, 600 + 300);
    EXPECT_EQ(cameraOf(r.json(), kMono).value(QStringLiteral("stalls")).toInt(), 0);

    // Switched off, the same run reports nothing, and the camera stays silent.
    r = runHost({QStringLiteral("grab"), QStringLiteral("--sim-config"), config, QStringLiteral("--seconds"),
                 QStringLiteral("2"), QStringLiteral("--stall-after"), QStringLiteral("0"), QStringLiteral("--json")},
                60000, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cameraOf(r.json(), kColour).value(QStringLiteral("stalls")).toInt(), 0);
    EXPECT_EQ(cameraOf(r.json(), kColour).value(QStringLiteral("link")).toString(), QStringLiteral("open"));
}

TEST_F(HostTest, GrabOfTwoCamerasWritesFramesAndAContactSheet)
{
    const QString out = path(QStringLiteral("frames"));
    const HostRun r = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("12"), QStringLiteral("--save-dir"),
                                                   out, QStringLiteral("--json")});
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject summary = r.json();
    EXPECT_EQ(summary.value(QStringLiteral("stopReason")).toString(), QStringLiteral("frames"));
    for (const QString &serial : {kColour, kMono}) {
        const QJsonObject cam = cameraOf(summary, serial);
        EXPECT_EQ(cam.value(QStringLiteral("frames")).toInt(), 12) << serial.toStdString();
        EXPECT_EQ(cam.value(QStringLiteral("savedFrames")).toInt(), 12);
        EXPECT_EQ(cam.value(QStringLiteral("height")).toInt(), 64);
        EXPECT_EQ(cam.value(QStringLiteral("width")).toInt(), serial == kColour ? 512 : 640);
        // isRunning was set: frames are numbered by product.
        EXPECT_GE(cam.value(QStringLiteral("lastProductID")).toInt(), 12);
        EXPECT_GT(cam.value(QStringLiteral("fps")).toDouble(), 0.0);
        EXPECT_EQ(countFiles(out, serial + QStringLiteral("_*.png")), 12);
        const cv::Mat png = cv::imread(QDir(out).filePath(serial + QStringLiteral("_000012.png")).toStdString(),
                                       cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(png.empty()) << serial.toStdString();
        EXPECT_EQ(png.cols, cam.value(QStringLiteral("width")).toInt());
        EXPECT_EQ(png.rows, 64);
    }
    const QString sheetPath = summary.value(QStringLiteral("contactSheet")).toString();
    EXPECT_EQ(QFileInfo(sheetPath).fileName(), QStringLiteral("contact-sheet.png"));
    const cv::Mat sheet = cv::imread(sheetPath.toStdString(), cv::IMREAD_COLOR);
    ASSERT_FALSE(sheet.empty());
    EXPECT_GT(sheet.cols, 2 * 400);  // one column per camera
    EXPECT_LE(sheet.rows, 1600);
}

TEST_F(HostTest, GrabOptionsShapeTheRun)
{
    // --every and --camera: frames 1, 4 and 7 of the one chosen camera.
    const QString out = path(QStringLiteral("every"));
    HostRun r = run(QStringLiteral("grab"), {QStringLiteral("--camera"), kMono, QStringLiteral("--frames"), QStringLiteral("7"),
                                             QStringLiteral("--save-dir"), out, QStringLiteral("--every"), QStringLiteral("3"),
                                             QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("cameras")).toArray().size(), 1);
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("VDXGTEST0M02_000001.png"), QStringLiteral("VDXGTEST0M02_000004.png"),
                           QStringLiteral("VDXGTEST0M02_000007.png"), QStringLiteral("contact-sheet.png")}));

    // --preview leaves isRunning false: every frame is numbered (0, 1, 1).
    r = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--preview"), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const QString &serial : {kColour, kMono}) {
        const QJsonObject cam = cameraOf(r.json(), serial);
        EXPECT_EQ(cam.value(QStringLiteral("frames")).toInt(), 5);
        EXPECT_EQ(cam.value(QStringLiteral("lastProductID")).toInt(), 0);
        EXPECT_EQ(cam.value(QStringLiteral("lastCaptureIndex")).toInt(), 1);
        EXPECT_EQ(cam.value(QStringLiteral("lastProductCycleIndex")).toInt(), 1);
    }

    // Grouping reaches the driver's numbering: captures 1..3, cycle positions 1..2.
    QSet<int> captures, cycles;
    for (int frames = 1; frames <= 6; ++frames) {
        r = run(QStringLiteral("grab"), {QStringLiteral("--camera"), kColour, QStringLiteral("--frames"), QString::number(frames),
                                         QStringLiteral("--captures-per-product"), QStringLiteral("3"),
                                         QStringLiteral("--products-per-cycle"), QStringLiteral("2"),
                                         QStringLiteral("--cycle-timeout"), QStringLiteral("0"), QStringLiteral("--json")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonObject cam = cameraOf(r.json(), kColour);
        captures.insert(cam.value(QStringLiteral("lastCaptureIndex")).toInt());
        cycles.insert(cam.value(QStringLiteral("lastProductCycleIndex")).toInt());
    }
    for (int c : captures)
        EXPECT_TRUE(c >= 1 && c <= 3) << c;
    for (int c : cycles)
        EXPECT_TRUE(c >= 1 && c <= 2) << c;
    EXPECT_GT(captures.size(), 1);  // not stuck at one capture per product

    // A time limit alone ends the run.
    r = run(QStringLiteral("grab"), {QStringLiteral("--seconds"), QStringLiteral("1.5"), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("stopReason")).toString(), QStringLiteral("time"));
    EXPECT_GT(cameraOf(r.json(), kMono).value(QStringLiteral("frames")).toInt(), 10);
}

TEST_F(HostTest, SettingsRoundTripThroughFiles)
{
    const QString first = path(QStringLiteral("first.json"));
    HostRun r = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("2"), QStringLiteral("--save-settings"), first});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject saved = readJson(first);
    QJsonObject cameras = saved.value(QStringLiteral("cameras")).toObject();
    ASSERT_TRUE(cameras.value(kColour).toObject().value(QStringLiteral("paramsWrap")).isArray());
    ASSERT_TRUE(cameras.value(kMono).toObject().value(QStringLiteral("paramsWrap")).isArray());

    // Turn colour output on for the colour camera only, as a user editing the file would.
    const int colour = paramIndex(kColour, QStringLiteral("彩色图像"));
    ASSERT_GE(colour, 0);
    QJsonObject cam = cameras.value(kColour).toObject();
    QJsonArray wrap = cam.value(QStringLiteral("paramsWrap")).toArray();
    ASSERT_LT(colour, wrap.size());
    QJsonObject entry = wrap.at(colour).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("values")).toArray(), QJsonArray{false});
    entry.insert(QStringLiteral("values"), QJsonArray{true});
    wrap.replace(colour, entry);
    cam.insert(QStringLiteral("paramsWrap"), wrap);
    cameras.insert(kColour, cam);
    saved.insert(QStringLiteral("cameras"), cameras);
    const QString edited = write(QStringLiteral("edited.json"), QJsonDocument(saved).toJson());

    const QString second = path(QStringLiteral("second.json"));
    const QString out = path(QStringLiteral("colour"));
    r = run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("2"), QStringLiteral("--settings"), edited,
                                     QStringLiteral("--save-settings"), second, QStringLiteral("--save-dir"), out,
                                     QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cameraOf(r.json(), kColour).value(QStringLiteral("channels")).toInt(), 3);
    EXPECT_EQ(cameraOf(r.json(), kMono).value(QStringLiteral("channels")).toInt(), 1);
    const cv::Mat png = cv::imread(QDir(out).filePath(kColour + QStringLiteral("_000001.png")).toStdString(),
                                   cv::IMREAD_UNCHANGED);
    EXPECT_EQ(png.channels(), 3);
    EXPECT_EQ(readJson(second), saved);

    // One camera's own object ({"paramsWrap": ...}) applies to every camera.
    const QString single = write(QStringLiteral("single.json"), QJsonDocument(cam).toJson());
    r = run(QStringLiteral("grab"), {QStringLiteral("--camera"), kColour, QStringLiteral("--frames"), QStringLiteral("1"),
                                     QStringLiteral("--settings"), single, QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cameraOf(r.json(), kColour).value(QStringLiteral("channels")).toInt(), 3);
}

TEST_F(HostTest, SettingsOfThreeExposureConfigurationsLoadWithTheirCount)
{
    const QString first = path(QStringLiteral("one.json"));
    HostRun r = run(QStringLiteral("grab"), {QStringLiteral("--camera"), kMono, QStringLiteral("--frames"), QStringLiteral("1"),
                                             QStringLiteral("--save-settings"), first});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const int gain = paramIndex(kMono, QStringLiteral("模拟增益"));
    // The exposure times follow the choice of configuration.
    const int firstTime = paramIndex(kMono, QStringLiteral("当前曝光配置")) + 1;
    ASSERT_GT(gain, firstTime);
    QJsonObject cam = readJson(first).value(QStringLiteral("cameras")).toObject().value(kMono).toObject();
    QJsonArray wrap = cam.value(QStringLiteral("paramsWrap")).toArray();
    ASSERT_EQ(wrap.size(), 22);
    // Settings as a camera with three configurations saves them.
    QJsonObject g = wrap.at(gain).toObject();
    g.insert(QStringLiteral("values"), 8);
    wrap.replace(gain, g);
    for (int i = 2; i <= 3; ++i)
        wrap.insert(firstTime + i - 1, QJsonObject{{QStringLiteral("isRunningShow"), false}, {QStringLiteral("values"), double(i)}});
    cam.insert(QStringLiteral("paramsWrap"), wrap);
    const QString three = write(QStringLiteral("three.json"), QJsonDocument(cam).toJson());

    // Configuration 3 exists only with the file's count, and every value stays in its place.
    const QString back = path(QStringLiteral("back.json"));
    r = run(QStringLiteral("grab"), {QStringLiteral("--camera"), kMono, QStringLiteral("--frames"), QStringLiteral("1"),
                                     QStringLiteral("--settings"), three, QStringLiteral("--exposure"), QStringLiteral("2"),
                                     QStringLiteral("--save-settings"), back});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray saved =
        readJson(back).value(QStringLiteral("cameras")).toObject().value(kMono).toObject().value(QStringLiteral("paramsWrap")).toArray();
    ASSERT_EQ(saved.size(), 24);
    EXPECT_EQ(saved.at(gain + 2).toObject().value(QStringLiteral("values")).toInt(), 8);
    EXPECT_EQ(saved.at(firstTime + 2).toObject().value(QStringLiteral("values")).toDouble(), 3.0);
    // params shows the list the file makes.
    r = run(QStringLiteral("params"), {kMono, QStringLiteral("--settings"), three, QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("params")).toArray().size(), 24);

    // A shape that matches no count is refused before any camera opens.
    wrap.removeAt(gain + 2);
    cam.insert(QStringLiteral("paramsWrap"), wrap);
    const QString shifted = write(QStringLiteral("shifted.json"), QJsonDocument(cam).toJson());
    for (const QString &command : {QStringLiteral("grab"), QStringLiteral("params")})
        expectFailure(run(command, {QStringLiteral("--settings"), shifted}), 5,
                      QStringLiteral("settings file %1: \"paramsWrap\" entry %2 holds a single value where a camera with 2 "
                                     "exposure configuration(s) (23 entries) has a choice")
                          .arg(shifted)
                          .arg(firstTime + 3));
}

TEST_F(HostTest, BadInputEndsWithOneLineAndItsStatus)
{
    // The parser's reasons are tested in host_options; these show that they
    // reach stderr as one line with status 2, Qt's wording and the host's.
    expectFailure(runHost({}), 2, QStringLiteral("no command"));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--bogus")}), 2, QStringLiteral("bogus"));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--frames"), QStringLiteral("ten")}), 2, QStringLiteral("\"ten\""));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--exposure"), QStringLiteral("5"), QStringLiteral("--frames"), QStringLiteral("1")}),
                  2, QStringLiteral("no such exposure configuration"));
    expectFailure(runHost({QStringLiteral("list"), QStringLiteral("--sim-config"), path(QStringLiteral("absent.json"))}), 2,
                  QStringLiteral("cannot read simulator configuration"));

    // The plug-in missing, or a file of that name that is no plug-in.
    expectFailure(run(QStringLiteral("info"), {QStringLiteral("--plugin-dir"), path(QStringLiteral("nowhere"))}), 3,
                  QStringLiteral("no plug-in libVandrel.so"));
    QDir(dir.path()).mkdir(QStringLiteral("fake"));
    write(QStringLiteral("fake/libVandrel.so"), "not a library");
    expectFailure(run(QStringLiteral("list"), {QStringLiteral("--plugin-dir"), path(QStringLiteral("fake"))}), 3,
                  QStringLiteral("not a Qt plug-in"));

    // No camera of the family, or not the one asked for.
    const QString otherFamily = write(QStringLiteral("other.json"),
                                      R"({"devices":[{"productName":"VD-AC1300","serialNumber":"VDACTEST0003"}]})");
    for (const QString &command : {QStringLiteral("list"), QStringLiteral("grab"), QStringLiteral("params")})
        expectFailure(runHost({command, QStringLiteral("--sim-config"), otherFamily}), 4,
                      QStringLiteral("no VD-XG camera found (the SDK reports 1 device(s))"));
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--camera"), QStringLiteral("VDXGNOSUCH99")}), 4,
                  QStringLiteral("no camera VDXGNOSUCH99"));
    expectFailure(run(QStringLiteral("params"), {QStringLiteral("VDXGNOSUCH99")}), 4, QStringLiteral("no camera VDXGNOSUCH99"));

    // Settings that cannot be used.
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--settings"), path(QStringLiteral("absent.json"))}), 5,
                  QStringLiteral("cannot read settings file"));
    const QString broken = write(QStringLiteral("broken.json"), "{\"paramsWrap\": [");
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--settings"), broken}), 5, QStringLiteral("not valid JSON"));
    const QString shapeless = write(QStringLiteral("shapeless.json"), "{\"exposure\": 3}");
    expectFailure(run(QStringLiteral("grab"), {QStringLiteral("--settings"), shapeless}), 5,
                  QStringLiteral("neither \"paramsWrap\" nor \"cameras\""));
}

TEST_F(HostTest, InterruptStopsCleanlyWithASummary)
{
    QProcess p;
    p.setProgram(QStringLiteral(VANDREL_HOST_EXE));
    p.setArguments({QStringLiteral("grab"), QStringLiteral("--sim-config"), simConfig, QStringLiteral("--seconds"),
                    QStringLiteral("60"), QStringLiteral("--json")});
    p.start();
    ASSERT_TRUE(p.waitForStarted(10000));
    // Progress lines go to stderr with --json; the first means frames are flowing.
    QByteArray err;
    QDeadlineTimer deadline(30000);
    while (!err.contains(" frames ") && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(200);
        err += p.readAllStandardError();
    }
    ASSERT_TRUE(err.contains(" frames ")) << err.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
    const QJsonObject summary = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    EXPECT_EQ(summary.value(QStringLiteral("stopReason")).toString(), QStringLiteral("interrupted"));
    EXPECT_GT(cameraOf(summary, kColour).value(QStringLiteral("frames")).toInt(), 0);
}

// The README's first command, as a new user runs it in the checkout.
TEST(HostReadme, DemoGrabOfTheBuiltInCameras)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const HostRun r = runHost({QStringLiteral("grab"), QStringLiteral("--frames"), QStringLiteral("20"),
                               QStringLiteral("--save-dir"), QStringLiteral("out")},
                              120000, dir.path());
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Contact sheet: out/contact-sheet.png"))) << r.out.toStdString();
    const QString out = QDir(dir.path()).filePath(QStringLiteral("out"));
    EXPECT_EQ(countFiles(out, QStringLiteral("VDXG4K0C0001_*.png")), 20);
    EXPECT_EQ(countFiles(out, QStringLiteral("VDXG8K0M0002_*.png")), 20);
    const cv::Mat sheet = cv::imread(QDir(out).filePath(QStringLiteral("contact-sheet.png")).toStdString());
    EXPECT_FALSE(sheet.empty());
}

} // namespace
