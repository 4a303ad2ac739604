#pragma once

#include "imagerender.h"

#include <QColor>
#include <QPoint>
#include <QString>
#include <QThread>
#include <QWidget>

// Renders canvases on a thread of its own: shrinking a 16k-pixel strip takes
// milliseconds that the UI thread does not have. Lives on that thread;
// requests and results cross by queued signals.
class CanvasRenderer : public QObject
{
    Q_OBJECT
public slots:
    void render(quint64 ticket, const BandedImage &image, double zoom, QPointF origin, QSize size);
signals:
    void rendered(quint64 ticket, const RenderedView &view);
};

// Shows a BandedImage fit to the widget or zoomed: wheel zoom around the
// cursor, drag pan, double-click back to fit, and a readout of the pixel
// under the cursor. The picture is rendered off the UI thread, one request
// at a time: a newer picture waits for the request in flight and replaces
// any that waited before it. Meanwhile the last rendering is drawn, moved
// and scaled to the current view.
// Threading: the widget is UI thread only; its renderer runs on `thread`.
class QPainter;

class ImageCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit ImageCanvas(QWidget *parent = nullptr);
    ~ImageCanvas() override;

    // A new picture; `serial` names it for painted().
    void setImage(BandedImage image, quint64 serial);
    const BandedImage &image() const { return shown; }

    bool isFit() const { return fit; }
    double zoom() const { return scale; }
    QPointF origin() const { return topLeft; }
    void setFit();
    void setOneToOne();
    bool isOneToOne() const { return !fit && qFuzzyCompare(scale, 1.0); }
    // A line drawn over the picture on a band of `band`'s colour, such as
    // why it is frozen; empty: none.
    void setOverlay(const QString &text, const QColor &band = QColor(0xb7, 0x1c, 0x1c));
    QString overlay() const { return overlayText; }
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
    // Fit, zoom or position changed.
    void viewChanged();
    void renderRequested(quint64 ticket, const BandedImage &image, double zoom, QPointF origin, QSize size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyFit();
    void paintOverlay(QPainter &p);
    void invalidate();
    void requestRender();
    void onRendered(quint64 ticket, const RenderedView &view);

    BandedImage shown;
    quint64 shownSerial = 0;
    quint64 paintedSerial = 0;
    bool fit = true;
    double scale = 1.0;
    QPointF topLeft;
    bool dragging = false;
    QPoint lastDrag;
    QPoint hoverPos{-1, -1};
    QThread thread;
    CanvasRenderer *renderer;
    quint64 ticket = 0;
    quint64 ticketSerial = 0;  // the picture of the request in flight
    bool inFlight = false;
    bool stale = true;         // the last rendering is not of the current view
    RenderedView last;
    quint64 lastSerial = 0;
    QString overlayText;
    QColor overlayBand;
};
