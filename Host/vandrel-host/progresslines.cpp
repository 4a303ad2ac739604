#include "progresslines.h"

#include "camerachannel.h"
#include "grabreport.h"
#include "textout.h"

ProgressLines::ProgressLines(TextOut &human, const std::vector<std::unique_ptr<CameraChannel>> &cameras,
                             const QElapsedTimer &runClock)
    : out(human), channels(cameras), clock(runClock)
{
    ticker.setInterval(100);
    connect(&ticker, &QTimer::timeout, this, &ProgressLines::tick);
}

bool ProgressLines::isLive() const
{
    return out.isTerminal();
}

void ProgressLines::start()
{
    ticker.start();
    draw();
}

void ProgressLines::finish()
{
    ticker.stop();
    if (!isLive() || finished)
        return;
    clear();
    finished = true;
}

void ProgressLines::printEvent(const QString &line)
{
    clear();
    out.lines() << line << '\n';
    draw();
}

void ProgressLines::printLog(const QString &line)
{
    clear();
    stdErr().lines() << line << '\n';
    draw();
}

void ProgressLines::tick()
{
    const qint64 now = clock.elapsed();
    if (isLive()) {
        draw();
    } else if (now - lastPlainMs >= 1000) {
        lastPlainMs = now;
        TextOut::Lines lines = out.lines();
        for (const auto &ch : channels)
            lines << QStringLiteral("%1 s ").arg(double(now) / 1000.0, 6, 'f', 1)
                  << progressLine(ch->serial(), ch->figures(), ch->liveFps(now), ch->liveBytesPerSecond(now)) << '\n';
    }
}

void ProgressLines::clear()
{
    if (!isLive() || drawn == 0)
        return;
    TextOut::Lines lines = out.lines();
    lines << QStringLiteral("\x1b[%1A").arg(drawn);
    for (int i = 0; i < drawn; ++i)
        lines << "\x1b[2K\n";
    lines << QStringLiteral("\x1b[%1A").arg(drawn);
    drawn = 0;
}

void ProgressLines::draw()
{
    if (!isLive() || finished)
        return;
    clear();
    const qint64 now = clock.elapsed();
    TextOut::Lines lines = out.lines();
    for (const auto &ch : channels)
        lines << progressLine(ch->serial(), ch->figures(), ch->liveFps(now), ch->liveBytesPerSecond(now)) << '\n';
    drawn = int(channels.size());
}
