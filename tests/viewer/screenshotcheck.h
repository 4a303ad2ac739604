#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// What is wrong with a screenshot of vandrel-viewer; empty when nothing is.
// It must be at least `minSize` and show a live frame of the simulated
// cameras: their pictures (a scene, or the ramp) are textured, a piece of
// the screenshot where nearly every pixel differs from its neighbours, which
// no part of the window's own furniture is (at least about 128 x 80 pixels
// of it, which a window fitted to an 800 x 600 screen still shows).
QString screenshotProblem(const QImage &shot, QSize minSize);
