#include "core/StrUtilsEx.h"
#include "core/FormatSettings.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(StrUtilsEx, EscapeTextShowsControlBytes)
{
    EXPECT_EQ(EscapeText(QStringLiteral("OK\r\n")), QStringLiteral("OK\\0D\\0A"));
    EXPECT_EQ(EscapeText(QStringLiteral("a\\b")), QStringLiteral("a\\5Cb"));
    EXPECT_EQ(EscapeText(QString(QChar(0x85)) + QChar(0xE4)), QStringLiteral("\\85") + QChar(0xE4));
    EXPECT_EQ(HexDump(QStringLiteral("AB")), QStringLiteral("41 42"));
    EXPECT_EQ(HexDump(QString(QChar(0x2))), QStringLiteral("02"));
}

TEST(StrUtilsEx, BytesAndTextRoundTrip)
{
    QByteArray aBytes;
    const QString sText = QString(QChar(0)) + QChar(0xFF) + QStringLiteral("z");
    EXPECT_EQ(TextToBytes(sText, aBytes), 3);
    EXPECT_EQ(aBytes, QByteArray("\x00\xFFz", 3));
    EXPECT_EQ(BytesToText(aBytes), sText);
    EXPECT_EQ(TextToBytes(QStringLiteral("ab") + QChar(0x20AC), aBytes), -3);
}

TEST(StrUtilsEx, FillPattern)
{
    EXPECT_EQ(FillPattern(QStringLiteral("1234"), QStringLiteral("##-##")), QStringLiteral("12-34"));
    EXPECT_EQ(FillPattern(QStringLiteral("123456"), QStringLiteral("##-##")), QStringLiteral("12-3456"));
    EXPECT_EQ(FillPattern(QStringLiteral("12"), QStringLiteral("##-##")), QStringLiteral("12-##"));
}

TEST(StrUtilsEx, ExtractionHelpers)
{
    EXPECT_EQ(ExtractBracketed(QStringLiteral("Sys.Delay(\"x\";(5))"), QLatin1Char('('), QLatin1Char(')')),
              QStringLiteral("\"x\";(5)"));
    EXPECT_EQ(ExtractBracketed(QStringLiteral("a(b"), QLatin1Char('('), QLatin1Char(')')), QString());
    EXPECT_EQ(ExtractBetween(QStringLiteral("#include \"a.inc\" x"), QLatin1Char('"')),
              QStringLiteral("a.inc"));
    EXPECT_EQ(ExtractBetween(QStringLiteral("#include \"a.inc"), QLatin1Char('"')), QString());
    EXPECT_EQ(Unquote(QStringLiteral("x\"ab\"y"), QLatin1Char('"')), QStringLiteral("ab"));
    EXPECT_EQ(Unquote(QStringLiteral("x\"ab"), QLatin1Char('"')), QStringLiteral("ab"));
    EXPECT_EQ(Unquote(QStringLiteral("plain"), QLatin1Char('"')), QStringLiteral("plain"));
    EXPECT_EQ(TextBefore(QStringLiteral("a=b"), QStringLiteral("=")), QStringLiteral("a"));
    EXPECT_EQ(TextBefore(QStringLiteral("ab"), QStringLiteral("=")), QStringLiteral("ab"));
    EXPECT_EQ(TextAfter(QStringLiteral("a= b "), QStringLiteral("=")), QStringLiteral("b"));
    EXPECT_EQ(TextAfter(QStringLiteral("a:=b"), QStringLiteral(":=")), QStringLiteral("=b"));
    EXPECT_EQ(FirstBlank(QStringLiteral("ab\tc d")), 3);
    EXPECT_EQ(FirstBlank(QStringLiteral("abc")), 0);
}

TEST(StrUtilsEx, SplitDirective)
{
    QString sFirst, sRest;
    EXPECT_TRUE(SplitDirective(QStringLiteral("#define  Name   some value "), QStringLiteral("#define"),
                               sFirst, sRest));
    EXPECT_EQ(sFirst, QStringLiteral("Name"));
    EXPECT_EQ(sRest, QStringLiteral("some value"));
    EXPECT_FALSE(SplitDirective(QStringLiteral("#ifdef  Name "), QStringLiteral("#ifdef"), sFirst, sRest));
    EXPECT_EQ(sFirst, QStringLiteral("Name"));
}

TEST(StrUtilsEx, RemoveThousandSeparators)
{
    TFormatSettings::App().cThousandSeparator = QLatin1Char('\'');
    QString s = QStringLiteral("1'000'000");
    EXPECT_TRUE(RemoveThousandSeparators(s));
    EXPECT_EQ(s, QStringLiteral("1000000"));
    EXPECT_FALSE(RemoveThousandSeparators(s));
    TFormatSettings::ResetApp();
}

