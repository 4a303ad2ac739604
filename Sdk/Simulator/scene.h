// A scene under a simulated line-scan camera: an image that moves as a web,
// one image row per camera line times the speed, wrapping at its end.
//
// Threading contract: SceneRender is immutable once built, and SceneImage
// but for the drawing it keeps (behind its own lock); both are shared
// between the threads that fill frames.
#ifndef VDSIM_SCENE_H
#define VDSIM_SCENE_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vdsim {

// The image as read: 8-bit grey (CV_8UC1) or RGB (CV_8UC3); or a scene the
// simulator draws at the sensor's own width.
struct SceneImage {
    std::string path;
    cv::Mat pixels;
    std::string drawn;   // the name of a drawn scene; pixels then stay empty

    // What the camera sees across `width` columns before scaling: a drawn
    // scene at that width (drawn once, then kept for the width last
    // asked), else the image as read.
    cv::Mat at(int width) const;

private:
    mutable std::mutex drawMu_;
    mutable cv::Mat drawing_;   // guarded by drawMu_
};

// Reads an image OpenCV can read, 8-bit, as grey (CV_8UC1) or RGB (CV_8UC3);
// on failure says why, naming the file.
bool readSimImage(const std::string &path, cv::Mat &out, std::string &error);
std::shared_ptr<const SceneImage> loadSceneImage(const std::string &path, std::string &error);
// One object per drawn scene for the whole process, so that cameras of the
// same width share its drawing; null for a name that is no drawn scene.
std::shared_ptr<const SceneImage> drawnSceneImage(const std::string &name);

// Which web line each line of a frame shows: consecutive from `first`, or,
// when positions is given, one web line per frame line (an encoder's
// triggers with some missed).
struct FrameLines {
    uint64_t first = 0;
    const uint64_t *positions = nullptr;
    uint64_t at(int r) const { return positions ? positions[r] : first + uint64_t(r); }
};

// How the camera sees the scene right now; a change needs a new render.
struct SceneLook {
    double brightness = 1.0;   // exposure and gain together
    bool mirrorX = false;
    bool operator==(const SceneLook &o) const { return brightness == o.brightness && mirrorX == o.mirrorX; }
};

// The scene prepared for one sensor: scaled to its width, lit, and for a
// colour sensor already laid out as Bayer RG mosaic lines, so that a frame
// line is one copy (plus the noise, if any). The prepared web runs on past
// its end by a frame's height less one line, repeating its start, so that
// any frame of consecutive rows is one stretch of it: such a frame is lent
// straight from the web instead of being copied (see view()).
class SceneRender
{
public:
    SceneRender(const SceneImage &image, int width, int frameHeight, bool bayer, const SceneLook &look,
                double illuminationPercent, double noise, uint32_t seed);

    const SceneLook &look() const { return look_; }
    // Line r of a frame shows image row floor(lines.at(r) * speed) modulo
    // the image's height; mirrorY turns the frame upside down.
    //
    // The frame's pixels inside the web, when they are one stretch of it
    // (consecutive lines, speed 1, no noise, upright, not wrapping past the
    // run-on); null otherwise. Valid as long as this render lives; never to
    // be written.
    const unsigned char *view(int height, const FrameLines &lines, double speed, bool mirrorY) const;
    // Fills a raw frame of the width given at construction; frameId picks
    // the rows of the noise table.
    void fill(unsigned char *raw, int height, const FrameLines &lines, uint32_t frameId, double speed,
              bool mirrorY) const;

private:
    // Image row y as sensor line of parity `line & 1` sees it.
    const uchar *row(int line, uint64_t y) const;

    int width_;
    int sceneRows_;
    bool bayer_;
    SceneLook look_;
    // Row k of web_[q] is image row k modulo sceneRows_, as a line of parity
    // (k + q) & 1 sees it: R G R G ... on even, G B G B ... on odd parities.
    // A grey sensor needs only web_[0]. Both run on past sceneRows_.
    cv::Mat web_[2];
    cv::Mat noise_;          // rows of signed noise, one per line drawn from them
};

// Brightness of the scene at an exposure and gain: the light gathered grows
// with the exposure, 1 at the exposure that shows the scene as drawn; the
// gain doubles it across its range (values outside count as its end). A
// sensor line saturates where that takes a pixel past 255.
double sceneBrightness(double exposureUs, double asDrawnUs, double gain, double gainMin, double gainMax);

} // namespace vdsim

#endif
