#pragma once

#include "camerainterface.h"
#include "imagecanvas.h"
#include "linestrip.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>

class CameraSession;
class ParamEditor;
class QLabel;
class QSpinBox;
class QToolButton;

// One camera's live picture: the newest frame, or in strip mode the last
// lines of consecutive frames, with its status line and the run panel of
// pinned parameters.
//
// Frames are taken from the session's mailbox at most once per repaint
// interval; what came in between was replaced in the mailbox (newest wins)
// and is counted, not queued. UI thread only.
class LiveView : public QWidget
{
    Q_OBJECT
public:
    explicit LiveView(CameraSession *session, QWidget *parent = nullptr);
    ~LiveView() override;

    CameraSession *session() const { return cam; }
    ImageCanvas *canvas() const { return picture; }
    ParamEditor *runPanel() const { return pinned; }

    void setStripMode(bool on);
    bool stripMode() const { return strip; }
    void setStripLines(int lines);
    int stripLines() const { return lines.capacity(); }

    // Frames taken from the mailbox into the picture, and pictures painted.
    quint64 framesTaken() const { return taken; }
    quint64 framesPainted() const { return paintedCount; }
    // The record of the frame shown last.
    const ImageProcessData &lastFrame() const { return latest; }
    // The picture as it is shown: the frame, or the strip.
    cv::Mat shownImage() const;
    bool saveImage(const QString &file, QString &error) const;
    QString statusText() const;

    static constexpr int kPresentMs = 33;

public slots:
    // Re-reads rates, numbers and link state into the status lines.
    void updateStatus();

signals:
    void framePainted(LiveView *view);
    void activated(CameraSession *session);
    void message(const QString &text, bool error);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void schedulePresent();
    void present();
    void updateRunPanel();
    void saveWithDialog();

    QPointer<CameraSession> cam;
    ImageCanvas *picture;
    ParamEditor *pinned;
    QWidget *pinnedBox;
    QLabel *status;
    QLabel *linkLine;
    QLabel *readout;
    QToolButton *stripButton;
    QSpinBox *stripSpin;
    QTimer presentTimer;
    QTimer statusTimer;
    QElapsedTimer sincePresent;
    bool strip = false;
    LineStrip lines;
    ImageProcessData latest;
    bool haveFrame = false;
    quint64 serial = 0;
    quint64 taken = 0;
    quint64 paintedCount = 0;
    struct Sample
    {
        qint64 ms;
        quint64 frames;
        quint64 bytes;
    };
    std::deque<Sample> samples;
    QElapsedTimer clock;
    double fps = 0;
    double mbps = 0;
};
