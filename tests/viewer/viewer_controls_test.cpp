// The controls and the editor as a person meets them: settings saved with
// another exposure configuration count, pins across a new count, the trigger
// mode, the running box, configuration numbers, and when an edit takes effect.

#include "controlspanel.h"
#include "elidedlabel.h"
#include "layoutcheck.h"
#include "viewerfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <mutex>
#include <utility>
#include <vector>

using namespace viewertest;

namespace {

QJsonObject saved(CameraSession *s)
{
    QJsonObject out;
    s->camera()->save(out);
    return out;
}

// Notches of the mouse wheel (up when positive) over the middle of `w`;
// whether `w` took the event. One it leaves goes on to the scroll area.
bool wheelOver(QWidget *w, int notches)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
    return e.isAccepted();
}

} // namespace

class Controls : public ViewerTest
{
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->setExpertLevel(true);
        session = open(kColour);
        ASSERT_NE(session, nullptr);
    }
    QWidget *row(const QString &label)
    {
        const int i = indexOfLabel(descriptors(session), label);
        EXPECT_GE(i, 0) << label.toStdString();
        return window->editor()->rowFor(i);
    }
    QWidget *optionRow(const QString &name)
    {
        return window->editor()->rowFor(indexOfOption(descriptors(session), name));
    }
    template <class T>
    T *control(const char *name)
    {
        T *w = window->controls()->findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void setCount(int n)
    {
        control<QSpinBox>("configCount")->setValue(n);
        control<QPushButton>("setConfigCount")->click();
    }
    int pinnedCount() const { return window->view(kColour)->runPanel()->rows().size(); }

    CameraSession *session = nullptr;
    QTemporaryDir dir;
};

TEST_F(Controls, SettingsSavedWithThreeConfigurationsLoadIntoOneWithEveryValueWhereItWas)
{
    setCount(3);
    ASSERT_EQ(descriptors(session).size(), 24);
    typeInto(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>(), QStringLiteral("8"));
    typeInto(row(QStringLiteral("去抖时长"))->findChild<QSpinBox *>(), QStringLiteral("77"));
    typeInto(row(QStringLiteral("曝光时间3"))->findChild<QDoubleSpinBox *>(), QStringLiteral("12.5"));
    optionRow(QStringLiteral("彩色图像"))->findChild<QCheckBox *>()->click();
    row(QStringLiteral("模拟增益"))->findChild<QToolButton *>()->click();
    const QString file = dir.filePath(QStringLiteral("three.json"));
    QString error;
    ASSERT_TRUE(window->saveSettings(file, error)) << error.toStdString();
    const QJsonObject before = saved(session);

    // A new camera object, built for one configuration, as after a restart.
    window->closeCamera(kColour);
    session = open(kColour);
    ASSERT_EQ(descriptors(session).size(), 22);
    ASSERT_TRUE(window->loadSettings(file, error)) << error.toStdString();
    EXPECT_TRUE(window->messageText().startsWith(QStringLiteral("Loaded "))) << window->messageText().toStdString();
    EXPECT_EQ(saved(session), before);
    // What the person sees: every value in its own row, the editor rebuilt for three.
    ASSERT_EQ(window->editor()->rows().size(), 24);
    EXPECT_EQ(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>()->value(), 8);
    EXPECT_EQ(row(QStringLiteral("锐化"))->findChild<QSpinBox *>()->value(), 0);
    EXPECT_EQ(row(QStringLiteral("去抖时长"))->findChild<QSpinBox *>()->value(), 77);
    EXPECT_DOUBLE_EQ(row(QStringLiteral("曝光时间3"))->findChild<QDoubleSpinBox *>()->value(), 12.5);
    EXPECT_TRUE(optionRow(QStringLiteral("彩色图像"))->findChild<QCheckBox *>()->isChecked());
    EXPECT_EQ(session->camera()->channels(), 3);
    EXPECT_EQ(control<QSpinBox>("configCount")->value(), 3);
    ASSERT_EQ(pinnedCount(), 1);

    // Kept for the next opening, as --settings is: the reopened camera takes its count too.
    window->closeCamera(kColour);
    session = open(kColour);
    EXPECT_EQ(saved(session), before);
}

