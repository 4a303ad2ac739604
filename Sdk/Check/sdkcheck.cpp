#include "sdkcheck.h"

#include "report.h"
#include "session.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <iomanip>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

namespace vdcheck {
namespace detail {
namespace {

constexpr int kTableSize = 20;           // the driver's device table
constexpr int kTableSpare = 4;           // records behind it that must stay untouched
constexpr unsigned char kUntouched = 0xCD;
constexpr int kDriverMinSize = 64;       // the driver's smallest width and height
constexpr int kSoftTriggers = 3;
constexpr int kReplugPollMs = 250;

template <size_t N>
std::string fieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

std::string seconds(int ms)
{
    std::ostringstream s;
    s << ms / 1000.0 << " s";
    return s.str();
}

class Checker
{
public:
    Checker(Session &session, Report &report) : s(session), r(report) {}
    void run();
    void finish();

private:
    Session &s;
    Report &r;
    VdDeviceInfo record{};
    std::string serial;
    int firstCount = 0;
    bool monoSensor = false;
    bool formatSet = false;
    int maxWidth = 0;
    int maxHeight = 0;

    Row &row(Check c) { return r.rows[static_cast<size_t>(c)]; }
    // Notes a call's status on the row; true for success.
    bool ok(Check c, VdStatus st)
    {
        Row &rw = row(c);
        rw.hasStatus = true;
        if (st != VD_OK && rw.status == VD_OK)
            rw.status = st;
        return st == VD_OK;
    }
    // Notes every status (braced lists evaluate in order); true if all succeeded.
    bool okAll(Check c, std::initializer_list<VdStatus> statuses)
    {
        bool all = true;
        for (VdStatus st : statuses)
            all = ok(c, st) && all;
        return all;
    }
    void pass(Check c, const std::string &detail = {})
    {
        Row &rw = row(c);
        if (rw.outcome == Outcome::Fail)
            return;
        rw.outcome = Outcome::Pass;
        rw.detail = detail;
    }
    // The first failure's detail stays.
    void fail(Check c, const std::string &detail)
    {
        Row &rw = row(c);
        if (rw.outcome != Outcome::Fail)
            rw.detail = detail;
        rw.outcome = Outcome::Fail;
    }
    void progress(const std::string &text)
    {
        if (s.opt.progress)
            s.opt.progress(text);
    }

    bool enumerate();
    bool open(VdHandle &h, Check openRow, Check registerRow);
    void closeQuietly(VdHandle h);
    void setHandle(VdHandle h)
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.handle = h;
        s.framesClosed = false;
        s.statusClosed = false;
    }
    void reopenWindow()
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = false;
    }
    bool describeCamera(VdHandle h);
    bool stream(VdHandle h);
    void formats(VdHandle h);
    bool stopping(VdHandle h);
    bool triggers(VdHandle h, int initialMode);
    bool inside(Action a, Check c, const char *call);
    void quietAfter(Check c, VdStatus st, int framesInFlight, long late0, const char *call);
    void interactive();
};

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
        fail(Check::CameraFound, what + " listed" + (listed.empty() ? "" : "; listed: " + listed));
        return false;
    }
    record = table[size_t(chosen)];
    serial = fieldText(record.serialNumber);
    const std::string product = fieldText(record.productName);
    r.camera = serial + " (" + product + ")";
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

