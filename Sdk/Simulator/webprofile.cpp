#include "webprofile.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vdsim {
namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

bool number(const QJsonObject &o, const char *key, double lo, double hi, double &out, std::string &error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!v.isDouble() || !std::isfinite(d) || d < lo || d > hi) {
        error = std::string("\"webSpeed\": \"") + key + "\" must be a number in [" + std::to_string(lo) + ", "
                + std::to_string(hi) + "]";
        return false;
    }
    out = d;
    return true;
}

} // namespace

WebProfile::WebProfile(std::vector<std::pair<double, double>> points, bool repeat)
    : points_(std::move(points))
    , repeat_(repeat)
{
    runUpTo_.assign(points_.size(), 0.0);
    runUpTo_[0] = points_[0].second * points_[0].first;
    for (size_t i = 1; i < points_.size(); ++i)
        runUpTo_[i] = runUpTo_[i - 1]
                      + (points_[i - 1].second + points_[i].second) / 2 * (points_[i].first - points_[i - 1].first);
    period_ = points_.back().first;
    if (period_ <= 0)
        repeat_ = false;
}

double WebProfile::speed(double t) const
{
    if (repeat_)
        t = std::fmod(std::max(t, 0.0), period_);
    if (t <= points_.front().first)
        return points_.front().second;
    for (size_t i = 1; i < points_.size(); ++i) {
        const auto &[t1, v1] = points_[i];
        if (t < t1) {
            const auto &[t0, v0] = points_[i - 1];
            return v0 + (v1 - v0) * (t - t0) / (t1 - t0);
        }
    }
    return points_.back().second;
}

double WebProfile::within(double t) const
{
    if (t <= points_.front().first)
        return points_.front().second * t;
    for (size_t i = 1; i < points_.size(); ++i) {
        const auto &[t1, v1] = points_[i];
        if (t < t1) {
            const auto &[t0, v0] = points_[i - 1];
            const double tau = t - t0;
            const double a = (v1 - v0) / (t1 - t0);
            return runUpTo_[i - 1] + v0 * tau + a * tau * tau / 2;
        }
    }
    return runUpTo_.back() + points_.back().second * (t - points_.back().first);
}

double WebProfile::distance(double t) const
{
    t = std::max(t, 0.0);
    if (!repeat_)
        return within(t);
    const double n = std::floor(t / period_);
    return n * runUpTo_.back() + within(t - n * period_);
}

double WebProfile::timeWithin(double mm) const
{
    const double v0 = points_.front().second;
    if (mm <= runUpTo_.front()) {
        if (mm <= 0)
            return 0;
        return mm / v0;   // v0 > 0, or the run-up would be 0
    }
    for (size_t i = 1; i < points_.size(); ++i) {
        if (mm > runUpTo_[i])
            continue;
        const auto &[ta, va] = points_[i - 1];
        const auto &[tb, vb] = points_[i];
        const double rest = mm - runUpTo_[i - 1];
        const double a = (vb - va) / (tb - ta);
        // The root of a/2 t^2 + va t = rest in the form that keeps its
        // precision for accelerating and braking webs alike.
        const double root = std::sqrt(std::max(0.0, va * va + 2 * a * rest));
        const double tau = va + root > 0 ? 2 * rest / (va + root) : 0.0;
        return ta + std::clamp(tau, 0.0, tb - ta);
    }
    const auto &[tl, vl] = points_.back();
    if (vl <= 0)
        return kNever;
    return tl + (mm - runUpTo_.back()) / vl;
}

double WebProfile::timeAt(double mm) const
{
    if (!repeat_)
        return timeWithin(mm);
    const double perPeriod = runUpTo_.back();
    if (perPeriod <= 0)
        return mm <= 0 ? 0 : kNever;
    double n = std::floor(mm / perPeriod);
    double rest = mm - n * perPeriod;
    if (rest <= 0 && n > 0) {   // reached at the end of the period before
        n -= 1;
        rest = perPeriod;
    }
    return n * period_ + timeWithin(rest);
}

double WebProfile::topSpeed() const
{
    double top = 0;
    for (const auto &p : points_)
        top = std::max(top, p.second);
    return top;
}

