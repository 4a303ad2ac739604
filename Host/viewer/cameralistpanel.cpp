#include "cameralistpanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

CameraListPanel::CameraListPanel(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("deviceCount"));
    layout->addWidget(countLabel);
    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("cameraList"));
    list->setColumnCount(2);
    list->setHeaderLabels({tr("Camera"), tr("State")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->setMinimumHeight(70);
    layout->addWidget(list, 1);
    auto *buttons = new QHBoxLayout;
    auto *refresh = new QPushButton(tr("Refresh"), this);
    refresh->setToolTip(tr("enumerateCameras"));
    auto *open = new QPushButton(tr("Open"), this);
    open->setToolTip(tr("createCamera and load its settings (or the defaults)"));
    auto *close = new QPushButton(tr("Close"), this);
    buttons->addWidget(refresh);
    buttons->addWidget(open);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(refresh, &QPushButton::clicked, this, &CameraListPanel::refreshRequested);
    connect(open, &QPushButton::clicked, this, &CameraListPanel::openRequested);
    connect(close, &QPushButton::clicked, this, &CameraListPanel::closeRequested);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &CameraListPanel::selectionChanged);
    // Activation is Enter as well as a double-click.
    connect(list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString serial = item->data(0, Qt::UserRole).toString();
        if (!serial.isEmpty())
            emit activated(serial);
    });
}

void CameraListPanel::setCountText(const QString &text)
{
    countLabel->setText(text);
}

void CameraListPanel::setEntries(const QVector<Entry> &entries, int others)
{
    const QString selected = currentSerial();
    const QSignalBlocker block(list);
    list->clear();
    for (const Entry &e : entries) {
        auto *item = new QTreeWidgetItem(list, {e.serial, e.state});
        item->setData(0, Qt::UserRole, e.serial);
        item->setForeground(1, e.stateColour);
        if (e.current) {
            QFont f = item->font(0);
            f.setBold(true);
            item->setFont(0, f);
            item->setFont(1, f);
        }
        if (e.serial == selected) {
            list->setCurrentItem(item);
            item->setSelected(true);
        }
    }
    if (others > 0) {
        // The plug-in names only its own family; the others are counted.
        auto *item = new QTreeWidgetItem(list, {tr("%n other device(s)", nullptr, others), tr("not a VD-XG camera")});
        item->setFlags(Qt::NoItemFlags);
        item->setToolTip(0, tr("The SDK reports %n device(s) of another family; this plug-in drives VD-XG cameras only.",
                               nullptr, others));
        item->setToolTip(1, item->toolTip(0));
    }
}

QString CameraListPanel::currentSerial() const
{
    const QList<QTreeWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(0, Qt::UserRole).toString();
}

void CameraListPanel::select(const QString &serial)
{
    if (serial.isEmpty())
        return;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toString() == serial) {
            list->setCurrentItem(item);
            item->setSelected(true);
        }
    }
}

QTreeWidget *CameraListPanel::tree() const
{
    return list;
}
