// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pyframe.h"

#include <QDateTime>

#include <string>
#include <vector>

namespace py = pybind11;

namespace {

py::dtype dtypeOf(int depth)
{
    switch (depth) {
    case CV_8U:
        return py::dtype::of<std::uint8_t>();
    case CV_8S:
        return py::dtype::of<std::int8_t>();
    case CV_16U:
        return py::dtype::of<std::uint16_t>();
    case CV_16S:
        return py::dtype::of<std::int16_t>();
    case CV_32S:
        return py::dtype::of<std::int32_t>();
    case CV_32F:
        return py::dtype::of<float>();
    case CV_64F:
        return py::dtype::of<double>();
    default:
        throw py::type_error("frame of an image type numpy has no dtype for");
    }
}

} // namespace

py::array matToArray(const cv::Mat &mat)
{
    if (mat.empty())
        return py::array(py::dtype::of<std::uint8_t>(), std::vector<py::ssize_t>{0, 0});
    const int channels = mat.channels();
    std::vector<py::ssize_t> shape{mat.rows, mat.cols};
    std::vector<py::ssize_t> strides{static_cast<py::ssize_t>(mat.step[0]),
                                     static_cast<py::ssize_t>(mat.elemSize())};
    if (channels > 1) {
        shape.push_back(channels);
        strides.push_back(static_cast<py::ssize_t>(mat.elemSize1()));
    }
    // The capsule owns one more reference to the pixels.
    auto *owner = new cv::Mat(mat);
    py::capsule keep(owner, [](void *p) { delete static_cast<cv::Mat *>(p); });
    return py::array(dtypeOf(mat.depth()), shape, strides, owner->data, keep);
}

PyFrame::PyFrame(ImageProcessData data, std::uint64_t sequence)
    : d(std::move(data)), seq(sequence), array(matToArray(d.image))
{
}

std::string PyFrame::format() const
{
    switch (d.image.type()) {
    case CV_8UC1:
        return "Mono8";
    case CV_8UC3:
        return "RGB8";
    case CV_8UC4:
        return "RGBA8";
    default:
        return "CV_" + std::to_string(d.image.depth()) + "C" + std::to_string(d.image.channels());
    }
}

py::object PyFrame::timeNs() const
{
    if (!d.captureTime.isValid())
        return py::none();
    return py::int_(static_cast<long long>(d.captureTime.toMSecsSinceEpoch()) * 1000000LL);
}

py::object PyFrame::time() const
{
    if (!d.captureTime.isValid())
        return py::none();
    const py::module_ datetime = py::module_::import("datetime");
    const py::object utc = datetime.attr("timezone").attr("utc");
    const double seconds = static_cast<double>(d.captureTime.toMSecsSinceEpoch()) / 1000.0;
    return datetime.attr("datetime").attr("fromtimestamp")(seconds, utc).attr("astimezone")();
}

std::string PyFrame::repr() const
{
    return "<vandrel.Frame " + std::to_string(seq) + " camera " + std::to_string(d.cameraIndex) + " product " + std::to_string(d.productID)
           + " capture " + std::to_string(d.captureIndex) + " cycle " + std::to_string(d.productCycleIndex) + " "
           + std::to_string(d.image.rows) + "x" + std::to_string(d.image.cols) + "x"
           + std::to_string(d.image.channels()) + ">";
}

void bindFrame(py::module_ &m)
{
    py::class_<PyFrame>(m, "Frame", "One delivered frame: its image and its numbers.")
        .def_property_readonly("image", &PyFrame::image,
                               "numpy array (H x W uint8, or H x W x 3) over the frame's own pixels, no copy")
        .def_property_readonly("product", &PyFrame::product, "product number (0 while not running)")
        .def_property_readonly("capture", &PyFrame::capture, "position of the frame within its product, from 1")
        .def_property_readonly("cycle", &PyFrame::cycle, "position of the product within its cycle, from 1")
        .def_property_readonly("camera_index", &PyFrame::cameraIndex, "the camera's position in the enumeration")
        .def_property_readonly("time", &PyFrame::time, "capture time, a timezone-aware datetime")
        .def_property_readonly("time_ns", &PyFrame::timeNs, "capture time in ns since the epoch (ms precision)")
        .def_property_readonly("width", &PyFrame::width, "image width in pixels")
        .def_property_readonly("height", &PyFrame::height, "image height in lines")
        .def_property_readonly("format", &PyFrame::format, "pixel format: \"Mono8\" or \"RGB8\"")
        .def_property_readonly("sequence", &PyFrame::sequence,
                               "running number since the camera opened, from 1; a gap means dropped frames")
        .def_property_readonly("_matrix_address", &PyFrame::matrixAddress)
        .def("__repr__", &PyFrame::repr);
}
