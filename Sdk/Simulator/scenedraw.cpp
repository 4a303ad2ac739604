#include "scenedraw.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace vdsim {
namespace {

constexpr int kThread = 8;           // pixels per thread of the fabric
constexpr int kFabricRows = 3072;
constexpr int kPageWidth = 2048;
constexpr int kPageRows = 2896;      // the proportions of A4

// Darkens an image region by a soft blob: the blob's mask is drawn and
// blurred only around it, so a stain costs nothing on a wide web.
template <typename Draw>
void stain(cv::Mat &img, cv::Rect area, double sigma, double depth, const cv::Scalar &tint, Draw draw)
{
    area &= cv::Rect(0, 0, img.cols, img.rows);
    if (area.empty())
        return;
    cv::Mat mask(area.size(), CV_32FC1, cv::Scalar(0));
    draw(mask, area.tl());
    cv::GaussianBlur(mask, mask, cv::Size(0, 0), sigma);
    cv::Mat region = img(area);
    const int channels = img.channels();
    for (int y = 0; y < region.rows; ++y) {
        uchar *p = region.ptr<uchar>(y);
        const float *m = mask.ptr<float>(y);
        for (int x = 0; x < region.cols; ++x) {
            const double k = depth * m[x];
            for (int c = 0; c < channels; ++c) {
                uchar &v = p[x * channels + c];
                v = cv::saturate_cast<uchar>(v * (1 - k) + tint[c] * k);
            }
        }
    }
}

void registrationMark(cv::Mat &img, cv::Point centre, int size, const cv::Scalar &colour)
{
    cv::circle(img, centre, size / 2, colour, 4, cv::LINE_AA);
    cv::line(img, centre - cv::Point(size, 0), centre + cv::Point(size, 0), colour, 4, cv::LINE_AA);
    cv::line(img, centre - cv::Point(0, size), centre + cv::Point(0, size), colour, 4, cv::LINE_AA);
}

// One page in BGR, numbered; the body text differs from page to page.
cv::Mat page(int number, bool smeared)
{
    const int w = kPageWidth;
    const int h = kPageRows;
    cv::Mat img(h, w, CV_8UC3, cv::Scalar(236, 242, 245));   // warm paper
    const cv::Scalar black(40, 35, 30), grey(90, 80, 70);
    const cv::Scalar cyan(210, 160, 0), magenta(120, 0, 200), yellow(0, 200, 235);
    const std::array<cv::Scalar, 7> patches{cyan, magenta, yellow, black, cv::Scalar(0, 0, 200),
                                            cv::Scalar(0, 160, 0), cv::Scalar(180, 60, 0)};
    for (int i = 0; i < 24; ++i) {
        const int x0 = 120 + i * 76;
        cv::rectangle(img, cv::Rect(x0, 80, 68, 68), patches[size_t(i) % patches.size()], cv::FILLED);
    }
    for (const cv::Point corner : {cv::Point(80, 240), cv::Point(w - 80, 240), cv::Point(80, h - 120),
                                   cv::Point(w - 80, h - 120)})
        registrationMark(img, corner, 44, black);

    const int font = cv::FONT_HERSHEY_SIMPLEX;
    cv::putText(img, "VANDREL PRESS", cv::Point(140, 380), cv::FONT_HERSHEY_DUPLEX, 4.0, black, 6, cv::LINE_AA);
    char heading[64];
    std::snprintf(heading, sizeof heading, "Line-scan inspection test sheet  No. %04d", number);
    cv::putText(img, heading, cv::Point(144, 480), font, 1.6, grey, 3, cv::LINE_AA);
    cv::rectangle(img, cv::Rect(140, 540, w - 280, 12), magenta, cv::FILLED);

    static const char *const words[] = {"web",   "speed",  "line",    "rate",  "exposure", "gain",  "defect",
                                        "camera", "frame", "print",   "roll",  "ink",      "paper", "register",
                                        "colour", "mark",  "sensor",  "pixel", "width",    "inspect",
                                        "quality", "batch", "shift",  "edge",  "encoder",  "stop"};
    std::mt19937 gen(uint32_t(3 + number));
    std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
    int y = 640;
    for (int paragraph = 0; paragraph < 4; ++paragraph) {
        for (int line = 0; line < 9; ++line) {
            int x = 140;
            for (;;) {
                const char *word = words[pick(gen)];
                int base = 0;
                const cv::Size size = cv::getTextSize(word, font, 1.24, 2, &base);
                if (x + size.width > w - 140)
                    break;
                cv::putText(img, word, cv::Point(x, y), font, 1.24, black, 2, cv::LINE_AA);
                x += size.width + 24;
            }
            y += 56;
        }
        y += 44;
        if (paragraph == 1) {
            // A picture box: a gradient with a circle, like a printed photo.
            const int bw = w - 280;
            cv::Mat box(400, bw, CV_8UC3);
            for (int c = 0; c < bw; ++c) {
                const double t = double(c) / (bw - 1);
                box.col(c).setTo(cyan * t + yellow * (1 - t));
            }
            cv::circle(box, cv::Point(bw / 2, 200), 140, magenta, cv::FILLED, cv::LINE_AA);
            box.copyTo(img(cv::Rect(140, y, bw, 400)));
            y += 480;
        }
    }
    if (smeared)   // ink dragged diagonally across the text
        stain(img, cv::Rect(1000, 1000, 900, 640), 22, 0.55, cv::Scalar(60, 40, 90),
              [](cv::Mat &mask, cv::Point origin) {
                  cv::line(mask, cv::Point(1120, 1120) - origin, cv::Point(1720, 1400) - origin, 1.0, 52,
                           cv::LINE_AA);
              });
    return img;
}

} // namespace

