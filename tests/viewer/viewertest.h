#pragma once

// Shared set-up of the viewer tests: the plug-in loaded once as a host loads
// it, a small simulated population, and a viewer window on top of it.

#include "camerasession.h"
#include "camerasignals.h"
#include "liveview.h"
#include "parameditor.h"
#include "paramwrap.h"
#include "pluginhost.h"
#include "vdsim.h"
#include "viewerwindow.h"
#include "waituntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace viewertest {

// Two VD-XG cameras streaming small frames at 50 frames/s, one of another family.
inline const char *kPopulation = R"({"devices": [
  {"productName": "VD-XG2K-C", "serialNumber": "VWCOLOUR0001", "sensorWidth": 512, "sensorHeight": 1024,
   "frameHeight": 64, "mono": false, "lineTimeUs": 2.0, "exposureMin": 10, "exposureMax": 50000,
   "gainMin": 1, "gainMax": 32, "gammaMin": 50, "gammaMax": 250, "contrastMin": 50, "contrastMax": 200,
   "sharpnessMin": 0, "sharpnessMax": 10, "frameRate": 50, "attached": true, "triggerMode": 0},
  {"productName": "VD-XG4K-M", "serialNumber": "VWMONO000002", "sensorWidth": 640, "sensorHeight": 1024,
   "frameHeight": 64, "mono": true, "frameRate": 50, "attached": true, "triggerMode": 0},
  {"productName": "VD-AC1300", "serialNumber": "VWOTHER00003", "sensorWidth": 1280, "sensorHeight": 1024,
   "frameHeight": 1024, "mono": true, "frameRate": 10, "attached": true}
]})";

inline const QString kColour = QStringLiteral("VWCOLOUR0001");
inline const QString kMono = QStringLiteral("VWMONO000002");


inline CameraInterface *loadedPlugin()
{
    static PluginHost *host = [] {
        registerContractTypes();
        // The driver logs a debug line per frame.
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
        auto *h = new PluginHost;
        QString error;
        if (!h->load(QStringLiteral(VANDREL_PLUGIN_DIR), error))
            ADD_FAILURE() << error.toStdString();
        return h;
    }();
    return host->plugin();
}

class ViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = loadedPlugin();
        ASSERT_NE(plugin, nullptr);
        ASSERT_EQ(VdSimConfigure(population()), 0);
        window = std::make_unique<ViewerWindow>(plugin);
    }
    void TearDown() override
    {
        window.reset();
        EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    }
    virtual const char *population() const { return kPopulation; }

    CameraSession *open(const QString &serial)
    {
        QString error;
        CameraSession *s = window->openCamera(serial, error);
        EXPECT_NE(s, nullptr) << error.toStdString();
        return s;
    }
    static QVector<ParamWrap *> descriptors(CameraSession *s) { return *s->camera()->pluginParams(); }

    CameraInterface *plugin = nullptr;
    std::unique_ptr<ViewerWindow> window;
};

} // namespace viewertest
