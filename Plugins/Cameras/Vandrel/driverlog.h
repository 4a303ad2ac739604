#pragma once

// Include last: the file name below applies to the messages logged after it.

#include <QLoggingCategory>

// The driver's messages; hosts can switch off the per-frame debug line with
// the rule "vandrel.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcVandrel)

// Every message of the driver names the one source file hosts know it by,
// whichever of the driver's files logs it.
#ifdef QT_MESSAGELOGCONTEXT
#undef QT_MESSAGELOG_FILE
#define QT_MESSAGELOG_FILE "Plugins/Cameras/Vandrel/vandrel.cpp"
#endif
