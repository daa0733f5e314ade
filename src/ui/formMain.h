#pragma once

#include "IndicatorStripView.h"
#include "WidgetOperatorDialogs.h"
#include "core/MsgLog.h"
#include "execution/DefinitionOpener.h"
#include "execution/ProcessRunner.h"
#include "execution/RunnerHost.h"
#include "execution/TestTree.h"
#include "language/DefinitionLoader.h"
#include "language/InterpreterHost.h"
#include "language/Session.h"
#include "reporting/ErrorReport.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QKeyEvent;
class QEventLoop;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;
class TAboutBox;
class TDocumentViewBase;
class TKeypadKeyControl;
class TMessageLogView;
class TRecentMenuFileList;
class TReportJob;
class TResultDatabase;
class TResultRecorder;
class TSocketHost;
class TSocketStrip;
class TStation;
class TTestTreeView;
class TfrmErrorDlg;
class TfrmFinalDlg;

// What the main window is built from: the command line, the interpreter and the document view.
class TDeviceTypes;

struct TfrmMainSetup
{
    QStringList slArguments; // the command line without the program
    // Stands in for the interpreter (tests); the interpreter when empty.
    TDefinitionLoaderFactory fLoaderFactory;
    // Creates the document view; the program passes the web view.
    std::function<TDocumentViewBase*(QWidget* aParent)> fDocumentViewFactory;
    // Where "Ui/Ready.html" and "Ui/ScriptError.html" are looked for; the program's directory
    // when empty.
    QString sProgramDir;
    // The device types definitions may create: the program's families; none when null.
    const TDeviceTypes* pTypes = nullptr;
    // The station's test sockets; 0 takes the settings value "Sockets/Count".
    int iSockets = 0;
};

// The modal questions and boxes of the window; tests answer them without showing anything.
struct TfrmMainDialogs
{
    std::function<void(const QString& sText)> fnInformation;
    std::function<void(const QString& sText)> fnError;
    std::function<void(const QString& sText)> fnWarning;
    // The open dialog: the chosen file or empty.
    std::function<QString()> fnOpenFile;
    // The operator-name input box: the answer, none when cancelled.
    std::function<std::optional<QString>(const QString& sDefault)> fnOperatorInput;
    // The final dialog: true for "Next ".
    std::function<bool(bool bPassed, const QStringList& aFailedJobs)> fnFinalDialog;
    // The Extras dialog: true when the settings were stored.
    std::function<bool()> fnExtras;
    std::function<void()> fnAbout;
};

// The main window: test tree, document view, message log and indicator strip; owns the runner,
// loads definitions, starts up from the command line and the stored settings and serves the
// operator's menus, toolbar and keys.
class TfrmMain : public QMainWindow, public IRunnerHost, public IInterpreterHost, public IDefinitionOpener
{
    Q_OBJECT

public:
    explicit TfrmMain(TfrmMainSetup aSetup, QWidget* aParent = nullptr);
    ~TfrmMain() override;

    TfrmMainDialogs& Dialogs() { return fDialogs; }

    // The load routine; true only for a load without errors.
    bool LoadDefinitionFile(const QString& sFileName);
    // A deferred load (with a start afterwards) through the window's own event queue.
    void InitNewDefFile(const QString& sFileName, bool bAutoStart) override;
    // Settings, view options and the start-up file; done once, at the first showing.
    void FormActivate();
    // The key handling every key press passes first; true when the key was consumed.
    bool HandleKey(int iQtKey, bool bKeypad);
    bool CancelDefineQuery();
    // Ends a waiting define query with its answer (the define values, "Cancelled" or "Exit").
    void AnswerDefineQuery(const QString& sAnswer);

    // Set(DefaultDoc; file): true when the resolved file exists and becomes the page shown after
    // the load.
    bool SetScriptDoc(const QString& aFileName, QString& aFullFileName);

    // IInterpreterHost
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override;
    void SetDefaultDocument(const QString& sFileName) override;
    bool AssignKey(int iKeyCode, const QString& sAction) override;
    bool SkipErrors() const override;
    bool CanQueryDefines() const override { return true; }
    void DefineQuery(QString& sText) override;
    TErrorReport* ErrorReport() override { return &fErrorReport; }

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