bool Checker::stream(VdHandle h)
{
    if (!ok(Check::Play, s.sdk.play(h))) {
        fail(Check::Play, "acquisition did not start");
        return false;
    }
    pass(Check::Play);
    std::ostringstream what;
    what << "watching frames for " << s.opt.seconds << " s";
    progress(what.str());
    if (!s.waitFrames(1)) {
        fail(Check::FramesArrive, "no frame within " + seconds(s.opt.deadlineMs));
        return false;
    }
    const long n0 = s.frameCount();
    const auto window = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s.opt.seconds));
    const auto start = Clock::now();
    s.waitFor(int(std::ceil(s.opt.seconds * 1000)), [] { return false; });
    long n1;
    Clock::time_point last;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        n1 = s.frames;
        last = s.lastFrame;
    }
    const auto end = Clock::now();
    const double span = std::chrono::duration<double>(end - start).count();
    const long n = n1 - n0;
    // A stream that stalls (raw buffers not coming back, say) stops early.
    const auto allowedGap = std::max<Clock::duration>(milliseconds(1000), n > 0 ? 3 * window / n : window);
    std::ostringstream d;
    d << n << " frames in " << std::setprecision(3) << span << " s (" << (span > 0 ? n / span : 0) << " per s)";
    if (n == 0 || end - last > allowedGap) {
        const double silent = std::chrono::duration<double>(end - last).count();
        std::ostringstream f;
        f << d.str() << "; none in the last " << std::setprecision(3) << silent << " s: the stream stalled";
        fail(Check::FramesArrive, f.str());
        return false;
    }
    pass(Check::FramesArrive, d.str());

    // A reload (load, restoreSnapshot, a reconnection) plays again while playing.
    const long before = s.frameCount();
    if (!ok(Check::PlayWhilePlaying, s.sdk.play(h)))
        fail(Check::PlayWhilePlaying, "VdPlay on a playing camera failed");
    else if (!s.waitFrames(before + 3))
        fail(Check::PlayWhilePlaying, "frames stopped after VdPlay on a playing camera");
    else
        pass(Check::PlayWhilePlaying, "status 0, frames go on");
    return true;
}

// The driver's colour choice switches a colour sensor between RGB8 and Mono8
// while it plays, followed by VdPlay.
void Checker::formats(VdHandle h)
{
    if (monoSensor)
        return;
    if (!formatSet) {
        row(Check::MonoOutput).detail = "RGB8 could not be set";
        return;
    }
    progress("switching the output format");
    auto switchTo = [&](int media, unsigned format, int bpp) {
        {
            std::lock_guard<std::mutex> lk(s.mu);
            s.expectedBpp = 0;
            s.lastBpp = 0;
        }
        // The driver's order: media type, output format, play.
        const bool calls = okAll(Check::MonoOutput, {s.sdk.setMediaType(h, media),
                                                     s.sdk.setIspOutFormat(h, format), s.sdk.play(h)});
        const bool arrived = s.waitFor(s.opt.deadlineMs, [&] { return s.lastBpp == bpp; });
        std::lock_guard<std::mutex> lk(s.mu);
        s.expectedBpp = arrived ? bpp : 0;
        return calls && arrived;
    };
    if (!switchTo(VD_MEDIA_MONO, VD_PIXEL_MONO8, 1)) {
        fail(Check::MonoOutput, "no frame of 1 byte per pixel after switching to Mono8");
    } else {
        const long n = s.frameCount();
        const bool steady = s.waitFrames(n + 3);
        if (!switchTo(VD_MEDIA_COLOR, VD_PIXEL_RGB8, 3))
            fail(Check::MonoOutput, "no frame of 3 bytes per pixel after switching back to RGB8");
        else if (!steady)
            fail(Check::MonoOutput, "frames stopped in Mono8");
        else
            pass(Check::MonoOutput, "Mono8 1 byte per pixel, back to RGB8 3");
    }
}

