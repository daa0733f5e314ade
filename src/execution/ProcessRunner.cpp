#include "ProcessRunner.h"

#include "DeviceList.h"
#include "Job.h"
#include "RunnerHost.h"
#include "TestTree.h"

#include "core/DateTimeFormat.h"
#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaObject>

#include <array>
#include <iterator>

namespace {

const QString& SelectActiveStep()
{
    static const QString s = QStringLiteral("Select an active test step!");
    return s;
}

bool IsEnabled(const TTreeNode* aNode)
{
    return aNode && aNode->Job() && aNode->Job()->Enabled();
}

// Test names match without regard to the case of ASCII letters only: every other character must
// be the same, so a definition finds the same tests wherever it runs.
bool SameNameIgnoringAsciiCase(const QString& sA, const QString& sB)
{
    if (sA.size() != sB.size())
        return false;
    const auto Lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; };
    for (qsizetype i = 0; i < sA.size(); ++i) {
        if (Lower(sA.at(i).unicode()) != Lower(sB.at(i).unicode()))
            return false;
    }
    return true;
}

} // namespace

TProcessRunner::TProcessRunner(TTestTree& aTree, IRunnerHost& aHost, TDeviceContext& aContext,
                               QObject* aParent)
    : QObject(aParent), fTree(aTree), fHost(aHost), fContext(aContext)
{
    fRequestTimer.setSingleShot(true);
    fRequestTimer.setInterval(0);
    connect(&fRequestTimer, &QTimer::timeout, this, [this] {
        if (fbRequestPending)
            Walk();
    });
    SetProcessState(EProcessState::NothingToRun);
    // The commands of the loaded definition steer the run through their devices' context.
    fContext.SetRunner(this);
}

TProcessRunner::~TProcessRunner()
{
    fContext.ForgetRunner(this);
}

void TProcessRunner::SetOnKeyContinue(TKeyContinueEvent aEvent)
{
    FOnKeyContinue = std::move(aEvent);
    Q_EMIT KeyWaitChanged(bool(FOnKeyContinue));
}

void TProcessRunner::ClearOnKeyContinue()
{
    FOnKeyContinue = nullptr;
    Q_EMIT KeyWaitChanged(false);
}

void TProcessRunner::AttachJobs()
{
    for (int i = 0; i < fTree.Count(); ++i) {
        if (TJob* pJob = fTree.Node(i)->Job())
            pJob->SetOnFinished([this](TJob* aJob) { JobFinished(aJob); });
    }
    fCurrentNode = nullptr;
    fGotoNode = nullptr;
    fNodeAfterEntireTestCase = nullptr;
    fbRequestPending = false;
    fbJobRunning = false;
}

// ---------------------------------------------------------------------------------------------
// Process states

TProcessActions DeriveProcessActions(EProcessState eState, EProcessState eEnabledFrom,
                                     EOperatorRequest eOperatorRequest, bool bTreeEmpty)
{
    // Enabled marks by state: Start, Step, Pause, Continue, Stop, Reset, Set Break Point.
    static constexpr std::array<std::array<bool, 7>, 6> cEnabled = {{
        {false, false, false, false, false, false, false}, // nothing to run
        {true, true, false, true, false, true, true},      // ready
        {false, false, true, false, true, false, false},   // running from Start
        {false, false, true, false, true, false, true},    // single step
        {false, false, true, false, true, false, false},   // running from a node
        {false, true, false, true, true, false, true},     // paused
    }};
    TProcessActions actions;
    TActionState* const all[] = {&actions.Start, &actions.Step,  &actions.Pause,        &actions.Continue,
                                 &actions.Stop,  &actions.Reset, &actions.SetBreakPoint};
    const EProcessState eMarks = eState == EProcessState::Stopping ? eEnabledFrom : eState;
    // Anything outside the table (Stopping stopped from Stopping) leaves every action disabled.
    if (int(eMarks) >= 0 && std::size_t(eMarks) < cEnabled.size()) {
        for (std::size_t i = 0; i < std::size(all); ++i)
            all[i]->bEnabled = cEnabled[std::size_t(eMarks)][i];
    }
    actions.Start.bChecked =
        eState == EProcessState::RunningFromStart || eState == EProcessState::RunningFromNode;
    actions.Step.bChecked = eState == EProcessState::SingleStep;
    actions.Pause.bChecked = eState == EProcessState::Paused;
    actions.Stop.bChecked = eState == EProcessState::Stopping && eOperatorRequest == EOperatorRequest::Stop;
    if (!bTreeEmpty) {
        actions.bFileMenu = actions.bOpen = actions.bReload = actions.Start.bEnabled;
        actions.bToggleEnabled = true;
    } else {
        actions.bFileMenu = actions.bOpen = actions.bReload = true;
        for (TActionState* a : all)
            a->bEnabled = false;
        actions.bToggleEnabled = false;
    }
    return actions;
}

