#include "framerecorder.h"

#include "settingsfile.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <exception>

FrameRecorder::FrameRecorder(const QString &directory, int queueFrames, qint64 queueBytes)
    : dir(directory), maxFrames(queueFrames), maxBytes(queueBytes)
{
}

FrameRecorder::~FrameRecorder()
{
    stop();
}

bool FrameRecorder::start(QString &why)
{
    if (running())
        return true;
    if (!QDir().mkpath(dir)) {
        why = QStringLiteral("cannot create directory %1").arg(dir);
        return false;
    }
    const QString path = QDir(dir).filePath(QStringLiteral("index.jsonl"));
    if (QFile::exists(path)) {
        why = QStringLiteral("%1 already holds a recording (index.jsonl); record into another directory").arg(dir);
        return false;
    }
    index.setFileName(path);
    if (!index.open(QIODevice::WriteOnly | QIODevice::Text)) {
        why = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    {
        std::lock_guard<std::mutex> lk(mu);
        stopping = false;
    }
    writer = std::thread([this] { run(); });
    return true;
}

bool FrameRecorder::offer(const Frame &frame)
{
    const qint64 size = qint64(frame.image.total() * frame.image.elemSize());
    {
        std::lock_guard<std::mutex> lk(mu);
        const qint64 sequence = nextSequence++;
        Counts &c = perCamera[frame.serial];
        if (stopping || !writer.joinable() || int(queue.size()) >= maxFrames || queuedBytes + size > maxBytes) {
            ++c.dropped;
            return false;
        }
        queue.emplace_back(sequence, frame);
        queuedBytes += size;
    }
    wake.notify_one();
    return true;
}

void FrameRecorder::stop()
{
    if (!writer.joinable())
        return;
    {
        std::lock_guard<std::mutex> lk(mu);
        stopping = true;
    }
    wake.notify_one();
    writer.join();
    index.close();
}

void FrameRecorder::run()
{
    for (;;) {
        std::pair<qint64, Frame> item;
        int delay = 0;
        {
            std::unique_lock<std::mutex> lk(mu);
            wake.wait(lk, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;   // stopping, and everything queued is written
            item = std::move(queue.front());
            queue.pop_front();
            delay = writeDelayMs;
        }
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        QString why;
        bool ok = false;
        try {
            ok = writeOne(item.second, item.first, why);
        } catch (const std::exception &e) {
            why = QString::fromLocal8Bit(e.what());
        }
        const qint64 size = qint64(item.second.image.total() * item.second.image.elemSize());
        std::lock_guard<std::mutex> lk(mu);
        queuedBytes -= size;
        Counts &c = perCamera[item.second.serial];
        if (ok) {
            ++c.recorded;
            written += size;
        } else {
            ++c.failed;
            if (error.isEmpty())
                error = why;
        }
    }
}

bool FrameRecorder::writeOne(const Frame &f, qint64 sequence, QString &why)
{
    const cv::Mat &m = f.image;
    if (m.empty() || m.depth() != CV_8U || (m.channels() != 1 && m.channels() != 3)) {
        why = QStringLiteral("frame of camera %1 is not 8-bit grey or RGB").arg(f.serial);
        return false;
    }
    // Sequence first: the name order is the order of arrival; a gap is a dropped frame.
    const QString name = QStringLiteral("%1_%2.tif").arg(sequence, 8, 10, QLatin1Char('0')).arg(f.serial);
    const QString path = QDir(dir).filePath(name);
    // OpenCV writes BGR as RGB; the frame itself is shared and stays as it is.
    cv::Mat out;
    if (m.channels() == 3)
        cv::cvtColor(m, out, cv::COLOR_RGB2BGR);
    else
        out = m;
    if (!cv::imwrite(path.toStdString(), out, {cv::IMWRITE_TIFF_COMPRESSION, 1})) {
        why = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    const QJsonObject line{{QStringLiteral("file"), name},
                           {QStringLiteral("serial"), f.serial},
                           {QStringLiteral("product"), f.product},
                           {QStringLiteral("capture"), f.capture},
                           {QStringLiteral("cycle"), f.cycle},
                           {QStringLiteral("captureTime"), f.captureTime.toMSecsSinceEpoch()},
                           {QStringLiteral("width"), m.cols},
                           {QStringLiteral("height"), m.rows},
                           {QStringLiteral("channels"), m.channels()}};
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (index.write(text) != text.size() || !index.flush()) {
        why = QStringLiteral("cannot write %1").arg(index.fileName());
        return false;
    }
    return true;
}

bool FrameRecorder::recordSettings(const QString &serial, const QJsonObject &cameraSettings, QString &why)
{
    settings.insert(serial, cameraSettings);
    return writeSettingsFile(QDir(dir).filePath(QStringLiteral("settings.json")), settings, why);
}

FrameRecorder::Counts FrameRecorder::counts(const QString &serial) const
{
    std::lock_guard<std::mutex> lk(mu);
    const auto it = perCamera.find(serial);
    return it == perCamera.end() ? Counts() : it->second;
}

FrameRecorder::Counts FrameRecorder::total() const
{
    std::lock_guard<std::mutex> lk(mu);
    Counts t;
    for (const auto &entry : perCamera) {
        t.recorded += entry.second.recorded;
        t.dropped += entry.second.dropped;
        t.failed += entry.second.failed;
    }
    return t;
}

qint64 FrameRecorder::bytesWritten() const
{
    std::lock_guard<std::mutex> lk(mu);
    return written;
}

QString FrameRecorder::firstError() const
{
    std::lock_guard<std::mutex> lk(mu);
    return error;
}

void FrameRecorder::setWriteDelayMs(int ms)
{
    std::lock_guard<std::mutex> lk(mu);
    writeDelayMs = ms;
}
