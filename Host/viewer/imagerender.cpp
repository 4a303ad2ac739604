#include "imagerender.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

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

// Shrinks the lines [y0, y1) and columns [x0, x1) of the bands into dst.
// Nearest sampling first thins the source to at most three times the
// destination, so that the cost follows the viewport and not the 16k-pixel
// frame; averaging then makes the last step without aliasing. Bands are
// sampled line by line: thin bands of a long strip cannot fall between two
// destination lines.
void shrinkInto(const std::vector<cv::Mat> &bands, int x0, int x1, int y0, int y1, cv::Mat dst)
{
    const int sw = x1 - x0;
    const int sh = y1 - y0;
    const int tw = std::min(sw, dst.cols * 3);
    const int th = std::min(sh, dst.rows * 3);
    const size_t px = dst.elemSize();
    std::vector<int> columns(static_cast<size_t>(tw));
    for (int t = 0; t < tw; ++t)
        columns[size_t(t)] = x0 + std::min(sw - 1, int((t + 0.5) * sw / tw));
    cv::Mat thin(th, tw, dst.type());
    size_t band = 0;
    int bandTop = 0;
    for (int t = 0; t < th; ++t) {
        const int y = y0 + std::min(sh - 1, int((t + 0.5) * sh / th));
        while (band + 1 < bands.size() && y >= bandTop + bands[band].rows) {
            bandTop += bands[band].rows;
            ++band;
        }
        const uchar *src = bands[band].ptr<uchar>(y - bandTop);
        uchar *out = thin.ptr<uchar>(t);
        if (px == 1) {
            for (int c = 0; c < tw; ++c)
                out[c] = src[columns[size_t(c)]];
        } else {
            for (int c = 0; c < tw; ++c)
                std::memcpy(out + size_t(c) * px, src + size_t(columns[size_t(c)]) * px, px);
        }
    }
    if (thin.size() == dst.size())
        thin.copyTo(dst);
    else
        cv::resize(thin, dst, dst.size(), 0, 0, cv::INTER_AREA);
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
    if (dw < ix1 - ix0 || dh < iy1 - iy0) {
        shrinkInto(image.bands(), ix0, ix1, iy0, iy1, canvas);
    } else {
        // Enlarged: whole image pixels as squares, band by band; every band
        // gets a destination line at least.
        int bandTop = 0;
        for (const cv::Mat &band : image.bands()) {
            const int top = std::max(iy0, bandTop);
            const int bottom = std::min(iy1, bandTop + band.rows);
            if (top < bottom) {
                const int rowFrom = toY(top) - dy0;
                const int rowTo = toY(bottom) - dy0;
                const cv::Mat src = band(cv::Range(top - bandTop, bottom - bandTop), cv::Range(ix0, ix1));
                cv::resize(src, canvas.rowRange(rowFrom, rowTo), cv::Size(dw, rowTo - rowFrom), 0, 0, cv::INTER_NEAREST);
            }
            bandTop += band.rows;
        }
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
    out.zoom = zoom;
    out.origin = origin;
    return out;
}