void TProcessRunner::SetProcessState(EProcessState eState)
{
    // Stopping is entered by the operator's stop, which the running node's conclusion handles.
    ChangeState(eState, eState == EProcessState::Stopping ? EOperatorRequest::Stop : EOperatorRequest::None);
}

void TProcessRunner::ChangeState(EProcessState eState, EOperatorRequest eOperatorRequest)
{
    if (int(eState) < 0 || int(eState) > 6)
        throw EMsg(TMsgId(0x01020A), int(eState));
    feProcessState = eState;
    if (eState != EProcessState::Stopping)
        feEnabledFrom = eState;
    feOperatorRequest = eOperatorRequest;
    UpdateActions();
}

void TProcessRunner::UpdateActions()
{
    fActions = DeriveProcessActions(feProcessState, feEnabledFrom, feOperatorRequest, fTree.Empty());
    Q_EMIT ActionsChanged();
}

bool TProcessRunner::Walking() const
{
    return feProcessState == EProcessState::RunningFromStart || feProcessState == EProcessState::SingleStep ||
           feProcessState == EProcessState::RunningFromNode;
}

// ---------------------------------------------------------------------------------------------
// Operator actions

QString TProcessRunner::Now() const
{
    const TFormatSettings& settings = TFormatSettings::App();
    return FormatDateTime(settings.sShortDateFormat + QLatin1Char(' ') + settings.sLongTimeFormat,
                          QDateTime::currentDateTime());
}

void TProcessRunner::Start()
{
    SetProcessState(EProcessState::RunningFromStart);
    Reset();
    fHost.AddLogSeparator();
    TTreeNode* pNode = fTree.First();
    if (pNode && !IsEnabled(pNode))
        pNode = NextEnabledNode(pNode);
    if (!pNode) {
        fContext.Msg().Error(QStringLiteral("No active test item found!"));
        return;
    }
    fContext.Msg().Info(QStringLiteral("START (%s)"), {Now()});
    fContext.ValueLog().SetStart();
    fContext.Devices().RunStarted();
    RunNode(pNode);
}

void TProcessRunner::Step()
{
    TTreeNode* pNode = fHost.SelectedNode();
    if (!IsEnabled(pNode)) {
        fHost.ShowInformation(SelectActiveStep());
        return;
    }
    SetProcessState(EProcessState::SingleStep);
    RunNode(pNode);
}

void TProcessRunner::Continue()
{
    TTreeNode* pNode = fHost.SelectedNode();
    if (!IsEnabled(pNode)) {
        fHost.ShowInformation(SelectActiveStep());
        return;
    }
    SetProcessState(EProcessState::RunningFromNode);
    fContext.Msg().Info(QStringLiteral("CONTINUE (%s)"), {Now()});
    RunNode(pNode);
}

void TProcessRunner::Pause()
{
    if (!fCurrentNode)
        return;
    ChangeState(EProcessState::Paused, EOperatorRequest::Pause);
    CancelCurrentJob();
}

void TProcessRunner::Stop()
{
    if (!fCurrentNode)
        return;
    SetProcessState(EProcessState::Stopping);
    CancelCurrentJob();
}

void TProcessRunner::CancelCurrentJob()
{
    // A node whose request is still queued is not started any more.
    fbRequestPending = false;
    if (TJob* pJob = fCurrentNode->Job())
        pJob->Cancel();
}

