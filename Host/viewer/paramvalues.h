#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>

class ComboBoxParam;
class LineEditCameraParam;
class ParamWrap;
class RadioBoxParam;

// Reading and writing the values that parameter descriptors point at, as
// the editor shows and asks for them; no widgets here. Descriptors belong
// to the thread that owns the camera, and so do these calls.

// The descriptor kinds, as typeName() names them.
namespace ParamKind {
extern const QString Separate;
extern const QString LineEdit;
extern const QString CheckBox;
extern const QString RadioBox;
extern const QString ComboBox;
} // namespace ParamKind

// A LineEditCameraParam's value as bool, int, double (a float widened) or
// QString; CheckBox and RadioBox values as a list of bools; a ComboBox's
// selected index. Invalid when there is none.
QVariant readParamValue(ParamWrap *p);

// Writes a LineEditCameraParam's value in its own type; false when it has none.
bool writeParamValue(LineEditCameraParam *p, const QVariant &value);
// Sets option `option` of a CheckBox or RadioBox (exclusive: a radio row,
// where turning one on turns the others off) and returns every value after.
QVariantList setParamOption(RadioBoxParam *p, int option, bool on, bool exclusive);

// The limits of a numeric LineEditCameraParam; a missing pointer leaves a
// wide default.
struct IntLimits
{
    int min;
    int max;
    int step;
};
struct RealLimits
{
    double min;
    double max;
    double step;
};
IntLimits intLimits(const LineEditCameraParam *p);
RealLimits realLimits(const LineEditCameraParam *p);

// Equal as the editor sees it: floats come back from the parameter set in
// single precision.
bool sameValue(const QVariant &a, const QVariant &b);
// A value for a tooltip: lists as "on off ...".
QString valueText(const QVariant &v);
// Decimals that show the step and both limits as they are (0.02 needs two
// even when the step is 0.1); at least one, at most six.
int decimalsFor(std::initializer_list<double> values);
