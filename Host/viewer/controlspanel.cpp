#include "controlspanel.h"

#include "camerasession.h"
#include "elidedlabel.h"
#include "paramspinboxes.h"
#include "settingsload.h"
#include "verticalscroll.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// The wheel changes a choice only while it has focus: scrolling the panel
// over it must not, as in the editor's rows.
class FocusWheelCombo : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (hasFocus())
            QComboBox::wheelEvent(event);
        else
            event->ignore();
    }
};

IntSpin *spin(int lo, int hi, int value, QWidget *parent, const QString &name)
{
    auto *s = new IntSpin(parent);
    s->setFocusPolicy(Qt::StrongFocus);
    s->setRange(lo, hi);
    s->setValue(value);
    s->setObjectName(name);
    return s;
}

QPushButton *button(const QString &text, const QString &tip, QWidget *parent, const QString &name)
{
    auto *b = new QPushButton(text, parent);
    b->setToolTip(tip);
    b->setObjectName(name);
    return b;
}

} // namespace

ControlsPanel::ControlsPanel(QWidget *parent) : QWidget(parent)
{
    // The groups scroll; the settings buttons stay below them, in view.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *groups = new QWidget;
    auto *column = new QVBoxLayout(groups);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(6);
    outer->addWidget(new VerticalScroll(groups, this), 1);

    // Acquisition: running, continuous, soft trigger.
    auto *acq = new QGroupBox(tr("Acquisition"), groups);
    auto *acqGrid = new QGridLayout(acq);
    running = new QCheckBox(tr("Running (numbered)"), acq);
    running->setObjectName(QStringLiteral("running"));
    running->setToolTip(tr("isRunning: number every frame by product, capture and cycle and keep them all.\n"
                           "Off: preview, frames thinned to one per 50 ms and not numbered."));
    triggerMode = new QLabel(acq);
    triggerMode->setObjectName(QStringLiteral("triggerMode"));
    triggerMode->setWordWrap(true);
    triggerMode->setToolTip(tr("The trigger mode that isContinueCapture reports"));
    continuous = button(tr("Continuous"),
                        tr("setContinueCapture: puts the camera into continuous acquisition.\n"
                           "Disabled while it already is. The driver has no way back to trigger mode: a camera\n"
                           "is in trigger mode when its own configuration says so (with the simulator,\n"
                           "\"triggerMode\" of the device in the --sim-config file)."),
                        acq, QStringLiteral("continuous"));
    triggerProduct = spin(0, 1000000, 1, acq, QStringLiteral("triggerProduct"));
    triggerProduct->setToolTip(tr("Product number preset by a soft trigger when the grouping kind is 32"));
    QPushButton *trigger = button(tr("Soft trigger"), tr("Fire one software trigger"), acq, QStringLiteral("softTrigger"));
    acqGrid->addWidget(running, 0, 0, 1, 2);
    acqGrid->addWidget(triggerMode, 1, 0, 1, 2);
    acqGrid->addWidget(continuous, 2, 0);
    acqGrid->addWidget(trigger, 3, 0);
    acqGrid->addWidget(triggerProduct, 3, 1);
    column->addWidget(acq);

    // Exposure configurations.
    auto *expo = new QGroupBox(tr("Exposure configuration"), groups);
    auto *expoGrid = new QGridLayout(expo);
    configCount = spin(0, SettingsLoad::kMaxExposureConfigs, 1, expo, QStringLiteral("configCount"));
    configCount->setToolTip(tr("Number of exposure configurations"));
    QPushButton *setCount = button(tr("Set count"), tr("setExposureConfigCount: rebuilds the parameter list"), expo,
                                   QStringLiteral("setConfigCount"));
    // Numbered from 1, as the editor's "曝光时间1", "曝光时间2", ...
    exposureIndex = spin(1, 1, 1, expo, QStringLiteral("exposureIndex"));
    QPushButton *select = button(tr("Select"), tr("selectExposure: send this configuration's exposure time"), expo,
                                 QStringLiteral("selectExposure"));
    // What the camera answered, shortened rather than widening the panel.
    exposureStatus = new ElidedLabel(expo);
    exposureStatus->setObjectName(QStringLiteral("exposureStatus"));
    expoGrid->addWidget(new QLabel(tr("Count"), expo), 0, 0);
    expoGrid->addWidget(configCount, 0, 1);
    expoGrid->addWidget(setCount, 0, 2);
    expoGrid->addWidget(new QLabel(tr("Configuration"), expo), 1, 0);
    expoGrid->addWidget(exposureIndex, 1, 1);
    expoGrid->addWidget(select, 1, 2);
    expoGrid->addWidget(exposureStatus, 2, 0, 1, 3);
    column->addWidget(expo);

    // Product grouping.
    auto *group = new QGroupBox(tr("Product grouping"), groups);
    auto *form = new QFormLayout(group);
    // In a narrow panel a field goes below its label rather than off the edge.
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    kind = new FocusWheelCombo(group);
    kind->setObjectName(QStringLiteral("groupingKind"));
    kind->addItem(tr("1: frame by frame"), 1);
    kind->addItem(tr("32: by soft trigger"), 32);
    capturesPerProduct = spin(1, 100000, 1, group, QStringLiteral("capturesPerProduct"));
    productsPerCycle = spin(1, 100000, 1, group, QStringLiteral("productsPerCycle"));
    cycleTimeout = spin(0, 3600000, 0, group, QStringLiteral("cycleTimeout"));
    cycleTimeout->setSuffix(tr(" ms"));
    cycleTimeout->setSpecialValueText(tr("none"));
    QPushButton *setGroup = button(tr("Set grouping"), tr("setTrigParams"), group, QStringLiteral("setGrouping"));
    form->addRow(tr("Kind"), kind);
    form->addRow(tr("Captures per product"), capturesPerProduct);
    form->addRow(tr("Products per cycle"), productsPerCycle);
    form->addRow(tr("Cycle time-out"), cycleTimeout);
    form->addRow(QString(), setGroup);
    column->addWidget(group);
    column->addStretch(1);

    // Settings: what a person needs after every edit, never scrolled away.
    auto *settings = new QFrame(this);
    settings->setObjectName(QStringLiteral("settingsBar"));
    settings->setFrameShape(QFrame::StyledPanel);
    auto *setGrid = new QGridLayout(settings);
    setGrid->setContentsMargins(6, 4, 6, 4);
    apply = button(tr("Apply"), tr("load() of the current settings: brings the colour choice to the device"),
                   settings, QStringLiteral("apply"));
    QPushButton *snap = button(tr("Snapshot"), tr("saveSnapshot"), settings, QStringLiteral("snapshot"));
    QPushButton *restore = button(tr("Restore"), tr("restoreSnapshot"), settings, QStringLiteral("restore"));
    save = button(tr("Save settings…"), tr("Write the settings of every open camera"), settings,
                  QStringLiteral("saveSettings"));
    QPushButton *load = button(tr("Load settings…"), tr("Load settings into the open cameras"), settings,
                               QStringLiteral("loadSettings"));
    setGrid->addWidget(apply, 0, 0, 1, 2);
    setGrid->addWidget(snap, 0, 2, 1, 2);
    setGrid->addWidget(restore, 0, 4, 1, 2);
    setGrid->addWidget(save, 1, 0, 1, 3);
    setGrid->addWidget(load, 1, 3, 1, 3);
    outer->addWidget(settings);
    for (QWidget *w : {static_cast<QWidget *>(apply), static_cast<QWidget *>(save), static_cast<QWidget *>(load)})
        w->setProperty("keepInView", true);

    cameraOnly = {acq, expo, group, apply, snap, restore};
    deviceOnly = {continuous, trigger, select, apply};

    connect(running, &QCheckBox::toggled, this, [this](bool on) {
        if (current)
            current->setRunning(on);
    });
    connect(continuous, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->setContinuous(true);
        refresh();
    });
    connect(trigger, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->softTrigger(triggerProduct->value(), 1);
        triggerProduct->setValue(triggerProduct->value() + 1);
    });
    connect(setCount, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->setExposureConfigCount(configCount->value());
        emit message(tr("%1: %2 exposure configuration(s); the editor was rebuilt")
                         .arg(current->serial())
                         .arg(configCount->value()),
                     false);
        refresh();
    });
    connect(select, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        const int number = exposureIndex->value();
        const int status = current->selectExposure(number - 1);
        exposureStatus->setFullText(status == 0    ? tr("Configuration %1 sent (selectExposure status 0)").arg(number)
                                : status == -1 ? tr("Configuration %1: no such configuration (-1)").arg(number)
                                               : tr("Configuration %1: the camera answered %2").arg(number).arg(status));
    });
    connect(setGroup, &QPushButton::clicked, this, &ControlsPanel::setGrouping);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        const SettingsLoad::ExposureSelection chosen = current->apply();
        const QString colour = SettingsLoad::colourNote(current->camera());
        QString text = chosen.outcome == SettingsLoad::ExposureSelection::Selected
                           ? tr("%1: settings applied: the colour choice and exposure configuration %2 (%3 × 0.1 ms) "
                                "reached the camera")
                                 .arg(current->serial())
                                 .arg(chosen.index + 1)
                                 .arg(chosen.time, 0, 'g', 7)
                           : tr("%1: settings applied: the colour choice reached the camera; %2")
                                 .arg(current->serial(), chosen.text(current->serial()));
        if (!colour.isEmpty())
            text += QStringLiteral("; ") + colour;
        emit message(text, chosen.outcome == SettingsLoad::ExposureSelection::Refused);
        refresh();
    });
    connect(snap, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->snapshot();
        emit message(tr("%1: snapshot taken").arg(current->serial()), false);
    });
    connect(restore, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->restore();
        emit message(tr("%1: snapshot restored").arg(current->serial()), false);
        refresh();
    });
    connect(save, &QPushButton::clicked, this, &ControlsPanel::saveSettingsRequested);
    connect(load, &QPushButton::clicked, this, &ControlsPanel::loadSettingsRequested);

    setSession(nullptr);
    setCanSave(false);
}

