#include "parameditor.h"

#include "camerasession.h"
#include "paramwrap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <limits>
#include <optional>

namespace {

const QString kSeparate = QStringLiteral("SeparateParam");
const QString kLineEdit = QStringLiteral("LineEditCameraParam");
const QString kCheckBox = QStringLiteral("CheckBoxParam");
const QString kRadioBox = QStringLiteral("RadioBoxParam");
const QString kComboBox = QStringLiteral("ComboBoxParam");

// Spin boxes take what the person types even past their range, bound it
// themselves and remember what was asked, so that the editor can mark it.
// The wheel turns them only while they have focus: scrolling the editor
// must not change values on the way.
class IntSpin : public QSpinBox
{
public:
    std::optional<qint64> takeTyped()
    {
        auto t = typed;
        typed.reset();
        return t;
    }

protected:
    QValidator::State validate(QString &text, int &) const override
    {
        const QString t = text.trimmed();
        if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
            return QValidator::Intermediate;
        bool ok = false;
        locale().toLongLong(t, &ok);
        return ok ? QValidator::Acceptable : QValidator::Invalid;
    }
    int valueFromText(const QString &text) const override
    {
        bool ok = false;
        const qint64 v = locale().toLongLong(text.trimmed(), &ok);
        if (!ok)
            return value();
        typed = v;
        return int(qBound<qint64>(minimum(), v, maximum()));
    }
    void stepBy(int steps) override
    {
        typed.reset();
        QSpinBox::stepBy(steps);
    }
    void wheelEvent(QWheelEvent *event) override
    {
        if (hasFocus())
            QSpinBox::wheelEvent(event);
        else
            event->ignore();
    }

private:
    mutable std::optional<qint64> typed;
};

class RealSpin : public QDoubleSpinBox
{
public:
    std::optional<double> takeTyped()
    {
        auto t = typed;
        typed.reset();
        return t;
    }

protected:
    QValidator::State validate(QString &text, int &) const override
    {
        const QString t = text.trimmed();
        if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+") || t == locale().decimalPoint())
            return QValidator::Intermediate;
        bool ok = false;
        locale().toDouble(t, &ok);
        return ok ? QValidator::Acceptable : QValidator::Invalid;
    }
    double valueFromText(const QString &text) const override
    {
        bool ok = false;
        const double v = locale().toDouble(text.trimmed(), &ok);
        if (!ok || !std::isfinite(v))
            return value();
        typed = v;
        return qBound(minimum(), v, maximum());
    }
    void stepBy(int steps) override
    {
        typed.reset();
        QDoubleSpinBox::stepBy(steps);
    }
    void wheelEvent(QWheelEvent *event) override
    {
        if (hasFocus())
            QDoubleSpinBox::wheelEvent(event);
        else
            event->ignore();
    }

private:
    mutable std::optional<double> typed;
};

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

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.type() == QVariant::List || b.type() == QVariant::List)
        return a.toList() == b.toList();
    if (a.type() == QVariant::String || b.type() == QVariant::String)
        return a.toString() == b.toString();
    if (a.type() == QVariant::Bool || b.type() == QVariant::Bool)
        return a.toBool() == b.toBool();
    const double x = a.toDouble();
    const double y = b.toDouble();
    // Floats come back from the parameter set in single precision.
    return std::fabs(x - y) <= 1e-6 * std::max(1.0, std::fabs(x));
}

QString valueText(const QVariant &v)
{
    if (v.type() == QVariant::List) {
        QStringList parts;
        for (const QVariant &e : v.toList())
            parts << (e.toBool() ? QStringLiteral("on") : QStringLiteral("off"));
        return parts.join(QLatin1Char(' '));
    }
    if (v.type() == QVariant::Double)
        return QString::number(v.toDouble(), 'g', 7);
    return v.toString();
}

// Decimals that show the step and both limits as they are (0.02 needs two
// even when the step is 0.1); at most six.
int decimalsFor(std::initializer_list<double> values)
{
    int decimals = 0;
    for (double v : values) {
        if (!std::isfinite(v))
            continue;
        int d = 0;
        double scaled = std::fabs(v);
        while (d < 6 && std::fabs(scaled - std::round(scaled)) > 1e-4 * std::max(1.0, scaled)) {
            scaled *= 10.0;
            ++d;
        }
        decimals = std::max(decimals, d);
    }
    return std::max(decimals, 1);
}

} // namespace