void TProcessRunner::Reset()
{
    fJobFailureCounter = 0;
    fNodeAfterEntireTestCase = nullptr;
    fbExitAfterFailure = false;
    fContext.Variables().ResetValues();
    for (int i = 0; i < fTree.Count(); ++i) {
        if (TJob* pJob = fTree.Node(i)->Job())
            pJob->Reset();
    }
    fHost.ClearSelection();
}

void TProcessRunner::ToggleBreakPoint()
{
    TTreeNode* pNode = fHost.SelectedNode();
    if (!pNode) {
        fHost.ShowInformation(QStringLiteral("Select a test step!"));
        return;
    }
    if (!pNode->Job())
        throw EMsg(TMsgId(0x010300), 0);
    pNode->Job()->SetBreakPoint(!pNode->Job()->BreakPoint());
}

void TProcessRunner::ToggleSelectedEnabled()
{
    TTreeNode* pNode = fHost.SelectedNode();
    if (!pNode) {
        fHost.ShowInformation(QStringLiteral("Select a test step!"));
        return;
    }
    ToggleEnabled(pNode);
}

void TProcessRunner::ShiftClick(TTreeNode* aNode)
{
    if (aNode)
        ToggleEnabled(aNode);
}

void TProcessRunner::CtrlClick(TTreeNode* aNode)
{
    // A second walk beside a running one would run two nodes at once: refuse it like a link call.
    if (Walking() || JobInProgress()) {
        fContext.Msg().Warning(QStringLiteral("Call ignored - Test process in progress!"));
        return;
    }
    if (!IsEnabled(aNode)) {
        fHost.ShowInformation(SelectActiveStep());
        return;
    }
    RunEntireCase(aNode);
}

void TProcessRunner::TreeMouseReleased()
{
    // After a Stop the final cases run outside the walking states; the node being executed must
    // not be forgotten then, or its conclusion would find no place to go on from.
    if (JobInProgress())
        return;
    if (!Walking() && fCurrentNode) {
        fCurrentNode = nullptr;
        SetProcessState(EProcessState::Ready);
    }
}

void TProcessRunner::CallTestItem(const QString& sName)
{
    if (!fActions.Continue.bEnabled) {
        fContext.Msg().Warning(QStringLiteral("Call ignored - Test process in progress!"));
        return;
    }
    TTreeNode* pTarget = FindNode(sName, true);
    if (!pTarget) {
        fContext.Msg().Error(QStringLiteral("Test \"%s\" not found!"), {sName});
        return;
    }
    if (!IsEnabled(pTarget)) {
        fContext.Msg().Warning(QStringLiteral("Call ignored - Test \"%s\" disabled!"), {sName});
        return;
    }
    fHost.MakeVisible(pTarget);
    if (fCurrentNode)
        fContext.Msg().Info(QStringLiteral("Jump from \"%s\" to \"%s\""),
                            {fCurrentNode->Text(), pTarget->Text()});
    SetProcessState(EProcessState::RunningFromNode);
    RunNode(pTarget);
}

// ---------------------------------------------------------------------------------------------
// Operations for the System Control commands

bool TProcessRunner::SetGotoCase(const QString& aName)
{
    TTreeNode* pNode = FindNode(aName, true);
    if (!pNode) {
        fContext.Msg().Error(QStringLiteral("Test case \"%s\" not found!"), {aName});
        return false;
    }
    if (!IsEnabled(pNode)) {
        fContext.Msg().Error(QStringLiteral("Test case \"%s\" disabled!"), {aName});
        return false;
    }
    fGotoNode = pNode;
    return true;
}

bool TProcessRunner::SetTestCaseStatus(const QString& aName, bool aEnabled)
{
    TTreeNode* pNode = FindNode(aName, true);
    if (!pNode) {
        fContext.Msg().Error(QStringLiteral("Test case \"%s\" not found!"), {aName});
        return false;
    }
    SetSubtreeEnabled(pNode, aEnabled);
    return true;
}

