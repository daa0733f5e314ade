#include "devices/system/DeviceSys.h"
#include "TestContext.h"
#include "devices/system/ToneOutput.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/RunnerHost.h"
#include "execution/TestTree.h"

#include "DeviceFixture.h"
#include "SysCommandFixture.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using namespace sys;

namespace {

class TRecordingTones : public IToneOutput
{
public:
    explicit TRecordingTones(bool bServer, std::vector<std::pair<int, int>>& aTones, int& aBells)
        : fbServer(bServer), fTones(aTones), fiBells(aBells)
    {}
    bool PlayTone(int iFrequency, int iDuration) override
    {
        bOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        if (fbServer)
            fTones.emplace_back(iFrequency, iDuration);
        return fbServer;
    }
    void Bell() override { ++fiBells; }

    // Written by the playing thread before the step concludes on the main thread.
    static inline std::atomic<bool> bOnMainThread{true};

private:
    bool fbServer;
    std::vector<std::pair<int, int>>& fTones;
    int& fiBells;
};

class DeviceSysTest : public TDeviceFixture
{
protected:
    DeviceSysTest()
    {
        fRunner.SetFailureReport(&fReport);
        fSys = fSession.Devices().Append(QStringLiteral("SystemControl; Sys"));
    }
    // The fake report goes before the session's runner does.
    ~DeviceSysTest() override { fRunner.SetFailureReport(nullptr); }

    TCommand* Make(const QString& sFunction, const QString& sParameter)
    {
        return fSys->Command(sFunction)->Init(sFunction, sParameter);
    }
    TTreeNode* Line(const QString& sFunction, const QString& sParameter, TTreeNode* aParent = nullptr)
    {
        return TJob::CreateNewJob(sFunction, fTree, aParent, Make(sFunction, sParameter), ecWorkCase, false);
    }
    TTreeNode* Case(const QString& sLabel)
    {
        return TJob::CreateNewJob(sLabel, fTree, nullptr, nullptr, ecNormalCase, true);
    }
    QString InitError(const QString& sFunction, const QString& sParameter)
    {
        return InitErrorOf(*fSys, sFunction, sParameter);
    }
    static bool RunUntil(const std::function<bool()>& aDone) { return RunEventsUntil(aDone); }
    bool Run()
    {
        fRunner.AttachJobs();
        fRunner.SetProcessState(EProcessState::Ready);
        fRunner.Start();
        return RunUntil([this] { return !fHost.finals.empty(); });
    }

