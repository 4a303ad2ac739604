// The host contract: virtual slot order, the records' defaults and the
// product numbering of getProductID.

#include "camerainterface.h"
#include "camerabase.h"
#include "inertcamera.h"
#include "logcapture.h"
#include "paramwrap.h"
#include "vtableslot.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QMutex>
#include <QThread>

#include <gtest/gtest.h>

#include <ostream>
#include <type_traits>

namespace {

// Only the inline numbering, the defaults and the vtable layout are under
// test: every operation is inert.
class TestCamera : public InertCamera
{
public:
    // QObject's last virtual operation; the contract's operations follow it.
    static std::ptrdiff_t lastQObjectSlot() { return vtableSlot(&TestCamera::disconnectNotify); }
};

struct Numbers {
    int product;
    int capture;
    int cycle;
    bool operator==(const Numbers &o) const
    {
        return product == o.product && capture == o.capture && cycle == o.cycle;
    }
};

void PrintTo(const Numbers &n, std::ostream *os)
{
    *os << "(" << n.product << "," << n.capture << "," << n.cycle << ")";
}

Numbers frame(TestCamera &cam, CameraTrigParams &params, int cameraIndex = 0)
{
    Numbers n{-99, -99, -99};
    cam.getProductID(cameraIndex, &params, n.product, n.capture, n.cycle);
    return n;
}

// What softTrigger does to the counters in the host-numbered kind.
void presetNumbers(TestCamera &cam, const CameraTrigParams &params, int productNumber, int captureNumber)
{
    cam.productId = productNumber;
    cam.productFrame = captureNumber;
    const int rest = productNumber % params.productsPerCycle;
    cam.productCycle = rest == 0 ? params.productsPerCycle : rest;
}

// Waits, with a deadline, until the clock started at a group's opener is
// far beyond the time-out.
void waitUntilLate(const QElapsedTimer &sinceOpener, qint64 lateMs)
{
    while (sinceOpener.elapsed() <= lateMs)
        QThread::msleep(10);
}

void expectWarning(const CapturedMessage &m, const QString &text)
{
    EXPECT_EQ(m.type, QtWarningMsg);
    EXPECT_EQ(m.text, text);
    EXPECT_TRUE(m.function.contains(QLatin1String("CameraInterface::getProductID"))) << m.function.toStdString();
    EXPECT_EQ(m.file, QStringLiteral("Interfaces/camerainterface.h"));
}

constexpr int kTimeoutMs = 400;
constexpr qint64 kLateMs = 800;

} // namespace

// ---------------------------------------------------------------- numbering

TEST(Numbering, ExampleRowsWithoutTimeout)
{
    struct Row {
        int capturesPerProduct;
        int productsPerCycle;
        Numbers frames[6];
    };
    const Row rows[] = {
        {1, 1, {{1, 1, 1}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}, {5, 1, 1}, {6, 1, 1}}},
        {3, 1, {{1, 1, 1}, {1, 2, 1}, {1, 3, 1}, {2, 1, 1}, {2, 2, 1}, {2, 3, 1}}},
        {2, 2, {{1, 1, 1}, {1, 2, 1}, {2, 1, 2}, {2, 2, 2}, {3, 1, 1}, {3, 2, 1}}},
        {1, 3, {{1, 1, 1}, {2, 1, 2}, {3, 1, 3}, {4, 1, 1}, {5, 1, 2}, {6, 1, 3}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "captures " << row.capturesPerProduct << ", products "
                                        << row.productsPerCycle);
        TestCamera cam;
        cam.isRunning = true;
        CameraTrigParams params;
        params.trigKind = 1;
        params.capturesPerProduct = row.capturesPerProduct;
        params.productsPerCycle = row.productsPerCycle;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(frame(cam, params), row.frames[i]) << "frame " << i + 1;
    }
}

TEST(Numbering, GroupSizesOfZeroOrLessBehaveLikeOne)
{
    for (int size : {0, -2}) {
        SCOPED_TRACE(size);
        TestCamera cam;
        cam.isRunning = true;
        CameraTrigParams params;
        params.capturesPerProduct = size;
        params.productsPerCycle = size;
        for (int i = 1; i <= 3; ++i)
            EXPECT_EQ(frame(cam, params), (Numbers{i, 1, 1}));
    }
}

