#include "core/DateTimeFormat.h"
#include "core/FormatSettings.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct PatternCase
{
    const char* sPattern;
    const char* sExpected;
    friend void PrintTo(const PatternCase& c, std::ostream* os) { *os << c.sPattern; }
};

class DateTimeFormatTest : public ::testing::TestWithParam<PatternCase>
{
protected:
    void SetUp() override
    {
        TFormatSettings& settings = TFormatSettings::App();
        settings.cDateSeparator = QLatin1Char('.');
        settings.cTimeSeparator = QLatin1Char(':');
        settings.sShortDateFormat = QStringLiteral("dd/mm/yyyy");
    }
    void TearDown() override { TFormatSettings::ResetApp(); }
};

TEST_P(DateTimeFormatTest, Formats)
{
    // Monday, 3 February 2025, 14:05:07.009
    const QDateTime when(QDate(2025, 2, 3), QTime(14, 5, 7, 9));
    EXPECT_EQ(FormatDateTime(QString::fromUtf8(GetParam().sPattern), when).toStdString(),
              GetParam().sExpected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DateTimeFormatTest,
                         ::testing::Values(PatternCase{"yyyy-mm-dd hh:nn:ss", "2025-02-03 14:05:07"},
                                           PatternCase{"YYMMDD", "250203"}, PatternCase{"yyyy", "2025"},
                                           PatternCase{"d.m.yy", "3.2.25"}, PatternCase{"hh:mm", "14:05"},
                                           PatternCase{"h:m:s", "14:5:7"}, PatternCase{"z zzz", "9 009"},
                                           PatternCase{"hh:nn am/pm", "02:05 pm"},
                                           PatternCase{"h A/P", "2 P"}, PatternCase{"ddd dddd", "Mon Monday"},
                                           PatternCase{"mmm mmmm", "Feb February"},
                                           PatternCase{"dd/mm", "03.02"},
                                           PatternCase{"'yyyy' \"hh\" yy", "yyyy hh 25"},
                                           PatternCase{"ddddd", "03.02.2025"}, PatternCase{"Log_#", "Log_#"},
                                           PatternCase{"", ""}));

TEST(DateTimeFormat, UnterminatedQuoteIsAnError)
{
    EXPECT_THROW(FormatDateTime(QStringLiteral("yyyy 'open"), QDateTime::currentDateTime()), EConvertError);
}

TEST(DateTimeFormat, MidnightOnTheTwelveHourClock)
{
    const QDateTime midnight(QDate(2025, 1, 1), QTime(0, 30));
    EXPECT_EQ(FormatDateTime(QStringLiteral("h:nn AM/PM"), midnight), QStringLiteral("12:30 AM"));
}

} // namespace
