#include "linestrip.h"

#include <algorithm>

void LineStrip::setCapacity(int lines)
{
    lines = std::max(1, lines);
    if (lines == cap)
        return;
    cap = lines;
    ring.release();
    clear();
}

void LineStrip::clear()
{
    head = 0;
    filled = 0;
}

void LineStrip::append(const cv::Mat &frame)
{
    if (frame.empty() || frame.dims != 2)
        return;
    if (ring.empty() || ring.cols != frame.cols || ring.type() != frame.type()) {
        ring.create(cap, frame.cols, frame.type());
        clear();
    }
    // Only the newest `cap` lines of a tall frame can stay.
    const int rows = std::min(frame.rows, cap);
    int from = frame.rows - rows;
    int left = rows;
    while (left > 0) {
        const int chunk = std::min(left, cap - head);
        frame.rowRange(from, from + chunk).copyTo(ring.rowRange(head, head + chunk));
        from += chunk;
        left -= chunk;
        head = (head + chunk) % cap;
    }
    filled = std::min(cap, filled + rows);
}

std::vector<cv::Mat> LineStrip::bands() const
{
    std::vector<cv::Mat> out;
    if (filled == 0)
        return out;
    if (filled < cap) {
        // Not yet wrapped: lines 0 .. head-1, in order.
        out.push_back(ring.rowRange(head - filled, head));
        return out;
    }
    if (head < cap)
        out.push_back(ring.rowRange(head, cap));
    if (head > 0)
        out.push_back(ring.rowRange(0, head));
    return out;
}

cv::Mat LineStrip::toMat() const
{
    const std::vector<cv::Mat> parts = bands();
    if (parts.empty())
        return cv::Mat();
    if (parts.size() == 1)
        return parts.front().clone();
    cv::Mat out;
    cv::vconcat(parts, out);
    return out;
}