TEST_F(Controls, ASettingsFileOfNoCountIsRefusedAndNothingChanges)
{
    const int defaultGain = row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>()->value();
    typeInto(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>(), QStringLiteral("12"));
    QJsonObject settings = saved(session);
    QJsonArray wrap = settings.value(QStringLiteral("paramsWrap")).toArray();
    wrap.removeAt(3);  // one entry lost before the exposure times
    settings.insert(QStringLiteral("paramsWrap"), wrap);
    const QString file = dir.filePath(QStringLiteral("bad.json"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(settings).toJson());
    f.close();

    const QJsonObject before = saved(session);
    const QList<QWidget *> rowsBefore = window->editor()->rows();
    QString error;
    EXPECT_FALSE(window->loadSettings(file, error));
    EXPECT_TRUE(error.contains(QStringLiteral("\"paramsWrap\" entry 9 holds a group of check boxes where a camera with "
                                              "0 exposure configuration(s) (21 entries) has a heading")))
        << error.toStdString();
    EXPECT_EQ(saved(session), before);
    EXPECT_EQ(window->editor()->rows(), rowsBefore) << "the editor was not rebuilt";
    EXPECT_EQ(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>()->value(), 12);
    // Nor is it kept for the next opening.
    window->closeCamera(kColour);
    session = open(kColour);
    EXPECT_EQ(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>()->value(), defaultGain);
}

TEST_F(Controls, LoadSettingsAndApplySelectTheStoredExposureAndSayWhenItWasNotSent)
{
    auto deviceExposure = [] {
        double v = -1;
        EXPECT_EQ(VdSimGetValue(kColour.toUtf8().constData(), "exposureTime", &v), 0);
        return v;
    };
    auto *time1 = row(QStringLiteral("曝光时间1"))->findChild<QDoubleSpinBox *>();
    ASSERT_NE(time1, nullptr);
    const double low = time1->minimum() + (time1->maximum() - time1->minimum()) / 4;
    const double high = time1->minimum() + (time1->maximum() - time1->minimum()) / 2;
    const QString lowText = QString::number(low, 'f', 1);
    const QString highText = QString::number(high, 'f', 1);
    QString error;
    typeInto(time1, lowText);
    const QString lowFile = dir.filePath(QStringLiteral("low.json"));
    ASSERT_TRUE(window->saveSettings(lowFile, error)) << error.toStdString();
    typeInto(time1, highText);
    const QString highFile = dir.filePath(QStringLiteral("high.json"));
    ASSERT_TRUE(window->saveSettings(highFile, error)) << error.toStdString();

    ASSERT_TRUE(window->loadSettings(lowFile, error)) << error.toStdString();
    EXPECT_EQ(window->messageText(), QStringLiteral("Loaded %1: 1 open camera(s) took its settings").arg(lowFile));
    EXPECT_EQ(session->exposureSelection().outcome, SettingsLoad::ExposureSelection::Selected);
    const double atLow = deviceExposure();
    ASSERT_TRUE(window->loadSettings(highFile, error)) << error.toStdString();
    const double atHigh = deviceExposure();
    EXPECT_NE(atHigh, atLow) << "the loaded configuration reached the camera, not only the editor";
    // Selecting it by hand sends nothing the load did not.
    control<QSpinBox>("exposureIndex")->setValue(1);
    control<QPushButton>("selectExposure")->click();
    EXPECT_EQ(deviceExposure(), atHigh);

    // Apply sends the edited time, and says so.
    typeInto(time1, lowText);
    EXPECT_EQ(deviceExposure(), atHigh) << "an edit alone reaches no camera";
    control<QPushButton>("apply")->click();
    EXPECT_EQ(deviceExposure(), atLow);
    EXPECT_TRUE(window->messageText().startsWith(
        QStringLiteral("%1: settings applied: the colour choice and exposure configuration 1 (%2 × 0.1 ms) reached")
            .arg(kColour, QString::number(time1->value(), 'g', 7))))
        << window->messageText().toStdString();

    // Settings whose configuration was never set hold 0, below the range: not sent, and said.
    QFile saved(highFile);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(saved.readAll()).object();
    QJsonObject cameras = root.value(QStringLiteral("cameras")).toObject();
    QJsonObject mine = cameras.value(kColour).toObject();
    QJsonArray wrap = mine.value(QStringLiteral("paramsWrap")).toArray();
    bool found = false;
    for (int i = 0; i < wrap.size(); ++i) {
        QJsonObject entry = wrap[i].toObject();
        if (entry.value(QStringLiteral("name")).toString() == QLatin1String("ExposureTime1")) {
            entry.insert(QStringLiteral("values"), 0.0);
            wrap[i] = entry;
            found = true;
        }
    }
    ASSERT_TRUE(found) << "the file names its entries";
    mine.insert(QStringLiteral("paramsWrap"), wrap);
    cameras.insert(kColour, mine);
    root.insert(QStringLiteral("cameras"), cameras);
    const QString unset = dir.filePath(QStringLiteral("unset.json"));
    QFile out(unset);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(root).toJson());
    out.close();
    const double before = deviceExposure();
    ASSERT_TRUE(window->loadSettings(unset, error)) << error.toStdString();
    const SettingsLoad::ExposureSelection chosen = session->exposureSelection();
    EXPECT_EQ(chosen.outcome, SettingsLoad::ExposureSelection::OutOfRange);
    EXPECT_EQ(window->messageText(), QStringLiteral("Loaded %1: 1 open camera(s) took its settings; %2")
                                         .arg(unset, chosen.text(kColour)));
    EXPECT_TRUE(chosen.text(kColour).contains(QStringLiteral("not sent"))) << chosen.text(kColour).toStdString();
    EXPECT_EQ(deviceExposure(), before);
    control<QPushButton>("apply")->click();
    EXPECT_FALSE(window->messageText().contains(QStringLiteral("exposure configuration 1 (")))
        << "Apply claims no exposure it did not send: " << window->messageText().toStdString();
}

