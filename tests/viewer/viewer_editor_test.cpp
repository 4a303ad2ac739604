// The editor generated from the descriptors, and edits through it: on the
// real plug-in, and on a stand-in camera for the kinds and limits the driver
// does not have.

#include "inertcamera.h"
#include "controlspanel.h"
#include "elidedlabel.h"
#include "paramspinboxes.h"
#include "settingsfile.h"
#include "viewerfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QMutex>

using namespace viewertest;

namespace {

QJsonObject readJson(const QString &file)
{
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

class Editor : public ViewerTest
{
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        session = open(kColour);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(window->editor()->session(), session);
        window->setExpertLevel(true);
    }
    QWidget *row(const QString &label)
    {
        const int i = indexOfLabel(descriptors(session), label);
        EXPECT_GE(i, 0) << label.toStdString();
        return window->editor()->rowFor(i);
    }
    CameraSession *session = nullptr;
};

TEST_F(Editor, OneRowPerDescriptorInOrderWithItsKindsEditor)
{
    const QVector<ParamWrap *> list = descriptors(session);
    const QList<QWidget *> rows = window->editor()->rows();
    ASSERT_EQ(rows.size(), list.size());
    ASSERT_EQ(list.size(), 22);
    for (int i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        ParamWrap *p = list[i];
        QWidget *r = rows[i];
        EXPECT_EQ(r->property("paramIndex").toInt(), i);
        EXPECT_EQ(r->property("paramKind").toString(), p->typeName());
        const QString kind = p->typeName();
        if (kind == QLatin1String("SeparateParam")) {
            EXPECT_TRUE(r->findChildren<QAbstractSpinBox *>().isEmpty());
            ASSERT_EQ(r->findChildren<QLabel *>().size(), 1);
            EXPECT_EQ(r->findChild<QLabel *>()->text(), p->label);
            EXPECT_TRUE(r->findChild<QLabel *>()->font().bold());
        } else if (kind == QLatin1String("LineEditCameraParam")) {
            auto *e = static_cast<LineEditCameraParam *>(p);
            if (e->valueType == ParamInt) {
                auto *spin = r->findChild<QSpinBox *>();
                ASSERT_NE(spin, nullptr);
                EXPECT_EQ(spin->value(), *static_cast<qint32 *>(e->value));
                EXPECT_EQ(spin->minimum(), *static_cast<qint32 *>(e->minValue));
                EXPECT_EQ(spin->maximum(), *static_cast<qint32 *>(e->maxValue));
                EXPECT_EQ(spin->singleStep(), *static_cast<qint32 *>(e->stepValue));
                // The description, then when the value reaches the camera.
                EXPECT_TRUE(spin->toolTip().startsWith(p->description)) << spin->toolTip().toStdString();
            } else {
                ASSERT_EQ(e->valueType, ParamFloat);
                auto *spin = r->findChild<QDoubleSpinBox *>();
                ASSERT_NE(spin, nullptr);
                // A stored value below the range (the exposure times start at 0) shows as
                // stored, and the row says it is out of range.
                const float stored = *static_cast<float *>(e->value);
                const float min = *static_cast<float *>(e->minValue);
                EXPECT_FLOAT_EQ(float(spin->value()), stored);
                EXPECT_FLOAT_EQ(float(spin->minimum()), std::min(stored, min));
                EXPECT_EQ(r->property("outOfRange").toBool(), stored < min);
                EXPECT_FLOAT_EQ(float(spin->maximum()), *static_cast<float *>(e->maxValue));
                EXPECT_FLOAT_EQ(float(spin->singleStep()), *static_cast<float *>(e->stepValue));
                // The limits show as they are: the exposure's minimum has two decimals.
                EXPECT_EQ(spin->decimals(), *static_cast<float *>(e->minValue) == 0.0f ? 1 : 2);
            }
            EXPECT_EQ(r->findChild<QLabel *>()->text(), p->label);
        } else if (kind == QLatin1String("CheckBoxParam")) {
            auto *c = static_cast<RadioBoxParam *>(p);
            const QList<QCheckBox *> boxes = r->findChildren<QCheckBox *>();
            ASSERT_EQ(boxes.size(), c->count);
            for (int k = 0; k < c->count; ++k) {
                EXPECT_EQ(boxes[k]->text(), c->names[k]);
                if (c->names[k] != QStringLiteral("彩色图像")) {
                    EXPECT_TRUE(boxes[k]->toolTip().startsWith(c->descriptions[k]));
                }
                EXPECT_EQ(boxes[k]->isChecked(), c->values[k]);
            }
        } else {
            ASSERT_EQ(kind, QStringLiteral("ComboBoxParam"));
            auto *c = static_cast<ComboBoxParam *>(p);
            auto *combo = r->findChild<QComboBox *>();
            ASSERT_NE(combo, nullptr);
            ASSERT_EQ(combo->count(), c->count);
            for (int k = 0; k < c->count; ++k)
                EXPECT_EQ(combo->itemText(k), c->names[k]);
            EXPECT_EQ(combo->currentIndex(), *c->selectedIndex);
            EXPECT_TRUE(combo->toolTip().startsWith(p->description));
        }
    }
    // What a person sees of the driver's list.
    EXPECT_EQ(row(QStringLiteral("图像帧率"))->findChild<QComboBox *>()->itemText(2), QStringLiteral("高速模式"));
    const QList<QCheckBox *> mirror =
        window->editor()->rowFor(indexOfOption(descriptors(session), QStringLiteral("水平镜像")))->findChildren<QCheckBox *>();
    ASSERT_EQ(mirror.size(), 2);
    EXPECT_EQ(mirror[1]->text(), QStringLiteral("垂直镜像"));
}

TEST_F(Editor, LevelFilterShowsLevelsZeroAndOneOrEverything)
{
    const QList<QWidget *> rows = window->editor()->rows();
    const QVector<ParamWrap *> list = descriptors(session);
    window->setExpertLevel(false);
    int shown = 0;
    for (int i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(list[i]->label.toStdString());
        const bool expected = list[i]->paramLevel <= 1
                              // A heading whose whole section is hidden goes with it.
                              && list[i]->label != QStringLiteral("图像尺寸");
        EXPECT_EQ(!rows[i]->isHidden(), expected);
        shown += rows[i]->isHidden() ? 0 : 1;
    }
    EXPECT_EQ(shown, 14);  // "其它设置" and the 13 settings of level 1
    window->setExpertLevel(true);
    for (QWidget *r : rows)
        EXPECT_FALSE(r->isHidden());
}

TEST_F(Editor, AnEditPastTheLimitShowsWhatTheCameraKeptAndIsMarked)
{
    const int gainIndex = indexOfLabel(descriptors(session), QStringLiteral("模拟增益"));
    auto *gainValue = static_cast<qint32 *>(static_cast<LineEditCameraParam *>(descriptors(session)[gainIndex])->value);
    QWidget *gain = window->editor()->rowFor(gainIndex);
    auto *spin = gain->findChild<QSpinBox *>();
    typeInto(spin, QStringLiteral("99"));  // gainMax is 32
    EXPECT_EQ(*gainValue, 32);
    EXPECT_EQ(spin->value(), 32);
    EXPECT_TRUE(gain->property("adjusted").toBool());
    EXPECT_EQ(gain->property("askedValue").toLongLong(), 99);

    // The camera aligns the width to its step of 16 and narrows the range of X to what is left.
    QWidget *width = row(QStringLiteral("图像的宽度"));
    auto *widthSpin = width->findChild<QSpinBox *>();
    typeInto(widthSpin, QStringLiteral("500"));
    EXPECT_EQ(widthSpin->value(), 496);
    EXPECT_EQ(session->camera()->imageSize().width(), 496);
    EXPECT_TRUE(width->property("adjusted").toBool());
    EXPECT_EQ(row(QStringLiteral("X坐标"))->findChild<QSpinBox *>()->maximum(), 512 - 496);
    // An accepted value is not marked.
    QWidget *contrast = row(QStringLiteral("对比度"));
    typeInto(contrast->findChild<QSpinBox *>(), QStringLiteral("120"));
    EXPECT_FALSE(contrast->property("adjusted").toBool());
    // The mark is for a moment.
    EXPECT_TRUE(waitUntil([&] { return !gain->property("adjusted").toBool(); }, ParamEditor::kMarkMs + 2000));
}

TEST_F(Editor, ComboAndCheckBoxEditsReachTheParameterSet)
{
    QWidget *speed = row(QStringLiteral("图像帧率"));
    auto *combo = speed->findChild<QComboBox *>();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);  // 普通模式 -> 高速模式
    EXPECT_EQ(combo->currentIndex(), 2);

