// vandrel-host end to end, against the simulated cameras.

#include "hostrunner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
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
}

TEST_F(HostTest, ListShowsTheFamilysCamerasAndTheDeviceCount)
{
    const HostRun r = run(QStringLiteral("list"), {QStringLiteral("--json")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject j = r.json();
    EXPECT_EQ(j.value(QStringLiteral("deviceCount")).toInt(), 3);
    EXPECT_EQ(j.value(QStringLiteral("cameras")).toArray(), (QJsonArray{kColour, kMono}));

    const HostRun text = run(QStringLiteral("list"));
    EXPECT_TRUE(text.out.contains(QStringLiteral("SDK devices: 3")));
    EXPECT_TRUE(text.out.contains(kColour) && text.out.contains(kMono));
    EXPECT_FALSE(text.out.contains(QStringLiteral("VDACTEST0003")));

    // Without --sim-config: the simulator's own cameras.
    const QJsonObject builtIn = runHost({QStringLiteral("list"), QStringLiteral("--json")}).json();
    EXPECT_EQ(builtIn.value(QStringLiteral("deviceCount")).toInt(), 3);
    EXPECT_EQ(builtIn.value(QStringLiteral("cameras")).toArray().size(), 2);
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
        int widthMax = -1;
        for (const QJsonValue &v : params) {
            const QJsonObject p = v.toObject();
            kinds.insert(p.value(QStringLiteral("kind")).toString());
            if (p.value(QStringLiteral("label")).toString() == QStringLiteral("图像的宽度"))
                widthMax = p.value(QStringLiteral("max")).toInt();
        }
        EXPECT_EQ(kinds, (QSet<QString>{QStringLiteral("SeparateParam"), QStringLiteral("LineEditCameraParam"),
                                        QStringLiteral("CheckBoxParam"), QStringLiteral("ComboBoxParam")}));
        // The range comes from the camera that was opened, not a default.
        EXPECT_EQ(widthMax, serial == kColour ? 512 : 640) << serial.toStdString();
    }

    const HostRun table = run(QStringLiteral("params"));
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_TRUE(table.out.contains(QStringLiteral("Camera %1:").arg(kColour)));
    EXPECT_TRUE(table.out.contains(QStringLiteral("KIND")) && table.out.contains(QStringLiteral("DESCRIPTION")));
    EXPECT_TRUE(table.out.contains(QStringLiteral("0 .. 512 step")));
    EXPECT_TRUE(table.out.contains(QStringLiteral("曝光时间1")));
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
