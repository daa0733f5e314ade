#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Received
{
    TMsgId id;
    QString sText;
};

class MsgClassesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& aText) {
            fReceived.push_back({aId, aText});
        });
    }
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    std::vector<Received> fReceived;
};

TEST(EMsg, ComposesTextAndIdentifier)
{
    const EMsg bare(TMsgId(0x10020A), 0);
    EXPECT_EQ(bare.Message(), QStringLiteral("10020A:0"));
    EXPECT_TRUE(bare.Text().isEmpty());

    const EMsg withParam(QStringLiteral("X"), TMsgId(0x030100), 3, 12);
    EXPECT_EQ(withParam.Id().Value, 0x030103u);
    EXPECT_EQ(withParam.Value(), 12);
    EXPECT_EQ(withParam.Message(), QStringLiteral("X\r\nID: 030103:12"));
    EXPECT_STREQ(withParam.what(), "X\r\nID: 030103:12");

    EXPECT_EQ(EMsg(TMsgId(0x030100), 300, 0).Id().Value, 0x030100u + 255u);
    EXPECT_EQ(EMsg(TMsgId(0x030100), -1, 0).Id().Value, 0x030100u);
    EXPECT_EQ(EMsg(TMsgId(0x030600), 5, 1).MsgNo(), QStringLiteral("030605:1"));

    const EMsg formatted(QStringLiteral("Unknown include file \"%s\" defined in \"%s\"!"), {"a.inc", "m.TZD"},
                         TMsgId(0x030214), 5);
    EXPECT_EQ(formatted.Text(), QStringLiteral("Unknown include file \"a.inc\" defined in \"m.TZD\"!"));
    EXPECT_EQ(formatted.Message(), formatted.Text() + QStringLiteral("\r\nID: 030214:5"));

    const EMsg formattedParam(QStringLiteral("%d"), {4}, TMsgId(0x030600), 2, 9);
    EXPECT_EQ(formattedParam.Message(), QStringLiteral("4\r\nID: 030602:9"));
}

TEST(EMsg, TypeByteWidensTheIdentifier)
{
    const EMsg warning(TMsgId(0x9906020A), 1);
    EXPECT_EQ(warning.MsgNo(), QStringLiteral("9906020A:1"));
    EXPECT_EQ(warning.Id().TypeNo(), cMsgTypeWarningMark);
}

TEST(EMsg, ExceptionTextOfForeignExceptions)
{
    EXPECT_EQ(ExceptionText(std::runtime_error("plain")), QStringLiteral("plain"));
    EXPECT_EQ(ExceptionText(EMsg(TMsgId(1), 2)), QStringLiteral("000001:2"));
}

TEST_F(MsgClassesTest, EveryFormCarriesItsTypeInTheIdentifier)
{
    TMsg::Debug(QStringLiteral("d"));
    TMsg::Trace(QStringLiteral("t"));
    TMsg::Info(QStringLiteral("i %d"), {1});
    TMsg::Hint(QStringLiteral("h"));
    TMsg::Warning(QStringLiteral("w"), TMsgId(0x0102));
    TMsg::Error(QStringLiteral("Test case \"%s\" not found!"), {"x"});
    TMsg::Fatal(QStringLiteral("f"));
    ASSERT_EQ(fReceived.size(), 7u);
    const TMsgTypeId expected[] = {eDebug, eTrace, eInfo, eHint, eWarning, eError, eFatal};
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(fReceived[i].id.TypeNo(), expected[i]) << i;
    EXPECT_EQ(fReceived[2].sText, QStringLiteral("i 1"));
    EXPECT_EQ(fReceived[4].id.Value, 0x05000102u);
    EXPECT_EQ(fReceived[5].sText, QStringLiteral("Test case \"x\" not found!"));
}

TEST_F(MsgClassesTest, LevelDropsLowerTypes)
{
    TMsgClass::Instance().SetLevel(eWarning);
    TMsg::Debug(QStringLiteral("d"));
    TMsg::Trace(QStringLiteral("t"));
    TMsg::Info(QStringLiteral("i"));
    TMsg::Hint(QStringLiteral("h"));
    TMsg::Warning(QStringLiteral("w"));
    TMsg::Error(QStringLiteral("e"));
    ASSERT_EQ(fReceived.size(), 2u);
    EXPECT_EQ(fReceived[0].sText, QStringLiteral("w"));
    EXPECT_EQ(fReceived[1].sText, QStringLiteral("e"));
}

TEST_F(MsgClassesTest, NoticeSinkTakesPrecedence)
{
    int iNotices = 0;
    TMsgClass::Instance().SetOnMsgNotice([&] { ++iNotices; });
    TMsg::Error(QStringLiteral("boom"), TMsgId(0x123456));
    EXPECT_EQ(iNotices, 1);
    EXPECT_TRUE(fReceived.empty());
    EXPECT_EQ(TMsgClass::Instance().Id().Value, 0x06123456u);
    EXPECT_EQ(TMsgClass::Instance().Text(), QStringLiteral("boom"));
}

TEST_F(MsgClassesTest, BuildsIdentifiersFromBytes)
{
    int iSender = 0;
    const void* pSeen = nullptr;
    TMsgClass::Instance().SetOnNewMsg([&](const void* aSender, TMsgId aId, const QString&) {
        pSeen = aSender;
        fReceived.push_back({aId, QString()});
    });
    TMsgClass::Instance().NewMsg(&iSender, eInfo, 0x03, 0x02, 0x14, QStringLiteral("x"));
    EXPECT_EQ(pSeen, &iSender);
    EXPECT_EQ(fReceived.back().id.Value, 0x03030214u);
    TMsgClass::Instance().NewMsg(eError, 0x01, 0x01, 0x0A, QStringLiteral("y"));
    EXPECT_EQ(pSeen, &TMsgClass::Instance());
    EXPECT_EQ(fReceived.back().id.Value, 0x0601010Au);
}

TEST(MsgClassesWithoutSink, MessagesAreDropped)
{
    TMsgClass::ReleaseSingleton();
    EXPECT_NO_THROW(TMsg::Error(QStringLiteral("nobody listens")));
}

} // namespace
