#pragma once

#include <QScrollArea>

// A panel that scrolls up and down only: it asks for the width its contents
// need, so that the window gives it that much rather than a sideways scroll
// bar, and asks again whenever their layout changes. UI thread only.
class VerticalScroll : public QScrollArea
{
public:
    explicit VerticalScroll(QWidget *inner, QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
