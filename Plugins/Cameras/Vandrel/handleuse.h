#pragma once

#include "vandrel.h"

#include <algorithm>

// The open handle, borrowed for SDK calls; empty when the camera is not open.
// A close waits for the borrows of other threads before it releases the
// handle.
class CameraVandrel::HandleUse
{
public:
    explicit HandleUse(CameraVandrel &camera) : camera(camera)
    {
        std::lock_guard<std::mutex> guard(camera.stateLock);
        if (!camera.opened)
            return;
        camera.borrowers.push_back(std::this_thread::get_id());
        handle = camera.cameraHandle;
        valid = true;
    }
    ~HandleUse()
    {
        if (!valid)
            return;
        std::lock_guard<std::mutex> guard(camera.stateLock);
        auto &borrowers = camera.borrowers;
        borrowers.erase(std::find(borrowers.begin(), borrowers.end(), std::this_thread::get_id()));
        camera.stateChanged.notify_all();
    }
    HandleUse(const HandleUse &) = delete;
    HandleUse &operator=(const HandleUse &) = delete;

    explicit operator bool() const { return valid; }
    VdHandle get() const { return handle; }

private:
    CameraVandrel &camera;
    VdHandle handle = -1;
    bool valid = false;
};
