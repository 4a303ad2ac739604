#include "scene.h"

#include "scenedraw.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace vdsim {

bool readSimImage(const std::string &path, cv::Mat &out, std::string &error)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists()) {
        error = path + ": no such file";
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        error = path + ": not a readable file";
        return false;
    }
    cv::Mat m;
    try {
        m = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception &) {
        m.release();
    }
    if (m.empty()) {
        error = path + ": not an image OpenCV can read";
        return false;
    }
    if (m.depth() != CV_8U) {
        error = path + ": samples of " + std::to_string(m.elemSize1() * 8)
                + " bits; the simulated cameras deliver 8-bit images";
        return false;
    }
    switch (m.channels()) {
    case 1:
        out = m;
        return true;
    case 2:   // grey and alpha
        cv::extractChannel(m, out, 0);
        return true;
    case 3:
        cv::cvtColor(m, out, cv::COLOR_BGR2RGB);
        return true;
    case 4:
        cv::cvtColor(m, out, cv::COLOR_BGRA2RGB);
        return true;
    default:
        error = path + ": " + std::to_string(m.channels()) + " channels; the simulated cameras take grey or colour";
        return false;
    }
}

std::shared_ptr<const SceneImage> loadSceneImage(const std::string &path, std::string &error)
{
    auto image = std::make_shared<SceneImage>();
    if (!readSimImage(path, image->pixels, error))
        return nullptr;
    image->path = path;
    return image;
}

std::shared_ptr<const SceneImage> drawnSceneImage(const std::string &name)
{
    if (!isDrawnScene(name))
        return nullptr;
    static std::mutex mu;
    static std::map<std::string, std::shared_ptr<const SceneImage>> *scenes =
        new std::map<std::string, std::shared_ptr<const SceneImage>>;   // lives as long as SDK threads may
    std::lock_guard<std::mutex> lk(mu);
    auto &scene = (*scenes)[name];
    if (!scene) {
        auto image = std::make_shared<SceneImage>();
        image->path = name;
        image->drawn = name;
        scene = image;
    }
    return scene;
}

cv::Mat SceneImage::at(int width) const
{
    if (drawn.empty())
        return pixels;
    std::lock_guard<std::mutex> lk(drawMu_);
    if (drawing_.cols != width)
        drawing_ = drawScene(drawn, width);
    return drawing_;
}

namespace {

// Bytes of run-on a render may add past its scene; a frame that would need
// more wraps by copy instead.
constexpr uint64_t kRunOnBudget = uint64_t(256) << 20;

// dst = src + noise, saturating; one pass over one table row, so that a
// noisy line costs little more than its copy.
void addNoise(const uchar *src, const schar *noise, uchar *dst, int width)
{
    int x = 0;
#if CV_SIMD
    const int step = cv::v_uint8::nlanes;
    const cv::v_int8 zero = cv::vx_setzero_s8();
    for (; x + step <= width; x += step) {
        const cv::v_int8 n = cv::vx_load(noise + x);
        const cv::v_uint8 up = cv::v_reinterpret_as_u8(cv::v_max(n, zero));
        const cv::v_uint8 down = cv::v_reinterpret_as_u8(cv::v_max(zero - n, zero));
        cv::v_store(dst + x, cv::vx_load(src + x) + up - down);   // 8-bit lanes saturate
    }
#endif
    for (; x < width; ++x)
        dst[x] = uchar(std::clamp(src[x] + noise[x], 0, 255));
}

} // namespace