TEST(Numbering, NotRunningGivesZeroOneOneAndKeepsCounters)
{
    TestCamera cam;
    CameraTrigParams params;
    params.capturesPerProduct = 3;
    params.productsPerCycle = 3;
    params.cycleTimeout = kTimeoutMs;
    cam.productId = 5;
    cam.productFrame = 2;
    cam.productCycle = 3;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frame(cam, params), (Numbers{0, 1, 1}));
    EXPECT_EQ(cam.productId, 5);
    EXPECT_EQ(cam.productFrame, 2);
    EXPECT_EQ(cam.productCycle, 3);
    EXPECT_FALSE(cam.cycleTimer.isValid());

    cam.isRunning = true;
    EXPECT_EQ(frame(cam, params), (Numbers{5, 3, 3}));
}

TEST(Numbering, HostNumberedKindFrozenWithoutAutoCount)
{
    for (int autoCount : {0, -1}) {
        for (int productsPerCycle : {3, 7}) {
            SCOPED_TRACE(testing::Message() << "autoCount " << autoCount << ", products " << productsPerCycle);
            TestCamera cam;
            cam.isRunning = true;
            CameraTrigParams params;
            params.trigKind = 32;
            params.autoCount = autoCount;
            params.capturesPerProduct = 4;
            params.productsPerCycle = productsPerCycle;
            params.cycleTimeout = kTimeoutMs;
            presetNumbers(cam, params, 7, 2);
            const Numbers expected{7, 2, productsPerCycle == 3 ? 1 : 7};
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(frame(cam, params), expected) << "frame " << i + 1;
            EXPECT_EQ(cam.productId, 7);
            EXPECT_EQ(cam.productFrame, 2);
            EXPECT_FALSE(cam.cycleTimer.isValid());
        }
    }
}

TEST(Numbering, HostNumberedKindCountsOnWithAutoCount)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.trigKind = 32;
    params.autoCount = 1;
    params.capturesPerProduct = 4;
    params.productsPerCycle = 3;
    presetNumbers(cam, params, 7, 2);
    EXPECT_EQ(frame(cam, params), (Numbers{7, 3, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{7, 4, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{8, 1, 2}));

    // Capture number 0 makes the next frame open the following product.
    presetNumbers(cam, params, 9, 0);
    EXPECT_EQ(frame(cam, params), (Numbers{10, 1, 1}));
}

TEST(NumberingTimeout, LateCaptureOpensNewProduct)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.capturesPerProduct = 3;
    params.cycleTimeout = kTimeoutMs;
    LogCapture log;

    EXPECT_EQ(frame(cam, params), (Numbers{1, 1, 1}));
    QElapsedTimer sinceOpener;
    sinceOpener.start();
    EXPECT_EQ(frame(cam, params), (Numbers{1, 2, 1}));
    EXPECT_TRUE(log.messages().isEmpty());

    waitUntilLate(sinceOpener, kLateMs);
    EXPECT_EQ(frame(cam, params), (Numbers{2, 1, 1}));
    const QList<CapturedMessage> messages = log.messages();
    ASSERT_EQ(messages.size(), 1);
    expectWarning(messages[0], QStringLiteral("Camera 0 cycle capture timeout with product 1 cycle 3"));

    // The time-out restarted the clock: the next frame is on time.
    EXPECT_EQ(frame(cam, params), (Numbers{2, 2, 1}));
    EXPECT_EQ(log.messages().size(), 1);
}

TEST(NumberingTimeout, LateProductOpensNewCycle)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.capturesPerProduct = 1;
    params.productsPerCycle = 3;
    params.cycleTimeout = kTimeoutMs;
    LogCapture log;

    EXPECT_EQ(frame(cam, params, 4), (Numbers{1, 1, 1}));
    QElapsedTimer sinceOpener;
    sinceOpener.start();
    EXPECT_EQ(frame(cam, params, 4), (Numbers{2, 1, 2}));
    EXPECT_TRUE(log.messages().isEmpty());

    waitUntilLate(sinceOpener, kLateMs);
    EXPECT_EQ(frame(cam, params, 4), (Numbers{3, 1, 1}));
    const QList<CapturedMessage> messages = log.messages();
    ASSERT_EQ(messages.size(), 1);
    expectWarning(messages[0], QStringLiteral("Camera 4 cycle product timeout with product 3 cycle 3"));
}