class ResolveFileNameTest : public ::testing::Test
{
protected:
    void TearDown() override { TRegIO::InstanceRelease(); }

    const QString sProgramDir = QCoreApplication::applicationDirPath();
};

TEST_F(ResolveFileNameTest, PrefixesChooseTheBase)
{
    TRegIO::Instance().SetLastFile(QStringLiteral("/defs/line 3/board.TZD"));
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("TZK:sub\\..\\a.txt"), sProgramDir + QStringLiteral("/a.txt")},
        {QStringLiteral("a.txt"), sProgramDir + QStringLiteral("/a.txt")},
        {QStringLiteral("\"TZK:x\\y.wav\""), sProgramDir + QStringLiteral("/x/y.wav")},
        {QStringLiteral("TZD:inc/./a.txt"), QStringLiteral("/defs/line 3/inc/a.txt")},
        {QStringLiteral("TZD:..\\ids.txt"), QStringLiteral("/defs/ids.txt")},
        // Prefixes are case-sensitive: this is a plain relative name.
        {QStringLiteral("tzd:a.txt"), sProgramDir + QStringLiteral("/tzd:a.txt")},
        {QStringLiteral("/data/./logs/../v.csv"), QStringLiteral("/data/v.csv")},
        {QStringLiteral("TZD:/data/v.csv"), QStringLiteral("/data/v.csv")},
        {QStringLiteral("C:\\x\\a.txt"), QStringLiteral("C:\\x\\a.txt")},
        {QStringLiteral("TZK:d:/x/../a.txt"), QStringLiteral("d:/x/../a.txt")},
    };
    for (const auto& [sName, sExpected] : cases)
        EXPECT_EQ(ResolveFileName(sName, false), sExpected) << sName.toStdString();
}

TEST_F(ResolveFileNameTest, NoLoadedDefinitionMeansTheWorkingDirectory)
{
    EXPECT_EQ(ResolveFileName(QStringLiteral("TZD:a.txt"), false),
              QDir::currentPath() + QStringLiteral("/a.txt"));
}

TEST_F(ResolveFileNameTest, MustExist)
{
    const TTestDir dir;
    const QString sDefinition = dir.WriteText(QStringLiteral("main.TZD"), QStringLiteral("x"));
    const QString sIds = dir.WriteText(QStringLiteral("ids/serial.txt"), QStringLiteral("1"));
    TRegIO::Instance().SetLastFile(sDefinition);
    EXPECT_EQ(ResolveFileName(QStringLiteral("TZD:ids\\serial.txt"), true), sIds);

    for (const QString& sName : {QStringLiteral("TZD:ids\\missing.txt"), QStringLiteral("TZD:ids")}) {
        try {
            ResolveFileName(sName, true);
            ADD_FAILURE() << "no error for " << sName.toStdString();
        } catch (const EMsg& e) {
            const QString sPath =
                QDir::cleanPath(dir.Path() + QLatin1Char('/') + sName.mid(4).replace('\\', '/'));
            EXPECT_EQ(e.Text(), QStringLiteral("File not found: \"%1\"").arg(sPath));
            EXPECT_EQ(e.Id(), TMsgId(0x02010A));
            EXPECT_EQ(e.Value(), 0);
        }
    }
}

TEST_F(ResolveFileNameTest, PathBeyondThePlatformLimitIsEmpty)
{
    const QString sFits = QStringLiteral("/") + QString(PATH_MAX - 2, QLatin1Char('a'));
    EXPECT_EQ(ResolveFileName(sFits, false), sFits);
    const QString sTooLong = sFits + QLatin1Char('a');
    EXPECT_EQ(ResolveFileName(sTooLong, false), QString());
    EXPECT_THROW(ResolveFileName(sTooLong, true), EMsg);
}

class DateTimeTags : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TFormatSettings& settings = TFormatSettings::App();
        settings.cDateSeparator = QLatin1Char('.');
        settings.cTimeSeparator = QLatin1Char(':');
        settings.sShortDateFormat = QStringLiteral("dd/mm/yyyy");
        settings.sLongTimeFormat = QStringLiteral("hh:nn:ss");
    }
    void TearDown() override { TFormatSettings::ResetApp(); }
};

