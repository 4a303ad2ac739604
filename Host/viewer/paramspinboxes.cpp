#include "paramspinboxes.h"

#include <QWheelEvent>

#include <cmath>

std::optional<qint64> IntSpin::takeTyped()
{
    auto t = typed;
    typed.reset();
    return t;
}

namespace {

// What was typed, without the spin box's prefix and suffix.
QString typedPart(const QString &text, const QString &prefix, const QString &suffix)
{
    QString t = text;
    if (!prefix.isEmpty() && t.startsWith(prefix))
        t.remove(0, prefix.size());
    if (!suffix.isEmpty() && t.endsWith(suffix))
        t.chop(suffix.size());
    return t.trimmed();
}

} // namespace

QValidator::State IntSpin::validate(QString &text, int &) const
{
    const QString t = typedPart(text, prefix(), suffix());
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return QValidator::Intermediate;
    bool ok = false;
    locale().toLongLong(t, &ok);
    return ok ? QValidator::Acceptable : QValidator::Invalid;
}

int IntSpin::valueFromText(const QString &text) const
{
    bool ok = false;
    const qint64 v = locale().toLongLong(typedPart(text, prefix(), suffix()), &ok);
    if (!ok)
        return value();
    typed = v;
    return int(qBound<qint64>(minimum(), v, maximum()));
}

void IntSpin::stepBy(int steps)
{
    typed.reset();
    QSpinBox::stepBy(steps);
}

void IntSpin::wheelEvent(QWheelEvent *event)
{
    if (hasFocus())
        QSpinBox::wheelEvent(event);
    else
        event->ignore();
}

std::optional<double> RealSpin::takeTyped()
{
    auto t = typed;
    typed.reset();
    return t;
}

QValidator::State RealSpin::validate(QString &text, int &) const
{
    const QString t = typedPart(text, prefix(), suffix());
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+") || t == locale().decimalPoint())
        return QValidator::Intermediate;
    bool ok = false;
    locale().toDouble(t, &ok);
    return ok ? QValidator::Acceptable : QValidator::Invalid;
}

double RealSpin::valueFromText(const QString &text) const
{
    bool ok = false;
    const double v = locale().toDouble(typedPart(text, prefix(), suffix()), &ok);
    if (!ok || !std::isfinite(v))
        return value();
    typed = v;
    return qBound(minimum(), v, maximum());
}

QString RealSpin::textFromValue(double value) const
{
    QString text = locale().toString(value, 'f', decimals());
    if (!isGroupSeparatorShown())
        text.remove(locale().groupSeparator());
    const int point = text.indexOf(locale().decimalPoint());
    if (point >= 0) {
        int end = text.size();
        while (end > point + 2 && text.at(end - 1) == locale().zeroDigit())
            --end;
        text.truncate(end);
    }
    return text;
}

void RealSpin::stepBy(int steps)
{
    typed.reset();
    QDoubleSpinBox::stepBy(steps);
}

void RealSpin::wheelEvent(QWheelEvent *event)
{
    if (hasFocus())
        QDoubleSpinBox::wheelEvent(event);
    else
        event->ignore();
}
