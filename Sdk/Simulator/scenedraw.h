// The scenes the simulator draws itself, at whatever width the sensor has,
// one image row per camera line at speed 1, so that 1:1 shows every thread
// and letter as drawn: "fabric" (grey) and "printed-sheet" (colour).
// Pure functions; safe on any thread.
#ifndef VDSIM_SCENEDRAW_H
#define VDSIM_SCENEDRAW_H

#include <opencv2/core.hpp>

#include <string>

namespace vdsim {

bool isDrawnScene(const std::string &name);
// The scene `width` columns wide: CV_8UC1 for the fabric, RGB CV_8UC3 for
// the sheet; its height is the scene's own.
cv::Mat drawScene(const std::string &name, int width);

// A woven fabric: plain weave of 8-pixel threads that differ a little in
// thickness and tone, a broken warp thread with its curled end and a stain,
// one of each per 4096 columns.
cv::Mat drawFabric(int width);
// A printed web of pages 2048 columns wide side by side, each with a colour
// bar, registration marks, a heading with its page number, body text and a
// picture box; the first page has an ink smear across its text.
cv::Mat drawPrintedSheet(int width);

} // namespace vdsim

#endif
