#pragma once

#include "imagerender.h"

#include <QPoint>
#include <QWidget>

// Shows a BandedImage fit to the widget or zoomed: wheel zoom around the
// cursor, drag pan, double-click back to fit, and a readout of the pixel
// under the cursor. UI thread only.
class ImageCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit ImageCanvas(QWidget *parent = nullptr);

    // A new picture; `serial` names it for painted().
    void setImage(BandedImage image, quint64 serial);
    const BandedImage &image() const { return shown; }

    bool isFit() const { return fit; }
    double zoom() const { return scale; }
    QPointF origin() const { return topLeft; }
    void setFit();
    void setOneToOne();
    // Zooms by `factor`, keeping the image point under `anchor` in place.
    void zoomBy(double factor, QPointF anchor);
    void panBy(QPointF widgetDelta);

    // The image pixel under a widget position; (-1, -1) outside the image.
    QPoint imagePixel(QPointF widgetPos) const;
    // "x 120  y 34  grey 200" or "... R 1 G 2 B 3"; empty outside the image.
    QString readout(QPoint pixel) const;

    QSize sizeHint() const override { return QSize(640, 360); }

signals:
    // A paint that showed the picture of this serial, once per serial.
    void painted(quint64 serial);
    void hovered(const QString &readout);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void applyFit();
    void invalidate();

    BandedImage shown;
    quint64 shownSerial = 0;
    quint64 paintedSerial = 0;
    bool fit = true;
    double scale = 1.0;
    QPointF topLeft;
    bool dragging = false;
    QPoint lastDrag;
    QPoint hoverPos{-1, -1};
    // The last rendering, reused while picture, zoom, origin and size stay.
    RenderedView cache;
    bool cacheValid = false;
};