bool Checker::triggers(VdHandle h, int initialMode)
{
    progress("trigger modes and software triggers");
    int software = -1;
    const VdStatus s1 = s.sdk.setTriggerMode(h, VD_TRIGGER_SOFTWARE);
    const VdStatus g1 = s.sdk.getTriggerMode(h, &software);
    bool modeOk = okAll(Check::TriggerMode, {s1, g1}) && row(Check::TriggerMode).outcome != Outcome::Fail;
    if (modeOk && software != VD_TRIGGER_SOFTWARE) {
        modeOk = false;
        fail(Check::TriggerMode, "mode " + std::to_string(software) + " read back after setting 1 (software)");
    }

    if (!s.waitQuiet()) {
        fail(Check::SoftTrigger, "frames keep coming in software trigger mode");
    } else {
        for (int i = 0; i < kSoftTriggers; ++i) {
            const long n = s.frameCount();
            if (!ok(Check::SoftTrigger, s.sdk.softTrigger(h))) {
                fail(Check::SoftTrigger, "VdSoftTrigger failed");
                break;
            }
            if (!s.waitFrames(n + 1)) {
                fail(Check::SoftTrigger, "no frame within " + seconds(s.opt.deadlineMs) + " of a trigger");
                break;
            }
            s.waitFor(s.opt.quietMs, [&] { return s.frames > n + 1; });
            const long got = s.frameCount() - n;
            if (got != 1) {
                fail(Check::SoftTrigger, std::to_string(got) + " frames for one trigger");
                break;
            }
        }
        pass(Check::SoftTrigger, std::to_string(kSoftTriggers) + " triggers, one frame each");
    }

    // The driver's setContinueCapture.
    int continuous = -1;
    const VdStatus s0 = s.sdk.setTriggerMode(h, VD_TRIGGER_CONTINUOUS);
    const VdStatus g2 = s.sdk.getTriggerMode(h, &continuous);
    modeOk = okAll(Check::TriggerMode, {s0, g2}) && modeOk;
    if (modeOk && continuous != VD_TRIGGER_CONTINUOUS) {
        modeOk = false;
        fail(Check::TriggerMode, "mode " + std::to_string(continuous) + " read back after setting 0 (continuous)");
    }
    if (modeOk)
        pass(Check::TriggerMode, "found in mode " + std::to_string(initialMode) + "; read back 1, then 0");
    else
        fail(Check::TriggerMode, "a trigger mode call failed");

    const long n = s.frameCount();
    if (!s.waitFrames(n + 3)) {
        fail(Check::ContinuousAgain, "no frames within " + seconds(s.opt.deadlineMs) + " of setting mode 0");
        return false;
    }
    pass(Check::ContinuousAgain);
    return true;
}

void Checker::quietAfter(Check c, VdStatus st, int framesInFlight, long late0, const char *call)
{
    s.watchLate();
    long late;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        late = s.lateFrames - late0;
    }
    if (!ok(c, st))
        fail(c, std::string(call) + " failed");
    else if (framesInFlight > 0)
        fail(c, std::string("a frame callback was still running when ") + call + " returned");
    else if (late > 0)
        fail(c, std::to_string(late) + " frame callback(s) started after " + call + " returned");
    else
        pass(c, "none in " + seconds(s.opt.quietMs));
}

bool Checker::inside(Action a, Check c, const char *call)
{
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.actionDone = false;
        s.armed = a;
    }
    if (!s.waitFor(s.opt.deadlineMs, [&] { return s.actionDone; })) {
        std::lock_guard<std::mutex> lk(s.mu);
        if (s.armed == a) {
            s.armed = Action::None;
            fail(c, std::string("no frame came to call ") + call + " from");
            return false;
        }
        fail(c, std::string(call) + " did not return within " + seconds(s.opt.deadlineMs)
                    + ": it waits for the callback that called it");
        r.sdkStuck = true;
        return false;
    }
    long late0;
    VdStatus st;
    int inFlight;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        late0 = s.lateFrames;
        st = s.actionStatus;
        inFlight = s.inFlightAtAction;
    }
    // The calling callback itself is still running.
    quietAfter(c, st, inFlight - 1, late0, call);
    if (!s.waitIdle()) {
        fail(c, "a callback did not return");
        r.sdkStuck = true;
        return false;
    }
    reopenWindow();
    return true;
}

