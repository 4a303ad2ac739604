// Reading and writing descriptor values as the editor does, without widgets:
// every kind and value type, missing pointers, and the comparisons and
// texts that decide and show a mark.

#include "paramvalues.h"
#include "paramwrap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ParamValues, ReadAndWriteEachValueType)
{
    bool flag = true;
    qint32 count = 7;
    float gain = 1.5f;
    double ratio = 0.25;
    QString name = QStringLiteral("first");
    LineEditCameraParam flagP(QStringLiteral("f"), QString(), false, false, 0, &flag, ParamBool, nullptr, nullptr, nullptr);
    LineEditCameraParam countP(QStringLiteral("c"), QString(), false, false, 0, &count, ParamInt, nullptr, nullptr, nullptr);
    LineEditCameraParam gainP(QStringLiteral("g"), QString(), false, false, 0, &gain, ParamFloat, nullptr, nullptr, nullptr);
    LineEditCameraParam ratioP(QStringLiteral("r"), QString(), false, false, 0, &ratio, ParamDouble, nullptr, nullptr,
                               nullptr);
    LineEditCameraParam nameP(QStringLiteral("n"), QString(), false, false, 0, &name, ParamString, nullptr, nullptr,
                              nullptr);

    EXPECT_EQ(readParamValue(&flagP), QVariant(true));
    EXPECT_EQ(readParamValue(&countP), QVariant(7));
    EXPECT_EQ(readParamValue(&gainP), QVariant(1.5));  // widened to double
    EXPECT_EQ(readParamValue(&ratioP), QVariant(0.25));
    EXPECT_EQ(readParamValue(&nameP), QVariant(QStringLiteral("first")));

    EXPECT_TRUE(writeParamValue(&flagP, false));
    EXPECT_TRUE(writeParamValue(&countP, 12));
    EXPECT_TRUE(writeParamValue(&gainP, 2.75));
    EXPECT_TRUE(writeParamValue(&ratioP, 0.125));
    EXPECT_TRUE(writeParamValue(&nameP, QStringLiteral("second")));
    EXPECT_FALSE(flag);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(gain, 2.75f);
    EXPECT_EQ(ratio, 0.125);
    EXPECT_EQ(name, QStringLiteral("second"));

    // Nothing to read or write through: no value, or a type without an editor.
    LineEditCameraParam none(QStringLiteral("x"), QString(), false, false, 0, nullptr, ParamInt, nullptr, nullptr, nullptr);
    LineEditCameraParam odd(QStringLiteral("o"), QString(), false, false, 0, &count, 9, nullptr, nullptr, nullptr);
    EXPECT_FALSE(readParamValue(&none).isValid());
    EXPECT_FALSE(readParamValue(&odd).isValid());
    EXPECT_FALSE(writeParamValue(&none, 1));
    EXPECT_FALSE(writeParamValue(&odd, 1));
    EXPECT_FALSE(writeParamValue(nullptr, 1));
    EXPECT_EQ(count, 12);
    SeparateParam heading(QStringLiteral("h"), QString(), false, false);
    EXPECT_FALSE(readParamValue(&heading).isValid());
    EXPECT_FALSE(readParamValue(nullptr).isValid());
}

TEST(ParamValues, OptionsAndChoices)
{
    bool values[3] = {true, false, true};
    QString names[3] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    CheckBoxParam checks(QStringLiteral("k"), QString(), false, false, 0, values, 3, names, nullptr);
    EXPECT_EQ(readParamValue(&checks), (QVariantList{true, false, true}));
    // Check boxes: one option changes, the others stay.
    EXPECT_EQ(setParamOption(&checks, 1, true, false), (QVariantList{true, true, true}));
    EXPECT_EQ(setParamOption(&checks, 0, false, false), (QVariantList{false, true, true}));
    // A radio row: the chosen option alone.
    RadioBoxParam radio(QStringLiteral("r"), QString(), false, false, 0, values, 3, names, nullptr);
    EXPECT_EQ(setParamOption(&radio, 2, true, true), (QVariantList{false, false, true}));
    EXPECT_EQ(readParamValue(&radio), (QVariantList{false, false, true}));

    int selected = 1;
    ComboBoxParam combo(QStringLiteral("c"), QString(), false, false, 0, &selected, 3, names, nullptr);
    EXPECT_EQ(readParamValue(&combo), QVariant(1));
    ComboBoxParam unset(QStringLiteral("u"), QString(), false, false, 0, nullptr, 3, names, nullptr);
    EXPECT_FALSE(readParamValue(&unset).isValid());
}

