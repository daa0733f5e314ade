#include "FakeRunnerHost.h"
#include "TestContext.h"
#include "TestDevices.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/RunnerHost.h"
#include "execution/TestTree.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

class ProcessRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.SetShowTrace(true);
        fLog.Attach();
        TRegIO::Instance().SetEndOnFailure(true);
        fRunner.SetFailureReport(&fReport);
        QObject::connect(&fRunner, &TProcessRunner::ProcessFinished,
                         [this](bool) { fReport.events.push_back(QStringLiteral("final")); });
        QObject::connect(&fRunner, &TProcessRunner::NodeStarted,
                         [this](TTreeNode* aNode) { fStarted.push_back(aNode->Text()); });
    }
    void TearDown() override
    {
        fLog.Detach();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TTreeNode* Case(TTreeNode* aParent, const QString& sLabel, ECaseType eType = ecNormalCase)
    {
        return TJob::CreateNewJob(sLabel, fTree, aParent, nullptr, eType, true);
    }
    TTreeNode* Work(TTreeNode* aParent, const QString& sLabel, ECmdResult eResult = crDone)
    {
        auto cmd = std::make_unique<TTestCmd>(&fDevice);
        cmd->feImmediate = eResult;
        TCommand* pCmd = fDevice.AddCommand(QStringLiteral("S1"), std::move(cmd));
        return TJob::CreateNewJob(sLabel, fTree, aParent, pCmd, ecWorkCase, false);
    }
    static TTestCmd* CmdOf(TTreeNode* aNode) { return static_cast<TTestCmd*>(aNode->Job()->Cmd()); }

    void Loaded()
    {
        fRunner.AttachJobs();
        fRunner.SetProcessState(EProcessState::Ready);
    }

    static bool RunUntil(const std::function<bool()>& aDone) { return RunEventsUntil(aDone); }
    bool RunToEnd()
    {
        return RunUntil([this] { return !fHost.finals.empty(); });
    }
    bool RunToPause()
    {
        return RunUntil([this] { return fRunner.ProcessState() == EProcessState::Paused; });
    }

    bool Logged(const QString& sText) const { return LogHas(fLog, sText); }

    TMsgLog fLog;
    TTestDevice fDevice;
    TTestTree fTree;
    TFakeRunnerHost fHost;
    TFakeFailureReport fReport;
    TProcessRunner fRunner{fTree, fHost, TestContext()};
    std::vector<QString> fStarted;
};

TEST_F(ProcessRunnerTest, ThreePassingNodes)
{
    TTestDir dir;
    TValueLog::Instance().Init(dir.FilePath(QStringLiteral("log.csv")), QString());
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Supply"));
    Work(c1, QStringLiteral("a"));
    Work(c1, QStringLiteral("b"));
    Loaded();
    EXPECT_TRUE(fRunner.Actions().Start.bEnabled);
    fRunner.Start();
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::RunningFromStart);
    EXPECT_TRUE(fRunner.Actions().Start.bChecked);
    EXPECT_TRUE(fStarted.empty()) << "nodes run from the event loop, never inside Start";
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(fStarted, (std::vector<QString>{"1. Supply", "1.1. a", "1.2. b"}));
    EXPECT_EQ(fHost.iSeparators, 1);
    EXPECT_TRUE(fLog.Lines().at(0).sText.contains(QStringLiteral("Info: START (")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: 1. Supply")));
    EXPECT_TRUE(Logged(QStringLiteral("Trace: 1.1. a")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process successfully finished")));
    EXPECT_EQ(fHost.sHeader, QStringLiteral(" Test Case: 1. Supply"));
    ASSERT_EQ(fHost.finals.size(), 1u);
    EXPECT_TRUE(fHost.finals[0].bPassed);
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("Passed"));
    EXPECT_EQ(c1->ImageIndex(), StateImageIndex(EImage::Ok)) << "a case whose nodes all passed shows ok";
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Ready);
    EXPECT_EQ(fHost.iNameQuestions, 1);
    const QByteArray aLog = ReadFileBytes(dir.FilePath(QStringLiteral("log.csv")));
    EXPECT_TRUE(aLog.startsWith("Start;Duration;Result;Operator\r\n"));
    EXPECT_TRUE(aLog.endsWith(";Passed;op1\r\n"));
}

TEST_F(ProcessRunnerTest, ASlotThatThrowsFailsItsStepAndTheRunGoesOn)
{
    TRegIO::Instance().SetEndOnFailure(false);
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Port"));
    auto cmd = std::make_unique<TTestAsyncCmd>(&fDevice);
    cmd->fOnTimer = [](TTestAsyncCmd&) { throw EError(QStringLiteral("device gone")); };
    TTreeNode* read =
        TJob::CreateNewJob(QStringLiteral("read"), fTree, c1,
                           fDevice.AddCommand(QStringLiteral("S1"), std::move(cmd)), ecWorkCase, false);
    Work(c1, QStringLiteral("after"));
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunToEnd()) << "the step concluded instead of waiting for ever";
    EXPECT_EQ(read->Job()->Cmd()->CmdResult(), crFailed);
    EXPECT_EQ(read->Job()->ErrorText(), QStringLiteral("device gone"));
    EXPECT_EQ(fStarted.back(), QStringLiteral("1.2. after"));
    ASSERT_EQ(fHost.finals.size(), 1u);
    EXPECT_FALSE(fHost.finals[0].bPassed);
}

