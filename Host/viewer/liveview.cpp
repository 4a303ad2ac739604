#include "liveview.h"

#include "camerasession.h"
#include "elidedlabel.h"
#include "parameditor.h"

#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr qint64 kRateWindowMs = 2000;

} // namespace

LiveView::LiveView(CameraSession *session, QWidget *parent) : QWidget(parent), cam(session)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(3);

    auto *head = new QHBoxLayout;
    head->setSpacing(8);
    title = new QLabel(this);
    title->setObjectName(QStringLiteral("viewTitle"));
    title->setTextFormat(Qt::RichText);
    head->addWidget(title);
    readout = new ElidedLabel(this);
    readout->setObjectName(QStringLiteral("readout"));
    readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    head->addWidget(readout, 1);
    outer->addLayout(head);

    picture = new ImageCanvas(this);
    picture->installEventFilter(this);
    outer->addWidget(picture, 1);

    pinnedBox = new QFrame(this);
    static_cast<QFrame *>(pinnedBox)->setFrameShape(QFrame::StyledPanel);
    auto *pinLine = new QHBoxLayout(pinnedBox);
    pinLine->setContentsMargins(4, 0, 4, 0);
    auto *pinTitle = new QLabel(tr("Run panel:"), pinnedBox);
    pinTitle->setEnabled(false);
    pinLine->addWidget(pinTitle);
    pinned = new ParamEditor(ParamEditor::Mode::RunPanel);
    // Many pins in a narrow view scroll sideways rather than widen the window.
    pinScroll = new QScrollArea(pinnedBox);
    pinScroll->setFrameShape(QFrame::NoFrame);
    pinScroll->setWidgetResizable(true);
    pinScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pinScroll->setProperty("scrollsSideways", true);
    pinScroll->setWidget(pinned);
    pinLine->addWidget(pinScroll, 1);
    outer->addWidget(pinnedBox);

    // The run state first and whole; the figures after it may be shortened.
    auto *statusRow = new QHBoxLayout;
    statusRow->setSpacing(8);
    runState = new QLabel(this);
    runState->setObjectName(QStringLiteral("runState"));
    runState->setTextFormat(Qt::PlainText);
    QFont bold = runState->font();
    bold.setBold(true);
    runState->setFont(bold);
    statusRow->addWidget(runState);
    status = new ElidedLabel(this);
    status->setObjectName(QStringLiteral("statusLine"));
    statusRow->addWidget(status, 1);
    outer->addLayout(statusRow);
    linkLine = new ElidedLabel(this);
    linkLine->setObjectName(QStringLiteral("linkLine"));
    outer->addWidget(linkLine);

    connect(picture, &ImageCanvas::hovered, readout, &ElidedLabel::setFullText);
    connect(picture, &ImageCanvas::painted, this, [this](quint64) {
        ++paintedCount;
        emit framePainted(this);
    });

    presentTimer.setSingleShot(true);
    connect(&presentTimer, &QTimer::timeout, this, &LiveView::present);
    connect(session->sink(), &FrameSink::framesWaiting, this, &LiveView::schedulePresent);
    connect(session, &CameraSession::linkChanged, this, &LiveView::updateStatus);
    connect(session, &CameraSession::stateChanged, this, &LiveView::updateStatus);
    connect(pinned, &ParamEditor::rowsChanged, this, &LiveView::updateRunPanel);
    statusTimer.setInterval(500);
    connect(&statusTimer, &QTimer::timeout, this, &LiveView::updateStatus);
    statusTimer.start();
    clock.start();

    pinned->setSession(session);
    setCurrent(false);
    updateRunPanel();
    updateStatus();
}

LiveView::~LiveView() = default;

void LiveView::setStripMode(bool on)
{
    if (strip == on)
        return;
    strip = on;
    lines.clear();
    const bool newerWaiting = cam && cam->sink()->setHistoryRows(on ? lines.capacity() : 0);
    // The frame shown starts the strip only when nothing newer waits: with a
    // single slot the mailbox may have replaced the frame that follows it.
    if (strip && haveFrame && !newerWaiting)
        lines.append(latest.image);
    if (haveFrame)
        picture->setImage(strip ? BandedImage(lines.bands()) : BandedImage(std::vector<cv::Mat>{latest.image}), ++serial);
}

