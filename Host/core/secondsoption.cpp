#include "secondsoption.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

bool parseSecondsOption(const QCommandLineParser &parser, const QCommandLineOption &option, int &targetMs,
                        QString &error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double v = parser.value(option).toDouble(&ok);
    if (!ok || !(v >= 0) || v > 1e6) {
        error = QStringLiteral("--%1 needs a number of seconds of 0 or more, not \"%2\"")
                    .arg(option.names().constFirst(), parser.value(option));
        return false;
    }
    targetMs = v == 0 ? 0 : qMax(1, int(v * 1000.0));
    return true;
}
