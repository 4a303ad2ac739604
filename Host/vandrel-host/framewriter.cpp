#include "framewriter.h"

#include "contactsheet.h"

#include <QDir>
#include <QRunnable>

#include <opencv2/imgcodecs.hpp>

#include <exception>
#include <string>

FrameWriter::FrameWriter(const QString &directory, int keepEvery) : dir(directory), every(keepEvery)
{
}

FrameWriter::~FrameWriter()
{
    pool.waitForDone();
}

bool FrameWriter::createDirectory(QString &error) const
{
    if (!enabled() || QDir().mkpath(dir))
        return true;
    error = QStringLiteral("cannot create directory %1").arg(dir);
    return false;
}

void FrameWriter::offer(const QString &serial, int sequence, const cv::Mat &image)
{
    if (!enabled() || (sequence - 1) % every != 0)
        return;
    Tally &t = tally(serial);
    const qint64 size = qint64(image.total() * image.elemSize());
    if (*pendingBytes + size > kMaxPendingBytes) {
        ++t.skipped;
        return;
    }
    const std::string path =
        QDir(dir).absoluteFilePath(QStringLiteral("%1_%2.png").arg(serial).arg(sequence, 6, 10, QLatin1Char('0'))).toStdString();
    *pendingBytes += size;
    std::shared_ptr<std::atomic<qint64>> pending = pendingBytes;
    std::shared_ptr<Tally> counts = tallies.at(serial);
    pool.start(QRunnable::create([image, size, path, pending, counts] {
        bool ok = false;
        try {
            const cv::Mat bgr = toBgr(image);
            // Fast compression: the writers have to keep up with the cameras.
            ok = !bgr.empty() && cv::imwrite(path, bgr, {cv::IMWRITE_PNG_COMPRESSION, 1});
        } catch (const std::exception &) {
            ok = false;
        }
        ++(ok ? counts->saved : counts->failed);
        *pending -= size;
    }));
}

void FrameWriter::waitForDone()
{
    pool.waitForDone();
}

FrameWriter::Tally &FrameWriter::tally(const QString &serial)
{
    std::shared_ptr<Tally> &t = tallies[serial];
    if (!t)
        t = std::make_shared<Tally>();
    return *t;
}

const FrameWriter::Tally *FrameWriter::find(const QString &serial) const
{
    const auto it = tallies.find(serial);
    return it == tallies.end() ? nullptr : it->second.get();
}

int FrameWriter::saved(const QString &serial) const
{
    const Tally *t = find(serial);
    return t ? t->saved.load() : 0;
}

int FrameWriter::failed(const QString &serial) const
{
    const Tally *t = find(serial);
    return t ? t->failed.load() : 0;
}

int FrameWriter::skipped(const QString &serial) const
{
    const Tally *t = find(serial);
    return t ? t->skipped : 0;
}
