#pragma once

#include <opencv2/core.hpp>

#include <vector>

// The last lines of consecutive line-scan frames, kept in a ring so that
// appending a frame copies only its own lines. UI thread only.
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
    // Views of the kept lines, oldest first, in at most two bands; valid until the next append.
    std::vector<cv::Mat> bands() const;
    // The kept lines as one matrix, oldest first.
    cv::Mat toMat() const;

private:
    cv::Mat ring;
    int cap = 2048;
    int head = 0;  // next line to write
    int filled = 0;
};