bool isDrawnScene(const std::string &name)
{
    return name == "fabric" || name == "printed-sheet";
}

cv::Mat drawScene(const std::string &name, int width)
{
    return name == "fabric" ? drawFabric(width) : drawPrintedSheet(width);
}

cv::Mat drawFabric(int width)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> tone(0.0, 6.0);
    std::vector<float> warp(size_t(width / kThread + 1)), weft(size_t(kFabricRows / kThread + 1));
    for (float &t : warp)
        t = float(tone(gen));
    for (float &t : weft)
        t = float(tone(gen));
    // Each thread is brightest along its middle; over and under alternate.
    float crest[kThread];
    for (int i = 0; i < kThread; ++i)
        crest[i] = float(0.5 + 0.5 * std::cos(2 * CV_PI * i / kThread));
    cv::Mat img(kFabricRows, width, CV_8UC1);
    for (int y = 0; y < kFabricRows; ++y) {
        uchar *p = img.ptr<uchar>(y);
        const int row = y / kThread;
        const float along = crest[y % kThread];
        for (int x = 0; x < width; ++x) {
            const int column = x / kThread;
            const bool over = ((column + row) & 1) != 0;
            const float v = over ? 70 + 90 * crest[x % kThread] + warp[size_t(column)]
                                 : 70 + 90 * along + weft[size_t(row)];
            p[x] = cv::saturate_cast<uchar>(v);
        }
    }
    // The defects lie elsewhere in every 4096 columns, so that a wide web
    // does not show the same one side by side.
    std::mt19937 place(11);
    for (int left = 0; left < width; left += 4096) {
        std::uniform_int_distribution<int> across(40, 480), down(100, 2200), spot(600, 3400);
        // A broken warp thread: missing over a stretch, its loose end curled.
        const int col = left + across(place) * kThread;
        const int top = down(place), bottom = top + 300 + down(place) / 4;
        if (col + kThread + 2 < width) {
            img(cv::Rect(col - 2, top, kThread + 4, bottom - top)).setTo(45);
            cv::ellipse(img, cv::Point(col + kThread / 2, bottom + 24), cv::Size(20, 28), 0, 180, 400,
                        cv::Scalar(160), 3, cv::LINE_AA);
        }
        // A stain: a darker soft blob with an irregular edge.
        const cv::Point centre(left + spot(place), 300 + down(place));
        const double angle = double(down(place) % 180);
        stain(img, cv::Rect(centre - cv::Point(380, 300), cv::Size(640, 560)), 18, 0.45, cv::Scalar(0),
              [&](cv::Mat &mask, cv::Point o) {
                  cv::ellipse(mask, centre - o, cv::Size(140, 96), angle, 0, 360, 1.0, cv::FILLED, cv::LINE_AA);
                  cv::circle(mask, centre - cv::Point(100, 80) - o, 60, 1.0, cv::FILLED, cv::LINE_AA);
              });
    }
    return img;
}

cv::Mat drawPrintedSheet(int width)
{
    cv::Mat web(kPageRows, width, CV_8UC3);
    for (int left = 0, number = 417; left < width; left += kPageWidth, ++number) {
        const cv::Mat bgr = page(number, left == 0);
        const int w = std::min(kPageWidth, width - left);
        cv::cvtColor(bgr(cv::Rect(0, 0, w, kPageRows)), web(cv::Rect(left, 0, w, kPageRows)), cv::COLOR_BGR2RGB);
    }
    return web;
}

} // namespace vdsim
