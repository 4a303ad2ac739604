// A host as a third party writes one: the installed contract headers and
// library, and the installed plug-in, loaded with QPluginLoader. Checks that
// the host's type information agrees with the plug-in's descriptors, then
// grabs frames from every VD-XG camera and checks what arrives.
//   vandrel-consumer [PLUGIN_DIR|""] [FRAMES]

#include <camerabase.h>
#include <camerainterface.h>
#include <paramwrap.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QPluginLoader>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

class Receiver : public QObject
{
    Q_OBJECT
public:
    int expectedIndex = 0;
    QVector<ImageProcessData> frames;
    QString fault;

public slots:
    void onFrame(ImageProcessData d)
    {
        if (d.image.empty())
            fault = QStringLiteral("an empty image");
        else if (d.cameraIndex != expectedIndex)
            fault = QStringLiteral("camera index %1 instead of %2").arg(d.cameraIndex).arg(expectedIndex);
        else if (!frames.isEmpty() && d.productID != frames.last().productID + 1)
            fault = QStringLiteral("product %1 after %2").arg(d.productID).arg(frames.last().productID);
        frames.append(d);
    }
};

static int fail(const QString &why)
{
    std::fprintf(stderr, "vandrel-consumer: %s\n", qPrintable(why));
    return 1;
}

// Each descriptor the plug-in made is recognised by the host's own type
// information (from the contract library) as the class its typeName() says,
// and as no other.
static QString checkDescriptorTypes(const QVector<ParamWrap *> &params, int &lineEdits)
{
    lineEdits = 0;
    for (ParamWrap *p : params) {
        const QString name = p->typeName();
        auto *lineEdit = dynamic_cast<LineEditCameraParam *>(p);
        auto *radio = dynamic_cast<RadioBoxParam *>(p);
        auto *check = dynamic_cast<CheckBoxParam *>(p);
        auto *combo = dynamic_cast<ComboBoxParam *>(p);
        auto *separator = dynamic_cast<SeparateParam *>(p);
        const bool agrees = (name == QLatin1String("LineEditCameraParam")) == (lineEdit != nullptr)
            && (name == QLatin1String("RadioBoxParam") || name == QLatin1String("CheckBoxParam")) == (radio != nullptr)
            && (name == QLatin1String("CheckBoxParam")) == (check != nullptr)
            && (name == QLatin1String("ComboBoxParam")) == (combo != nullptr)
            && (name == QLatin1String("SeparateParam")) == (separator != nullptr);
        if (!agrees)
            return QStringLiteral("descriptor \"%1\" of type %2: dynamic_cast disagrees").arg(p->label, name);
        if (lineEdit) {
            if (!lineEdit->value)
                return QStringLiteral("descriptor \"%1\": no value").arg(p->label);
            ++lineEdits;
        }
    }
    return QString();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The host's own parameter set, built by the contract library.
    {
        CameraBase own;
        own.buildParams();
        int lineEdits = 0;
        const QString fault = checkDescriptorTypes(own.paramList, lineEdits);
        if (!fault.isEmpty() || own.paramList.isEmpty())
            return fail(QStringLiteral("the contract library's own parameter set: %1").arg(fault));
    }
    // An empty PLUGIN_DIR: the installed plug-in folder the build found.
    const QString dir = argc > 1 && argv[1][0] ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VANDREL_PLUGIN_DIR);
    const int wanted = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    qRegisterMetaType<ImageProcessData>("ImageProcessData");
    // The driver logs a debug line per frame, in the category "vandrel".
    QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));

    QPluginLoader loader(dir + QStringLiteral("/libVandrel.so"));
    const QString iid = loader.metaData().value(QStringLiteral("IID")).toString();
    if (iid != QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"))
        return fail(QStringLiteral("%1/libVandrel.so: IID \"%2\": %3").arg(dir, iid, loader.errorString()));
    auto *plugin = qobject_cast<CameraInterface *>(loader.instance());
    if (!plugin)
        return fail(QStringLiteral("%1 gives no CameraInterface: %2").arg(loader.fileName(), loader.errorString()));
    std::printf("%s %s from %s\n", qPrintable(plugin->pluginName()), qPrintable(plugin->pluginVersion()),
                qPrintable(loader.fileName()));

    int deviceCount = 0;
    const QVector<QString> serials = plugin->enumerateCameras(deviceCount);
    if (serials.isEmpty())
        return fail(QStringLiteral("no VD-XG camera (%1 devices)").arg(deviceCount));

    std::vector<std::unique_ptr<CameraInterface>> cameras;
    std::vector<std::unique_ptr<Receiver>> receivers;
    for (int i = 0; i < serials.size(); ++i) {
        std::unique_ptr<CameraInterface> cam(plugin->createCamera(i, serials[i], 0));
        if (!cam || cam->cameraSerial() != serials[i])
            return fail(QStringLiteral("camera %1 did not open").arg(serials[i]));
        auto receiver = std::make_unique<Receiver>();
        receiver->expectedIndex = i;
        // By signature: this host's meta-object of CameraInterface is its own copy.
        QObject::connect(cam.get(), SIGNAL(captureCompleted(ImageProcessData)), receiver.get(),
                         SLOT(onFrame(ImageProcessData)), Qt::QueuedConnection);
        QVector<ParamWrap *> *params = cam->pluginParams();
        QJsonObject settings;
        cam->save(settings);
        if (!params || params->isEmpty()
            || settings.value(QStringLiteral("paramsWrap")).toArray().size() != params->size())
            return fail(QStringLiteral("camera %1: descriptors and saved settings disagree").arg(serials[i]));
        cam->load(settings);
        int lineEdits = 0;
        const QString typeFault = checkDescriptorTypes(*params, lineEdits);
        if (!typeFault.isEmpty())
            return fail(QStringLiteral("camera %1: %2").arg(serials[i], typeFault));
        if (lineEdits == 0)
            return fail(QStringLiteral("camera %1: no LineEditCameraParam among %2 descriptors")
                            .arg(serials[i]).arg(params->size()));
        std::printf("%s: %d descriptors, %d of them LineEditCameraParam by dynamic_cast\n",
                    qPrintable(serials[i]), int(params->size()), lineEdits);
        {
            QMutexLocker lock(cam->frameMutex());
            cam->isRunning = true;
        }
        cameras.push_back(std::move(cam));
        receivers.push_back(std::move(receiver));
    }

    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(30000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        for (const auto &r : receivers)
            if (r->frames.size() < wanted && r->fault.isEmpty())
                return;
        app.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &app, &QCoreApplication::quit);
    poll.start(10);
    app.exec();

    // Cameras go before the plug-in's object.
    const bool timedOut = !deadline.isActive();
    cameras.clear();
    int status = 0;
    for (int i = 0; i < serials.size(); ++i) {
        const Receiver &r = *receivers[size_t(i)];
        if (!r.fault.isEmpty()) {
            status = fail(QStringLiteral("%1: %2").arg(serials[i], r.fault));
        } else if (r.frames.size() < wanted) {
            status = fail(QStringLiteral("%1: %2 of %3 frames%4")
                              .arg(serials[i]).arg(r.frames.size()).arg(wanted)
                              .arg(timedOut ? QStringLiteral(" in 30 s") : QString()));
        } else {
            const cv::Mat &m = r.frames.first().image;
            std::printf("%s: %d frames of %dx%dx%d, products %d..%d\n", qPrintable(serials[i]),
                        int(r.frames.size()), m.cols, m.rows, m.channels(), r.frames.first().productID,
                        r.frames.last().productID);
        }
    }
    return status;
}

#include "main.moc"