struct ParamEditor::Row
{
    int index = 0;
    QString kind;
    int level = 0;
    QWidget *widget = nullptr;
    QLabel *label = nullptr;
    QToolButton *pin = nullptr;
    IntSpin *intSpin = nullptr;
    RealSpin *realSpin = nullptr;
    QCheckBox *check = nullptr;
    QLineEdit *text = nullptr;
    QComboBox *combo = nullptr;
    QList<QAbstractButton *> options;
    QVariant shown;
    int markSerial = 0;
};

ParamEditor::ParamEditor(Mode m, QWidget *parent) : QWidget(parent), mode(m)
{
    if (mode == Mode::RunPanel) {
        body = new QHBoxLayout(this);
        body->setContentsMargins(4, 2, 4, 2);
        body->setSpacing(14);
    } else {
        body = new QVBoxLayout(this);
        body->setContentsMargins(6, 6, 6, 6);
        body->setSpacing(3);
    }
    empty = new QLabel(mode == Mode::RunPanel ? tr("No pinned parameters") : tr("No camera selected"), this);
    empty->setEnabled(false);
    body->addWidget(empty);
    body->addStretch(1);
}

ParamEditor::~ParamEditor()
{
    clearRows();
}

void ParamEditor::setSession(CameraSession *session)
{
    if (current == session)
        return;
    if (current)
        disconnect(current, nullptr, this, nullptr);
    current = session;
    if (current) {
        connect(current, &CameraSession::descriptorsRebuilt, this, &ParamEditor::rebuild);
        connect(current, &CameraSession::valuesChanged, this, &ParamEditor::onValuesChanged);
        if (mode == Mode::RunPanel)
            connect(current, &CameraSession::pinsChanged, this, &ParamEditor::rebuild);
        else
            connect(current, &CameraSession::pinsChanged, this, &ParamEditor::refresh);
        connect(current, &QObject::destroyed, this, [this] { rebuild(); });
    }
    rebuild();
}

void ParamEditor::setLevel(Level level)
{
    filter = level;
    applyFilter();
}

QList<QWidget *> ParamEditor::rows() const
{
    QList<QWidget *> out;
    for (const Row *r : built)
        out << r->widget;
    return out;
}

QWidget *ParamEditor::rowFor(int descriptorIndex) const
{
    for (const Row *r : built)
        if (r->index == descriptorIndex)
            return r->widget;
    return nullptr;
}

ParamWrap *ParamEditor::descriptor(int index) const
{
    if (!current || !current->camera())
        return nullptr;
    const QVector<ParamWrap *> *list = current->camera()->pluginParams();
    if (!list || index < 0 || index >= list->size())
        return nullptr;
    return list->at(index);
}

void ParamEditor::clearRows()
{
    ++generation;
    for (Row *r : qAsConst(built)) {
        // A focused editor going away would report a last edit through a
        // descriptor that may no longer exist.
        for (QWidget *w : r->widget->findChildren<QWidget *>())
            w->blockSignals(true);
        r->widget->hide();
        r->widget->deleteLater();
        delete r;
    }
    built.clear();
}

void ParamEditor::rebuild()
{
    clearRows();
    const QVector<ParamWrap *> *list = current && current->camera() ? current->camera()->pluginParams() : nullptr;
    if (list) {
        for (int i = 0; i < list->size(); ++i) {
            ParamWrap *p = list->at(i);
            if (!p)
                continue;
            if (mode == Mode::RunPanel && (!p->isRunningShow || p->typeName() == kSeparate))
                continue;
            addRow(i, p);
        }
    }
    empty->setText(mode == Mode::RunPanel ? tr("No pinned parameters")
                                          : current ? tr("The camera has no parameters") : tr("No camera selected"));
    empty->setVisible(built.isEmpty());
    applyFilter();
    emit rowsChanged();
}

