#pragma once

#include "parameffect.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>

class IntSpin;
class ParamWrap;
class QAbstractButton;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
class RealSpin;

// One row of the parameter editor, built from a descriptor: a heading for
// SeparateParam; for LineEditCameraParam a spin box (int, float, double,
// with the descriptor's range and step), a check box (bool) or a line edit
// (text); check boxes or radio buttons for CheckBoxParam and RadioBoxParam;
// a combo box for ComboBoxParam; with a pin when the editor offers them.
// Descriptions are tooltips. When the plug-in is known, a note says when an
// edit reaches the camera (parameffect.h). A stored value outside the
// descriptor's range is shown as it is and marked. The row carries the
// properties "paramIndex", "paramKind", "paramLevel" and "takesEffect",
// "outOfRange", and "adjusted" and "askedValue" while marked.
//
// An edit writes the asked value through the descriptor that `live` returns
// at that moment, then reports it; `live` returns null when the row is out
// of date or being refreshed, and the edit is dropped.
//
// Threading: UI thread only, the thread that owns the camera.
class ParamRow : public QWidget
{
    Q_OBJECT
public:
    using Live = std::function<ParamWrap *()>;

    // Compact: the run panel's form, without pins.
    ParamRow(int index, ParamWrap *descriptor, bool compact, ParamEffect::When when, Live live, QWidget *parent);

    int index() const { return idx; }
    const QString &kind() const { return kindName; }
    int level() const { return lvl; }
    ParamEffect::When effect() const { return when; }
    // The value last displayed.
    const QVariant &shown() const { return value; }

    // Shows the descriptor's value, limits and pin without reporting an edit.
    void display(ParamWrap *descriptor);
    // Marks the row for ms milliseconds: the camera kept `got` when `asked` was asked for.
    void mark(const QVariant &asked, const QVariant &got, int ms);

signals:
    void edited(int index, const QVariant &asked);
    void pinToggled(int index, bool on);

private:
    void buildHeading(ParamWrap *p, QBoxLayout *line);
    void buildEditor(ParamWrap *p, QBoxLayout *line);
    void buildLineEdit(ParamWrap *p, QBoxLayout *line);
    void buildOptions(ParamWrap *p, QBoxLayout *line);
    void buildCombo(ParamWrap *p, QBoxLayout *line);
    void showRange(bool inside, const QString &value, const QString &min, const QString &max);

    const int idx;
    const QString kindName;
    const int lvl;
    const ParamEffect::When when;
    const Live live;
    QLabel *label = nullptr;
    QToolButton *pin = nullptr;
    QLabel *effectNote = nullptr;
    QString editorTip;
    IntSpin *intSpin = nullptr;
    RealSpin *realSpin = nullptr;
    QCheckBox *check = nullptr;
    QLineEdit *text = nullptr;
    QComboBox *combo = nullptr;
    QList<QAbstractButton *> options;
    QVariant value;
    int markSerial = 0;
};
