#include "viewtoolbar.h"

#include "camerasession.h"
#include "imagecanvas.h"
#include "liveview.h"
#include "paramspinboxes.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>

#include <cmath>

namespace {

QString withShortcut(const QString &tip, const QAction *a)
{
    return a->shortcut().isEmpty() ? tip
                                   : QStringLiteral("%1 (%2)").arg(tip, a->shortcut().toString(QKeySequence::NativeText));
}

} // namespace

ViewToolbar::ViewToolbar(QWidget *parent) : QToolBar(tr("Toolbar"), parent)
{
    setObjectName(QStringLiteral("toolbar"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(16, 16));
    auto add = [this](const QString &name, const QString &text, const QString &tip, const QKeySequence &key,
                      QStyle::StandardPixmap icon = QStyle::SP_CustomBase) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        a->setShortcut(key);
        if (icon != QStyle::SP_CustomBase)
            a->setIcon(style()->standardIcon(icon));
        a->setToolTip(withShortcut(tip, a));
        addAction(a);
        actions.insert(name, a);
        return a;
    };
    QAction *startStop = add(QStringLiteral("startStop"), tr("Stop"), tr("Stop or start the current camera's acquisition"),
                             QKeySequence(Qt::CTRL + Qt::Key_Space), QStyle::SP_MediaStop);
    connect(startStop, &QAction::triggered, this, &ViewToolbar::startStopRequested);
    QAction *reconnect = add(QStringLiteral("reconnect"), tr("Reconnect now"),
                             tr("Reopen the lost camera now (restartCamera) instead of at the driver's next retry"),
                             QKeySequence(Qt::CTRL + Qt::Key_R), QStyle::SP_BrowserReload);
    connect(reconnect, &QAction::triggered, this, &ViewToolbar::reconnectRequested);
    addSeparator();

    QAction *fit = add(QStringLiteral("fit"), tr("Fit"), tr("Fit the picture to the view (or double-click it)"),
                       QKeySequence(Qt::CTRL + Qt::Key_0));
    fit->setCheckable(true);
    connect(fit, &QAction::triggered, this, [this] {
        if (LiveView *v = view)
            v->canvas()->setFit();
        refresh();
    });
    QAction *one = add(QStringLiteral("oneToOne"), tr("1:1"), tr("One image pixel per screen pixel"),
                       QKeySequence(Qt::CTRL + Qt::Key_1));
    one->setCheckable(true);
    connect(one, &QAction::triggered, this, [this] {
        if (LiveView *v = view)
            v->canvas()->setOneToOne();
        refresh();
    });
    QAction *zoomOut = add(QStringLiteral("zoomOut"), tr("−"), tr("Zoom out"), QKeySequence::ZoomOut);
    connect(zoomOut, &QAction::triggered, this, [this] {
        if (LiveView *v = view)
            v->canvas()->zoomBy(1 / 1.25, QPointF(v->canvas()->width() / 2.0, v->canvas()->height() / 2.0));
    });
    zoomBox = new QComboBox(this);
    zoomBox->setObjectName(QStringLiteral("zoom"));
    zoomBox->setEditable(true);
    zoomBox->setInsertPolicy(QComboBox::NoInsert);
    zoomBox->setToolTip(tr("Zoom of the current view, in percent; type a value and press Enter"));
    for (int percent : {10, 25, 50, 100, 200, 400, 800})
        zoomBox->addItem(QStringLiteral("%1 %").arg(percent), percent);
    zoomBox->setMinimumContentsLength(6);
    addWidget(zoomBox);
    auto zoomToText = [this](QString text) {
        bool ok = false;
        const double percent = text.remove(QLatin1Char('%')).trimmed().toDouble(&ok);
        if (ok)
            zoomTo(percent);
        else
            emit message(tr("Zoom: \"%1\" is not a percentage").arg(zoomBox->currentText()), true);
        refresh();
    };
    connect(zoomBox, QOverload<int>::of(&QComboBox::activated), this,
            [this, zoomToText](int i) { zoomToText(zoomBox->itemText(i)); });
    // A typed value that is not in the list is not "activated".
    connect(zoomBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this, zoomToText] { zoomToText(zoomBox->currentText()); });
    QAction *zoomIn = add(QStringLiteral("zoomIn"), tr("+"), tr("Zoom in"), QKeySequence::ZoomIn);
    connect(zoomIn, &QAction::triggered, this, [this] {
        if (LiveView *v = view)
            v->canvas()->zoomBy(1.25, QPointF(v->canvas()->width() / 2.0, v->canvas()->height() / 2.0));
    });
    addSeparator();

    QAction *strip = add(QStringLiteral("strip"), tr("Strip"),
                         tr("Stack consecutive frames into a scrolling strip of the last lines"),
                         QKeySequence(Qt::CTRL + Qt::Key_L));
    strip->setCheckable(true);
    connect(strip, &QAction::toggled, this, [this](bool on) {
        if (LiveView *v = view)
            v->setStripMode(on);
    });
    stripSpin = new IntSpin(this);
    stripSpin->setObjectName(QStringLiteral("stripLines"));
    stripSpin->setRange(LiveView::kMinStripLines, LiveView::kMaxStripLines);
    stripSpin->setSingleStep(512);
    stripSpin->setValue(2048);
    stripSpin->setSuffix(tr(" lines"));
    stripSpin->setKeyboardTracking(false);
    stripSpin->setToolTip(tr("Lines the strip keeps: %1 to %2").arg(LiveView::kMinStripLines).arg(LiveView::kMaxStripLines));
    addWidget(stripSpin);
    auto setLines = [this] {
        LiveView *v = view;
        const std::optional<qint64> typed = stripSpin->takeTyped();
        if (!v)
            return;
        const int kept = v->setStripLines(stripSpin->value());
        if (typed && *typed != kept)
            emit message(tr("The strip keeps %1 to %2 lines: %3 asked, %4 kept")
                            .arg(LiveView::kMinStripLines)
                            .arg(LiveView::kMaxStripLines)
                            .arg(*typed)
                            .arg(kept),
                        true);
    };
    connect(stripSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, setLines);
    connect(stripSpin, &QAbstractSpinBox::editingFinished, this, setLines);
    addSeparator();
    QAction *saveImage = add(QStringLiteral("saveImage"), tr("Save image…"),
                             tr("Save the current view's picture (frame or strip) to a PNG file"),
                             QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_S), QStyle::SP_DialogSaveButton);
    connect(saveImage, &QAction::triggered, this, [this] {
        if (LiveView *v = view)
            v->saveWithDialog();
    });
    refresh();
}

