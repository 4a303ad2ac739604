#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "camerainterface.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

// One frame as Python sees it: the record's numbers and its image as a numpy
// array over the matrix's own pixels. The array holds a reference to the
// matrix, so the pixels live as long as either does.
//
// Threading: created and used with the GIL held.
class PyFrame
{
public:
    PyFrame(ImageProcessData data, std::uint64_t sequence);

    pybind11::array image() const { return array; }
    int product() const { return d.productID; }
    int capture() const { return d.captureIndex; }
    int cycle() const { return d.productCycleIndex; }
    int cameraIndex() const { return d.cameraIndex; }
    int width() const { return d.image.cols; }
    int height() const { return d.image.rows; }
    // "Mono8", "RGB8", "RGBA8", or the OpenCV type for anything else.
    std::string format() const;
    std::uint64_t sequence() const { return seq; }
    // The capture time in nanoseconds since the epoch (the record has milliseconds); None without one.
    pybind11::object timeNs() const;
    // A timezone-aware datetime in local time; None without a time stamp.
    pybind11::object time() const;
    // Where the matrix's pixels start, to check that nothing was copied.
    std::uintptr_t matrixAddress() const { return reinterpret_cast<std::uintptr_t>(d.image.data); }
    std::string repr() const;

private:
    ImageProcessData d;
    std::uint64_t seq;
    pybind11::array array;
};

// A numpy array sharing the matrix's pixels and keeping them alive.
pybind11::array matToArray(const cv::Mat &mat);

void bindFrame(pybind11::module_ &m);