bool Checker::stopping(VdHandle h)
{
    progress("stopping and detaching");
    auto closeWindow = [&] {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = true;
        return s.lateFrames;
    };
    auto flowing = [&](Check c) {
        const long n = s.frameCount();
        if (s.waitFrames(n + 2))
            return true;
        fail(c, "no frames to start from");
        return false;
    };

    VdStatus st = s.sdk.stop(h);
    int inFlight = s.frameInFlight.load();
    quietAfter(Check::StopQuiet, st, inFlight, closeWindow(), "VdStop");
    reopenWindow();

    if (!ok(Check::DetachQuiet, s.sdk.play(h)) || !flowing(Check::DetachQuiet)) {
        fail(Check::DetachQuiet, "acquisition did not start again");
        return false;
    }
    st = s.sdk.setCallbackFunction(h, nullptr, nullptr, nullptr);
    inFlight = s.frameInFlight.load();
    quietAfter(Check::DetachQuiet, st, inFlight, closeWindow(), "VdSetCallbackFunction with nulls");
    reopenWindow();
    if (!ok(Check::DetachQuiet, s.sdk.setCallbackFunction(h, &onFrame, &s, nullptr))
        || !flowing(Check::DetachQuiet))
        return false;

    if (!inside(Action::Stop, Check::StopInsideCallback, "VdStop"))
        return false;

    if (!ok(Check::DetachInsideCallback, s.sdk.play(h)) || !flowing(Check::DetachInsideCallback))
        return false;
    if (!inside(Action::Detach, Check::DetachInsideCallback, "VdSetCallbackFunction with nulls"))
        return false;
    s.sdk.stop(h);
    if (!ok(Check::UnInitQuiet, s.sdk.setCallbackFunction(h, &onFrame, &s, nullptr))) {
        fail(Check::UnInitQuiet, "the frame callback could not be registered again");
        return false;
    }

    st = s.sdk.setConnectionStatusCallback(h, nullptr, nullptr);
    const int statusIn = s.statusInFlight.load();
    long late0;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.statusClosed = true;
        late0 = s.lateStatus;
    }
    s.watchLate();
    long lateStatus;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        lateStatus = s.lateStatus - late0;
    }
    if (!ok(Check::DetachStatus, st))
        fail(Check::DetachStatus, "VdSetConnectionStatusCallback with nulls failed");
    else if (statusIn > 0 || lateStatus > 0)
        fail(Check::DetachStatus, "a status callback ran after detaching");
    else
        pass(Check::DetachStatus, "status 0");

    if (!ok(Check::UnInitQuiet, s.sdk.play(h)) || !flowing(Check::UnInitQuiet))
        return false;
    st = s.sdk.unInit(h);
    inFlight = s.frameInFlight.load() + s.statusInFlight.load();
    quietAfter(Check::UnInitQuiet, st, inFlight, closeWindow(), "VdUnInit");
    return true;
}

