#include "gstcamera.h"

#include "paramwrap.h"

#include <QTimer>

#include <gtest/gtest.h>

void shortenReconnectInterval(GstElement *src, int ms)
{
    int changed = 0;
    ASSERT_TRUE(vandrel_src_with_camera(src, [&](CameraInterface *cam) {
        for (QTimer *t : cam->findChildren<QTimer *>())
            if (t->interval() == 30000) {
                t->setInterval(ms);
                ++changed;
            }
    }));
    ASSERT_EQ(changed, 1) << "the driver's reconnect timer not found";
}

void switchColourOn(GstElement *src)
{
    bool found = false;
    ASSERT_TRUE(vandrel_src_with_camera(src, [&](CameraInterface *cam) {
        for (ParamWrap *p : *cam->pluginParams()) {
            // The descriptors' type information lives in the plug-in: by name.
            if (p->typeName() != QLatin1String("CheckBoxParam"))
                continue;
            auto *box = static_cast<RadioBoxParam *>(p);
            if (box->count == 1 && box->names[0] == QStringLiteral("彩色图像")) {
                box->values[0] = true;
                found = true;
            }
        }
        // Applied as the viewer applies it: the current settings loaded.
        QJsonObject current;
        cam->save(current);
        cam->load(current);
    }));
    ASSERT_TRUE(found) << "no colour image parameter";
}
