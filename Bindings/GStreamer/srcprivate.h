#pragma once

// What the files of vandrelsrc share: the element's state and the functions
// each file gives the class. gstvandrelsrc.cpp builds the class and guards
// every entry point GStreamer calls; srcproperties.cpp holds the properties
// and the soft-trigger signal, srccaps.cpp the caps and negotiation,
// srcstreaming.cpp the camera's opening and the streaming loop, srclink.cpp
// the link messages.

#include "gstvandrelsrc.h"
#include "sourcecamera.h"

#include <gst/video/video.h>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

GST_DEBUG_CATEGORY_EXTERN(vandrel_src_debug);

struct VandrelSrcPrivate
{
    // Properties; under the object lock. `options.exposure` is the
    // configuration in force while a camera is open, else the one to select.
    OpenOptions options;
    GstClockTime reconnectTimeout = GST_CLOCK_TIME_NONE;

    // The open camera. Replaced by start() and stop() (state changes); read
    // under sessionLock by whoever else needs it.
    std::mutex sessionLock;
    std::shared_ptr<SourceCamera> session;
    std::atomic<std::uint64_t> droppedBefore{0};  // of the sessions that ended
    std::atomic<std::uint64_t> copied{0};

    // The negotiated format; under formatLock (get_caps may run on any thread).
    std::mutex formatLock;
    GstVideoInfo info;
    bool haveFormat = false;

    // The streaming thread only (reset by start(), before it runs).
    bool videoMetaDownstream = false;
    bool lost = false;
    std::chrono::steady_clock::time_point lostSince;
    std::chrono::steady_clock::time_point firstArrival;
    std::uint64_t firstNumber = 0;
    bool haveArrival = false;

    // Mean interval between the camera's frames, for the latency answer; 0
    // until measured.
    std::atomic<std::int64_t> periodNs{0};

    std::shared_ptr<SourceCamera> current()
    {
        std::lock_guard<std::mutex> hold(sessionLock);
        return session;
    }
};

struct _VandrelSrc
{
    GstPushSrc parent;
    VandrelSrcPrivate *d;
};

namespace vsrc {

// gstvandrelsrc.cpp
GstBaseSrcClass *parentClass();
// The soft-trigger signal's class handler, guarded like every entry point.
void softTrigger(VandrelSrc *self, gint product, gint capture);

// srcproperties.cpp
void installProperties(GObjectClass *klass);
void storeProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec);
void getProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec);
void triggerCamera(VandrelSrc *self, gint product, gint capture);

// srccaps.cpp
GstVideoFormat videoFormatOf(int cvType);
GstCaps *capsOf(const GstVideoInfo &info);
GstCaps *getCaps(GstBaseSrc *base, GstCaps *filter);
gboolean negotiate(GstBaseSrc *base);
gboolean decideAllocation(GstBaseSrc *base, GstQuery *query);
// Negotiates the frame's format when it differs from the current one; on
// refusal posts an error that names what the camera delivers and what
// downstream takes.
bool followFormat(VandrelSrc *self, const cv::Mat &image, GstVideoFormat format, GstVideoInfo &info);

// srcstreaming.cpp
gboolean startCamera(GstBaseSrc *base);
gboolean stop(GstBaseSrc *base);
gboolean unlock(GstBaseSrc *base);
gboolean unlockStop(GstBaseSrc *base);
gboolean answerQuery(GstBaseSrc *base, GstQuery *q);
GstFlowReturn nextBuffer(GstPushSrc *push, GstBuffer **out);

// srclink.cpp
// How long the next wait may last: until the reconnect time-out of a lost link.
std::chrono::nanoseconds linkWaitLimit(VandrelSrc *self);
void onLinkEvent(VandrelSrc *self, const LinkEvent &event, const QString &serial);
// After a wait timed out: true, with the error posted, when a lost link
// outlasted the reconnect time-out.
bool linkGaveUp(VandrelSrc *self, const QString &serial);

} // namespace vsrc