    // Parts for the document display and indicator devices, and for tests.
    TSession& Session() { return fSession; }
    TProcessRunner& Runner() { return *fRunner; }
    TTestTree& Tree() { return fTree; }
    TMsgLog& MsgLog() { return fMsgLog; }
    TTestTreeView* TreeView() const { return fTreeView; }
    TMessageLogView* LogView() const { return fLogView; }
    TDocumentViewBase* DocumentView() const { return fDocView; }
    TIndicatorStripView* IndicatorStrip() const { return fIndicatorStrip; }
    TRecentMenuFileList& RecentFiles() const { return *fMenuFileList; }
    TKeypadKeyControl& KeyControl() const { return *fKeyControl; }
    TfrmFinalDlg* FinalDlg() const { return fFinalDlg; }
    TfrmErrorDlg* ErrorDlg() const { return fErrorDlg; }
    QToolBar* ToolBar() const { return fToolBar; }
    QLabel* FileLabelPanel() const { return fFileLabel; }
    QLabel* TestCaseHeader() const { return fHeader; }
    QLabel* StatusPanel(int iIndex) const { return iIndex == 0 ? fStatus1 : fStatus2; }
    QSplitter* SplitterLeftRight() const { return fSplitterV; }
    QSplitter* SplitterUpperLower() const { return fSplitterH; }
    const std::vector<QAction*>& ActionList() const { return fActionList; }
    const QString& CurrentFileName() const { return fsCurrentFileName; }
    const QString& ReadyPage() const { return fsUiReadyHtml; }
    const QString& ErrorPage() const { return fsUiScriptErrorHtml; }
    const QString& ScriptPage() const { return fsUiScriptHtml; }
    bool Initialized() const { return fbInitialized; }
    // The station's result database, opened at the first activation when the settings configure
    // one (also when its spool could not be opened: then it takes no runs); null otherwise.
    TResultDatabase* ResultDatabase() const { return fResults.get(); }
    // Makes this station's report for today (on a worker thread) and shows it in the document
    // view; the Extras dialog's "Today's Report".
    void ShowTodaysReport();

    void SetOperatorName(const QString& sName);

    // A station of several test sockets: a tile per socket above the tree, the tree, the header,
    // the process actions and the log of the selected socket. With one socket none of this exists.
    int SocketCount() const { return fiSockets; }
    TStation* Station() const { return fStation.get(); }
    TSocketStrip* SocketStrip() const { return fSocketStrip; }
    // Socket iSocket's operator face, 1 ... SocketCount(); null with one socket.
    TSocketHost* SocketHost(int iSocket) const;
    // 0 with one socket.
    int SelectedSocket() const { return fiSelectedSocket; }
    void SelectSocket(int iSocket);
    // Starts every socket that is ready (Start, F5).
    void StartAllSockets();
    // Starts one socket (its tile's Start); false when it is not ready or nobody named the operator.
    bool StartSocket(int iSocket);
    // The one operator of the station: asked before the first start, then kept for every socket.
    std::optional<QString> StationOperatorName();
    // Brings every tile up to date (also once a second, for the clocks).
    void RefreshTiles();

    QAction* acFileOpen;
    QAction* acFileReload;
    QAction* acFileExit;
    QAction* acProcessReset;
    QAction* acProcessStart;
    QAction* acProcessStep;
    QAction* acProcessPause;
    QAction* acProcessContinue;
    QAction* acProcessStop;
    QAction* acProcessBreak;
    QAction* acProcessDisableEnable;
    QAction* acViewTreeViewExpant;
    QAction* acViewTreeViewExpandDefault;
    QAction* acViewTreeViewCollapse;
    QAction* acViewLastErrorDlg;
    QAction* acViewListAssignedKeys;
    QAction* acViewKeyCodes;
    QAction* acViewMsgTrace;
    QAction* acViewMsgDebug;
    QAction* acOptionsSetOperatorName;
    QAction* acOptionsSkipErrors;
    QAction* acOptionsExtras;
    QAction* acHelpHomePage;
    QAction* acHelpAbout;
    QAction* EditCopy1;
    QAction* acSelectTree;
    // Only with several sockets.
    QAction* acProcessStopAll = nullptr;
    QAction* acViewAllSockets = nullptr;