TEST_F(ProcessRunnerTest, DevicesHearWhenARunStartsAndEnds)
{
    TTestDevice::Register();
    TTestDevice::sHookCalls.clear();
    TestDeviceList().Append(QStringLiteral("TestDevice;Port1"));
    Work(Case(nullptr, QStringLiteral("One")), QStringLiteral("a"));
    Loaded();
    fHost.iNextRuns = 1;
    fRunner.Start();
    ASSERT_TRUE(RunUntil([this] { return fHost.finals.size() == 2; }));
    EXPECT_EQ(TTestDevice::sHookCalls, (std::vector<QString>{"RunStarted Port1", "RunEnded Port1",
                                                             "RunStarted Port1", "RunEnded Port1"}));
    ReleaseTestDeviceList();
    TTestDevice::Unregister();
}

// Four cases, the second failing, the fourth a final case.
class FailurePolicyTest : public ProcessRunnerTest
{
protected:
    void Build()
    {
        for (const char* sName : {"One", "Two", "Three"}) {
            TTreeNode* c = Case(nullptr, QString::fromUtf8(sName));
            Work(c, QStringLiteral("x"), QByteArray(sName) == "Two" ? crFailed : crDone);
        }
        TTreeNode* f = Case(nullptr, QStringLiteral("Final"), ecFinalCase);
        Work(f, QStringLiteral("cleanup"));
        Loaded();
    }
};

TEST_F(FailurePolicyTest, EndOnFailureSkipsToTheFinalCase)
{
    Build();
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(fStarted,
              (std::vector<QString>{"1. One", "1.1. x", "2. Two", "2.1. x", "4. Final", "4.1. cleanup"}));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Failure occured in test case \"2.1. x\"")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process ended with 1 Error(s)")));
    ASSERT_EQ(fHost.finals.size(), 1u);
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("1x Failed"));
    EXPECT_EQ(fHost.finals[0].failed, QStringList{QStringLiteral("Error: 2.1. x")});
    EXPECT_EQ(fReport.events, (std::vector<QString>{"report 2.1. x", "final"}))
        << "the report waits until the end, before the final dialog";
    EXPECT_EQ(fTree.Node(4)->ImageIndex(), StateImageIndex(EImage::NotRun)) << "the skipped case did not run";
}

