#include "imagecanvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxZoom = 64.0;

} // namespace

void CanvasRenderer::render(quint64 ticket, const BandedImage &image, double zoom, QPointF origin, QSize size)
{
    RenderedView view;
    try {
        view = renderView(image, zoom, origin, size);
    } catch (const std::exception &) {
        // Nothing shown for this request; the next picture tries again.
    }
    emit rendered(ticket, view);
}

ImageCanvas::ImageCanvas(QWidget *parent) : QWidget(parent), renderer(new CanvasRenderer)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);
    setCursor(Qt::CrossCursor);
    static const bool registered = [] {
        qRegisterMetaType<BandedImage>("BandedImage");
        qRegisterMetaType<RenderedView>("RenderedView");
        return true;
    }();
    Q_UNUSED(registered);
    renderer->moveToThread(&thread);
    connect(this, &ImageCanvas::renderRequested, renderer, &CanvasRenderer::render, Qt::QueuedConnection);
    connect(renderer, &CanvasRenderer::rendered, this, &ImageCanvas::onRendered, Qt::QueuedConnection);
    thread.setObjectName(QStringLiteral("canvas renderer"));
    thread.start();
}

ImageCanvas::~ImageCanvas()
{
    // At most one rendering to wait for; its result is dropped with this object.
    thread.quit();
    thread.wait();
    delete renderer;
}

void ImageCanvas::setImage(BandedImage image, quint64 serial)
{
    const bool resized = image.cols() != shown.cols() || image.rows() != shown.rows();
    shown = std::move(image);
    shownSerial = serial;
    if (fit && resized)
        applyFit();
    invalidate();
    if (fit && resized)
        emit viewChanged();
    if (hoverPos.x() >= 0)
        emit hovered(readout(imagePixel(hoverPos)));
}

void ImageCanvas::setFit()
{
    fit = true;
    applyFit();
    invalidate();
    emit viewChanged();
}

void ImageCanvas::setOverlay(const QString &text, const QColor &band)
{
    if (text == overlayText && band == overlayBand)
        return;
    overlayText = text;
    overlayBand = band;
    update();
}

void ImageCanvas::paintOverlay(QPainter &p)
{
    if (overlayText.isEmpty())
        return;
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    const QFontMetrics fm(f);
    const int room = width() - 24;
    // Too long for one line, it breaks between its parts, so that the end
    // (the time to the next retry) is not the part cut off.
    const QString separator = QStringLiteral(" · ");
    QStringList lines;
    QString line;
    for (const QString &part : overlayText.split(separator)) {
        const QString longer = line.isEmpty() ? part : line + separator + part;
        if (line.isEmpty() || fm.horizontalAdvance(longer) <= room) {
            line = longer;
        } else {
            lines << line;
            line = part;
        }
    }
    lines << line;
    for (QString &l : lines)
        l = fm.elidedText(l, Qt::ElideRight, room);
    const QString text = lines.join(QLatin1Char('\n'));
    const int tall = fm.height() * (int(lines.size()) + 1);
    const QRect band(0, height() / 2 - tall / 2, width(), tall);
    QColor fill = overlayBand;
    fill.setAlpha(210);  // the picture shows through
    p.fillRect(band, fill);
    p.setPen(Qt::white);
    p.drawText(band, Qt::AlignCenter, text);
}

void ImageCanvas::setOneToOne()
{
    const QPointF centre(width() / 2.0, height() / 2.0);
    zoomBy(1.0 / scale, centre);
}

void ImageCanvas::applyFit()
{
    if (shown.empty() || width() <= 0 || height() <= 0) {
        scale = 1.0;
        topLeft = QPointF();
        return;
    }
    scale = std::min(double(width()) / shown.cols(), double(height()) / shown.rows());
    // Centred: the origin may lie left of or above the image.
    topLeft = QPointF((shown.cols() - width() / scale) / 2.0, (shown.rows() - height() / scale) / 2.0);
}

void ImageCanvas::zoomBy(double factor, QPointF anchor)
{
    if (shown.empty() || !(factor > 0))
        return;
    const double fitScale = std::min(double(width()) / shown.cols(), double(height()) / shown.rows());
    const double next = std::clamp(scale * factor, std::min(fitScale, 1.0) / 4.0, kMaxZoom);
    const QPointF at = topLeft + anchor / scale;
    scale = next;
    topLeft = at - anchor / scale;
    fit = false;
    invalidate();
    emit viewChanged();
}

