// The checks of the device itself: enumeration, opening and closing,
// capability, resolution, line time and the output format.
#include "checker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace vdcheck {
namespace detail {
namespace {

constexpr int kTableSpare = 4;           // records behind the driver's table that must stay untouched
constexpr unsigned char kUntouched = 0xCD;
constexpr int kDriverMinSize = 64;       // the driver's smallest width and height

} // namespace

bool Checker::enumerate()
{
    progress("enumerating devices");
    const VdStatus first = s.sdk.sdkInit(0);
    const VdStatus second = s.sdk.sdkInit(0);
    if (okAll(Check::SdkInit, {first, second})) {
        pass(Check::SdkInit, "status 0 both times");
    } else {
        fail(Check::SdkInit, "first call " + statusText(first) + ", second " + statusText(second));
        return false;
    }

    std::vector<VdDeviceInfo> table(kTableSize + kTableSpare);
    std::memset(table.data(), kUntouched, table.size() * sizeof(VdDeviceInfo));
    int count = kTableSize;
    const VdStatus st = s.sdk.enumerateDevice(table.data(), &count);
    if (!ok(Check::Enumerate, st)) {
        fail(Check::Enumerate, "enumeration failed");
        return false;
    }
    const auto *spare = reinterpret_cast<const unsigned char *>(table.data() + kTableSize);
    const bool spareUntouched = std::all_of(spare, spare + kTableSpare * sizeof(VdDeviceInfo),
                                            [](unsigned char b) { return b == kUntouched; });
    if (count < 0 || count > kTableSize) {
        fail(Check::Enumerate, "count " + std::to_string(count) + " for a table of 20");
        return false;
    }
    if (!spareUntouched) {
        fail(Check::Enumerate, "wrote past the 20 records it was given");
        return false;
    }
    firstCount = count;
    pass(Check::Enumerate, std::to_string(count) + " device(s)");

    std::string unterminated;
    for (int i = 0; i < count; ++i) {
        const VdDeviceInfo &d = table[size_t(i)];
        if (!std::memchr(d.productName, 0, sizeof d.productName))
            unterminated += (unterminated.empty() ? "" : "; ") + std::string("record ") + std::to_string(i)
                            + ": product name fills its 32 bytes";
        if (!std::memchr(d.serialNumber, 0, sizeof d.serialNumber))
            unterminated += (unterminated.empty() ? "" : "; ") + std::string("record ") + std::to_string(i)
                            + ": serial number fills its 36 bytes";
    }
    if (count == 0)
        row(Check::EnumerateTexts).detail = "no device listed";
    else if (unterminated.empty())
        pass(Check::EnumerateTexts, "product names and serial numbers of " + std::to_string(count) + " record(s)");
    else
        fail(Check::EnumerateTexts, unterminated);

    int chosen = -1;
    std::string listed;
    for (int i = 0; i < count; ++i) {
        const std::string sn = fieldText(table[size_t(i)].serialNumber);
        const std::string product = fieldText(table[size_t(i)].productName);
        listed += (listed.empty() ? "" : ", ") + sn + " (" + product + ")";
        if (chosen >= 0)
            continue;
        if (s.opt.camera.empty() ? product.find("VD-XG") != std::string::npos : sn == s.opt.camera)
            chosen = i;
    }
    if (chosen < 0) {
        const std::string what = s.opt.camera.empty() ? "no VD-XG camera" : s.opt.camera + " is not";
        r.cameraMissing = what + " listed" + (listed.empty() ? "; the SDK lists no device" : "; listed: " + listed);
        fail(Check::CameraFound, r.cameraMissing);
        return false;
    }
    record = table[size_t(chosen)];
    serial = fieldText(record.serialNumber);
    const std::string product = fieldText(record.productName);
    r.camera = serial + " (" + product + ")";
    r.deviceVersion = fieldText(record.deviceVersion);
    int same = 0;
    for (int i = 0; i < count; ++i)
        same += fieldText(table[size_t(i)].serialNumber) == serial;
    if (serial.size() <= 8)
        fail(Check::CameraFound, "serial number " + serial + " has 8 characters or fewer: the driver does not open it");
    else if (same > 1)
        fail(Check::CameraFound, serial + " is listed " + std::to_string(same) + " times");
    else
        pass(Check::CameraFound, r.camera + ", record " + std::to_string(chosen) + " of " + std::to_string(count));

    // The driver's reconnection enumerates without VdSdkInit and waits for
    // the count of the last full enumeration.
    std::vector<VdDeviceInfo> again(kTableSize);
    int count2 = kTableSize;
    const VdStatus st2 = s.sdk.enumerateDevice(again.data(), &count2);
    if (!ok(Check::EnumerateAgain, st2))
        fail(Check::EnumerateAgain, "enumeration failed");
    else if (count2 != count)
        fail(Check::EnumerateAgain, std::to_string(count) + " device(s), then " + std::to_string(count2));
    else
        pass(Check::EnumerateAgain, std::to_string(count2) + " device(s)");
    return row(Check::CameraFound).outcome == Outcome::Pass;
}

bool Checker::open(VdHandle &h, Check openRow, Check registerRow)
{
    h = -1;
    const VdStatus st = s.sdk.init(&record, -1, -1, &h);
    if (!ok(openRow, st)) {
        fail(openRow, "VdInit failed");
        return false;
    }
    setHandle(h);
    const VdStatus a = s.sdk.setConnectionStatusCallback(h, &onStatus, &s);
    const VdStatus b = s.sdk.setCallbackFunction(h, &onFrame, &s, nullptr);
    if (!okAll(registerRow, {a, b})) {
        fail(registerRow, "status callback " + statusText(a) + ", frame callback " + statusText(b));
        closeQuietly(h);
        return false;
    }
    return true;
}

// Teardown after a failed check; its statuses were not asked about.
void Checker::closeQuietly(VdHandle h)
{
    s.sdk.stop(h);
    s.sdk.setConnectionStatusCallback(h, nullptr, nullptr);
    s.sdk.setCallbackFunction(h, nullptr, nullptr, nullptr);
    s.sdk.unInit(h);
    s.waitIdle();
}

bool Checker::describeCamera(VdHandle h)
{
    VdCapability cap;
    std::memset(&cap, 0, sizeof cap);
    const VdStatus st = s.sdk.getCapability(h, &cap);
    if (!ok(Check::Capability, st)) {
        fail(Check::Capability, "no capability record");
    } else {
        std::string problems;
        auto problem = [&](const std::string &p) { problems += (problems.empty() ? "" : "; ") + p; };
        if (cap.maxWidth < kDriverMinSize || cap.maxHeight < kDriverMinSize)
            problem("maximum size " + std::to_string(cap.maxWidth) + " x " + std::to_string(cap.maxHeight)
                    + " below the driver's smallest 64 x 64");
        auto range = [&](const char *what, int64_t min, int64_t max) {
            if (min > max)
                problem(std::string(what) + " " + std::to_string(min) + ".." + std::to_string(max));
        };
        range("gain", cap.analogGainMin, cap.analogGainMax);
        // The driver takes exposure line counts as unsigned.
        range("exposure", uint32_t(cap.exposureMin), uint32_t(cap.exposureMax));
        range("gamma", cap.gammaMin, cap.gammaMax);
        range("contrast", cap.contrastMin, cap.contrastMax);
        range("sharpness", cap.sharpnessMin, cap.sharpnessMax);
        monoSensor = cap.monoSensor != 0;
        maxWidth = cap.maxWidth;
        maxHeight = cap.maxHeight;
        if (problems.empty())
            pass(Check::Capability, std::to_string(cap.maxWidth) + " x " + std::to_string(cap.maxHeight)
                                        + (monoSensor ? ", monochrome" : ", colour") + " sensor, exposure "
                                        + std::to_string(uint32_t(cap.exposureMin)) + ".."
                                        + std::to_string(uint32_t(cap.exposureMax)) + " lines");
        else
            fail(Check::Capability, problems);
    }

    VdResolution res;
    std::memset(&res, 0, sizeof res);
    const VdStatus rs = s.sdk.getImageResolution(h, &res);
    const std::string geometry = std::to_string(res.width) + " x " + std::to_string(res.height) + " at ("
                                 + std::to_string(res.offsetX) + ", " + std::to_string(res.offsetY) + ")";
    if (!ok(Check::Resolution, rs))
        fail(Check::Resolution, "no resolution record");
    else if (res.width <= 0 || res.height <= 0 || res.offsetX < 0 || res.offsetY < 0
             || int64_t(res.offsetX) + res.width > maxWidth || int64_t(res.offsetY) + res.height > maxHeight)
        fail(Check::Resolution, geometry + " does not fit the sensor's " + std::to_string(maxWidth) + " x "
                                    + std::to_string(maxHeight));
    else
        pass(Check::Resolution, geometry);

    double lineTime = 0;
    const VdStatus ls = s.sdk.getExposureLineTime(h, &lineTime);
    std::ostringstream lt;
    lt << lineTime << " us";
    if (!ok(Check::LineTime, ls))
        fail(Check::LineTime, "no line time");
    else if (!std::isfinite(lineTime) || lineTime <= 0)
        fail(Check::LineTime, "line time " + lt.str());
    else
        pass(Check::LineTime, lt.str());

    if (monoSensor) {
        row(Check::OutputFormat).detail = "monochrome sensor: the driver sets no format";
        row(Check::MonoOutput).detail = "monochrome sensor";
        std::lock_guard<std::mutex> lk(s.mu);
        s.expectedBpp = 1;
    } else {
        const VdStatus m = s.sdk.setMediaType(h, VD_MEDIA_COLOR);
        const VdStatus f = s.sdk.setIspOutFormat(h, VD_PIXEL_RGB8);
        formatSet = okAll(Check::OutputFormat, {m, f});
        if (formatSet)
            pass(Check::OutputFormat, "colour media type, RGB8");
        else
            fail(Check::OutputFormat, "media type " + statusText(m) + ", output format " + statusText(f));
        std::lock_guard<std::mutex> lk(s.mu);
        s.expectedBpp = formatSet ? 3 : 0;
    }
    return row(Check::Capability).outcome == Outcome::Pass;
}

} // namespace detail
} // namespace vdcheck