    TTestTree& fTree = fSession.Tree();
    TProcessRunner& fRunner = *fSession.Runner();
    TFakeFailureReport fReport;
    TDevice* fSys = nullptr;
};

TEST_F(DeviceSysTest, FunctionTableAndFactory)
{
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("SystemControl"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("System Control"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.20"));
    const QStringList shared = {QStringLiteral("Beep"), QStringLiteral("ShowErrorReport"),
                                QStringLiteral("WriteValueLog")};
    for (const QString& s : shared)
        EXPECT_EQ(Make(s, QStringLiteral("\"x\"")), fSys->Command(s)) << s.toStdString();
    EXPECT_NE(Make(QStringLiteral("Delay"), QStringLiteral("\"a\";1")),
              Make(QStringLiteral("Delay"), QStringLiteral("\"b\";1")));
    EXPECT_EQ(fSys->Command(QStringLiteral("Delay")), fSys->Command(QStringLiteral("Break")))
        << "one factory serves every created function";
    EXPECT_EQ(fSys->Command(QStringLiteral("delay")), nullptr);
    try {
        fSys->Command(QStringLiteral("Delay"))->Init(QStringLiteral("Wait"), QString());
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.Id().Value, 0x111163u);
        EXPECT_EQ(e.Text(), QStringLiteral("Unknown function \"Wait\" found!"));
    }
    try {
        fSys->Command(QStringLiteral("Delay"))->Execute(QStringLiteral("abc"));
        FAIL() << "no error";
    } catch (const EMsg& e) {
        EXPECT_EQ(e.MsgNo(), QStringLiteral("11120A:3"));
    }
}

TEST_F(DeviceSysTest, InitErrors)
{
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"Process", ";Stop", "Unknown label \"Stop\" defined!\r\nID: 112100:0"},
        {"Process", ";breakonfailure", "no error"},
        {"Process", "\"x\"", "Invalid csv index 1 to list count 1!"},
        {"SetTestCaseStatus", ";Final", "Number of parameters found: 2 < 3 needed parameters!"},
        {"SetTestCaseStatus", ";Final;Maybe", "Unknown label \"Maybe\"!"},
        {"SetTestCaseStatus", ";Final; disabled ", "no error"},
        {"Delay", ";abc", "'abc' is not a valid integer value"},
        {"Delay", "\"x\"", "Number of parameters found: 1 < 2 needed parameters!"},
        {"Delay", ";$10", "no error"},
        {"Goto", "\"x\"", "Invalid csv index 1 to list count 1!"},
        {"Goto", ";Target;\"1 > 0\"", "no error"},
        {"Pause", "\"x\"", "no error"},
        {"Break", "", "no error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitError(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter)).toStdString(),
                  c.sError)
            << c.sFunction << "(" << c.sParameter << ")";
}

TEST_F(DeviceSysTest, DelayConcludesFromTheEventLoop)
{
    TTreeNode* zero = Line(QStringLiteral("Delay"), QStringLiteral("\"zero\";0"));
    TTreeNode* negative = Line(QStringLiteral("Delay"), QStringLiteral("\"negative\";-5"));
    TTreeNode* wait = Line(QStringLiteral("Delay"), QStringLiteral("\"wait\";60"));
    zero->Job()->Execute(zero->Text());
    EXPECT_EQ(zero->ImageIndex(), StateImageIndex(EImage::Running)) << "never concluded inside Execute";
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(Run());
    EXPECT_GE(timer.elapsed(), 55);
    EXPECT_TRUE(fHost.finals[0].bPassed);
    EXPECT_EQ(negative->Job()->Cmd()->CmdResult(), crDone);
    EXPECT_EQ(wait->Job()->Cmd()->CmdResult(), crDone);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Delay for 60 ms")));
}

// A settle time is a minimum: a Delay never concludes before its time, however the event loop
// rounds its timers.
TEST_F(DeviceSysTest, DelayNeverConcludesEarly)
{
    for (const int iMs : {1, 37, 101, 200, 200, 200, 200, 333}) {
        TTreeNode* node = Line(QStringLiteral("Delay"), QStringLiteral("\"d\";%1").arg(iMs));
        QElapsedTimer timer;
        timer.start();
        node->Job()->Execute(node->Text());
        ASSERT_TRUE(RunUntil([node] { return node->Job()->Cmd()->CmdResult() == crDone; })) << iMs;
        EXPECT_GE(timer.nsecsElapsed(), qint64(iMs) * 1000000) << iMs;
    }
}

TEST_F(DeviceSysTest, PauseWaitsForEnterOrEscape)
{
    struct
    {
        std::vector<int> keys;
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {{Qt::Key_A, Qt::Key_Return}, crOk, ""},
        {{Qt::Key_Space, Qt::Key_Escape}, crFailed, ""},
        {{ciKeyNoAnswer}, crFailed, "No operator answer available"},
    };
    for (const auto& c : cases) {
        fTree.Clear();
        TTreeNode* pause = Line(QStringLiteral("Pause"), QStringLiteral("\"Press Enter\""));
        fRunner.AttachJobs();
        fRunner.SetProcessState(EProcessState::Ready);
        fHost.finals.clear();
        fRunner.Start();
        ASSERT_TRUE(RunUntil([this] { return fRunner.HasKeyHook(); }));
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            EXPECT_EQ(fRunner.OfferKey(c.keys[i]), i + 1 == c.keys.size())
                << "only Enter and Escape are taken";
        ASSERT_TRUE(RunUntil([this] { return !fHost.finals.empty(); }));
        EXPECT_EQ(pause->Job()->Cmd()->CmdResult(), c.eResult);
        EXPECT_EQ(pause->Job()->ErrorText().toStdString(), c.sError);
        EXPECT_FALSE(fRunner.HasKeyHook());
    }
}

TEST_F(DeviceSysTest, OperatorPauseCancelsAWaitingPause)
{
    TTreeNode* pause = Line(QStringLiteral("Pause"), QStringLiteral("\"Press Enter\""));
    fRunner.AttachJobs();
    fRunner.SetProcessState(EProcessState::Ready);
    fRunner.Start();
    ASSERT_TRUE(RunUntil([this] { return fRunner.HasKeyHook(); }));
    fRunner.Pause();
    EXPECT_FALSE(fRunner.HasKeyHook());
    EXPECT_EQ(pause->Job()->Cmd()->CmdResult(), crCancelled);
    EXPECT_EQ(fRunner.ProcessState(), EProcessState::Paused);
}

TEST_F(DeviceSysTest, GotoFollowsItsCondition)
{
    // Start resets the variables: Count is 0 while the run goes.
    fSession.Variables().SetValue(QStringLiteral("Count"), std::int64_t(3));
    TTreeNode* no = Line(QStringLiteral("Goto"), QStringLiteral("\"no\";Target;\"%Count > 5\""));
    TTreeNode* bad = Line(QStringLiteral("Goto"), QStringLiteral("\"bad\";Target;\"%Count >\""));
    TTreeNode* yes = Line(QStringLiteral("Goto"), QStringLiteral("\"yes\";target;\"%Count = 0\""));
    TTreeNode* skipped = Line(QStringLiteral("Delay"), QStringLiteral("\"skipped\";0"));
    TTreeNode* target = Case(QStringLiteral("Target"));
    fRunner.SetProcessMode(pmContinueOnFailure);
    ASSERT_TRUE(Run());
    EXPECT_EQ(no->Job()->Cmd()->CmdResult(), crDone);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Goto condition \"0 > 5\" not met - goto ignored.")));
    EXPECT_EQ(bad->Job()->Cmd()->CmdResult(), crFailed) << "a bad condition is a failure, not a jump";
    EXPECT_TRUE(bad->Job()->ErrorText().startsWith(QStringLiteral("Goto condition invalid \"0 >\": ")));
    EXPECT_EQ(yes->Job()->Cmd()->CmdResult(), crOk);
    EXPECT_EQ(skipped->Job()->Cmd()->CmdResult(), crUnknown) << "the jump skipped it";
    EXPECT_EQ(target->ImageIndex(), StateImageIndex(EImage::Running));
    EXPECT_FALSE(fHost.finals[0].bPassed);
}