void ControlsPanel::setSession(CameraSession *session)
{
    if (current)
        disconnect(current, nullptr, this, nullptr);
    current = session;
    if (current) {
        connect(current, &CameraSession::valuesChanged, this, &ControlsPanel::refresh);
        connect(current, &CameraSession::descriptorsRebuilt, this, &ControlsPanel::refresh);
        connect(current, &CameraSession::linkChanged, this, &ControlsPanel::refresh);
        connect(current, &CameraSession::stateChanged, this, &ControlsPanel::refresh);
    }
    exposureStatus->setFullText(QString());
    refresh();
}

void ControlsPanel::setCanSave(bool can)
{
    save->setEnabled(can);
    save->setToolTip(can ? tr("Write the settings of every open camera") : tr("No camera is open: nothing to save"));
}

void ControlsPanel::refresh()
{
    const bool usable = current && !current->lost();
    const bool device = usable && !current->stopped();
    for (QWidget *w : qAsConst(cameraOnly))
        w->setEnabled(usable);
    for (QWidget *w : qAsConst(deviceOnly))
        w->setEnabled(device);
    const bool pending = current && current->applyPending();
    apply->setText(pending ? tr("Apply ●") : tr("Apply"));
    apply->setProperty("pending", pending);
    if (!current) {
        triggerMode->setText(tr("Trigger mode: no camera"));
        return;
    }
    {
        const QSignalBlocker a(running);
        running->setChecked(current->running());
        const QSignalBlocker c(configCount);
        configCount->setValue(current->exposureConfigCount());
    }
    exposureIndex->setMaximum(qMax(1, current->exposureConfigCount()));
    if (current->lost()) {
        // A closed camera answers "not continuous": that would be a guess.
        triggerMode->setText(tr("Trigger mode: unknown while the link is lost"));
    } else if (current->stopped()) {
        triggerMode->setText(tr("Trigger mode: unknown while stopped"));
    } else {
        const bool cont = current->continuous();
        triggerMode->setText(cont ? tr("Trigger mode: continuous") : tr("Trigger mode: triggered"));
        continuous->setEnabled(!cont);
    }
    const CameraTrigParams &t = current->grouping();
    const int k = kind->findData(t.trigKind);
    if (k >= 0)
        kind->setCurrentIndex(k);
    capturesPerProduct->setValue(t.capturesPerProduct);
    productsPerCycle->setValue(t.productsPerCycle);
    cycleTimeout->setValue(t.cycleTimeout);
}

void ControlsPanel::setGrouping()
{
    if (!current)
        return;
    CameraTrigParams t;
    t.trigKind = kind->currentData().toInt();
    t.capturesPerProduct = capturesPerProduct->value();
    t.productsPerCycle = productsPerCycle->value();
    t.cycleTimeout = cycleTimeout->value();
    current->setGrouping(t);
    emit message(tr("%1: grouping set: kind %2, %3 capture(s) per product, %4 product(s) per cycle")
                     .arg(current->serial())
                     .arg(t.trigKind)
                     .arg(t.capturesPerProduct)
                     .arg(t.productsPerCycle),
                 false);
}
