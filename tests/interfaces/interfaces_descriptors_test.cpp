// Parameter descriptors: kind names, constructor fields and JSON forms.

#include "paramwrap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QJsonObject written(ParamWrap &p)
{
    QJsonObject json;
    p.toJson(json);
    return json;
}

void read(ParamWrap &p, QJsonObject json)
{
    const QJsonObject before = json;
    p.fromJson(json);
    EXPECT_EQ(json, before) << "fromJson must only read";
}

QString compact(const QJsonObject &json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

} // namespace

TEST(Descriptors, BaseAndSeparatorWriteOnlyTheFlag)
{
    ParamWrap plain(QStringLiteral("a"), QStringLiteral("b"), true, false, 5);
    EXPECT_TRUE(plain.typeName().isNull());
    EXPECT_FALSE(plain.queryFlag());
    EXPECT_EQ(plain.label, QStringLiteral("a"));
    EXPECT_EQ(plain.description, QStringLiteral("b"));
    EXPECT_TRUE(plain.imageSizeFlag);
    EXPECT_EQ(plain.paramLevel, 5);
    EXPECT_FALSE(plain.isRunningShow);
    EXPECT_FALSE(plain.extraFlag);
    EXPECT_EQ(written(plain), (QJsonObject{{"isRunningShow", false}}));

    SeparateParam heading(QStringLiteral("h"), QString(), false, true);
    EXPECT_EQ(heading.typeName(), QStringLiteral("SeparateParam"));
    EXPECT_FALSE(heading.queryFlag());
    EXPECT_EQ(heading.paramLevel, 0);
    EXPECT_EQ(written(heading), (QJsonObject{{"isRunningShow", true}}));

    SeparateParam other(QStringLiteral("h"), QString(), false, false);
    EXPECT_EQ(written(other), (QJsonObject{{"isRunningShow", false}}));
    read(other, QJsonObject{{"isRunningShow", true}, {"values", 3}});
    EXPECT_EQ(written(other), (QJsonObject{{"isRunningShow", true}}));
}

TEST(Descriptors, WriteKeepsOtherKeysAndReplacesOwn)
{
    int value = 9;
    LineEditCameraParam p(QString(), QString(), false, false, 1, &value, ParamInt, nullptr, nullptr, nullptr);
    QJsonObject json{{"other", "kept"}, {"values", "old"}, {"isRunningShow", true}};
    p.toJson(json);
    EXPECT_EQ(json, (QJsonObject{{"other", "kept"}, {"values", 9}, {"isRunningShow", false}}));
}

TEST(Descriptors, IsRunningShowReadAsBoolOnly)
{
    ParamWrap p(QString(), QString(), false, false, 1);
    read(p, QJsonObject{{"isRunningShow", true}});
    EXPECT_TRUE(p.isRunningShow);
    read(p, QJsonObject{});
    EXPECT_TRUE(p.isRunningShow);
    read(p, QJsonObject{{"isRunningShow", 1}});
    EXPECT_FALSE(p.isRunningShow);
    p.isRunningShow = true;
    read(p, QJsonObject{{"isRunningShow", "true"}});
    EXPECT_FALSE(p.isRunningShow);
}

TEST(Descriptors, LineEditBool)
{
    bool value = true;
    LineEditCameraParam p(QStringLiteral("l"), QStringLiteral("d"), false, false, 1, &value, ParamBool, nullptr,
                          nullptr, nullptr);
    EXPECT_EQ(p.typeName(), QStringLiteral("LineEditCameraParam"));
    EXPECT_EQ(written(p), (QJsonObject{{"isRunningShow", false}, {"values", true}}));
    read(p, QJsonObject{{"values", false}});
    EXPECT_FALSE(value);
    read(p, written(p));
    EXPECT_FALSE(value);
    value = true;
    read(p, QJsonObject{{"values", 1}});
    EXPECT_FALSE(value);
}

