// Arbitrary JSON objects into every kind of descriptor and value type. After
// fromJson, toJson must describe a state that a second fromJson reproduces.

#include "fuzzsupport.h"
#include "paramwrap.h"

#include <memory>
#include <vector>

namespace {

struct Storage {
    bool b = false, bMin = false, bMax = true, bStep = true;
    qint32 i = 0, iMin = -10, iMax = 10, iStep = 1;
    float f = 0, fMin = 0, fMax = 1, fStep = 0.1f;
    double d = 0, dMin = 0, dMax = 1, dStep = 0.1;
    QString s, sMin, sMax, sStep;
    qint32 unknownTyped = 0;
    bool options[3] = {false, false, false};
    bool single[1] = {false};
    QString names[4] = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
    QString descs[4];
    int selected = 0;
};

Storage *store = nullptr;
std::vector<std::unique_ptr<ParamWrap>> *descriptors = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::startQt();
    store = new Storage;
    descriptors = new std::vector<std::unique_ptr<ParamWrap>>;
    Storage &s = *store;
    auto add = [](ParamWrap *p) { descriptors->emplace_back(p); };
    const QString l = QStringLiteral("label"), d = QStringLiteral("description");
    add(new SeparateParam(l, d, false, false));
    add(new LineEditCameraParam(l, d, false, false, 0, &s.b, ParamBool, &s.bMin, &s.bMax, &s.bStep));
    add(new LineEditCameraParam(l, d, true, false, 1, &s.i, ParamInt, &s.iMin, &s.iMax, &s.iStep));
    add(new LineEditCameraParam(l, d, false, true, 2, &s.f, ParamFloat, &s.fMin, &s.fMax, &s.fStep));
    add(new LineEditCameraParam(l, d, false, false, 0, &s.d, ParamDouble, &s.dMin, &s.dMax, &s.dStep));
    add(new LineEditCameraParam(l, d, false, false, 0, &s.s, ParamString, &s.sMin, &s.sMax, &s.sStep));
    add(new LineEditCameraParam(l, d, false, false, 0, &s.unknownTyped, 17, nullptr, nullptr, nullptr));
    add(new LineEditCameraParam(l, d, false, false, 0, nullptr, ParamInt, nullptr, nullptr, nullptr));
    add(new RadioBoxParam(l, d, false, false, 0, s.options, 3, s.names, s.descs));
    add(new RadioBoxParam(l, d, false, false, 0, nullptr, 0, nullptr, nullptr));
    add(new CheckBoxParam(l, d, false, false, 0, s.single, 1, s.names, s.descs));
    add(new ComboBoxParam(l, d, false, false, 0, &s.selected, 4, s.names, s.descs));
    add(new ComboBoxParam(l, d, false, false, 0, nullptr, 0, nullptr, nullptr));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    if (!doc.isObject())
        return 0;
    for (const auto &p : *descriptors) {
        QJsonObject in = doc.object();
        p->fromJson(in);
        QJsonObject first;
        p->toJson(first);
        QJsonObject again = first;
        p->fromJson(again);
        QJsonObject second;
        p->toJson(second);
        if (first != second)
            fuzzsupport::fail(qPrintable(QStringLiteral("%1: toJson after fromJson of its own output differs")
                                             .arg(p->typeName())),
                              first, second);
        p->queryFlag();
    }
    return 0;
}
