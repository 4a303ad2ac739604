// Loads the built module exactly as a host does: through QPluginLoader,
// with its own copy of the contract's meta-object, connecting by signature.

#include "camerainterface.h"
#include "freshprocess.h"
#include "waituntil.h"
#include "logcapture.h"
#include "paramwrap.h"
#include "population.h"
#include "vdsim.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLibrary>
#include <QMetaMethod>
#include <QMutex>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <elf.h>

namespace {

const QString kModule = QStringLiteral(VANDREL_MODULE_PATH);

QByteArray loaderPopulation()
{
    return Population()
        .add("VD-XG2K-M", "LOADER000001", [](Population::Device &d) {
            d.sensorWidth = 128;
            d.sensorHeight = 256;
            d.frameHeight = 16;
            d.mono = true;
            d.triggerMode = 1;
        })
        .json();
}

// Names of the sections of an ELF file.
QStringList sectionNames(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray elf = f.readAll();
    if (elf.size() < int(sizeof(Elf64_Ehdr)))
        return {};
    const auto *eh = reinterpret_cast<const Elf64_Ehdr *>(elf.constData());
    const auto *sh = reinterpret_cast<const Elf64_Shdr *>(elf.constData() + eh->e_shoff);
    const char *names = elf.constData() + sh[eh->e_shstrndx].sh_offset;
    QStringList out;
    for (int i = 0; i < eh->e_shnum; ++i)
        out << QString::fromLatin1(names + sh[i].sh_name);
    return out;
}


} // namespace

// Receives frames the way a host does: queued onto its own thread.
class HostReceiver : public QObject
{
    Q_OBJECT
public:
    QList<ImageProcessData> frames;
    int losses = 0;
    bool wrongThread = false;
public slots:
    void onFrame(ImageProcessData data)
    {
        wrongThread |= QThread::currentThread() != thread();
        frames.append(data);
    }
    void onLoss() { ++losses; }
};

class PluginLoader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qRegisterMetaType<ImageProcessData>("ImageProcessData");
        ASSERT_EQ(VdSimConfigure(loaderPopulation().constData()), 0);
        loader.setFileName(kModule);
    }
    QPluginLoader loader;
};

TEST_F(PluginLoader, MetadataIsQtsStandardBlockWithIidAndClassName)
{
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"));
    EXPECT_EQ(meta.value(QStringLiteral("className")).toString(), QStringLiteral("CameraVandrel"));
    EXPECT_FALSE(meta.contains(QStringLiteral("MetaData")));

    QLibrary library(kModule);
    ASSERT_TRUE(library.load()) << qPrintable(library.errorString());
    using Query = const char *(*)();
    auto query = reinterpret_cast<Query>(library.resolve("qt_plugin_query_metadata"));
    ASSERT_NE(query, nullptr);
    QByteArray expected("QTMETADATA !");
    expected += QByteArray::fromHex("00050f00");
    expected += QByteArray::fromHex("bf027828") + "com.kvr.quorvane.camerainterface.Vandrel";
    expected += QByteArray::fromHex("036d") + "CameraVandrel" + QByteArray::fromHex("ff");
    EXPECT_EQ(QByteArray(query(), expected.size()).toHex(), expected.toHex());
    // Qt's own section for the block; a PE build truncates it to ".qtmetad".
    EXPECT_TRUE(sectionNames(kModule).contains(QStringLiteral(".qtmetadata")));
}

TEST_F(PluginLoader, ExportsOnlyTheTwoEntryPoints)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), kModule});
    ASSERT_TRUE(nm.waitForFinished(30000));
    QStringList names;
    for (const QByteArray &line : nm.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() == 3)
            names << QString::fromLatin1(parts[2]);
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("qt_plugin_instance"), QStringLiteral("qt_plugin_query_metadata")}));
}

