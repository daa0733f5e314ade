#pragma once

#include "FinalDlg.h"
#include "RunnerControl.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class IFailureReport;
class IRunnerHost;
class TJob;
class TTestTree;
class TTreeNode;
class TDeviceContext;

// The failure modes a definition selects with the Process command.
enum EProcessMode
{
    pmUnknown = 0,
    pmContinueOnFailure,
    pmBreakOnFailure,
    pmExitAfterFailure
};

// The runner's states, numbered as in the state table of the process actions.
enum class EProcessState
{
    NothingToRun = 0,
    Ready = 1,
    RunningFromStart = 2,
    SingleStep = 3,
    RunningFromNode = 4, // begun with Continue, a document link or a whole-case run
    Paused = 5,
    Stopping = 6
};

// What the operator asked of the running node. The runner reads it when the node finishes: a
// pause stands until the next state change, a stop is handled once (the final cases then run
// without it).
enum class EOperatorRequest
{
    None,
    Pause,
    Stop
};

// Enabled and checked marks of one process action.
struct TActionState
{
    bool bEnabled = false;
    bool bChecked = false;
};

// The marks of all process actions, which the GUI binds its actions to.
struct TProcessActions
{
    TActionState Start;
    TActionState Step;
    TActionState Pause;
    TActionState Continue;
    TActionState Stop;
    TActionState Reset;
    TActionState SetBreakPoint;
    bool bToggleEnabled = false;
    bool bFileMenu = true;
    bool bOpen = true;
    bool bReload = true;
};

// The marks in eState. Stopping keeps the enabled marks of eEnabledFrom, the state the stop came
// in, and shows Stop checked while the stop request is pending. An empty tree leaves only the file
// actions.
TProcessActions DeriveProcessActions(EProcessState eState, EProcessState eEnabledFrom,
                                     EOperatorRequest eOperatorRequest, bool bTreeEmpty);

// The main loop: walks the test tree node by node, applies the failure policy and ends every
// complete run with the final dialog. A walk begins with a queued execution request; while the
// nodes conclude at once it goes on from the same call, and it returns to the event loop when a
// command concludes later or after each time slice.
class TProcessRunner : public QObject, public IRunnerControl
{
    Q_OBJECT

public:
    TProcessRunner(TTestTree& aTree, IRunnerHost& aHost, TDeviceContext& aContext,
                   QObject* aParent = nullptr);
    ~TProcessRunner() override;

    // The session the runner's steps belong to.
    TDeviceContext& Context() const { return fContext; }

    // The runner of the loaded definition, for the commands that steer it (Goto, Process, ...);
    // null while none exists.
    IFailureReport* FailureReport() const override { return fReport; }

    void SetFailureReport(IFailureReport* aReport) { fReport = aReport; }

    // Assigns JobFinished to every job of the tree (after a load).
    void AttachJobs();

    // Operator actions.
    void Start();
    void Step();
    void Continue();
    void Pause();
    void Stop();
    void Reset();
    void ToggleBreakPoint();
    void ToggleSelectedEnabled();
    void ShiftClick(TTreeNode* aNode);
    void CtrlClick(TTreeNode* aNode);
    void TreeMouseReleased();
    void CallTestItem(const QString& sName);

    // For the System Control commands.
    bool SetGotoCase(const QString& aName) override;
    bool SetTestCaseStatus(const QString& aName, bool aEnabled) override;
    void SetExitAfterFailure() override;
    void SetEndOnFailure(bool bEnd) override;
    void SetProcessMode(EProcessMode eMode);

    // The key hook: at most one waiting command holds it.
    void SetOnKeyContinue(TKeyContinueEvent aEvent) override;
    void ClearOnKeyContinue() override;
    bool HasKeyHook() const { return bool(FOnKeyContinue); }
    bool OfferKey(int iKey);

    void SetProcessState(EProcessState eState);
    EProcessState ProcessState() const { return feProcessState; }
    EOperatorRequest OperatorRequest() const { return feOperatorRequest; }
    const TProcessActions& Actions() const { return fActions; }