TEST_F(FailurePolicyTest, ContinueOnFailureRunsEverythingAndReportsAtOnce)
{
    Build();
    fRunner.SetProcessMode(pmContinueOnFailure);
    EXPECT_FALSE(TRegIO::Instance().EndOnFailure());
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(fStarted.size(), 8u);
    EXPECT_EQ(fReport.shown, std::vector<QString>{"2.1. x"});
    EXPECT_EQ(fReport.events.front(), QStringLiteral("report 2.1. x"));
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("1x Failed"));
}

TEST_F(FailurePolicyTest, OperatorStopFromTheReportEndsAfterTheNode)
{
    Build();
    fRunner.SetProcessMode(pmContinueOnFailure);
    fReport.bStop = true;
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(fStarted.back(), QStringLiteral("2.1. x")) << "no further node, no final case";
}

TEST_F(ProcessRunnerTest, FailureLineCarriesTheReasonAsContinuation)
{
    TTreeNode* c = Case(nullptr, QStringLiteral("Supply"));
    TTestCmd* pCmd = CmdOf(Work(c, QStringLiteral("voltage"), crUnknown));
    pCmd->fOnExecute = [pCmd] { pCmd->Finish(crFailed, QStringLiteral("too low\r\nby 3 V")); };
    Work(c, QStringLiteral("no reason"), crFailed);
    fRunner.SetProcessMode(pmContinueOnFailure);
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());

    std::vector<QString> lines;
    for (const TLogLine& line : fLog.Lines()) {
        if (line.eType == eError)
            lines.push_back(line.sText.mid(line.sText.indexOf(QLatin1Char(' ')) + 1));
    }
    // The failure line itself is unchanged; a failure without a reason has no continuation.
    EXPECT_EQ(lines, (std::vector<QString>{
                         QStringLiteral("Error: Failure occured in test case \"1.1. voltage\""),
                         QStringLiteral("too low"), QStringLiteral("by 3 V"),
                         QStringLiteral("Error: Failure occured in test case \"1.2. no reason\"")}));
    EXPECT_TRUE(Logged(QStringLiteral("> too low")));
}

TEST_F(ProcessRunnerTest, FailureInsideAFinalCaseSkipsToTheNextFinalCase)
{
    TTreeNode* f1 = Case(nullptr, QStringLiteral("F1"), ecFinalCase);
    Work(f1, QStringLiteral("fails"), crFailed);
    Work(f1, QStringLiteral("skipped"));
    TTreeNode* normal = Case(nullptr, QStringLiteral("Normal"));
    Work(normal, QStringLiteral("skipped too"));
    TTreeNode* f2 = Case(nullptr, QStringLiteral("F2"), ecFinalCase);
    Work(f2, QStringLiteral("runs"));
    Case(nullptr, QStringLiteral("After"));
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(fStarted, (std::vector<QString>{"1. F1", "1.1. fails", "3. F2", "3.1. runs", "4. After"}))
        << "normal cases after a final case run again";
}

TEST_F(ProcessRunnerTest, PauseDuringAWaitingCommandAndContinue)
{
    TTreeNode* c = Case(nullptr, QStringLiteral("Case"));
    TTreeNode* wait = Work(c, QStringLiteral("wait"), crUnknown);
    Work(c, QStringLiteral("after"));
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunUntil([&] { return CmdOf(wait)->fiExecutions == 1; }));
    fRunner.Pause();
    EXPECT_EQ(CmdOf(wait)->fiCancels, 1);
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Paused);
    EXPECT_TRUE(fRunner.OperatorRequest() == EOperatorRequest::Pause) << "a pause stands while paused";
    EXPECT_TRUE(Logged(QStringLiteral("Info: Process paused by user at \"1.1. wait\"")));
    EXPECT_EQ(fHost.pSelected, wait);
    EXPECT_EQ(wait->ImageIndex(), StateImageIndex(EImage::NotRun));

    CmdOf(wait)->feImmediate = crDone;
    fRunner.Continue();
    EXPECT_TRUE(fRunner.OperatorRequest() == EOperatorRequest::None);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(CmdOf(wait)->fiExecutions, 2);
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("1x Failed"));
    EXPECT_EQ(fHost.finals[0].failed, QStringList{QStringLiteral("Paused: 1.1. wait")});
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process ended with 1 Error(s)")));
}

