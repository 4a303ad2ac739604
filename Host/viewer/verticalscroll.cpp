#include "verticalscroll.h"

#include <QEvent>
#include <QScrollBar>

VerticalScroll::VerticalScroll(QWidget *inner, QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setWidget(inner);
}

QSize VerticalScroll::minimumSizeHint() const
{
    QSize s = QScrollArea::minimumSizeHint();
    if (widget())
        s.setWidth(widget()->minimumSizeHint().width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
    return s;
}

QSize VerticalScroll::sizeHint() const
{
    QSize s = QScrollArea::sizeHint();
    s.setWidth(qMax(s.width(), minimumSizeHint().width()));
    return s;
}

bool VerticalScroll::eventFilter(QObject *watched, QEvent *event)
{
    // Rows added, a text grown: the panel's own minimum follows.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
