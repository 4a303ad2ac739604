#pragma once

#include <opencv2/core.hpp>

#include <deque>
#include <vector>

// The last lines of consecutive line-scan frames. It keeps the frames
// themselves, shared and never written, trimmed to the lines that still
// count: appending copies nothing, and a picture of the strip stays valid on
// any thread while the strip moves on. UI thread only.
class LineStrip
{
public:
    // Keeps at most `lines` lines; changing it empties the strip.
    void setCapacity(int lines);
    int capacity() const { return cap; }
    void clear();
    // Appends the frame's lines; a frame of another width or type starts a new strip.
    void append(const cv::Mat &frame);
    int lines() const { return filled; }
    // The kept lines, oldest first, one band per frame.
    std::vector<cv::Mat> bands() const;
    // The kept lines as one matrix, oldest first.
    cv::Mat toMat() const;

private:
    std::deque<cv::Mat> frames;
    int cap = 2048;
    int filled = 0;
};