TEST_F(ProcessRunnerTest, PauseBeforeTheQueuedNodeStartsDoesNotRunIt)
{
    TTreeNode* only = Work(nullptr, QStringLiteral("only"));
    Loaded();
    fRunner.Start();
    fRunner.Pause();
    QCoreApplication::processEvents();
    EXPECT_EQ(CmdOf(only)->fiExecutions, 0);
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Paused);
}

TEST_F(ProcessRunnerTest, StopRunsTheFinalCase)
{
    TTreeNode* c1 = Case(nullptr, QStringLiteral("First"));
    TTreeNode* wait = Work(c1, QStringLiteral("wait"), crUnknown);
    Case(nullptr, QStringLiteral("Second"));
    TTreeNode* f = Case(nullptr, QStringLiteral("Final"), ecFinalCase);
    TTreeNode* cleanup = Work(f, QStringLiteral("cleanup"));
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunUntil([&] { return CmdOf(wait)->fiExecutions == 1; }));
    fRunner.Stop();
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Stopping);
    // The cancelled node concluded at once: its stop is handled and the final cases run without it.
    EXPECT_TRUE(fRunner.OperatorRequest() == EOperatorRequest::None);
    EXPECT_FALSE(fRunner.Actions().Stop.bChecked);
    EXPECT_TRUE(fRunner.Actions().Pause.bEnabled) << "stopping keeps the running state's enabled marks";
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(Logged(QStringLiteral("Info: Process stopped by user at \"1.1. wait\"")));
    EXPECT_EQ(CmdOf(cleanup)->fiExecutions, 1);
    EXPECT_EQ(fHost.finals[0].failed, QStringList{QStringLiteral("Stopped: 1.1. wait")});
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process ended with 1 Error(s)")));
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Ready);
}

TEST_F(ProcessRunnerTest, BreakPointPausesBeforeTheNode)
{
    Work(nullptr, QStringLiteral("one"));
    TTreeNode* two = Work(nullptr, QStringLiteral("two"));
    Work(nullptr, QStringLiteral("three"));
    Loaded();
    two->Job()->SetBreakPoint(true);
    fRunner.Start();
    ASSERT_TRUE(RunToPause());
    EXPECT_TRUE(Logged(QStringLiteral("Info: Pause at break point: \"2. two\"")));
    EXPECT_EQ(CmdOf(two)->fiExecutions, 0);
    EXPECT_EQ(fHost.pSelected, two);
    EXPECT_EQ(two->ImageIndex(), StateImageIndex(EImage::NotRun, true));
    fRunner.Continue();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(CmdOf(two)->fiExecutions, 1);
    EXPECT_TRUE(fHost.finals[0].bPassed);
}

TEST_F(ProcessRunnerTest, StepRunsOneNodeAndPausesAtTheNext)
{
    TTreeNode* one = Work(nullptr, QStringLiteral("one"));
    TTreeNode* two = Work(nullptr, QStringLiteral("two"));
    Loaded();
    fRunner.Step();
    EXPECT_EQ(fHost.infos, std::vector<QString>{"Select an active test step!"});
    fHost.pSelected = one;
    fRunner.Step();
    EXPECT_TRUE(fRunner.Actions().Step.bChecked);
    ASSERT_TRUE(RunToPause());
    EXPECT_EQ(CmdOf(one)->fiExecutions, 1);
    EXPECT_EQ(CmdOf(two)->fiExecutions, 0);
    EXPECT_EQ(fHost.pSelected, two);
    EXPECT_FALSE(fRunner.Actions().Step.bChecked);
}

