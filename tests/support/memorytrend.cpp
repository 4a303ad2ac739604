#include "memorytrend.h"

#include "residentmemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>

void MemoryTrend::sample(qint64 ms)
{
    const qint64 rss = residentKiB();
    if (rss > 0)
        resident.push_back({ms, double(rss)});
    if (calls++ % 10 == 0) {
        const qint64 inUse = heapInUseKiB();
        if (inUse >= 0)
            heap.push_back({ms, double(inUse)});
    }
}

MemoryTrend::Fit MemoryTrend::lastHalf(const std::vector<Point> &points)
{
    Fit fit;
    if (points.size() < 2)
        return fit;
    const qint64 start = points.front().ms + (points.back().ms - points.front().ms) / 2;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    qint64 first = -1;
    for (const Point &p : points) {
        if (p.ms < start)
            continue;
        if (first < 0)
            first = p.ms;
        // Minutes from the window's start, MiB: keeps the sums well scaled.
        const double x = double(p.ms - first) / 60000.0;
        const double y = p.kib / 1024.0;
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double denominator = n * sxx - sx * sx;
    fit.samples = int(n);
    if (n < 2 || denominator <= 0)
        return fit;
    fit.slopeMiBPerMin = (n * sxy - sx * sy) / denominator;
    fit.windowS = double(points.back().ms - first) / 1000.0;

    std::vector<double> window;
    for (const Point &p : points) {
        if (p.ms >= start)
            window.push_back(p.kib / 1024.0);
    }
    for (size_t third = 0; third < 3; ++third) {
        const size_t from = window.size() * third / 3;
        const size_t to = std::max(from + 1, window.size() * (third + 1) / 3);
        std::vector<double> part(window.begin() + std::ptrdiff_t(from), window.begin() + std::ptrdiff_t(to));
        std::nth_element(part.begin(), part.begin() + std::ptrdiff_t(part.size() / 2), part.end());
        fit.thirdMedianMiB[third] = part[part.size() / 2];
    }
    return fit;
}

MemoryTrend::Fit MemoryTrend::residentLastHalf() const
{
    return lastHalf(resident);
}

MemoryTrend::Fit MemoryTrend::heapLastHalf() const
{
    return lastHalf(heap);
}

bool MemoryTrend::sustainedRise(const Fit &fit, double slopeLimit, double riseFloorMiB)
{
    if (fit.slopeMiBPerMin <= slopeLimit || fit.riseMiB() <= riseFloorMiB)
        return false;
    // Each third must carry at least a quarter of the rise a steady leak at
    // the fitted slope would put into it.
    const double perThird = fit.riseMiB() / 3.0 / 4.0;
    return fit.thirdMedianMiB[1] - fit.thirdMedianMiB[0] > perThird &&
           fit.thirdMedianMiB[2] - fit.thirdMedianMiB[1] > perThird;
}

QString MemoryTrend::describe() const
{
    QString text = QStringLiteral("resident KiB at each tenth of the run:");
    if (!resident.empty()) {
        const qint64 span = resident.back().ms - resident.front().ms;
        size_t i = 0;
        for (int tenth = 0; tenth <= 10; ++tenth) {
            const qint64 at = resident.front().ms + span * tenth / 10;
            while (i + 1 < resident.size() && resident[i].ms < at)
                ++i;
            text += QStringLiteral(" %1").arg(qint64(resident[i].kib));
        }
    }
    if (heap.size() >= 2) {
        const qint64 half = heap.front().ms + (heap.back().ms - heap.front().ms) / 2;
        const auto mid = std::find_if(heap.begin(), heap.end(), [half](const Point &p) { return p.ms >= half; });
        text += QStringLiteral("; heap in use %1 KiB at half time, %2 KiB at the end")
                    .arg(qint64(mid->kib))
                    .arg(qint64(heap.back().kib));
    }
    return text;
}

qint64 heapInUseKiB()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    return qint64(mallinfo2().uordblks / 1024);
#else
    return -1;
#endif
}

qint64 residentAfterTrimKiB()
{
#if defined(__GLIBC__)
    malloc_trim(0);
    return residentKiB();
#else
    return -1;
#endif
}
