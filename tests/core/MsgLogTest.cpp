#include "core/MsgLog.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <gtest/gtest.h>

namespace {

class MsgLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.SetClock([] { return QTime(9, 5, 7, 42); });
        fLog.Attach();
    }
    void TearDown() override
    {
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    QString Line(int i) const { return fLog.Lines().at(std::size_t(i)).sText; }

    TMsgLog fLog;
};

TEST_F(MsgLogTest, PrefixesAndTimeStamps)
{
    TMsg::Info(QStringLiteral("Start"));
    TMsg::Warning(QStringLiteral("odd"));
    TMsg::Error(QStringLiteral("bad"));
    TMsg::Fatal(QStringLiteral("worse"));
    ASSERT_EQ(fLog.Count(), 4);
    EXPECT_EQ(Line(0), QStringLiteral("09:05:07.042 Info: Start"));
    EXPECT_EQ(Line(1), QStringLiteral("09:05:07.042 Warning: odd"));
    EXPECT_EQ(Line(2), QStringLiteral("09:05:07.042 Error: bad"));
    EXPECT_EQ(Line(3), QStringLiteral("09:05:07.042 Fatal: worse"));
    EXPECT_EQ(fLog.Lines()[2].eType, eError);
    EXPECT_EQ(TMsgLog::Colour(eError).iRed, 255);
    EXPECT_TRUE(TMsgLog::Colour(eInfo).bSystemText);
}

TEST_F(MsgLogTest, DebugAndTraceFollowTheirViewOptions)
{
    TMsg::Debug(QStringLiteral("hidden"));
    TMsg::Trace(QStringLiteral("hidden too"));
    EXPECT_EQ(fLog.Count(), 0);
    fLog.SetShowDebug(true);
    TMsg::Debug(QStringLiteral("shown"));
    fLog.SetShowTrace(true);
    TMsg::Trace(QStringLiteral("shown too"));
    ASSERT_EQ(fLog.Count(), 2);
    EXPECT_EQ(Line(0), QStringLiteral("09:05:07.042 Debug: shown"));
    EXPECT_EQ(Line(1), QStringLiteral("09:05:07.042 Trace: shown too"));
}

// A line the log would drop is not even built; once its option is on, or another sink takes
// over, it is built and delivered again.
TEST_F(MsgLogTest, HiddenLinesAreNotFormatted)
{
    int iBuilt = 0;
    const auto Build = [&iBuilt] {
        ++iBuilt;
        return QStringLiteral("built");
    };
    TMsg::DebugLazy(Build);
    TMsg::TraceLazy(Build);
    EXPECT_EQ(iBuilt, 0);
    EXPECT_FALSE(TMsg::Shows(eDebug));
    EXPECT_TRUE(TMsg::Shows(eInfo));

    fLog.SetShowTrace(true);
    TMsg::DebugLazy(Build);
    TMsg::TraceLazy(Build);
    EXPECT_EQ(iBuilt, 1);
    ASSERT_EQ(fLog.Count(), 1);
    EXPECT_EQ(Line(0), QStringLiteral("09:05:07.042 Trace: built"));

    QStringList received;
    TMsgClass::Instance().SetOnNewMsg([&](const void*, TMsgId, const QString& s) { received << s; });
    TMsg::Debug(QStringLiteral("%d lines"), {2});
    EXPECT_EQ(received, QStringList{QStringLiteral("2 lines")}) << "a sink that names no types gets them all";

    TMsgClass::Instance().SetOnNewMsg(nullptr);
    EXPECT_FALSE(TMsg::Shows(eError)) << "without a sink nothing is shown";
}

TEST_F(MsgLogTest, HintsGoToTheStatusBarOnly)
{
    QString sHint;
    QObject::connect(&fLog, &TMsgLog::HintChanged, [&](const QString& s) { sHint = s; });
    TMsg::Hint(QStringLiteral("Loaded"));
    EXPECT_EQ(sHint, QStringLiteral("Loaded"));
    EXPECT_EQ(fLog.Count(), 0);
}

TEST_F(MsgLogTest, MultiLineTextsGetContinuationLines)
{
    TMsg::Error(QStringLiteral("one\r\ntwo\rthree"));
    ASSERT_EQ(fLog.Count(), 3);
    EXPECT_EQ(Line(0), QStringLiteral("09:05:07.042 Error: one"));
    EXPECT_EQ(Line(1), QStringLiteral("> two"));
    EXPECT_EQ(Line(2), QStringLiteral("> three"));
    for (const TLogLine& line : fLog.Lines())
        EXPECT_EQ(line.eType, eError);

    TMsg::Info(QStringLiteral("lf\nonly"));
    ASSERT_EQ(fLog.Count(), 4);
    EXPECT_EQ(Line(3), QStringLiteral("09:05:07.042 Info: lf\nonly"));

    const EMsg error(QStringLiteral("Device exists"), TMsgId(0x10010A), 2);
    TMsg::Fatal(error.Message());
    EXPECT_EQ(Line(4), QStringLiteral("09:05:07.042 Fatal: Device exists"));
    EXPECT_EQ(Line(5), QStringLiteral("> ID: 10010A:2"));
}

TEST_F(MsgLogTest, TrimsOldestLinesInOneBatch)
{
    std::vector<int> removed;
    QObject::connect(&fLog, &TMsgLog::LinesRemoved, [&](int n) { removed.push_back(n); });
    for (int i = 1; i <= 1601; ++i)
        TMsg::Info(QString::number(i));
    EXPECT_EQ(fLog.Count(), 1601);
    EXPECT_TRUE(removed.empty());
    TMsg::Info(QStringLiteral("1602"));
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], 401);
    EXPECT_EQ(fLog.Count(), 1201);
    EXPECT_EQ(Line(0), QStringLiteral("09:05:07.042 Info: 402"));
    EXPECT_EQ(Line(1200), QStringLiteral("09:05:07.042 Info: 1602"));
}

TEST_F(MsgLogTest, RejectsTypesWithoutLogForm)
{
    try {
        fLog.LogMessage(nullptr, TMsgId(0x00000001), QStringLiteral("x"));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id().Value, 0x01010Au);
        EXPECT_EQ(e.Value(), 0);
    }
    EXPECT_THROW(fLog.LogMessage(nullptr, TMsgId(0x08000000), QStringLiteral("x")), EMsg);
}

TEST_F(MsgLogTest, CopiesSelectedLinesWithLineBreaks)
{
    TMsg::Info(QStringLiteral("a"));
    TMsg::Info(QStringLiteral("b"));
    TMsg::Info(QStringLiteral("c"));
    EXPECT_EQ(fLog.CopyText({0, 2}), QStringLiteral("09:05:07.042 Info: a\r\n09:05:07.042 Info: c\r\n"));
    EXPECT_TRUE(fLog.CopyText({}).isEmpty());
    fLog.AddSeparator();
    EXPECT_EQ(Line(3), QString());
    fLog.Clear();
    EXPECT_EQ(fLog.Count(), 0);
}

} // namespace
