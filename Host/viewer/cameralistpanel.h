#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class QLabel;
class QTreeWidget;

// The viewer's camera list: the SDK's device count above a row per camera
// with its state, and Refresh, Open and Close below. It shows what it is
// given and says what the person asked for; the window decides.
//
// Threading: UI thread only.
class CameraListPanel : public QWidget
{
    Q_OBJECT
public:
    struct Entry
    {
        QString serial;
        QString state;  // "closed", "open", "lost since …", "reconnected at …"
        QColor stateColour;
    };

    explicit CameraListPanel(QWidget *parent = nullptr);

    void setCountText(const QString &text);
    // Replaces the rows; the selected camera stays selected. Reports no
    // selection change.
    void setEntries(const QVector<Entry> &entries);
    // The selected camera; empty when none is.
    QString currentSerial() const;
    void select(const QString &serial);

signals:
    void refreshRequested();
    void openRequested();
    void closeRequested();
    void selectionChanged();
    // Double-clicked.
    void activated(const QString &serial);

private:
    QLabel *countLabel;
    QTreeWidget *list;
};
