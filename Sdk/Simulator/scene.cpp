#include "scene.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace vdsim {

std::shared_ptr<const SceneImage> loadSceneImage(const std::string &path, std::string &error)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists()) {
        error = path + ": no such file";
        return nullptr;
    }
    if (!info.isFile() || !info.isReadable()) {
        error = path + ": not a readable file";
        return nullptr;
    }
    cv::Mat m;
    try {
        m = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception &) {
        m.release();
    }
    if (m.empty()) {
        error = path + ": not an image OpenCV can read";
        return nullptr;
    }
    if (m.depth() != CV_8U) {
        error = path + ": samples of " + std::to_string(m.elemSize1() * 8)
                + " bits; the simulated cameras deliver 8-bit images";
        return nullptr;
    }
    auto image = std::make_shared<SceneImage>();
    image->path = path;
    switch (m.channels()) {
    case 1:
        image->pixels = m;
        break;
    case 2:   // grey and alpha
        cv::extractChannel(m, image->pixels, 0);
        break;
    case 3:
        cv::cvtColor(m, image->pixels, cv::COLOR_BGR2RGB);
        break;
    case 4:
        cv::cvtColor(m, image->pixels, cv::COLOR_BGRA2RGB);
        break;
    default:
        error = path + ": " + std::to_string(m.channels()) + " channels; the simulated cameras take grey or colour";
        return nullptr;
    }
    if (image->pixels.rows < 1 || image->pixels.cols < 1) {
        error = path + ": empty image";
        return nullptr;
    }
    return image;
}

SceneRender::SceneRender(const SceneImage &image, int width, bool bayer, const SceneLook &look,
                         double illuminationPercent, double noise, uint32_t seed)
    : width_(width)
    , bayer_(bayer)
    , look_(look)
{
    cv::Mat src = image.pixels;
    if (!bayer && src.channels() == 3)
        cv::cvtColor(src, src, cv::COLOR_RGB2GRAY);
    else if (bayer && src.channels() == 1)
        cv::cvtColor(src, src, cv::COLOR_GRAY2RGB);
    cv::Mat scaled;
    cv::resize(src, scaled, cv::Size(width, src.rows), 0, 0, width < src.cols ? cv::INTER_AREA : cv::INTER_LINEAR);
    if (look.mirrorX)
        cv::flip(scaled, scaled, 1);

    // Light per column: the brightness, falling off quadratically towards the edges.
    std::vector<float> light(static_cast<size_t>(width));
    const double half = std::max(1.0, (width - 1) / 2.0);
    for (int x = 0; x < width; ++x) {
        const double t = (x - (width - 1) / 2.0) / half;
        light[size_t(x)] = float(look.brightness * std::max(0.0, 1.0 - illuminationPercent / 100.0 * t * t));
    }
    auto lit = [&](int v, int x) { return uchar(std::min(255.0f, v * light[size_t(x)] + 0.5f)); };

    const int rows = scaled.rows;
    if (!bayer) {
        rows_[0].create(rows, width, CV_8UC1);
        for (int y = 0; y < rows; ++y) {
            const uchar *s = scaled.ptr<uchar>(y);
            uchar *d = rows_[0].ptr<uchar>(y);
            for (int x = 0; x < width; ++x)
                d[x] = lit(s[x], x);
        }
    } else {
        // Sensor lines alternate R G R G ... and G B G B ...
        rows_[0].create(rows, width, CV_8UC1);
        rows_[1].create(rows, width, CV_8UC1);
        for (int y = 0; y < rows; ++y) {
            const uchar *s = scaled.ptr<uchar>(y);
            uchar *even = rows_[0].ptr<uchar>(y);
            uchar *odd = rows_[1].ptr<uchar>(y);
            for (int x = 0; x < width; ++x) {
                const uchar *px = s + 3 * x;
                even[x] = lit(px[(x & 1) ? 1 : 0], x);
                odd[x] = lit(px[(x & 1) ? 2 : 1], x);
            }
        }
    }

    if (noise > 0) {
        constexpr int kNoiseRows = 61;
        noiseUp_.create(kNoiseRows, width, CV_8UC1);
        noiseDown_.create(kNoiseRows, width, CV_8UC1);
        std::mt19937 gen(seed);
        std::normal_distribution<double> normal(0.0, noise);
        for (int y = 0; y < kNoiseRows; ++y) {
            uchar *up = noiseUp_.ptr<uchar>(y);
            uchar *down = noiseDown_.ptr<uchar>(y);
            for (int x = 0; x < width; ++x) {
                const long v = std::lround(std::clamp(normal(gen), -255.0, 255.0));
                up[x] = uchar(v > 0 ? v : 0);
                down[x] = uchar(v < 0 ? -v : 0);
            }
        }
    }
}

void SceneRender::fill(unsigned char *raw, int height, uint32_t frameId, double speed, bool mirrorY) const
{
    const uint64_t sceneRows = uint64_t(rows_[0].rows);
    const uint64_t first = uint64_t(frameId > 0 ? frameId - 1 : 0) * uint64_t(height);
    const size_t w = size_t(width_);
    for (int r = 0; r < height; ++r) {
        const uint64_t row = uint64_t(std::floor(double(first + uint64_t(r)) * speed)) % sceneRows;
        const int line = mirrorY ? height - 1 - r : r;
        const uchar *src = rows_[bayer_ ? (line & 1) : 0].ptr<uchar>(int(row));
        uchar *dst = raw + size_t(line) * w;
        if (noiseUp_.empty()) {
            std::memcpy(dst, src, w);
            continue;
        }
        // The noise row changes with every line and frame, from the seed's table.
        const uint32_t mix = (frameId * 2654435761u) ^ (uint32_t(r) * 40503u + 0x9E3779B9u);
        const int k = int(mix % uint32_t(noiseUp_.rows));
        const cv::Mat in(1, width_, CV_8UC1, const_cast<uchar *>(src));
        cv::Mat out(1, width_, CV_8UC1, dst);
        cv::add(in, noiseUp_.row(k), out);
        cv::subtract(out, noiseDown_.row(k), out);
    }
}

double sceneBrightness(double exposure, double exposureMin, double exposureMax, double gain, double gainMin,
                       double gainMax)
{
    double e = 0;
    if (exposureMax > exposureMin) {
        const double x = std::clamp(exposure, exposureMin, exposureMax);
        e = exposureMin > 0 ? std::log(x / exposureMin) / std::log(exposureMax / exposureMin)
                            : (x - exposureMin) / (exposureMax - exposureMin);
    }
    double g = 0;
    if (gainMax > gainMin)
        g = (std::clamp(gain, gainMin, gainMax) - gainMin) / (gainMax - gainMin);
    return std::exp2(e) * std::exp2(g);
}

} // namespace vdsim
