// Raw frame generation and the conversion into the output formats.
// Pure functions on caller-owned memory; safe on any thread.
#include "rawimage.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace vdsim {

uint32_t bytesPerPixel(uint32_t format)
{
    return format == VD_PIXEL_RGB8 ? 3u : 1u;
}

void fillPattern(unsigned char *raw, int width, int height, uint32_t frameId)
{
    // One memset per row keeps even 64 MiB frames cheap; the row value moves
    // with the frame so consecutive frames differ.
    for (int r = 0; r < height; ++r)
        std::memset(raw + size_t(r) * size_t(width), int((frameId + uint32_t(r)) & 0xFFu), size_t(width));
}

namespace {

void convert(const cv::Mat &src, cv::Mat &dst, bool mono, bool rgb)
{
    const bool mosaic = !mono && src.channels() == 1 && src.cols >= 2 && src.rows >= 2;
    if (src.channels() == 3)
        rgb ? src.copyTo(dst) : cv::cvtColor(src, dst, cv::COLOR_RGB2GRAY);
    else if (mosaic)   // R at the top left; OpenCV names a mosaic by its second row, so that is its "BG"
        cv::cvtColor(src, dst, rgb ? cv::COLOR_BayerBG2RGB : cv::COLOR_BayerBG2GRAY);
    else if (rgb)
        cv::cvtColor(src, dst, cv::COLOR_GRAY2RGB);
    else
        src.copyTo(dst);
}

} // namespace

size_t processRaw(const unsigned char *raw, int rawWidth, int rawHeight, bool mono, bool packedRgb, uint32_t format,
                  int width, int height, unsigned char *out, size_t capacity)
{
    // The header may claim any size; only the part that exists in the raw
    // buffer is converted.
    const int w = std::clamp(width, 0, rawWidth);
    const int h = std::clamp(height, 0, rawHeight);
    const bool rgb = format == VD_PIXEL_RGB8;
    const size_t needed = size_t(w) * size_t(h) * bytesPerPixel(format);
    if (needed == 0 || capacity == 0)
        return 0;
    const int channels = packedRgb ? 3 : 1;
    const cv::Mat src(h, w, packedRgb ? CV_8UC3 : CV_8UC1, const_cast<unsigned char *>(raw),
                      size_t(rawWidth) * size_t(channels));
    const int type = rgb ? CV_8UC3 : CV_8UC1;
    if (capacity >= needed) {
        cv::Mat dst(h, w, type, out);
        convert(src, dst, mono, rgb);
        if (dst.data != out)   // OpenCV reallocated; never expected, but stay correct
            std::memcpy(out, dst.data, needed);
        return needed;
    }
    cv::Mat dst;
    convert(src, dst, mono, rgb);
    std::memcpy(out, dst.data, capacity);
    return capacity;
}

VdStatus processFrame(const RawFrame &frame, const unsigned char *raw, unsigned char *out, VdFrameHead &head)
{
    const size_t capacity = head.byteCount;
    const size_t written = processRaw(raw, frame.width, frame.height, frame.mono, frame.rgb, frame.format, head.width,
                                      head.height, out, capacity);
    if (capacity > written)
        std::memset(out + written, 0, capacity - written);
    if (frame.stamp && capacity >= 4) {
        out[0] = uint8_t(frame.frameId);
        out[1] = uint8_t(frame.frameId >> 8);
        out[2] = uint8_t(frame.frameId >> 16);
        out[3] = uint8_t(frame.frameId >> 24);
    }
    head.pixelFormat = frame.format;
    if (frame.flags & VDSIM_FRAME_BYTE_COUNT_AFTER_PROCESS)
        head.byteCount = frame.byteCountAfterProcess;
    return (frame.flags & VDSIM_FRAME_PROCESS_STATUS) ? VdStatus(frame.processStatus) : VD_OK;
}

} // namespace vdsim
