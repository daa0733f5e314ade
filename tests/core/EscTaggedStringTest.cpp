#include "core/EscTaggedString.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

namespace {

class EscTaggedString : public ::testing::Test
{
protected:
    void SetUp() override { TEscTaggedString::Instance().AddDefaultTags(); }
    void TearDown() override { TEscTaggedString::InstanceRelease(); }

    static QString UnknownTagError(const QString& sText)
    {
        try {
            TEscTaggedString::Transform(sText);
        } catch (const EError& e) {
            EXPECT_EQ(typeid(e), typeid(EError));
            return e.Message();
        }
        return QStringLiteral("no error");
    }
};

TEST_F(EscTaggedString, ReplacesTags)
{
    const QChar cCr(0x0D), cLf(0x0A);
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("\\STXdata\\ETX"), QChar(0x02) + QStringLiteral("data") + QChar(0x03)},
        {QStringLiteral("\\EOT\\ENQ\\AKN\\NAK"),
         QString() + QChar(0x04) + QChar(0x05) + QChar(0x06) + QChar(0x15)},
        {QStringLiteral("OK\\r\\n"), QStringLiteral("OK") + cCr + cLf},
        {QStringLiteral("\\0d\\0A"), QString() + cCr + cLf},
        // The shortest match wins.
        {QStringLiteral("\\rx"), cCr + QStringLiteral("x")},
        {QStringLiteral("\\41x"), QStringLiteral("Ax")},
        {QStringLiteral("\\NAKED"), QChar(0x15) + QStringLiteral("ED")},
        {QStringLiteral("\\ACK"), QChar(0xAC) + QStringLiteral("K")},
        {QStringLiteral("\\ff\\00"), QString() + QChar(0xFF) + QChar(0)},
        // A doubled mark is one mark; a final lone mark stays.
        {QStringLiteral("a\\\\b"), QStringLiteral("a\\b")},
        {QStringLiteral("\\\\r"), QStringLiteral("\\r")},
        {QStringLiteral("end\\"), QStringLiteral("end\\")},
        {QStringLiteral("\\\\\\"), QStringLiteral("\\\\")},
        {QStringLiteral("no tags \u20AC"), QStringLiteral("no tags \u20AC")},
        {QString(), QString()},
    };
    for (const auto& [sText, sExpected] : cases)
        EXPECT_EQ(TEscTaggedString::Transform(sText), sExpected) << sText.toStdString();
}

TEST_F(EscTaggedString, UnknownTagNamesTheRestOfTheText)
{
    EXPECT_EQ(UnknownTagError(QStringLiteral("a\\q")), QStringLiteral("Unknown tag in string \"\\q\"!"));
    EXPECT_EQ(UnknownTagError(QStringLiteral("x\\ STX")),
              QStringLiteral("Unknown tag in string \"\\ STX\"!"));
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\r\\STx rest")),
              QStringLiteral("Unknown tag in string \"\\STx rest\"!"));
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\S")), QStringLiteral("Unknown tag in string \"\\S\"!"));
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\stx")), QStringLiteral("Unknown tag in string \"\\stx\"!"));
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\4g")), QStringLiteral("Unknown tag in string \"\\4g\"!"));
}

TEST_F(EscTaggedString, TableIsFilledOnlyOnRequest)
{
    TEscTaggedString::InstanceRelease();
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\STX")), QStringLiteral("Unknown tag in string \"\\STX\"!"));
    // Hex tags need no table.
    EXPECT_EQ(TEscTaggedString::Transform(QStringLiteral("\\02")), QString(QChar(0x02)));

    TEscTaggedString& tags = TEscTaggedString::Instance();
    tags.AddDefaultTags();
    tags.AddDefaultTags();
    EXPECT_EQ(tags.Process(QStringLiteral("\\STX")), QString(QChar(0x02)));
}

TEST_F(EscTaggedString, OwnTagsComeBeforeHexTags)
{
    TEscTaggedString& tags = TEscTaggedString::Instance();
    tags.Add(QStringLiteral("\\AB"), QStringLiteral("table"));
    tags.Add(QStringLiteral("\\LONGNAME"), QStringLiteral("long"));
    EXPECT_EQ(tags.Process(QStringLiteral("\\AB\\LONGNAME.")), QStringLiteral("tablelong."));

    tags.ClearTags();
    EXPECT_EQ(tags.Process(QStringLiteral("\\AB")), QString(QChar(0xAB)));
    EXPECT_EQ(UnknownTagError(QStringLiteral("\\LONGNAME")),
              QStringLiteral("Unknown tag in string \"\\LONGNAME\"!"));
}

} // namespace