TEST(ParamValues, LimitsWithTheirDefaults)
{
    qint32 v = 0, lo = -5, hi = 50, step = 5;
    LineEditCameraParam full(QStringLiteral("i"), QString(), false, false, 0, &v, ParamInt, &lo, &hi, &step);
    const IntLimits i = intLimits(&full);
    EXPECT_EQ(i.min, -5);
    EXPECT_EQ(i.max, 50);
    EXPECT_EQ(i.step, 5);
    LineEditCameraParam bare(QStringLiteral("b"), QString(), false, false, 0, &v, ParamInt, nullptr, nullptr, nullptr);
    const IntLimits d = intLimits(&bare);
    EXPECT_EQ(d.min, std::numeric_limits<qint32>::min());
    EXPECT_EQ(d.max, std::numeric_limits<qint32>::max());
    EXPECT_EQ(d.step, 1);

    float f = 1, fmin = 0.02f, fstep = 0.1f;
    LineEditCameraParam real(QStringLiteral("r"), QString(), false, false, 0, &f, ParamFloat, &fmin, nullptr, &fstep);
    const RealLimits r = realLimits(&real);
    EXPECT_DOUBLE_EQ(r.min, double(0.02f));
    EXPECT_EQ(r.max, 1e12);
    EXPECT_DOUBLE_EQ(r.step, double(0.1f));
    double x = 0;
    LineEditCameraParam bareReal(QStringLiteral("d"), QString(), false, false, 0, &x, ParamDouble, nullptr, nullptr,
                                 nullptr);
    EXPECT_EQ(realLimits(&bareReal).min, -1e12);
    EXPECT_EQ(realLimits(&bareReal).step, 0.1);
}

TEST(ParamValues, ComparisonsTextsAndDecimals)
{
    // A float read back in single precision is the value asked for.
    EXPECT_TRUE(sameValue(QVariant(double(0.1f)), QVariant(0.1)));
    EXPECT_FALSE(sameValue(QVariant(0.1), QVariant(0.11)));
    EXPECT_TRUE(sameValue(QVariant(qlonglong(32)), QVariant(32)));
    EXPECT_FALSE(sameValue(QVariant(qlonglong(99)), QVariant(32)));
    EXPECT_TRUE(sameValue(QVariant(true), QVariant(1)));
    EXPECT_FALSE(sameValue(QVariant(QStringLiteral("a")), QVariant(QStringLiteral("b"))));
    EXPECT_FALSE(sameValue(QVariant(QVariantList{true, false}), QVariant(QVariantList{true, true})));

    EXPECT_EQ(valueText(QVariant(QVariantList{true, false, true})), QStringLiteral("on off on"));
    EXPECT_EQ(valueText(QVariant(double(0.1f))), QStringLiteral("0.1"));
    EXPECT_EQ(valueText(QVariant(qlonglong(99))), QStringLiteral("99"));

    EXPECT_EQ(decimalsFor({0.1, 0.02, 100.0}), 2);  // the limit needs more than the step
    EXPECT_EQ(decimalsFor({1.0, 0.0, 10.0}), 1);    // at least one
    EXPECT_EQ(decimalsFor({double(0.01f), 0.0, 1.0}), 2);
    EXPECT_EQ(decimalsFor({0.0001234}), 6);  // at most six
    EXPECT_EQ(decimalsFor({0.5, -1e12, 1e12, std::nan("")}), 1);
}

} // namespace
