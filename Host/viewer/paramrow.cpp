#include "paramrow.h"

#include "paramspinboxes.h"
#include "paramvalues.h"
#include "paramwrap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

QIcon pinIcon()
{
    static QIcon icon = [] {
        QIcon i;
        for (bool on : {false, true}) {
            QPixmap pm(16, 16);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const QColor c = on ? QColor(0xd8, 0x43, 0x15) : QColor(0x9e, 0x9e, 0x9e);
            p.setPen(QPen(c.darker(130), 1.6));
            p.drawLine(QPointF(8, 8), QPointF(8, 15));
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QPointF(8, 5.5), 4.5, 4.5);
            i.addPixmap(pm, QIcon::Normal, on ? QIcon::On : QIcon::Off);
        }
        return i;
    }();
    return icon;
}

} // namespace

ParamRow::ParamRow(int index, ParamWrap *p, bool compact, ParamEffect::When w, Live liveDescriptor, QWidget *parent)
    : QWidget(parent), idx(index), kindName(p->typeName()), lvl(p->paramLevel), when(w), live(std::move(liveDescriptor))
{
    setObjectName(QStringLiteral("paramRow%1").arg(index));
    setProperty("paramIndex", index);
    setProperty("paramKind", kindName);
    setProperty("paramLevel", lvl);
    setProperty("adjusted", false);
    setProperty("outOfRange", false);
    setProperty("takesEffect", ParamEffect::shortText(when));
    setAutoFillBackground(false);
    auto *line = new QHBoxLayout(this);
    line->setContentsMargins(compact ? 0 : 2, 1, 2, 1);
    line->setSpacing(6);

    if (kindName == ParamKind::Separate) {
        buildHeading(p, line);
        return;
    }
    label = new QLabel(p->label, this);
    label->setToolTip(p->description);
    if (!compact) {
        label->setMinimumWidth(72);
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    if (p->label.isEmpty() && compact)
        label->hide();
    line->addWidget(label, compact ? 0 : 2);
    buildEditor(p, line);
    const QString effectTip = ParamEffect::longText(when);
    if (!effectTip.isEmpty()) {
        // The driver's own text of the colour choice says a restart is needed; Apply is what it takes.
        const bool replace = when == ParamEffect::When::OnApply;
        for (QWidget *w : findChildren<QWidget *>()) {
            if (w == label || qobject_cast<QLabel *>(w) || w->toolTip().isEmpty())
                continue;
            w->setToolTip(replace ? effectTip : w->toolTip() + QLatin1Char('\n') + effectTip);
        }
        if (!compact) {
            effectNote = new QLabel(ParamEffect::mark(when), this);
            effectNote->setAlignment(Qt::AlignCenter);
            effectNote->setFixedWidth(effectNote->fontMetrics().horizontalAdvance(QStringLiteral("MM")));
            effectNote->setObjectName(QStringLiteral("effectNote"));
            effectNote->setToolTip(effectTip);
            QFont f = effectNote->font();
            f.setBold(when != ParamEffect::When::Never);
            effectNote->setFont(f);
            effectNote->setStyleSheet(when == ParamEffect::When::Never ? QStringLiteral("color: palette(mid);")
                                                                        : QStringLiteral("color: #1565c0;"));
            line->addWidget(effectNote);
        }
    }
    for (QWidget *w : {static_cast<QWidget *>(intSpin), static_cast<QWidget *>(realSpin)})
        if (w)
            editorTip = w->toolTip();
    if (compact)
        return;
    pin = new QToolButton(this);
    pin->setCheckable(true);
    pin->setAutoRaise(true);
    pin->setIcon(pinIcon());
    pin->setToolTip(tr("Show while running: keep this parameter in the run panel"));
    connect(pin, &QToolButton::toggled, this, [this](bool on) {
        ParamWrap *d = live();
        if (!d)
            return;
        d->isRunningShow = on;
        emit pinToggled(idx, on);
    });
    line->addWidget(pin);
}

void ParamRow::buildHeading(ParamWrap *p, QBoxLayout *line)
{
    label = new QLabel(p->label, this);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setStyleSheet(QStringLiteral("QLabel { border-bottom: 1px solid palette(mid); padding-top: 6px; }"));
    line->addWidget(label, 1);
}

void ParamRow::buildEditor(ParamWrap *p, QBoxLayout *line)
{
    if (kindName == ParamKind::LineEdit) {
        buildLineEdit(p, line);
    } else if (kindName == ParamKind::CheckBox || kindName == ParamKind::RadioBox) {
        buildOptions(p, line);
    } else if (kindName == ParamKind::ComboBox) {
        buildCombo(p, line);
    } else {
        auto *na = new QLabel(tr("(%1)").arg(kindName.isEmpty() ? tr("unknown kind") : kindName), this);
        na->setEnabled(false);
        line->addWidget(na, 3);
    }
}

void ParamRow::buildLineEdit(ParamWrap *p, QBoxLayout *line)
{
    auto *e = static_cast<LineEditCameraParam *>(p);
    switch (e->valueType) {
    case ParamInt: {
        auto *spin = new IntSpin(this);
        spin->setKeyboardTracking(false);
        spin->setFocusPolicy(Qt::StrongFocus);
        intSpin = spin;
        auto apply = [this, spin] {
            auto *d = static_cast<LineEditCameraParam *>(live());
            if (!d || !d->value)
                return;
            const int v = spin->value();
            const std::optional<qint64> typed = spin->takeTyped();
            if (readParamValue(d).toInt() == v && (!typed || *typed == v))
                return;
            writeParamValue(d, v);
            emit edited(idx, typed ? QVariant(qlonglong(*typed)) : QVariant(v));
        };
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, apply);
        connect(spin, &QAbstractSpinBox::editingFinished, this, apply);
        line->addWidget(spin, 3);
        break;
    }
    case ParamFloat:
    case ParamDouble: {
        auto *spin = new RealSpin(this);
        spin->setKeyboardTracking(false);
        spin->setFocusPolicy(Qt::StrongFocus);
        realSpin = spin;
        auto apply = [this, spin] {
            auto *d = static_cast<LineEditCameraParam *>(live());
            if (!d || !d->value)
                return;
            const double v = spin->value();
            const std::optional<double> typed = spin->takeTyped();
            if (sameValue(readParamValue(d), v) && (!typed || sameValue(*typed, v)))
                return;
            writeParamValue(d, v);
            emit edited(idx, typed ? QVariant(*typed) : QVariant(v));
        };
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, apply);
        connect(spin, &QAbstractSpinBox::editingFinished, this, apply);
        line->addWidget(spin, 3);
        break;
    }
    case ParamBool: {
        check = new QCheckBox(this);
        connect(check, &QCheckBox::toggled, this, [this](bool on) {
            auto *d = static_cast<LineEditCameraParam *>(live());
            if (!writeParamValue(d, on))
                return;
            emit edited(idx, on);
        });
        line->addWidget(check, 3);
        break;
    }
    case ParamString: {
        text = new QLineEdit(this);
        connect(text, &QLineEdit::editingFinished, this, [this] {
            auto *d = static_cast<LineEditCameraParam *>(live());
            if (!d || !d->value || readParamValue(d).toString() == text->text())
                return;
            writeParamValue(d, text->text());
            emit edited(idx, text->text());
        });
        line->addWidget(text, 3);
        break;
    }
    default: {
        auto *na = new QLabel(tr("(value of type %1)").arg(e->valueType), this);
        na->setEnabled(false);
        line->addWidget(na, 3);
        break;
    }
    }
    if (QWidget *w = intSpin ? static_cast<QWidget *>(intSpin)
                     : realSpin ? static_cast<QWidget *>(realSpin)
                     : check    ? static_cast<QWidget *>(check)
                                : static_cast<QWidget *>(text))
        w->setToolTip(p->description);
}

