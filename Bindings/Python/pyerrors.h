#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "cameraruntime.h"

#include <QString>

#include <pybind11/pybind11.h>

// Python exceptions carrying the host's one-line reasons.

// The module's own exception types, made when it is imported:
// LinkLostError (a ConnectionError) and AlreadyOpenError (a RuntimeError).
PyObject *linkLostError();
PyObject *alreadyOpenError();
void makeErrorTypes(pybind11::module_ &m);

[[noreturn]] inline void raisePython(PyObject *type, const QString &reason)
{
    PyErr_SetString(type, reason.toUtf8().constData());
    throw pybind11::error_already_set();
}

// The exception a runtime failure maps to.
[[noreturn]] inline void raiseFailure(const RuntimeFailure &failure)
{
    switch (failure.kind) {
    case RuntimeFailure::NotFound:
        raisePython(PyExc_FileNotFoundError, failure.reason);
    case RuntimeFailure::NoSuchCamera:
        raisePython(PyExc_KeyError, failure.reason);
    case RuntimeFailure::BadInput:
        raisePython(PyExc_ValueError, failure.reason);
    case RuntimeFailure::CameraFailed:
        raisePython(PyExc_OSError, failure.reason);
    case RuntimeFailure::AlreadyOpen:
        raisePython(alreadyOpenError(), failure.reason);
    case RuntimeFailure::LinkLost:
        raisePython(linkLostError(), failure.reason);
    case RuntimeFailure::NotPossible:
    case RuntimeFailure::Refused:
    case RuntimeFailure::Stopped:
    case RuntimeFailure::None:
        break;
    }
    raisePython(PyExc_RuntimeError, failure.reason);
}