TEST(NumberingTimeout, LateFrameEndsProductAndCycle)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.capturesPerProduct = 2;
    params.productsPerCycle = 2;
    params.cycleTimeout = kTimeoutMs;
    LogCapture log;

    EXPECT_EQ(frame(cam, params), (Numbers{1, 1, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{1, 2, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{2, 1, 2}));
    QElapsedTimer sinceOpener;
    sinceOpener.start();
    EXPECT_TRUE(log.messages().isEmpty());

    waitUntilLate(sinceOpener, kLateMs);
    EXPECT_EQ(frame(cam, params), (Numbers{3, 1, 1}));
    const QList<CapturedMessage> messages = log.messages();
    ASSERT_EQ(messages.size(), 2);
    expectWarning(messages[0], QStringLiteral("Camera 0 cycle capture timeout with product 2 cycle 2"));
    expectWarning(messages[1], QStringLiteral("Camera 0 cycle product timeout with product 3 cycle 2"));
}

TEST(NumberingTimeout, SingleFrameGroupsNeverWarn)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.cycleTimeout = kTimeoutMs;
    LogCapture log;
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(frame(cam, params), (Numbers{i, 1, 1}));
    EXPECT_TRUE(log.messages().isEmpty());
}

// The clock restarts at every product's opener, not only the first: a
// product opened long after the first one is on time.
TEST(NumberingTimeout, EveryOpenerRestartsTheClock)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.capturesPerProduct = 2;
    params.cycleTimeout = kTimeoutMs;
    LogCapture log;

    QElapsedTimer sinceFirst;
    sinceFirst.start();
    EXPECT_EQ(frame(cam, params), (Numbers{1, 1, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{1, 2, 1}));
    waitUntilLate(sinceFirst, kLateMs);
    EXPECT_EQ(frame(cam, params), (Numbers{2, 1, 1}));
    EXPECT_EQ(frame(cam, params), (Numbers{2, 2, 1}));
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST(NumberingTimeout, ZeroOrNegativeSwitchesItOffForFramesReallySpaced)
{
    for (int timeout : {0, -1}) {
        TestCamera cam;
        cam.isRunning = true;
        CameraTrigParams params;
        params.capturesPerProduct = 2;
        params.productsPerCycle = 2;
        params.cycleTimeout = timeout;
        LogCapture log;
        const Numbers expected[] = {{1, 1, 1}, {1, 2, 1}, {2, 1, 2}, {2, 2, 2}};
        for (const Numbers &n : expected) {
            QElapsedTimer gap;
            gap.start();
            waitUntilLate(gap, 60);
            EXPECT_EQ(frame(cam, params), n) << "time-out " << timeout;
        }
        EXPECT_TRUE(log.messages().isEmpty()) << "time-out " << timeout;
    }
}

// After a preset the next frame may be no opener, with a clock that never
// ran: that is not a time-out.
TEST(NumberingTimeout, ANeverStartedClockHasNotRunOut)
{
    TestCamera cam;
    cam.isRunning = true;
    CameraTrigParams params;
    params.trigKind = 32;
    params.autoCount = 1;
    params.capturesPerProduct = 4;
    params.cycleTimeout = 100;
    LogCapture log;
    presetNumbers(cam, params, 7, 2);
    ASSERT_FALSE(cam.cycleTimer.isValid());
    EXPECT_EQ(frame(cam, params), (Numbers{7, 3, 1}));
    EXPECT_TRUE(log.messages().isEmpty());
}

// --------------------------------------------------------- slot order

TEST(ContractSlots, SerializeInterface)
{
    // Itanium places the two destructor entries first.
    EXPECT_EQ(vtableSlot(&SerializeInterface::load), 2);
    EXPECT_EQ(vtableSlot(&SerializeInterface::save), 3);
    EXPECT_TRUE(std::has_virtual_destructor<SerializeInterface>::value);
}

TEST(ContractSlots, PluginInterface)
{
    EXPECT_EQ(vtableSlot(&PluginInterface::load), 2);
    EXPECT_EQ(vtableSlot(&PluginInterface::save), 3);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginIID), 4);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginName), 5);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginVersion), 6);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginDescription), 7);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginIcon), 8);
    EXPECT_EQ(vtableSlot(&PluginInterface::pluginParams), 9);
    EXPECT_EQ(vtableSlot(&PluginInterface::hostQueryFlag5), 10);
    EXPECT_EQ(vtableSlot(&PluginInterface::hostQueryValue), 11);
}

