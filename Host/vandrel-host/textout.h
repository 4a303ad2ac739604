#pragma once

#include <QMutexLocker>
#include <QRecursiveMutex>
#include <QString>
#include <QTextStream>

#include <cstdio>

// The program's two output streams, UTF-8 on stdout and stderr whatever the
// locale says (the plug-in's labels and descriptions are Chinese). Nothing
// else in vandrel-host writes to either, and nothing else asks whether one
// is a terminal.
//
// Threading: any thread. Writes go through a Lines, which holds the stream's
// lock while it exists and flushes when it goes, so that the driver's log
// lines from the SDK's threads never land inside another writer's lines. The
// lock is recursive: a message logged while a Lines is open on the same
// thread must not deadlock.
class TextOut
{
public:
    class Lines
    {
    public:
        explicit Lines(TextOut &out) : target(out), lock(&out.mutex) {}
        ~Lines() { target.ts.flush(); }
        Lines(const Lines &) = delete;
        Lines &operator=(const Lines &) = delete;

        QTextStream &stream() { return target.ts; }
        template <class T>
        Lines &operator<<(const T &value)
        {
            target.ts << value;
            return *this;
        }

    private:
        TextOut &target;
        QMutexLocker lock;
    };

    explicit TextOut(FILE *file);
    Lines lines() { return Lines(*this); }
    bool isTerminal() const { return terminal; }

private:
    QRecursiveMutex mutex;
    QTextStream ts;  // guarded by mutex
    const bool terminal;
};

TextOut &stdOut();
TextOut &stdErr();

// Ends a command: one line "vandrel-host: reason" on stderr; returns status.
int fail(int status, const QString &reason);
// One line "vandrel-host: warning: text" on stderr; the run goes on.
void warn(const QString &text);

// Columns a text takes in a terminal: East Asian wide characters take two.
int displayWidth(const QString &text);
// Pads text with blanks to the given display width.
QString padded(const QString &text, int width);