void Checker::interactive()
{
    VdHandle h = -1;
    if (!open(h, Check::UnplugMessage, Check::UnplugMessage))
        return;
    const long n = s.frameCount();
    if (!ok(Check::UnplugMessage, s.sdk.play(h)) || !s.waitFrames(n + 3)) {
        fail(Check::UnplugMessage, "no frames before the unplug");
        closeQuietly(h);
        return;
    }
    size_t before;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.closeOnLoss = true;
        s.closeDone = false;
        before = s.messages.size();
    }
    s.opt.prompt("Unplug camera " + serial + " now (its network cable or its power), then press Enter.");
    const bool lost = s.waitFor(s.opt.deadlineMs, [&] {
        for (size_t i = before; i < s.messages.size(); ++i)
            if (s.messages[i].msg == VD_MSG_LINK_LOST)
                return true;
        return false;
    });
    if (!lost) {
        fail(Check::UnplugMessage, "no link-lost message within " + seconds(s.opt.deadlineMs) + " of the unplug");
        {
            std::lock_guard<std::mutex> lk(s.mu);
            s.closeOnLoss = false;
        }
        closeQuietly(h);
    } else {
        Message m{};
        {
            std::lock_guard<std::mutex> lk(s.mu);
            for (size_t i = before; i < s.messages.size(); ++i)
                if (s.messages[i].msg == VD_MSG_LINK_LOST) {
                    m = s.messages[i];
                    break;
                }
        }
        const std::string what = std::string("message 0, parameter ") + std::to_string(m.param)
                                 + (m.param ? " (power lost)" : " (network failure)");
        if (!m.sdkThread)
            fail(Check::UnplugMessage, what + ", on the thread that called the SDK");
        else if (!m.rightHandle || !m.rightContext)
            fail(Check::UnplugMessage, what + ", with another handle or context than registered");
        else
            pass(Check::UnplugMessage, what);

        if (!s.waitFor(s.opt.deadlineMs, [&] { return s.closeDone; })) {
            fail(Check::CloseInsideStatus,
                 "closing did not return within " + seconds(s.opt.deadlineMs) + ": it waits for the callback");
            r.sdkStuck = true;
            return;
        }
        long lateF0, lateS0;
        {
            std::lock_guard<std::mutex> lk(s.mu);
            lateF0 = s.lateFrames;
            lateS0 = s.lateStatus;
        }
        s.watchLate();
        std::lock_guard<std::mutex> lk(s.mu);
        ok(Check::CloseInsideStatus, s.closeStatus);
        const std::string stop = "VdStop " + statusText(s.closeStopStatus);
        if (s.closeStatus != VD_OK)
            fail(Check::CloseInsideStatus, "detaching or VdUnInit failed; " + stop);
        else if (s.framesInFlightAtClose > 0 || s.statusInFlightAtClose > 1)
            fail(Check::CloseInsideStatus, "a callback was still running when VdUnInit returned");
        else if (s.lateFrames != lateF0 || s.lateStatus != lateS0)
            fail(Check::CloseInsideStatus, "a callback started after VdUnInit returned");
        else
            pass(Check::CloseInsideStatus, stop + ", detached, released");
    }
    if (!s.waitIdle()) {
        r.sdkStuck = true;
        return;
    }

    s.opt.prompt("Plug camera " + serial + " back in and let it start up, then press Enter.");
    const auto start = Clock::now();
    int count = 0;
    bool listed = false;
    VdStatus st = VD_OK;
    VdDeviceInfo again{};
    for (;;) {
        std::vector<VdDeviceInfo> table(kTableSize);
        count = kTableSize;
        st = s.sdk.enumerateDevice(table.data(), &count);
        for (int i = 0; st == VD_OK && i < std::min(count, kTableSize); ++i)
            if (fieldText(table[size_t(i)].serialNumber) == serial) {
                listed = true;
                again = table[size_t(i)];
            }
        if (listed || Clock::now() - start > milliseconds(s.opt.replugMs))
            break;
        std::this_thread::sleep_for(milliseconds(kReplugPollMs));
    }
    ok(Check::ReplugEnumerate, st);
    if (!listed) {
        fail(Check::ReplugEnumerate, serial + " not listed within " + seconds(s.opt.replugMs));
        return;
    }
    if (count != firstCount)
        fail(Check::ReplugEnumerate, std::to_string(count) + " device(s) instead of " + std::to_string(firstCount)
                                         + ": the driver reconnects only at the same count");
    else
        pass(Check::ReplugEnumerate, std::to_string(count) + " device(s)");

    record = again;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = false;
        s.statusClosed = false;
    }
    if (!open(h, Check::ReplugOpen, Check::ReplugOpen))
        return;
    const long m = s.frameCount();
    if (!ok(Check::ReplugOpen, s.sdk.play(h)) || !s.waitFrames(m + 3))
        fail(Check::ReplugOpen, "no frames after reopening");
    else
        pass(Check::ReplugOpen);
    closeQuietly(h);
}

void Checker::run()
{
    for (size_t i = 0; i < size_t(Check::Count); ++i) {
        Row &rw = r.rows[i];
        rw.check = Check(i);
        rw.name = detail::checkName(Check(i));
        rw.detail = "not reached";
    }
    if (!s.opt.interactive)
        for (Check c : {Check::UnplugMessage, Check::CloseInsideStatus, Check::ReplugEnumerate, Check::ReplugOpen})
            row(c).detail = "needs --interactive";

    if (!enumerate())
        return;
    progress("opening " + r.camera);
    VdHandle h = -1;
    if (!open(h, Check::Open, Check::RegisterCallbacks))
        return;
    pass(Check::Open, "handle " + std::to_string(h));
    pass(Check::RegisterCallbacks);
    if (!describeCamera(h)) {
        closeQuietly(h);
        return;
    }
    // Acquisition as the driver starts it: continuous.
    int initialMode = -1;
    const VdStatus g = s.sdk.getTriggerMode(h, &initialMode);
    const VdStatus c = s.sdk.setTriggerMode(h, VD_TRIGGER_CONTINUOUS);
    if (!okAll(Check::TriggerMode, {g, c}))
        fail(Check::TriggerMode, "reading the mode " + statusText(g) + ", setting continuous " + statusText(c));
    if (!stream(h)) {
        closeQuietly(h);
        return;
    }
    formats(h);
    if (!triggers(h, initialMode)) {
        closeQuietly(h);
        return;
    }
    if (!stopping(h)) {
        if (!r.sdkStuck)
            closeQuietly(h);
        return;
    }

    progress("reopening");
    if (!open(h, Check::Reopen, Check::Reopen))
        return;
    const long n = s.frameCount();
    if (!ok(Check::Reopen, s.sdk.play(h)) || !s.waitFrames(n + 3)) {
        fail(Check::Reopen, "no frames after reopening");
        closeQuietly(h);
        return;
    }
    pass(Check::Reopen, "handle " + std::to_string(h));
    if (!inside(Action::UnInit, Check::UnInitInsideCallback, "VdUnInit")) {
        if (!r.sdkStuck)
            closeQuietly(h);   // no frame came to release it from
        return;
    }

    if (s.opt.interactive && s.opt.prompt) {
        progress("unplug and replug");
        interactive();
    }
}

