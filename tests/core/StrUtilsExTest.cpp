#include "core/StrUtilsEx.h"
#include "core/FormatSettings.h"

#include <gtest/gtest.h>

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

} // namespace
