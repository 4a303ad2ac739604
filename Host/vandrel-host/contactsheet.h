#pragma once

#include <QString>
#include <QVector>

#include <opencv2/core.hpp>

// One delivered frame kept for the contact sheet.
struct SheetFrame
{
    cv::Mat image;  // as delivered: 8-bit, 1 channel or 3 channels in RGB order
    int sequence = 0;
    int productID = 0;
    int captureIndex = 0;
    int productCycleIndex = 0;
};

struct SheetColumn
{
    QString title;
    QVector<SheetFrame> frames;  // oldest first
};

// 8-bit BGR copy of a delivered image, as OpenCV's writers expect.
cv::Mat toBgr(const cv::Mat &delivered);

// One column per camera: its last frames stacked in arrival order (a line-scan
// camera's frames continue one another), scaled to tileWidth pixels, each
// labelled with its sequence and numbers. Empty if no camera has a frame.
cv::Mat buildContactSheet(const QVector<SheetColumn> &columns, int tileWidth = 480);

// Writes the sheet as DIR/contact-sheet.png. Returns its absolute path, or
// an empty string with no error when no camera has a frame; on failure an
// empty string and the reason in one line.
QString writeContactSheet(const QVector<SheetColumn> &columns, const QString &dir, QString &error);
