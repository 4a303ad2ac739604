// viewer_screenshot_check FILE [MIN_WIDTH MIN_HEIGHT [MAX_WIDTH MAX_HEIGHT]]:
// exit 0 when FILE is a screenshot of vandrel-viewer showing a live frame, at
// least MIN and (for a window that must fit a screen) at most MAX pixels;
// else 1 and the reason.

#include "screenshotcheck.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);  // QImage reads PNG without a display
    if (argc != 2 && argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: viewer_screenshot_check FILE [MIN_WIDTH MIN_HEIGHT [MAX_WIDTH MAX_HEIGHT]]\n");
        return 2;
    }
    const QSize minSize = argc >= 4 ? QSize(std::atoi(argv[2]), std::atoi(argv[3])) : QSize(1200, 700);
    const QImage shot(QString::fromLocal8Bit(argv[1]));
    QString problem = screenshotProblem(shot, minSize);
    if (problem.isEmpty() && argc == 6) {
        const QSize maxSize(std::atoi(argv[4]), std::atoi(argv[5]));
        if (shot.width() > maxSize.width() || shot.height() > maxSize.height())
            problem = QStringLiteral("%1x%2 pixels, more than the %3x%4 screen")
                          .arg(shot.width())
                          .arg(shot.height())
                          .arg(maxSize.width())
                          .arg(maxSize.height());
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "viewer_screenshot_check: %s: %s\n", argv[1], qPrintable(problem));
        return 1;
    }
    std::printf("%s: %dx%d, shows a live frame\n", argv[1], shot.width(), shot.height());
    return 0;
}