void TProcessRunner::SetExitAfterFailure()
{
    fbExitAfterFailure = fJobFailureCounter > 0;
}

void TProcessRunner::SetEndOnFailure(bool bEnd)
{
    fContext.SetEndOnFailure(bEnd);
}

void TProcessRunner::SetProcessMode(EProcessMode eMode)
{
    switch (eMode) {
    case pmContinueOnFailure:
        fContext.SetEndOnFailure(false);
        break;
    case pmBreakOnFailure:
        fContext.SetEndOnFailure(true);
        break;
    case pmExitAfterFailure:
        SetExitAfterFailure();
        break;
    case pmUnknown:
        break;
    }
}

bool TProcessRunner::OfferKey(int iKey)
{
    if (!FOnKeyContinue)
        return false;
    // The handler may clear or replace itself while it runs.
    const TKeyContinueEvent handler = FOnKeyContinue;
    return handler(iKey);
}

// ---------------------------------------------------------------------------------------------
// The walk

TTreeNode* TProcessRunner::FindNode(const QString& sName, bool bLabelOnly) const
{
    for (int i = 0; i < fTree.Count(); ++i) {
        TTreeNode* pNode = fTree.Node(i);
        QString sText = pNode->Text();
        if (bLabelOnly) {
            const int iBlank = sText.indexOf(QLatin1Char(' '));
            if (iBlank >= 0)
                sText = sText.mid(iBlank + 1);
        }
        if (SameNameIgnoringAsciiCase(sText, sName))
            return pNode;
    }
    return nullptr;
}

TTreeNode* TProcessRunner::NextEnabledNode(const TTreeNode* aNode) const
{
    for (TTreeNode* p = fTree.Next(aNode); p; p = fTree.Next(p)) {
        if (IsEnabled(p))
            return p;
    }
    return nullptr;
}

TTreeNode* TProcessRunner::LastDescendant(TTreeNode* aNode)
{
    if (aNode->Children().empty())
        return nullptr;
    TTreeNode* p = aNode;
    while (!p->Children().empty())
        p = p->Children().back();
    return p;
}

void TProcessRunner::SetSubtreeEnabled(TTreeNode* aNode, bool bValue)
{
    if (aNode->Job())
        aNode->Job()->SetEnabled(bValue);
    for (TTreeNode* pChild : aNode->Children())
        SetSubtreeEnabled(pChild, bValue);
}

void TProcessRunner::ToggleEnabled(TTreeNode* aNode)
{
    fNodeAfterEntireTestCase = nullptr;
    SetSubtreeEnabled(aNode, !IsEnabled(aNode));
}

void TProcessRunner::SelectNode(TTreeNode* aNode)
{
    if (aNode->Job())
        aNode->Job()->Reset();
    fHost.SelectNode(aNode);
}

bool TProcessRunner::AskOperatorName()
{
    while (FsOperatorName.isEmpty()) {
        const std::optional<QString> sName = fHost.AskOperatorName();
        if (!sName) {
            fContext.Msg().Error(QStringLiteral("No operator answer available"));
            return false;
        }
        FsOperatorName = sName->trimmed();
    }
    return true;
}

void TProcessRunner::RunNode(TTreeNode* aNode)
{
    if (!AskOperatorName()) {
        fCurrentNode = nullptr;
        SetProcessState(EProcessState::Ready);
        return;
    }
    fGotoNode = nullptr;
    if (aNode)
        fCurrentNode = aNode;
    if (!fCurrentNode) {
        fContext.Msg().Fatal(QStringLiteral("Unknown test process position."));
        return;
    }
    if (!IsEnabled(fCurrentNode)) {
        fContext.Msg().Error(QStringLiteral("Test \"%s\" disabled, process stopped!"),
                             {fCurrentNode->Text()});
        Stop();
        return;
    }
    // The node runs after the previous node's conclusion has returned: from the walk loop when it
    // is on the stack, otherwise from a fresh pass of the event loop.
    fbRequestPending = true;
    if (!fbInWalk)
        PostExecutionRequest();
}

void TProcessRunner::PostExecutionRequest()
{
    fRequestTimer.start();
}