void ParamEditor::addRow(int index, ParamWrap *p)
{
    auto *row = new Row;
    row->index = index;
    row->kind = p->typeName();
    row->level = p->paramLevel;
    row->widget = new QWidget(this);
    row->widget->setObjectName(QStringLiteral("paramRow%1").arg(index));
    row->widget->setProperty("paramIndex", index);
    row->widget->setProperty("paramKind", row->kind);
    row->widget->setProperty("paramLevel", row->level);
    row->widget->setProperty("adjusted", false);
    row->widget->setAutoFillBackground(false);
    auto *line = new QHBoxLayout(row->widget);
    line->setContentsMargins(mode == Mode::RunPanel ? 0 : 2, 1, 2, 1);
    line->setSpacing(6);

    if (row->kind == kSeparate) {
        row->label = new QLabel(p->label, row->widget);
        QFont f = row->label->font();
        f.setBold(true);
        row->label->setFont(f);
        row->label->setStyleSheet(QStringLiteral("QLabel { border-bottom: 1px solid palette(mid); padding-top: 6px; }"));
        line->addWidget(row->label, 1);
    } else {
        row->label = new QLabel(p->label, row->widget);
        row->label->setToolTip(p->description);
        if (mode == Mode::Full) {
            row->label->setMinimumWidth(96);
            row->label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        }
        if (p->label.isEmpty() && mode == Mode::RunPanel)
            row->label->hide();
        line->addWidget(row->label, mode == Mode::Full ? 2 : 0);
        buildEditor(*row, p, line);
        if (mode == Mode::Full) {
            row->pin = new QToolButton(row->widget);
            row->pin->setCheckable(true);
            row->pin->setAutoRaise(true);
            row->pin->setIcon(pinIcon());
            row->pin->setToolTip(tr("Show while running: keep this parameter in the run panel"));
            const quint64 gen = generation;
            connect(row->pin, &QToolButton::toggled, this, [this, index, gen](bool on) {
                ParamWrap *d = gen == generation ? descriptor(index) : nullptr;
                if (!d || refreshing)
                    return;
                d->isRunningShow = on;
                current->pinChanged(index);
            });
            line->addWidget(row->pin);
        }
    }
    // Before the stretch of the layout.
    body->insertWidget(body->count() - 1, row->widget);
    built.append(row);
    display(*row, p);
}

void ParamEditor::buildEditor(Row &row, ParamWrap *p, QBoxLayout *line)
{
    const int index = row.index;
    const quint64 gen = generation;
    QWidget *parent = row.widget;
    // Reads the widgets of the row once it is built; the lambdas run later.
    auto live = [this, index, gen]() -> ParamWrap * {
        return gen == generation && !refreshing ? descriptor(index) : nullptr;
    };

    if (row.kind == kLineEdit) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        switch (e->valueType) {
        case ParamInt: {
            auto *spin = new IntSpin;
            spin->setParent(parent);
            spin->setKeyboardTracking(false);
            spin->setFocusPolicy(Qt::StrongFocus);
            row.intSpin = spin;
            auto apply = [this, spin, index, live] {
                auto *d = static_cast<LineEditCameraParam *>(live());
                if (!d || !d->value)
                    return;
                const int v = spin->value();
                const std::optional<qint64> typed = spin->takeTyped();
                if (*static_cast<qint32 *>(d->value) == v && (!typed || *typed == v))
                    return;
                *static_cast<qint32 *>(d->value) = v;
                commit(index, typed ? QVariant(qlonglong(*typed)) : QVariant(v));
            };
            connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, apply);
            connect(spin, &QAbstractSpinBox::editingFinished, this, apply);
            line->addWidget(spin, 3);
            break;
        }
        case ParamFloat:
        case ParamDouble: {
            auto *spin = new RealSpin;
            spin->setParent(parent);
            spin->setKeyboardTracking(false);
            spin->setFocusPolicy(Qt::StrongFocus);
            row.realSpin = spin;
            const bool isFloat = e->valueType == ParamFloat;
            auto apply = [this, spin, index, live, isFloat] {
                auto *d = static_cast<LineEditCameraParam *>(live());
                if (!d || !d->value)
                    return;
                const double v = spin->value();
                const std::optional<double> typed = spin->takeTyped();
                const double cur = isFloat ? double(*static_cast<float *>(d->value)) : *static_cast<double *>(d->value);
                if (sameValue(cur, v) && (!typed || sameValue(*typed, v)))
                    return;
                if (isFloat)
                    *static_cast<float *>(d->value) = float(v);
                else
                    *static_cast<double *>(d->value) = v;
                commit(index, typed ? QVariant(*typed) : QVariant(v));
            };
            connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, apply);
            connect(spin, &QAbstractSpinBox::editingFinished, this, apply);
            line->addWidget(spin, 3);
            break;
        }
        case ParamBool: {
            row.check = new QCheckBox(parent);
            connect(row.check, &QCheckBox::toggled, this, [this, index, live](bool on) {
                auto *d = static_cast<LineEditCameraParam *>(live());
                if (!d || !d->value)
                    return;
                *static_cast<bool *>(d->value) = on;
                commit(index, on);
            });
            line->addWidget(row.check, 3);
            break;
        }
        case ParamString: {
            row.text = new QLineEdit(parent);
            QLineEdit *edit = row.text;
            connect(edit, &QLineEdit::editingFinished, this, [this, edit, index, live] {
                auto *d = static_cast<LineEditCameraParam *>(live());
                if (!d || !d->value || *static_cast<QString *>(d->value) == edit->text())
                    return;
                *static_cast<QString *>(d->value) = edit->text();
                commit(index, edit->text());
            });
            line->addWidget(edit, 3);
            break;
        }
        default: {
            auto *na = new QLabel(tr("(value of type %1)").arg(e->valueType), parent);
            na->setEnabled(false);
            line->addWidget(na, 3);
            break;
        }
        }
        if (QWidget *w = row.intSpin ? static_cast<QWidget *>(row.intSpin)
                         : row.realSpin   ? static_cast<QWidget *>(row.realSpin)
                         : row.check      ? static_cast<QWidget *>(row.check)
                                          : static_cast<QWidget *>(row.text))
            w->setToolTip(p->description);
        return;
    }

    if (row.kind == kCheckBox || row.kind == kRadioBox) {
        auto *r = static_cast<RadioBoxParam *>(p);
        const bool radio = row.kind == kRadioBox;
        auto *box = new QWidget(parent);
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
            row.options << b;
            boxLine->addWidget(b);
            connect(b, &QAbstractButton::toggled, this, [this, index, live, radio, i](bool on) {
                auto *d = static_cast<RadioBoxParam *>(live());
                if (!d || !d->values || i >= d->count || (radio && !on))
                    return;
                QVariantList asked;
                for (int k = 0; k < d->count; ++k) {
                    if (radio)
                        d->values[k] = k == i;
                    else if (k == i)
                        d->values[k] = on;
                    asked << d->values[k];
                }
                commit(index, asked);
            });
        }
        boxLine->addStretch(1);
        line->addWidget(box, 3);
        return;
    }

    if (row.kind == kComboBox) {
        auto *c = static_cast<ComboBoxParam *>(p);
        row.combo = new QComboBox(parent);
        row.combo->setFocusPolicy(Qt::StrongFocus);
        row.combo->setToolTip(p->description);
        for (int i = 0; i < c->count; ++i) {
            row.combo->addItem(c->names ? c->names[i] : QString::number(i));
            if (c->descriptions)
                row.combo->setItemData(i, c->descriptions[i], Qt::ToolTipRole);
        }
        connect(row.combo, QOverload<int>::of(&QComboBox::activated), this, [this, index, live](int chosen) {
            auto *d = static_cast<ComboBoxParam *>(live());
            if (!d || !d->selectedIndex || *d->selectedIndex == chosen)
                return;
            *d->selectedIndex = chosen;
            commit(index, chosen);
        });
        line->addWidget(row.combo, 3);
        return;
    }

    auto *na = new QLabel(tr("(%1)").arg(row.kind.isEmpty() ? tr("unknown kind") : row.kind), parent);
    na->setEnabled(false);
    line->addWidget(na, 3);
}