TEST_F(Controls, ANewCountKeepsThePinsOfTheDescriptorsThatRemainAndRestoreItsSnapshotCount)
{
    row(QStringLiteral("模拟增益"))->findChild<QToolButton *>()->click();
    row(QStringLiteral("曝光时间1"))->findChild<QToolButton *>()->click();
    ASSERT_EQ(pinnedCount(), 2);
    setCount(3);
    EXPECT_TRUE(row(QStringLiteral("模拟增益"))->findChild<QToolButton *>()->isChecked());
    EXPECT_TRUE(row(QStringLiteral("曝光时间1"))->findChild<QToolButton *>()->isChecked());
    EXPECT_FALSE(row(QStringLiteral("曝光时间2"))->findChild<QToolButton *>()->isChecked());
    EXPECT_EQ(pinnedCount(), 2);
    setCount(0);
    EXPECT_TRUE(row(QStringLiteral("模拟增益"))->findChild<QToolButton *>()->isChecked());
    EXPECT_EQ(pinnedCount(), 1);

    // A snapshot taken with three configurations comes back with three.
    setCount(3);
    typeInto(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>(), QStringLiteral("8"));
    control<QPushButton>("snapshot")->click();
    const QJsonObject atSnapshot = saved(session);
    setCount(1);
    typeInto(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>(), QStringLiteral("2"));
    control<QPushButton>("restore")->click();
    EXPECT_EQ(descriptors(session).size(), 24);
    EXPECT_EQ(saved(session), atSnapshot);
    EXPECT_EQ(row(QStringLiteral("模拟增益"))->findChild<QSpinBox *>()->value(), 8);
}

TEST_F(Controls, RunningFollowsTheCameraAndConfigurationsCountFromOne)
{
    auto *running = control<QCheckBox>("running");
    EXPECT_FALSE(running->isChecked());
    // As --running sets it, after the camera was opened and shown.
    session->setRunning(true);
    EXPECT_TRUE(running->isChecked());
    window->view(kColour)->updateStatus();
    EXPECT_TRUE(window->view(kColour)->statusText().contains(QStringLiteral("running")));

    setCount(3);
    auto *number = control<QSpinBox>("exposureIndex");
    EXPECT_EQ(number->minimum(), 1);
    EXPECT_EQ(number->maximum(), 3);
    number->setValue(1);
    control<QPushButton>("selectExposure")->click();
    EXPECT_EQ(control<ElidedLabel>("exposureStatus")->fullText(), QStringLiteral("Configuration 1 sent (selectExposure status 0)"));
    // The editor's choice shows the same configuration under the same number.
    EXPECT_EQ(row(QStringLiteral("当前曝光配置"))->findChild<QComboBox *>()->currentText(), QStringLiteral("曝光时间1"));
}

