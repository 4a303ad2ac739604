#pragma once

#include <QLoggingCategory>

// The viewer's own messages: "vandrel.viewer".
Q_DECLARE_LOGGING_CATEGORY(lcViewer)
