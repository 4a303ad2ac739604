// Settings JSON from the host into a camera's load, then save, load and save
// again: the two saved objects must be equal, so that whatever the host
// stored once comes back unchanged on every later start.

#include "fuzzsupport.h"
#include "vandrel.h"

#include <memory>

namespace {
CameraVandrel *camera = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::startQt();
    // The serial was never enumerated, so the camera stays closed and only
    // the parameter set is exercised, as with settings loaded before the
    // camera is attached.
    CameraVandrel plugin;
    camera = static_cast<CameraVandrel *>(plugin.createCamera(0, QStringLiteral("NOTENUMERATED01"), 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    if (!doc.isObject())
        return 0;
    camera->load(doc.object());
    QJsonObject first;
    camera->save(first);
    camera->load(first);
    QJsonObject second;
    camera->save(second);
    if (first != second)
        fuzzsupport::fail("save after load of a saved object differs", first, second);
    return 0;
}