void ParamRow::buildOptions(ParamWrap *p, QBoxLayout *line)
{
    auto *r = static_cast<RadioBoxParam *>(p);
    const bool radio = kindName == ParamKind::RadioBox;
    auto *box = new QWidget(this);
    auto *boxLine = new QHBoxLayout(box);
    boxLine->setContentsMargins(0, 0, 0, 0);
    boxLine->setSpacing(12);
    auto *group = radio ? new QButtonGroup(box) : nullptr;
    for (int i = 0; i < r->count; ++i) {
        const QString name = r->names ? r->names[i] : QString::number(i + 1);
        QAbstractButton *b = radio ? static_cast<QAbstractButton *>(new QRadioButton(name, box))
                                   : static_cast<QAbstractButton *>(new QCheckBox(name, box));
        b->setToolTip(r->descriptions ? r->descriptions[i] : p->description);
        if (group)
            group->addButton(b, i);
        options << b;
        boxLine->addWidget(b);
        connect(b, &QAbstractButton::toggled, this, [this, radio, i](bool on) {
            auto *d = static_cast<RadioBoxParam *>(live());
            if (!d || !d->values || i >= d->count || (radio && !on))
                return;
            emit edited(idx, setParamOption(d, i, on, radio));
        });
    }
    boxLine->addStretch(1);
    line->addWidget(box, 3);
}

void ParamRow::buildCombo(ParamWrap *p, QBoxLayout *line)
{
    auto *c = static_cast<ComboBoxParam *>(p);
    combo = new QComboBox(this);
    combo->setFocusPolicy(Qt::StrongFocus);
    combo->setToolTip(p->description);
    for (int i = 0; i < c->count; ++i) {
        combo->addItem(c->names ? c->names[i] : QString::number(i));
        if (c->descriptions)
            combo->setItemData(i, c->descriptions[i], Qt::ToolTipRole);
    }
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this](int chosen) {
        auto *d = static_cast<ComboBoxParam *>(live());
        if (!d || !d->selectedIndex || *d->selectedIndex == chosen)
            return;
        *d->selectedIndex = chosen;
        emit edited(idx, chosen);
    });
    line->addWidget(combo, 3);
}

