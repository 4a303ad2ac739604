#include "linkstate.h"

#include <algorithm>

QString linkEventKey(LinkEvent::Kind kind)
{
    switch (kind) {
    case LinkEvent::Lost:
        return QStringLiteral("lost");
    case LinkEvent::Stalled:
        return QStringLiteral("stalled");
    case LinkEvent::Back:
        break;
    }
    return QStringLiteral("back");
}

QString linkStateKey(LinkState state)
{
    switch (state) {
    case LinkState::Lost:
        return QStringLiteral("lost");
    case LinkState::Stalled:
        return QStringLiteral("stalled");
    case LinkState::Open:
        break;
    }
    return QStringLiteral("open");
}

namespace {

LinkEvent event(LinkEvent::Kind kind, const QDateTime &wall, const QString &detail)
{
    LinkEvent e;
    e.kind = kind;
    e.time = wall;
    e.detail = detail;
    return e;
}

} // namespace

void LinkModel::started(qint64 nowMs)
{
    running = true;
    reference = nowMs;
    startedAt = nowMs;
}

void LinkModel::stopped()
{
    running = false;
}

std::optional<LinkEvent> LinkModel::frame(qint64 nowMs, const QDateTime &wall)
{
    lastFrame = nowMs;
    if (st.state != LinkState::Stalled)
        return std::nullopt;
    st.state = LinkState::Open;
    st.since = wall;
    ++st.backs;
    return event(LinkEvent::Back, wall, QStringLiteral("frames come again"));
}

std::optional<LinkEvent> LinkModel::lost(const QDateTime &wall)
{
    if (st.state == LinkState::Lost)
        return std::nullopt;
    st.state = LinkState::Lost;
    st.since = wall;
    ++st.losses;
    return event(LinkEvent::Lost, wall, QStringLiteral("CameraLoss: the link is down"));
}

std::optional<LinkEvent> LinkModel::reopened(qint64 nowMs, const QDateTime &wall, const QString &how)
{
    if (st.state == LinkState::Open)
        return std::nullopt;
    st.state = LinkState::Open;
    st.since = wall;
    ++st.backs;
    // A reopened camera starts its acquisition again: count from here.
    reference = nowMs;
    startedAt = nowMs;
    return event(LinkEvent::Back, wall, how);
}

bool LinkModel::stallDue(qint64 nowMs) const
{
    if (stallAfter <= 0 || !running || st.state != LinkState::Open)
        return false;
    return nowMs - std::max(reference, lastFrame) >= stallAfter;
}

std::optional<LinkEvent> LinkModel::stalled(qint64 nowMs, const QDateTime &wall)
{
    if (!stallDue(nowMs))
        return std::nullopt;
    st.state = LinkState::Stalled;
    st.since = wall;
    ++st.stalls;
    const qint64 silent = nowMs - std::max(startedAt, lastFrame);
    return event(LinkEvent::Stalled, wall,
                 QStringLiteral("no frame for %1 s while open and free-running, without a status message")
                     .arg(double(silent) / 1000.0, 0, 'f', 1));
}
