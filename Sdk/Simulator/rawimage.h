// Raw frames of the simulated cameras: their pixel pattern, what a raw buffer
// records about the frame it holds, and the conversion into the output
// formats. Pure functions on caller-owned memory; safe on any thread.
#ifndef VDSIM_RAWIMAGE_H
#define VDSIM_RAWIMAGE_H

#include "vdsim.h"

#include <cstddef>
#include <cstdint>

namespace vdsim {

// What VdImageProcess needs to know about the frame in a raw buffer.
struct RawFrame {
    uint32_t frameId = 0;
    int width = 0;
    int height = 0;
    uint32_t format = 0;
    bool mono = false;             // grey, not a Bayer mosaic
    bool rgb = false;              // packed RGB, as a replayed colour frame was recorded
    bool stamp = true;             // replayed frames keep their recorded pixels
    uint32_t flags = 0;            // VDSIM_FRAME_* overrides of this frame
    int32_t processStatus = 0;
    uint32_t byteCountAfterProcess = 0;
};

uint32_t bytesPerPixel(uint32_t format);
// Fills a raw frame with its deterministic pattern: row r holds (frameId + r) & 0xFF.
void fillPattern(unsigned char *raw, int width, int height, uint32_t frameId);
// Converts (part of) a raw frame into out; never writes beyond capacity.
// Returns the number of bytes of image written.
size_t processRaw(const unsigned char *raw, int rawWidth, int rawHeight, bool mono, bool rgb, uint32_t format,
                  int width, int height, unsigned char *out, size_t capacity);
// What VdImageProcess does to the pixels and the header: converts as much as
// out (head->byteCount bytes) holds, zeroes the rest, stamps the frame id
// into the first four bytes (not of replayed frames), and applies the frame's overrides. Returns the
// status the frame was set up to report.
VdStatus processFrame(const RawFrame &frame, const unsigned char *raw, unsigned char *out, VdFrameHead &head);

} // namespace vdsim

#endif
