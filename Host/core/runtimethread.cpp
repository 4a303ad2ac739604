#include "runtimethread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <clocale>
#include <condition_variable>
#include <deque>
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

    // Starts the application's thread once; false when it could not start.
    bool ensureRunning()
    {
        std::unique_lock<std::mutex> guard(lock);
        if (!started) {
            started = true;
            thread = std::thread([this] { run(); });
            ready.wait(guard, [this] { return running || finished; });
        }
        return running;
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
        {
            std::lock_guard<std::mutex> guard(lock);
            application = app;
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
        // the process frees its memory anyway. It stays reachable from here.
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
    QThread *appThread = nullptr;
};

} // namespace

namespace {

// One call waiting for the runtime's thread.
struct Job
{
    const std::function<void()> *fn = nullptr;
    std::exception_ptr thrown;
    bool done = false;
    bool ran = false;
};

// The calls waiting for the runtime's thread. They pass through this lock
// rather than through Qt's event, so the caller's data and the results are
// handed over under a lock that every tool can see; Qt's event only says
// "look". Shared by the runtime, its runner and every waiting caller, so
// that it outlives whichever lets go last.
struct JobQueue
{
    std::mutex lock;
    std::condition_variable finished;
    std::deque<Job *> jobs;
    bool accepting = false;

    // On the runtime's thread: runs every queued job.
    void drain()
    {
        for (;;) {
            Job *job = nullptr;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (jobs.empty())
                    return;
                job = jobs.front();
                jobs.pop_front();
            }
            std::exception_ptr thrown;
            try {
                (*job->fn)();
            } catch (...) {
                thrown = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                job->thrown = thrown;
                job->ran = true;
                job->done = true;
            }
            finished.notify_all();
        }
    }

    // Ends every job left without running it.
    void abandonAll()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            for (Job *j : jobs)
                j->done = true;
            jobs.clear();
        }
        finished.notify_all();
    }
};

} // namespace

// Lives on the runtime's thread and drains the queue when told to.
class JobRunner : public QObject
{
    Q_OBJECT
public:
    explicit JobRunner(std::shared_ptr<JobQueue> q) : queue(std::move(q)) {}

public slots:
    void drain() { queue->drain(); }

private:
    const std::shared_ptr<JobQueue> queue;
};

struct RuntimeThread::Impl
{
    QThread *own = nullptr;       // a QThread of this runtime's own, beside a program's application
    // Made on the runtime's thread and living there; used by callers under
    // queue->lock while jobs are accepted.
    JobRunner *runner = nullptr;
    // The runtime's thread, compared without asking Qt: Qt would register
    // the asking thread with itself.
    std::atomic<std::thread::id> threadId{};
    const std::shared_ptr<JobQueue> queue = std::make_shared<JobQueue>();
};

RuntimeThread::RuntimeThread() : d(new Impl) {}

RuntimeThread::~RuntimeThread()
{
    stop();
}

bool RuntimeThread::start(QString &error)
{
    // An application that another runtime of this library created is
    // shared; one of the program's own gets a thread beside it. The runner
    // is made on the runtime's thread, where it lives.
    OwnApplication &shared = OwnApplication::instance();
    Impl *impl = d.get();
    if (shared.qthread() || !QCoreApplication::instance()) {
        if (!shared.ensureRunning()) {
            error = QStringLiteral("cannot start the runtime's Qt application thread");
            return false;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [impl] {
                impl->threadId = std::this_thread::get_id();
                impl->runner = new JobRunner(impl->queue);
            },
            Qt::BlockingQueuedConnection);
        std::lock_guard<std::mutex> guard(d->queue->lock);
        d->queue->accepting = d->runner != nullptr;
    } else {
        d->own = new QThread;
        d->own->setObjectName(QStringLiteral("vandrel-runtime"));
        QObject::connect(
            d->own, &QThread::started, d->own,
            [impl] {
                impl->threadId = std::this_thread::get_id();
                auto *runner = new JobRunner(impl->queue);
                {
                    std::lock_guard<std::mutex> guard(impl->queue->lock);
                    impl->runner = runner;
                    impl->queue->accepting = true;
                }
                impl->queue->finished.notify_all();
            },
            Qt::DirectConnection);
        QObject::connect(
            d->own, &QThread::finished, d->own, [impl] { delete impl->runner; }, Qt::DirectConnection);
        d->own->start();
        std::unique_lock<std::mutex> guard(d->queue->lock);
        d->queue->finished.wait(guard, [impl] { return impl->runner != nullptr; });
    }
    if (!d->runner) {
        error = QStringLiteral("cannot start the runtime's thread");
        return false;
    }
    return true;
}

void RuntimeThread::stop()
{
    JobRunner *runner = d->runner;
    if (!runner)
        return;
    {
        // Every job accepted before has its drain posted by now.
        std::lock_guard<std::mutex> guard(d->queue->lock);
        if (!d->queue->accepting)
            return;
        d->queue->accepting = false;
    }
    if (d->own) {
        d->own->quit();
        d->own->wait();  // the runner is deleted as the thread finishes
        // Jobs whose turn did not come before the loop ended do not run.
        d->queue->abandonAll();
        delete d->own;
        d->own = nullptr;
    } else {
        // The shared loop runs the jobs queued before, then deletes the runner.
        runner->deleteLater();
    }
    d->runner = nullptr;
}

bool RuntimeThread::isCurrent() const
{
    return std::this_thread::get_id() == d->threadId.load();
}

bool RuntimeThread::run(const std::function<void()> &fn)
{
    if (isCurrent()) {
        fn();
        return true;
    }
    const std::shared_ptr<JobQueue> queue = d->queue;
    Job job;
    job.fn = &fn;
    std::unique_lock<std::mutex> guard(queue->lock);
    if (!queue->accepting)
        return false;
    queue->jobs.push_back(&job);
    // Posted under the lock: the runner stays while jobs are accepted.
    QMetaObject::invokeMethod(d->runner, "drain", Qt::QueuedConnection);
    queue->finished.wait(guard, [&job] { return job.done; });
    if (job.thrown)
        std::rethrow_exception(job.thrown);
    return job.ran;
}

#include "runtimethread.moc"