TEST_F(PluginLoader, OneInstanceUntilDeletedAndTheCastsInOrder)
{
    QObject *object = loader.instance();
    ASSERT_NE(object, nullptr) << qPrintable(loader.errorString());
    EXPECT_EQ(loader.instance(), object);
    EXPECT_STREQ(object->metaObject()->className(), "CameraVandrel");
    EXPECT_EQ(object->metaObject()->methodCount(), object->metaObject()->superClass()->methodCount());

    auto *camera = qobject_cast<CameraInterface *>(object);
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(object->qt_metacast("CameraVandrel"), static_cast<void *>(object));
    EXPECT_EQ(object->qt_metacast(CameraInterface_iid), static_cast<void *>(camera));
    void *base = object->qt_metacast("CameraBase");
    ASSERT_NE(base, nullptr);
    EXPECT_NE(base, static_cast<void *>(object)) << "the second base lies after the first";
    EXPECT_EQ(object->qt_metacast("PluginInterface"), static_cast<void *>(static_cast<PluginInterface *>(camera)));
    EXPECT_EQ(object->qt_metacast("CameraInterface"), static_cast<void *>(camera));
    EXPECT_EQ(object->qt_metacast(nullptr), nullptr);
    EXPECT_EQ(object->qt_metacast("com.kvr.quorvane.camerainterface.Vandrel"), nullptr);
    EXPECT_EQ(object->qt_metacast("QObject"), static_cast<void *>(object));
    EXPECT_FALSE(object->inherits("SomethingElse"));

    EXPECT_EQ(camera->pluginIID(), QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"));
    EXPECT_EQ(camera->pluginName(), QStringLiteral("Vandrel相机-线扫"));
    EXPECT_EQ(camera->pluginVersion(), QStringLiteral("V2.1.0.30"));
    EXPECT_EQ(camera->pluginDescription(), QStringLiteral("请查看帮助文档 "));
    EXPECT_TRUE(camera->pluginIcon().isNull());
    EXPECT_EQ(camera->hostQueryCode(), 63);
    EXPECT_EQ(camera->cameraSerial(), QStringLiteral("-1"));

    // Deleting through the interface destroys the object; the next call makes a new one.
    QPointer<QObject> watch(object);
    delete static_cast<PluginInterface *>(camera);
    EXPECT_TRUE(watch.isNull());
    QObject *again = loader.instance();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(qobject_cast<CameraInterface *>(again) != nullptr);
    delete again;
}

TEST_F(PluginLoader, AHostConnectsBySignatureAndGetsQueuedFrames)
{
    auto *plugin = qobject_cast<CameraInterface *>(loader.instance());
    ASSERT_NE(plugin, nullptr);
    int count = 0;
    const QVector<QString> serials = plugin->enumerateCameras(count);
    ASSERT_EQ(serials, QVector<QString>{QStringLiteral("LOADER000001")});
    std::unique_ptr<CameraInterface> camera(plugin->createCamera(2, serials[0], 0));
    ASSERT_EQ(camera->cameraSerial(), serials[0]);
    ASSERT_EQ(camera->pluginParams()->size(), 22);
    EXPECT_EQ(camera->pluginParams()->at(1)->typeName(), QStringLiteral("LineEditCameraParam"));

    HostReceiver receiver;
    ASSERT_TRUE(QObject::connect(camera.get(), SIGNAL(captureCompleted(ImageProcessData)), &receiver,
                                 SLOT(onFrame(ImageProcessData)), Qt::QueuedConnection));
    ASSERT_TRUE(QObject::connect(camera.get(), SIGNAL(CameraLoss()), &receiver, SLOT(onLoss()),
                                 Qt::QueuedConnection));
    camera->load(QJsonObject());
    camera->frameMutex()->lock();
    camera->isRunning = true;
    camera->frameMutex()->unlock();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(VdSimPushFrame("LOADER000001", nullptr), 0);
    ASSERT_TRUE(waitUntil([&] { return receiver.frames.size() == 3; }));
    EXPECT_FALSE(receiver.wrongThread);
    EXPECT_EQ(receiver.frames[2].productID, 3);
    EXPECT_EQ(receiver.frames[2].cameraIndex, 2);
    EXPECT_EQ(receiver.frames[2].image.cols, 128);

    ASSERT_EQ(VdSimLinkLost("LOADER000001", 1), 0);
    ASSERT_TRUE(waitUntil([&] { return receiver.losses == 1; }));
    // CameraLoss is emitted before the status thread closes the camera.
    EXPECT_TRUE(waitUntil([&] { return camera->cameraSerial() == QStringLiteral("-1"); }));
    camera.reset();
    delete plugin;
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

// A host that never registers the frame record finds it unregistered even
// after connecting queued: the module registers no meta-type of its own, so
// none of its functions end up in the host's type registry.
TEST(PluginModule, RegistersNoMetaTypeOfItsOwn)
{
    if (!inFreshProcess()) {
        std::string output;
        EXPECT_TRUE(passesInFreshProcess("PluginModule.RegistersNoMetaTypeOfItsOwn", output)) << output;
        return;
    }
    ASSERT_EQ(QMetaType::type("ImageProcessData"), int(QMetaType::UnknownType));
    ASSERT_EQ(VdSimConfigure(loaderPopulation().constData()), 0);
    QPluginLoader loader(kModule);
    auto *plugin = qobject_cast<CameraInterface *>(loader.instance());
    ASSERT_NE(plugin, nullptr);
    int count = 0;
    const QVector<QString> serials = plugin->enumerateCameras(count);
    ASSERT_EQ(serials.size(), 1);
    std::unique_ptr<CameraInterface> camera(plugin->createCamera(0, serials[0], 0));
    HostReceiver receiver;
    {
        LogCapture log;  // Qt's complaint about the unregistered type
        QObject::connect(camera.get(), SIGNAL(captureCompleted(ImageProcessData)), &receiver,
                         SLOT(onFrame(ImageProcessData)), Qt::QueuedConnection);
    }
    // Asking the module's meta-object for the argument type is how Qt would
    // let a module register its own copy of the type.
    const QMetaObject *meta = camera->metaObject();
    const QMetaMethod signal = meta->method(meta->indexOfSignal("captureCompleted(ImageProcessData)"));
    ASSERT_TRUE(signal.isValid());
    EXPECT_EQ(signal.parameterType(0), int(QMetaType::UnknownType));
    ASSERT_TRUE(QObject::connect(camera.get(), SIGNAL(captureCompleted(ImageProcessData)), &receiver,
                                 SLOT(onFrame(ImageProcessData)), Qt::DirectConnection));
    camera->load(QJsonObject());
    camera->frameMutex()->lock();
    camera->isRunning = true;
    camera->frameMutex()->unlock();
    ASSERT_EQ(VdSimPushFrame("LOADER000001", nullptr), 0);
    EXPECT_EQ(receiver.frames.size(), 1);
    EXPECT_EQ(QMetaType::type("ImageProcessData"), int(QMetaType::UnknownType));
    camera.reset();
    delete plugin;
}

#include "driver_pluginloader_test.moc"
#include "waituntil.h"