TEST(Descriptors, LineEditIntUsesQtIntegerConversion)
{
    int value = 400, lo = 0, hi = 1000, step = 1;
    LineEditCameraParam p(QStringLiteral("l"), QStringLiteral("d"), false, false, 1, &value, ParamInt, &lo, &hi,
                          &step);
    EXPECT_EQ(p.valueType, ParamInt);
    EXPECT_EQ(p.value, &value);
    EXPECT_EQ(p.minValue, &lo);
    EXPECT_EQ(p.maxValue, &hi);
    EXPECT_EQ(p.stepValue, &step);
    EXPECT_EQ(compact(written(p)), QStringLiteral("{\"isRunningShow\":false,\"values\":400}"));

    read(p, QJsonObject{{"values", -17}});
    EXPECT_EQ(value, -17);
    read(p, QJsonObject{{"values", 12.5}});
    EXPECT_EQ(value, 0);
    value = 5;
    read(p, QJsonObject{{"values", "12"}});
    EXPECT_EQ(value, 0);
    value = 5;
    read(p, QJsonObject{{"values", 3e10}});
    EXPECT_EQ(value, 0);
    value = 5;
    read(p, QJsonObject{{"isRunningShow", true}});
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(p.isRunningShow);
    // Bounds are not applied when reading.
    read(p, QJsonObject{{"values", 5000}});
    EXPECT_EQ(value, 5000);
}

TEST(Descriptors, LineEditFloatWidenedExactly)
{
    float value = 0.1f;
    LineEditCameraParam p(QString(), QString(), false, false, 1, &value, ParamFloat, nullptr, nullptr, nullptr);
    const QJsonObject json = written(p);
    EXPECT_EQ(json.value("values").toDouble(), 0.10000000149011612);
    EXPECT_NE(json.value("values").toDouble(), 0.1);
    EXPECT_TRUE(QJsonDocument(json).toJson(QJsonDocument::Compact).contains("0.10000000149011612"));
    value = 3.0f;
    read(p, json);
    EXPECT_EQ(value, 0.1f);
    read(p, QJsonObject{{"values", "x"}});
    EXPECT_EQ(value, 0.0f);
}

TEST(Descriptors, LineEditDoubleAndString)
{
    double d = 2.5;
    LineEditCameraParam pd(QString(), QString(), false, false, 1, &d, ParamDouble, nullptr, nullptr, nullptr);
    EXPECT_EQ(written(pd), (QJsonObject{{"isRunningShow", false}, {"values", 2.5}}));
    read(pd, QJsonObject{{"values", 0.125}});
    EXPECT_EQ(d, 0.125);
    read(pd, QJsonObject{{"values", true}});
    EXPECT_EQ(d, 0.0);

    QString s = QStringLiteral("曝光");
    LineEditCameraParam ps(QString(), QString(), false, false, 1, &s, ParamString, nullptr, nullptr, nullptr);
    EXPECT_EQ(written(ps), (QJsonObject{{"isRunningShow", false}, {"values", QStringLiteral("曝光")}}));
    read(ps, QJsonObject{{"values", "abc"}});
    EXPECT_EQ(s, QStringLiteral("abc"));
    read(ps, QJsonObject{{"values", 4}});
    EXPECT_TRUE(s.isEmpty());
}

TEST(Descriptors, LineEditUnknownCodeHasNoValueForm)
{
    for (int code : {-1, 5}) {
        SCOPED_TRACE(code);
        int value = 11;
        LineEditCameraParam p(QString(), QString(), false, true, 1, &value, code, nullptr, nullptr, nullptr);
        EXPECT_EQ(p.valueType, code);
        EXPECT_EQ(written(p), (QJsonObject{{"isRunningShow", true}}));
        read(p, QJsonObject{{"values", 3}, {"isRunningShow", false}});
        EXPECT_EQ(value, 11);
        EXPECT_FALSE(p.isRunningShow);
    }
}