TEST_F(DateTimeTags, ReplacesLongerTagsFirst)
{
    // Monday, 3 February 2025: ISO week 6.
    const QDateTime when(QDate(2025, 2, 3), QTime(14, 5, 7));
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("%D.%M.%YY"), QStringLiteral("3.2.25")},
        {QStringLiteral("%DD.%MM.%YYYY"), QStringLiteral("03.02.2025")},
        {QStringLiteral("Date: %DATE %TIME"), QStringLiteral("Date: 03.02.2025 14:05:07")},
        {QStringLiteral("%DATE%D"), QStringLiteral("03.02.20253")},
        {QStringLiteral("KW%WW/%W"), QStringLiteral("KW06/6")},
        {QStringLiteral("%d %date %Y 100%"), QStringLiteral("%d %date %Y 100%")},
    };
    for (const auto& [sText, sExpected] : cases)
        EXPECT_EQ(InsertDateTimeTags(sText, when), sExpected) << sText.toStdString();
}

TEST_F(DateTimeTags, YearAndIsoWeekAtTheTurnOfTheYear)
{
    const QString sTags = QStringLiteral("%YY %YYYY %W %WW");
    // Friday 1 January 2021 belongs to week 53 of 2020; Monday 30 December 2024 to week 1 of 2025.
    EXPECT_EQ(InsertDateTimeTags(sTags, QDateTime(QDate(2021, 1, 1), QTime(0, 0))),
              QStringLiteral("21 2021 53 53"));
    EXPECT_EQ(InsertDateTimeTags(sTags, QDateTime(QDate(2024, 12, 30), QTime(0, 0))),
              QStringLiteral("24 2024 1 01"));
    EXPECT_EQ(InsertDateTimeTags(sTags, QDateTime(QDate(2005, 6, 1), QTime(0, 0))),
              QStringLiteral("5 2005 22 22"));
}

struct WildcardCase
{
    const char* sText;
    const char* sPattern;
    bool bMatch;
};

TEST(Wildcard, BothFormsMatchTheWholeText)
{
    const WildcardCase cases[] = {
        {"abc", "a*", true},
        {"abc", "a?c", true},
        {"abc", "*c", true},
        {"abc", "A*", false},
        {"abc", "ab", false},
        {"", "", true},
        {"", "*", true},
        {"", "?", false},
        {"abc", "", false},
        {"abc", "*b*", true},
        {"abc", "*b", false},
        {"abcbc", "*bc", true},
        {"mississippi", "*sip*", true},
        {"mississippi", "m*iss*ppi", true},
        {"aaab", "*a?b", true},
        {"abcd", "a*c", false},
        {"ab", "a**b", true},
        {"a*b", "a?b", true},
        {"abc", "abc*", true},
        {"abc", "abc?", false},
        {"OK 12.5V\r", "OK *V\r", true},
    };
    for (const WildcardCase& c : cases) {
        const QString sText = QString::fromLatin1(c.sText);
        const QString sPattern = QString::fromLatin1(c.sPattern);
        EXPECT_EQ(MatchWildcard(sText, sPattern), c.bMatch) << c.sText << " / " << c.sPattern;
        EXPECT_EQ(MatchWildcardBytes(sText, sPattern), c.bMatch) << c.sText << " / " << c.sPattern;
    }
}

TEST(Wildcard, ByteFormTakesZeroAsACharacter)
{
    const QString sText = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0xE4);
    EXPECT_TRUE(MatchWildcardBytes(sText, QStringLiteral("a?b?")));
    EXPECT_TRUE(MatchWildcardBytes(sText, sText));
    EXPECT_FALSE(MatchWildcardBytes(sText, QStringLiteral("a")));
    EXPECT_FALSE(MatchWildcardBytes(sText, QStringLiteral("a") + QChar(0) + QStringLiteral("c*")));
    EXPECT_TRUE(MatchWildcardBytes(QByteArray("\x02\x00\x03", 3), QByteArray("\x02*\x03", 3)));
}

TEST(Wildcard, TextFormTakesACodePointAsOneCharacter)
{
    const QString sSmiley = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_TRUE(MatchWildcard(sSmiley + QStringLiteral("!"), QStringLiteral("??")));
    EXPECT_FALSE(MatchWildcard(sSmiley, QStringLiteral("??")));
}

TEST(Wildcard, LongInputsNeedNoRecursion)
{
    // Deep enough to exhaust the stack of a matcher that recurses per character.
    const QString sText = QString(1000000, QLatin1Char('a'));
    EXPECT_TRUE(MatchWildcard(sText, QStringLiteral("*a*a?")));
    EXPECT_FALSE(MatchWildcard(sText, QStringLiteral("*a*b")));
    EXPECT_TRUE(MatchWildcardBytes(sText + QLatin1Char('b'), QStringLiteral("a*?b")));
}

} // namespace
