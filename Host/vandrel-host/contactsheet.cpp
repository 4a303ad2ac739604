#include "contactsheet.h"

#include <QDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

cv::Mat toBgr(const cv::Mat &delivered)
{
    cv::Mat bgr;
    if (delivered.empty())
        return bgr;
    cv::Mat eight = delivered;
    if (delivered.depth() != CV_8U)
        delivered.convertTo(eight, CV_8U);
    switch (eight.channels()) {
    case 1:
        cv::cvtColor(eight, bgr, cv::COLOR_GRAY2BGR);
        break;
    case 3:
        cv::cvtColor(eight, bgr, cv::COLOR_RGB2BGR);
        break;
    case 4:
        cv::cvtColor(eight, bgr, cv::COLOR_RGBA2BGR);
        break;
    default:
        break;
    }
    return bgr;
}

namespace {

const cv::Scalar kBackground(40, 40, 40);
const cv::Scalar kText(255, 255, 255);

void label(cv::Mat &img, const std::string &text, cv::Point at, double scale)
{
    // Dark outline keeps the text legible on any image content.
    cv::putText(img, text, at, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(0, 0, 0), 3, cv::LINE_AA);
    cv::putText(img, text, at, cv::FONT_HERSHEY_SIMPLEX, scale, kText, 1, cv::LINE_AA);
}

cv::Mat buildColumn(const SheetColumn &column, int tileWidth)
{
    std::vector<cv::Mat> tiles;
    const int header = 28;
    cv::Mat title(header, tileWidth, CV_8UC3, kBackground);
    label(title, column.title.toStdString(), cv::Point(6, 19), 0.55);
    tiles.push_back(title);
    for (const SheetFrame &f : column.frames) {
        const cv::Mat bgr = toBgr(f.image);
        if (bgr.empty())
            continue;
        const int h = std::max(1, int(double(bgr.rows) * tileWidth / bgr.cols + 0.5));
        cv::Mat tile;
        cv::resize(bgr, tile, cv::Size(tileWidth, h), 0, 0, cv::INTER_AREA);
        if (tile.rows >= 14)
            label(tile,
                  "#" + std::to_string(f.sequence) + "  product " + std::to_string(f.productID) + " capture "
                      + std::to_string(f.captureIndex) + " cycle " + std::to_string(f.productCycleIndex),
                  cv::Point(4, std::min(tile.rows - 3, 14)), 0.4);
        tiles.push_back(tile);
        tiles.push_back(cv::Mat(1, tileWidth, CV_8UC3, kBackground));  // frame boundary
    }
    cv::Mat out;
    cv::vconcat(tiles, out);
    return out;
}

} // namespace

cv::Mat buildContactSheet(const QVector<SheetColumn> &columns, int tileWidth)
{
    std::vector<cv::Mat> built;
    int height = 0;
    for (const SheetColumn &c : columns) {
        if (c.frames.isEmpty())
            continue;
        built.push_back(buildColumn(c, tileWidth));
        height = std::max(height, built.back().rows);
    }
    if (built.empty())
        return cv::Mat();
    const int gap = 8;
    std::vector<cv::Mat> row;
    for (size_t i = 0; i < built.size(); ++i) {
        cv::Mat padded;
        cv::copyMakeBorder(built[i], padded, 0, height - built[i].rows, 0, i + 1 < built.size() ? gap : 0,
                           cv::BORDER_CONSTANT, kBackground);
        row.push_back(padded);
    }
    cv::Mat sheet;
    cv::hconcat(row, sheet);
    // Stays viewable however tall the frames are.
    const int maxHeight = 1600;
    if (sheet.rows > maxHeight) {
        cv::Mat smaller;
        cv::resize(sheet, smaller, cv::Size(std::max(1, sheet.cols * maxHeight / sheet.rows), maxHeight), 0, 0,
                   cv::INTER_AREA);
        sheet = smaller;
    }
    return sheet;
}

QString writeContactSheet(const QVector<SheetColumn> &columns, const QString &dir, QString &error)
{
    try {
        const cv::Mat sheet = buildContactSheet(columns);
        if (sheet.empty())
            return QString();
        const QString path = QDir(dir).absoluteFilePath(QStringLiteral("contact-sheet.png"));
        if (cv::imwrite(path.toStdString(), sheet))
            return path;
        error = QStringLiteral("cannot write %1").arg(path);
    } catch (const std::exception &e) {
        error = QStringLiteral("contact sheet failed: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    return QString();
}