TEST(ContractSlots, CameraInterfaceFollowsQObjectInOrder)
{
    const std::ptrdiff_t order[] = {
        vtableSlot(&CameraInterface::cameraSerial),
        vtableSlot(&CameraInterface::paramsChanged),
        vtableSlot(&CameraInterface::imageSize),
        vtableSlot(&CameraInterface::channels),
        vtableSlot(&CameraInterface::softTrigger),
        vtableSlot(&CameraInterface::createCamera),
        vtableSlot(&CameraInterface::enumerateCameras),
        vtableSlot(&CameraInterface::hostQueryFlag1),
        vtableSlot(&CameraInterface::hostQueryCode),
        vtableSlot(&CameraInterface::setTrigParams),
        vtableSlot(&CameraInterface::setContinueCapture),
        vtableSlot(&CameraInterface::isContinueCapture),
        vtableSlot(&CameraInterface::saveSnapshot),
        vtableSlot(&CameraInterface::restoreSnapshot),
        vtableSlot(&CameraInterface::setExposureConfigCount),
        vtableSlot(&CameraInterface::hostQueryFlag2),
        vtableSlot(&CameraInterface::hostQueryFlag3),
        vtableSlot(&CameraInterface::frameMutex),
        vtableSlot(&CameraInterface::blankImage),
        vtableSlot(&CameraInterface::hostNotify1),
        vtableSlot(&CameraInterface::closeCamera),
        vtableSlot(&CameraInterface::restartCamera),
        vtableSlot(&CameraInterface::hostQueryFlag4),
        vtableSlot(&CameraInterface::hostQueryList),
        vtableSlot(&CameraInterface::selectExposure),
        vtableSlot(&CameraInterface::hostNotify2),
        vtableSlot(&CameraInterface::hostQueryReal),
    };
    // No virtual of its own between QObject's and the first operation.
    EXPECT_EQ(order[0], TestCamera::lastQObjectSlot() + 1);
    for (std::size_t i = 1; i < sizeof order / sizeof order[0]; ++i)
        EXPECT_EQ(order[i], order[i - 1] + 1) << "operation " << i;
}

TEST(ContractSlots, ParamWrapKinds)
{
    EXPECT_EQ(vtableSlot(&ParamWrap::typeName), 2);
    EXPECT_EQ(vtableSlot(&ParamWrap::queryFlag), 3);
    EXPECT_EQ(vtableSlot(&ParamWrap::fromJson), 4);
    EXPECT_EQ(vtableSlot(&ParamWrap::toJson), 5);
    EXPECT_EQ(vtableSlot(&SeparateParam::typeName), 2);
    EXPECT_EQ(vtableSlot(&LineEditCameraParam::typeName), 2);
    EXPECT_EQ(vtableSlot(&LineEditCameraParam::fromJson), 4);
    EXPECT_EQ(vtableSlot(&LineEditCameraParam::toJson), 5);
    EXPECT_EQ(vtableSlot(&RadioBoxParam::typeName), 2);
    EXPECT_EQ(vtableSlot(&RadioBoxParam::fromJson), 4);
    EXPECT_EQ(vtableSlot(&RadioBoxParam::toJson), 5);
    EXPECT_EQ(vtableSlot(&CheckBoxParam::typeName), 2);
    EXPECT_EQ(vtableSlot(&ComboBoxParam::typeName), 2);
    EXPECT_EQ(vtableSlot(&ComboBoxParam::fromJson), 4);
    EXPECT_EQ(vtableSlot(&ComboBoxParam::toJson), 5);
    EXPECT_TRUE(std::has_virtual_destructor<ParamWrap>::value);
}

TEST(ContractSlots, CameraBaseHasNoVirtualDestructor)
{
    EXPECT_EQ(vtableSlot(&CameraBase::loadParams), 0);
    EXPECT_EQ(vtableSlot(&CameraBase::saveParams), 1);
    EXPECT_EQ(vtableSlot(&CameraBase::buildParams), 2);
    EXPECT_FALSE(std::has_virtual_destructor<CameraBase>::value);
}

