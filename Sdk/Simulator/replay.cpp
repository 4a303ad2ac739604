#include "replay.h"

#include "scene.h"
#include "simconfig.h"
#include "tiffcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <set>

namespace vdsim {
namespace {

// No larger than a simulated camera's largest frame.
bool tooLarge(const ReplayFrame &f)
{
    return int64_t(f.width) * f.height > kMaxRawBytes;
}

bool positiveInt(const QJsonObject &o, const char *key, int lo, int hi, int &out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble(-1);
    if (!v.isDouble() || d != std::floor(d) || d < lo || d > hi)
        return false;
    out = int(d);
    return true;
}

bool loadIndex(const QDir &dir, const QString &indexPath, const std::string &serial, Replay &r, std::string &error)
{
    QFile f(indexPath);
    const std::string where = indexPath.toStdString();
    if (!f.open(QIODevice::ReadOnly)) {
        error = where + ": not readable";
        return false;
    }
    struct Line {
        ReplayFrame frame;
        std::string serial;
    };
    std::vector<Line> lines;
    std::set<std::string> serials;
    int number = 0;
    while (!f.atEnd()) {
        const QByteArray text = f.readLine().trimmed();
        ++number;
        if (text.isEmpty())
            continue;
        const std::string at = where + " line " + std::to_string(number) + ": ";
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(text, &pe);
        if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
            error = at + (pe.error != QJsonParseError::NoError ? pe.errorString().toStdString() : "not an object");
            return false;
        }
        const QJsonObject o = doc.object();
        Line l;
        const QString file = o.value(QLatin1String("file")).toString();
        if (file.isEmpty()) {
            error = at + "\"file\" missing";
            return false;
        }
        if (!positiveInt(o, "width", 1, 65536, l.frame.width) || !positiveInt(o, "height", 1, 65536, l.frame.height)
            || !positiveInt(o, "channels", 1, 3, l.frame.channels) || l.frame.channels == 2) {
            error = at + "\"width\", \"height\" and \"channels\" (1 or 3) must be positive integers";
            return false;
        }
        if (tooLarge(l.frame)) {
            error = at + "frame larger than 16384 x 4096 pixels";
            return false;
        }
        const QJsonValue t = o.value(QLatin1String("captureTime"));
        const double ms = t.toDouble(-1);
        if (!t.isDouble() || ms < 0 || !std::isfinite(ms)) {
            error = at + "\"captureTime\" must be a non-negative number of milliseconds";
            return false;
        }
        l.frame.timed = true;
        l.frame.timeStamp = uint32_t(int64_t(ms) & 0xFFFFFFFF);
        l.frame.path = QDir::cleanPath(dir.absoluteFilePath(file)).toStdString();
        const QFileInfo info(QString::fromStdString(l.frame.path));
        if (!info.exists()) {
            error = at + l.frame.path + ": no such file";
            return false;
        }
        // Checked now, so that a frame cut short or replaced stops the
        // recording from loading rather than the replay in its middle.
        std::string why;
        const bool tiff = file.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive)
                          || file.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive);
        if (!info.isFile() || !info.isReadable() || info.size() == 0)
            why = l.frame.path + ": an empty or unreadable file";
        else if (tiff)
            checkTiff(l.frame.path, l.frame.width, l.frame.height, l.frame.channels, why);
        if (!why.empty()) {
            error = at + why;
            return false;
        }
        l.serial = o.value(QLatin1String("serial")).toString().toStdString();
        serials.insert(l.serial);
        lines.push_back(std::move(l));
    }
    const bool mixed = serials.size() > 1;
    for (Line &l : lines)
        if (!mixed || l.serial == serial)
            r.frames.push_back(std::move(l.frame));
    if (r.frames.empty()) {
        error = where + (lines.empty() ? ": no frames" : ": no frames of camera " + serial);
        return false;
    }
    r.recording = true;
    return true;
}

} // namespace

std::shared_ptr<const Replay> loadReplay(const std::string &path, const std::string &serial, std::string &error)
{
    const QString qpath = QString::fromStdString(path);
    const QFileInfo info(qpath);
    if (!info.exists()) {
        error = path + ": no such directory";
        return nullptr;
    }
    if (!info.isDir() || !info.isReadable()) {
        error = path + ": not a readable directory";
        return nullptr;
    }
    auto r = std::make_shared<Replay>();
    r->source = path;
    const QDir dir(qpath);
    const QString index = dir.absoluteFilePath(QStringLiteral("index.jsonl"));
    if (QFileInfo::exists(index)) {
        if (!loadIndex(dir, index, serial, *r, error))
            return nullptr;
        // The first frame proves the files are of a kind the cameras deliver.
        cv::Mat first;
        if (!readReplayFrame(r->frames.front(), false, first, error))
            return nullptr;
        return r;
    }
    const QStringList images = dir.entryList({QStringLiteral("*.png"), QStringLiteral("*.tif"),
                                              QStringLiteral("*.tiff"), QStringLiteral("*.jpg"),
                                              QStringLiteral("*.jpeg"), QStringLiteral("*.bmp"),
                                              QStringLiteral("*.pgm"), QStringLiteral("*.ppm")},
                                             QDir::Files | QDir::Readable, QDir::Name);
    if (images.isEmpty()) {
        error = path + ": no images (png, tif, jpg, bmp, pgm, ppm) and no index.jsonl";
        return nullptr;
    }
    for (const QString &name : images) {
        ReplayFrame f;
        f.path = dir.absoluteFilePath(name).toStdString();
        cv::Mat m;
        if (!readSimImage(f.path, m, error))
            return nullptr;
        f.width = m.cols;
        f.height = m.rows;
        f.channels = m.channels();
        if (tooLarge(f)) {
            error = f.path + ": frame larger than 16384 x 4096 pixels";
            return nullptr;
        }
        r->frames.push_back(std::move(f));
    }
    return r;
}

bool readReplayFrame(const ReplayFrame &frame, bool monoSensor, cv::Mat &out, std::string &error)
{
    cv::Mat m;
    if (!readSimImage(frame.path, m, error))
        return false;
    if (m.cols != frame.width || m.rows != frame.height || m.channels() != frame.channels) {
        error = frame.path + ": " + std::to_string(m.cols) + " x " + std::to_string(m.rows) + " x "
                + std::to_string(m.channels()) + ", recorded as " + std::to_string(frame.width) + " x "
                + std::to_string(frame.height) + " x " + std::to_string(frame.channels);
        return false;
    }
    if (monoSensor && m.channels() == 3)
        cv::cvtColor(m, m, cv::COLOR_RGB2GRAY);
    out = m.isContinuous() ? m : m.clone();
    return true;
}

} // namespace vdsim
