#pragma once

#include <QStringList>

#include <functional>

class QMainWindow;
class QWidget;

// What a person would see as broken in a window as it is laid out now, one
// line per problem, empty when there is none:
// - a text cut without "…": a label, button, check box or tab narrower than
//   its text, or a tab that lies outside its tab bar;
// - a widget squeezed below the smallest size its layout needs, or widgets
//   of one layout overlapping;
// - a panel that scrolls sideways: what a scroll area holds is wider than
//   what it shows, unless the area says that it scrolls sideways on purpose
//   (property "scrollsSideways");
// - a widget that must stay in view (property "keepInView") lying outside
//   the visible part of the panel that holds it;
// - a toolbar action moved behind the toolbar's extension button that no
//   menu of the window offers.
// Hidden widgets are not checked, and what a scroll area scrolls vertically
// is not cut. UI thread only.
QStringList layoutProblems(QWidget *window);

// The same for every panel of a main window: docks tabified together are
// raised in turn and checked, each problem prefixed with the panel's title;
// the panels raised before are raised again. `raised`, when given, is called
// with each panel's title while it is raised.
QStringList layoutProblemsOfEveryPanel(QMainWindow *window,
                                       const std::function<void(const QString &title)> &raised = {});
