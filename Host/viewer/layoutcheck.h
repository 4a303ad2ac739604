#pragma once

#include <QStringList>

class QWidget;

// What a person would see as broken in a window as it is laid out now: a
// text cut without "…" (a label, button or check box narrower than its
// text), a widget squeezed below the smallest size its layout needs, or
// widgets of one layout overlapping. One line per problem; empty when there
// is none. Hidden widgets and what a scroll area scrolls are not cut.
// UI thread only.
QStringList layoutProblems(QWidget *window);
