// The web under an encoder-driven camera: its speed over time, how far it
// has run, and which encoder line triggers the camera takes from it.
// Plain values; no threading of their own.
#ifndef VDSIM_WEBPROFILE_H
#define VDSIM_WEBPROFILE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QJsonValue;

namespace vdsim {

// Speed in mm/s over seconds since VdPlay: linear between (time, speed)
// points, the first speed before the first point, and after the last point
// either the last speed held or, with repeat, the whole profile again.
class WebProfile
{
public:
    WebProfile() = default;
    // Points with non-decreasing times (equal times make a step) and
    // speeds of at least 0; at least one.
    WebProfile(std::vector<std::pair<double, double>> points, bool repeat);

    double speed(double t) const;
    // Millimetres run by time t.
    double distance(double t) const;
    // The first time the web has run mm millimetres; infinity if it never does.
    double timeAt(double mm) const;
    double topSpeed() const;

private:
    double within(double t) const;       // distance within one period
    double timeWithin(double mm) const;  // its inverse; infinity if not reached

    std::vector<std::pair<double, double>> points_{{0.0, 0.0}};
    std::vector<double> runUpTo_{0.0};   // distance at each point
    bool repeat_ = false;
    double period_ = 0.0;                // seconds of one repetition
};

// Reads "webSpeed": a number (constant), {"from", "to", "seconds"} (a ramp,
// then held), {"speed", "stopAt", "stopFor", "rampSeconds"} (a stop and a
// restart) or an array of [seconds, mm/s] points.
bool parseWebProfile(const QJsonValue &value, bool repeat, WebProfile &out, std::string &error);

// Line triggers of the encoder: trigger k (from 1) fires when the web has
// run k / linesPerMm millimetres. The camera takes a trigger only once the
// line before has ended, `period` seconds after it started; the triggers in
// between are missed.
class LineTrigger
{
public:
    struct Line {
        uint64_t trigger = 0;   // the encoder's count: where on the web the line lies
        double at = 0.0;        // seconds since VdPlay
        uint64_t missed = 0;    // triggers that came while the line before still ran
    };

    LineTrigger(const WebProfile &web, double linesPerMm) : web_(web), linesPerMm_(linesPerMm) {}

    // The next line taken; at is infinity (and nothing changes) when the
    // web never runs that far.
    Line next(double period);

private:
    const WebProfile &web_;
    const double linesPerMm_;
    bool started_ = false;
    Line last_;
};

} // namespace vdsim

#endif
