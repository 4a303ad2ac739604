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
class ElidedLabel;
class ParamEditor;
class QLabel;
class QScrollArea;

// One camera's live picture: the newest frame, or in strip mode the last
// lines of consecutive frames, with its status line and the run panel of
// pinned parameters. The window's toolbar works on the current view, which
// is framed; a lost link or stopped acquisition is written over the frozen
// picture.
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
    // Bounded to kMinStripLines … kMaxStripLines; returns what was kept.
    int setStripLines(int lines);
    int stripLines() const { return lines.capacity(); }
    static constexpr int kMinStripLines = 64;
    static constexpr int kMaxStripLines = 16384;

    // The current view of the window: framed, its title marked.
    void setCurrent(bool on);
    bool isCurrent() const { return current; }

    // Frames taken from the mailbox into the picture, and pictures painted.
    quint64 framesTaken() const { return taken; }
    quint64 framesPainted() const { return paintedCount; }
    // The record of the frame shown last.
    const ImageProcessData &lastFrame() const { return latest; }
    // The picture as it is shown: the frame, or the strip.
    cv::Mat shownImage() const;
    bool saveImage(const QString &file, QString &error) const;
    // The status and link lines in full, as their tooltips show them.
    QString statusText() const;
    ElidedLabel *statusLine() const { return status; }
    QLabel *runStateLabel() const { return runState; }
    ElidedLabel *readoutLine() const { return readout; }

    static constexpr int kPresentMs = 33;

public slots:
    // Re-reads rates, numbers and link state into the status lines.
    void updateStatus();
    void saveWithDialog();

signals:
    void framePainted(LiveView *view);
    void activated(CameraSession *session);
    void message(const QString &text, bool error);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void schedulePresent();
    void present();
    void updateRunPanel();

    QPointer<CameraSession> cam;
    ImageCanvas *picture;
    ParamEditor *pinned;
    QWidget *pinnedBox;
    QScrollArea *pinScroll;
    QLabel *title;
    QLabel *runState;  // running, preview or stopped
    ElidedLabel *status;
    ElidedLabel *linkLine;
    ElidedLabel *readout;
    bool current = false;
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