TEST_F(ProcessRunnerTest, GotoJumpsAfterTheGotoNode)
{
    TTreeNode* jump = Work(nullptr, QStringLiteral("jump"));
    TTreeNode* skipped = Work(nullptr, QStringLiteral("skipped"));
    TTreeNode* target = Work(nullptr, QStringLiteral("Target"));
    Loaded();
    bool bFound = false;
    CmdOf(jump)->fOnExecute = [&] { bFound = fRunner.SetGotoCase(QStringLiteral("target")); };
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(bFound) << "labels are found without regard to case";
    EXPECT_EQ(CmdOf(skipped)->fiExecutions, 0);
    EXPECT_EQ(CmdOf(target)->fiExecutions, 1);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Jump from \"1. jump\" to \"3. Target\"")));

    EXPECT_FALSE(fRunner.SetGotoCase(QStringLiteral("nowhere")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Test case \"nowhere\" not found!")));
    skipped->Job()->SetEnabled(false);
    EXPECT_FALSE(fRunner.SetGotoCase(QStringLiteral("skipped")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Test case \"skipped\" disabled!")));
}

TEST_F(ProcessRunnerTest, JumpOntoABreakPointPauses)
{
    TTreeNode* jump = Work(nullptr, QStringLiteral("jump"));
    Work(nullptr, QStringLiteral("skipped"));
    TTreeNode* target = Work(nullptr, QStringLiteral("Target"));
    Loaded();
    target->Job()->SetBreakPoint(true);
    CmdOf(jump)->fOnExecute = [&] { fRunner.SetGotoCase(QStringLiteral("Target")); };
    fRunner.Start();
    ASSERT_TRUE(RunToPause());
    EXPECT_EQ(fRunner.CurrentNode(), target);
    EXPECT_EQ(CmdOf(target)->fiExecutions, 0);
}

TEST_F(ProcessRunnerTest, ExitAfterFailureOnlyAfterAFailure)
{
    TTreeNode* first = Work(nullptr, QStringLiteral("first"));
    TTreeNode* fails = Work(nullptr, QStringLiteral("fails"), crFailed);
    TTreeNode* exits = Work(nullptr, QStringLiteral("exits"));
    TTreeNode* never = Work(nullptr, QStringLiteral("never"));
    TTreeNode* f = Case(nullptr, QStringLiteral("Final"), ecFinalCase);
    Loaded();
    fRunner.SetProcessMode(pmContinueOnFailure);
    CmdOf(first)->fOnExecute = [&] { fRunner.SetExitAfterFailure(); };
    CmdOf(exits)->fOnExecute = [&] { fRunner.SetProcessMode(pmExitAfterFailure); };
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(CmdOf(fails)->fiExecutions, 1) << "no failure yet: the first call has no effect";
    EXPECT_EQ(CmdOf(never)->fiExecutions, 0);
    EXPECT_EQ(f->ImageIndex(), StateImageIndex(EImage::NotRun)) << "final cases are not run";
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("1x Failed"));
}

TEST_F(ProcessRunnerTest, WholeCaseRunPausesAfterTheCase)
{
    Work(nullptr, QStringLiteral("before"));
    TTreeNode* c = Case(nullptr, QStringLiteral("Case"));
    TTreeNode* inner = Work(c, QStringLiteral("inner"));
    TTreeNode* after = Work(nullptr, QStringLiteral("after"));
    Loaded();
    fRunner.CtrlClick(c);
    ASSERT_TRUE(RunToPause());
    EXPECT_EQ(CmdOf(inner)->fiExecutions, 1);
    EXPECT_EQ(CmdOf(after)->fiExecutions, 0);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Pause after test case end on test: \"3. after\"")));
    EXPECT_EQ(fHost.pSelected, after);
}

TEST_F(ProcessRunnerTest, NextStartsANewRunWithAnEmptyFailureList)
{
    TTreeNode* node = Work(nullptr, QStringLiteral("flaky"), crFailed);
    Loaded();
    fHost.iNextRuns = 1;
    CmdOf(node)->fOnExecute = [&] {
        if (CmdOf(node)->fiExecutions == 2)
            CmdOf(node)->feImmediate = crDone;
    };
    fRunner.Start();
    ASSERT_TRUE(RunUntil([&] { return fHost.finals.size() == 2; }));
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("1x Failed"));
    EXPECT_EQ(fHost.finals[1].sLabel, QStringLiteral("Passed"));
    EXPECT_TRUE(fRunner.FinalDlg().FailedJobs().isEmpty());
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Ready);
}

