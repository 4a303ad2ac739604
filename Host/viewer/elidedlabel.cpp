#include "elidedlabel.h"

#include <QFontMetrics>

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(1);
}

void ElidedLabel::setFullText(const QString &text)
{
    if (text == full)
        return;
    full = text;
    updateShown();
}

void ElidedLabel::setPlainToolTip(const QString &tip)
{
    ownTip = tip;
    updateShown();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(1, QLabel::minimumSizeHint().height());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateShown();
}

void ElidedLabel::updateShown()
{
    const int room = contentsRect().width() - 2 * margin() - (indent() > 0 ? indent() : 0);
    const QString shown = fontMetrics().elidedText(full, Qt::ElideRight, qMax(0, room));
    elided = shown != full;
    QLabel::setText(shown);
    setToolTip(elided ? (ownTip.isEmpty() ? full : full + QLatin1Char('\n') + ownTip) : ownTip);
}
