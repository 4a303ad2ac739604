#pragma once

#include "paramfacts.h"

#include <QString>

class ParamWrap;

// When an edited parameter reaches the device, as the shared table of
// Host/core (paramfacts.h) says for every host. UI thread only, as the
// descriptors.
namespace ParamEffect {

using When = ParamFacts::Effect;

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