void ViewToolbar::setCurrent(LiveView *v, CameraSession *s)
{
    if (view)
        disconnect(view->canvas(), nullptr, this, nullptr);
    view = v;
    session = s;
    if (view)
        connect(view->canvas(), &ImageCanvas::viewChanged, this, &ViewToolbar::refresh);
    refresh();
}

QAction *ViewToolbar::action(const QString &name) const
{
    return actions.value(name);
}

void ViewToolbar::refresh()
{
    CameraSession *s = session;
    LiveView *v = view;
    QAction *startStop = actions.value(QStringLiteral("startStop"));
    const bool down = s && s->down();
    startStop->setEnabled(s && !down);
    const bool stopped = s && s->stopped();
    startStop->setText(stopped ? tr("Start") : tr("Stop"));
    startStop->setIcon(style()->standardIcon(stopped ? QStyle::SP_MediaPlay : QStyle::SP_MediaStop));
    actions.value(QStringLiteral("reconnect"))->setEnabled(down);
    for (const char *name : {"fit", "oneToOne", "zoomIn", "zoomOut", "strip", "saveImage"})
        actions.value(QLatin1String(name))->setEnabled(v != nullptr);
    zoomBox->setEnabled(v != nullptr);
    stripSpin->setEnabled(v != nullptr);
    if (!v)
        return;
    ImageCanvas *c = v->canvas();
    actions.value(QStringLiteral("fit"))->setChecked(c->isFit());
    actions.value(QStringLiteral("oneToOne"))->setChecked(c->isOneToOne());
    {
        const QSignalBlocker a(actions.value(QStringLiteral("strip")));
        actions.value(QStringLiteral("strip"))->setChecked(v->stripMode());
        const QSignalBlocker b(stripSpin);
        stripSpin->setValue(v->stripLines());
    }
    const QSignalBlocker block(zoomBox);
    const double percent = c->zoom() * 100.0;
    zoomBox->setEditText(percent >= 10 ? QStringLiteral("%1 %").arg(std::round(percent))
                                       : QStringLiteral("%1 %").arg(percent, 0, 'f', 1));
}

void ViewToolbar::zoomTo(double percent)
{
    LiveView *v = view;
    if (!v || !(percent > 0))
        return;
    ImageCanvas *c = v->canvas();
    c->zoomBy(percent / 100.0 / c->zoom(), QPointF(c->width() / 2.0, c->height() / 2.0));
}

