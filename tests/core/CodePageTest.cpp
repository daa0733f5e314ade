#include "core/CodePage.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

namespace {

QByteArray AllBytes()
{
    QByteArray aBytes;
    for (int i = 0; i < 256; ++i)
        aBytes.append(char(i));
    return aBytes;
}

// Every byte reads and writes back unchanged, so a file read and written again keeps its bytes.
TEST(CodePageTest, EveryByteRoundTrips)
{
    for (const char* sName : {"windows-1252", "iso-8859-1", "iso-8859-15"}) {
        const TCodePage codePage = TCodePage::Named(QString::fromLatin1(sName));
        const QString sText = codePage.Decode(AllBytes());
        ASSERT_EQ(sText.size(), 256) << sName;
        bool bComplete = false;
        EXPECT_EQ(codePage.Encode(sText, &bComplete), AllBytes()) << sName;
        EXPECT_TRUE(bComplete) << sName;
    }
}

TEST(CodePageTest, CharactersAndTheirBytes)
{
    const struct
    {
        const char* sCodePage;
        QString sText;
        QByteArray aBytes;
        bool bComplete;
    } cases[] = {
        {"windows-1252", QStringLiteral("\u201ENetz\u201C \u2013 5 \u20AC \u00E4"),
         "\x84Netz\x93 \x96 5 \x80 \xE4", true},
        {"CP1252", QStringLiteral("\u0081\u008D"), "\x81\x8D", true},
        {"", QStringLiteral("\u03A9"), "?", false},
        {"Latin1", QStringLiteral("\u00E4\u20AC"), "\xE4?", false},
        {"iso-8859-1", QStringLiteral("\u0084"), "\x84", true},
        {"ISO-8859-15", QStringLiteral("\u20AC"), "\xA4", true},
    };
    for (const auto& c : cases) {
        const TCodePage codePage = TCodePage::Named(QString::fromLatin1(c.sCodePage));
        bool bComplete = !c.bComplete;
        EXPECT_EQ(codePage.Encode(c.sText, &bComplete), c.aBytes) << c.sCodePage;
        EXPECT_EQ(bComplete, c.bComplete) << c.sCodePage;
        EXPECT_EQ(codePage.CanEncode(c.sText), c.bComplete) << c.sCodePage;
        if (c.bComplete) {
            EXPECT_EQ(codePage.Decode(c.aBytes), c.sText) << c.sCodePage;
        }
    }
}

TEST(CodePageTest, OnlyEightBitCodePagesAreNamed)
{
    EXPECT_EQ(TCodePage().Name(), QStringLiteral("windows-1252"));
    EXPECT_EQ(TCodePage::Named(QStringLiteral(" Latin1 ")).Name(), QStringLiteral("iso-8859-1"));
    for (const char* sName : {"utf-8", "UTF-16LE", "no such page"}) {
        try {
            TCodePage::Named(QString::fromLatin1(sName));
            ADD_FAILURE() << sName << " must be refused";
        } catch (const EError& e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("Unknown 8-bit code page \"%1\"").arg(QString::fromLatin1(sName)));
        }
    }
}

} // namespace