int LiveView::setStripLines(int count)
{
    lines.setCapacity(qBound(kMinStripLines, count, kMaxStripLines));
    if (strip && cam)
        cam->sink()->setHistoryRows(lines.capacity());
    return lines.capacity();
}

void LiveView::setCurrent(bool on)
{
    current = on;
    setProperty("current", on);
    if (cam)
        title->setText(on ? tr("<b>● %1</b>").arg(cam->serial().toHtmlEscaped())
                          : tr("<b>%1</b>").arg(cam->serial().toHtmlEscaped()));
    title->setToolTip(on ? tr("The current camera: the toolbar, the controls and the editor work on it")
                         : tr("Click the view to make this camera the current one"));
    update();
}

void LiveView::paintEvent(QPaintEvent *)
{
    if (!current)
        return;
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::Highlight), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
}

void LiveView::schedulePresent()
{
    if (presentTimer.isActive())
        return;
    // At most one picture per repaint interval; frames wait in the mailbox meanwhile.
    const qint64 since = sincePresent.isValid() ? sincePresent.elapsed() : kPresentMs;
    if (since >= kPresentMs)
        present();
    else
        presentTimer.start(int(kPresentMs - since));
}

void LiveView::present()
{
    if (!cam)
        return;
    sincePresent.restart();
    std::vector<ImageProcessData> frames = cam->sink()->take();
    if (frames.empty())
        return;
    taken += frames.size();
    if (strip)
        for (const ImageProcessData &f : frames)
            lines.append(f.image);
    latest = std::move(frames.back());
    haveFrame = true;
    // The older records go now, handing their buffers back to the driver's pool.
    frames.clear();
    picture->setImage(strip ? BandedImage(lines.bands()) : BandedImage(std::vector<cv::Mat>{latest.image}), ++serial);
}

cv::Mat LiveView::shownImage() const
{
    if (strip)
        return lines.toMat();
    return haveFrame ? latest.image : cv::Mat();
}

