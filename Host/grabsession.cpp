#include "grabsession.h"

#include "camerasignals.h"
#include "exitstatus.h"
#include "settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>
#include <QRunnable>
#include <QThreadPool>

#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

namespace {

constexpr int kSheetFrames = 6;
constexpr qint64 kWindowMs = 2000;
// Pixels waiting for the PNG writers; beyond this a frame is not saved rather
// than held in memory while the cameras keep delivering.
constexpr qint64 kMaxPendingBytes = qint64(768) << 20;

QString megabytes(double bytesPerSecond)
{
    return QString::number(bytesPerSecond / 1e6, 'f', 1);
}

} // namespace

CameraChannel::CameraChannel(GrabSession *s, CameraInterface *c, const QString &sn, int i)
    : session(s), cameraObject(c), camera(c), serial(sn), index(i)
{
}

double CameraChannel::liveFps(qint64 nowMs) const
{
    if (window.size() < 2 || nowMs - window.back().first > kWindowMs)
        return 0.0;
    const qint64 span = window.back().first - window.front().first;
    return span > 0 ? double(window.size() - 1) * 1000.0 / double(span) : 0.0;
}

double CameraChannel::liveMBps(qint64 nowMs) const
{
    if (window.size() < 2 || nowMs - window.back().first > kWindowMs)
        return 0.0;
    const qint64 span = window.back().first - window.front().first;
    qint64 sum = 0;
    for (auto it = std::next(window.begin()); it != window.end(); ++it)
        sum += it->second;
    return span > 0 ? double(sum) * 1000.0 / double(span) : 0.0;
}

double CameraChannel::meanFps() const
{
    return frames >= 2 && lastMs > firstMs ? double(frames - 1) * 1000.0 / double(lastMs - firstMs) : 0.0;
}

double CameraChannel::meanMBps() const
{
    return frames >= 2 && lastMs > firstMs ? double(bytes) * (frames - 1) / frames * 1000.0 / double(lastMs - firstMs)
                                           : 0.0;
}

void CameraChannel::onCapture(ImageProcessData data)
{
    session->frameArrived(this, data);
}

void CameraChannel::onLoss()
{
    if (!session->acceptsFrames())
        return;
    ++losses;
    linkUp = false;
    events.append({session->elapsedMs(), QStringLiteral("CameraLoss")});
    session->printEvent(this, QStringLiteral("CameraLoss: link lost"));
}

void CameraChannel::onReconnect()
{
    if (!session->acceptsFrames())
        return;
    ++reconnects;
    linkUp = true;
    events.append({session->elapsedMs(), QStringLiteral("CameraReconnect")});
    session->printEvent(this, QStringLiteral("CameraReconnect: camera open again"));
}

GrabSession::GrabSession(CameraInterface *p, const GrabOptions &o, QTextStream &human)
    : plugin(p), opts(o), out(human), terminal(false)
{
    if (QFile *f = qobject_cast<QFile *>(human.device()))
        terminal = isatty(f->handle()) != 0;
    ticker.setInterval(100);
    connect(&ticker, &QTimer::timeout, this, &GrabSession::tick);
}

GrabSession::~GrabSession()
{
    tearDown();
}

int GrabSession::setUp()
{
    if (!opts.saveDir.isEmpty() && !QDir().mkpath(opts.saveDir)) {
        failure = QStringLiteral("cannot create directory %1").arg(opts.saveDir);
        return ExitFailure;
    }
    for (int i = 0; i < opts.serials.size(); ++i) {
        const QString serial = opts.serials.at(i);
        CameraInterface *cam = plugin->createCamera(i, serial, 0);
        if (!cam) {
            failure = QStringLiteral("the plug-in created no camera for %1").arg(serial);
            return ExitNoCamera;
        }
        channels.push_back(std::make_unique<CameraChannel>(this, cam, serial, i));
        if (cam->cameraSerial() == QLatin1String("-1")) {
            failure = QStringLiteral("camera %1 could not be opened").arg(serial);
            return ExitNoCamera;
        }
    }
    for (auto &ch : channels) {
        CameraInterface *cam = ch->camera;
        cam->load(opts.settings.value(ch->serial));
        if (opts.exposure >= 0) {
            const int status = cam->selectExposure(opts.exposure);
            if (status == -1) {
                failure = QStringLiteral("--exposure %1: camera %2 has no such exposure configuration")
                              .arg(opts.exposure)
                              .arg(ch->serial);
                return ExitBadOptions;
            }
            if (status != 0) {
                failure = QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                              .arg(ch->serial)
                              .arg(opts.exposure)
                              .arg(status);
                return ExitFailure;
            }
        }
        if (opts.setTrigger) {
            CameraTrigParams trig;
            trig.trigKind = 1;  // host-counted; 32 would freeze numbers to soft triggers
            trig.capturesPerProduct = opts.capturesPerProduct;
            trig.productsPerCycle = opts.productsPerCycle;
            trig.cycleTimeout = opts.cycleTimeout;
            cam->setTrigParams(&trig);
        }
    }
    CameraSlots wiring;
    wiring.frame = "onCapture(ImageProcessData)";
    wiring.loss = "onLoss()";
    wiring.reconnect = "onReconnect()";
    for (auto &ch : channels) {
        QString why;
        if (!connectCamera(ch->camera, ch.get(), wiring, why)) {
            failure = QStringLiteral("cannot connect to the signals of camera %1: %2").arg(ch->serial, why);
            return ExitFailure;
        }
    }
    clock.start();
    running = true;
    if (!opts.preview) {
        for (auto &ch : channels) {
            // The frame thread reads the flag under this mutex.
            QMutexLocker lock(ch->camera->frameMutex());
            ch->camera->isRunning = true;
        }
    }
    return ExitOk;
}

