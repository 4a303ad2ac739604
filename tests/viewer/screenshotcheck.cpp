#include "screenshotcheck.h"

#include <QSet>

#include <algorithm>

QString screenshotProblem(const QImage &shot, QSize minSize)
{
    if (shot.isNull())
        return QStringLiteral("not a readable image");
    if (shot.width() < minSize.width() || shot.height() < minSize.height())
        return QStringLiteral("%1x%2 pixels, less than %3x%4")
            .arg(shot.width())
            .arg(shot.height())
            .arg(minSize.width())
            .arg(minSize.height());
    const QImage img = shot.convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3)
            colours.insert(img.pixel(x, y));
    if (colours.size() < 64)
        return QStringLiteral("only %1 colours: no picture in it").arg(colours.size());
    // The longest climb: each pixel greener than the one above it.
    int bestRun = 0;
    int bestRise = 0;
    for (int x = 0; x < img.width(); ++x) {
        int run = 0;
        int start = 0;
        for (int y = 1; y < img.height(); ++y) {
            const int g = qGreen(img.pixel(x, y));
            const int above = qGreen(img.pixel(x, y - 1));
            if (g > above) {
                if (run == 0)
                    start = above;
                ++run;
                if (run >= bestRun) {
                    bestRun = run;
                    bestRise = std::max(bestRise, g - start);
                }
            } else {
                run = 0;
            }
        }
    }
    // A window that fits a small screen shows its frames smaller.
    const int minRun = std::clamp(img.height() * 24 / 1000, 12, 24);
    if (bestRun < minRun || bestRise < 128)
        return QStringLiteral("no live frame: the longest climb is %1 pixels over %2 grey levels").arg(bestRun).arg(bestRise);
    return QString();
}
