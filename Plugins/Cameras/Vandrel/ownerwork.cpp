#include "vandrel.h"

#include "ownerwork.h"

#include <exception>

#include "driverlog.h"  // last: names the file of the messages below

void CameraVandrel::deferToOwner(std::function<void()> work)
{
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(deferredLock);
        first = deferred.empty();
        deferred.push_back(std::move(work));
    }
    // One wake-up per batch. If the camera is destroyed first, the wake-up
    // goes with its waker, and the work with the camera.
    if (first)
        ownerWaker->wake();
}

void CameraVandrel::runDeferred()
{
    if (!onOwningThread())
        return;
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> guard(deferredLock);
            if (deferred.empty())
                return;
            batch.swap(deferred);
        }
        for (auto &work : batch) {
            // Nothing may escape into the host's event loop.
            try {
                work();
            } catch (const std::exception &e) {
                qCWarning(lcVandrel) << "camera operation failed:" << e.what();
            } catch (...) {
                qCWarning(lcVandrel) << "camera operation failed";
            }
        }
    }
}