void ParamRow::display(ParamWrap *p)
{
    const QVariant v = readParamValue(p);
    if (pin) {
        const QSignalBlocker block(pin);
        pin->setChecked(p->isRunningShow);
    }
    if (intSpin) {
        const IntLimits limits = intLimits(static_cast<LineEditCameraParam *>(p));
        const QSignalBlocker block(intSpin);
        const int hi = std::max(limits.min, limits.max);
        const int stored = v.toInt();
        const bool inside = !v.isValid() || (stored >= limits.min && stored <= hi);
        // A stored value outside the range shows as it is, not as the limit.
        intSpin->setRange(std::min(limits.min, v.isValid() ? stored : limits.min), std::max(hi, v.isValid() ? stored : hi));
        intSpin->setSingleStep(limits.step > 0 ? limits.step : 1);
        intSpin->setValue(stored);
        intSpin->setEnabled(static_cast<LineEditCameraParam *>(p)->value != nullptr);
        showRange(inside, QString::number(stored), QString::number(limits.min), QString::number(hi));
    } else if (realSpin) {
        const RealLimits limits = realLimits(static_cast<LineEditCameraParam *>(p));
        const QSignalBlocker block(realSpin);
        const double hi = std::max(limits.min, limits.max);
        const double stored = v.toDouble();
        const bool inside = !v.isValid() || (stored >= limits.min && stored <= hi) || sameValue(stored, limits.min)
                            || sameValue(stored, hi);
        const int decimals = decimalsFor({limits.step, limits.min, limits.max});
        realSpin->setDecimals(decimals);
        realSpin->setRange(std::min(limits.min, v.isValid() ? stored : limits.min), std::max(hi, v.isValid() ? stored : hi));
        realSpin->setSingleStep(limits.step > 0 ? limits.step : 0.1);
        realSpin->setValue(stored);
        realSpin->setEnabled(static_cast<LineEditCameraParam *>(p)->value != nullptr);
        showRange(inside, QString::number(stored, 'f', decimals), QString::number(limits.min, 'f', decimals),
                  QString::number(hi, 'f', decimals));
    } else if (check) {
        const QSignalBlocker block(check);
        check->setChecked(v.toBool());
    } else if (text) {
        const QSignalBlocker block(text);
        if (!text->hasFocus() || text->text() != v.toString())
            text->setText(v.toString());
    } else if (combo) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(v.toInt() < combo->count() ? v.toInt() : -1);
    } else if (!options.isEmpty()) {
        const QVariantList values = v.toList();
        // Exclusive radio buttons cannot show "none" or "several": lift it while setting.
        QButtonGroup *group = options.first()->group();
        if (group)
            group->setExclusive(false);
        for (int i = 0; i < options.size(); ++i) {
            const QSignalBlocker block(options[i]);
            options[i]->setChecked(i < values.size() && values[i].toBool());
        }
        if (group)
            group->setExclusive(true);
    }
    value = v;
}

void ParamRow::showRange(bool inside, const QString &value, const QString &min, const QString &max)
{
    if (property("outOfRange").toBool() == !inside)
        return;
    setProperty("outOfRange", !inside);
    QAbstractSpinBox *spin = intSpin ? static_cast<QAbstractSpinBox *>(intSpin) : realSpin;
    if (!spin)
        return;
    // Red in the enabled groups only: disabled, the field looks like any
    // disabled field (a style sheet would colour every state).
    if (inside) {
        spin->setPalette(QPalette());
    } else {
        QPalette pal = spin->palette();
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            pal.setColor(g, QPalette::Text, QColor(0xc6, 0x28, 0x28));
        spin->setPalette(pal);
    }
    spin->setToolTip(inside ? editorTip
                            : tr("The stored value %1 is outside the range %2 … %3; it is shown as stored.\n%4")
                                  .arg(value, min, max, editorTip));
}

void ParamRow::mark(const QVariant &asked, const QVariant &got, int ms)
{
    setProperty("adjusted", true);
    setProperty("askedValue", asked);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xff, 0xd5, 0x80));
    setPalette(pal);
    setToolTip(tr("Asked for %1; the camera kept %2").arg(valueText(asked), valueText(got)));
    const int serial = ++markSerial;
    QTimer::singleShot(ms, this, [this, serial] {
        // A later mark runs its own moment.
        if (markSerial != serial)
            return;
        setProperty("adjusted", false);
        setAutoFillBackground(false);
        setPalette(QPalette());
        setToolTip(QString());
    });
}
