// The table that vdcamsdk-check prints: the check names, the status texts and
// the summary line. Plain functions of the report; no state of their own.
#include "report.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace vdcheck {
namespace detail {
namespace {

const char *const kNames[] = {
    "VdSdkInit, and again as every enumeration calls it",
    "VdEnumerateDevice: count within 0..20, no record past 20",
    "device records: texts terminated within their fields",
    "camera to check: listed, serial of 9+ characters, unique",
    "VdEnumerateDevice again without VdSdkInit: same count",
    "VdInit opens the camera",
    "status and frame callbacks registered",
    "VdGetCapability: sizes of 64+ pixels, ranges min <= max",
    "VdGetImageResolution: geometry within the sensor",
    "VdGetExposureLineTime: a positive line time",
    "VdSetMediaType, VdSetIspOutFormat: RGB8 output",
    "VdPlay starts acquisition",
    "frames arrive, to the end of the run",
    "callbacks on SDK threads, with their handle and context",
    "frame headers: byte count = width x height x bytes per pixel",
    "VdImageProcess into a buffer of the header's byte count",
    "VdReleaseImageBuffer takes every raw buffer back",
    "VdPlay while playing (as a reload does): frames go on",
    "Mono8 output while playing: 1 byte per pixel",
    "trigger mode round trip: software, continuous",
    "VdSoftTrigger: one frame per trigger",
    "continuous mode again: frames flow",
    "VdStop: no frame callback afterwards",
    "frame callback detached while playing: none afterwards",
    "VdStop inside a frame callback: returns, none afterwards",
    "detach inside a frame callback: returns, none afterwards",
    "status callback detached: none afterwards",
    "VdUnInit while playing: no callback afterwards",
    "VdInit again after VdUnInit: frames arrive",
    "VdUnInit inside a frame callback: returns, none afterwards",
    "unplug: link-lost message on an SDK thread",
    "close inside the link-lost message: returns, none afterwards",
    "replug: listed again with the same device count",
    "replug: opens again, frames arrive",
};
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(Check::Count), "a name for every check");

} // namespace

const char *checkName(Check c)
{
    return kNames[static_cast<size_t>(c)];
}

} // namespace detail

bool Report::passed() const
{
    return !rows.empty()
           && std::none_of(rows.begin(), rows.end(), [](const Row &rw) { return rw.outcome == Outcome::Fail; });
}

std::string statusText(VdStatus status)
{
    const char *name = "unknown status";
    switch (status) {
    case VD_OK: name = "VD_OK"; break;
    case VD_ERR_NOT_INITIALISED: name = "VD_ERR_NOT_INITIALISED"; break;
    case VD_ERR_BAD_HANDLE: name = "VD_ERR_BAD_HANDLE"; break;
    case VD_ERR_NO_DEVICE: name = "VD_ERR_NO_DEVICE"; break;
    case VD_ERR_BUSY: name = "VD_ERR_BUSY"; break;
    case VD_ERR_BAD_ARGUMENT: name = "VD_ERR_BAD_ARGUMENT"; break;
    case VD_ERR_UNSUPPORTED_FORMAT: name = "VD_ERR_UNSUPPORTED_FORMAT"; break;
    case VD_ERR_NOT_PLAYING: name = "VD_ERR_NOT_PLAYING"; break;
    case VD_ERR_LINK_DOWN: name = "VD_ERR_LINK_DOWN"; break;
    case VD_ERR_INTERNAL: name = "VD_ERR_INTERNAL"; break;
    default: break;
    }
    return std::to_string(status) + " " + name;
}

void printReport(const Report &report, std::ostream &out)
{
    size_t nameWidth = 5;
    size_t statusWidth = 10;
    for (const Row &rw : report.rows) {
        nameWidth = std::max(nameWidth, rw.name.size());
        if (rw.hasStatus)
            statusWidth = std::max(statusWidth, statusText(rw.status).size());
    }
    out << "vdcamsdk-check: " << (report.camera.empty() ? std::string("no camera") : report.camera);
    if (!report.camera.empty())
        out << (report.deviceVersion.empty() ? ", no device version in its record"
                                             : ", device version " + report.deviceVersion);
    out << "\n\n";
    out << std::left << std::setw(3) << "#" << "  " << std::setw(int(nameWidth)) << "check" << "  "
        << std::setw(7) << "result" << "  " << std::setw(int(statusWidth)) << "SDK status" << "  detail\n";
    int passed = 0, failed = 0, notRun = 0;
    for (size_t i = 0; i < report.rows.size(); ++i) {
        const Row &rw = report.rows[i];
        const char *result = rw.outcome == Outcome::Pass ? "pass" : rw.outcome == Outcome::Fail ? "FAIL" : "-";
        passed += rw.outcome == Outcome::Pass;
        failed += rw.outcome == Outcome::Fail;
        notRun += rw.outcome == Outcome::NotRun;
        out << std::left << std::setw(3) << i + 1 << "  " << std::setw(int(nameWidth)) << rw.name << "  "
            << std::setw(7) << result << "  " << std::setw(int(statusWidth))
            << (rw.hasStatus ? statusText(rw.status) : std::string("-")) << "  " << rw.detail << "\n";
    }
    out << "\n" << passed << " passed, " << failed << " failed, " << notRun << " not run: "
        << (report.passed() ? "the SDK behaves as the driver relies on" : "NOT as the driver relies on") << "\n";
    if (report.sdkStuck)
        out << "An SDK call did not return; the check stopped there.\n";
}

} // namespace vdcheck