void TProcessRunner::PostSliceRequest()
{
    // Not the zero timer: once a timer has fired, the event dispatcher serves timers only when
    // nothing else waits, and in the window the view's updates after a slice would hold the walk.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (fbRequestPending)
                Walk();
        },
        Qt::QueuedConnection);
}

void TProcessRunner::Walk()
{
    // Long enough that a slice's yield costs little, short enough that the window repaints and
    // Pause, Stop, timers and sockets are served at the display's pace.
    constexpr qint64 ciSliceNs = 4'000'000;
    // A loop, not recursion: a million nodes that conclude at once must not grow the stack.
    struct TWalkScope
    {
        TProcessRunner& runner;
        explicit TWalkScope(TProcessRunner& aRunner) : runner(aRunner) { runner.fbInWalk = true; }
        ~TWalkScope()
        {
            runner.fbInWalk = false;
            // The slice is used up, or an exception left a chosen node behind: the event loop
            // hands it on, as when the node had been queued.
            if (runner.fbRequestPending)
                runner.PostSliceRequest();
        }
        TWalkScope(const TWalkScope&) = delete;
        TWalkScope& operator=(const TWalkScope&) = delete;
    };
    if (fbInWalk)
        return;
    const TWalkScope scope(*this);
    QElapsedTimer slice;
    slice.start();
    do {
        fbRequestPending = false;
        ExecuteNode();
    } while (fbRequestPending && slice.nsecsElapsed() < ciSliceNs);
}

void TProcessRunner::ExecuteNode()
{
    if (!fCurrentNode) {
        fContext.Msg().Fatal(EMsg(TMsgId(0x010500), 0).Message());
        return;
    }
    TTreeNode* pNode = fCurrentNode;
    if (!pNode->Children().empty()) {
        fHost.SetTestCaseHeader(QStringLiteral(" Test Case: ") + pNode->Text());
        fContext.Msg().Info(pNode->Text());
    } else {
        fContext.Msg().Trace(pNode->Text());
    }
    Q_EMIT NodeStarted(pNode);
    fbJobRunning = true;
    pNode->Job()->Execute(pNode->Text());
}

void TProcessRunner::JobFinished(TJob* aJob)
{
    fbJobRunning = false;
    Q_EMIT NodeFinished(aJob->TreeNode());
    if (aJob->Cmd() && aJob->Cmd()->CmdResult() == crBreak) {
        SetProcessState(EProcessState::Paused);
        Q_EMIT PausedAtBreakPoint();
        return;
    }
    if (!aJob->Passed()) {
        ++fJobFailureCounter;
        const QString sName = aJob->GetName();
        if (feOperatorRequest == EOperatorRequest::Pause) {
            fContext.Msg().Info(QStringLiteral("Process paused by user at \"%s\""), {sName});
            fFinalDlg.AddFailedJob(QStringLiteral("Paused: ") + sName);
        } else if (feOperatorRequest == EOperatorRequest::Stop) {
            feOperatorRequest = EOperatorRequest::None;
            UpdateActions();
            fContext.Msg().Info(QStringLiteral("Process stopped by user at \"%s\""), {sName});
            fFinalDlg.AddFailedJob(QStringLiteral("Stopped: ") + sName);
            if (!SkipToFinalCases())
                return;
        } else {
            // The reason follows as a continuation line of the same message.
            const QString sReason = aJob->ErrorText().trimmed();
            if (sReason.isEmpty())
                fContext.Msg().Error(QStringLiteral("Failure occured in test case \"%s\""), {sName});
            else
                fContext.Msg().Error(QStringLiteral("Failure occured in test case \"%s\"\r\n%s"),
                                     {sName, sReason});
            fFinalDlg.AddFailedJob(QStringLiteral("Error: ") + sName);
            if (fReport)
                fReport->SetFailedJob(*aJob);
            if (!fContext.EndOnFailure()) {
                if (fReport) {
                    fReport->ShowQueuedError(FsOperatorName);
                    if (fReport->ExitAfterFailure())
                        SetExitAfterFailure();
                }
            } else if (!SkipToFinalCases()) {
                return;
            }
        }
    }

    if (feOperatorRequest == EOperatorRequest::Pause) {
        SelectNode(fCurrentNode);
        return;
    }

    TTreeNode* pNext = nullptr;
    if (fbExitAfterFailure) {
        pNext = nullptr;
    } else if (fGotoNode) {
        fContext.Msg().Trace(QStringLiteral("Jump from \"%s\" to \"%s\""),
                             {fCurrentNode->Text(), fGotoNode->Text()});
        pNext = fGotoNode;
        fGotoNode = nullptr;
    } else {
        pNext = NextEnabledNode(fCurrentNode);
    }

    if (!pNext) {
        FinishProcess(fJobFailureCounter == 0);
    } else if (pNext->Job()->BreakPoint()) {
        fContext.Msg().Info(QStringLiteral("Pause at break point: \"%s\""), {pNext->Text()});
        fCurrentNode = pNext;
        SetProcessState(EProcessState::Paused);
        SelectNode(pNext);
        Q_EMIT PausedAtBreakPoint();
    } else if (pNext == fNodeAfterEntireTestCase) {
        fNodeAfterEntireTestCase = nullptr;
        fContext.Msg().Info(QStringLiteral("Pause after test case end on test: \"%s\""), {pNext->Text()});
        fCurrentNode = pNext;
        SetProcessState(EProcessState::Paused);
        SelectNode(pNext);
    } else if (feProcessState == EProcessState::SingleStep) {
        fCurrentNode = pNext;
        SelectNode(pNext);
        SetProcessState(EProcessState::Paused);
    } else {
        RunNode(pNext);
    }
}

