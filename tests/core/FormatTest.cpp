#include "core/FormatSettings.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace {

struct FloatCase
{
    double rValue;
    int iPrecision;
    const char* sExpected;
    friend void PrintTo(const FloatCase& c, std::ostream* os) { *os << c.sExpected; }
};

class FloatToStrGTest : public ::testing::TestWithParam<FloatCase>
{};

TEST_P(FloatToStrGTest, WritesGeneralForm)
{
    const FloatCase& c = GetParam();
    EXPECT_EQ(FloatToStrG(c.rValue, c.iPrecision, QLatin1Char('.')).toStdString(), c.sExpected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FloatToStrGTest,
                         ::testing::Values(FloatCase{0.0, 15, "0"}, FloatCase{0.1, 15, "0.1"},
                                           FloatCase{1.0 / 3.0, 15, "0.333333333333333"},
                                           FloatCase{1e-5, 15, "1E-005"}, FloatCase{1.5e-7, 15, "1.5E-007"},
                                           FloatCase{1e20, 15, "1E020"}, FloatCase{123456, 5, "1.2346E005"},
                                           FloatCase{0.0001, 15, "0.0001"}, FloatCase{2.5, 15, "2.5"},
                                           FloatCase{100, 15, "100"}, FloatCase{-2.5, 15, "-2.5"},
                                           FloatCase{99999, 5, "99999"}, FloatCase{999999, 5, "1E006"},
                                           FloatCase{1e14, 15, "100000000000000"},
                                           FloatCase{1e15, 15, "1E015"}, FloatCase{1e16, 15, "1E016"},
                                           FloatCase{4.98, 15, "4.98"}, FloatCase{-0.000123, 15, "-0.000123"},
                                           FloatCase{std::numeric_limits<double>::infinity(), 15, "INF"},
                                           FloatCase{-std::numeric_limits<double>::infinity(), 15, "-INF"},
                                           FloatCase{std::nan(""), 15, "NAN"}));

TEST(FloatToStrG, UsesTheApplicationDecimalSeparator)
{
    TFormatSettings::App().cDecimalSeparator = QLatin1Char(',');
    EXPECT_EQ(FloatToStrG(1.5), QStringLiteral("1,5"));
    EXPECT_EQ(Format(QStringLiteral("%g <= %.3f"), {2.25, 1.0}), QStringLiteral("2,25 <= 1,000"));
    TFormatSettings::ResetApp();
    EXPECT_EQ(FloatToStrG(1.5), QStringLiteral("1.5"));
}

struct FormatCase
{
    const char* sFormat;
    std::vector<TFormatArg> args;
    const char* sExpected;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.sFormat; }
};

class FormatTest : public ::testing::TestWithParam<FormatCase>
{};

TEST_P(FormatTest, FormatsPlaceholders)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(Format(QString::fromUtf8(c.sFormat), c.args).toStdString(), c.sExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatTest,
    ::testing::Values(
        FormatCase{"Test case \"%s\" not found!", {"Case 1"}, "Test case \"Case 1\" not found!"},
        FormatCase{"%d and %d", {-12, 7}, "-12 and 7"}, FormatCase{"%.6d", {42}, "000042"},
        FormatCase{"%.3d", {-7}, "-007"}, FormatCase{"SN-%x", {255}, "SN-FF"}, FormatCase{"%.2x", {10}, "0A"},
        FormatCase{"%.6X", {0x1aU}, "00001A"}, FormatCase{"%.6x:%d", {0x1010A0AU, 2}, "1010A0A:2"},
        FormatCase{"%x", {-1}, "FFFFFFFF"}, FormatCase{"%5d|%-5d|", {3, 4}, "    3|4    |"},
        FormatCase{"%u", {-1}, "4294967295"}, FormatCase{"100%%", {}, "100%"},
        FormatCase{"%.2s", {"abc"}, "ab"}, FormatCase{"%1:s %0:s", {"a", "b"}, "b a"},
        FormatCase{"%f", {1.005}, "1.00"}, FormatCase{"%.1f", {-0.04}, "0.0"},
        FormatCase{"%e", {1234.5}, "1.23450000000000E+003"}, FormatCase{"%.3e", {0.001}, "1.00E-003"},
        FormatCase{"%n", {1234567.891}, "1,234,567.89"}, FormatCase{"%*d", {4, 1}, "   1"}));

TEST(Format, RaisesForArgumentsThatDoNotFit)
{
    try {
        Format(QStringLiteral("%s"), {7});
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Format '%s' invalid or incompatible with argument"));
    }
    try {
        Format(QStringLiteral("%d %d"), {7});
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("No argument for format '%d %d'"));
    }
    EXPECT_THROW(Format(QStringLiteral("%d"), {1.5}), EConvertError);
    EXPECT_THROW(Format(QStringLiteral("%g"), {1}), EConvertError);
    EXPECT_THROW(Format(QStringLiteral("%q"), {1}), EConvertError);
    EXPECT_THROW(Format(QStringLiteral("abc%"), {1}), EConvertError);
}

} // namespace
