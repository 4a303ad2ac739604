// vdcamsdk-check: does an SDK build behave as the driver relies on? Uses the
// SDK's public interface only, so that it runs against any build of it, with
// real cameras attached.
#pragma once

#include "vdcamsdk.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace vdcheck {

// The SDK's entry points. The check calls them through this table so that a
// test can put a misbehaving SDK in place of a sound one.
struct SdkApi {
    decltype(&VdSdkInit) sdkInit = &VdSdkInit;
    decltype(&VdEnumerateDevice) enumerateDevice = &VdEnumerateDevice;
    decltype(&VdInit) init = &VdInit;
    decltype(&VdUnInit) unInit = &VdUnInit;
    decltype(&VdSetConnectionStatusCallback) setConnectionStatusCallback = &VdSetConnectionStatusCallback;
    decltype(&VdSetCallbackFunction) setCallbackFunction = &VdSetCallbackFunction;
    decltype(&VdGetCapability) getCapability = &VdGetCapability;
    decltype(&VdGetImageResolution) getImageResolution = &VdGetImageResolution;
    decltype(&VdGetExposureLineTime) getExposureLineTime = &VdGetExposureLineTime;
    decltype(&VdPlay) play = &VdPlay;
    decltype(&VdStop) stop = &VdStop;
    decltype(&VdImageProcess) imageProcess = &VdImageProcess;
    decltype(&VdReleaseImageBuffer) releaseImageBuffer = &VdReleaseImageBuffer;
    decltype(&VdSetMediaType) setMediaType = &VdSetMediaType;
    decltype(&VdSetIspOutFormat) setIspOutFormat = &VdSetIspOutFormat;
    decltype(&VdSoftTrigger) softTrigger = &VdSoftTrigger;
    decltype(&VdSetTriggerMode) setTriggerMode = &VdSetTriggerMode;
    decltype(&VdGetTriggerMode) getTriggerMode = &VdGetTriggerMode;
};

// Every check, in the order they run and are printed.
enum class Check {
    SdkInit,
    Enumerate,
    EnumerateTexts,
    CameraFound,
    EnumerateAgain,
    Open,
    RegisterCallbacks,
    Capability,
    Resolution,
    LineTime,
    OutputFormat,
    Play,
    FramesArrive,
    CallbackThreads,
    FrameHeaders,
    Processing,
    Release,
    PlayWhilePlaying,
    MonoOutput,
    TriggerMode,
    SoftTrigger,
    ContinuousAgain,
    StopQuiet,
    DetachQuiet,
    StopInsideCallback,
    DetachInsideCallback,
    DetachStatus,
    UnInitQuiet,
    Reopen,
    UnInitInsideCallback,
    UnplugMessage,
    CloseInsideStatus,
    ReplugEnumerate,
    ReplugOpen,
    Count
};

enum class Outcome { Pass, Fail, NotRun };

struct Row {
    Check check = Check::SdkInit;
    std::string name;
    Outcome outcome = Outcome::NotRun;
    bool hasStatus = false;
    VdStatus status = VD_OK;   // the first failing status of the calls behind the row, else VD_OK
    std::string detail;
};

struct Options {
    std::string camera;        // serial number; empty: the first VD-XG camera
    double seconds = 5.0;      // how long the frame stream is watched
    bool interactive = false;  // unplug and replug a camera on request
    // Asks the person at the machine to do something; returns when they have.
    std::function<void(const std::string &)> prompt;
    // Progress lines while the check runs.
    std::function<void(const std::string &)> progress;
    int quietMs = 500;         // how long a "no callback afterwards" is watched
    int deadlineMs = 10000;    // for a frame, a message, a call made inside a callback
    int replugMs = 120000;     // for a replugged camera to be listed again
};

struct Report {
    std::vector<Row> rows;     // one per Check, in order
    std::string camera;        // serial number and product checked, if one was found
    std::string deviceVersion; // the checked camera's record's device version; empty if it gives none
    // Not empty when the camera asked for (or, without one, any VD-XG camera)
    // is not listed: the reason, naming the cameras that are. A setup
    // mistake rather than the SDK's fault; the camera row fails with it.
    std::string cameraMissing;
    // An SDK call made inside a callback never returned; SDK threads may
    // still be inside the check, so the process should end without cleanup.
    bool sdkStuck = false;

    const Row &row(Check c) const { return rows[static_cast<size_t>(c)]; }
    // True when no check failed.
    bool passed() const;
};

// Runs on the calling thread, which is also where options.prompt and
// options.progress are called. One run at a time per process: the SDK's
// callbacks report to the single run in progress.
Report runChecks(const SdkApi &sdk, const Options &options);
void printReport(const Report &report, std::ostream &out);
// "0 VD_OK", "-8 VD_ERR_LINK_DOWN", ...
std::string statusText(VdStatus status);

} // namespace vdcheck