bool LiveView::saveImage(const QString &file, QString &error) const
{
    const cv::Mat shown = shownImage();
    if (shown.empty()) {
        error = tr("no picture to save yet");
        return false;
    }
    try {
        cv::Mat out;
        if (shown.channels() == 3)
            cv::cvtColor(shown, out, cv::COLOR_RGB2BGR);
        else
            out = shown;
        if (!cv::imwrite(file.toStdString(), out)) {
            error = tr("cannot write %1").arg(file);
            return false;
        }
    } catch (const cv::Exception &e) {
        error = tr("cannot write %1: %2").arg(file, QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

QString LiveView::statusText() const
{
    return runState->text() + QStringLiteral("  |  ") + status->fullText() + QLatin1Char('\n') + linkLine->fullText();
}

void LiveView::updateStatus()
{
    if (!cam)
        return;
    const qint64 now = clock.elapsed();
    FrameSink *sink = cam->sink();
    const LinkStatus link = cam->linkStatus();
    const bool linkDown = link.state == LinkState::Lost || link.state == LinkState::Stalled;
    // No frame comes while the link is down: the rate says so at once
    // instead of fading over the window.
    if (linkDown) {
        samples.clear();
        fps = 0;
        mbps = 0;
    }
    samples.push_back({now, sink->received(), sink->receivedBytes()});
    while (samples.size() > 2 && now - samples.front().ms > kRateWindowMs)
        samples.pop_front();
    if (samples.size() >= 2 && samples.back().ms > samples.front().ms) {
        const double span = double(samples.back().ms - samples.front().ms) / 1000.0;
        fps = double(samples.back().frames - samples.front().frames) / span;
        mbps = double(samples.back().bytes - samples.front().bytes) / span / 1e6;
    }
    const cv::Mat &img = latest.image;
    const QString frame = haveFrame ? tr("product %1 · capture %2 · cycle %3 · %4×%5×%6")
                                          .arg(latest.productID)
                                          .arg(latest.captureIndex)
                                          .arg(latest.productCycleIndex)
                                          .arg(img.cols)
                                          .arg(img.rows)
                                          .arg(img.channels())
                                    : tr("no frame yet");
    QString mode = cam->running() ? tr("running") : tr("preview");
    if (cam->stopped())
        mode = tr("stopped");
    else if (link.state == LinkState::Lost)
        mode = tr("link lost");
    else if (link.state == LinkState::Stalled)
        mode = tr("stalled");
    runState->setText(mode);
    status->setFullText(tr("%1  |  %2 fps · %3 MB/s  |  received %4 · painted %5")
                            .arg(frame)
                            .arg(fps, 0, 'f', 1)
                            .arg(mbps, 0, 'f', 1)
                            .arg(sink->received())
                            .arg(paintedCount));

    linkLine->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(cam->badgeColour().name()));
    QStringList history;
    for (const LinkEvent &e : cam->linkEvents())
        history << QStringLiteral("%1 %2").arg(linkEventKey(e.kind), e.time.toString(QStringLiteral("hh:mm:ss")));
    // The badge gives the newest event and its time; the line lists the ones before it.
    const QStringList earlier = history.mid(0, qMax(0, history.size() - 1));
    linkLine->setFullText(earlier.isEmpty()
                              ? tr("link: %1").arg(cam->badge())
                              : tr("link: %1 · earlier: %2")
                                    .arg(cam->badge(), earlier.mid(qMax(0, earlier.size() - 6)).join(QStringLiteral(", "))));
    linkLine->setPlainToolTip(history.join(QLatin1Char('\n')));

    const QString since = link.since.toString(QStringLiteral("hh:mm:ss"));
    QString over;
    if (link.state == LinkState::Lost) {
        over = tr("link lost at %1 · %2").arg(since, cam->retryText());
    } else if (link.state == LinkState::Stalled) {
        over = tr("stalled since %1: no frame, no status message · %2").arg(since, cam->retryText());
    } else if (cam->stopped()) {
        over = tr("stopped");
    } else if (link.backs > 0 && link.since.msecsTo(QDateTime::currentDateTime()) < CameraSession::kBackShownMs) {
        // Said where the countdown was, for a while: the picture is live again.
        over = tr("link back at %1").arg(since);
    }
    // The badge's colour, but a stopped camera's band stays the default.
    if (cam->stopped() && link.state == LinkState::Open)
        picture->setOverlay(over);
    else
        picture->setOverlay(over, cam->badgeColour());
}

void LiveView::updateRunPanel()
{
    pinnedBox->setVisible(!pinned->rows().isEmpty());
    // As tall as the rows, and a scroll bar when they do not fit.
    const int bar = pinScroll->horizontalScrollBar()->sizeHint().height();
    pinScroll->setFixedHeight(pinned->sizeHint().height() + (pinned->sizeHint().width() > pinScroll->width() ? bar : 0));
}

void LiveView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateRunPanel();
}

void LiveView::saveWithDialog()
{
    emit activated(cam);
    const QString suggested = QStringLiteral("%1-%2.png").arg(cam ? cam->serial() : QStringLiteral("frame"),
                                                              strip ? QStringLiteral("strip") : QStringLiteral("frame"));
    const QString file = QFileDialog::getSaveFileName(this, tr("Save image"), suggested, tr("PNG images (*.png)"));
    if (file.isEmpty())
        return;
    QString error;
    if (saveImage(file, error))
        emit message(tr("Saved %1").arg(file), false);
    else
        emit message(error, true);
}

void LiveView::mousePressEvent(QMouseEvent *event)
{
    emit activated(cam);
    QWidget::mousePressEvent(event);
}

bool LiveView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == picture && event->type() == QEvent::MouseButtonPress)
        emit activated(cam);
    return QWidget::eventFilter(watched, event);
}
