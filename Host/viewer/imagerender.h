#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <opencv2/core.hpp>

#include <vector>

// Bands of 8-bit lines (1 channel, or 3 in RGB order) of one width, stacked
// top to bottom, as one image: a frame is one band, a strip's ring two.
class BandedImage
{
public:
    BandedImage() = default;
    explicit BandedImage(std::vector<cv::Mat> bands);

    bool empty() const { return totalRows == 0 || cols() == 0; }
    int cols() const { return parts.empty() ? 0 : parts.front().cols; }
    int rows() const { return totalRows; }
    int channels() const { return parts.empty() ? 0 : parts.front().channels(); }
    const std::vector<cv::Mat> &bands() const { return parts; }
    // Pixel at (x, y): the grey value, or R, G, B; empty outside.
    std::vector<int> pixel(int x, int y) const;
    cv::Mat toMat() const;

private:
    std::vector<cv::Mat> parts;
    int totalRows = 0;
};

// The part of `image` that a viewport of `size` shows when the viewport's
// top-left corner sits at `origin` (in image pixels) and one image pixel
// covers `zoom` viewport pixels. Returns the rendered pixels and where they
// go in the viewport; a null image when nothing is visible. Safe on any
// thread: it only reads the image.
struct RenderedView
{
    QImage image;
    QPoint at;
    double zoom = 0;   // as rendered
    QPointF origin;
};
RenderedView renderView(const BandedImage &image, double zoom, QPointF origin, QSize size);