TEST_F(DeviceSysTest, GotoToADisabledCaseFails)
{
    TTreeNode* jump = Line(QStringLiteral("Goto"), QStringLiteral("\"jump\";Off"));
    TTreeNode* off = Case(QStringLiteral("Off"));
    off->Job()->SetEnabled(false);
    ASSERT_TRUE(Run());
    EXPECT_EQ(jump->Job()->Cmd()->CmdResult(), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Error: Test case \"Off\" disabled!")));
}

TEST_F(DeviceSysTest, ProcessSetsTheFailurePolicy)
{
    Line(QStringLiteral("Process"), QStringLiteral("\"go on\";ContinueOnFailure"));
    ASSERT_TRUE(Run());
    EXPECT_FALSE(TRegIO::Instance().EndOnFailure());

    fTree.Clear();
    fHost.finals.clear();
    Line(QStringLiteral("Process"), QStringLiteral("\"exit early\";ExitAfterFailure"));
    TTreeNode* failing = Line(QStringLiteral("Pause"), QStringLiteral("\"no answer\""));
    Line(QStringLiteral("Process"), QStringLiteral("\"now exit\";ExitAfterFailure"));
    TTreeNode* never = Line(QStringLiteral("Delay"), QStringLiteral("\"never\";0"));
    QObject::connect(&fRunner, &TProcessRunner::KeyWaitChanged, [this](bool bWaiting) {
        if (bWaiting)
            QTimer::singleShot(0, [this] { fRunner.OfferKey(ciKeyNoAnswer); });
    });
    ASSERT_TRUE(Run());
    EXPECT_EQ(failing->Job()->Cmd()->CmdResult(), crFailed);
    EXPECT_EQ(never->ImageIndex(), StateImageIndex(EImage::NotRun))
        << "the first ExitAfterFailure came before any failure";
}

TEST_F(DeviceSysTest, SetTestCaseStatusSwitchesTheSubtree)
{
    Line(QStringLiteral("SetTestCaseStatus"), QStringLiteral("\"off\";\"Later\";Disabled"));
    TTreeNode* missing =
        Line(QStringLiteral("SetTestCaseStatus"), QStringLiteral("\"missing\";Nowhere;Enabled"));
    TTreeNode* later = Case(QStringLiteral("Later"));
    TTreeNode* inner = Line(QStringLiteral("Delay"), QStringLiteral("\"inner\";0"), later);
    fRunner.SetProcessMode(pmContinueOnFailure);
    ASSERT_TRUE(Run());
    EXPECT_FALSE(later->Job()->Enabled());
    EXPECT_FALSE(inner->Job()->Enabled());
    EXPECT_EQ(inner->Job()->Cmd()->CmdResult(), crUnknown);
    EXPECT_EQ(missing->Job()->Cmd()->CmdResult(), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Test case \"Later\" disabled!")));
}