QVariant ParamEditor::readValue(int index) const
{
    ParamWrap *p = descriptor(index);
    if (!p)
        return QVariant();
    const QString kind = p->typeName();
    if (kind == kLineEdit) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        if (!e->value)
            return QVariant();
        switch (e->valueType) {
        case ParamBool:
            return *static_cast<bool *>(e->value);
        case ParamInt:
            return int(*static_cast<qint32 *>(e->value));
        case ParamFloat:
            return double(*static_cast<float *>(e->value));
        case ParamDouble:
            return *static_cast<double *>(e->value);
        case ParamString:
            return *static_cast<QString *>(e->value);
        default:
            return QVariant();
        }
    }
    if (kind == kCheckBox || kind == kRadioBox) {
        auto *r = static_cast<RadioBoxParam *>(p);
        QVariantList values;
        for (int i = 0; r->values && i < r->count; ++i)
            values << r->values[i];
        return values;
    }
    if (kind == kComboBox) {
        auto *c = static_cast<ComboBoxParam *>(p);
        return c->selectedIndex ? QVariant(*c->selectedIndex) : QVariant();
    }
    return QVariant();
}

void ParamEditor::display(Row &row, ParamWrap *p)
{
    refreshing = true;
    const QVariant v = readValue(row.index);
    if (row.pin) {
        const QSignalBlocker block(row.pin);
        row.pin->setChecked(p->isRunningShow);
    }
    if (row.intSpin) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        const QSignalBlocker block(row.intSpin);
        const int lo = e->minValue ? *static_cast<qint32 *>(e->minValue) : std::numeric_limits<qint32>::min();
        const int hi = e->maxValue ? *static_cast<qint32 *>(e->maxValue) : std::numeric_limits<qint32>::max();
        const int step = e->stepValue ? *static_cast<qint32 *>(e->stepValue) : 1;
        row.intSpin->setRange(lo, std::max(lo, hi));
        row.intSpin->setSingleStep(step > 0 ? step : 1);
        row.intSpin->setValue(v.toInt());
        row.intSpin->setEnabled(e->value != nullptr);
    } else if (row.realSpin) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        const bool isFloat = e->valueType == ParamFloat;
        auto get = [isFloat](void *ptr, double fallback) {
            if (!ptr)
                return fallback;
            return isFloat ? double(*static_cast<float *>(ptr)) : *static_cast<double *>(ptr);
        };
        const QSignalBlocker block(row.realSpin);
        const double step = get(e->stepValue, 0.1);
        const double lo = get(e->minValue, -1e12);
        const double hi = get(e->maxValue, 1e12);
        row.realSpin->setDecimals(decimalsFor({step, lo, hi}));
        row.realSpin->setRange(lo, std::max(lo, hi));
        row.realSpin->setSingleStep(step > 0 ? step : 0.1);
        row.realSpin->setValue(v.toDouble());
        row.realSpin->setEnabled(e->value != nullptr);
    } else if (row.check) {
        const QSignalBlocker block(row.check);
        row.check->setChecked(v.toBool());
    } else if (row.text) {
        const QSignalBlocker block(row.text);
        if (!row.text->hasFocus() || row.text->text() != v.toString())
            row.text->setText(v.toString());
    } else if (row.combo) {
        const QSignalBlocker block(row.combo);
        row.combo->setCurrentIndex(v.toInt() < row.combo->count() ? v.toInt() : -1);
    } else if (!row.options.isEmpty()) {
        const QVariantList values = v.toList();
        // Exclusive radio buttons cannot show "none" or "several": lift it while setting.
        QButtonGroup *group = row.options.first()->group();
        if (group)
            group->setExclusive(false);
        for (int i = 0; i < row.options.size(); ++i) {
            const QSignalBlocker block(row.options[i]);
            row.options[i]->setChecked(i < values.size() && values[i].toBool());
        }
        if (group)
            group->setExclusive(true);
    }
    row.shown = v;
    refreshing = false;
}