// The rows that watch every frame of the run.
void Checker::finish()
{
    if (row(Check::FramesArrive).outcome == Outcome::NotRun)
        return;
    std::lock_guard<std::mutex> lk(s.mu);
    long statusWrong = 0;
    for (const Message &m : s.messages)
        statusWrong += !m.sdkThread || !m.rightContext || !m.rightHandle;
    const std::string counts =
        std::to_string(s.frames) + " frame and " + std::to_string(s.messages.size()) + " status callback(s)";
    if (s.wrongThread > 0)
        fail(Check::CallbackThreads,
             std::to_string(s.wrongThread) + " frame callback(s) on the thread that called the SDK");
    else if (s.wrongHandle > 0 || s.wrongContext > 0 || statusWrong > 0)
        fail(Check::CallbackThreads, "callbacks with another handle or context than registered");
    else if (s.missingArgs > 0)
        fail(Check::CallbackThreads, std::to_string(s.missingArgs) + " frame callback(s) without buffer or header");
    else
        pass(Check::CallbackThreads, counts);

    if (s.badHeaders > 0)
        fail(Check::FrameHeaders, std::to_string(s.badHeaders) + " of " + std::to_string(s.frames)
                                      + " headers do not fit, first " + s.firstBadHeader);
    else
        pass(Check::FrameHeaders, std::to_string(s.frames) + " headers");

    if (s.processFailures > 0) {
        ok(Check::Processing, s.processStatus);
        fail(Check::Processing, std::to_string(s.processFailures) + " of " + std::to_string(s.processed) + " failed");
    } else if (s.guardBroken > 0) {
        fail(Check::Processing, std::to_string(s.guardBroken) + " wrote past the header's byte count");
    } else if (s.countGrew > 0) {
        fail(Check::Processing, std::to_string(s.countGrew) + " raised the byte count beyond the buffer given");
    } else if (s.processed > 0 && s.written == 0) {
        fail(Check::Processing, "no processed frame wrote into the buffer");
    } else if (s.processed == 0) {
        fail(Check::Processing, "no frame could be processed");
    } else {
        ok(Check::Processing, VD_OK);
        pass(Check::Processing, std::to_string(s.processed) + " frames");
    }

    if (s.releaseFailures > 0) {
        ok(Check::Release, s.releaseStatus);
        fail(Check::Release, std::to_string(s.releaseFailures) + " of " + std::to_string(s.releases) + " refused");
    } else {
        ok(Check::Release, VD_OK);
        pass(Check::Release, std::to_string(s.releases) + " buffers");
    }
}

} // namespace
} // namespace detail

Report runChecks(const SdkApi &sdk, const Options &options)
{
    Report report;
    report.rows.resize(size_t(Check::Count));
    auto session = std::make_shared<detail::Session>(sdk, options);
    detail::makeCurrent(session);
    detail::Checker checker(*session, report);
    checker.run();
    checker.finish();
    detail::makeCurrent(nullptr);
    return report;
}

} // namespace vdcheck
