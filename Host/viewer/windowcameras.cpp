// The main window's cameras: the list, opening and closing, acquisition,
// reconnecting, recording and the settings files.
#include "viewerwindow.h"

#include "cameralistpanel.h"
#include "camerasession.h"
#include "controlspanel.h"
#include "framerecorder.h"
#include "liveview.h"
#include "parameditor.h"
#include "settingsfile.h"
#include "viewarea.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSignalBlocker>

void ViewerWindow::refreshCameras()
{
    if (!plugin)
        return;
    int count = 0;
    const QVector<QString> serials = plugin->enumerateCameras(count);
    listed = QStringList(serials.toList());
    devices = count;
    cameraList->setCountText(tr("SDK devices: %1 · VD-XG cameras: %2").arg(count).arg(listed.size()));
    updateList();
}

void ViewerWindow::updateList()
{
    QStringList shown = listed;
    // A lost camera leaves the enumeration but stays open here.
    for (const Open &o : open)
        if (!shown.contains(o.session->serial()))
            shown.append(o.session->serial());
    QVector<CameraListPanel::Entry> entries;
    for (const QString &serial : qAsConst(shown)) {
        CameraSession *s = session(serial);
        QColor colour = palette().color(QPalette::Disabled, QPalette::Text);
        if (s)
            colour = s->badgeColour();
        entries.append({serial, badgeText(serial), colour, serial == currentSerial});
    }
    const QSignalBlocker block(cameraList);
    cameraList->setEntries(entries, qMax(0, devices - int(listed.size())));
    cameraList->select(currentSerial);
}

QString ViewerWindow::badgeText(const QString &serial) const
{
    CameraSession *s = session(serial);
    if (!s)
        return tr("closed");
    return s->stopped() ? tr("stopped") : s->badge();
}

CameraSession *ViewerWindow::openCamera(const QString &serial, QString &error)
{
    if (CameraSession *s = session(serial)) {
        setCurrent(serial);
        return s;
    }
    if (!plugin) {
        error = tr("no plug-in loaded");
        return nullptr;
    }
    const int index = qMax(0, listed.indexOf(serial));
    std::unique_ptr<CameraSession> s =
        CameraSession::open(plugin, index, serial, startup.value(serial), linkPolicy, error);
    if (!s)
        return nullptr;
    const SettingsLoad::ExposureSelection chosen = s->exposureSelection();
    // Opened with the defaults, the camera keeps its own exposure as any
    // freshly opened camera does: only settings given deserve the word.
    if (startup.contains(serial) && chosen.outcome != SettingsLoad::ExposureSelection::Selected)
        showMessage(chosen.text(serial), chosen.outcome == SettingsLoad::ExposureSelection::Refused);
    auto *v = new LiveView(s.get());
    v->setStripMode(stripForNew);
    CameraSession *raw = s.get();
    auto changed = [this, raw, v] {
        updateList();
        area->setTitle(v, QStringLiteral("%1 (%2)").arg(raw->serial(), badgeText(raw->serial())));
        if (raw->serial() == currentSerial)
            updateActions();
    };
    connect(raw, &CameraSession::linkChanged, this, changed);
    connect(raw, &CameraSession::stateChanged, this, changed);
    connect(raw, &CameraSession::notice, this, &ViewerWindow::showMessage);
    connect(v, &LiveView::activated, this, [this](CameraSession *cs) {
        if (cs)
            setCurrent(cs->serial());
    });
    connect(v, &LiveView::message, this, &ViewerWindow::showMessage);
    if (recorder) {
        raw->sink()->setRecorder(recorder, serial);
        recordSettings(*raw);
    }
    open.push_back({std::move(s), v});
    area->addView(v, serial);
    controlsPanel->setCanSave(true);
    saveSettingsAction->setEnabled(true);
    setCurrent(serial);
    return raw;
}

