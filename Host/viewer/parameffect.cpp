#include "parameffect.h"

namespace ParamEffect {

When of(ParamWrap *p, const QString &pluginIid)
{
    return ParamFacts::effectOf(p, pluginIid);
}

QString shortText(When w)
{
    return ParamFacts::word(w);
}

QString mark(When w)
{
    return ParamFacts::mark(w);
}

QString legend()
{
    return ParamFacts::legend();
}

QString longText(When w)
{
    return ParamFacts::sentence(w);
}

} // namespace ParamEffect