TEST_F(DeviceSysTest, BreakPausesTheRun)
{
    TTreeNode* brk = Line(QStringLiteral("Break"), QStringLiteral("\"stop here\""));
    TTreeNode* next = Line(QStringLiteral("Delay"), QStringLiteral("\"next\";0"));
    fRunner.AttachJobs();
    fRunner.SetProcessState(EProcessState::Ready);
    fRunner.Start();
    ASSERT_TRUE(RunUntil([this] { return fRunner.ProcessState() == EProcessState::Paused; }));
    EXPECT_TRUE(brk->Job()->Passed());
    EXPECT_EQ(next->Job()->Cmd()->CmdResult(), crUnknown);
}

TEST_F(DeviceSysTest, ShowErrorReportShowsThePendingReport)
{
    fReport.sPending = QStringLiteral("1.1. failed step");
    fReport.bStop = true;
    Line(QStringLiteral("ShowErrorReport"), QStringLiteral("\"report\""));
    ASSERT_TRUE(Run());
    EXPECT_EQ(fReport.shownTo, std::vector<QString>{QStringLiteral("op1")});
}

TEST_F(DeviceSysTest, WriteValueLogSplitsTheRun)
{
    TTestDir dir;
    const QString sLog = dir.FilePath(QStringLiteral("log.csv"));
    fSession.ValueLog().Init(sLog, QString());
    TTreeNode* write = Line(QStringLiteral("WriteValueLog"), QStringLiteral("\"intermediate\""));
    ASSERT_TRUE(Run());
    EXPECT_EQ(write->Job()->Cmd()->CmdResult(), crDone);
    const QStringList lines =
        QString::fromLatin1(ReadFileBytes(sLog)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << "header, the intermediate line and the run's line";
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(";Passed;op1")));

    // A log whose folder vanished fails the step instead of keeping the run waiting.
    fTree.Clear();
    fHost.finals.clear();
    TTreeNode* again = Line(QStringLiteral("WriteValueLog"), QStringLiteral("\"again\""));
    QDir(dir.Path()).removeRecursively();
    fRunner.SetProcessMode(pmContinueOnFailure);
    ASSERT_TRUE(Run());
    EXPECT_EQ(again->Job()->Cmd()->CmdResult(), crFailed);
    EXPECT_TRUE(again->Job()->ErrorText().contains(sLog));
}

TEST_F(DeviceSysTest, BeepPlaysTwoTonesOrRingsTheBell)
{
    std::vector<std::pair<int, int>> tones;
    int iBells = 0;
    fSession.Context().SetPart<IToneOutput>(std::make_unique<TRecordingTones>(true, tones, iBells));
    TTreeNode* beep = Line(QStringLiteral("Beep"), QStringLiteral("\"beep\""));
    ASSERT_TRUE(Run());
    EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{800, 40}, {500, 20}}));
    EXPECT_EQ(iBells, 0);
    EXPECT_FALSE(TRecordingTones::bOnMainThread) << "tones never block the main thread";

    fHost.finals.clear();
    fSession.Context().SetPart<IToneOutput>(std::make_unique<TRecordingTones>(false, tones, iBells));
    ASSERT_TRUE(Run());
    EXPECT_EQ(iBells, 1);
    EXPECT_EQ(beep->Job()->Cmd()->CmdResult(), crDone) << "no sound server never fails the step";
    fSession.Context().SetPart<IToneOutput>(nullptr);
}

} // namespace