    QMenu* mnuFile;
    QMenu* mnuProcess;
    QMenu* mnuView;
    QMenu* mnuOptions;
    QMenu* mnuHelp;

protected:
    void closeEvent(QCloseEvent* aEvent) override;
    void showEvent(QShowEvent* aEvent) override;
    void resizeEvent(QResizeEvent* aEvent) override;

private:
    QAction* NewAction(const QString& sCaption, const QString& sShortHint, const QString& sLongHint,
                       const QString& sIcon = QString(), const QKeySequence& aShortcut = QKeySequence());
    void CreateActions();
    void CreateMenusAndToolbar();
    void CreateClientArea();
    void CreateDefaultDialogs();
    void ParseCommandLine();
    void ApplyActions();
    void ApplyViewSettings();
    void ApplySettings();
    void CollectSettings();
    void HandleNewDefFile();
    void ResizeStatusPanels();
    void EditCopy();
    void ProcessAction(void (TProcessRunner::*aAction)());
    QString AskForName() const;
    void ShowStatusText();
    // Shows the ready page with what the operator needs now: how to open a definition, the loaded
    // one and how to start it, or the outcome of its last run.
    void ShowReadyPage();
    QString ReadyPageBody() const;
    // Empties the panels that show what belongs to a definition.
    void ForgetDefinitionTexts();
    void OpenResultDatabase();
    // With several sockets: the sessions, their hosts and tiles, the selection keys.
    void CreateStation();
    // Connects what the window shows of a runner; it shows only the selected socket's.
    void ConnectRunner(TProcessRunner& aRunner);
    TLoadReport LoadStation(const QString& sFile);
    void SetProcessStates(EProcessState eState);
    // The log shows the selected socket's lines and the station's own; or all.
    void ApplyLogFilter();
    // The runner a key goes to first: the selected socket's, else one that waits for a key.
    TProcessRunner* KeyRunner() const;
    TErrorReport& CurrentErrorReport();

    TfrmMainSetup fSetup;
    TfrmMainDialogs fDialogs;

    bool fbInitialized = false;
    QString fsDefineQueryAnswer;
    QEventLoop* fDefineQueryLoop = nullptr; // runs while a define query waits for its answer
    QString fsUiReadyHtml;
    QString fsUiScriptErrorHtml;
    QString fsUiScriptHtml;
    QString fsCurrentFileName;
    // The final dialog's words for the last run ("Passed", "2x Failed"), until the next start.
    std::optional<QString> fsLastOutcome;
    bool fbLastPassed = false;
    QString fsReadyBody; // what ShowReadyPage last filled in; empty for the page as it is
    std::unique_ptr<TKeypadKeyControl> fKeyControl;
    TRecentMenuFileList* fMenuFileList = nullptr;
    QString fsNewDefFileName;
    bool fbAutoStart = false;

    // Command line.
    bool fbDebugOn = false;
    std::optional<QString> fsParamFile;
    bool fbParamAutoStart = false;

    // A load asked for while another one waits for a define query runs after it.
    bool fbLoading = false;
    std::optional<QString> fsPendingLoad;

    // Status panel 1: the last hint, unless a waiting step or a break point has something to say.
    QString fsHint;
    QString fsWaitPrompt;
    QString fsBreakPrompt;

    TMsgLog fMsgLog;
    // The devices' operator dialogs outlive the session, whose devices may ask while released.
    std::unique_ptr<TWidgetOperatorDialogs> fOperatorDialogs;
    TSession fSession;
    TTestTree& fTree = fSession.Tree();
    TErrorReport& fErrorReport = fSession.ErrorReport();
    TProcessRunner* fRunner = &fSession.AttachRunner(*this);
    std::unique_ptr<TResultDatabase> fResults;
    std::unique_ptr<TResultRecorder> fResultRecorder;
    std::unique_ptr<TReportJob> fReportJob;

    int fiSockets = 1;
    int fiSelectedSocket = 0;
    QString fsStationDefineAnswer;
    // Before the station: the sessions' devices may ask while they are released.
    std::vector<std::unique_ptr<TSocketHost>> fSocketHosts;
    std::unique_ptr<TStation> fStation;
    std::vector<std::unique_ptr<TResultRecorder>> fStationRecorders;
    TSocketStrip* fSocketStrip = nullptr;
    QTimer* fTileTimer = nullptr;

    std::vector<QAction*> fActionList;
    QToolBar* fToolBar = nullptr;
    QObject* fTipFilter = nullptr;
    QLabel* fFileLabel = nullptr;
    TTestTreeView* fTreeView = nullptr;
    QLabel* fHeader = nullptr;
    TDocumentViewBase* fDocView = nullptr;
    TIndicatorStripView* fIndicatorStrip = nullptr;
    TMessageLogView* fLogView = nullptr;
    QSplitter* fSplitterV = nullptr;
    QSplitter* fSplitterH = nullptr;
    QLabel* fStatus1 = nullptr;
    QLabel* fStatus2 = nullptr;
    TfrmFinalDlg* fFinalDlg = nullptr;
    TAboutBox* fAboutBox = nullptr;
    TfrmErrorDlg* fErrorDlg = nullptr;
};
