#include "layoutcheck.h"

#include "elidedlabel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QWidgetAction>

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

void checkTabs(QTabBar *bar, QStringList &out)
{
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i))
            continue;
        const QRect r = bar->tabRect(i);
        const QString text = bar->tabText(i);
        const bool vertical = bar->shape() == QTabBar::RoundedWest || bar->shape() == QTabBar::RoundedEast
                              || bar->shape() == QTabBar::TriangularWest || bar->shape() == QTabBar::TriangularEast;
        if (vertical ? (r.top() < 0 || r.bottom() >= bar->height()) : (r.left() < 0 || r.right() >= bar->width())) {
            out << QStringLiteral("tab \"%1\" of %2 lies outside its tab bar").arg(text, nameOf(bar));
            continue;
        }
        QStyleOptionTab opt;
        opt.initFrom(bar);
        opt.text = text;
        const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &opt, bar);
        const int icon = bar->tabIcon(i).isNull() ? 0 : bar->iconSize().width() + 4;
        const int need = bar->fontMetrics().size(Qt::TextShowMnemonic, text).width() + space + icon;
        if (need <= r.width() + 1)
            continue;
        if (bar->elideMode() == Qt::ElideNone)
            out << QStringLiteral("tab \"%1\" of %2 is cut: it needs %3 px, it has %4")
                       .arg(text, nameOf(bar))
                       .arg(need)
                       .arg(r.width());
        else if (!bar->tabToolTip(i).contains(text))
            out << QStringLiteral("tab \"%1\" of %2 is shortened without its whole text as tooltip").arg(text, nameOf(bar));
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

void checkScrolling(QScrollArea *area, QStringList &out)
{
    QWidget *inner = area->widget();
    if (!inner || area->property("scrollsSideways").toBool())
        return;
    const int shown = area->viewport()->width();
    if (inner->width() > shown + 1 || (area->horizontalScrollBar()->isVisible() && area->horizontalScrollBar()->maximum() > 0))
        out << QStringLiteral("%1 scrolls sideways: %2 needs %3 px, it shows %4")
                   .arg(nameOf(area), nameOf(inner))
                   .arg(inner->width())
                   .arg(shown);
}

void checkInView(QWidget *w, QStringList &out)
{
    if (!w->property("keepInView").toBool())
        return;
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        auto *area = qobject_cast<QScrollArea *>(p);
        if (!area)
            continue;
        const QRect at(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
        if (!area->viewport()->rect().contains(at))
            out << QStringLiteral("%1 \"%2\" lies outside the visible part of its panel: it is at y %3 of the %4 px shown")
                       .arg(nameOf(w), w->property("text").toString())
                       .arg(at.y())
                       .arg(area->viewport()->height());
        return;
    }
}

bool inAnyMenu(const QMenu *menu, const QAction *a)
{
    for (QAction *m : menu->actions()) {
        if (m == a)
            return true;
        if (m->menu() && inAnyMenu(m->menu(), a))
            return true;
    }
    return false;
}

void checkToolbar(QToolBar *bar, QWidget *window, QStringList &out)
{
    auto *main = qobject_cast<QMainWindow *>(window);
    for (QAction *a : bar->actions()) {
        if (a->isSeparator() || !a->isVisible() || qobject_cast<QWidgetAction *>(a))
            continue;
        QWidget *button = bar->widgetForAction(a);
        if (button && button->isVisible() && bar->rect().contains(button->geometry()))
            continue;
        bool offered = false;
        if (main && main->menuWidget())
            for (QMenu *m : main->menuWidget()->findChildren<QMenu *>())
                offered = offered || inAnyMenu(m, a);
        if (!offered)
            out << QStringLiteral("toolbar action \"%1\" is behind the toolbar's extension button and in no menu")
                       .arg(a->text());
    }
}

// A dock behind another's tab stays visible, moved out of the window.
bool behindATab(const QWidget *w)
{
    for (; w; w = w->parentWidget())
        if (qobject_cast<const QDockWidget *>(w))
            return w->visibleRegion().isEmpty();
    return false;
}

} // namespace

QStringList layoutProblems(QWidget *window)
{
    QStringList out;
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    for (QWidget *w : qAsConst(all)) {
        if (!w->isVisible() || w->isWindow() != (w == window) || behindATab(w))
            continue;
        checkText(w, out);
        checkLayout(w, out);
        checkInView(w, out);
        if (auto *bar = qobject_cast<QTabBar *>(w))
            checkTabs(bar, out);
        if (auto *area = qobject_cast<QScrollArea *>(w))
            checkScrolling(area, out);
        if (auto *bar = qobject_cast<QToolBar *>(w))
            checkToolbar(bar, window, out);
    }
    out.removeDuplicates();
    return out;
}

QStringList layoutProblemsOfEveryPanel(QMainWindow *window, const std::function<void(const QString &)> &raisedNow)
{
    QStringList out = layoutProblems(window);
    const QList<QDockWidget *> docks = window->findChildren<QDockWidget *>();
    QList<QDockWidget *> raised;
    for (QDockWidget *d : docks)
        if (d->isVisible() && !behindATab(d))
            raised << d;
    for (QDockWidget *d : docks) {
        // Only a dock hidden behind another's tab has not been seen yet.
        if (!d->toggleViewAction()->isChecked() || raised.contains(d) || window->tabifiedDockWidgets(d).isEmpty())
            continue;
        d->raise();
        QApplication::processEvents();
        if (raisedNow)
            raisedNow(d->windowTitle());
        for (const QString &p : layoutProblems(window))
            if (!out.contains(p))
                out << QStringLiteral("[%1] %2").arg(d->windowTitle(), p);
    }
    for (QDockWidget *d : qAsConst(raised))
        d->raise();
    QApplication::processEvents();
    return out;
}
