// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pycamera.h"

namespace py = pybind11;

void bindCamera(py::module_ &m)
{
    using py::arg;
    py::class_<PyCamera>(m, "_Camera")
        .def_property_readonly("serial", &PyCamera::serial)
        .def_property_readonly("camera_index", &PyCamera::cameraIndex)
        .def_property_readonly("queue_size", &PyCamera::queueSize)
        .def_property_readonly("is_open", &PyCamera::isOpen)
        .def_property_readonly("link", &PyCamera::link)
        .def("close", &PyCamera::close)
        .def("params", &PyCamera::params)
        .def("param", &PyCamera::param, arg("name"))
        .def("set_param", &PyCamera::setParam, arg("name"), arg("value"))
        .def("load_settings_json", &PyCamera::loadSettingsJson, arg("json"), arg("origin"))
        .def("load_settings_file", &PyCamera::loadSettingsFile, arg("path"))
        .def("apply", &PyCamera::apply)
        .def("save_settings_file", &PyCamera::saveSettingsFile, arg("path"))
        .def("settings_json", &PyCamera::settingsJson)
        .def("recorded_settings_json", &PyCamera::recordedSettingsJson)
        .def("snapshot", &PyCamera::snapshot)
        .def("restore", &PyCamera::restore)
        .def("select_exposure", &PyCamera::selectExposure, arg("index"))
        .def("set_grouping", &PyCamera::setGrouping, arg("captures_per_product"), arg("products_per_cycle"),
             arg("cycle_timeout"), arg("host_numbered"), arg("auto_count"))
        .def("soft_trigger", &PyCamera::softTrigger, arg("product"), arg("capture"))
        .def_property_readonly("triggers_pending", &PyCamera::triggersPending)
        .def_property("running", &PyCamera::running, &PyCamera::setRunning)
        .def_property("continuous", &PyCamera::continuous, &PyCamera::setContinuous)
        .def("set_retry_interval", &PyCamera::setRetryInterval, arg("seconds"))
        .def("set_stall_after", &PyCamera::setStallAfter, arg("seconds"))
        .def("set_trigger_timeout", &PyCamera::setTriggerTimeout, arg("seconds"))
        .def("reconnect", &PyCamera::reconnect)
        .def("next_frame", &PyCamera::nextFrame, arg("timeout"))
        .def("next_item", &PyCamera::nextItem, arg("timeout"))
        .def("grab", &PyCamera::grab, arg("count"), arg("timeout"))
        .def("next_event", &PyCamera::nextEvent, arg("timeout"))
        .def_property_readonly("dropped", &PyCamera::dropped)
        .def("flush", &PyCamera::flush)
        .def("interrupt", &PyCamera::interrupt)
        .def("resume", &PyCamera::resume);
}
