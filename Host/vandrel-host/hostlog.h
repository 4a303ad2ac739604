#pragma once

class ProgressLines;

// Qt's messages, the driver's "vandrel: ..." lines among them, go to stderr
// one line each, from whichever thread logs them. While a grab draws live
// lines on a terminal they go to those lines instead, so that they do not
// tear them apart.
void installLogHandler();

// Hands messages to `lines` (queued to its thread) until called with null.
// Threading: the handler runs on any thread; the diversion is read and
// changed under one lock, and `lines` must outlive its diversion.
void divertLogsTo(ProgressLines *lines);
