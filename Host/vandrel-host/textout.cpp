#include "textout.h"

#include <QVector>

#include <unistd.h>

TextOut::TextOut(FILE *file) : ts(file), terminal(isatty(fileno(file)) != 0)
{
    ts.setCodec("UTF-8");
}

// Never destroyed: Qt and the plug-in may still log while statics go away.
TextOut &stdOut()
{
    static TextOut *out = new TextOut(stdout);
    return *out;
}

TextOut &stdErr()
{
    static TextOut *err = new TextOut(stderr);
    return *err;
}

int fail(int status, const QString &reason)
{
    stdErr().lines() << "vandrel-host: " << reason << '\n';
    return status;
}

void warn(const QString &text)
{
    stdErr().lines() << "vandrel-host: warning: " << text << '\n';
}

namespace {

bool isWide(uint c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F)
           || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
           || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

int displayWidth(const QString &text)
{
    int width = 0;
    for (uint c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

QString padded(const QString &text, int width)
{
    const int missing = width - displayWidth(text);
    return missing > 0 ? text + QString(missing, QLatin1Char(' ')) : text;
}