int GrabSession::run()
{
    int status = setUp();
    if (status != ExitOk) {
        tearDown();
        return status;
    }
    QEventLoop loop;
    connect(this, &GrabSession::stopped, &loop, &QEventLoop::quit);
    if (opts.seconds > 0)
        QTimer::singleShot(int(opts.seconds * 1000.0), Qt::PreciseTimer, this,
                           [this] { requestStop(QStringLiteral("time")); });
    ticker.start();
    drawProgress(false);
    loop.exec();
    ticker.stop();
    runMs = clock.elapsed();
    drawProgress(true);
    tearDown();
    // Log lines of the teardown, queued to this object, come before the report.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    // Every frame handed to the writers is on disk before the report.
    QThreadPool::globalInstance()->waitForDone();
    writeContactSheet();
    printSummary();

    if (!failure.isEmpty())
        return ExitFailure;
    if (stopReason == QLatin1String("interrupted"))
        return 130;
    for (auto &ch : channels) {
        if (ch->frames == 0) {
            failure = QStringLiteral("camera %1 delivered no frame").arg(ch->serial);
            return ExitFailure;
        }
        if (*ch->saveFailures > 0) {
            failure = QStringLiteral("%1 frame(s) of camera %2 could not be written to %3")
                          .arg(int(*ch->saveFailures))
                          .arg(ch->serial, opts.saveDir);
            return ExitFailure;
        }
    }
    return ExitOk;
}

void GrabSession::tearDown()
{
    running = false;
    if (channels.empty())
        return;
    QMap<QString, QJsonObject> perCamera;
    for (auto &ch : channels) {
        if (!ch->cameraObject)
            continue;
        {
            QMutexLocker lock(ch->camera->frameMutex());
            ch->camera->isRunning = false;
        }
        if (!opts.saveSettings.isEmpty() && ch->camera->cameraSerial() != QLatin1String("-1")) {
            QJsonObject settings;
            ch->camera->save(settings);
            perCamera.insert(ch->serial, settings);
        }
    }
    // Cameras before anything else they may call back into.
    for (auto &ch : channels) {
        if (ch->cameraObject) {
            disconnectCamera(ch->cameraObject, ch.get());
            delete ch->camera;
        }
        ch->camera = nullptr;
    }
    if (!opts.saveSettings.isEmpty() && !perCamera.isEmpty()) {
        QString why;
        if (!writeSettingsFile(opts.saveSettings, perCamera, why))
            failure = why;
    }
    opts.saveSettings.clear();  // written once, also when torn down early
}

void GrabSession::requestStop(const QString &reason)
{
    if (!running)
        return;
    running = false;
    stopReason = reason;
    emit stopped();
}

