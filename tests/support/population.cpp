#include "population.h"

#include <QJsonDocument>
#include <QJsonObject>

Population &Population::add(const char *productName, const char *serialNumber,
                            const std::function<void(Device &)> &differences)
{
    Device d;
    d.productName = productName;
    d.serialNumber = serialNumber;
    if (differences)
        differences(d);
    devices.push_back(d);
    return *this;
}

Population &Population::event(qint64 atMs, const char *serialNumber, const char *kind, bool powerLost)
{
    QJsonObject e{{QStringLiteral("atMs"), atMs},
                  {QStringLiteral("serialNumber"), QString::fromUtf8(serialNumber)},
                  {QStringLiteral("event"), QString::fromUtf8(kind)}};
    if (powerLost)
        e.insert(QStringLiteral("powerLost"), true);
    events.append(e);
    return *this;
}

QByteArray Population::json() const
{
    QJsonArray list;
    for (const Device &d : devices) {
        QJsonObject o{
            {QStringLiteral("productName"), QString::fromStdString(d.productName)},
            {QStringLiteral("serialNumber"), QString::fromStdString(d.serialNumber)},
            {QStringLiteral("sensorWidth"), d.sensorWidth},
            {QStringLiteral("sensorHeight"), d.sensorHeight},
            {QStringLiteral("frameHeight"), d.frameHeight},
            {QStringLiteral("mono"), d.mono},
            {QStringLiteral("lineTimeUs"), d.lineTimeUs},
            {QStringLiteral("exposureMin"), d.exposureMin},
            {QStringLiteral("exposureMax"), d.exposureMax},
            {QStringLiteral("gainMin"), d.gainMin},
            {QStringLiteral("gainMax"), d.gainMax},
            {QStringLiteral("gammaMin"), d.gammaMin},
            {QStringLiteral("gammaMax"), d.gammaMax},
            {QStringLiteral("contrastMin"), d.contrastMin},
            {QStringLiteral("contrastMax"), d.contrastMax},
            {QStringLiteral("sharpnessMin"), d.sharpnessMin},
            {QStringLiteral("sharpnessMax"), d.sharpnessMax},
            {QStringLiteral("frameRate"), d.frameRate},
            {QStringLiteral("attached"), d.attached},
            {QStringLiteral("triggerMode"), d.triggerMode},
        };
        // Without a scene the camera draws the ramp, which many tests read.
        if (!d.scene.empty()) {
            o.insert(QStringLiteral("scene"), QString::fromStdString(d.scene));
            o.insert(QStringLiteral("speed"), d.speed);
            o.insert(QStringLiteral("noise"), d.noise);
            o.insert(QStringLiteral("illumination"), d.illumination);
        }
        list.append(o);
    }
    QJsonObject root{{QStringLiteral("devices"), list}};
    if (!events.isEmpty())
        root.insert(QStringLiteral("events"), events);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

void typicalColourRanges(Population::Device &d)
{
    d.lineTimeUs = 2.0;
    d.exposureMin = 10;
    d.exposureMax = 50000;
    d.gainMin = 1;
    d.gainMax = 32;
    d.gammaMin = 50;
    d.gammaMax = 250;
    d.contrastMin = 50;
    d.contrastMax = 200;
    d.sharpnessMin = 0;
    d.sharpnessMax = 10;
}

void typicalMonoRanges(Population::Device &d)
{
    d.mono = true;
    d.exposureMin = 5;
    d.exposureMax = 20000;
    d.gainMin = 1;
    d.gammaMin = 10;
    d.contrastMin = 10;
    d.contrastMax = 300;
    d.sharpnessMin = 1;
    d.sharpnessMax = 8;
}
