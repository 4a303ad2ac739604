// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pycamera.h"

#include "pyerrors.h"
#include "pyframe.h"
#include "pylog.h"
#include "pyvalues.h"
#include "simulatorstate.h"

#include <algorithm>
#include <chrono>

namespace py = pybind11;

namespace {

// Waits wake this often to let Python handle Ctrl-C and to log.
constexpr int kSliceMs = 100;

// Waits in slices, without the GIL, answering Ctrl-C and logging between them.
template <typename Take>
WaitResult waitInterruptibly(int totalMs, Take take)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs < 0 ? 0 : totalMs);
    for (;;) {
        int slice = kSliceMs;
        if (totalMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            slice = static_cast<int>(std::max<long long>(0, std::min<long long>(left, kSliceMs)));
        }
        WaitResult r;
        {
            py::gil_scoped_release nogil;
            r = take(slice);
        }
        forwardLogs();
        if (r != WaitResult::TimedOut)
            return r;
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        if (totalMs >= 0 && Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

// A replayed recording that has ended gives no more frames: once two slices
// after its end have brought none, the wait ends in EOFError.
class RecordingEnd
{
public:
    explicit RecordingEnd(const QString &serial) : serial(serial) {}
    // The slice's result, or Closed once the recording is over.
    WaitResult after(WaitResult got)
    {
        if (got == WaitResult::TimedOut && (played = SimulatorState::recordingEndedAfter(serial)) >= 0
            && ++emptySlices >= 2)
            return WaitResult::Closed;
        return got;
    }
    void raiseIfEnded(WaitResult r) const
    {
        if (r == WaitResult::Closed && emptySlices >= 2)
            raisePython(PyExc_EOFError, SimulatorState::recordingEndedText(serial, played));
    }

private:
    const QString serial;
    int emptySlices = 0;
    int played = 0;
};

py::tuple eventTuple(const LinkEvent &e)
{
    return py::make_tuple(linkEventKey(e.kind).toStdString(), toPythonTime(e.time), e.detail.toStdString());
}

} // namespace

py::object PyCamera::nextFrame(const py::object &timeout)
{
    const int ms = millisecondsOf(timeout, "timeout");
    ImageProcessData frame;
    std::uint64_t sequence = 0;
    RecordingEnd end(cam->serial());
    const WaitResult r =
        waitInterruptibly(ms, [&](int slice) { return end.after(cam->nextFrame(frame, slice, &sequence)); });
    end.raiseIfEnded(r);
    switch (r) {
    case WaitResult::Ready:
        return py::cast(PyFrame(std::move(frame), sequence));
    case WaitResult::TimedOut: {
        QString why;
        {
            py::gil_scoped_release nogil;
            why = cam->unavailable();
        }
        raisePython(PyExc_TimeoutError, QStringLiteral("camera %1 delivered no frame within %2 s%3")
                                            .arg(cam->serial())
                                            .arg(ms / 1000.0)
                                            .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    case WaitResult::Interrupted:
        raisePython(PyExc_InterruptedError, QStringLiteral("camera %1: waiting interrupted").arg(cam->serial()));
    case WaitResult::Closed:
        break;
    }
    return py::none();
}

py::object PyCamera::nextItem(const py::object &timeout)
{
    const int ms = millisecondsOf(timeout, "timeout");
    for (;;) {
        ImageProcessData frame;
        std::uint64_t sequence = 0;
        LinkEvent event;
        bool isEvent = false;
        RecordingEnd end(cam->serial());
        const WaitResult r = waitInterruptibly(
            ms, [&](int slice) { return end.after(cam->nextItem(frame, sequence, event, isEvent, slice)); });
        end.raiseIfEnded(r);
        switch (r) {
        case WaitResult::Ready:
            if (isEvent)
                return eventTuple(event);
            return py::cast(PyFrame(std::move(frame), sequence));
        case WaitResult::TimedOut: {
            bool up = true;
            {
                py::gil_scoped_release nogil;
                up = cam->isOpen() || cam->isClosed();
            }
            // While the link is down its events tell; the loop waits for "back".
            if (!up)
                continue;
            raisePython(PyExc_TimeoutError,
                        QStringLiteral("camera %1 delivered no frame within %2 s").arg(cam->serial()).arg(ms / 1000.0));
        }
        case WaitResult::Interrupted:
            raisePython(PyExc_InterruptedError, QStringLiteral("camera %1: waiting interrupted").arg(cam->serial()));
        case WaitResult::Closed:
            return py::none();
        }
    }
}

py::list PyCamera::grab(int count, const py::object &timeout)
{
    if (count < 0)
        raisePython(PyExc_ValueError, QStringLiteral("cannot grab %1 frames").arg(count));
    py::list out;
    for (int i = 0; i < count; ++i) {
        py::object f = nextFrame(timeout);
        if (f.is_none())
            raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
        out.append(f);
    }
    return out;
}

py::object PyCamera::nextEvent(const py::object &timeout)
{
    const int ms = millisecondsOf(timeout, "timeout");
    LinkEvent e;
    const WaitResult r = waitInterruptibly(ms, [&](int slice) { return cam->nextEvent(e, slice); });
    if (r != WaitResult::Ready)
        return py::none();
    return eventTuple(e);
}