// ------------------------------------------------ interface and records

TEST(CameraInterfaceContract, MetaObjectHasExactlyTheThreeSignals)
{
    const QMetaObject &mo = CameraInterface::staticMetaObject;
    EXPECT_STREQ(mo.className(), "CameraInterface");
    ASSERT_EQ(mo.methodCount() - mo.methodOffset(), 3);
    const QMetaMethod captured = mo.method(mo.methodOffset());
    EXPECT_EQ(captured.methodSignature(), QByteArray("captureCompleted(ImageProcessData)"));
    EXPECT_EQ(captured.methodType(), QMetaMethod::Signal);
    EXPECT_EQ(captured.parameterNames(), QList<QByteArray>{QByteArray("data")});
    EXPECT_EQ(mo.method(mo.methodOffset() + 1).methodSignature(), QByteArray("CameraLoss()"));
    EXPECT_EQ(mo.method(mo.methodOffset() + 2).methodSignature(), QByteArray("CameraReconnect()"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mo.method(mo.methodOffset() + i).methodType(), QMetaMethod::Signal);
        EXPECT_EQ(mo.method(mo.methodOffset() + i).access(), QMetaMethod::Public);
    }
    EXPECT_EQ(mo.propertyCount(), mo.propertyOffset());
    EXPECT_EQ(mo.enumeratorCount(), mo.enumeratorOffset());
    EXPECT_EQ(mo.classInfoCount(), mo.classInfoOffset());
    EXPECT_STREQ(qobject_interface_iid<CameraInterface *>(), "com.kvr.quorvane.camerainterface");
}

TEST(CameraInterfaceContract, InitialMembersAndDefaultOperations)
{
    TestCamera cam;
    EXPECT_EQ(cam.parent(), nullptr);
    EXPECT_FALSE(cam.isRunning);
    EXPECT_EQ(cam.productId, 0);
    EXPECT_EQ(cam.productFrame, 0);
    EXPECT_EQ(cam.productCycle, 0);
    EXPECT_EQ(cam.reservedCount, 0);
    EXPECT_FALSE(cam.triggerCallback);
    EXPECT_FALSE(cam.cycleTimer.isValid());
    EXPECT_TRUE(cam.lastFrameTime.isValid());
    EXPECT_TRUE(cam.createdTime.isValid());

    CameraInterface &iface = cam;
    EXPECT_FALSE(iface.hostQueryFlag3());
    EXPECT_TRUE(iface.hostQueryFlag4());
    EXPECT_TRUE(iface.hostQueryList().isEmpty());
    EXPECT_EQ(iface.selectExposure(3), 0);
    EXPECT_EQ(iface.hostQueryReal(), 0.0);
}

TEST(ImageProcessDataRecord, Defaults)
{
    const ImageProcessData d;
    EXPECT_FALSE(d.hostFlag1);
    EXPECT_FALSE(d.hostFlag2);
    EXPECT_TRUE(d.captureTime.isNull());
    EXPECT_TRUE(d.hostTime.isNull());
    EXPECT_EQ(d.cameraIndex, 0);
    EXPECT_EQ(d.productID, -1);
    EXPECT_EQ(d.captureIndex, 1);
    EXPECT_EQ(d.productCycleIndex, 1);
    EXPECT_TRUE(d.image.empty());
    EXPECT_EQ(d.hostValue1, 0);
    EXPECT_EQ(d.hostValue2, 0);
    EXPECT_EQ(d.hostValue3, 0);
    EXPECT_TRUE(d.hostItems1.isEmpty());
    EXPECT_TRUE(d.hostResults.isEmpty());
    EXPECT_EQ(d.hostValue4, 0);
    EXPECT_TRUE(d.hostText1.isEmpty());
    EXPECT_FALSE(d.hostText1.isNull());
    EXPECT_TRUE(d.hostText2.isNull());
    EXPECT_TRUE(d.hostItems2.isEmpty());
}

