#pragma once

#include "vandrel.h"

#include <algorithm>

// The open handle, borrowed for SDK calls; empty when the camera is not open.
// A teardown waits for the borrows of other threads before it releases the
// handle. Never held across a wait for a teardown.
class CameraVandrel::HandleUse
{
public:
    explicit HandleUse(CameraVandrel &camera) : link(*camera.link)
    {
        std::lock_guard<std::mutex> guard(link.lock);
        if (!camera.opened)
            return;
        link.borrowers.push_back(std::this_thread::get_id());
        handle = link.handle;
        valid = true;
    }
    ~HandleUse()
    {
        if (!valid)
            return;
        std::lock_guard<std::mutex> guard(link.lock);
        auto &borrowers = link.borrowers;
        borrowers.erase(std::find(borrowers.begin(), borrowers.end(), std::this_thread::get_id()));
        link.changed.notify_all();
    }
    HandleUse(const HandleUse &) = delete;
    HandleUse &operator=(const HandleUse &) = delete;

    explicit operator bool() const { return valid; }
    VdHandle get() const { return handle; }

private:
    Link &link;
    VdHandle handle = -1;
    bool valid = false;
};
