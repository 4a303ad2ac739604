#include "parameditor.h"

#include "camerasession.h"
#include "paramrow.h"
#include "paramvalues.h"
#include "paramwrap.h"

#include <QBoxLayout>
#include <QLabel>

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
    if (mode == Mode::Full) {
        legend = new QLabel(ParamEffect::legend(), this);
        legend->setObjectName(QStringLiteral("effectLegend"));
        legend->setWordWrap(true);
        legend->setEnabled(false);
        legend->hide();
        body->addWidget(legend);
    }
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
        // The run panel shows the pinned rows only; the full editor shows every pin.
        if (mode == Mode::RunPanel)
            connect(current, &CameraSession::pinsChanged, this, &ParamEditor::rebuild);
        else
            connect(current, &CameraSession::pinsChanged, this, &ParamEditor::refresh);
        connect(current, &QObject::destroyed, this, [this] { rebuild(); });
        connect(current, &CameraSession::linkChanged, this, &ParamEditor::updateEnabled);
        connect(current, &CameraSession::stateChanged, this, &ParamEditor::updateEnabled);
    }
    rebuild();
    updateEnabled();
}

void ParamEditor::setLevel(Level level)
{
    filter = level;
    applyFilter();
}

QList<QWidget *> ParamEditor::rows() const
{
    QList<QWidget *> out;
    for (ParamRow *r : built)
        out << r;
    return out;
}

QWidget *ParamEditor::rowFor(int descriptorIndex) const
{
    for (ParamRow *r : built)
        if (r->index() == descriptorIndex)
            return r;
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
    for (ParamRow *r : qAsConst(built)) {
        // A focused editor going away would report a last edit through a
        // descriptor that may no longer exist.
        for (QWidget *w : r->findChildren<QWidget *>())
            w->blockSignals(true);
        disconnect(r, nullptr, this, nullptr);
        r->hide();
        r->deleteLater();
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
            if (mode == Mode::RunPanel && (!p->isRunningShow || p->typeName() == ParamKind::Separate))
                continue;
            addRow(i, p);
        }
    }
    empty->setText(mode == Mode::RunPanel ? tr("No pinned parameters")
                                          : current ? tr("The camera has no parameters") : tr("No camera selected"));
    empty->setVisible(built.isEmpty());
    if (legend) {
        bool known = false;
        for (ParamRow *r : qAsConst(built))
            known = known || r->effect() != ParamEffect::When::Unknown;
        legend->setVisible(known);
    }
    applyFilter();
    updateEnabled();
    emit rowsChanged();
}

void ParamEditor::addRow(int index, ParamWrap *p)
{
    const quint64 gen = generation;
    auto live = [this, index, gen]() -> ParamWrap * {
        return gen == generation && !refreshing ? descriptor(index) : nullptr;
    };
    const ParamEffect::When when = ParamEffect::of(p, current->camera()->pluginIID());
    auto *row = new ParamRow(index, p, mode == Mode::RunPanel, when, live, this);
    connect(row, &ParamRow::edited, this, &ParamEditor::commit);
    connect(row, &ParamRow::pinToggled, this, [this](int i) { current->pinChanged(i); });
    // Before the stretch of the layout.
    body->insertWidget(body->count() - 1, row);
    built.append(row);
    display(row, p);
}

void ParamEditor::display(ParamRow *row, ParamWrap *p)
{
    refreshing = true;
    row->display(p);
    refreshing = false;
}

void ParamEditor::refresh()
{
    for (ParamRow *r : qAsConst(built))
        if (ParamWrap *p = descriptor(r->index()))
            display(r, p);
}

void ParamEditor::commit(int index, const QVariant &requested)
{
    CameraSession *s = current;
    if (!s || !s->camera())
        return;
    // The camera brings the set into line with its limits; every value may move.
    s->camera()->paramsChanged();
    for (ParamRow *r : qAsConst(built))
        if (r->index() == index && r->effect() == ParamEffect::When::OnApply)
            s->setApplyPending();
    s->paramsEdited(index, requested);
}

void ParamEditor::onValuesChanged(int editedIndex, const QVariant &requested)
{
    for (ParamRow *r : qAsConst(built)) {
        ParamWrap *p = descriptor(r->index());
        if (!p)
            continue;
        const QVariant before = r->shown();
        display(r, p);
        if (editedIndex < 0)
            continue;
        const QVariant asked = r->index() == editedIndex ? requested : before;
        if (asked.isValid() && !sameValue(asked, r->shown()))
            r->mark(asked, r->shown(), kMarkMs);
    }
}

void ParamEditor::applyFilter()
{
    if (mode == Mode::RunPanel) {
        for (ParamRow *r : qAsConst(built))
            r->setVisible(true);
        return;
    }
    // A heading shows when something of its section does.
    ParamRow *heading = nullptr;
    bool sectionShown = false;
    auto closeSection = [&] {
        if (heading)
            heading->setVisible(sectionShown);
    };
    for (ParamRow *r : qAsConst(built)) {
        if (r->kind() == ParamKind::Separate) {
            closeSection();
            heading = r;
            sectionShown = false;
            continue;
        }
        const bool visible = filter == Level::Expert || r->level() <= 1;
        r->setVisible(visible);
        sectionShown = sectionShown || visible;
    }
    closeSection();
}

void ParamEditor::updateEnabled()
{
    // While the link is lost the camera is closed: an edit would be checked
    // against nothing and reported as taken.
    const bool usable = !current || !current->lost();
    for (ParamRow *r : qAsConst(built))
        r->setEnabled(usable);
}
