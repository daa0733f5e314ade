#include "core/CommaSeparatedValue.h"
#include "core/FormatSettings.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

#include <ostream>
#include <typeinfo>
#include <vector>

namespace {

// Runs aCall and returns the exception it raised, so that type and text can both be checked.
template <typename TCall>
std::pair<const std::type_info*, QString> Raised(TCall aCall)
{
    try {
        aCall();
    } catch (const EError& e) {
        return {&typeid(e), e.Message()};
    }
    return {nullptr, QString()};
}

TCommaSeparatedValue Split(const QString& sParameter)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(sParameter + csv.Separator());
    return csv;
}

struct SplitCase
{
    const char* sParameter; // before the caller's separator is appended
    std::vector<const char*> fields;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.sParameter; }
};

class CsvSplit : public ::testing::TestWithParam<SplitCase>
{};

TEST_P(CsvSplit, FieldsEndAtSeparatorsOutsideQuotes)
{
    const TCommaSeparatedValue csv = Split(QString::fromUtf8(GetParam().sParameter));
    std::vector<std::string> fields;
    for (int i = 0; i < csv.ValueCount(); ++i)
        fields.push_back(csv.GetValue(i).toStdString());
    EXPECT_EQ(fields, std::vector<std::string>(GetParam().fields.begin(), GetParam().fields.end()));
}

INSTANTIATE_TEST_SUITE_P(Lines, CsvSplit,
                         ::testing::Values(SplitCase{"", {""}}, SplitCase{"x;", {"x", ""}},
                                           SplitCase{"a;\"b;c", {"a"}},
                                           SplitCase{"  \"a;b\"  ", {"  \"a;b\"  "}},
                                           SplitCase{"\"Label\xC2\xA7"
                                                     "Col\"; 5 ;\"x;y\";",
                                                     {"\"Label\xC2\xA7"
                                                      "Col\"",
                                                      " 5 ", "\"x;y\"", ""}},
                                           SplitCase{"\"\";;\"a\"\"b\"", {"\"\"", "", "\"a\"\"b\""}},
                                           SplitCase{";;", {"", "", ""}}));

TEST(CommaSeparatedValue, TextAfterTheLastSeparatorIsDropped)
{
    TCommaSeparatedValue csv;
    csv.SetStringLine(QStringLiteral("a;b"));
    EXPECT_EQ(csv.ValueCount(), 1);
    EXPECT_EQ(csv.StringLine(), QStringLiteral("a;b"));
    // The list is rebuilt, not extended, by the next line.
    csv.SetStringLine(QStringLiteral("c;"));
    ASSERT_EQ(csv.ValueCount(), 1);
    EXPECT_EQ(csv.GetValue(0), QStringLiteral("c"));
}

TEST(CommaSeparatedValue, EmptyFieldsAreNullAndBlankFieldsEmpty)
{
    // Callers tell an omitted parameter from one written as blanks.
    const TCommaSeparatedValue csv = Split(QStringLiteral(";  ;x"));
    ASSERT_EQ(csv.ValueCount(), 3);
    EXPECT_TRUE(csv.GetValue(0).isNull());
    EXPECT_TRUE(csv.GetValueTrimmed(0).isNull());
    EXPECT_FALSE(csv.GetValueTrimmed(1).isNull());
    EXPECT_TRUE(csv.GetValueTrimmed(1).isEmpty());
    EXPECT_EQ(csv.GetValueTrimmed(2), QStringLiteral("x"));
}

TEST(CommaSeparatedValue, IndexOutsideTheListIsAPlainError)
{
    const TCommaSeparatedValue csv = Split(QStringLiteral("a;b"));
    for (const int iIndex : {2, 3, -1}) {
        const auto raised = Raised([&] { csv.GetValue(iIndex); });
        ASSERT_NE(raised.first, nullptr) << iIndex;
        EXPECT_EQ(*raised.first, typeid(EError));
        EXPECT_EQ(raised.second, QStringLiteral("Invalid csv index %1 to list count 2!").arg(iIndex));
    }
    EXPECT_THROW(csv.GetInteger(5), EError);
    EXPECT_THROW(csv.GetString(5), EError);
}

TEST(CommaSeparatedValue, StringFormsOfAField)
{
    struct Case
    {
        QString sField, sTrimmed, sString, sStringTrimmed;
    };
    const Case cases[] = {
        {QStringLiteral("  \"a;b\"  "), QStringLiteral("\"a;b\""), QStringLiteral("a;b"),
         QStringLiteral("a;b")},
        {QStringLiteral("ab\"cd;e\" f"), QStringLiteral("ab\"cd;e\" f"), QStringLiteral("cd;e"),
         QStringLiteral("cd;e")},
        {QStringLiteral("x\"in\"y"), QStringLiteral("x\"in\"y"), QStringLiteral("in"), QStringLiteral("in")},
        {QStringLiteral("\" pad \""), QStringLiteral("\" pad \""), QStringLiteral(" pad "),
         QStringLiteral("pad")},
        {QStringLiteral("\t plain\r "), QStringLiteral("plain"), QStringLiteral("plain"),
         QStringLiteral("plain")},
        {QStringLiteral("\"\""), QStringLiteral("\"\""), QString(), QString()},
    };
    for (const Case& c : cases) {
        const TCommaSeparatedValue csv = Split(c.sField);
        ASSERT_EQ(csv.ValueCount(), 1) << c.sField.toStdString();
        EXPECT_EQ(csv.GetValue(0), c.sField);
        EXPECT_EQ(csv.GetValueTrimmed(0), c.sTrimmed) << c.sField.toStdString();
        EXPECT_EQ(csv.GetString(0), c.sString) << c.sField.toStdString();
        EXPECT_EQ(csv.GetStringTrimmed(0), c.sStringTrimmed) << c.sField.toStdString();
    }
}