void GrabSession::frameArrived(CameraChannel *ch, const ImageProcessData &data)
{
    if (!running || (opts.frames > 0 && ch->frames >= opts.frames))
        return;
    const qint64 now = clock.elapsed();
    const cv::Mat &img = data.image;
    const qint64 size = qint64(img.total() * img.elemSize());
    ++ch->frames;
    ch->bytes += size;
    if (ch->firstMs < 0)
        ch->firstMs = now;
    ch->lastMs = now;
    ch->width = img.cols;
    ch->height = img.rows;
    ch->channels = img.channels();
    ch->lastProduct = data.productID;
    ch->lastCapture = data.captureIndex;
    ch->lastCycle = data.productCycleIndex;
    ch->linkUp = true;
    ch->window.emplace_back(now, size);
    while (ch->window.size() > 2 && now - ch->window.front().first > kWindowMs)
        ch->window.pop_front();

    SheetFrame kept{img, ch->frames, data.productID, data.captureIndex, data.productCycleIndex};
    ch->recent.append(kept);
    if (ch->recent.size() > kSheetFrames)
        ch->recent.removeFirst();

    if (!opts.saveDir.isEmpty() && (ch->frames - 1) % opts.every == 0) {
        if (*pendingSaves + size > kMaxPendingBytes) {
            ++ch->savesSkipped;
        } else {
            const std::string path =
                QDir(opts.saveDir)
                    .absoluteFilePath(QStringLiteral("%1_%2.png").arg(ch->serial).arg(ch->frames, 6, 10, QLatin1Char('0')))
                    .toStdString();
            *pendingSaves += size;
            auto pending = pendingSaves;
            auto saved = ch->saved;
            auto failed = ch->saveFailures;
            QThreadPool::globalInstance()->start(QRunnable::create([img, size, path, pending, saved, failed] {
                bool ok = false;
                try {
                    const cv::Mat bgr = toBgr(img);
                    // Fast compression: the writers have to keep up with the cameras.
                    ok = !bgr.empty() && cv::imwrite(path, bgr, {cv::IMWRITE_PNG_COMPRESSION, 1});
                } catch (const std::exception &) {
                    ok = false;
                }
                ++*(ok ? saved : failed);
                *pending -= size;
            }));
        }
    }
    if (opts.frames > 0) {
        bool all = true;
        for (auto &c : channels)
            all = all && c->frames >= opts.frames;
        if (all)
            requestStop(QStringLiteral("frames"));
    }
}

