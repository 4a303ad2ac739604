// vandrel-viewer run as a person or CI runs it: the screenshot, and a clear
// one-line reason and exit status for what cannot work.

#include "screenshotcheck.h"
#include "population.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ViewerRun
{
    bool finished = false;
    int exitCode = -1;
    QString err;
    // The program's own line of reason on stderr; empty unless there is exactly one.
    QString lastErrLine() const
    {
        const QStringList lines =
            err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QRegularExpression(QStringLiteral("^vandrel-viewer: ")));
        return lines.size() == 1 ? lines.first() : QString();
    }
};

ViewerRun runViewer(const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // In a sanitizer build: Qt's offscreen platform leaks its screen, which
    // only a full stack shows to be Qt's.
    auto append = [&env](const QString &key, const QString &option) {
        const QString before = env.value(key);
        env.insert(key, before.isEmpty() ? option : before + QLatin1Char(':') + option);
    };
    append(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" VANDREL_LSAN_SUPPRESSIONS));
    append(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("fast_unwind_on_malloc=0"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VANDREL_VIEWER_EXE), args);
    ViewerRun r;
    if (!p.waitForStarted(10000))
        return r;
    r.finished = p.waitForFinished(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

// Two VD-XG cameras at 50 frames/s; `trigger` 1 leaves them waiting for triggers.
QByteArray population(int trigger)
{
    return Population()
        .add("VD-XG2K-C", "CLICOLOUR001", [trigger](Population::Device &d) {
            d.sensorWidth = 1024;
            d.sensorHeight = 2048;
            d.frameHeight = 256;
            d.frameRate = 50;
            d.triggerMode = trigger;
        })
        .add("VD-XG2K-M", "CLIMONO00002", [trigger](Population::Device &d) {
            d.sensorWidth = 2048;
            d.sensorHeight = 2048;
            d.frameHeight = 256;
            d.mono = true;
            d.frameRate = 50;
            d.triggerMode = trigger;
        })
        .json();
}

class ViewerCli : public ::testing::Test
{
protected:
    QTemporaryDir dir;
};

} // namespace

TEST_F(ViewerCli, ScreenshotOnceEveryCameraHasShownItsFrames)
{
    const QString sim = writeFile(dir, QStringLiteral("sim.json"), population(0));
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    const ViewerRun r = runViewer({QStringLiteral("--sim-config"), sim, QStringLiteral("--camera"), QStringLiteral("CLICOLOUR001"),
                             QStringLiteral("--camera"), QStringLiteral("CLIMONO00002"), QStringLiteral("--screenshot"),
                             shot, QStringLiteral("--after-frames"), QStringLiteral("5")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage img(shot);
    // The window fits the offscreen platform's screen of 800 x 600.
    EXPECT_EQ(img.size(), QSize(800, 600));
    EXPECT_EQ(screenshotProblem(img, QSize(800, 600)), QString());

    // The check itself: a window without a live picture does not pass.
    QImage blank(img.size(), QImage::Format_RGB32);
    blank.fill(QColor(0xef, 0xef, 0xef));
    EXPECT_NE(screenshotProblem(blank, QSize(800, 600)), QString());
    // The same window with its pictures flattened into bands of 32 grey levels.
    QImage noFrame = img.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < noFrame.height(); ++y)
        for (int x = 0; x < noFrame.width(); ++x) {
            const QRgb c = noFrame.pixel(x, y);
            noFrame.setPixel(x, y, qRgb(qRed(c) & 0xe0, qGreen(c) & 0xe0, qBlue(c) & 0xe0));
        }
    EXPECT_NE(screenshotProblem(noFrame, QSize(800, 600)), QString());
    EXPECT_NE(screenshotProblem(img, QSize(img.width() + 1, 600)), QString());
}

TEST_F(ViewerCli, AScreenshotOfTheDrawnScenesShowsALiveFrame)
{
    const QByteArray json = Population()
                                .add("VD-XG2K-C", "CLICOLOUR001", [&](Population::Device &d) {
                                    d.sensorWidth = 1024;
                                    d.frameHeight = 256;
                                    d.frameRate = 50;
                                    d.scene = "printed-sheet";
                                })
                                .add("VD-XG2K-M", "CLIMONO00002", [&](Population::Device &d) {
                                    d.sensorWidth = 2048;
                                    d.frameHeight = 256;
                                    d.mono = true;
                                    d.frameRate = 50;
                                    d.scene = "fabric";
                                    d.speed = 0.5;
                                    d.noise = 2;
                                })
                                .json();
    const QString sim = writeFile(dir, QStringLiteral("sim.json"), json);
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    const ViewerRun r = runViewer({QStringLiteral("--sim-config"), sim, QStringLiteral("--camera"), QStringLiteral("CLICOLOUR001"),
                             QStringLiteral("--camera"), QStringLiteral("CLIMONO00002"), QStringLiteral("--strip"),
                             QStringLiteral("--screenshot"), shot, QStringLiteral("--after-frames"), QStringLiteral("5")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("configuration"))) << r.err.toStdString();
    // The window fits the offscreen platform's screen of 800 x 600.
    EXPECT_EQ(screenshotProblem(QImage(shot), QSize(800, 600)), QString());
}

TEST_F(ViewerCli, NoFrameBeforeTheDeadlineEndsWithOneLineAndStatusOne)
{
    const QString sim = writeFile(dir, QStringLiteral("sim.json"), population(1));
    const ViewerRun r = runViewer({QStringLiteral("--sim-config"), sim, QStringLiteral("--camera"), QStringLiteral("CLIMONO00002"),
                             QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("shot.png")),
                             QStringLiteral("--deadline"), QStringLiteral("1.5")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: no screenshot: within 1.5 s, CLIMONO00002 "
                                              "(0 of 3 frames shown, 0 received)"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("shot.png"))));
}

TEST_F(ViewerCli, WhatCannotWorkGetsItsReasonAndStatus)
{
    const QString sim = writeFile(dir, QStringLiteral("sim.json"), population(0));
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    const QStringList base = {QStringLiteral("--sim-config"), sim, QStringLiteral("--screenshot"), shot};

    ViewerRun r = runViewer(base + QStringList{QStringLiteral("--plugin-dir"), dir.filePath(QStringLiteral("nowhere")),
                                         QStringLiteral("--camera"), QStringLiteral("CLIMONO00002")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.lastErrLine().startsWith(QStringLiteral("vandrel-viewer: no plug-in libVandrel.so in ")))
        << r.err.toStdString();

    const QString bad = writeFile(dir, QStringLiteral("bad.json"), "{\"cameras\": 7}");
    r = runViewer(base + QStringList{QStringLiteral("--settings"), bad, QStringLiteral("--camera"), QStringLiteral("CLIMONO00002")});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: settings file %1 holds neither \"paramsWrap\" nor \"cameras\"").arg(bad));

    r = runViewer(base + QStringList{QStringLiteral("--camera"), QStringLiteral("NOSUCHCAMERA")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.lastErrLine(),
              QStringLiteral("vandrel-viewer: no camera NOSUCHCAMERA (cameras: CLICOLOUR001, CLIMONO00002)"));

    r = runViewer(base);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: no camera is open: nothing to take a screenshot of"));

    // A recording whose frames folder is gone: no cameras stand in for it.
    const QString broken = writeFile(dir, QStringLiteral("broken.json"),
                                     R"({"devices": [{"serialNumber": "CLIMONO00002", "frames": "gone"}]})");
    r = runViewer({QStringLiteral("--sim-config"), broken, QStringLiteral("--screenshot"), shot, QStringLiteral("--camera"),
                   QStringLiteral("CLIMONO00002")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: simulator configuration %1 unusable: device 0: %2: no such directory")
                                   .arg(broken, dir.filePath(QStringLiteral("gone"))));

    r = runViewer({QStringLiteral("--after-frames"), QStringLiteral("0"), QStringLiteral("--screenshot"), shot});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: --after-frames needs a whole number of at least 1, not \"0\""));
    EXPECT_FALSE(QFile::exists(shot));

    // The link options read seconds as vandrel-host's do.
    for (const char *option : {"--retry-interval", "--stall-after"}) {
        r = runViewer({QLatin1String(option), QStringLiteral("-1"), QStringLiteral("--screenshot"), shot});
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_EQ(r.lastErrLine(), QStringLiteral("vandrel-viewer: %1 needs a number of seconds of 0 or more, not \"-1\"")
                                       .arg(QLatin1String(option)));
    }
    EXPECT_FALSE(QFile::exists(shot));
}