void ViewerWindow::closeCamera(const QString &serial)
{
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (it->session->serial() != serial)
            continue;
        if (paramEditor->session() == it->session.get())
            paramEditor->setSession(nullptr);
        if (controlsPanel->session() == it->session.get())
            controlsPanel->setSession(nullptr);
        area->removeView(it->view);
        delete it->view;
        // Last: deleting the camera stops it; nothing of it runs afterwards.
        it->session.reset();
        open.erase(it);
        controlsPanel->setCanSave(!open.empty());
        saveSettingsAction->setEnabled(!open.empty());
        updateList();
        updateCurrent();
        return;
    }
}

void ViewerWindow::closeAllCameras()
{
    while (!open.empty())
        closeCamera(open.back().session->serial());
}

void ViewerWindow::recordOrStop()
{
    if (recorder) {
        stopRecording();
        return;
    }
    const QString parent = QFileDialog::getExistingDirectory(this, tr("Record into a new folder in"));
    if (parent.isEmpty())
        return;
    const QString dir = QDir(parent).filePath(
        QStringLiteral("recording-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    QString error;
    if (!startRecording(dir, error))
        showMessage(tr("Recording not started: %1").arg(error), true);
}

bool ViewerWindow::startRecording(const QString &dir, QString &error)
{
    if (recorder) {
        error = tr("already recording into %1").arg(recorder->directory());
        return false;
    }
    auto r = std::make_shared<FrameRecorder>(dir);
    if (!r->start(error))
        return false;
    recorder = r;
    for (const Open &o : open) {
        o.session->sink()->setRecorder(recorder, o.session->serial());
        recordSettings(*o.session);
    }
    showMessage(tr("Recording into %1").arg(dir), false);
    updateActions();
    return true;
}

void ViewerWindow::recordSettings(const CameraSession &session)
{
    QString error;
    if (!recorder->recordSettings(session.serial(), session.settings(), error))
        showMessage(tr("Recording without the settings of %1: %2").arg(session.serial(), error), true);
}

void ViewerWindow::stopRecording()
{
    if (!recorder)
        return;
    for (const Open &o : open)
        o.session->sink()->setRecorder(nullptr, QString());
    // Frames already queued are written before the figures are read.
    recorder->stop();
    const FrameRecorder::Counts c = recorder->total();
    const QString dir = recorder->directory();
    const QString failure = recorder->firstError();
    recorder.reset();
    if (c.failed > 0)
        showMessage(tr("Recorded %1 frames into %2; %3 could not be written: %4")
                        .arg(c.recorded)
                        .arg(dir)
                        .arg(c.failed)
                        .arg(failure),
                    true);
    else
        showMessage(tr("Recorded %1 frames into %2, %3 dropped (the disk behind the cameras)")
                        .arg(c.recorded)
                        .arg(dir)
                        .arg(c.dropped),
                    c.dropped > 0);
    updateActions();
}

void ViewerWindow::openSelected()
{
    const QString serial = cameraList->currentSerial();
    if (serial.isEmpty()) {
        showMessage(tr("Select a camera in the list first."), true);
        return;
    }
    QString error;
    if (!openCamera(serial, error))
        showMessage(error, true);
}

void ViewerWindow::closeSelected()
{
    const QString serial = cameraList->currentSerial();
    if (session(serial))
        closeCamera(serial);
}

void ViewerWindow::startStop()
{
    CameraSession *s = selectedSession();
    if (!s || s->down())
        return;
    if (!s->stopped()) {
        s->stop();
        showMessage(tr("%1: acquisition stopped").arg(s->serial()), false);
    } else if (s->start()) {
        showReopened(*s, tr("%1: acquisition started").arg(s->serial()));
    } else {
        showMessage(tr("%1: the camera did not open again; try Start later").arg(s->serial()), true);
    }
    updateActions();
}

void ViewerWindow::showReopened(const CameraSession &s, const QString &done)
{
    const SettingsLoad::ExposureSelection chosen = s.exposureSelection();
    if (chosen.outcome == SettingsLoad::ExposureSelection::Selected)
        showMessage(done, false);
    else
        showMessage(QStringLiteral("%1; %2").arg(done, chosen.text(s.serial())),
                    chosen.outcome == SettingsLoad::ExposureSelection::Refused);
}

void ViewerWindow::reconnectNow()
{
    CameraSession *s = selectedSession();
    if (!s || !s->down())
        return;
    if (s->reconnectNow()) {
        showReopened(*s, tr("%1: reconnected").arg(s->serial()));
    } else if (s->linkPolicy().retryIntervalMs > 0) {
        showMessage(tr("%1: still unreachable; retrying every %2 s")
                        .arg(s->serial())
                        .arg(s->linkPolicy().retryIntervalMs / 1000.0, 0, 'g', 4),
                    true);
    } else if (s->lost()) {
        showMessage(tr("%1: still unreachable; the driver keeps retrying every 30 s").arg(s->serial()), true);
    } else {
        showMessage(tr("%1: still unreachable; back with its next frame or Reconnect now").arg(s->serial()), true);
    }
    updateActions();
}

bool ViewerWindow::saveSettings(const QString &file, QString &error) const
{
    if (open.empty()) {
        error = tr("no camera is open: nothing to save");
        return false;
    }
    QMap<QString, QJsonObject> perCamera;
    for (const Open &o : open)
        perCamera.insert(o.session->serial(), o.session->settings());
    return writeSettingsFile(file, perCamera, error);
}

bool ViewerWindow::loadSettings(const QString &file, QString &error)
{
    QStringList serials = listed;
    for (const Open &o : open)
        if (!serials.contains(o.session->serial()))
            serials.append(o.session->serial());
    // The file is checked whole before any camera takes anything from it.
    QMap<QString, QJsonObject> read;
    if (!readSettingsFile(file, serials, read, error))
        return false;
    for (auto it = read.cbegin(); it != read.cend(); ++it)
        startup.insert(it.key(), it.value());
    int applied = 0;
    QStringList failed;
    QStringList unsent;
    bool refused = false;
    for (const Open &o : open) {
        if (!read.contains(o.session->serial()))
            continue;
        QString why;
        if (o.session->loadSettings(read.value(o.session->serial()), why)) {
            ++applied;
            const SettingsLoad::ExposureSelection chosen = o.session->exposureSelection();
            if (chosen.outcome != SettingsLoad::ExposureSelection::Selected) {
                unsent << chosen.text(o.session->serial());
                refused = refused || chosen.outcome == SettingsLoad::ExposureSelection::Refused;
            }
        } else {
            failed << QStringLiteral("%1: %2").arg(o.session->serial(), why);
        }
    }
    if (!failed.isEmpty()) {
        error = tr("Loaded %1 into %2 open camera(s); refused for %3").arg(file).arg(applied).arg(failed.join(QStringLiteral("; ")));
        if (!unsent.isEmpty())
            error += QStringLiteral("; ") + unsent.join(QStringLiteral("; "));
        return false;
    }
    const QString loaded = tr("Loaded %1: %2 open camera(s) took its settings").arg(file).arg(applied);
    if (unsent.isEmpty())
        showMessage(loaded, false);
    else
        showMessage(QStringLiteral("%1; %2").arg(loaded, unsent.join(QStringLiteral("; "))), refused);
    return true;
}

void ViewerWindow::saveSettingsWithDialog()
{
    if (open.empty()) {
        showMessage(tr("No camera is open: nothing to save."), true);
        return;
    }
    const QString file =
        QFileDialog::getSaveFileName(this, tr("Save settings"), QStringLiteral("settings.json"), tr("JSON (*.json)"));
    if (file.isEmpty())
        return;
    QString error;
    if (saveSettings(file, error))
        showMessage(tr("Saved the settings of %1 camera(s) to %2").arg(open.size()).arg(file), false);
    else
        showMessage(error, true);
}

void ViewerWindow::loadSettingsWithDialog()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Load settings"), QString(), tr("JSON (*.json)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!loadSettings(file, error))
        showMessage(error, true);
}