TEST(Descriptors, RadioAndCheckBoxArrays)
{
    bool values[2] = {true, false};
    QString names[2] = {QStringLiteral("n0"), QStringLiteral("n1")};
    QString descs[2] = {QStringLiteral("d0"), QStringLiteral("d1")};
    RadioBoxParam radio(QString(), QString(), false, false, 1, values, 2, names, descs);
    CheckBoxParam check(QString(), QString(), false, false, 1, values, 2, names, descs);
    EXPECT_EQ(radio.typeName(), QStringLiteral("RadioBoxParam"));
    EXPECT_EQ(check.typeName(), QStringLiteral("CheckBoxParam"));
    EXPECT_EQ(check.count, 2);
    EXPECT_EQ(check.names, names);
    EXPECT_EQ(check.descriptions, descs);
    EXPECT_EQ(check.values, values);

    const QJsonObject expected{{"isRunningShow", false}, {"values", QJsonArray{true, false}}};
    EXPECT_EQ(written(radio), expected);
    EXPECT_EQ(written(check), expected);

    read(check, QJsonObject{{"values", QJsonArray{false, true}}});
    EXPECT_FALSE(values[0]);
    EXPECT_TRUE(values[1]);
    read(check, expected);
    EXPECT_TRUE(values[0]);
    EXPECT_FALSE(values[1]);

    values[1] = true;
    read(check, QJsonObject{{"values", QJsonArray{true}}});
    EXPECT_TRUE(values[0]);
    EXPECT_FALSE(values[1]);

    read(check, QJsonObject{{"values", QJsonArray{false, true, false}}});
    EXPECT_FALSE(values[0]);
    EXPECT_TRUE(values[1]);

    read(radio, QJsonObject{{"values", QJsonArray{1, "true"}}});
    EXPECT_FALSE(values[0]);
    EXPECT_FALSE(values[1]);

    values[0] = values[1] = true;
    read(check, QJsonObject{{"values", 1}});
    EXPECT_FALSE(values[0]);
    EXPECT_FALSE(values[1]);

    values[0] = true;
    read(check, QJsonObject{{"isRunningShow", true}});
    EXPECT_TRUE(values[0]);
    EXPECT_TRUE(check.isRunningShow);
}

TEST(Descriptors, CheckBoxWithoutOptionsWritesEmptyArray)
{
    CheckBoxParam p(QString(), QString(), false, false, 1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(written(p), (QJsonObject{{"isRunningShow", false}, {"values", QJsonArray{}}}));
    read(p, QJsonObject{{"values", QJsonArray{true}}});
}

TEST(Descriptors, ComboBoxIndex)
{
    int index = 1;
    QString names[3] = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    ComboBoxParam p(QStringLiteral("l"), QStringLiteral("d"), false, false, 1, &index, 3, names, names);
    EXPECT_EQ(p.typeName(), QStringLiteral("ComboBoxParam"));
    EXPECT_EQ(p.count, 3);
    EXPECT_EQ(p.names, names);
    EXPECT_EQ(p.descriptions, names);
    EXPECT_EQ(p.selectedIndex, &index);
    EXPECT_EQ(written(p), (QJsonObject{{"isRunningShow", false}, {"selectedIndex", 1}}));

    read(p, QJsonObject{{"selectedIndex", 2}});
    EXPECT_EQ(index, 2);
    read(p, written(p));
    EXPECT_EQ(index, 2);
    read(p, QJsonObject{{"selectedIndex", 7}});
    EXPECT_EQ(index, 7);
    read(p, QJsonObject{{"isRunningShow", true}, {"values", 1}});
    EXPECT_EQ(index, 7);
    EXPECT_TRUE(p.isRunningShow);
    read(p, QJsonObject{{"selectedIndex", 1.5}});
    EXPECT_EQ(index, 0);
}

TEST(Descriptors, DeletedThroughBaseReleasesOnlyTexts)
{
    int index = 0;
    QString names[1] = {QStringLiteral("only")};
    ParamWrap *p = new ComboBoxParam(QStringLiteral("l"), QStringLiteral("d"), false, false, 1, &index, 1,
                                     names, names);
    delete p;
    EXPECT_EQ(names[0], QStringLiteral("only"));
}
