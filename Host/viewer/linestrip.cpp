#include "linestrip.h"

#include <algorithm>

void LineStrip::setCapacity(int lines)
{
    lines = std::max(1, lines);
    if (lines == cap)
        return;
    cap = lines;
    clear();
}

void LineStrip::clear()
{
    frames.clear();
    filled = 0;
}

void LineStrip::append(const cv::Mat &frame)
{
    if (frame.empty() || frame.dims != 2)
        return;
    if (!frames.empty() && (frames.front().cols != frame.cols || frames.front().type() != frame.type()))
        clear();
    // Only the newest `cap` lines of a tall frame can stay.
    frames.push_back(frame.rows > cap ? frame.rowRange(frame.rows - cap, frame.rows) : frame);
    filled += frames.back().rows;
    while (filled - frames.front().rows >= cap) {
        filled -= frames.front().rows;
        frames.pop_front();
    }
    if (filled > cap) {
        cv::Mat &oldest = frames.front();
        oldest = oldest.rowRange(filled - cap, oldest.rows);
        filled = cap;
    }
}

std::vector<cv::Mat> LineStrip::bands() const
{
    return std::vector<cv::Mat>(frames.begin(), frames.end());
}

cv::Mat LineStrip::toMat() const
{
    if (frames.empty())
        return cv::Mat();
    cv::Mat out;
    cv::vconcat(bands(), out);
    return out;
}