namespace {

// The run as the commands see it, without a runner: what they asked for is recorded.
class TFakeRunnerControl : public IRunnerControl
{
public:
    IFailureReport* FailureReport() const override { return nullptr; }
    const QString& OperatorName() const override { return fsOperator; }
    bool SetGotoCase(const QString& aName) override
    {
        calls.push_back(QStringLiteral("goto ") + aName);
        return aName != QStringLiteral("missing");
    }
    bool SetTestCaseStatus(const QString& aName, bool aEnabled) override
    {
        calls.push_back(QStringLiteral("status ") + aName +
                        (aEnabled ? QStringLiteral(" on") : QStringLiteral(" off")));
        return true;
    }
    void SetExitAfterFailure() override { calls.push_back(QStringLiteral("exit after failure")); }
    void SetEndOnFailure(bool bEnd) override
    {
        calls.push_back(bEnd ? QStringLiteral("end on failure") : QStringLiteral("go on after failure"));
    }
    void SetOnKeyContinue(TKeyContinueEvent aEvent) override { fKey = std::move(aEvent); }
    void ClearOnKeyContinue() override { fKey = nullptr; }

    QString fsOperator = QStringLiteral("op");
    std::vector<QString> calls;
    TKeyContinueEvent fKey;
};

using SysDeclarationTest = SysCommandFixture;

// The device's own debug line comes from its type's registration, once, and only while a sink
// shows debug lines.
TEST_F(SysDeclarationTest, DeclaringTheDeviceWritesItsInitLineWhenDebugLinesAreShown)
{
    sys::RegisterDevices(TestDeviceTypes());
    TDeviceList& devices = fContext.Devices();
    devices.Append(QStringLiteral("SystemControl; Quiet"));
    fLog.SetShowDebug(true);
    devices.Append(QStringLiteral("SystemControl; Loud"));
    const auto initLines = std::count_if(fLog.Lines().begin(), fLog.Lines().end(), [](const TLogLine& line) {
        return line.sText.contains(QStringLiteral("TDeviceSys.Init: "));
    });
    EXPECT_EQ(initLines, 1);
    EXPECT_TRUE(Logged(QStringLiteral(" Debug: TDeviceSys.Init: SystemControl; Loud")));
    devices.Clear();
}

// System Control steers the run only through its device's context, so a device test needs no runner.
TEST(DeviceSysContextTest, CommandsSteerTheRunOfTheirContext)
{
    TTestDeviceContext context;
    TFakeRunnerControl runner;
    context.SetRunner(&runner);
    TDeviceSys sys(context);
    int iResults = 0;
    auto execute = [&](const QString& sFunction, const QString& sParameter) {
        TCommand* pCmd = sys.Command(sFunction)->Init(sFunction, sParameter);
        pCmd->SetOnResult([&](TCommand*) { ++iResults; });
        pCmd->Execute(QString());
        return pCmd;
    };
    EXPECT_EQ(execute(QStringLiteral("Goto"), QStringLiteral("\"g\";Tail"))->CmdResult(), crOk);
    TCommand* missing = execute(QStringLiteral("Goto"), QStringLiteral("\"g\";missing"));
    EXPECT_EQ(missing->CmdResult(), crFailed);
    EXPECT_EQ(missing->ErrorText(), QStringLiteral("Goto target \"missing\" not found or disabled"));
    execute(QStringLiteral("SetTestCaseStatus"), QStringLiteral("\"s\";Tail;Disabled"));
    execute(QStringLiteral("Process"), QStringLiteral("\"p\";ExitAfterFailure"));
    execute(QStringLiteral("Process"), QStringLiteral("\"p\";ContinueOnFailure"));
    execute(QStringLiteral("Process"), QStringLiteral("\"p\";BreakOnFailure"));
    EXPECT_EQ(runner.calls,
              (std::vector<QString>{"goto Tail", "goto missing", "status Tail off", "exit after failure",
                                    "go on after failure", "end on failure"}));

    // Pause waits for the key through the context's runner and lets go of it when it concludes.
    TCommand* pause = execute(QStringLiteral("Pause"), QStringLiteral("\"wait\""));
    ASSERT_TRUE(runner.fKey);
    EXPECT_FALSE(runner.fKey(Qt::Key_F5)) << "other keys stay with the window";
    EXPECT_TRUE(runner.fKey(Qt::Key_Return));
    EXPECT_EQ(pause->CmdResult(), crOk);
    EXPECT_FALSE(runner.fKey);
    EXPECT_EQ(iResults, 7) << "each step concluded once";

    // Without a run the same commands fail instead of waiting.
    context.SetRunner(nullptr);
    TCommand* lonely = execute(QStringLiteral("Pause"), QStringLiteral("\"wait\""));
    EXPECT_EQ(lonely->CmdResult(), crFailed);
    EXPECT_EQ(lonely->ErrorText(), QStringLiteral("No test process is running"));
}

} // namespace
