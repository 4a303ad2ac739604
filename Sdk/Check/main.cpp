// vdcamsdk-check: runs every check against the SDK this program is linked
// with, prints the table, and exits 0 only when every check passed against
// an SDK that is not the simulator.
#include "loadedsdk.h"
#include "sdkbinding.h"
#include "sdkcheck.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

enum ExitStatus {
    ExitPassed = 0,
    ExitCheckFailed = 1,
    ExitBadOptions = 2,
    ExitNoSdk = 3,
    ExitNoCamera = 4,
    ExitSimulated = 5,
};

const char kUsage[] =
    "Usage: vdcamsdk-check [--camera SERIAL] [--seconds S] [--interactive]\n"
    "       vdcamsdk-check --version\n"
    "\n"
    "Checks that the camera SDK behaves as the Vandrel driver relies on: enumeration,\n"
    "opening and closing, capabilities, acquisition, frame headers, processing, raw\n"
    "buffers, trigger modes, and that no callback runs after detaching, VdStop or\n"
    "VdUnInit. Uses one camera; it must not be in use by another program.\n"
    "\n"
    "  --camera SERIAL  the camera to use (default: the first VD-XG camera listed)\n"
    "  --seconds S      how long the frame stream is watched (default 5)\n"
    "  --interactive    also asks you to unplug and replug the camera, and checks\n"
    "                   the link-lost message and the enumeration afterwards\n"
    "  --version        prints the program's version\n"
    "\n"
    "Exit status: 0 every check passed, 1 a check failed, 2 bad options, 3 the SDK\n"
    "library cannot be loaded, 4 the camera asked for (without --camera: any VD-XG\n"
    "camera) is not listed, 5 every check passed but the SDK is the simulated one,\n"
    "which proves nothing for a line.\n";

int badOptions(const std::string &why)
{
    std::cerr << "vdcamsdk-check: " << why << "\n\n" << kUsage;
    return ExitBadOptions;
}

} // namespace

void vdsdk::reportSdkUnavailable(const std::string &why)
{
    std::cerr << "vdcamsdk-check: " << why << std::endl;
}

int main(int argc, char **argv)
{
    vdcheck::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return ExitPassed;
        } else if (arg == "--version") {
            std::cout << "vdcamsdk-check " VDCAMSDK_CHECK_VERSION "\n";
            return ExitPassed;
        } else if (arg == "--camera") {
            if (!value(options.camera) || options.camera.empty())
                return badOptions("--camera needs a serial number");
        } else if (arg == "--seconds") {
            std::string text;
            if (!value(text))
                return badOptions("--seconds needs a number");
            char *end = nullptr;
            options.seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(options.seconds > 0) || options.seconds > 3600)
                return badOptions("--seconds needs a number above 0 and at most 3600, not " + text);
        } else if (arg == "--interactive") {
            options.interactive = true;
        } else {
            return badOptions("unknown argument " + arg);
        }
    }
    options.prompt = [](const std::string &request) {
        std::cout << "\n>>> " << request << std::endl;
        std::string line;
        std::getline(std::cin, line);
    };
    options.progress = [](const std::string &text) { std::cerr << "vdcamsdk-check: " << text << std::endl; };

    // Linked to the SDK, or loading it now from beside this program: say
    // which one, before anything else, and whether its cameras are real.
    if (!vdsdk::sdkAvailable())
        return ExitNoSdk;
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    std::cout << "vdcamsdk-check " VDCAMSDK_CHECK_VERSION ", SDK library "
              << (sdk.path.empty() ? std::string("unknown (no loaded library defines VdSdkInit)") : sdk.path)
              << "\n";
    if (sdk.simulated)
        std::cout << "*** SIMULATED SDK: " << sdk.identity << "\n"
                  << "*** Its cameras are simulated; passing here says nothing about a line's cameras.\n";
    std::cout.flush();

    const vdcheck::Report report = vdcheck::runChecks(vdcheck::SdkApi(), options);
    int status;
    if (!report.cameraMissing.empty()) {
        std::cerr << "vdcamsdk-check: " << report.cameraMissing << "\n";
        status = ExitNoCamera;
    } else {
        std::cout << "\n";
        vdcheck::printReport(report, std::cout);
        // A failure is the news, simulated or not.
        status = !report.passed() ? ExitCheckFailed : sdk.simulated ? ExitSimulated : ExitPassed;
        if (sdk.simulated)
            std::cout << "simulated SDK: not a proof for a line\n";
    }
    std::cout.flush();
    // An SDK thread stuck in a call may keep the process from ending normally.
    if (report.sdkStuck)
        std::_Exit(status);
    return status;
}
