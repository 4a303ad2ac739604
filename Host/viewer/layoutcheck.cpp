#include "layoutcheck.h"

#include "elidedlabel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <cmath>

namespace {

QString nameOf(const QWidget *w)
{
    QString name = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty())
        name += QLatin1Char('#') + w->objectName();
    return name;
}

int textWidth(const QLabel *l)
{
    const bool rich = l->textFormat() == Qt::RichText
                      || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
    if (!rich)
        return l->fontMetrics().horizontalAdvance(l->text());
    QTextDocument doc;
    doc.setDefaultFont(l->font());
    doc.setDocumentMargin(0);
    doc.setHtml(l->text());
    return int(std::ceil(doc.idealWidth()));
}

void checkText(QWidget *w, QStringList &out)
{
    if (auto *l = qobject_cast<QLabel *>(w)) {
        if (qobject_cast<ElidedLabel *>(l) || l->wordWrap() || l->text().isEmpty() || !l->pixmap(Qt::ReturnByValue).isNull())
            return;
        const int room = l->contentsRect().width() - 2 * l->margin() - qMax(0, l->indent());
        const int need = textWidth(l);
        if (need > room + 1)
            out << QStringLiteral("%1 \"%2\" is cut: its text needs %3 px, it has %4")
                       .arg(nameOf(l), l->text().left(60))
                       .arg(need)
                       .arg(room);
        return;
    }
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        // A toolbar moves what does not fit behind its extension button.
        if (qobject_cast<QToolBar *>(b->parentWidget()) || b->text().isEmpty())
            return;
        const int need = b->minimumSizeHint().width();
        if (need > b->width() + 1)
            out << QStringLiteral("%1 \"%2\" is cut: it needs %3 px, it has %4")
                       .arg(nameOf(b), b->text())
                       .arg(need)
                       .arg(b->width());
    }
}

void checkLayout(QWidget *w, QStringList &out)
{
    QLayout *layout = w->layout();
    // The main window places its bars and docks itself, and Qt's own
    // furniture (a scroll bar's container) gives way by design.
    if (!layout || qobject_cast<QMainWindow *>(w) || w->objectName().startsWith(QLatin1String("qt_")))
        return;
    const QSize need = layout->minimumSize();
    if (w->width() + 1 < need.width() || w->height() + 1 < need.height())
        out << QStringLiteral("%1 is squeezed to %2x%3 below the %4x%5 its contents need")
                   .arg(nameOf(w))
                   .arg(w->width())
                   .arg(w->height())
                   .arg(need.width())
                   .arg(need.height());
    QList<QWidget *> items;
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget *c = layout->itemAt(i)->widget(); c && c->isVisible())
            items << c;
    for (int i = 0; i < items.size(); ++i)
        for (int j = i + 1; j < items.size(); ++j)
            if (items[i]->geometry().intersects(items[j]->geometry()))
                out << QStringLiteral("%1 and %2 overlap").arg(nameOf(items[i]), nameOf(items[j]));
}

} // namespace

QStringList layoutProblems(QWidget *window)
{
    QStringList out;
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    for (QWidget *w : qAsConst(all)) {
        if (!w->isVisible() || w->isWindow() != (w == window))
            continue;
        checkText(w, out);
        checkLayout(w, out);
    }
    out.removeDuplicates();
    return out;
}
