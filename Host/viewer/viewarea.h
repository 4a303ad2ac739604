#pragma once

#include <QList>
#include <QWidget>

class QSplitter;
class QStackedLayout;
class QTabWidget;

// Holds the live views, as tabs or as a grid (one above the other: line-scan
// pictures are wide). UI thread only; the views stay owned by this area.
class ViewArea : public QWidget
{
    Q_OBJECT
public:
    explicit ViewArea(QWidget *parent = nullptr);

    void addView(QWidget *view, const QString &title);
    void removeView(QWidget *view);
    void setTitle(QWidget *view, const QString &title);
    void setGrid(bool grid);
    bool isGrid() const { return grid; }
    QList<QWidget *> views() const { return all; }
    void setCurrent(QWidget *view);

signals:
    // The person switched to another tab.
    void tabSwitched(QWidget *view);

private:
    QStackedLayout *stack;
    QTabWidget *tabs;
    QSplitter *split;
    QList<QWidget *> all;
    QList<QString> titles;
    bool grid = true;
};