// Moves the current node up to the node before the next final case; false when the process
// finished because there is none.
bool TProcessRunner::SkipToFinalCases()
{
    for (;;) {
        TTreeNode* pNext = NextEnabledNode(fCurrentNode);
        if (!pNext) {
            FinishProcess(fJobFailureCounter == 0);
            return false;
        }
        if (pNext->Job()->CaseType() == ecFinalCase)
            return true;
        fCurrentNode = pNext;
    }
}

void TProcessRunner::FinishProcess(bool bPassed)
{
    fNodeAfterEntireTestCase = nullptr;
    // A passed run of a definition with lines left out is not a complete test: the last line says so.
    const QString sSkipped = fiSkippedAtLoad > 0
                                 ? Format(QStringLiteral(" with %d lines skipped at load"), {fiSkippedAtLoad})
                                 : QString();
    if (bPassed) {
        fContext.Msg().Info(QStringLiteral("Test process successfully finished") + sSkipped);
    } else {
        if (fReport)
            fReport->ShowQueuedError(FsOperatorName);
        fContext.Msg().Info(QStringLiteral("Test process ended with %d Error(s)") + sSkipped,
                            {fJobFailureCounter});
    }
    try {
        fContext.ValueLog().Write(bPassed, FsOperatorName);
    } catch (const std::exception& e) {
        // The run's result must not vanish silently: say why the line is missing.
        fContext.Msg().Error(ExceptionText(e));
    }
    Q_EMIT ProcessFinishing(bPassed);
    fContext.Devices().RunEnded();
    Q_EMIT ProcessFinished(bPassed);
    const bool bNext = fHost.ShowFinalDialog(bPassed, fFinalDlg.Label(bPassed), fFinalDlg.FailedJobs());
    fFinalDlg.Closed();
    if (bNext) {
        Start();
        return;
    }
    fJobFailureCounter = 0;
    fbExitAfterFailure = false;
    SetProcessState(EProcessState::Ready);
}

void TProcessRunner::RunEntireCase(TTreeNode* aNode)
{
    if (!aNode->Children().empty()) {
        TTreeNode* pLast = LastDescendant(aNode);
        fNodeAfterEntireTestCase = pLast ? NextEnabledNode(pLast) : nullptr;
        SetProcessState(EProcessState::RunningFromNode);
        RunNode(aNode);
    } else {
        fNodeAfterEntireTestCase = nullptr;
        Step();
    }
}