    const int colourIndex = indexOfOption(descriptors(session), QStringLiteral("彩色图像"));
    QCheckBox *colour = window->editor()->rowFor(colourIndex)->findChild<QCheckBox *>();
    QTest::mouseClick(colour, Qt::LeftButton, Qt::NoModifier, QPoint(4, colour->height() / 2));
    EXPECT_TRUE(colour->isChecked());

    QJsonObject saved;
    session->camera()->save(saved);
    const QJsonArray wrap = saved.value(QStringLiteral("paramsWrap")).toArray();
    EXPECT_EQ(wrap.at(indexOfLabel(descriptors(session), QStringLiteral("图像帧率"))).toObject().value("selectedIndex").toInt(), 2);
    EXPECT_EQ(wrap.at(colourIndex).toObject().value("values").toArray(), QJsonArray({true}));

    // Apply loads the settings, so the colour choice reaches the device.
    EXPECT_EQ(session->camera()->channels(), 1);
    window->controls()->findChild<QPushButton *>(QStringLiteral("apply"))->click();
    EXPECT_EQ(session->camera()->channels(), 3);
    LiveView *view = window->view(kColour);
    EXPECT_TRUE(waitUntil([&] { return view->lastFrame().image.channels() == 3; }));
}

TEST_F(Editor, SaveAndLoadRoundTripWithThePinInTheJson)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.json"));
    const int gainIndex = indexOfLabel(descriptors(session), QStringLiteral("模拟增益"));
    QWidget *gain = window->editor()->rowFor(gainIndex);
    typeInto(gain->findChild<QSpinBox *>(), QStringLiteral("7"));
    auto *pin = gain->findChild<QToolButton *>();
    ASSERT_NE(pin, nullptr);
    pin->click();
    EXPECT_TRUE(descriptors(session)[gainIndex]->isRunningShow);
    // A pinned parameter stays in the view's run panel, editable there.
    ParamEditor *runPanel = window->view(kColour)->runPanel();
    ASSERT_EQ(runPanel->rows().size(), 1);
    EXPECT_EQ(runPanel->rows()[0]->property("paramIndex").toInt(), gainIndex);
    EXPECT_FALSE(runPanel->parentWidget()->isHidden());

    QString error;
    ASSERT_TRUE(window->saveSettings(file, error)) << error.toStdString();
    const QJsonObject root = readJson(file);
    const QJsonObject entry =
        root["cameras"].toObject()[kColour].toObject()["paramsWrap"].toArray().at(gainIndex).toObject();
    EXPECT_EQ(entry.value("values").toInt(), 7);
    EXPECT_EQ(entry.value("isRunningShow").toBool(), true);

    typeInto(gain->findChild<QSpinBox *>(), QStringLiteral("3"));
    pin->click();
    EXPECT_TRUE(runPanel->rows().isEmpty());
    ASSERT_TRUE(window->loadSettings(file, error)) << error.toStdString();
    EXPECT_EQ(gain->findChild<QSpinBox *>()->value(), 7);
    EXPECT_TRUE(pin->isChecked());
    ASSERT_EQ(runPanel->rows().size(), 1);
    EXPECT_EQ(runPanel->rows()[0]->findChild<QSpinBox *>()->value(), 7);

    // An edit in the run panel reaches the editor too.
    typeInto(runPanel->rows()[0]->findChild<QSpinBox *>(), QStringLiteral("9"));
    EXPECT_EQ(gain->findChild<QSpinBox *>()->value(), 9);

    // A bad file is refused with its reason, and nothing changes.
    QFile bad(dir.filePath(QStringLiteral("bad.json")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{\"paramsWrap\": [");
    bad.close();
    EXPECT_FALSE(window->loadSettings(bad.fileName(), error));
    EXPECT_TRUE(error.contains(QStringLiteral("not valid JSON"))) << error.toStdString();
    EXPECT_EQ(gain->findChild<QSpinBox *>()->value(), 9);
}

TEST_F(Editor, ChangingTheExposureConfigurationCountRebuildsTheEditor)
{
    ControlsPanel *controls = window->controls();
    controls->findChild<QSpinBox *>(QStringLiteral("configCount"))->setValue(3);
    controls->findChild<QPushButton *>(QStringLiteral("setConfigCount"))->click();
    const QVector<ParamWrap *> list = descriptors(session);
    ASSERT_EQ(list.size(), 24);
    const QList<QWidget *> rows = window->editor()->rows();
    ASSERT_EQ(rows.size(), 24);
    EXPECT_EQ(rows[14]->findChild<QLabel *>()->text(), QStringLiteral("曝光时间3"));
    EXPECT_EQ(row(QStringLiteral("当前曝光配置"))->findChild<QComboBox *>()->count(), 3);
    // Edits go through the new descriptors.
    QWidget *third = rows[14];
    auto *spin = third->findChild<QDoubleSpinBox *>();
    typeInto(spin, QStringLiteral("12.5"));
    EXPECT_FLOAT_EQ(*static_cast<float *>(static_cast<LineEditCameraParam *>(list[14])->value), 12.5f);
    // Numbered from 1, as the editor's labels.
    controls->findChild<QSpinBox *>(QStringLiteral("exposureIndex"))->setValue(3);
    controls->findChild<QPushButton *>(QStringLiteral("selectExposure"))->click();
    EXPECT_TRUE(controls->findChild<ElidedLabel *>(QStringLiteral("exposureStatus"))->fullText().contains(QStringLiteral("status 0")));
    EXPECT_EQ(row(QStringLiteral("当前曝光配置"))->findChild<QComboBox *>()->currentIndex(), 2);
}

// ----------------------------------------------------------- stand-in camera

namespace {

// A camera of a host's own making, for kinds and limits the driver lacks:
// a radio row, text, a flag, a double, a value type without editor, and a
// camera limit narrower than the descriptor's range.
class StandInCamera : public InertCamera
{
public:
    StandInCamera()
    {
        params = {new SeparateParam(QStringLiteral("Head"), QString(), false, false),
                  new LineEditCameraParam(QStringLiteral("Count"), QStringLiteral("count tip"), false, false, 1,
                                          &count, ParamInt, &countMin, &countMax, &countStep),
                  new LineEditCameraParam(QStringLiteral("Flag"), QString(), false, false, 1, &flag, ParamBool,
                                          nullptr, nullptr, nullptr),
                  new LineEditCameraParam(QStringLiteral("Name"), QString(), false, false, 1, &name, ParamString,
                                          nullptr, nullptr, nullptr),
                  new LineEditCameraParam(QStringLiteral("Ratio"), QString(), false, false, 1, &ratio, ParamDouble,
                                          &ratioMin, &ratioMax, &ratioStep),
                  new RadioBoxParam(QStringLiteral("Mode"), QString(), false, false, 1, modes, 3, modeNames,
                                    modeDescs),
                  new LineEditCameraParam(QStringLiteral("Odd"), QString(), false, false, 1, &count, 9, nullptr,
                                          nullptr, nullptr)};
    }
    ~StandInCamera() override { qDeleteAll(params); }

    QString pluginIID() override { return QStringLiteral("stand-in"); }
    QString pluginName() override { return QStringLiteral("stand-in"); }
    QVector<ParamWrap *> *pluginParams() override { return &params; }
    QString cameraSerial() override { return QStringLiteral("STANDIN00001"); }
    void paramsChanged() override
    {
        ++changes;
        offThread = offThread || QThread::currentThread() != QCoreApplication::instance()->thread();
        count = qMin(count, 100);  // the camera's own limit
    }
    CameraInterface *createCamera(int, QString, int) override { return new StandInCamera; }
    QVector<QString> enumerateCameras(int &n) override
    {
        n = 1;
        return {QStringLiteral("STANDIN00001")};
    }
    bool hostQueryFlag1() override { return false; }
    int hostQueryCode() override { return 0; }
    bool isContinueCapture() override { return true; }

    QVector<ParamWrap *> params;
    qint32 count = 5, countMin = 0, countMax = 1000, countStep = 5;
    bool flag = false;
    QString name = QStringLiteral("first");
    double ratio = 0.5, ratioMin = 0.0, ratioMax = 1.0, ratioStep = 0.01;
    bool modes[3] = {true, false, false};
    QString modeNames[3] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    QString modeDescs[3] = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    int changes = 0;
    bool offThread = false;
};

} // namespace

TEST(EditorStandIn, KindsAndLimitsTheDriverDoesNotHave)
{
    StandInCamera factory;
    QString error;
    std::unique_ptr<CameraSession> session =
        CameraSession::open(&factory, 0, QStringLiteral("STANDIN00001"), QJsonObject(), LinkKeeper::Policy(), error);
    ASSERT_NE(session, nullptr) << error.toStdString();
    auto *cam = static_cast<StandInCamera *>(session->camera());
    ParamEditor editor(ParamEditor::Mode::Full);
    editor.setLevel(ParamEditor::Level::Expert);
    editor.setSession(session.get());
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const QList<QWidget *> rows = editor.rows();
    ASSERT_EQ(rows.size(), 7);

    // The camera keeps less than the descriptor's range allows: what it kept shows, marked.
    auto *count = rows[1]->findChild<QSpinBox *>();
    EXPECT_EQ(count->singleStep(), 5);
    typeInto(count, QStringLiteral("500"));
    EXPECT_EQ(cam->count, 100);
    EXPECT_EQ(count->value(), 100);
    EXPECT_TRUE(rows[1]->property("adjusted").toBool());
    EXPECT_EQ(cam->changes, 1);

    // A flag is a check box, text a line edit, a double a spin box of its step's decimals.
    auto *flag = rows[2]->findChild<QCheckBox *>();
    ASSERT_NE(flag, nullptr);
    flag->click();
    EXPECT_TRUE(cam->flag);
    auto *name = rows[3]->findChild<QLineEdit *>();
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("first"));
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("second"));
    QTest::keyClick(name, Qt::Key_Enter);
    EXPECT_EQ(cam->name, QStringLiteral("second"));
    auto *ratio = rows[4]->findChild<QDoubleSpinBox *>();
    ASSERT_NE(ratio, nullptr);
    EXPECT_EQ(ratio->decimals(), 2);
    typeInto(ratio, QStringLiteral("0.25"));
    EXPECT_DOUBLE_EQ(cam->ratio, 0.25);

    // A radio row: one option at a time.
    const QList<QRadioButton *> modes = rows[5]->findChildren<QRadioButton *>();
    ASSERT_EQ(modes.size(), 3);
    EXPECT_EQ(modes[2]->text(), QStringLiteral("C"));
    EXPECT_EQ(modes[2]->toolTip(), QStringLiteral("c"));
    EXPECT_TRUE(modes[0]->isChecked());
    modes[2]->click();
    EXPECT_FALSE(cam->modes[0]);
    EXPECT_FALSE(cam->modes[1]);
    EXPECT_TRUE(cam->modes[2]);

    // A value type without an editor is shown, not edited.
    EXPECT_TRUE(rows[6]->findChildren<QAbstractSpinBox *>().isEmpty());
    EXPECT_EQ(cam->changes, 5);
    EXPECT_FALSE(cam->offThread);
}

