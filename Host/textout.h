#pragma once

#include <QString>
#include <QTextStream>

#include <cstdio>

// UTF-8 text streams on the standard outputs; the labels and descriptions of
// the plug-in are Chinese, whatever the locale says.
class TextOut
{
public:
    explicit TextOut(FILE *file);
    QTextStream &stream() { return ts; }
    bool isTerminal() const { return terminal; }
    void flush() { ts.flush(); }

private:
    QTextStream ts;
    bool terminal;
};

TextOut &stdOut();
TextOut &stdErr();

// Columns a text takes in a terminal: East Asian wide characters take two.
int displayWidth(const QString &text);
// Pads text with blanks to the given display width.
QString padded(const QString &text, int width);
