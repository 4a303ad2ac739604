#pragma once

// Shared set-up of the viewer tests: the plug-in loaded once as a host loads
// it, a small simulated population, and a viewer window on top of it.

#include "camerasession.h"
#include "camerasignals.h"
#include "liveview.h"
#include "parameditor.h"
#include "paramwrap.h"
#include "pluginhost.h"
#include "population.h"
#include "vdsim.h"
#include "viewerwindow.h"
#include "waituntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace viewertest {

inline int indexOfLabel(const QVector<ParamWrap *> &list, const QString &label)
{
    for (int i = 0; i < list.size(); ++i)
        if (list[i]->label == label)
            return i;
    return -1;
}

// Index of the check-box descriptor whose first option has this name.
inline int indexOfOption(const QVector<ParamWrap *> &list, const QString &name)
{
    for (int i = 0; i < list.size(); ++i)
        if (list[i]->typeName() == QLatin1String("CheckBoxParam")) {
            auto *c = static_cast<RadioBoxParam *>(list[i]);
            if (c->count > 0 && c->names[0] == name)
                return i;
        }
    return -1;
}

// Types into a spin box as a person does and confirms with Enter.
template <class Spin>
void typeInto(Spin *spin, const QString &text)
{
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Enter);
}

// The small colour and mono VD-XG cameras the viewer's tests run.
inline void smallColour(Population::Device &d)
{
    typicalColourRanges(d);
    d.sensorWidth = 512;
    d.sensorHeight = 1024;
    d.frameHeight = 64;
    d.frameRate = 50;
}

inline void smallMono(Population::Device &d)
{
    d.sensorWidth = 640;
    d.sensorHeight = 1024;
    d.frameHeight = 64;
    d.mono = true;
}

// Both streaming at 50 frames/s, and one camera of another family.
inline QByteArray defaultPopulation()
{
    return Population()
        .add("VD-XG2K-C", "VWCOLOUR0001", smallColour)
        .add("VD-XG4K-M", "VWMONO000002", [](Population::Device &d) {
            smallMono(d);
            d.frameRate = 50;
        })
        .add("VD-AC1300", "VWOTHER00003", [](Population::Device &d) {
            d.sensorWidth = 1280;
            d.sensorHeight = 1024;
            d.frameHeight = 1024;
            d.mono = true;
            d.frameRate = 10;
        })
        .json();
}

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
        ASSERT_EQ(VdSimConfigure(population().constData()), 0);
        window = std::make_unique<ViewerWindow>(plugin);
    }
    void TearDown() override
    {
        window.reset();
        EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    }
    virtual QByteArray population() const { return defaultPopulation(); }

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