TEST_F(Controls, EachRowSaysWhenAnEditTakesEffectAndApplyIsMarkedWhileItWaits)
{
    EXPECT_EQ(row(QStringLiteral("图像的宽度"))->property("takesEffect").toString(), QStringLiteral("kept only"));
    EXPECT_EQ(row(QStringLiteral("模拟增益"))->property("takesEffect").toString(), QStringLiteral("kept only"));
    EXPECT_EQ(row(QStringLiteral("曝光时间1"))->property("takesEffect").toString(), QStringLiteral("Select"));
    QWidget *colourRow = optionRow(QStringLiteral("彩色图像"));
    EXPECT_EQ(colourRow->property("takesEffect").toString(), QStringLiteral("Apply"));
    QCheckBox *colour = colourRow->findChild<QCheckBox *>();
    // The driver's own text asks for a restart; Apply is what it takes.
    EXPECT_FALSE(colour->toolTip().contains(QStringLiteral("重启"))) << colour->toolTip().toStdString();
    EXPECT_TRUE(colour->toolTip().contains(QStringLiteral("Apply")));
    EXPECT_FALSE(window->editor()->findChild<QLabel *>(QStringLiteral("effectLegend"))->isHidden());

    auto *apply = control<QPushButton>("apply");
    EXPECT_EQ(apply->text(), QStringLiteral("Apply"));
    colour->click();
    EXPECT_TRUE(session->applyPending());
    EXPECT_EQ(apply->text(), QStringLiteral("Apply ●"));
    apply->click();
    EXPECT_FALSE(session->applyPending());
    EXPECT_EQ(apply->text(), QStringLiteral("Apply"));
    EXPECT_EQ(session->camera()->channels(), 3);

    // The stored exposure time 0 lies below the camera's range: shown as stored and marked.
    QWidget *exposure = row(QStringLiteral("曝光时间1"));
    auto *spin = exposure->findChild<QDoubleSpinBox *>();
    EXPECT_EQ(spin->value(), 0.0);
    EXPECT_TRUE(exposure->property("outOfRange").toBool());
    EXPECT_TRUE(spin->toolTip().startsWith(QStringLiteral("The stored value 0.00 is outside the range 0.02 … ")))
        << spin->toolTip().toStdString();
    typeInto(spin, QStringLiteral("5"));
    EXPECT_FALSE(exposure->property("outOfRange").toBool());
    EXPECT_FALSE(spin->toolTip().contains(QStringLiteral("outside")));
}

TEST_F(Controls, SaveSettingsIsOfferedOnlyWithACameraOpen)
{
    auto *save = control<QPushButton>("saveSettings");
    QAction *saveAction = nullptr;
    for (QAction *a : window->findChildren<QAction *>())
        if (a->text() == QStringLiteral("&Save settings…"))
            saveAction = a;
    ASSERT_NE(saveAction, nullptr);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(saveAction->isEnabled());
    window->closeCamera(kColour);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(saveAction->isEnabled());
    EXPECT_EQ(save->toolTip(), QStringLiteral("No camera is open: nothing to save"));
    ASSERT_NE(open(kMono), nullptr);
    EXPECT_TRUE(save->isEnabled());
}

namespace {

// The colour camera waits for triggers, as its device is configured to.
class TriggeredControls : public Controls
{
protected:
    QByteArray population() const override
    {
        return Population()
            .add("VD-XG2K-C", "VWCOLOUR0001", [](Population::Device &d) {
                smallColour(d);
                d.triggerMode = 1;
            })
            .json();
    }
};

// Every frame's numbers, as the driver delivers them: the view keeps only the
// newest frame. Runs on the SDK's frame thread.
class FrameNumbers : public QObject
{
    Q_OBJECT
public:
    std::mutex lock;
    std::vector<std::pair<int, int>> seen;
    size_t size()
    {
        std::lock_guard<std::mutex> guard(lock);
        return seen.size();
    }

public slots:
    void onFrame(ImageProcessData d)
    {
        std::lock_guard<std::mutex> guard(lock);
        seen.emplace_back(d.productID, d.captureIndex);
    }
};

} // namespace

