#include "viewarea.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedLayout>
#include <QTabWidget>

ViewArea::ViewArea(QWidget *parent) : QWidget(parent)
{
    stack = new QStackedLayout(this);
    tabs = new QTabWidget(this);
    tabs->setDocumentMode(true);
    split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    auto *none = new QLabel(tr("Open a camera from the list to see its pictures."), this);
    none->setAlignment(Qt::AlignCenter);
    none->setWordWrap(true);
    none->setEnabled(false);
    stack->addWidget(none);
    stack->addWidget(tabs);
    stack->addWidget(split);
    connect(tabs, &QTabWidget::currentChanged, this, [this](int i) {
        if (i >= 0)
            emit tabSwitched(tabs->widget(i));
    });
}

void ViewArea::addView(QWidget *view, const QString &title)
{
    // Tabs that come and go are not the person's switch.
    const QSignalBlocker block(tabs);
    all.append(view);
    titles.append(title);
    if (grid)
        split->addWidget(view);
    else
        tabs->addTab(view, title);
    stack->setCurrentWidget(grid ? static_cast<QWidget *>(split) : tabs);
    setCurrent(view);
}

void ViewArea::removeView(QWidget *view)
{
    const int i = all.indexOf(view);
    if (i < 0)
        return;
    const QSignalBlocker block(tabs);
    all.removeAt(i);
    titles.removeAt(i);
    const int t = tabs->indexOf(view);
    if (t >= 0)
        tabs->removeTab(t);
    view->hide();
    view->setParent(nullptr);
    if (all.isEmpty())
        stack->setCurrentIndex(0);
}

void ViewArea::setTitle(QWidget *view, const QString &title)
{
    const int i = all.indexOf(view);
    if (i < 0)
        return;
    titles[i] = title;
    const int t = tabs->indexOf(view);
    if (t >= 0)
        tabs->setTabText(t, title);
}

void ViewArea::setGrid(bool on)
{
    if (grid == on)
        return;
    const QSignalBlocker block(tabs);
    grid = on;
    for (int i = 0; i < all.size(); ++i) {
        if (grid) {
            const int t = tabs->indexOf(all[i]);
            if (t >= 0)
                tabs->removeTab(t);
            split->addWidget(all[i]);
            all[i]->show();
        } else {
            tabs->addTab(all[i], titles[i]);
        }
    }
    if (!all.isEmpty())
        stack->setCurrentWidget(grid ? static_cast<QWidget *>(split) : tabs);
}

void ViewArea::setCurrent(QWidget *view)
{
    if (!grid && tabs->indexOf(view) >= 0) {
        const QSignalBlocker block(tabs);
        tabs->setCurrentWidget(view);
    }
}
