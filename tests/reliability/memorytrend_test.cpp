// What the stress runs call a leak: memory that keeps rising through the
// last half of a run, not one that stepped up once and stayed.
#include "memorytrend.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kSlope = 1.0;  // MiB per minute
constexpr double kFloor = 4.0;  // MiB

// Samples every 100 ms over `seconds`; kib(ms) gives each one.
template <typename F>
MemoryTrend::Fit lastHalfOf(double seconds, F kib)
{
    MemoryTrend trend;
    for (qint64 ms = 0; ms <= qint64(seconds * 1000); ms += 100)
        trend.addResident(ms, kib(ms));
    return trend.residentLastHalf();
}

TEST(MemoryTrend, ASteadyLeakIsARiseEvenWithNoise)
{
    // 30 MiB/min over a 20 s run, with +-0.5 MiB of jitter.
    const auto fit = lastHalfOf(20, [](qint64 ms) {
        return 60000.0 + 30.0 * 1024.0 * double(ms) / 60000.0 + 512.0 * std::sin(double(ms) * 0.37);
    });
    EXPECT_NEAR(fit.slopeMiBPerMin, 30.0, 3.0);
    EXPECT_TRUE(MemoryTrend::sustainedRise(fit, kSlope, kFloor));

    // A slow leak over a long run: 2 MiB/min for 20 minutes, sampled every 100 ms.
    const auto slow = lastHalfOf(1200, [](qint64 ms) { return 60000.0 + 2.0 * 1024.0 * double(ms) / 60000.0; });
    EXPECT_TRUE(MemoryTrend::sustainedRise(slow, kSlope, kFloor));
}

TEST(MemoryTrend, OneStepThatStaysIsNoLeakWhereverItFalls)
{
    // A pool sized for a bigger frame: 3.4 MiB at once, then flat; the fitted
    // line through it is steep, yet memory stopped rising.
    for (double at : {11.0, 13.0, 15.0, 17.0, 19.0}) {
        const auto fit = lastHalfOf(20, [at](qint64 ms) { return ms < qint64(at * 1000) ? 60400.0 : 63880.0; });
        EXPECT_FALSE(MemoryTrend::sustainedRise(fit, kSlope, kFloor)) << "step at " << at << " s";
    }
    // Nor is a flat run, or one that fell.
    EXPECT_FALSE(MemoryTrend::sustainedRise(lastHalfOf(20, [](qint64) { return 60000.0; }), kSlope, kFloor));
    EXPECT_FALSE(MemoryTrend::sustainedRise(
        lastHalfOf(20, [](qint64 ms) { return 70000.0 - double(ms) / 10.0; }), kSlope, kFloor));
}

TEST(MemoryTrend, TwoStepsInTurnAreARise)
{
    // Memory that steps up in each third of the window keeps rising.
    const auto fit = lastHalfOf(20, [](qint64 ms) {
        return 60000.0 + 2048.0 * double(std::max<qint64>(0, (ms - 10000) / 2500));
    });
    EXPECT_TRUE(MemoryTrend::sustainedRise(fit, kSlope, kFloor));
}

}  // namespace