void ParamEditor::refresh()
{
    for (Row *r : qAsConst(built))
        if (ParamWrap *p = descriptor(r->index))
            display(*r, p);
}

void ParamEditor::commit(int index, const QVariant &requested)
{
    CameraSession *s = current;
    if (!s || !s->camera())
        return;
    // The camera brings the set into line with its limits; every value may move.
    s->camera()->paramsChanged();
    s->paramsEdited(index, requested);
}

void ParamEditor::onValuesChanged(int editedIndex, const QVariant &requested)
{
    for (Row *r : qAsConst(built)) {
        ParamWrap *p = descriptor(r->index);
        if (!p)
            continue;
        const QVariant before = r->shown;
        display(*r, p);
        if (editedIndex < 0)
            continue;
        const QVariant asked = r->index == editedIndex ? requested : before;
        if (asked.isValid() && !sameValue(asked, r->shown))
            mark(*r, asked, r->shown);
    }
}

void ParamEditor::mark(Row &row, const QVariant &asked, const QVariant &got)
{
    QWidget *w = row.widget;
    w->setProperty("adjusted", true);
    w->setProperty("askedValue", asked);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(0xff, 0xd5, 0x80));
    w->setPalette(pal);
    w->setToolTip(tr("Asked for %1; the camera kept %2").arg(valueText(asked), valueText(got)));
    const int serial = ++row.markSerial;
    Row *rp = &row;
    const quint64 gen = generation;
    QTimer::singleShot(kMarkMs, w, [this, w, rp, serial, gen] {
        if (gen != generation || rp->markSerial != serial)
            return;
        w->setProperty("adjusted", false);
        w->setAutoFillBackground(false);
        w->setPalette(QPalette());
        w->setToolTip(QString());
    });
}

void ParamEditor::applyFilter()
{
    if (mode == Mode::RunPanel) {
        for (Row *r : qAsConst(built))
            r->widget->setVisible(true);
        return;
    }
    // A heading shows when something of its section does.
    Row *heading = nullptr;
    bool sectionShown = false;
    auto closeSection = [&] {
        if (heading)
            heading->widget->setVisible(sectionShown);
    };
    for (Row *r : qAsConst(built)) {
        if (r->kind == kSeparate) {
            closeSection();
            heading = r;
            sectionShown = false;
            continue;
        }
        const bool visible = filter == Level::Expert || r->level <= 1;
        r->widget->setVisible(visible);
        sectionShown = sectionShown || visible;
    }
    closeSection();
}
