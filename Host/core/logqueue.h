#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

// Qt's messages, the driver's among them, kept for a host that hands them
// on to a logging system of its own (Python's logging) on its own threads
// rather than on the threads that log them, SDK threads included. Replaces
// Qt's handler for the whole process: nothing goes to stderr any more. The
// queue holds at most kCapacity messages and drops the oldest beyond.
//
// Threading: every function on any thread; the handler takes one lock and
// calls nothing.
namespace LogQueue {

constexpr int kCapacity = 4096;

struct Message
{
    QtMsgType type = QtInfoMsg;
    QString category;  // "vandrel" for the driver's
    QString text;
};

// Installs the handler; later calls do nothing.
void install();
bool installed();
// The oldest message; false when there is none.
bool take(Message &message);
std::uint64_t dropped();

} // namespace LogQueue
