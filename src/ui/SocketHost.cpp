#include "SocketHost.h"

#include "TestTreeView.h"
#include "formErrorDlg.h"
#include "formMain.h"

#include "core/VariableManager.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "language/Station.h"

TSocketHost::TSocketHost(TfrmMain& aWindow, TStation& aStation, int iSocket, TSocketTile& aTile,
                         QString& aDefineAnswer)
    : fWindow(aWindow), fStation(aStation), fiSocket(iSocket), fTile(aTile), fsDefineAnswer(aDefineAnswer),
      fDialogs(std::make_unique<TSocketOperatorDialogs>(&aWindow, iSocket, [this] { Refresh(); }))
{}

TSocketHost::~TSocketHost() = default;

TSession& TSocketHost::Session() const
{
    return fStation.Session(fiSocket);
}

bool TSocketHost::Selected() const
{
    return fWindow.SelectedSocket() == fiSocket;
}

QString TSocketHost::UnitId() const
{
    static const char* const names[] = {"ID", "SerialNumber", "Serial", "sSerial", "_Serial"};
    const TVariableManager& variables = Session().Variables();
    for (const char* sName : names) {
        // Names are found regardless of case, as the definition's own references are.
        for (int i = 0; i < variables.Count(); ++i) {
            if (variables.Name(i).compare(QLatin1String(sName), Qt::CaseInsensitive) != 0)
                continue;
            const QString sValue = variables.GetAsStr(variables.Name(i)).trimmed();
            if (!sValue.isEmpty() && sValue != QStringLiteral("0"))
                return sValue;
        }
    }
    return QString();
}

void TSocketHost::Refresh()
{
    const TProcessRunner* pRunner = Session().Runner();
    if (!pRunner)
        return;
    const EProcessState eState = pRunner->ProcessState();
    const bool bRunning = eState == EProcessState::RunningFromStart || eState == EProcessState::SingleStep ||
                          eState == EProcessState::RunningFromNode || eState == EProcessState::Stopping;
    if (bRunning && !fbRunning) {
        // A run begins: the last unit's outcome and clock go.
        feOutcome.reset();
        fTile.StartClock();
    } else if (!bRunning && eState != EProcessState::Paused && fbRunning) {
        fTile.StopClock();
    }
    fbRunning = bRunning || (fbRunning && eState == EProcessState::Paused);

    const QString sWaitsFor = fStation.SharedDevices().WaitingFor(Session().Context());
    if (fDialogs->Waiting() || (bRunning && pRunner->HasKeyHook()))
        fTile.SetState(ESocketState::WaitingForOperator);
    else if ((bRunning || eState == EProcessState::Paused) && !sWaitsFor.isEmpty())
        fTile.SetState(ESocketState::WaitingForDevice, sWaitsFor);
    else if (eState == EProcessState::Paused)
        fTile.SetState(ESocketState::Paused);
    else if (bRunning)
        fTile.SetState(ESocketState::Running);
    else if (feOutcome)
        fTile.SetState(*feOutcome);
    else
        fTile.SetState(ESocketState::Ready);

    const TTreeNode* pNode = pRunner->CurrentNode();
    if (pNode && (bRunning || eState == EProcessState::Paused)) {
        const TTreeNode* pCase = pNode;
        while (pCase->Parent())
            pCase = pCase->Parent();
        fTile.SetStep(pCase->Text(), pNode->Text());
    } else if (!bRunning && eState != EProcessState::Paused && !feOutcome) {
        fTile.SetStep(QString(), QString());
    }
    fTile.SetUnitId(UnitId());
    fTile.SetStartEnabled(!bRunning && eState != EProcessState::Paused && pRunner->Actions().Start.bEnabled);
    fTile.SetReportWaiting(fpReport != nullptr);
    fTile.ShowElapsed();
}

bool TSocketHost::Start()
{
    TProcessRunner* pRunner = Session().Runner();
    if (!pRunner || pRunner->ProcessState() != EProcessState::Ready || !pRunner->Actions().Start.bEnabled)
        return false;
    feOutcome.reset();
    pRunner->Start();
    Refresh();
    return true;
}

void TSocketHost::OpenReport()
{
    TErrorReport* pReport = fpReport;
    fpReport = nullptr;
    Refresh();
    if (pReport && fWindow.ErrorDlg())
        fWindow.ErrorDlg()->ShowReport(*pReport);
}

std::optional<QString> TSocketHost::AskOperatorName()
{
    return fWindow.StationOperatorName();
}

void TSocketHost::ShowInformation(const QString& sText)
{
    // A box only for the socket the operator works with; another socket's note must not stop him.
    if (Selected())
        fWindow.ShowInformation(sText);
    else
        Session().Context().Msg().Info(sText);
}

bool TSocketHost::ShowFinalDialog(bool bPassed, const QString& /*sLabel*/, const QStringList& aFailedJobs)
{
    bool bStopped = false;
    for (const QString& sJob : aFailedJobs)
        bStopped = bStopped || sJob.startsWith(QStringLiteral("Stopped: "));
    feOutcome = bStopped ? ESocketState::Stopped : bPassed ? ESocketState::Passed : ESocketState::Failed;
    fTile.StopClock();
    // The tile shows the outcome once the runner is ready again.
    // The tile's Start runs the next unit.
    return false;
}

TTreeNode* TSocketHost::SelectedNode() const
{
    return Selected() ? fWindow.TreeView()->SelectedNode() : fpSelected;
}

void TSocketHost::SelectNode(TTreeNode* aNode)
{
    fpSelected = aNode;
    if (Selected())
        fWindow.SelectNode(aNode);
}

void TSocketHost::ClearSelection()
{
    fpSelected = nullptr;
    if (Selected())
        fWindow.ClearSelection();
}

void TSocketHost::MakeVisible(TTreeNode* aNode)
{
    if (Selected())
        fWindow.MakeVisible(aNode);
}

void TSocketHost::SetTestCaseHeader(const QString& sText)
{
    fsHeader = sText;
    if (Selected())
        fWindow.SetTestCaseHeader(sText);
}

void TSocketHost::AddLogSeparator()
{
    // Marked as the socket's, so that it stays out of the other sockets' view of the log.
    fWindow.MsgLog().AddSeparator(QStringLiteral("[%1] ").arg(fiSocket));
}

bool TSocketHost::SkipErrors() const
{
    return fWindow.SkipErrors();
}

void TSocketHost::SetFileInfo(const QString& sLabel, const QString& sVersion)
{
    Session().ErrorReport().SetFileInfo(sLabel);
    Session().ErrorReport().SetFileVersion(sVersion);
    if (fiSocket == 1)
        fWindow.SetFileInfo(sLabel, sVersion);
}

bool TSocketHost::AssignKey(int iKeyCode, const QString& sCaption)
{
    // The keys are the window's: the first socket's load assigns them for all.
    return fiSocket != 1 || fWindow.AssignKey(iKeyCode, sCaption);
}

void TSocketHost::SetDefaultDocument(const QString& sFileName)
{
    if (fiSocket == 1)
        fWindow.SetDefaultDocument(sFileName);
}

TErrorReport* TSocketHost::ErrorReport()
{
    return &Session().ErrorReport();
}

void TSocketHost::DefineQuery(QString& sText)
{
    // One question for the station: every socket loads with the first socket's answer.
    if (fiSocket == 1) {
        fWindow.DefineQuery(sText);
        fsDefineAnswer = sText;
    } else {
        sText = fsDefineAnswer;
    }
}

void TSocketHost::ShowReport(TErrorReport& aReport)
{
    fpReport = &aReport;
    Refresh();
}
