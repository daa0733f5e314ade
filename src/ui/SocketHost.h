#pragma once

#include "SocketOperatorDialogs.h"
#include "SocketTile.h"

#include "execution/RunnerHost.h"
#include "language/InterpreterHost.h"
#include "reporting/ErrorReport.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class TSession;
class TStation;
class TTreeNode;
class TfrmMain;

// The operator face of one test socket in the main window of a station: its runner's host, its
// load's host, its error report's view and its operator dialogs. Nothing of it blocks another
// socket: the final dialog becomes the tile's Passed, Failed or Stopped, an error report waits at
// the tile until the operator opens it, and questions open beside the window. While its socket is
// the selected one, the tree, the test-case header and the information boxes are the window's.
class TSocketHost : public QObject, public IRunnerHost, public IInterpreterHost, public IErrorReportView
{
    Q_OBJECT

public:
    // aDefineAnswer: the station's answer to a definition document's question, which socket 1
    // asks and the other sockets take over. All outlive the host's use.
    TSocketHost(TfrmMain& aWindow, TStation& aStation, int iSocket, TSocketTile& aTile,
                QString& aDefineAnswer);
    ~TSocketHost() override;

    int Socket() const { return fiSocket; }
    TSession& Session() const;
    TSocketOperatorDialogs& Dialogs() { return *fDialogs; }
    TSocketTile& Tile() const { return fTile; }

    // Brings the tile up to date with the runner, the shared devices and the questions.
    void Refresh();
    // Starts the socket's run when it is ready; false otherwise. A shown outcome goes.
    bool Start();
    // What the tree view showed of this socket when another one was chosen, and back.
    TTreeNode* RememberedSelection() const { return fpSelected; }
    void RememberSelection(TTreeNode* aNode) { fpSelected = aNode; }
    const QString& Header() const { return fsHeader; }
    bool ReportWaiting() const { return fpReport != nullptr; }
    // Opens the error report the tile keeps (modal: the operator chose it).
    void OpenReport();

    // IRunnerHost
    std::optional<QString> AskOperatorName() override;
    void ShowInformation(const QString& sText) override;
    bool ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailedJobs) override;
    TTreeNode* SelectedNode() const override;
    void SelectNode(TTreeNode* aNode) override;
    void ClearSelection() override;
    void MakeVisible(TTreeNode* aNode) override;
    void SetTestCaseHeader(const QString& sText) override;
    void AddLogSeparator() override;

    // IInterpreterHost
    bool SkipErrors() const override;
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override;
    bool AssignKey(int iKeyCode, const QString& sCaption) override;
    void SetDefaultDocument(const QString& sFileName) override;
    TErrorReport* ErrorReport() override;
    bool CanQueryDefines() const override { return true; }
    void DefineQuery(QString& sText) override;

    // IErrorReportView
    void ShowReport(TErrorReport& aReport) override;

    // The unit's ID once a step has set it: the first of the variables ID, SerialNumber, Serial,
    // sSerial, _Serial (in any case) that exists and is neither empty nor 0.
    QString UnitId() const;

private:
    bool Selected() const;

    TfrmMain& fWindow;
    TStation& fStation;
    int fiSocket;
    TSocketTile& fTile;
    QString& fsDefineAnswer;
    std::unique_ptr<TSocketOperatorDialogs> fDialogs;
    TTreeNode* fpSelected = nullptr;
    QString fsHeader;
    std::optional<ESocketState> feOutcome;
    TErrorReport* fpReport = nullptr;
    bool fbRunning = false;
};
