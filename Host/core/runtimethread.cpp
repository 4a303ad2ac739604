#include "runtimethread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <clocale>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace {

// The application this library created, in a process that had none. Qt
// allows one application object per process, and its thread is Qt's main
// thread from then on; so it lives until the process exits.
class OwnApplication
{
public:
    static OwnApplication &instance()
    {
        static OwnApplication app;
        return app;
    }

    // The object that runs calls on the application's thread; null when the
    // thread could not start.
    QObject *context()
    {
        std::unique_lock<std::mutex> guard(lock);
        if (!started) {
            started = true;
            thread = std::thread([this] { run(); });
            ready.wait(guard, [this] { return running || finished; });
        }
        return running ? receiver : nullptr;
    }

    QThread *qthread()
    {
        std::lock_guard<std::mutex> guard(lock);
        return appThread;
    }

    ~OwnApplication()
    {
        QCoreApplication *app = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock);
            app = running ? application : nullptr;
        }
        if (app)
            QMetaObject::invokeMethod(app, "quit", Qt::QueuedConnection);
        if (thread.joinable())
            thread.join();
    }

private:
    OwnApplication() = default;

    void run()
    {
        // Qt on this thread must not iterate GLib's default context, which
        // belongs to the program's own main loop (GStreamer, GTK).
        if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
        // The application reads the process's locale from the environment;
        // the program's own setting stays.
        const std::string locale = std::setlocale(LC_ALL, nullptr);
        auto *app = new QCoreApplication(argc, argv);
        std::setlocale(LC_ALL, locale.c_str());
        auto *ctx = new QObject;
        {
            std::lock_guard<std::mutex> guard(lock);
            application = app;
            receiver = ctx;
            appThread = QThread::currentThread();
            running = true;
        }
        ready.notify_all();
        app->exec();
        {
            std::lock_guard<std::mutex> guard(lock);
            running = false;
            finished = true;
        }
        ready.notify_all();
        // The loop ends only as the process exits, while static objects of
        // Qt's own are going: deleting the application then is not safe, and
        // the process frees its memory anyway. Both stay reachable from here.
    }

    // QCoreApplication keeps references to both for its lifetime.
    int argc = 1;
    char name[8] = "vandrel";
    char *argv[2] = {name, nullptr};

    std::mutex lock;
    std::condition_variable ready;
    std::thread thread;
    bool started = false;
    bool running = false;
    bool finished = false;
    QCoreApplication *application = nullptr;
    QObject *receiver = nullptr;
    QThread *appThread = nullptr;
};

} // namespace

struct RuntimeThread::Impl
{
    QThread *own = nullptr;      // a QThread of this runtime's own, beside a program's application
    QObject *context = nullptr;  // lives on the runtime's thread
    QThread *thread = nullptr;
    std::mutex lock;             // guards `stopped` and `context` against a run() racing stop()
    bool stopped = true;
};

RuntimeThread::RuntimeThread() : d(new Impl) {}

RuntimeThread::~RuntimeThread()
{
    stop();
}

bool RuntimeThread::start(QString &error)
{
    // An application that another runtime of this library created is
    // shared; one of the program's own gets a thread beside it.
    OwnApplication &shared = OwnApplication::instance();
    if (shared.qthread() || !QCoreApplication::instance()) {
        d->context = shared.context();
        d->thread = shared.qthread();
        if (!d->context) {
            error = QStringLiteral("cannot start the runtime's Qt application thread");
            return false;
        }
    } else {
        d->own = new QThread;
        d->own->setObjectName(QStringLiteral("vandrel-runtime"));
        d->context = new QObject;
        d->context->moveToThread(d->own);
        d->own->start();
        d->thread = d->own;
    }
    std::lock_guard<std::mutex> guard(d->lock);
    d->stopped = false;
    return true;
}

void RuntimeThread::stop()
{
    {
        std::lock_guard<std::mutex> guard(d->lock);
        if (d->stopped)
            return;
        d->stopped = true;
    }
    if (d->own) {
        QObject *ctx = d->context;
        QMetaObject::invokeMethod(ctx, [ctx] { delete ctx; }, Qt::BlockingQueuedConnection);
        d->own->quit();
        d->own->wait();
        delete d->own;
        d->own = nullptr;
    }
    d->context = nullptr;
    d->thread = nullptr;
}

bool RuntimeThread::isCurrent() const
{
    return d->thread && QThread::currentThread() == d->thread;
}

bool RuntimeThread::run(const std::function<void()> &fn)
{
    std::exception_ptr thrown;
    bool ran = false;
    auto body = [&] {
        try {
            fn();
        } catch (...) {
            thrown = std::current_exception();
        }
        ran = true;
    };
    if (isCurrent()) {
        body();
    } else {
        // Held through the call, so that stop() cannot take the context
        // away under it; calls from several threads run one after another on
        // the runtime's thread anyway. A call posted as the shared loop ends
        // (at exit) is discarded with its event, which releases this wait;
        // `ran` then stays false.
        std::lock_guard<std::mutex> guard(d->lock);
        if (d->stopped)
            return false;
        QMetaObject::invokeMethod(d->context, body, Qt::BlockingQueuedConnection);
    }
    if (thrown)
        std::rethrow_exception(thrown);
    return ran;
}