    TTreeNode* FindNode(const QString& sName, bool bLabelOnly) const;
    TTreeNode* CurrentNode() const { return fCurrentNode; }
    int JobFailureCounter() const { return fJobFailureCounter; }
    bool ExitAfterFailureSet() const { return fbExitAfterFailure; }
    const QString& OperatorName() const override { return FsOperatorName; }
    void SetOperatorName(const QString& sName) { FsOperatorName = sName; }
    // Lines of the loaded definition that "Skip Errors" left out; the end of every run names them.
    void SetSkippedAtLoad(int iLines) { fiSkippedAtLoad = iLines; }
    // A node's job is executing or about to.
    bool JobInProgress() const { return fbJobRunning || fbRequestPending; }
    TFinalDlg& FinalDlg() { return fFinalDlg; }

    void JobFinished(TJob* aJob);

Q_SIGNALS:
    void ActionsChanged();
    void NodeStarted(TTreeNode* aNode);
    void NodeFinished(TTreeNode* aNode);
    void ProcessFinished(bool bPassed);
    // The run's outcome is settled: emitted once per complete run, after the error report and
    // the value-log line, before the devices hear of the end and the final dialog shows.
    void ProcessFinishing(bool bPassed);
    // A command started or stopped waiting for a key.
    void KeyWaitChanged(bool bWaiting);
    // The process paused at a break point or after a Break command.
    void PausedAtBreakPoint();

private:
    void RunNode(TTreeNode* aNode);
    // Hands the chosen node to a fresh pass of the event loop: after a command that concluded later
    // (the zero timer), or when a walk's time slice is used up (a posted call).
    void PostExecutionRequest();
    void PostSliceRequest();
    void Walk();
    void ExecuteNode();
    void FinishProcess(bool bPassed);
    void RunEntireCase(TTreeNode* aNode);
    void SelectNode(TTreeNode* aNode);
    void SetSubtreeEnabled(TTreeNode* aNode, bool bValue);
    void ToggleEnabled(TTreeNode* aNode);
    bool SkipToFinalCases();
    TTreeNode* NextEnabledNode(const TTreeNode* aNode) const;
    static TTreeNode* LastDescendant(TTreeNode* aNode);
    void CancelCurrentJob();
    bool AskOperatorName();
    QString Now() const;
    void ChangeState(EProcessState eState, EOperatorRequest eOperatorRequest);
    void UpdateActions();
    // A run or a single step is under way (not paused, not stopping).
    bool Walking() const;

    TTestTree& fTree;
    IRunnerHost& fHost;
    TDeviceContext& fContext;
    IFailureReport* fReport = nullptr;
    TFinalDlg fFinalDlg;

    int fJobFailureCounter = 0;
    bool fbExitAfterFailure = false;
    TTreeNode* fCurrentNode = nullptr;
    TTreeNode* fGotoNode = nullptr;
    TTreeNode* fNodeAfterEntireTestCase = nullptr;
    QString FsOperatorName;
    TKeyContinueEvent FOnKeyContinue;

    EProcessState feProcessState = EProcessState::NothingToRun;
    // The state whose enabled marks Stopping keeps.
    EProcessState feEnabledFrom = EProcessState::NothingToRun;
    EOperatorRequest feOperatorRequest = EOperatorRequest::None;
    // Derived from the three above and the tree whenever one of them changes.
    TProcessActions fActions;
    // A node is chosen and waits to run; cleared when it runs or is cancelled, so that a timeout
    // of fRequestTimer that finds it cleared does nothing.
    bool fbRequestPending = false;
    // Hands the node after a later conclusion to a fresh pass of the event loop. A zero timer, not
    // a posted call: a post wakes the loop through an eventfd (a write, a poll and a read per step
    // that concluded later), while a due timer is served by the pass that runs anyway.
    QTimer fRequestTimer;
    bool fbJobRunning = false;
    // The walk loop is on the stack: a node that concludes at once leaves its successor to it.
    bool fbInWalk = false;
    int fiSkippedAtLoad = 0;
};
