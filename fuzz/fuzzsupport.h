#pragma once

// Shared set-up of the fuzz targets: a Qt application for timers and signals,
// and a message handler that keeps libFuzzer's output readable.

#include <QCoreApplication>
#include <QJsonObject>
#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>

// Qt 5.15's JSON parser leaks a small block on some malformed texts, inside
// QJsonDocument::fromJson in Qt's own uninstrumented library. Qt is built
// without frame pointers, so the fast unwinder's stack of that report ends in
// the library and its module is the only name to match; an object of ours
// that leaks is allocated from instrumented code and is still reported.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

namespace fuzzsupport {

inline void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

inline void startQt()
{
    static int argc = 1;
    static char name[] = "vandrel-fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    qInstallMessageHandler(quiet);
}

[[noreturn]] inline void fail(const char *what, const QJsonObject &a, const QJsonObject &b)
{
    std::fprintf(stderr, "%s\n--- first\n%s\n--- second\n%s\n", what,
                 QJsonDocument(a).toJson().constData(), QJsonDocument(b).toJson().constData());
    std::abort();
}

} // namespace fuzzsupport