namespace {

// Pixels of a picture that are the editor's red for an out-of-range value.
int redPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 150 && c.green() < 90 && c.blue() < 90;
        }
    return n;
}

} // namespace

TEST(EditorStandIn, AnOutOfRangeFieldIsRedWhileEditableAndLooksLikeAnyDisabledFieldWhileTheLinkIsLost)
{
    StandInCamera factory;
    QString error;
    std::unique_ptr<CameraSession> session =
        CameraSession::open(&factory, 0, QStringLiteral("STANDIN00001"), QJsonObject(), LinkKeeper::Policy(), error);
    ASSERT_NE(session, nullptr) << error.toStdString();
    auto *cam = static_cast<StandInCamera *>(session->camera());
    ParamEditor editor(ParamEditor::Mode::Full);
    editor.setSession(session.get());
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    auto *count = editor.rows()[1]->findChild<QSpinBox *>();
    ASSERT_NE(count, nullptr);

    cam->count = 5000;  // outside 0 ... 1000, as stored
    editor.refresh();
    ASSERT_TRUE(editor.rows()[1]->property("outOfRange").toBool());
    EXPECT_GT(redPixels(count->grab().toImage()), 0) << "an out-of-range value not shown in red";

    session->onLoss();
    QCoreApplication::processEvents();
    ASSERT_FALSE(count->isEnabled());
    const QImage outside = count->grab().toImage();
    EXPECT_EQ(redPixels(outside), 0) << "a disabled field drawn in the enabled field's red";
    // Inside the range, the same disabled field: the same background.
    cam->count = 500;
    editor.refresh();
    ASSERT_FALSE(editor.rows()[1]->property("outOfRange").toBool());
    const QImage inside = count->grab().toImage();
    ASSERT_EQ(inside.size(), outside.size());
    const QPoint background(4, outside.height() / 2);
    EXPECT_EQ(outside.pixelColor(background), inside.pixelColor(background));
}

TEST(RealSpinText, TheRangesDecimalsLessTheTrailingZerosPastTheFirst)
{
    RealSpin spin;
    spin.setRange(0, 100000);
    spin.setDecimals(4);
    const std::pair<double, QString> shown[] = {
        {0.05, QStringLiteral("0.05")}, {0.0075, QStringLiteral("0.0075")}, {50, QStringLiteral("50.0")},
        {0, QStringLiteral("0.0")},     {12345.5, QStringLiteral("12345.5")}, {10, QStringLiteral("10.0")},
    };
    for (const auto &[value, text] : shown) {
        spin.setValue(value);
        EXPECT_EQ(spin.text(), text) << value;
    }
    spin.setDecimals(0);
    spin.setValue(40);
    EXPECT_EQ(spin.text(), QStringLiteral("40"));
}
