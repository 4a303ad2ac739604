#pragma once

#include <QLabel>
#include <QString>

// A one-line label that shortens its text with "…" when it does not fit and
// then shows the whole text as its tooltip. It never asks for the width of
// its text: figures that change twice a second must not lay the window out
// again. UI thread only.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return full; }
    bool isElided() const { return elided; }
    // A tooltip of its own, shown when the text is not shortened.
    void setPlainToolTip(const QString &tip);

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateShown();

    QString full;
    QString ownTip;
    bool elided = false;
};
