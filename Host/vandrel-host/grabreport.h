#pragma once

#include "camerachannel.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <QVector>

// What the grab command says about a run: the live line of a camera, the
// line of a link event, and the summary at the end in text or JSON. Only
// the wording lives here; when lines are drawn is the progress lines' affair.

// One camera at the end of a run.
struct CameraSummary
{
    QString serial;
    ChannelFigures figures;
    int savedFrames = 0;
    int savesSkipped = 0;
    int recorded = 0;       // with --record: frames written
    int recordDropped = 0;  // the recorder's queue was full
    int recordFailed = 0;
    int recordingEnded = -1;  // frames a replayed recording played before it ended
};

struct GrabSummary
{
    QString stopReason;  // "frames", "time" or "interrupted"
    qint64 runMs = 0;
    bool preview = false;
    bool savingFrames = false;  // --save-dir was given
    QVector<CameraSummary> cameras;
    QString contactSheet;  // absolute path; empty when none was written
    QString recordDir;     // absolute path; empty without --record
    qint64 recordBytes = 0;
    qint64 recordMs = 0;
    QString error;         // the run's failure so far; empty when none
};

// "SERIAL  frames N  F fps  M MB/s  last product P capture C cycle Y  link up" (or LOST, STALLED)
QString progressLine(const QString &serial, const ChannelFigures &figures, double fps, double bytesPerSecond);
// "[hh:mm:ss.zzz +S.sss s] SERIAL what"
QString eventLine(const QDateTime &wallClock, qint64 runMs, const QString &serial, const QString &what);

QJsonObject summaryToJson(const GrabSummary &summary);
// The contact sheet's path is shown relative to the current directory.
void printSummary(const GrabSummary &summary, QTextStream &out);