TEST(ImageProcessDataRecord, CopySharesPixelsAndKeepsNumbers)
{
    ImageProcessData d;
    d.captureTime = QDateTime::fromMSecsSinceEpoch(123456);
    d.cameraIndex = 2;
    d.productID = 5;
    d.captureIndex = 3;
    d.productCycleIndex = 4;
    d.image = cv::Mat::zeros(4, 6, CV_8UC3);

    ImageProcessData copy = d;
    EXPECT_EQ(copy.captureTime, d.captureTime);
    EXPECT_EQ(copy.cameraIndex, 2);
    EXPECT_EQ(copy.productID, 5);
    EXPECT_EQ(copy.captureIndex, 3);
    EXPECT_EQ(copy.productCycleIndex, 4);
    EXPECT_EQ(copy.image.data, d.image.data);
    ASSERT_NE(d.image.u, nullptr);
    EXPECT_EQ(d.image.u->refcount, 2);
    copy.image.at<cv::Vec3b>(1, 2) = cv::Vec3b(7, 8, 9);
    EXPECT_EQ(d.image.at<cv::Vec3b>(1, 2), cv::Vec3b(7, 8, 9));
    EXPECT_FALSE(copy.hostText1.isNull());
    EXPECT_TRUE(copy.hostText2.isNull());

    copy = ImageProcessData();
    EXPECT_EQ(d.image.u->refcount, 1);
}

TEST(CameraTrigParamsRecord, Defaults)
{
    EXPECT_TRUE(std::has_virtual_destructor<CameraTrigParams>::value);
    const CameraTrigParams p;
    EXPECT_EQ(p.trigKind, 4);
    EXPECT_EQ(p.trigValue2, 0);
    EXPECT_EQ(p.trigValue3, 0);
    EXPECT_EQ(p.trigValue4, 0);
    EXPECT_EQ(p.trigValue5, 1);
    EXPECT_EQ(p.capturesPerProduct, 1);
    EXPECT_EQ(p.trigValue7, 0);
    EXPECT_EQ(p.productsPerCycle, 1);
    EXPECT_EQ(p.cycleTimeout, 0);
    EXPECT_EQ(p.autoCount, 0);
    EXPECT_EQ(p.trigValue11, 1);
    EXPECT_TRUE(p.extraParams.isEmpty());
}

// ------------------------------------------------------------ member order

// A host compiled against the contract reads these members directly, so
// their order is part of it: each must lie after the one before.
namespace {

struct Field {
    const char *name;
    std::ptrdiff_t offset;
};

template <typename T, typename M>
Field fieldOf(const T &object, const M &member, const char *name)
{
    return {name, reinterpret_cast<const char *>(&member) - reinterpret_cast<const char *>(&object)};
}

#define AT(object, member) fieldOf(object, (object).member, #member)

void expectRising(const char *record, std::initializer_list<Field> fields)
{
    const Field *previous = nullptr;
    for (const Field &f : fields) {
        if (previous) {
            EXPECT_GT(f.offset, previous->offset)
                << record << ": " << f.name << " must follow " << previous->name;
        }
        previous = &f;
    }
}

} // namespace

TEST(MemberOrder, ImageProcessDataAndCameraTrigParams)
{
    const ImageProcessData d;
    expectRising("ImageProcessData",
                 {AT(d, hostFlag1), AT(d, hostFlag2), AT(d, captureTime), AT(d, hostTime), AT(d, hostValue0),
                  AT(d, cameraIndex), AT(d, productID), AT(d, captureIndex), AT(d, productCycleIndex), AT(d, image),
                  AT(d, hostValue1), AT(d, hostValue2), AT(d, hostValue3), AT(d, hostFlag3), AT(d, hostFlag4),
                  AT(d, hostItems1), AT(d, hostResults), AT(d, hostValue4), AT(d, hostText1), AT(d, hostText2),
                  AT(d, hostItems2)});
    const CameraTrigParams t;
    expectRising("CameraTrigParams",
                 {AT(t, trigKind), AT(t, trigValue2), AT(t, trigValue3), AT(t, trigValue4), AT(t, trigValue5),
                  AT(t, capturesPerProduct), AT(t, trigValue7), AT(t, productsPerCycle), AT(t, cycleTimeout),
                  AT(t, autoCount), AT(t, trigValue11), AT(t, extraParams)});
    TestCamera c;
    expectRising("CameraInterface",
                 {AT(c, isRunning), AT(c, productId), AT(c, productFrame), AT(c, productCycle), AT(c, reservedCount),
                  AT(c, triggerCallback), AT(c, lastFrameTime), AT(c, cycleTimer), AT(c, createdTime)});
}

