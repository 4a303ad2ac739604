#pragma once

#include <QString>

class ParamWrap;

// When an edited parameter of the Vandrel driver reaches the device. Of its
// whole parameter set the driver sends only the colour choice (when the
// settings are loaded: Apply, or the camera's return after a loss) and the
// selected exposure time (selectExposure); it keeps, saves and restores the
// rest, bringing it into the camera's limits, but sends it to no camera.
// Another plug-in's parameters are Unknown: nothing is claimed for them.
// UI thread only, as the descriptors.
namespace ParamEffect {

enum class When { Unknown, OnApply, OnSelect, Never };

// `pluginIid` says whose descriptor it is.
When of(ParamWrap *p, const QString &pluginIid);
// A word for the row: "Apply", "Select", "kept only"; empty for Unknown.
QString shortText(When w);
// The row's mark, explained by legend(): "A", "S", "–"; empty for Unknown.
QString mark(When w);
QString legend();
// One sentence for the tooltip; empty for Unknown.
QString longText(When w);

} // namespace ParamEffect
