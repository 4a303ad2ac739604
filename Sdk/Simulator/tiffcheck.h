// A recording's frames checked up front without decoding them: a TIFF's
// header says its size and where its pixel strips lie, so a frame whose file
// was cut short or replaced by another picture is found when the recording
// is loaded, not in the middle of a replay. Pure function; any thread.
#ifndef VDSIM_TIFFCHECK_H
#define VDSIM_TIFFCHECK_H

#include <string>

namespace vdsim {

// True if the file at path is an 8-bit TIFF of width x height x channels
// whose strips are all within the file, or a BigTIFF (not looked into);
// otherwise false, saying why.
bool checkTiff(const std::string &path, int width, int height, int channels, std::string &error);

} // namespace vdsim

#endif
