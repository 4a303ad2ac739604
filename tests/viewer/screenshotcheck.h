#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// What is wrong with a screenshot of vandrel-viewer; empty when nothing is.
// It must be at least `minSize` and show a live frame of the simulated
// cameras: their pictures (a scene, or the ramp) are textured, a piece of
// the screenshot where nearly every pixel differs from its neighbours, which
// no part of the window's own furniture is.
QString screenshotProblem(const QImage &shot, QSize minSize);
