#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

// The driver's messages (and Qt's) to Python's logging: the driver's to the
// logger "vandrel", others to "vandrel.qt". Qt's handler only queues them
// (logqueue.h), on whatever thread logs; they are handed to logging here, on
// a Python thread with the GIL, after each of the module's calls and while
// it waits.

// Once, before the runtime starts.
void routeLogsToPython();
// With the GIL held; never raises.
void forwardLogs();