TEST_F(ProcessRunnerTest, AbandonedPauseStaysInTheNextFailureList)
{
    TTreeNode* wait = Work(nullptr, QStringLiteral("wait"), crUnknown);
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunUntil([&] { return CmdOf(wait)->fiExecutions == 1; }));
    fRunner.Pause();
    fRunner.TreeMouseReleased();
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Ready);
    EXPECT_EQ(fRunner.CurrentNode(), nullptr);
    CmdOf(wait)->feImmediate = crFailed;
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("2x Failed"));
    EXPECT_EQ(fHost.finals[0].failed,
              (QStringList{QStringLiteral("Paused: 1. wait"), QStringLiteral("Error: 1. wait")}));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process ended with 1 Error(s)")))
        << "the log counts the new run only";
}

TEST_F(ProcessRunnerTest, BreakResultPausesAfterTheNode)
{
    TTreeNode* brk = Work(nullptr, QStringLiteral("break"), crBreak);
    TTreeNode* next = Work(nullptr, QStringLiteral("next"));
    Loaded();
    fRunner.Start();
    ASSERT_TRUE(RunToPause());
    EXPECT_TRUE(brk->Job()->Passed());
    EXPECT_EQ(CmdOf(next)->fiExecutions, 0);
}

TEST_F(ProcessRunnerTest, CommandFaultsDoNotHangTheRun)
{
    TTreeNode* throws = Work(nullptr, QStringLiteral("throws"));
    CmdOf(throws)->fbThrow = true;
    TTreeNode* unknown = Work(nullptr, QStringLiteral("unknown"), crUnknown);
    CmdOf(unknown)->fOnExecute = [&] { QTimer::singleShot(0, [&] { CmdOf(unknown)->Finish(crUnknown); }); };
    TTreeNode* f = Case(nullptr, QStringLiteral("Final"), ecFinalCase);
    Loaded();
    fRunner.SetProcessMode(pmContinueOnFailure);
    fRunner.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(Logged(QStringLiteral("Error: device gone")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Command concluded without result")));
    EXPECT_EQ(fHost.finals[0].sLabel, QStringLiteral("2x Failed"));
    EXPECT_EQ(f->ImageIndex(), StateImageIndex(EImage::Running)) << "the final case header ran";
}

TEST_F(ProcessRunnerTest, ProcessStatesFollowTheTable)
{
    EXPECT_TRUE(fRunner.Actions().bOpen) << "an empty tree leaves only the file actions";
    EXPECT_FALSE(fRunner.Actions().Start.bEnabled);
    Work(nullptr, QStringLiteral("x"));
    fRunner.SetProcessState(EProcessState::Ready);
    EXPECT_TRUE(fRunner.Actions().Start.bEnabled);
    EXPECT_TRUE(fRunner.Actions().bOpen);
    fRunner.SetProcessState(EProcessState::Paused);
    EXPECT_TRUE(fRunner.Actions().Pause.bChecked);
    EXPECT_TRUE(fRunner.Actions().Continue.bEnabled);
    EXPECT_FALSE(fRunner.Actions().bOpen);
    fRunner.SetProcessState(EProcessState::Stopping);
    EXPECT_TRUE(fRunner.Actions().Stop.bChecked);
    EXPECT_FALSE(fRunner.Actions().Pause.bChecked);
    EXPECT_TRUE(fRunner.Actions().Continue.bEnabled) << "state 6 keeps the enabled marks";
    try {
        fRunner.SetProcessState(static_cast<EProcessState>(7));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("01020A:7"));
    }
}

// The enabled or the checked marks of Start, Step, Pause, Continue, Stop, Reset and Set Break Point.
QString Marks(const TProcessActions& a, bool TActionState::*pMark)
{
    QString s;
    for (const TActionState* p :
         {&a.Start, &a.Step, &a.Pause, &a.Continue, &a.Stop, &a.Reset, &a.SetBreakPoint})
        s += p->*pMark ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

TEST(ProcessActionsTest, MarksDeriveFromTheState)
{
    using S = EProcessState;
    using R = EOperatorRequest;
    const struct
    {
        S eState;
        S eEnabledFrom;
        R eRequest;
        bool bTreeEmpty;
        const char* sEnabled;
        const char* sChecked;
        bool bFileActions;
    } cases[] = {
        {S::NothingToRun, S::NothingToRun, R::None, true, "0000000", "0000000", true},
        {S::NothingToRun, S::NothingToRun, R::None, false, "0000000", "0000000", false},
        {S::Ready, S::Ready, R::None, false, "1101011", "0000000", true},
        {S::Ready, S::Ready, R::None, true, "0000000", "0000000", true},
        {S::RunningFromStart, S::RunningFromStart, R::None, false, "0010100", "1000000", false},
        {S::SingleStep, S::SingleStep, R::None, false, "0010101", "0100000", false},
        {S::RunningFromNode, S::RunningFromNode, R::None, false, "0010100", "1000000", false},
        {S::Paused, S::Paused, R::Pause, false, "0101101", "0010000", false},
        {S::Stopping, S::RunningFromStart, R::Stop, false, "0010100", "0000100", false},
        {S::Stopping, S::Paused, R::Stop, false, "0101101", "0000100", false},
        {S::Stopping, S::Paused, R::None, false, "0101101", "0000000", false},
        {S::Stopping, S::Ready, R::Stop, false, "1101011", "0000100", true},
    };
    for (const auto& c : cases) {
        const TProcessActions a = DeriveProcessActions(c.eState, c.eEnabledFrom, c.eRequest, c.bTreeEmpty);
        const std::string sCase = std::to_string(int(c.eState)) + " from " +
                                  std::to_string(int(c.eEnabledFrom)) + (c.bTreeEmpty ? ", empty tree" : "");
        EXPECT_EQ(Marks(a, &TActionState::bEnabled), QLatin1String(c.sEnabled)) << sCase;
        EXPECT_EQ(Marks(a, &TActionState::bChecked), QLatin1String(c.sChecked)) << sCase;
        EXPECT_EQ(a.bFileMenu, c.bFileActions) << sCase;
        EXPECT_EQ(a.bOpen, c.bFileActions) << sCase;
        EXPECT_EQ(a.bReload, c.bFileActions) << sCase;
        EXPECT_EQ(a.bToggleEnabled, !c.bTreeEmpty) << sCase;
    }
}

TEST_F(ProcessRunnerTest, SetTestCaseStatusCoversTheSubtree)
{
    TTreeNode* c = Case(nullptr, QStringLiteral("Case"));
    TTreeNode* a = Work(c, QStringLiteral("a"));
    Loaded();
    EXPECT_TRUE(fRunner.SetTestCaseStatus(QStringLiteral("CASE"), false));
    EXPECT_FALSE(a->Job()->Enabled());
    EXPECT_EQ(a->ImageIndex(), StateImageIndex(EImage::Disabled));
    EXPECT_FALSE(fRunner.SetTestCaseStatus(QStringLiteral("none"), true));
    fRunner.Start();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Logged(QStringLiteral("Error: No active test item found!")));
}

TEST_F(ProcessRunnerTest, FindNodeFoldsOnlyAsciiLetters)
{
    Case(nullptr, QStringLiteral("\u00C4nderung"));
    Case(nullptr, QStringLiteral("Power Up"));
    Loaded();
    const struct
    {
        QString sName;
        bool bFound;
    } cases[] = {
        {QStringLiteral("power UP"), true},       {QStringLiteral("\u00C4NDERUNG"), true},
        {QStringLiteral("\u00E4nderung"), false}, {QStringLiteral("\u00E4NDERUNG"), false},
        {QStringLiteral("Power Up "), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fRunner.FindNode(c.sName, true) != nullptr, c.bFound) << c.sName.toStdString();
}

TEST_F(ProcessRunnerTest, KeyHookGetsKeysFirst)
{
    EXPECT_FALSE(fRunner.OfferKey(Qt::Key_Return));
    std::vector<int> keys;
    fRunner.SetOnKeyContinue([&](int iKey) {
        keys.push_back(iKey);
        fRunner.ClearOnKeyContinue();
        return true;
    });
    EXPECT_TRUE(fRunner.OfferKey(Qt::Key_Escape));
    EXPECT_FALSE(fRunner.OfferKey(Qt::Key_Escape));
    EXPECT_EQ(keys, std::vector<int>{Qt::Key_Escape});
}

TEST_F(ProcessRunnerTest, WithoutAnOperatorNothingRuns)
{
    TTreeNode* node = Work(nullptr, QStringLiteral("x"));
    Loaded();
    fHost.sOperator.reset();
    fRunner.Start();
    QCoreApplication::processEvents();
    EXPECT_EQ(CmdOf(node)->fiExecutions, 0);
    EXPECT_TRUE(Logged(QStringLiteral("Error: No operator answer available")));
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Ready);
}

} // namespace

