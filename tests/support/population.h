#pragma once

#include "simconfig.h"

#include <QByteArray>
#include <QJsonArray>

#include <functional>
#include <vector>

// A simulated camera population, as VdSimConfigure and the configuration
// file take it. Every device starts from the simulator's own defaults; a test
// sets only what its cases need.
class Population
{
public:
    using Device = vdsim::DeviceConfig;

    Population &add(const char *productName, const char *serialNumber,
                    const std::function<void(Device &)> &differences = {});
    // An event of the simulator's clock: "linkLost", "linkRestored", "detach", "attach".
    Population &event(qint64 atMs, const char *serialNumber, const char *kind, bool powerLost = false);
    QByteArray json() const;

private:
    std::vector<Device> devices;
    QJsonArray events;
};

// The capability ranges most tests give a colour camera.
void typicalColourRanges(Population::Device &d);
// A monochrome camera with the ranges the driver and stress tests give it.
void typicalMonoRanges(Population::Device &d);
