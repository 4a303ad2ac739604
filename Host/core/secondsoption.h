#pragma once

#include <QString>

class QCommandLineParser;
class QCommandLineOption;

// A host's option in seconds (--retry-interval S, --stall-after S) as the
// link keeper's milliseconds: 0 switches off, anything else is at least
// 1 ms. Leaves targetMs as it is when the option is not given; false, with
// the reason naming the option, for anything but a number from 0 to 1e6.
bool parseSecondsOption(const QCommandLineParser &parser, const QCommandLineOption &option, int &targetMs,
                        QString &error);
