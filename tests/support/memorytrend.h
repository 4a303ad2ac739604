#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Resident memory over a long run, sampled by the caller, and the trend of
// its last half: the slope of a least-squares line through those samples.
// Only the last half counts, so warm-up (pools filling, allocator arenas
// growing) never weighs in. Beside resident memory it samples the heap in
// use (glibc), which tells memory the allocator keeps from memory the
// program holds.
class MemoryTrend
{
public:
    // Resident memory now, at `ms` into the run; the heap too on every
    // tenth call (walking the allocator's bins is not free).
    void sample(qint64 ms);
    // A resident sample taken elsewhere (a recorded run, a test's own).
    void addResident(qint64 ms, double kib) { resident.push_back({ms, kib}); }

    struct Fit {
        double slopeMiBPerMin = 0;
        double windowS = 0;  // the span of the samples fitted
        int samples = 0;
        // The median of each third of the window, in MiB: a leak raises each
        // in turn, one step of the allocator or of a pool raises only one.
        double thirdMedianMiB[3] = {0, 0, 0};
        double riseMiB() const { return slopeMiBPerMin * windowS / 60.0; }
    };
    Fit residentLastHalf() const;
    Fit heapLastHalf() const;

    // A sustained rise: the fitted slope above slopeLimit, the rise it makes
    // over the window above riseFloorMiB, and memory still rising from each
    // third of the window to the next. The floor keeps small steps of the
    // allocator (it grows an arena by about 1 MiB at a time and keeps it)
    // from passing for a leak in a short window; the thirds keep one larger
    // step (a pool sized for a bigger frame, a new thread's arena) from
    // passing for one: a least-squares line through a step has a slope too.
    static bool sustainedRise(const Fit &fit, double slopeLimit, double riseFloorMiB);

    // Resident memory in KiB at each tenth of the run, and the heap in use
    // at the start and end of the last half.
    QString describe() const;

    bool empty() const { return resident.empty(); }

private:
    struct Point {
        qint64 ms;
        double kib;
    };
    static Fit lastHalf(const std::vector<Point> &points);
    std::vector<Point> resident;
    std::vector<Point> heap;
    int calls = 0;
};

// Bytes the program holds on the heap now, in KiB; -1 where the allocator
// does not say.
qint64 heapInUseKiB();
// Resident memory after the allocator has given back what it can; -1 where
// it cannot be asked to.
qint64 residentAfterTrimKiB();
