// vdcamsdk-check: runs every check against the SDK this program is linked
// with, prints the table, and exits 0 only when every check passed.
#include "sdkcheck.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "Usage: vdcamsdk-check [--camera SERIAL] [--seconds S] [--interactive]\n"
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
    "\n"
    "Exit status: 0 every check passed, 1 a check failed, 2 bad options.\n";

int badOptions(const std::string &why)
{
    std::cerr << "vdcamsdk-check: " << why << "\n\n" << kUsage;
    return 2;
}

} // namespace

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
            return 0;
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

    const vdcheck::Report report = vdcheck::runChecks(vdcheck::SdkApi(), options);
    std::cout << "\n";
    vdcheck::printReport(report, std::cout);
    std::cout.flush();
    const int status = report.passed() ? 0 : 1;
    // An SDK thread stuck in a call may keep the process from ending normally.
    if (report.sdkStuck)
        std::_Exit(status);
    return status;
}
