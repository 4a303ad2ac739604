#include "controlspanel.h"

#include "camerasession.h"

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

namespace {

QSpinBox *spin(int lo, int hi, int value, QWidget *parent, const QString &name)
{
    auto *s = new QSpinBox(parent);
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
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 4, 6, 4);
    outer->setSpacing(6);

    // Acquisition: running, continuous, soft trigger.
    auto *acq = new QGroupBox(tr("Acquisition"), this);
    auto *acqGrid = new QGridLayout(acq);
    running = new QCheckBox(tr("Running (numbered production capture)"), acq);
    running->setObjectName(QStringLiteral("running"));
    running->setToolTip(tr("isRunning: number every frame by product, capture and cycle and keep them all.\n"
                           "Off: preview, frames thinned to one per 50 ms and not numbered."));
    continuous = new QCheckBox(tr("Continuous"), acq);
    continuous->setObjectName(QStringLiteral("continuous"));
    continuous->setToolTip(tr("setContinueCapture; the label shows what isContinueCapture answers"));
    continuousState = new QLabel(acq);
    continuousState->setObjectName(QStringLiteral("continuousState"));
    triggerProduct = spin(0, 1000000, 1, acq, QStringLiteral("triggerProduct"));
    triggerProduct->setPrefix(tr("product "));
    triggerProduct->setToolTip(tr("Product number preset by a soft trigger when the grouping kind is 32"));
    QPushButton *trigger = button(tr("Soft trigger"), tr("Fire one software trigger"), acq, QStringLiteral("softTrigger"));
    acqGrid->addWidget(running, 0, 0, 1, 3);
    acqGrid->addWidget(continuous, 1, 0);
    acqGrid->addWidget(continuousState, 1, 1, 1, 2);
    acqGrid->addWidget(trigger, 2, 0);
    acqGrid->addWidget(triggerProduct, 2, 1);
    outer->addWidget(acq);

    // Exposure configurations.
    auto *expo = new QGroupBox(tr("Exposure configuration"), this);
    auto *expoGrid = new QGridLayout(expo);
    configCount = spin(0, 16, 1, expo, QStringLiteral("configCount"));
    QPushButton *setCount = button(tr("Set count"), tr("setExposureConfigCount: rebuilds the parameter list"), expo,
                                   QStringLiteral("setConfigCount"));
    exposureIndex = spin(0, 15, 0, expo, QStringLiteral("exposureIndex"));
    QPushButton *select = button(tr("Select"), tr("selectExposure: send this configuration's exposure time"), expo,
                                 QStringLiteral("selectExposure"));
    exposureStatus = new QLabel(expo);
    exposureStatus->setObjectName(QStringLiteral("exposureStatus"));
    expoGrid->addWidget(new QLabel(tr("Configurations"), expo), 0, 0);
    expoGrid->addWidget(configCount, 0, 1);
    expoGrid->addWidget(setCount, 0, 2);
    expoGrid->addWidget(new QLabel(tr("Configuration"), expo), 1, 0);
    expoGrid->addWidget(exposureIndex, 1, 1);
    expoGrid->addWidget(select, 1, 2);
    expoGrid->addWidget(exposureStatus, 2, 0, 1, 3);
    outer->addWidget(expo);

    // Product grouping.
    auto *group = new QGroupBox(tr("Product grouping"), this);
    auto *form = new QFormLayout(group);
    kind = new QComboBox(group);
    kind->setObjectName(QStringLiteral("groupingKind"));
    kind->addItem(tr("1: counted frame by frame"), 1);
    kind->addItem(tr("32: numbered by soft trigger"), 32);
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
    outer->addWidget(group);

    // Settings.
    auto *settings = new QGroupBox(tr("Settings"), this);
    auto *setGrid = new QGridLayout(settings);
    QPushButton *apply = button(tr("Apply"), tr("load() of the current settings: brings the colour choice to the device"),
                                settings, QStringLiteral("apply"));
    QPushButton *snap = button(tr("Snapshot"), tr("saveSnapshot"), settings, QStringLiteral("snapshot"));
    QPushButton *restore = button(tr("Restore"), tr("restoreSnapshot"), settings, QStringLiteral("restore"));
    QPushButton *save = button(tr("Save settings…"), tr("Write the settings of every open camera"), settings,
                               QStringLiteral("saveSettings"));
    QPushButton *load = button(tr("Load settings…"), tr("Load settings into the open cameras"), settings,
                               QStringLiteral("loadSettings"));
    setGrid->addWidget(apply, 0, 0);
    setGrid->addWidget(snap, 0, 1);
    setGrid->addWidget(restore, 0, 2);
    setGrid->addWidget(save, 1, 0, 1, 2);
    setGrid->addWidget(load, 1, 2);
    outer->addWidget(settings);
    outer->addStretch(1);

    cameraOnly = {acq, expo, group, apply, snap, restore};

    connect(running, &QCheckBox::toggled, this, [this](bool on) {
        if (current)
            current->setRunning(on);
    });
    connect(continuous, &QCheckBox::toggled, this, [this](bool on) {
        if (!current)
            return;
        current->setContinuous(on);
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
        const int status = current->selectExposure(exposureIndex->value());
        exposureStatus->setText(status == 0    ? tr("selectExposure(%1): status 0, sent").arg(exposureIndex->value())
                                : status == -1 ? tr("selectExposure(%1): -1, no such configuration").arg(exposureIndex->value())
                                               : tr("selectExposure(%1): the camera answered %2")
                                                     .arg(exposureIndex->value())
                                                     .arg(status));
    });
    connect(setGroup, &QPushButton::clicked, this, &ControlsPanel::setGrouping);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (!current)
            return;
        current->apply();
        emit message(tr("%1: settings applied (load)").arg(current->serial()), false);
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
    }
    exposureStatus->clear();
    refresh();
}

void ControlsPanel::refresh()
{
    for (QWidget *w : qAsConst(cameraOnly))
        w->setEnabled(current != nullptr);
    if (!current) {
        continuousState->clear();
        return;
    }
    const bool cont = current->continuous();
    {
        const QSignalBlocker a(running);
        running->setChecked(current->running());
        const QSignalBlocker b(continuous);
        continuous->setChecked(cont);
        const QSignalBlocker c(configCount);
        configCount->setValue(current->exposureConfigCount());
    }
    exposureIndex->setMaximum(qMax(0, current->exposureConfigCount() - 1));
    continuousState->setText(cont ? tr("isContinueCapture: continuous") : tr("isContinueCapture: triggered"));
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
