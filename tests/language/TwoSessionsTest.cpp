#include "language/Session.h"

#include "FakeRunnerHost.h"
#include "StationFixture.h"
#include "TestContext.h"
#include "TestEnvironment.h"

#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "core/VariableManager.h"
#include "devices/system/DeviceSys.h"
#include "execution/ProcessRunner.h"
#include "language/InterpreterHost.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

// One station's socket: a session with its own message dispatcher, whose sink keeps its lines.
struct TSocket
{
    TSocket() : session(&TestDeviceTypes(), &TRegIO::Instance()), host(session)
    {
        dispatcher.SetOnNewMsg([this](const void* aSender, TMsgId, const QString& sText) {
            lines.append(sText);
            bFromOwnChannel = bFromOwnChannel && aSender == &session.Context().Msg();
        });
        session.Context().Msg().SetDispatcher(&dispatcher);
        session.AttachRunner(runner);
    }
    ~TSocket() { session.DetachRunner(); }

    bool Logged(const QString& sText) const { return lines.contains(sText); }

    TMsgClass dispatcher;
    QStringList lines;
    bool bFromOwnChannel = true;
    TSession session;
    TStationLoadHost host;
    TFakeRunnerHost runner;
};

// Two definitions in two sessions run side by side on the one main thread, each with a step that
// concludes later: each keeps its own variables, devices, value-log line, outcome and messages.
TEST(TwoSessionsTest, RunSideBySideWithoutSharingState)
{
    sys::RegisterDevices(TestDeviceTypes());
    TTestDir dir;
    const QString sFirst = dir.WriteText(
        QStringLiteral("first.TZD"), QStringLiteral("Set(ValueLog; \"TZD:first.csv\"; \"yyyy\")\r\n"
                                                    "Set(Float; Voltage)\r\n"
                                                    "Device.Create(SystemControl; Sys)\r\n"
                                                    "Test.Case(\"Supply\")\r\n{\r\n"
                                                    "    Sys.AssignVariable(\"Set\"; 1.5; Voltage)\r\n"
                                                    "    Sys.Delay(\"Settle\"\u00A7Settle; 150)\r\n"
                                                    "    Sys.Evaluate(\"In range\"; %Voltage < 2)\r\n}\r\n"));
    const QString sSecond =
        dir.WriteText(QStringLiteral("second.TZD"),
                      QStringLiteral("Set(ValueLog; \"TZD:second.csv\"; \"yyyy\")\r\n"
                                     "Set(Integer; Count)\r\n"
                                     "Device.Create(SystemControl; Board)\r\n"
                                     "Test.Case(\"Count\")\r\n{\r\n"
                                     "    Board.AssignVariable(\"Set\"; 7; Count)\r\n"
                                     "    Board.Delay(\"Wait\"\u00A7Wait; 50)\r\n"
                                     "    Board.Evaluate(\"Too many\"; %Count < 5)\r\n}\r\n"));
    TSocket first;
    TSocket second;
    ASSERT_TRUE(first.session.Load(sFirst, first.host).bRunnable);
    ASSERT_TRUE(second.session.Load(sSecond, second.host).bRunnable);

    EXPECT_TRUE(first.session.Variables().Confirm(QStringLiteral("Voltage"), ectIsDeclared));
    EXPECT_FALSE(first.session.Variables().Confirm(QStringLiteral("Count"), ectIsDeclared));
    EXPECT_FALSE(second.session.Variables().Confirm(QStringLiteral("Voltage"), ectIsDeclared));
    EXPECT_NE(first.session.Devices().Device(QStringLiteral("Sys")), nullptr);
    EXPECT_EQ(first.session.Devices().Device(QStringLiteral("Board")), nullptr);
    EXPECT_NE(second.session.Devices().Device(QStringLiteral("Board")), nullptr);

    for (TSocket* socket : {&first, &second}) {
        socket->session.Runner()->SetProcessState(EProcessState::Ready);
        socket->session.Runner()->Start();
    }
    // The second ends while the first still waits in its delay: the two runs overlap.
    ASSERT_TRUE(RunEventsUntil([&] { return !second.runner.finals.empty(); }, 10000));
    EXPECT_TRUE(first.runner.finals.empty());
    ASSERT_TRUE(RunEventsUntil([&] { return !first.runner.finals.empty(); }, 10000));

    EXPECT_TRUE(first.runner.finals.back().bPassed);
    EXPECT_FALSE(second.runner.finals.back().bPassed);
    EXPECT_EQ(first.session.Variables().GetAsStr(QStringLiteral("Voltage")), QStringLiteral("1.5"));
    EXPECT_EQ(second.session.Variables().GetAsStr(QStringLiteral("Count")), QStringLiteral("7"));

    // Each value log has its own column and outcome.
    const QString sFirstLog = QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("first.csv"))));
    const QString sSecondLog = QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("second.csv"))));
    EXPECT_TRUE(sFirstLog.contains(QStringLiteral("Settle"))) << sFirstLog.toStdString();
    EXPECT_FALSE(sFirstLog.contains(QStringLiteral("Wait"))) << sFirstLog.toStdString();
    EXPECT_TRUE(sFirstLog.contains(QStringLiteral(";Passed;op1"))) << sFirstLog.toStdString();
    EXPECT_TRUE(sSecondLog.contains(QStringLiteral("Wait"))) << sSecondLog.toStdString();
    EXPECT_TRUE(sSecondLog.contains(QStringLiteral(";Failed;op1"))) << sSecondLog.toStdString();

    // Each sink has its own session's lines, and only those.
    EXPECT_TRUE(first.Logged(QStringLiteral("Test process successfully finished")))
        << first.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(second.Logged(QStringLiteral("Test process ended with 1 Error(s)")))
        << second.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(first.Logged(QStringLiteral("Test process ended with 1 Error(s)")));
    EXPECT_FALSE(second.Logged(QStringLiteral("Test process successfully finished")));
    for (const QString& sLine : first.lines)
        EXPECT_FALSE(sLine.contains(QStringLiteral("Count"))) << sLine.toStdString();
    for (const QString& sLine : second.lines)
        EXPECT_FALSE(sLine.contains(QStringLiteral("Supply"))) << sLine.toStdString();
    EXPECT_TRUE(first.bFromOwnChannel);
    EXPECT_TRUE(second.bFromOwnChannel);

    TRegIO::InstanceRelease();
    TVariableManager::InstanceRelease();
}

} // namespace
