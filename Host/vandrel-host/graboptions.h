#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// How one grab runs: what the command line asked for, and the cameras and
// their settings once the plug-in has listed them.
struct GrabOptions
{
    QStringList serials;
    QMap<QString, QJsonObject> settings;  // per serial; missing means defaults
    QList<QPair<QString, QString>> sets;  // --set NAME=VALUE, after the settings
    int retryIntervalMs = 0;              // 0: the driver's own 30 s retry
    int stallAfterMs = 5000;              // 0: no stall detection
    int frames = 0;                       // per camera; 0: no limit
    double seconds = 0;                   // 0: no limit
    int exposure = -1;                    // -1: leave the camera's own
    bool setTrigger = false;
    int capturesPerProduct = 1;
    int productsPerCycle = 1;
    int cycleTimeout = 0;
    bool preview = false;
    QString saveDir;
    int every = 1;
    QString recordDir;                    // empty: no recording
    int recordQueue = 64;
    QString saveSettings;
    bool json = false;
};