void ImageCanvas::panBy(QPointF widgetDelta)
{
    topLeft -= widgetDelta / scale;
    const bool wasFit = fit;
    fit = false;
    invalidate();
    if (wasFit)
        emit viewChanged();
}

QPoint ImageCanvas::imagePixel(QPointF widgetPos) const
{
    if (shown.empty())
        return QPoint(-1, -1);
    const QPointF at = topLeft + widgetPos / scale;
    const int x = int(std::floor(at.x()));
    const int y = int(std::floor(at.y()));
    if (x < 0 || y < 0 || x >= shown.cols() || y >= shown.rows())
        return QPoint(-1, -1);
    return QPoint(x, y);
}

QString ImageCanvas::readout(QPoint pixel) const
{
    const std::vector<int> v = shown.pixel(pixel.x(), pixel.y());
    if (v.empty())
        return QString();
    const QString where = QStringLiteral("x %1  y %2").arg(pixel.x()).arg(pixel.y());
    if (v.size() == 3)
        return QStringLiteral("%1  R %2 G %3 B %4").arg(where).arg(v[0]).arg(v[1]).arg(v[2]);
    return QStringLiteral("%1  grey %2").arg(where).arg(v[0]);
}

void ImageCanvas::invalidate()
{
    stale = true;
    requestRender();
    update();
}

void ImageCanvas::requestRender()
{
    // A hidden canvas renders when it is shown.
    if (inFlight || !stale || !isVisible())
        return;
    stale = false;
    inFlight = true;
    ticketSerial = shownSerial;
    emit renderRequested(++ticket, shown, scale, topLeft, size());
}

void ImageCanvas::onRendered(quint64 done, const RenderedView &view)
{
    if (done != ticket)
        return;
    inFlight = false;
    last = view;
    lastSerial = ticketSerial;
    update();
    requestRender();
}

void ImageCanvas::showEvent(QShowEvent *)
{
    requestRender();
}

void ImageCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x20, 0x22, 0x25));
    if (shown.empty()) {
        p.setPen(QColor(0x90, 0x90, 0x90));
        p.drawText(rect(), Qt::AlignCenter, tr("waiting for a frame"));
        paintOverlay(p);
        return;
    }
    if (!last.image.isNull() && last.zoom > 0) {
        // The last rendering, moved and scaled to the view as it is now.
        const double k = scale / last.zoom;
        const QPointF imageAt = last.origin + QPointF(last.at) / last.zoom;
        const QRectF target((imageAt - topLeft) * scale, QSizeF(last.image.size()) * k);
        if (qFuzzyCompare(k, 1.0) && target.topLeft() == QPointF(target.topLeft().toPoint()))
            p.drawImage(target.topLeft(), last.image);
        else
            p.drawImage(target, last.image);
        // The picture's edge, which a dark image would otherwise lose in the background.
        const QRectF edge(QPointF(-topLeft.x() * scale, -topLeft.y() * scale),
                          QSizeF(shown.cols() * scale, shown.rows() * scale));
        p.setPen(QPen(QColor(0x60, 0x66, 0x70), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(edge.adjusted(-0.5, -0.5, 0.5, 0.5));
        if (lastSerial != paintedSerial) {
            paintedSerial = lastSerial;
            emit painted(lastSerial);
        }
    }
    paintOverlay(p);
}

void ImageCanvas::resizeEvent(QResizeEvent *)
{
    if (fit)
        applyFit();
    invalidate();
    if (fit)
        emit viewChanged();
}

void ImageCanvas::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoomBy(std::pow(1.25, steps), event->position());
    event->accept();
}

void ImageCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        lastDrag = event->pos();
        setCursor(Qt::ClosedHandCursor);
    }
}

void ImageCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging) {
        panBy(event->pos() - lastDrag);
        lastDrag = event->pos();
    }
    hoverPos = event->pos();
    emit hovered(readout(imagePixel(hoverPos)));
}

void ImageCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = false;
        setCursor(Qt::CrossCursor);
    }
}

void ImageCanvas::mouseDoubleClickEvent(QMouseEvent *)
{
    setFit();
}

void ImageCanvas::leaveEvent(QEvent *)
{
    hoverPos = QPoint(-1, -1);
    emit hovered(QString());
}
