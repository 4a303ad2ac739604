#pragma once

#include <QString>
#include <QVector>

class ParamWrap;

// What every host says about the Vandrel driver's parameters: a stable
// English name beside each label, its unit, and when an edited value reaches
// the camera. The driver sends only the colour choice (when settings are
// loaded: Apply, and when a lost camera is reopened) and the exposure time of
// the configuration selected (selectExposure); paramsChanged only brings the
// stored values into the camera's limits. Everything else is kept, saved and
// restored but reaches no camera. The hosts' Apply step (settingsload.h)
// loads the current values and selects the stored configuration, so on Apply
// the colour choice and the current exposure time both take effect.
//
// The table is the driver's descriptor list in its order, with one exposure
// time per configuration after the configuration choice. A descriptor is
// recognised by its label (by its option names when it has none), never by
// its place. Another plug-in's descriptors are Unknown: nothing is claimed.
//
// Threading: the functions that take descriptors run where the descriptors
// are used (the thread that owns the camera); the rest anywhere.
namespace ParamFacts {

enum class Effect {
    Unknown,   // not a parameter of this driver, or a heading
    Live,      // reaches the camera when written (paramsChanged)
    OnApply,   // on Apply (load), and when a lost camera is reopened
    OnSelect,  // when its exposure configuration is selected (Apply selects the current one)
    Never,     // kept, saved and restored, but sent to no camera
};

// The IID of the plug-in this table describes.
QString pluginIid();

// One settable item: a descriptor, or one option of a check box.
struct Fact
{
    QString name;   // English: "Width", "ExposureTime1", "ReverseX"
    QString label;  // the driver's text: the label, or the option's name
    QString unit;   // "px", "µm", "0.1 ms"; empty when the driver states none
    Effect effect = Effect::Unknown;
    int option = -1;  // the option of a check box; -1: the descriptor itself
};

// One place of the driver's descriptor list.
struct Place
{
    enum Kind { Heading, Value, Options, Choice };
    Kind kind = Value;
    QString name;         // the heading's or the item's English name; "ReverseX/ReverseY" for a box of two
    QString label;        // the label, or the option names joined by "/"
    QVector<Fact> items;  // the settable items: one, or one per option; none for a heading
};

// The driver's list for `exposureConfigs` configurations: 21 places plus one
// per configuration. Empty for a negative count.
QVector<Place> places(int exposureConfigs);

// The facts of the descriptor at hand: its items, in option order, each with
// `option` set for the options of a check box. Empty when the plug-in is not
// this table's or the descriptor is a heading or unknown to it.
QVector<Fact> factsOf(ParamWrap *descriptor, const QString &pluginIid);
// When the descriptor's value takes effect: the effect its items share.
Effect effectOf(ParamWrap *descriptor, const QString &pluginIid);

// Words for people, the same in every host.
// "live", "apply", "select", "never"; empty for Unknown (Python's Param.applies).
QString key(Effect e);
// "live", "Apply", "Select", "kept only"; empty for Unknown.
QString word(Effect e);
// "L", "A", "S", "–"; empty for Unknown; legend() explains them.
QString mark(Effect e);
QString legend();
// One sentence; empty for Unknown.
QString sentence(Effect e);

} // namespace ParamFacts