TEST(MemberOrder, DescriptorKinds)
{
    int i = 0;
    bool b = false;
    QString names[1];
    LineEditCameraParam line(QString(), QString(), false, false, 1, &i, 1, &i, &i, &i);
    expectRising("LineEditCameraParam",
                 {AT(line, label), AT(line, description), AT(line, imageSizeFlag), AT(line, paramLevel),
                  AT(line, isRunningShow), AT(line, extraFlag), AT(line, valueType), AT(line, minValue),
                  AT(line, maxValue), AT(line, stepValue), AT(line, value)});
    CheckBoxParam check(QString(), QString(), false, false, 1, &b, 1, names, names);
    expectRising("CheckBoxParam",
                 {AT(check, extraFlag), AT(check, count), AT(check, names), AT(check, descriptions),
                  AT(check, values)});
    ComboBoxParam combo(QString(), QString(), false, false, 1, &i, 1, names, names);
    expectRising("ComboBoxParam",
                 {AT(combo, extraFlag), AT(combo, count), AT(combo, names), AT(combo, descriptions),
                  AT(combo, selectedIndex)});
}

TEST(MemberOrder, CameraBase)
{
    const CameraBase p;
    expectRising("CameraBase",
                 {AT(p, paramList), AT(p, roiX), AT(p, roiY), AT(p, imageWidth), AT(p, imageHeight),
                  AT(p, pixelDistanceX), AT(p, pixelDistanceY), AT(p, unitDistanceZ), AT(p, mirror),
                  AT(p, transpose), AT(p, frameSpeedIndex), AT(p, exposureConfigCount),
                  AT(p, currentExposureIndex), AT(p, exposureTimes), AT(p, analogGain), AT(p, gamma),
                  AT(p, sharpness), AT(p, contrast), AT(p, debounceTime), AT(p, packetInterval),
                  AT(p, whiteBalance), AT(p, colorImage), AT(p, serialNumber), AT(p, cameraNumber),
                  AT(p, creationArg), AT(p, channelCount), AT(p, trigKind), AT(p, roiXLabel), AT(p, roiXDesc),
                  AT(p, roiXMin), AT(p, roiXMax), AT(p, roiXStep), AT(p, roiYLabel), AT(p, roiYDesc),
                  AT(p, roiYMin), AT(p, roiYMax), AT(p, roiYStep), AT(p, widthLabel), AT(p, widthDesc),
                  AT(p, widthMin), AT(p, widthMax), AT(p, widthStep), AT(p, heightLabel), AT(p, heightDesc),
                  AT(p, heightMin), AT(p, heightMax), AT(p, heightStep), AT(p, distanceMin), AT(p, distanceMax),
                  AT(p, distanceStep), AT(p, sensorWidth), AT(p, sensorHeight), AT(p, mirrorNames),
                  AT(p, mirrorDescs), AT(p, transposeNames), AT(p, transposeDescs), AT(p, frameSpeedLabel),
                  AT(p, frameSpeedDesc), AT(p, frameSpeedNames), AT(p, frameSpeedCount), AT(p, exposureLabel),
                  AT(p, exposureDesc), AT(p, exposureMin), AT(p, exposureMax), AT(p, exposureConfigNames),
                  AT(p, exposureConfigLabel), AT(p, exposureConfigDesc), AT(p, gainLabel), AT(p, gainDesc),
                  AT(p, gainMin), AT(p, gainMax), AT(p, gammaLabel), AT(p, gammaDesc), AT(p, gammaMin),
                  AT(p, gammaMax), AT(p, sharpnessLabel), AT(p, sharpnessDesc), AT(p, sharpnessMin),
                  AT(p, sharpnessMax), AT(p, contrastLabel), AT(p, contrastDesc), AT(p, contrastMin),
                  AT(p, contrastMax), AT(p, debounceLabel), AT(p, debounceDesc), AT(p, debounceMin),
                  AT(p, debounceMax), AT(p, packetIntervalLabel), AT(p, packetIntervalDesc),
                  AT(p, packetIntervalMin), AT(p, packetIntervalMax), AT(p, whiteBalanceName),
                  AT(p, whiteBalanceDesc), AT(p, colorImageName), AT(p, colorImageDesc), AT(p, intStep),
                  AT(p, exposureStep)});
}
