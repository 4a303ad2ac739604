#include "screenshotcheck.h"

#include <QSet>

namespace {

// About a 128 x 80 pixel piece of picture.
constexpr int kMinTexturedTiles = 40;

} // namespace

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
    // A live picture is textured: in a 16 x 16 tile of it nearly every pixel
    // differs from its right or lower neighbour, as in a ramp seen in strip
    // mode or a scene; the window's own furniture, text included, has flat
    // runs in every tile.
    const int tile = 16;
    int textured = 0;
    for (int ty = 0; ty + tile < img.height(); ty += tile)
        for (int tx = 0; tx + tile < img.width(); tx += tile) {
            int differing = 0;
            for (int y = ty; y < ty + tile; ++y)
                for (int x = tx; x < tx + tile; ++x) {
                    const int g = qGreen(img.pixel(x, y));
                    differing += g != qGreen(img.pixel(x + 1, y)) || g != qGreen(img.pixel(x, y + 1));
                }
            textured += differing * 10 >= tile * tile * 9;
        }
    if (textured < kMinTexturedTiles)
        return QStringLiteral("no live frame: %1 textured tiles of 16x16, less than %2").arg(textured).arg(kMinTexturedTiles);
    return QString();
}
