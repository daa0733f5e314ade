#include "ConsoleRunTest.h"

#include "console/ExitStatus.h"
#include "console/InterruptHandler.h"
#include "core/MsgExceptions.h"
#include "execution/ProcessRunner.h"

#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QProcess>
#include <QTimer>

#include <csignal>

namespace {

class InterruptTest : public ConsoleRunTest
{
protected:
    void SetUp() override
    {
        ConsoleRunTest::SetUp();
        fpInterrupt = &fInterrupt;
    }

    TInterruptHandler fInterrupt;
};

TEST_F(InterruptTest, CtrlCStopsTheRunThroughItsFinalCases)
{
    TTestDir dir;
    TValueLog::Instance().Init(dir.FilePath(QStringLiteral("log.csv")), QString());
    TTreeNode* pWait =
        fBuilder.Waiting(fBuilder.Case(nullptr, QStringLiteral("Wait")), QStringLiteral("forever"));
    TTreeNode* pSkipped = fBuilder.Work(fBuilder.Case(nullptr, QStringLiteral("Next")), QStringLiteral("x"));
    TTreeNode* pFinal = fBuilder.Work(fBuilder.Case(nullptr, QStringLiteral("Off"), ecFinalCase),
                                      QStringLiteral("power off"));
    TTestCmd* pCmd = TTreeBuilder::CmdOf(pWait);
    pCmd->fOnExecute = [] { QTimer::singleShot(0, [] { std::raise(SIGINT); }); };

    EXPECT_EQ(Run(), ciExitFailed);
    EXPECT_EQ(pCmd->fiCancels, 1);
    EXPECT_EQ(TTreeBuilder::CmdOf(pSkipped)->fiExecutions, 0);
    EXPECT_EQ(TTreeBuilder::CmdOf(pFinal)->fiExecutions, 1);
    const QString sOut = Out();
    EXPECT_TRUE(sOut.contains(QStringLiteral("Warning: Interrupted: stopping the test process")));
    EXPECT_TRUE(sOut.contains(QStringLiteral("Info: Process stopped by user at \"1.1. forever\"")));
    EXPECT_TRUE(sOut.contains(QStringLiteral("1x Failed\n  Stopped: 1.1. forever\n"))) << sOut.toStdString();
    EXPECT_TRUE(ReadFileBytes(dir.FilePath(QStringLiteral("log.csv"))).endsWith(";Failed;op1\r\n"));
}

TEST_F(InterruptTest, CtrlCBeforeTheStartRunsNothing)
{
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));
    std::raise(SIGINT);
    EXPECT_TRUE(fInterrupt.WasInterrupted());
    EXPECT_EQ(Run(), ciExitInterruptBase + SIGINT);
    EXPECT_EQ(TTreeBuilder::CmdOf(pWork)->fiExecutions, 0);
}

// A prompt that is answered by Ctrl+C: the signal comes while the question is being asked.
class TInterruptingPrompt : public QIODevice
{
public:
    TInterruptingPrompt() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 iLength) override
    {
        if (!fbRaised)
            std::raise(SIGINT);
        fbRaised = true;
        return iLength;
    }

private:
    bool fbRaised = false;
};

TEST_F(InterruptTest, CtrlCEndsAConsoleQuestion)
{
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));
    TPipe input;
    TInterruptingPrompt device;
    QTextStream prompt(&device);
    TOperatorAnswers answers = TOperatorAnswers::Console(input.ReadFd(), prompt);
    answers.SetInterruptFd(fInterrupt.NotifyFd());
    EXPECT_EQ(Run(std::move(answers), std::nullopt), ciExitFailed);
    EXPECT_TRUE(fAnswers.Interrupted());
    EXPECT_EQ(TTreeBuilder::CmdOf(pWork)->fiExecutions, 0);
    EXPECT_TRUE(Out().contains(QStringLiteral("Error: No operator answer available")));
}

TEST(InterruptHandlerTest, OnlyOneAtATimeAndTheOldHandlerComesBack)
{
    struct sigaction before = {};
    ::sigaction(SIGINT, nullptr, &before);
    {
        TInterruptHandler handler;
        EXPECT_THROW({ TInterruptHandler second; }, EError);
        struct sigaction during = {};
        ::sigaction(SIGINT, nullptr, &during);
        EXPECT_NE(during.sa_handler, before.sa_handler);
    }
    struct sigaction after = {};
    ::sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// Reads the child's output until it holds sText; false after a bound.
bool WaitForOutput(QProcess& aProcess, QString& sOut, const QString& sText)
{
    QElapsedTimer timer;
    timer.start();
    while (!sOut.contains(sText)) {
        if (timer.elapsed() > 20000 || aProcess.state() == QProcess::NotRunning)
            return false;
        aProcess.waitForReadyRead(100);
        sOut += QString::fromUtf8(aProcess.readAllStandardOutput());
    }
    return true;
}

TEST(InterruptProcessTest, SecondCtrlCEndsAtOnceWith130)
{
    QProcess process;
    process.start(QStringLiteral(TZK_INTERRUPT_HELPER_PATH), QStringList());
    ASSERT_TRUE(process.waitForStarted());
    QString sOut;
    ASSERT_TRUE(WaitForOutput(process, sOut, QStringLiteral("waiting 1.1. forever"))) << sOut.toStdString();
    ::kill(pid_t(process.processId()), SIGINT);
    // The first Ctrl+C stops the waiting function and the final case runs (and waits, too).
    ASSERT_TRUE(WaitForOutput(process, sOut, QStringLiteral("waiting 2.1. forever"))) << sOut.toStdString();
    EXPECT_TRUE(sOut.contains(QStringLiteral("Process stopped by user at \"1.1. forever\"")));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("ending at once")));
}

} // namespace
