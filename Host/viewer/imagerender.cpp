#include "imagerender.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

BandedImage::BandedImage(std::vector<cv::Mat> bands)
{
    for (cv::Mat &b : bands) {
        if (b.empty() || b.depth() != CV_8U || (b.channels() != 1 && b.channels() != 3))
            continue;
        if (!parts.empty() && (b.cols != parts.front().cols || b.type() != parts.front().type()))
            continue;
        totalRows += b.rows;
        parts.push_back(std::move(b));
    }
}

std::vector<int> BandedImage::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= cols() || y >= rows())
        return {};
    for (const cv::Mat &b : parts) {
        if (y < b.rows) {
            const uchar *p = b.ptr<uchar>(y) + size_t(x) * b.channels();
            return std::vector<int>(p, p + b.channels());
        }
        y -= b.rows;
    }
    return {};
}

cv::Mat BandedImage::toMat() const
{
    if (parts.empty())
        return cv::Mat();
    if (parts.size() == 1)
        return parts.front().clone();
    cv::Mat out;
    cv::vconcat(parts, out);
    return out;
}

namespace {

// Scales src into dst (of the size wanted). Enlarging keeps pixels square
// and sharp, for inspection; shrinking averages, but first thins a very
// large source by nearest sampling so that the cost follows the viewport,
// not the 16k-pixel frame.
void scaleInto(const cv::Mat &src, cv::Mat dst)
{
    if (src.cols == dst.cols && src.rows == dst.rows) {
        src.copyTo(dst);
        return;
    }
    if (dst.cols >= src.cols && dst.rows >= src.rows) {
        cv::resize(src, dst, dst.size(), 0, 0, cv::INTER_NEAREST);
        return;
    }
    const int thinW = std::min(src.cols, dst.cols * 3);
    const int thinH = std::min(src.rows, dst.rows * 3);
    if (thinW < src.cols || thinH < src.rows) {
        cv::Mat thin;
        cv::resize(src, thin, cv::Size(thinW, thinH), 0, 0, cv::INTER_NEAREST);
        cv::resize(thin, dst, dst.size(), 0, 0, cv::INTER_AREA);
    } else {
        cv::resize(src, dst, dst.size(), 0, 0, cv::INTER_AREA);
    }
}

} // namespace

RenderedView renderView(const BandedImage &image, double zoom, QPointF origin, QSize size)
{
    RenderedView out;
    if (image.empty() || !(zoom > 0) || size.isEmpty())
        return out;
    // Image pixels in sight, widened to whole pixels.
    const double sx0 = std::max(0.0, origin.x());
    const double sy0 = std::max(0.0, origin.y());
    const double sx1 = std::min(double(image.cols()), origin.x() + size.width() / zoom);
    const double sy1 = std::min(double(image.rows()), origin.y() + size.height() / zoom);
    if (sx1 <= sx0 || sy1 <= sy0)
        return out;
    const int ix0 = int(std::floor(sx0));
    const int iy0 = int(std::floor(sy0));
    const int ix1 = int(std::ceil(sx1));
    const int iy1 = int(std::ceil(sy1));
    // Viewport position of an image coordinate; whole image pixels may
    // reach past the viewport's edges.
    auto toX = [&](int x) { return int(std::lround((x - origin.x()) * zoom)); };
    auto toY = [&](int y) { return int(std::lround((y - origin.y()) * zoom)); };
    const int dx0 = toX(ix0);
    const int dy0 = toY(iy0);
    const int dw = toX(ix1) - dx0;
    const int dh = toY(iy1) - dy0;
    if (dw <= 0 || dh <= 0)
        return out;

    cv::Mat canvas(dh, dw, image.bands().front().type(), cv::Scalar::all(0));
    int bandTop = 0;
    for (const cv::Mat &band : image.bands()) {
        const int top = std::max(iy0, bandTop);
        const int bottom = std::min(iy1, bandTop + band.rows);
        if (top < bottom) {
            const int rowFrom = toY(top) - dy0;
            const int rowTo = toY(bottom) - dy0;
            if (rowTo > rowFrom) {
                const cv::Mat src = band(cv::Range(top - bandTop, bottom - bandTop), cv::Range(ix0, ix1));
                scaleInto(src, canvas.rowRange(rowFrom, rowTo));
            }
        }
        bandTop += band.rows;
    }

    // Only what falls inside the viewport is handed out.
    const QRect placed(dx0, dy0, dw, dh);
    const QRect visible = placed.intersected(QRect(QPoint(0, 0), size));
    if (visible.isEmpty())
        return out;
    const cv::Mat cut = canvas(cv::Rect(visible.x() - dx0, visible.y() - dy0, visible.width(), visible.height()));
    const QImage::Format format = cut.channels() == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8;
    out.image = QImage(cut.data, cut.cols, cut.rows, int(cut.step), format).copy();
    out.at = visible.topLeft();
    return out;
}
