#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class QLabel;
class QTreeWidget;

// The viewer's camera list: the SDK's device count above a row per camera
// with its state (the current camera in bold), a greyed row for the SDK's
// devices of other families, and Refresh, Open and Close below. Enter or a
// double-click on a row asks to open it. It shows what it is given and says
// what the person asked for; the window decides.
//
// Threading: UI thread only.
class CameraListPanel : public QWidget
{
    Q_OBJECT
public:
    struct Entry
    {
        QString serial;
        QString state;  // "closed", "stopped", "open", "lost since …", "stalled since …", "back at …"
        QColor stateColour;
        bool current = false;
    };

    explicit CameraListPanel(QWidget *parent = nullptr);

    void setCountText(const QString &text);
    // Replaces the rows; the selected camera stays selected. Reports no
    // selection change.
    // `others`: the SDK's devices that are no VD-XG camera, shown greyed.
    void setEntries(const QVector<Entry> &entries, int others = 0);
    // The selected camera; empty when none is.
    QString currentSerial() const;
    void select(const QString &serial);
    QTreeWidget *tree() const;

signals:
    void refreshRequested();
    void openRequested();
    void closeRequested();
    void selectionChanged();
    // Enter or a double-click.
    void activated(const QString &serial);

private:
    QLabel *countLabel;
    QTreeWidget *list;
};
