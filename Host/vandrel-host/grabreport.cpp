#include "grabreport.h"

#include <QDir>
#include <QJsonArray>
#include <QMap>

namespace {

QString megabytes(double bytesPerSecond)
{
    return QString::number(bytesPerSecond / 1e6, 'f', 1);
}

QString linkText(LinkState state)
{
    switch (state) {
    case LinkState::Lost:
        return QStringLiteral("LOST");
    case LinkState::Stalled:
        return QStringLiteral("STALLED");
    case LinkState::Open:
        break;
    }
    return QStringLiteral("up");
}

QJsonObject cameraToJson(const CameraSummary &c, bool recording)
{
    const ChannelFigures &f = c.figures;
    QJsonObject o;
    o.insert(QStringLiteral("serial"), c.serial);
    o.insert(QStringLiteral("frames"), f.frames);
    o.insert(QStringLiteral("width"), f.width);
    o.insert(QStringLiteral("height"), f.height);
    o.insert(QStringLiteral("channels"), f.channels);
    o.insert(QStringLiteral("fps"), f.meanFps());
    o.insert(QStringLiteral("megabytesPerSecond"), f.meanBytesPerSecond() / 1e6);
    o.insert(QStringLiteral("lastProductID"), f.lastProduct);
    o.insert(QStringLiteral("lastCaptureIndex"), f.lastCapture);
    o.insert(QStringLiteral("lastProductCycleIndex"), f.lastCycle);
    o.insert(QStringLiteral("losses"), f.losses);
    o.insert(QStringLiteral("stalls"), f.stalls);
    o.insert(QStringLiteral("reconnects"), f.reconnects);
    o.insert(QStringLiteral("linkUp"), f.link == LinkState::Open);
    o.insert(QStringLiteral("link"), linkStateKey(f.link));
    o.insert(QStringLiteral("savedFrames"), c.savedFrames);
    o.insert(QStringLiteral("savesSkipped"), c.savesSkipped);
    if (recording) {
        o.insert(QStringLiteral("recordedFrames"), c.recorded);
        o.insert(QStringLiteral("recordDropped"), c.recordDropped);
        o.insert(QStringLiteral("recordFailed"), c.recordFailed);
    }
    if (c.recordingEnded >= 0)
        o.insert(QStringLiteral("recordingEnded"), c.recordingEnded);
    QJsonArray events;
    for (const ChannelFigures::Event &e : f.events)
        events.append(QJsonObject{{QStringLiteral("event"), e.name},
                                  {QStringLiteral("atMs"), e.atMs},
                                  {QStringLiteral("detail"), e.detail}});
    o.insert(QStringLiteral("events"), events);
    return o;
}

} // namespace

QString progressLine(const QString &serial, const ChannelFigures &f, double fps, double bytesPerSecond)
{
    return QStringLiteral("%1  frames %2  %3 fps  %4 MB/s  last product %5 capture %6 cycle %7  link %8")
        .arg(serial)
        .arg(f.frames, 6)
        .arg(fps, 5, 'f', 1)
        .arg(megabytes(bytesPerSecond), 6)
        .arg(f.lastProduct)
        .arg(f.lastCapture)
        .arg(f.lastCycle)
        .arg(linkText(f.link));
}

QString eventLine(const QDateTime &wallClock, qint64 runMs, const QString &serial, const QString &what)
{
    return QStringLiteral("[%1 +%2 s] %3 %4")
        .arg(wallClock.toString(QStringLiteral("hh:mm:ss.zzz")))
        .arg(double(runMs) / 1000.0, 0, 'f', 3)
        .arg(serial, what);
}

QJsonObject summaryToJson(const GrabSummary &s)
{
    QJsonObject root;
    root.insert(QStringLiteral("stopReason"), s.stopReason);
    root.insert(QStringLiteral("seconds"), double(s.runMs) / 1000.0);
    root.insert(QStringLiteral("preview"), s.preview);
    QJsonArray cameras;
    for (const CameraSummary &c : s.cameras)
        cameras.append(cameraToJson(c, !s.recordDir.isEmpty()));
    root.insert(QStringLiteral("cameras"), cameras);
    if (!s.contactSheet.isEmpty())
        root.insert(QStringLiteral("contactSheet"), s.contactSheet);
    if (!s.recordDir.isEmpty()) {
        root.insert(QStringLiteral("recordDir"), s.recordDir);
        root.insert(QStringLiteral("recordMegabytes"), double(s.recordBytes) / 1e6);
        root.insert(QStringLiteral("recordMegabytesPerSecond"),
                    s.recordMs > 0 ? double(s.recordBytes) / 1e3 / double(s.recordMs) : 0.0);
    }
    if (!s.error.isEmpty())
        root.insert(QStringLiteral("error"), s.error);
    return root;
}

void printSummary(const GrabSummary &s, QTextStream &out)
{
    static const QMap<QString, QString> reasons = {{QStringLiteral("frames"), QStringLiteral("frame count reached")},
                                                   {QStringLiteral("time"), QStringLiteral("time limit reached")},
                                                   {QStringLiteral("interrupted"), QStringLiteral("interrupted")}};
    out << QStringLiteral("Grabbed for %1 s (%2)%3\n")
               .arg(double(s.runMs) / 1000.0, 0, 'f', 2)
               .arg(reasons.value(s.stopReason, s.stopReason))
               .arg(s.preview ? QStringLiteral(", preview") : QString());
    for (const CameraSummary &c : s.cameras) {
        const ChannelFigures &f = c.figures;
        out << QStringLiteral("%1  %2x%3x%4  frames %5  %6 fps  %7 MB/s  last product %8 capture %9 cycle %10")
                   .arg(c.serial)
                   .arg(f.width)
                   .arg(f.height)
                   .arg(f.channels)
                   .arg(f.frames)
                   .arg(f.meanFps(), 0, 'f', 1)
                   .arg(megabytes(f.meanBytesPerSecond()))
                   .arg(f.lastProduct)
                   .arg(f.lastCapture)
                   .arg(f.lastCycle)
            << QStringLiteral("  losses %1  stalls %2  reconnects %3  link %4")
                   .arg(f.losses)
                   .arg(f.stalls)
                   .arg(f.reconnects)
                   .arg(linkText(f.link));
        if (s.savingFrames)
            out << QStringLiteral("  saved %1").arg(c.savedFrames);
        if (c.savesSkipped > 0)
            out << QStringLiteral(" (skipped %1: writers behind)").arg(c.savesSkipped);
        if (!s.recordDir.isEmpty()) {
            out << QStringLiteral("  recorded %1  dropped %2").arg(c.recorded).arg(c.recordDropped);
            if (c.recordFailed > 0)
                out << QStringLiteral("  failed %1").arg(c.recordFailed);
        }
        out << '\n';
    }
    if (!s.contactSheet.isEmpty())
        out << QStringLiteral("Contact sheet: %1\n").arg(QDir::current().relativeFilePath(s.contactSheet));
    if (!s.recordDir.isEmpty())
        out << QStringLiteral("Recording: %1  %2 MB at %3 MB/s\n")
                   .arg(QDir::current().relativeFilePath(s.recordDir))
                   .arg(double(s.recordBytes) / 1e6, 0, 'f', 1)
                   .arg(s.recordMs > 0 ? double(s.recordBytes) / 1e3 / double(s.recordMs) : 0.0, 0, 'f', 1);
}