TEST_F(TriggeredControls, TheTriggerModeIsShownAndContinuousIsOneActionOffWhileContinuous)
{
    auto *mode = control<QLabel>("triggerMode");
    auto *continuous = control<QPushButton>("continuous");
    EXPECT_EQ(mode->text(), QStringLiteral("Trigger mode: triggered"));
    EXPECT_TRUE(continuous->isEnabled());
    EXPECT_TRUE(continuous->toolTip().contains(QStringLiteral("triggerMode"))) << continuous->toolTip().toStdString();
    continuous->click();
    EXPECT_TRUE(session->continuous());
    EXPECT_EQ(mode->text(), QStringLiteral("Trigger mode: continuous"));
    EXPECT_FALSE(continuous->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return session->sink()->received() > 0; })) << "frames come without triggers";
}

TEST_F(TriggeredControls, SoftTriggersPressedQuicklyEachNumberTheirOwnFrame)
{
    FrameNumbers numbers;
    CameraSlots wiring;
    wiring.frame = "onFrame(ImageProcessData)";
    wiring.frameConnection = Qt::DirectConnection;
    QString error;
    ASSERT_TRUE(connectCamera(session->camera(), &numbers, wiring, error)) << error.toStdString();
    control<QComboBox>("groupingKind")->setCurrentIndex(control<QComboBox>("groupingKind")->findData(32));
    control<QSpinBox>("productsPerCycle")->setValue(3);
    control<QPushButton>("setGrouping")->click();
    control<QCheckBox>("running")->setChecked(true);
    ASSERT_TRUE(session->running());
    control<QSpinBox>("triggerProduct")->setValue(9);
    auto *trigger = control<QPushButton>("softTrigger");
    for (int i = 0; i < 4; ++i)
        trigger->click();
    EXPECT_EQ(control<QSpinBox>("triggerProduct")->value(), 13);
    ASSERT_TRUE(waitUntil([&] { return numbers.size() >= 4 && session->triggersPending() == 0; }));
    {
        std::lock_guard<std::mutex> guard(numbers.lock);
        const std::vector<std::pair<int, int>> expected = {{9, 1}, {10, 1}, {11, 1}, {12, 1}};
        EXPECT_EQ(numbers.seen, expected);
    }
    disconnectCamera(session->camera(), &numbers);
}

TEST_F(Controls, TheWheelChangesAValueOnlyWithFocusAndOtherwiseGoesOnToScrollThePanel)
{
    auto *captures = control<QSpinBox>("capturesPerProduct");
    auto *kind = control<QComboBox>("groupingKind");
    window->controls()->setFocus();
    ASSERT_FALSE(captures->hasFocus());
    EXPECT_FALSE(wheelOver(captures, 2));
    EXPECT_FALSE(wheelOver(kind, -1));
    EXPECT_EQ(captures->value(), 1);
    EXPECT_EQ(kind->currentIndex(), 0);

    captures->setFocus();
    ASSERT_TRUE(captures->hasFocus());
    EXPECT_TRUE(wheelOver(captures, 2));
    EXPECT_EQ(captures->value(), 3);
    kind->setFocus();
    EXPECT_TRUE(wheelOver(kind, -1));
    EXPECT_EQ(kind->currentIndex(), 1);
}

TEST_F(Controls, AnswersOfTheCameraAreShortenedRatherThanWidenThePanel)
{
    window->fitToScreen();  // the offscreen screen: 800 x 600, panels as tabs
    window->findChild<QDockWidget *>(QStringLiteral("controlsDock"))->raise();
    QCoreApplication::processEvents();
    control<QPushButton>("selectExposure")->click();
    QCoreApplication::processEvents();
    auto *answer = control<ElidedLabel>("exposureStatus");
    EXPECT_FALSE(answer->fullText().isEmpty());
    EXPECT_EQ(layoutProblems(window.get()), QStringList());
    // Apply and the settings files are in view whatever the panel scrolls to.
    for (const char *name : {"apply", "saveSettings", "loadSettings"}) {
        QWidget *b = control<QPushButton>(name);
        EXPECT_FALSE(b->visibleRegion().isEmpty()) << name;
    }
}

#include "viewer_controls_test.moc"