SceneRender::SceneRender(const SceneImage &image, int width, int frameHeight, bool bayer, const SceneLook &look,
                         double illuminationPercent, double noise, uint32_t seed)
    : width_(width)
    , bayer_(bayer)
    , look_(look)
{
    cv::Mat src = image.at(width);
    if (!bayer && src.channels() == 3)
        cv::cvtColor(src, src, cv::COLOR_RGB2GRAY);
    else if (bayer && src.channels() == 1)
        cv::cvtColor(src, src, cv::COLOR_GRAY2RGB);
    // A drawn scene is at the sensor's width already, and is shared: flipped into a copy.
    cv::Mat scaled = src;
    if (src.cols != width)
        cv::resize(src, scaled, cv::Size(width, src.rows), 0, 0, width < src.cols ? cv::INTER_AREA : cv::INTER_LINEAR);
    if (look.mirrorX) {
        cv::Mat flipped;
        cv::flip(scaled, flipped, 1);
        scaled = flipped;
    }

    // Light per column: the brightness, falling off quadratically towards the edges.
    std::vector<float> light(static_cast<size_t>(width));
    const double half = std::max(1.0, (width - 1) / 2.0);
    for (int x = 0; x < width; ++x) {
        const double t = (x - (width - 1) / 2.0) / half;
        light[size_t(x)] = float(look.brightness * std::max(0.0, 1.0 - illuminationPercent / 100.0 * t * t));
    }
    auto lit = [&](int v, int x) { return uchar(std::min(255.0f, v * light[size_t(x)] + 0.5f)); };

    const int rows = scaled.rows;
    sceneRows_ = rows;
    const int phases = bayer ? 2 : 1;
    const uint64_t rowBytes = uint64_t(width) * uint64_t(phases);
    // A noisy frame is always drawn, so its web needs no run-on.
    const uint64_t runOnRows = noise > 0 ? 0
                                         : std::min<uint64_t>(uint64_t(std::max(frameHeight - 1, 0)),
                                                              kRunOnBudget / rowBytes);
    for (int q = 0; q < phases; ++q)
        web_[q].create(rows + int(runOnRows), width, CV_8UC1);
    for (int y = 0; y < rows; ++y) {
        const uchar *s = scaled.ptr<uchar>(y);
        if (!bayer) {
            uchar *d = web_[0].ptr<uchar>(y);
            for (int x = 0; x < width; ++x)
                d[x] = lit(s[x], x);
            continue;
        }
        // Sensor lines alternate R G R G ... and G B G B ...
        for (int q = 0; q < 2; ++q) {
            uchar *d = web_[q].ptr<uchar>(y);
            const bool odd = ((y + q) & 1) != 0;
            for (int x = 0; x < width; ++x) {
                const uchar *px = s + 3 * x;
                d[x] = lit(odd ? px[(x & 1) ? 2 : 1] : px[(x & 1) ? 1 : 0], x);
            }
        }
    }
    for (int k = rows; k < web_[0].rows; ++k) {
        const int y = k % rows;
        for (int q = 0; q < phases; ++q)   // an odd scene height turns the parity over at each wrap
            web_[bayer ? (q + k + y) & 1 : 0].row(y).copyTo(web_[q].row(k));
    }

    if (noise > 0) {
        constexpr int kNoiseRows = 61;
        noise_.create(kNoiseRows, width, CV_8SC1);
        std::mt19937 gen(seed);
        std::normal_distribution<double> normal(0.0, noise);
        for (int y = 0; y < kNoiseRows; ++y) {
            schar *n = noise_.ptr<schar>(y);
            for (int x = 0; x < width; ++x)
                n[x] = schar(std::lround(std::clamp(normal(gen), -127.0, 127.0)));
        }
    }
}

const uchar *SceneRender::row(int line, uint64_t y) const
{
    return web_[bayer_ ? int((uint64_t(line) + y) & 1u) : 0].ptr<uchar>(int(y));
}

const unsigned char *SceneRender::view(int height, const FrameLines &lines, double speed, bool mirrorY) const
{
    if (speed != 1.0 || mirrorY || !noise_.empty() || height <= 0 || lines.positions)
        return nullptr;
    const uint64_t start = lines.first % uint64_t(sceneRows_);
    if (start + uint64_t(height) > uint64_t(web_[0].rows))
        return nullptr;
    // Line r is web row start + r, seen at parity r & 1: the web whose rows
    // have that parity at start.
    return web_[bayer_ ? int(start & 1u) : 0].ptr<uchar>(int(start));
}

void SceneRender::fill(unsigned char *raw, int height, const FrameLines &lines, uint32_t frameId, double speed,
                       bool mirrorY) const
{
    const uint64_t sceneRows = uint64_t(sceneRows_);
    const size_t w = size_t(width_);
    for (int r = 0; r < height; ++r) {
        const uint64_t y = uint64_t(std::floor(double(lines.at(r)) * speed)) % sceneRows;
        const int line = mirrorY ? height - 1 - r : r;
        const uchar *src = row(line, y);
        uchar *dst = raw + size_t(line) * w;
        if (noise_.empty()) {
            std::memcpy(dst, src, w);
            continue;
        }
        // The noise row changes with every line and frame, from the seed's table.
        const uint32_t mix = (frameId * 2654435761u) ^ (uint32_t(r) * 40503u + 0x9E3779B9u);
        const int k = int(mix % uint32_t(noise_.rows));
        addNoise(src, noise_.ptr<schar>(k), dst, width_);
    }
}

double sceneBrightness(double exposureUs, double asDrawnUs, double gain, double gainMin, double gainMax)
{
    const double light = asDrawnUs > 0 ? std::max(exposureUs, 0.0) / asDrawnUs : 1.0;
    double g = 0;
    if (gainMax > gainMin)
        g = (std::clamp(gain, gainMin, gainMax) - gainMin) / (gainMax - gainMin);
    return light * std::exp2(g);
}

} // namespace vdsim
