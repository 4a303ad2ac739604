#include "liveview.h"

#include "camerasession.h"
#include "parameditor.h"

#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr qint64 kRateWindowMs = 2000;

QToolButton *toolButton(const QString &text, const QString &tip, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

} // namespace

LiveView::LiveView(CameraSession *session, QWidget *parent) : QWidget(parent), cam(session)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(3);

    auto *tools = new QHBoxLayout;
    tools->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(session->serial().toHtmlEscaped()), this);
    tools->addWidget(title);
    tools->addSpacing(12);
    QToolButton *fit = toolButton(tr("Fit"), tr("Fit the picture to the window (double-click)"), this);
    QToolButton *one = toolButton(tr("1:1"), tr("One image pixel per screen pixel"), this);
    stripButton = toolButton(tr("Strip"), tr("Stack consecutive frames into a scrolling strip of the last lines"), this);
    stripButton->setCheckable(true);
    stripSpin = new QSpinBox(this);
    stripSpin->setRange(64, 16384);
    stripSpin->setSingleStep(512);
    stripSpin->setValue(lines.capacity());
    stripSpin->setSuffix(tr(" lines"));
    stripSpin->setToolTip(tr("Lines the strip keeps"));
    stripSpin->setKeyboardTracking(false);
    QToolButton *save = toolButton(tr("Save image…"), tr("Save the picture shown (frame or strip) as PNG"), this);
    save->setObjectName(QStringLiteral("saveImage"));
    tools->addWidget(fit);
    tools->addWidget(one);
    tools->addSpacing(8);
    tools->addWidget(stripButton);
    tools->addWidget(stripSpin);
    tools->addSpacing(8);
    tools->addWidget(save);
    readout = new QLabel(this);
    readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tools->addWidget(readout, 1);
    outer->addLayout(tools);

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
    pinned = new ParamEditor(ParamEditor::Mode::RunPanel, pinnedBox);
    pinLine->addWidget(pinned, 1);
    outer->addWidget(pinnedBox);

    status = new QLabel(this);
    status->setTextFormat(Qt::RichText);
    status->setObjectName(QStringLiteral("statusLine"));
    linkLine = new QLabel(this);
    linkLine->setTextFormat(Qt::RichText);
    linkLine->setObjectName(QStringLiteral("linkLine"));
    // Figures change twice a second: their width must not lay out the window again.
    for (QLabel *l : {status, linkLine, readout}) {
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        l->setMinimumWidth(1);
    }
    outer->addWidget(status);
    outer->addWidget(linkLine);

    connect(fit, &QToolButton::clicked, picture, &ImageCanvas::setFit);
    connect(one, &QToolButton::clicked, picture, &ImageCanvas::setOneToOne);
    connect(stripButton, &QToolButton::toggled, this, &LiveView::setStripMode);
    connect(stripSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &LiveView::setStripLines);
    connect(save, &QToolButton::clicked, this, &LiveView::saveWithDialog);
    connect(picture, &ImageCanvas::hovered, readout, &QLabel::setText);
    connect(picture, &ImageCanvas::painted, this, [this](quint64) {
        ++paintedCount;
        emit framePainted(this);
    });

    presentTimer.setSingleShot(true);
    connect(&presentTimer, &QTimer::timeout, this, &LiveView::present);
    connect(session->sink(), &FrameSink::framesWaiting, this, &LiveView::schedulePresent);
    connect(session, &CameraSession::linkChanged, this, &LiveView::updateStatus);
    connect(pinned, &ParamEditor::rowsChanged, this, &LiveView::updateRunPanel);
    statusTimer.setInterval(500);
    connect(&statusTimer, &QTimer::timeout, this, &LiveView::updateStatus);
    statusTimer.start();
    clock.start();

    pinned->setSession(session);
    updateRunPanel();
    updateStatus();
}

LiveView::~LiveView() = default;

void LiveView::setStripMode(bool on)
{
    if (strip == on)
        return;
    strip = on;
    {
        const QSignalBlocker block(stripButton);
        stripButton->setChecked(on);
    }
    lines.clear();
    const bool newerWaiting = cam && cam->sink()->setHistoryRows(on ? lines.capacity() : 0);
    // The frame shown starts the strip only when nothing newer waits: with a
    // single slot the mailbox may have replaced the frame that follows it.
    if (strip && haveFrame && !newerWaiting)
        lines.append(latest.image);
    if (haveFrame)
        picture->setImage(strip ? BandedImage(lines.bands()) : BandedImage(std::vector<cv::Mat>{latest.image}), ++serial);
}

void LiveView::setStripLines(int count)
{
    lines.setCapacity(count);
    {
        const QSignalBlocker block(stripSpin);
        stripSpin->setValue(lines.capacity());
    }
    if (strip && cam)
        cam->sink()->setHistoryRows(lines.capacity());
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
    return status->text() + QLatin1Char('\n') + linkLine->text();
}

void LiveView::updateStatus()
{
    if (!cam)
        return;
    const qint64 now = clock.elapsed();
    FrameSink *sink = cam->sink();
    samples.push_back({now, sink->received(), sink->receivedBytes()});
    while (samples.size() > 2 && now - samples.front().ms > kRateWindowMs)
        samples.pop_front();
    if (samples.size() >= 2 && samples.back().ms > samples.front().ms) {
        const double span = double(samples.back().ms - samples.front().ms) / 1000.0;
        fps = double(samples.back().frames - samples.front().frames) / span;
        mbps = double(samples.back().bytes - samples.front().bytes) / span / 1e6;
    }
    const cv::Mat &img = latest.image;
    const QString frame = haveFrame
                              ? tr("product <b>%1</b> · capture <b>%2</b> · cycle <b>%3</b> · %4×%5×%6")
                                    .arg(latest.productID)
                                    .arg(latest.captureIndex)
                                    .arg(latest.productCycleIndex)
                                    .arg(img.cols)
                                    .arg(img.rows)
                                    .arg(img.channels())
                              : tr("no frame yet");
    status->setText(tr("%1 &nbsp;|&nbsp; %2 fps · %3 MB/s &nbsp;|&nbsp; received %4 · painted %5 &nbsp;|&nbsp; %6")
                        .arg(frame)
                        .arg(fps, 0, 'f', 1)
                        .arg(mbps, 0, 'f', 1)
                        .arg(sink->received())
                        .arg(paintedCount)
                        .arg(cam->running() ? tr("running") : tr("preview")));

    QString colour = QStringLiteral("#2e7d32");
    if (cam->link() == CameraSession::Link::Lost)
        colour = QStringLiteral("#c62828");
    else if (cam->link() == CameraSession::Link::Reconnected)
        colour = QStringLiteral("#1565c0");
    QStringList history;
    for (const CameraSession::LinkEvent &e : cam->linkEvents())
        history << (e.lost ? tr("lost %1") : tr("back %1")).arg(e.at.toString(QStringLiteral("hh:mm:ss")));
    // The newest few fit the line; the tooltip has them all.
    const QStringList recent = history.mid(qMax(0, history.size() - 6));
    linkLine->setText(tr("link: <span style=\"color:%1\"><b>%2</b></span>%3")
                          .arg(colour, cam->badge().toHtmlEscaped(),
                               recent.isEmpty() ? QString() : QStringLiteral(" &nbsp;·&nbsp; ") + recent.join(QStringLiteral(", "))));
    linkLine->setToolTip(history.join(QLatin1Char('\n')));
}

void LiveView::updateRunPanel()
{
    pinnedBox->setVisible(!pinned->rows().isEmpty());
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