void GrabSession::printEvent(CameraChannel *ch, const QString &what)
{
    clearProgress();
    out << QStringLiteral("[%1 +%2 s] %3 %4")
               .arg(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")))
               .arg(double(elapsedMs()) / 1000.0, 0, 'f', 3)
               .arg(ch->serial, what)
        << '\n';
    out.flush();
    drawProgress(false);
}

void GrabSession::printLog(const QString &line)
{
    clearProgress();
    QTextStream err(stderr);
    err.setCodec("UTF-8");
    err << line << '\n';
    err.flush();
    drawProgress(false);
}

void GrabSession::tick()
{
    const qint64 now = clock.elapsed();
    if (terminal) {
        drawProgress(false);
    } else if (now - lastPlainMs >= 1000) {
        lastPlainMs = now;
        for (auto &ch : channels)
            out << QStringLiteral("%1 s ").arg(double(now) / 1000.0, 6, 'f', 1) << progressText(ch.get(), now) << '\n';
        out.flush();
    }
}

QString GrabSession::progressText(const CameraChannel *c, qint64 nowMs) const
{
    return QStringLiteral("%1  frames %2  %3 fps  %4 MB/s  last product %5 capture %6 cycle %7  link %8")
        .arg(c->serial)
        .arg(c->frames, 6)
        .arg(c->liveFps(nowMs), 5, 'f', 1)
        .arg(megabytes(c->liveMBps(nowMs)), 6)
        .arg(c->lastProduct)
        .arg(c->lastCapture)
        .arg(c->lastCycle)
        .arg(c->linkUp ? QStringLiteral("up") : QStringLiteral("LOST"));
}

void GrabSession::clearProgress()
{
    if (!terminal || progressLines == 0)
        return;
    out << QStringLiteral("\x1b[%1A").arg(progressLines);
    for (int i = 0; i < progressLines; ++i)
        out << "\x1b[2K\n";
    out << QStringLiteral("\x1b[%1A").arg(progressLines);
    out.flush();
    progressLines = 0;
}

void GrabSession::drawProgress(bool final)
{
    if (!terminal || progressDone)
        return;
    clearProgress();
    if (final) {
        progressDone = true;
        return;
    }
    const qint64 now = clock.elapsed();
    for (auto &ch : channels)
        out << progressText(ch.get(), now) << '\n';
    progressLines = int(channels.size());
    out.flush();
}

void GrabSession::writeContactSheet()
{
    if (opts.saveDir.isEmpty())
        return;
    QVector<SheetColumn> columns;
    for (auto &ch : channels) {
        SheetColumn col;
        col.title = QStringLiteral("%1  %2x%3x%4").arg(ch->serial).arg(ch->width).arg(ch->height).arg(ch->channels);
        col.frames = ch->recent;
        columns.append(col);
    }
    try {
        const cv::Mat sheet = buildContactSheet(columns);
        if (sheet.empty())
            return;
        const QString path = QDir(opts.saveDir).absoluteFilePath(QStringLiteral("contact-sheet.png"));
        if (cv::imwrite(path.toStdString(), sheet))
            contactSheetPath = path;
        else
            failure = QStringLiteral("cannot write %1").arg(path);
    } catch (const std::exception &e) {
        failure = QStringLiteral("contact sheet failed: %1").arg(QString::fromLocal8Bit(e.what()));
    }
}

void GrabSession::printSummary()
{
    if (opts.json) {
        QJsonObject root;
        root.insert(QStringLiteral("stopReason"), stopReason);
        root.insert(QStringLiteral("seconds"), double(runMs) / 1000.0);
        root.insert(QStringLiteral("preview"), opts.preview);
        QJsonArray cams;
        for (auto &ch : channels) {
            QJsonObject c;
            c.insert(QStringLiteral("serial"), ch->serial);
            c.insert(QStringLiteral("frames"), ch->frames);
            c.insert(QStringLiteral("width"), ch->width);
            c.insert(QStringLiteral("height"), ch->height);
            c.insert(QStringLiteral("channels"), ch->channels);
            c.insert(QStringLiteral("fps"), ch->meanFps());
            c.insert(QStringLiteral("megabytesPerSecond"), ch->meanMBps() / 1e6);
            c.insert(QStringLiteral("lastProductID"), ch->lastProduct);
            c.insert(QStringLiteral("lastCaptureIndex"), ch->lastCapture);
            c.insert(QStringLiteral("lastProductCycleIndex"), ch->lastCycle);
            c.insert(QStringLiteral("losses"), ch->losses);
            c.insert(QStringLiteral("reconnects"), ch->reconnects);
            c.insert(QStringLiteral("linkUp"), ch->linkUp);
            c.insert(QStringLiteral("savedFrames"), int(*ch->saved));
            c.insert(QStringLiteral("savesSkipped"), ch->savesSkipped);
            QJsonArray events;
            for (const auto &e : ch->events)
                events.append(QJsonObject{{QStringLiteral("event"), e.name}, {QStringLiteral("atMs"), e.atMs}});
            c.insert(QStringLiteral("events"), events);
            cams.append(c);
        }
        root.insert(QStringLiteral("cameras"), cams);
        if (!contactSheetPath.isEmpty())
            root.insert(QStringLiteral("contactSheet"), contactSheetPath);
        if (!failure.isEmpty())
            root.insert(QStringLiteral("error"), failure);
        QTextStream js(stdout);
        js.setCodec("UTF-8");
        js << QJsonDocument(root).toJson(QJsonDocument::Indented);
        js.flush();
        return;
    }
    static const QMap<QString, QString> reasons = {{QStringLiteral("frames"), QStringLiteral("frame count reached")},
                                                   {QStringLiteral("time"), QStringLiteral("time limit reached")},
                                                   {QStringLiteral("interrupted"), QStringLiteral("interrupted")}};
    out << QStringLiteral("Grabbed for %1 s (%2)%3\n")
               .arg(double(runMs) / 1000.0, 0, 'f', 2)
               .arg(reasons.value(stopReason, stopReason))
               .arg(opts.preview ? QStringLiteral(", preview") : QString());
    for (auto &ch : channels) {
        out << QStringLiteral("%1  %2x%3x%4  frames %5  %6 fps  %7 MB/s  last product %8 capture %9 cycle %10")
                   .arg(ch->serial)
                   .arg(ch->width)
                   .arg(ch->height)
                   .arg(ch->channels)
                   .arg(ch->frames)
                   .arg(ch->meanFps(), 0, 'f', 1)
                   .arg(megabytes(ch->meanMBps()))
                   .arg(ch->lastProduct)
                   .arg(ch->lastCapture)
                   .arg(ch->lastCycle)
            << QStringLiteral("  losses %1  reconnects %2  link %3")
                   .arg(ch->losses)
                   .arg(ch->reconnects)
                   .arg(ch->linkUp ? QStringLiteral("up") : QStringLiteral("LOST"));
        if (!opts.saveDir.isEmpty())
            out << QStringLiteral("  saved %1").arg(int(*ch->saved));
        if (ch->savesSkipped > 0)
            out << QStringLiteral(" (skipped %1: writers behind)").arg(ch->savesSkipped);
        out << '\n';
    }
    if (!contactSheetPath.isEmpty())
        out << QStringLiteral("Contact sheet: %1\n").arg(QDir::current().relativeFilePath(contactSheetPath));
    out.flush();
}
