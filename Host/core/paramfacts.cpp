#include "paramfacts.h"

#include "paramwrap.h"

#include <QCoreApplication>
#include <QStringList>

namespace ParamFacts {

namespace {

struct Item
{
    const char *name;
    const char *label;
    const char *unit;
    Effect effect;
};

struct Row
{
    Place::Kind kind;
    const char *name;  // headings only; items name themselves
    const char *label;
    QVector<Item> items;
};

const char *const kPx = "px";
const char *const kMicrons = "µm";
const char *const kNone = "";

// The places before the exposure times, then those after them.
const QVector<Row> &rowsBefore()
{
    static const QVector<Row> rows = {
        {Place::Heading, "ImageSize", "图像尺寸", {}},
        {Place::Value, nullptr, nullptr, {{"OffsetX", "X坐标", kPx, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"OffsetY", "Y坐标", kPx, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Width", "图像的宽度", kPx, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Height", "图像的高度", kPx, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"PixelDistanceX", "x方向像素距离", kMicrons, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"PixelDistanceY", "y方向像素距离", kMicrons, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"UnitDistanceZ", "z方向单位距离", kMicrons, Effect::Never}}},
        {Place::Heading, "OtherSettings", "其它设置", {}},
        {Place::Options,
         nullptr,
         nullptr,
         {{"ReverseX", "水平镜像", kNone, Effect::Never}, {"ReverseY", "垂直镜像", kNone, Effect::Never}}},
        {Place::Options, nullptr, nullptr, {{"Transpose", "图像转置", kNone, Effect::Never}}},
        {Place::Choice, nullptr, nullptr, {{"ExposureConfiguration", "当前曝光配置", kNone, Effect::OnSelect}}},
    };
    return rows;
}

const QVector<Row> &rowsAfter()
{
    static const QVector<Row> rows = {
        {Place::Choice, nullptr, nullptr, {{"FrameSpeed", "图像帧率", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Gain", "模拟增益", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Gamma", "Gamma值", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Sharpness", "锐化", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"Contrast", "对比度", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"DebounceTime", "去抖时长", kNone, Effect::Never}}},
        {Place::Value, nullptr, nullptr, {{"PacketInterval", "发包间隔", kNone, Effect::Never}}},
        {Place::Options, nullptr, nullptr, {{"ColorImage", "彩色图像", kNone, Effect::OnApply}}},
        {Place::Options, nullptr, nullptr, {{"WhiteBalance", "白平衡", kNone, Effect::Never}}},
    };
    return rows;
}

const QString kExposureLabel = QStringLiteral("曝光时间");
const QString kExposureName = QStringLiteral("ExposureTime");

Fact factOf(const Item &i, int option)
{
    Fact f;
    f.name = QString::fromUtf8(i.name);
    f.label = QString::fromUtf8(i.label);
    f.unit = QString::fromUtf8(i.unit);
    f.effect = i.effect;
    f.option = option;
    return f;
}

Place placeOf(const Row &r)
{
    Place p;
    p.kind = r.kind;
    QStringList names, labels;
    for (int i = 0; i < r.items.size(); ++i) {
        p.items.append(factOf(r.items.at(i), r.kind == Place::Options ? i : -1));
        names << p.items.last().name;
        labels << p.items.last().label;
    }
    p.name = r.name ? QString::fromUtf8(r.name) : names.join(QLatin1Char('/'));
    p.label = r.label ? QString::fromUtf8(r.label) : labels.join(QLatin1Char('/'));
    return p;
}

Fact exposureTime(int number)
{
    Fact f;
    f.name = kExposureName + QString::number(number);
    f.label = kExposureLabel + QString::number(number);
    f.unit = QStringLiteral("0.1 ms");
    f.effect = Effect::OnSelect;
    return f;
}

// "曝光时间" followed by a configuration number from 1, as the driver writes it.
int exposureNumber(const QString &label)
{
    if (!label.startsWith(kExposureLabel))
        return 0;
    const QString digits = label.mid(kExposureLabel.size());
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && n >= 1 && digits == QString::number(n) ? n : 0;
}

// The fixed places by the labels that identify them.
const Place *fixedPlace(const QString &label, const QStringList &options)
{
    static const QVector<Place> fixed = [] {
        QVector<Place> all;
        for (const Row &r : rowsBefore())
            all.append(placeOf(r));
        for (const Row &r : rowsAfter())
            all.append(placeOf(r));
        return all;
    }();
    for (const Place &p : fixed) {
        if (p.kind == Place::Heading)
            continue;
        if (p.kind == Place::Options) {
            QStringList names;
            for (const Fact &f : p.items)
                names << f.label;
            if (label.isEmpty() && names == options)
                return &p;
        } else if (p.label == label) {
            return &p;
        }
    }
    return nullptr;
}

} // namespace

QString pluginIid()
{
    return QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel");
}

QVector<Place> places(int exposureConfigs)
{
    QVector<Place> out;
    if (exposureConfigs < 0)
        return out;
    for (const Row &r : rowsBefore())
        out.append(placeOf(r));
    for (int i = 1; i <= exposureConfigs; ++i) {
        Place p;
        p.kind = Place::Value;
        p.items = {exposureTime(i)};
        p.name = p.items.first().name;
        p.label = p.items.first().label;
        out.append(p);
    }
    for (const Row &r : rowsAfter())
        out.append(placeOf(r));
    return out;
}

QVector<Fact> factsOf(ParamWrap *p, const QString &iid)
{
    if (!p || iid != pluginIid())
        return {};
    const QString kind = p->typeName();
    if (kind == QLatin1String("SeparateParam"))
        return {};
    QStringList options;
    if (kind == QLatin1String("CheckBoxParam") || kind == QLatin1String("RadioBoxParam")) {
        const auto *box = static_cast<const RadioBoxParam *>(p);
        for (int i = 0; box->names && i < box->count; ++i)
            options << box->names[i];
    }
    if (kind == QLatin1String("LineEditCameraParam")) {
        if (const int n = exposureNumber(p->label))
            return {exposureTime(n)};
    }
    const Place *place = fixedPlace(p->label, options);
    return place ? place->items : QVector<Fact>();
}

Effect effectOf(ParamWrap *p, const QString &iid)
{
    const QVector<Fact> facts = factsOf(p, iid);
    if (facts.isEmpty())
        return Effect::Unknown;
    const Effect first = facts.first().effect;
    for (const Fact &f : facts)
        if (f.effect != first)
            return Effect::Unknown;
    return first;
}

QString key(Effect e)
{
    switch (e) {
    case Effect::Live:
        return QStringLiteral("live");
    case Effect::OnApply:
        return QStringLiteral("apply");
    case Effect::OnSelect:
        return QStringLiteral("select");
    case Effect::Never:
        return QStringLiteral("never");
    case Effect::Unknown:
        break;
    }
    return QString();
}

QString word(Effect e)
{
    switch (e) {
    case Effect::Live:
        return QCoreApplication::translate("ParamEffect", "live");
    case Effect::OnApply:
        return QCoreApplication::translate("ParamEffect", "Apply");
    case Effect::OnSelect:
        return QCoreApplication::translate("ParamEffect", "Select");
    case Effect::Never:
        return QCoreApplication::translate("ParamEffect", "kept only");
    case Effect::Unknown:
        break;
    }
    return QString();
}

QString mark(Effect e)
{
    switch (e) {
    case Effect::Live:
        return QStringLiteral("L");
    case Effect::OnApply:
        return QStringLiteral("A");
    case Effect::OnSelect:
        return QStringLiteral("S");
    case Effect::Never:
        return QStringLiteral("–");
    case Effect::Unknown:
        break;
    }
    return QString();
}

QString legend()
{
    return QCoreApplication::translate("ParamEffect",
                                       "A: takes effect on Apply · S: when its configuration is selected · –: kept "
                                       "and saved, but sent to no camera");
}

QString sentence(Effect e)
{
    switch (e) {
    case Effect::Live:
        return QCoreApplication::translate("ParamEffect", "Reaches the camera as soon as it is written.");
    case Effect::OnApply:
        return QCoreApplication::translate("ParamEffect",
                                           "Takes effect on Apply (and when the camera comes back after a loss), "
                                           "not before.");
    case Effect::OnSelect:
        return QCoreApplication::translate("ParamEffect",
                                           "Reaches the camera when its exposure configuration is selected.");
    case Effect::Never:
        return QCoreApplication::translate("ParamEffect",
                                           "Kept, saved and restored, and brought into the camera's limits, but "
                                           "this camera's driver sends it to no camera: neither Apply nor "
                                           "reopening changes the picture.");
    case Effect::Unknown:
        break;
    }
    return QString();
}

} // namespace ParamFacts