TEST(CommaSeparatedValue, IntegerForms)
{
    const std::pair<QString, int> valid[] = {
        {QStringLiteral("$1F"), 31},
        {QStringLiteral("0x1F"), 31},
        {QStringLiteral("0X1f"), 31},
        {QStringLiteral("x1f"), 31},
        {QStringLiteral("X10"), 16},
        {QStringLiteral("-12"), -12},
        {QStringLiteral("12 "), 12},
        {QStringLiteral("+7"), 7},
        {QStringLiteral("007"), 7},
        {QStringLiteral("2147483647"), 2147483647},
        {QStringLiteral("-2147483648"), -2147483647 - 1},
        {QStringLiteral("$FFFFFFFF"), -1},
        {QStringLiteral("-$10"), -16},
        {QStringLiteral("0"), 0},
        {QStringLiteral("0000000000000000000001"), 1},
    };
    for (const auto& [sField, iExpected] : valid) {
        const TCommaSeparatedValue csv = Split(sField);
        EXPECT_EQ(csv.GetInteger(0), iExpected) << sField.toStdString();
    }

    const QString invalid[] = {QString(),
                               QStringLiteral("12a"),
                               QStringLiteral("1 2"),
                               QStringLiteral("$"),
                               QStringLiteral("0x"),
                               QStringLiteral("-"),
                               QStringLiteral("1.5"),
                               QStringLiteral("--1"),
                               QStringLiteral("$-1"),
                               QStringLiteral("2147483648"),
                               QStringLiteral("-2147483649"),
                               QStringLiteral("$100000000"),
                               QStringLiteral("99999999999999999999999999"),
                               QStringLiteral("\"5\"")};
    for (const QString& sField : invalid) {
        const TCommaSeparatedValue csv = Split(sField);
        const auto raised = Raised([&] { csv.GetInteger(0); });
        ASSERT_NE(raised.first, nullptr) << sField.toStdString();
        EXPECT_EQ(*raised.first, typeid(EConvertError));
        EXPECT_EQ(raised.second, QStringLiteral("'%1' is not a valid integer value").arg(sField));
    }
}

class CsvFloat : public ::testing::Test
{
protected:
    void TearDown() override { TFormatSettings::ResetApp(); }

    static double Float(const QString& sField) { return Split(sField).GetFloat(0); }
    static QString FloatError(const QString& sField)
    {
        const auto raised = Raised([&] { Float(sField); });
        if (raised.first == nullptr)
            return QStringLiteral("no error");
        EXPECT_EQ(*raised.first, typeid(EConvertError));
        return raised.second;
    }
};

TEST_F(CsvFloat, UsesTheApplicationDecimalSeparator)
{
    TFormatSettings::App().cDecimalSeparator = QLatin1Char('.');
    EXPECT_DOUBLE_EQ(Float(QStringLiteral(" 1.5 ")), 1.5);
    EXPECT_DOUBLE_EQ(Float(QStringLiteral("-2")), -2.0);
    EXPECT_DOUBLE_EQ(Float(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(Float(QStringLiteral("5.")), 5.0);
    EXPECT_DOUBLE_EQ(Float(QStringLiteral("+1.5e3")), 1500.0);
    EXPECT_DOUBLE_EQ(Float(QStringLiteral("1E-3")), 0.001);
    EXPECT_EQ(FloatError(QStringLiteral("1,5")), QStringLiteral("'1,5' is not a valid floating point value"));

    TFormatSettings::App().cDecimalSeparator = QLatin1Char(',');
    EXPECT_DOUBLE_EQ(Float(QStringLiteral("1,5")), 1.5);
    EXPECT_EQ(FloatError(QStringLiteral("1.5")), QStringLiteral("'1.5' is not a valid floating point value"));
}

TEST_F(CsvFloat, RejectsOtherForms)
{
    TFormatSettings::App().cDecimalSeparator = QLatin1Char('.');
    for (const QString& sField :
         {QString(), QStringLiteral("."), QStringLiteral("1.5."), QStringLiteral("e3"), QStringLiteral("1e"),
          QStringLiteral("1e+"), QStringLiteral("abc"), QStringLiteral("1 000"), QStringLiteral("1e999"),
          QStringLiteral("nan"), QStringLiteral("inf"), QStringLiteral("0x10"), QStringLiteral("1.5x")}) {
        EXPECT_EQ(FloatError(sField), QStringLiteral("'%1' is not a valid floating point value").arg(sField));
    }
    // Too small to represent is zero, not an error.
    EXPECT_EQ(Float(QStringLiteral("1e-999")), 0.0);
}

} // namespace