bool parseWebProfile(const QJsonValue &value, bool repeat, WebProfile &out, std::string &error)
{
    constexpr double kMaxSpeed = 1e6;      // mm/s
    constexpr double kMaxSeconds = 1e6;
    std::vector<std::pair<double, double>> points;
    if (value.isDouble()) {
        const double v = value.toDouble();
        if (!std::isfinite(v) || v < 0 || v > kMaxSpeed) {
            error = "\"webSpeed\" must be a number of mm/s in [0, 1000000]";
            return false;
        }
        points = {{0.0, v}};
    } else if (value.isArray()) {
        const QJsonArray a = value.toArray();
        for (int i = 0; i < a.size(); ++i) {
            const QJsonArray p = a.at(i).toArray();
            const double t = p.size() == 2 ? p.at(0).toDouble(-1) : -1;
            const double v = p.size() == 2 ? p.at(1).toDouble(-1) : -1;
            if (p.size() != 2 || !p.at(0).isDouble() || !p.at(1).isDouble() || !std::isfinite(t) || t < 0
                || t > kMaxSeconds || !std::isfinite(v) || v < 0 || v > kMaxSpeed
                || (!points.empty() && t < points.back().first)) {
                error = "\"webSpeed\" point " + std::to_string(i)
                        + " must be [seconds, mm/s], at or after the point before, with a speed of at least 0";
                return false;
            }
            points.emplace_back(t, v);
        }
        if (points.empty()) {
            error = "\"webSpeed\" needs at least one [seconds, mm/s] point";
            return false;
        }
    } else if (value.isObject()) {
        const QJsonObject o = value.toObject();
        if (o.contains(QLatin1String("from"))) {
            double from = 0, to = 0, seconds = 0;
            if (!number(o, "from", 0, kMaxSpeed, from, error) || !number(o, "to", 0, kMaxSpeed, to, error)
                || !number(o, "seconds", 0, kMaxSeconds, seconds, error))
                return false;
            points = {{0.0, from}, {seconds, to}};
        } else if (o.contains(QLatin1String("stopAt"))) {
            double v = 0, at = 0, lasts = 0, ramp = 0;
            if (!number(o, "speed", 0, kMaxSpeed, v, error) || !number(o, "stopAt", 0, kMaxSeconds, at, error)
                || !number(o, "stopFor", 0, kMaxSeconds, lasts, error))
                return false;
            if (o.contains(QLatin1String("rampSeconds")) && !number(o, "rampSeconds", 0, kMaxSeconds, ramp, error))
                return false;
            // Braking ends, and starting begins, at the times given.
            const double brake = std::min(ramp, at);
            points = {{0.0, v}, {at - brake, v}, {at, 0.0}, {at + lasts, 0.0}, {at + lasts + ramp, v}};
        } else {
            error = "\"webSpeed\" as an object is a ramp {\"from\", \"to\", \"seconds\"} or a stop "
                    "{\"speed\", \"stopAt\", \"stopFor\", \"rampSeconds\"}";
            return false;
        }
    } else {
        error = "\"webSpeed\" must be a number, an object or an array of [seconds, mm/s] points";
        return false;
    }
    out = WebProfile(std::move(points), repeat);
    return true;
}

LineTrigger::Line LineTrigger::next(double period)
{
    const double earliest = started_ ? last_.at + period : 0.0;
    // The first trigger from the moment the camera is ready again; one that
    // comes just then is taken, whatever the rounding of the web's run.
    const double position = web_.distance(earliest) * linesPerMm_;
    const uint64_t first = started_ ? last_.trigger + 1 : 1;
    uint64_t k = std::max(first, uint64_t(std::max(0.0, std::ceil(position - 1e-6))));
    double at = web_.timeAt(double(k) / linesPerMm_);
    if (at < earliest - 1e-9) {   // the web reached it while the camera was busy, and stands there
        ++k;
        at = web_.timeAt(double(k) / linesPerMm_);
    }
    Line line;
    line.trigger = k;
    line.at = std::max(earliest, at);
    line.missed = k - first;
    if (std::isinf(line.at))
        return line;
    started_ = true;
    last_ = line;
    return line;
}

} // namespace vdsim
