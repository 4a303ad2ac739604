#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// What is wrong with a screenshot of vandrel-viewer; empty when nothing is.
// It must be at least `minSize` and show a live frame of the simulated
// cameras: their pictures are ramps, so some column of the screenshot climbs
// steadily through most of the grey scale (over 24 pixels, fewer in a window
// under 1000 pixels high), which no part of the window's own furniture does.
QString screenshotProblem(const QImage &shot, QSize minSize);