TEST_F(ViewerCli, AScreenshotDoesNotWaitForACameraThatLostItsLink)
{
    QJsonObject config = QJsonDocument::fromJson(population(0)).object();
    config.insert(QStringLiteral("events"),
                  QJsonDocument::fromJson(R"([{"atMs": 300, "serialNumber": "CLICOLOUR001", "event": "linkLost",
                                               "powerLost": false}])")
                      .array());
    const QString sim = writeFile(dir, QStringLiteral("loss.json"), QJsonDocument(config).toJson());
    const QString shot = dir.filePath(QStringLiteral("lost.png"));
    // The colour camera is lost after about 15 frames; the mono one shows 60.
    const ViewerRun r = runViewer({QStringLiteral("--sim-config"), sim, QStringLiteral("--camera"),
                                   QStringLiteral("CLICOLOUR001"), QStringLiteral("--camera"), QStringLiteral("CLIMONO00002"),
                                   QStringLiteral("--retry-interval"), QStringLiteral("30"), QStringLiteral("--screenshot"),
                                   shot, QStringLiteral("--after-frames"), QStringLiteral("60"), QStringLiteral("--deadline"),
                                   QStringLiteral("20")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("camera CLICOLOUR001 lost"))) << r.err.toStdString();
    EXPECT_FALSE(QImage(shot).isNull());
}

TEST_F(ViewerCli, HelpAndVersionNeedNoDisplayAndWithoutOneTheViewerSaysSo)
{
    auto run = [](const QStringList &args, QString &out, QString &err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" VANDREL_LSAN_SUPPRESSIONS));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VANDREL_VIEWER_EXE), args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QString out, err;
    EXPECT_EQ(run({QStringLiteral("--help")}, out, err), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("Usage: "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("--check-layout"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("--retry-interval <S>"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("--stall-after <S>"))) << out.toStdString();
    EXPECT_EQ(run({QStringLiteral("--version")}, out, err), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("vandrel-viewer "))) << out.toStdString();
    EXPECT_EQ(run({QStringLiteral("--no-such-option")}, out, err), 2) << err.toStdString();
    EXPECT_EQ(run({}, out, err), 1);
    EXPECT_TRUE(err.startsWith(QStringLiteral("vandrel-viewer: no display to show the window on"))) << err.toStdString();
}