// Nodes that conclude at once are walked in a loop: a long run neither grows the stack nor keeps
// the event loop from serving timers (and with them the operator's Stop) while it lasts.
class SynchronousWalkTest : public ProcessRunnerTest
{
protected:
    void SetUp() override
    {
        ProcessRunnerTest::SetUp();
        // A million jump lines would be formatted for nothing.
        fLog.SetShowTrace(false);
        fLoop = Work(nullptr, QStringLiteral("Loop"));
        fAfter = Work(nullptr, QStringLiteral("after"));
        Loaded();
    }

    TTreeNode* fLoop = nullptr;
    TTreeNode* fAfter = nullptr;
};

TEST_F(SynchronousWalkTest, AMillionStepsRunWithoutGrowingTheStack)
{
    constexpr int ciSteps = 1'000'000;
    std::uintptr_t iLowest = UINTPTR_MAX;
    std::uintptr_t iHighest = 0;
    int iTimerShots = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++iTimerShots; });
    CmdOf(fLoop)->fOnExecute = [&] {
        const int iMark = 0;
        const auto iDepth = reinterpret_cast<std::uintptr_t>(&iMark);
        iLowest = std::min(iLowest, iDepth);
        iHighest = std::max(iHighest, iDepth);
        if (CmdOf(fLoop)->fiExecutions < ciSteps)
            fRunner.SetGotoCase(QStringLiteral("loop"));
    };
    fRunner.Start();
    timer.start(1);
    ASSERT_TRUE(RunEventsUntil([this] { return !fHost.finals.empty(); }, 60000));
    EXPECT_EQ(CmdOf(fLoop)->fiExecutions, ciSteps);
    EXPECT_EQ(CmdOf(fAfter)->fiExecutions, 1);
    EXPECT_TRUE(fHost.finals[0].bPassed);
    EXPECT_LT(iHighest - iLowest, 4096u) << "every step starts from the same depth";
    EXPECT_GT(iTimerShots, 0) << "the walk yields to the event loop between time slices";
}

TEST_F(SynchronousWalkTest, StopEndsAnEndlessSynchronousRun)
{
    CmdOf(fLoop)->fOnExecute = [this] { fRunner.SetGotoCase(QStringLiteral("loop")); };
    fRunner.Start();
    QTimer::singleShot(50, [this] { fRunner.Stop(); });
    ASSERT_TRUE(RunEventsUntil([this] { return !fHost.finals.empty(); }, 10000));
    EXPECT_GT(CmdOf(fLoop)->fiExecutions, 1);
    EXPECT_FALSE(fHost.finals[0].bPassed);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Process stopped by user at \"1. Loop\"")));
}
