#include "formMain.h"

#include "AboutBox.h"
#include "Application.h"
#include "DocumentViewBase.h"
#include "IndicatorStripView.h"
#include "KeypadKeyControl.h"
#include "MessageLogView.h"
#include "OperatorNameBox.h"
#include "RecentMenuFileList.h"
#include "SocketHost.h"
#include "SocketTile.h"
#include "StateImages.h"
#include "TestTreeView.h"
#include "formErrorDlg.h"
#include "formExtras.h"
#include "formFinalDlg.h"

#include "core/CodePage.h"
#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/RegIO.h"
#include "core/StrUtilsEx.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/ActionCaptions.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "language/Station.h"
#include "reporting/report/ReportJob.h"
#include "reporting/results/ResultDatabase.h"
#include "reporting/results/ResultRecorder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSysInfo>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <memory>

namespace {

const QString csAppTitle = QStringLiteral("TZK");
const QString csHomePage = QStringLiteral("https://www.example.com/tzk/");
const QString csAboutBlank = QStringLiteral("about:blank");
const QString csCancelled = QStringLiteral("Cancelled");
const QString csNoTestCase = QStringLiteral("  Test Case: No test case in process");

// A document view without a web engine: shows the address it was given.
class TPlainDocumentView : public TDocumentViewBase
{
public:
    explicit TPlainDocumentView(QWidget* aParent) : TDocumentViewBase(aParent), fLabel(new QLabel(this))
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(fLabel);
    }
    void ShowPage(const QString& sAddress) override
    {
        fsPage = sAddress;
        fsPageText.clear();
        fLabel->setText(sAddress);
    }
    QString Page() const override { return fsPage; }
    void ShowPageText(const QString& sAddress, const QString& sHtml) override
    {
        fsPage = sAddress;
        fsPageText = sHtml;
        fLabel->setText(sHtml);
    }
    QString PageText() const override { return fsPageText; }

private:
    QLabel* fLabel;
    QString fsPage;
    QString fsPageText;
};

// Hides the toolbar's tool tips when the settings say so.
class TTipFilter : public QObject
{
public:
    using QObject::QObject;
    bool bShowTips = true;

protected:
    bool eventFilter(QObject* aWatched, QEvent* aEvent) override
    {
        if (aEvent->type() == QEvent::ToolTip && !bShowTips)
            return true;
        return QObject::eventFilter(aWatched, aEvent);
    }
};

// Beside the program in a build folder, in the data folder of an installed one (bin/../share/tzk).
QString PageIfExists(const QString& sProgramDir, const QString& sName)
{
    for (const QString& sDir : {sProgramDir, sProgramDir + QStringLiteral("/../share/tzk")}) {
        const QString sPath = QDir(sDir).absoluteFilePath(sName);
        if (QFileInfo(sPath).isFile())
            return QDir::cleanPath(sPath);
    }
    return csAboutBlank;
}

} // namespace

TfrmMain::TfrmMain(TfrmMainSetup aSetup, QWidget* aParent) : QMainWindow(aParent), fSetup(std::move(aSetup))
{
    // Creation: nothing loaded, no define query waiting.
    fsDefineQueryAnswer = csCancelled;
    setWindowTitle(csAppTitle);
    setWindowIcon(UiIcon(QStringLiteral("app")));
    // A new station's window uses most of its screen; the saved position replaces this afterwards.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        const QSize size(available.width() * 9 / 10, available.height() * 9 / 10);
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        resize(726, 519);
    }

    fiSockets = fSetup.iSockets > 0 ? std::clamp(fSetup.iSockets, 1, TStation::ciMaxSockets)
                                    : TStation::SocketCountSetting(TRegIO::Instance().UserFileName());
    if (fSetup.fLoaderFactory)
        fSession.SetLoaderFactory(fSetup.fLoaderFactory);
    TEscTaggedString::Instance().AddDefaultTags();
    fOperatorDialogs = std::make_unique<TWidgetOperatorDialogs>(this);
    fSession.Context().SetTypes(fSetup.pTypes);
    fSession.Context().SetSettings(&TRegIO::Instance());
    fSession.Context().SetDialogs(fOperatorDialogs.get());
    fSession.Context().SetDefinitionOpener(this);

    CreateActions();
    CreateMenusAndToolbar();
    CreateClientArea();
    CreateDefaultDialogs();
    fSession.Context().SetIndicators(fIndicatorStrip);
    fSession.Context().SetDocuments(fDocView);

    fKeyControl = std::make_unique<TKeypadKeyControl>(fActionList);
    fMenuFileList = new TRecentMenuFileList(menuBar(), this, 0, 3);
    fMenuFileList->SetHint(QStringLiteral("Open recent file"));
    fMenuFileList->SetOnOpenFile([this](const QString& sFile) { LoadDefinitionFile(sFile); });

    fMsgLog.Attach();
    connect(&fMsgLog, &TMsgLog::HintChanged, this, [this](const QString& sText) {
        fsHint = sText;
        ShowStatusText();
    });
    TEscTaggedString::Instance();

    const QString sProgramDir =
        fSetup.sProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : fSetup.sProgramDir;
    fsUiReadyHtml = PageIfExists(sProgramDir, QStringLiteral("Ui/Ready.html"));
    fsUiScriptHtml = fsUiReadyHtml;
    fsUiScriptErrorHtml = PageIfExists(sProgramDir, QStringLiteral("Ui/ScriptError.html"));

    ConnectRunner(*fRunner);
    fTree.Clear();
    fRunner->SetProcessState(EProcessState::NothingToRun);
    if (fiSockets > 1)
        CreateStation();

    ParseCommandLine();
    if (fbDebugOn) {
        acViewMsgDebug->setVisible(true);
        acViewMsgDebug->setChecked(true);
        fMsgLog.SetShowDebug(true);
        SetOperatorName(QStringLiteral("De Bug"));
    }

    if (TApplication* app = TApplication::Instance()) {
        app->SetKeyHook([this](QKeyEvent* aEvent) {
            return isVisible() && HandleKey(aEvent->key(), aEvent->modifiers() & Qt::KeypadModifier);
        });
    }
}

TfrmMain::~TfrmMain()
{
    fReportJob.reset();
    fResultRecorder.reset();
    fStationRecorders.clear();
    fResults.reset();
    if (TApplication* app = TApplication::Instance())
        app->SetKeyHook(nullptr);
    fTreeView->SetTree(nullptr);
    if (fStation) {
        fMsgLog.SetSourceLabel(nullptr);
        fRunner = fSession.Runner();
        for (int i = 1; i <= fStation->Count(); ++i)
            fStation->Session(i).DetachRunner();
        for (int i = fStation->Count(); i >= 1; --i)
            fStation->Session(i).ReleaseDefinition();
        fStation.reset();
        fSocketHosts.clear();
    }
    fSession.DetachRunner();
    fSession.ReleaseDefinition();
    TEscTaggedString::InstanceRelease();
    fMsgLog.Detach();
    TMsgClass::ReleaseSingleton();
}

QAction* TfrmMain::NewAction(const QString& sCaption, const QString& sShortHint, const QString& sLongHint,
                             const QString& sIcon, const QKeySequence& aShortcut)
{
    auto* action = new QAction(sCaption, this);
    action->setToolTip(sShortHint);
    action->setStatusTip(sLongHint);
    if (!sIcon.isEmpty())
        action->setIcon(UiIcon(sIcon));
    if (!aShortcut.isEmpty())
        action->setShortcut(aShortcut);
    fActionList.push_back(action);
    return action;
}

void TfrmMain::CreateActions()
{
    acFileOpen =
        NewAction(MainActionCaption(maFileOpen), QStringLiteral("Open"), QStringLiteral("Open a file"),
                  QStringLiteral("open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    acFileReload = NewAction(MainActionCaption(maFileReload), QStringLiteral("Reload"),
                             QStringLiteral("Reload current file"), QStringLiteral("reload"));
    acFileExit =
        NewAction(MainActionCaption(maFileExit), QStringLiteral("Exit"), QStringLiteral("Exit application"));
    acProcessReset = NewAction(MainActionCaption(maProcessReset), QStringLiteral("Reset"),
                               QStringLiteral("Reset test process"), QStringLiteral("reset"));
    acProcessStart = NewAction(MainActionCaption(maProcessStart), QStringLiteral("Start"),
                               QStringLiteral("Start test process from the beginning"),
                               QStringLiteral("start"), QKeySequence(Qt::Key_F5));
    acProcessStep = NewAction(MainActionCaption(maProcessStep), QStringLiteral("Step"),
                              QStringLiteral("Single step at the selected test case. Ctrl+Left click on test "
                                             "function executes the function. Ctrl+Left click on test case "
                                             "executes whole case."),
                              QStringLiteral("step"), QKeySequence(Qt::Key_F6));
    acProcessPause = NewAction(MainActionCaption(maProcessPause), QStringLiteral("Pause"),
                               QStringLiteral("Pause test process at next test case"),
                               QStringLiteral("pause"), QKeySequence(Qt::Key_F7));
    acProcessContinue = NewAction(MainActionCaption(maProcessContinue), QStringLiteral("Continue"),
                                  QStringLiteral("Continue test process from the selected test case"),
                                  QStringLiteral("continue"), QKeySequence(Qt::Key_F8));
    acProcessStop =
        NewAction(MainActionCaption(maProcessStop), QStringLiteral("Stop"),
                  QStringLiteral("Stop test process"), QStringLiteral("stop"), QKeySequence(Qt::Key_F9));
    acProcessBreak =
        NewAction(MainActionCaption(maProcessBreak), QStringLiteral("Break"),
                  QStringLiteral("Toggle break point of the selected test case"), QStringLiteral("break"));
    acProcessDisableEnable = NewAction(
        MainActionCaption(maProcessDisableEnable), QStringLiteral("Disable/Enable"),
        QStringLiteral("Toggle disable/enable selected test function or whole test case (Shift+Left click)"),
        QStringLiteral("toggle"));
    acProcessDisableEnable->setIconText(QStringLiteral("Toggle"));
    acViewTreeViewExpant =
        NewAction(MainActionCaption(maViewTreeViewExpant), QStringLiteral("Expand"),
                  QStringLiteral("Expand test case list to view all test items"), QStringLiteral("expand"));
    acViewTreeViewExpant->setIconText(QStringLiteral("Expand"));
    acViewTreeViewExpandDefault =
        NewAction(MainActionCaption(maViewTreeViewExpandDefault), QStringLiteral("Expand Default"),
                  QStringLiteral("Show default expanded test case list"), QStringLiteral("expanddefault"));
    acViewTreeViewExpandDefault->setIconText(QStringLiteral("Expand Default"));
    acViewTreeViewCollapse = NewAction(MainActionCaption(maViewTreeViewCollapse), QStringLiteral("Collapse"),
                                       QStringLiteral("Collapse test case list to view main test items"),
                                       QStringLiteral("collapse"));
    acViewTreeViewCollapse->setIconText(QStringLiteral("Collapse"));
    acViewLastErrorDlg = NewAction(MainActionCaption(maViewLastErrorDlg), QStringLiteral("Error Report"),
                                   QStringLiteral("Show last Error Report if available"));
    // Enabled when the View menu opens with a report to show.
    acViewLastErrorDlg->setEnabled(false);
    const QString sListKeys = QStringLiteral("List keyboard keys assigned to functions in protocol window");
    acViewListAssignedKeys = NewAction(MainActionCaption(maViewListAssignedKeys), sListKeys, sListKeys);
    const QString sKeyCodes = QStringLiteral("Show notified key codes in protocol window");
    acViewKeyCodes = NewAction(MainActionCaption(maViewKeyCodes), sKeyCodes, sKeyCodes);
    acViewKeyCodes->setCheckable(true);
    const QString sTrace = QStringLiteral("Show trace messages in protocol window");
    acViewMsgTrace = NewAction(MainActionCaption(maViewMsgTrace), sTrace, sTrace);
    acViewMsgTrace->setCheckable(true);
    const QString sDebug = QStringLiteral("Show debug messages in protocol window");
    acViewMsgDebug = NewAction(MainActionCaption(maViewMsgDebug), sDebug, sDebug);
    acViewMsgDebug->setCheckable(true);
    acViewMsgDebug->setVisible(false);
    acOptionsSetOperatorName = NewAction(MainActionCaption(maOptionsSetOperatorName), QString(), QString());
    const QString sSkip =
        QStringLiteral("Skip errors: Function dummies for missing devices and invalid functions are ignored");
    acOptionsSkipErrors = NewAction(MainActionCaption(maOptionsSkipErrors), sSkip, sSkip);
    acOptionsSkipErrors->setCheckable(true);
    acOptionsExtras = NewAction(MainActionCaption(maOptionsExtras), QStringLiteral("Extras"),
                                QStringLiteral("Open dialog for special settings"));
    acHelpHomePage = NewAction(MainActionCaption(maHelpHomePage), QStringLiteral("Home Page"),
                               QStringLiteral("Opens home page in default internet browser"));
    acHelpAbout =
        NewAction(MainActionCaption(maHelpAbout), QStringLiteral("About"),
                  QStringLiteral("Shows the program version and the versions of the device modules"));
    EditCopy1 = NewAction(MainActionCaption(maEditCopy), QStringLiteral("Copy"),
                          QStringLiteral("Copies the selection and puts it on the Clipboard"), QString(),
                          QKeySequence(Qt::CTRL | Qt::Key_C));
    acSelectTree = NewAction(MainActionCaption(maSelectTree), QString(), QString());
    if (fiSockets > 1) {
        acProcessStopAll = NewAction(QStringLiteral("Stop &All"), QStringLiteral("Stop all"),
                                     QStringLiteral("Stop the test process of every socket"),
                                     QStringLiteral("stopall"), QKeySequence(Qt::SHIFT | Qt::Key_F9));
        acProcessStopAll->setIconText(QStringLiteral("Stop all"));
        const QString sAll = QStringLiteral("Show the lines of all sockets in the protocol window");
        acViewAllSockets = NewAction(QStringLiteral("All sockets' lines"), sAll, sAll);
        acViewAllSockets->setCheckable(true);
        connect(acProcessStopAll, &QAction::triggered, this, [this] {
            fStation->StopAll();
            ApplyActions();
            RefreshTiles();
        });
        connect(acViewAllSockets, &QAction::toggled, this, [this] { ApplyLogFilter(); });
    }
    // Only reachable by shortcut: it must belong to the window to fire.
    addAction(EditCopy1);
    addAction(acSelectTree);

    for (QAction* action : {acProcessStart, acProcessStep, acProcessPause, acProcessStop})
        action->setCheckable(true);

    connect(acFileOpen, &QAction::triggered, this, [this] {
        if (CancelDefineQuery())
            QCoreApplication::processEvents();
        LoadDefinitionFile(QString());
    });
    connect(acFileReload, &QAction::triggered, this, [this] {
        if (CancelDefineQuery())
            QCoreApplication::processEvents();
        LoadDefinitionFile(fsCurrentFileName);
    });
    connect(acFileExit, &QAction::triggered, this, &QWidget::close);
    connect(acProcessReset, &QAction::triggered, this, [this] { ProcessAction(&TProcessRunner::Reset); });
    connect(acProcessStart, &QAction::triggered, this, [this] { ProcessAction(&TProcessRunner::Start); });
    connect(acProcessStep, &QAction::triggered, this, [this] { ProcessAction(&TProcessRunner::Step); });
    connect(acProcessPause, &QAction::triggered, this, [this] { ProcessAction(&TProcessRunner::Pause); });
    connect(acProcessContinue, &QAction::triggered, this,
            [this] { ProcessAction(&TProcessRunner::Continue); });
    connect(acProcessStop, &QAction::triggered, this, [this] { ProcessAction(&TProcessRunner::Stop); });
    connect(acProcessBreak, &QAction::triggered, this,
            [this] { ProcessAction(&TProcessRunner::ToggleBreakPoint); });
    connect(acProcessDisableEnable, &QAction::triggered, this,
            [this] { ProcessAction(&TProcessRunner::ToggleSelectedEnabled); });
    connect(acViewTreeViewExpant, &QAction::triggered, this, [this] { fTreeView->expandAll(); });
    connect(acViewTreeViewCollapse, &QAction::triggered, this, [this] { fTreeView->collapseAll(); });
    connect(acViewTreeViewExpandDefault, &QAction::triggered, this, [this] { fTreeView->ExpandDefault(); });
    connect(acViewLastErrorDlg, &QAction::triggered, this, [this] {
        // A socket's report goes to its tile; asked for here, it opens at once.
        if (fStation)
            fErrorDlg->ShowReport(CurrentErrorReport());
        else
            fErrorReport.ShowLastReport();
    });
    connect(acViewListAssignedKeys, &QAction::triggered, this,
            [this] { fKeyControl->ListAssignments(fFileLabel->text().trimmed()); });
    connect(acViewMsgTrace, &QAction::toggled, this, [this](bool bOn) { fMsgLog.SetShowTrace(bOn); });
    connect(acViewMsgDebug, &QAction::toggled, this, [this](bool bOn) { fMsgLog.SetShowDebug(bOn); });
    connect(acOptionsSetOperatorName, &QAction::triggered, this, [this] {
        const QString sName = AskForName();
        if (!sName.isEmpty())
            SetOperatorName(sName);
    });
    connect(acOptionsExtras, &QAction::triggered, this, [this] {
        if (fDialogs.fnExtras()) {
            ApplyViewSettings();
            fErrorReport.SetActive(TRegIO::Instance().ShowErrorReportDlg());
            if (fStation)
                for (int i = 1; i <= fStation->Count(); ++i)
                    fStation->Session(i).ErrorReport().SetActive(TRegIO::Instance().ShowErrorReportDlg());
        }
    });
    connect(acHelpHomePage, &QAction::triggered, this, [] { QDesktopServices::openUrl(QUrl(csHomePage)); });
    connect(acHelpAbout, &QAction::triggered, this, [this] { fDialogs.fnAbout(); });
    connect(EditCopy1, &QAction::triggered, this, &TfrmMain::EditCopy);
    connect(acSelectTree, &QAction::triggered, this, [this] { fTreeView->setFocus(); });
}

void TfrmMain::CreateMenusAndToolbar()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->addAction(acFileOpen);
    mnuFile->addAction(acFileReload);
    mnuFile->addSeparator();
    mnuFile->addSeparator();
    mnuFile->addAction(acFileExit);
    mnuFile->setToolTipsVisible(true);

    mnuProcess = menuBar()->addMenu(QStringLiteral("&Process"));
    mnuProcess->addAction(acProcessReset);
    mnuProcess->addSeparator();
    mnuProcess->addAction(acProcessStart);
    mnuProcess->addSeparator();
    mnuProcess->addAction(acProcessStep);
    mnuProcess->addAction(acProcessPause);
    mnuProcess->addAction(acProcessContinue);
    mnuProcess->addSeparator();
    mnuProcess->addAction(acProcessStop);
    if (acProcessStopAll)
        mnuProcess->addAction(acProcessStopAll);
    mnuProcess->addSeparator();
    mnuProcess->addAction(acProcessBreak);
    mnuProcess->addSeparator();
    mnuProcess->addAction(acProcessDisableEnable);

    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuView->addAction(acViewTreeViewExpant);
    mnuView->addAction(acViewTreeViewExpandDefault);
    mnuView->addAction(acViewTreeViewCollapse);
    mnuView->addSeparator();
    mnuView->addAction(acViewLastErrorDlg);
    mnuView->addSeparator();
    mnuView->addSeparator();
    mnuView->addAction(acViewListAssignedKeys);
    mnuView->addAction(acViewKeyCodes);
    mnuView->addAction(acViewMsgTrace);
    mnuView->addAction(acViewMsgDebug);
    if (acViewAllSockets) {
        mnuView->addSeparator();
        mnuView->addAction(acViewAllSockets);
    }

    mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    mnuOptions->addAction(acOptionsSetOperatorName);
    mnuOptions->addSeparator();
    mnuOptions->addAction(acOptionsSkipErrors);
    mnuOptions->addSeparator();
    mnuOptions->addAction(acOptionsExtras);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->addAction(acHelpHomePage);
    mnuHelp->addSeparator();
    mnuHelp->addAction(acHelpAbout);

    connect(mnuFile, &QMenu::aboutToShow, this, [this] { CancelDefineQuery(); });
    connect(mnuView, &QMenu::aboutToShow, this, [this] {
        const TErrorReport& report = CurrentErrorReport();
        acViewLastErrorDlg->setEnabled(report.Initialized() && !report.TestFunction().isEmpty());
    });

    fToolBar = addToolBar(QStringLiteral("Toolbar"));
    fToolBar->setObjectName(QStringLiteral("ToolBar1"));
    fToolBar->setMovable(false);
    fToolBar->addAction(acFileOpen);
    fToolBar->addAction(acFileReload);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessReset);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessStart);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessStep);
    fToolBar->addAction(acProcessPause);
    fToolBar->addAction(acProcessContinue);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessStop);
    if (acProcessStopAll)
        fToolBar->addAction(acProcessStopAll);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessBreak);
    fToolBar->addSeparator();
    fToolBar->addAction(acProcessDisableEnable);
    fToolBar->addSeparator();
    fToolBar->addAction(acViewTreeViewExpant);
    fToolBar->addAction(acViewTreeViewExpandDefault);
    fToolBar->addAction(acViewTreeViewCollapse);
    fTipFilter = new TTipFilter(fToolBar);
}

void TfrmMain::CreateClientArea()
{
    // Left pane: file label above the tree.
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    fFileLabel = new QLabel(QStringLiteral("  Test file label"), left);
    fFileLabel->setFixedHeight(20);
    fFileLabel->setFrameShape(QFrame::Panel);
    fFileLabel->setFrameShadow(QFrame::Raised);
    fFileLabel->setToolTip(QStringLiteral("Indicates current test file label and version"));
    fFileLabel->setFocusPolicy(Qt::StrongFocus);
    fTreeView = new TTestTreeView(left);
    fTreeView->SetTree(&fTree);
    leftLayout->addWidget(fFileLabel);
    leftLayout->addWidget(fTreeView, 1);
    left->setMinimumWidth(1);

    // Right pane, upper part: test-case header above the document view.
    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    fHeader = new QLabel(csNoTestCase, upper);
    fHeader->setFixedHeight(20);
    fHeader->setFrameShape(QFrame::Panel);
    fHeader->setFrameShadow(QFrame::Raised);
    fHeader->setToolTip(QStringLiteral("Indicates current test case in process"));
    fDocView =
        fSetup.fDocumentViewFactory ? fSetup.fDocumentViewFactory(upper) : new TPlainDocumentView(upper);
    fDocView->setToolTip(QStringLiteral("Indicates test manual"));
    upperLayout->addWidget(fHeader);
    upperLayout->addWidget(fDocView, 1);
    upper->setMinimumHeight(40);

    // Right pane, lower part: indicator strip above the message log.
    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);
    fIndicatorStrip = new TIndicatorStripView(lower);
    fLogView = new TMessageLogView(fMsgLog, lower);
    lowerLayout->addWidget(fIndicatorStrip);
    lowerLayout->addWidget(fLogView, 1);
    lower->setMinimumHeight(40);

    fSplitterH = new QSplitter(Qt::Vertical, this);
    fSplitterH->addWidget(upper);
    fSplitterH->addWidget(lower);
    fSplitterH->setChildrenCollapsible(false);
    fSplitterH->setStretchFactor(0, 1);
    fSplitterH->setSizes({519 - 128, 128});

    fSplitterV = new QSplitter(Qt::Horizontal, this);
    fSplitterV->addWidget(left);
    fSplitterV->addWidget(fSplitterH);
    fSplitterV->setChildrenCollapsible(false);
    fSplitterV->setStretchFactor(1, 1);
    fSplitterV->setSizes({169, 726 - 169});
    if (fiSockets > 1) {
        // The tiles above the tree and the document view, across the whole width.
        auto* central = new QWidget(this);
        auto* centralLayout = new QVBoxLayout(central);
        centralLayout->setContentsMargins(0, 0, 0, 0);
        centralLayout->setSpacing(2);
        fSocketStrip = new TSocketStrip(fiSockets, central);
        centralLayout->addWidget(fSocketStrip);
        centralLayout->addWidget(fSplitterV, 1);
        setCentralWidget(central);
    } else {
        setCentralWidget(fSplitterV);
    }

    fStatus1 = new QLabel(this);
    fStatus2 = new QLabel(this);
    statusBar()->addWidget(fStatus1);
    statusBar()->addPermanentWidget(fStatus2);

    connect(fTreeView, &TTestTreeView::NodeShiftClicked, this,
            [this](TTreeNode* aNode) { fRunner->ShiftClick(aNode); });
    connect(fTreeView, &TTestTreeView::NodeCtrlClicked, this,
            [this](TTreeNode* aNode) { fRunner->CtrlClick(aNode); });
    connect(fTreeView, &TTestTreeView::MouseReleased, this, [this] { fRunner->TreeMouseReleased(); });
    connect(fDocView, &TDocumentViewBase::CallTestItem, this, [this](const QString& sName) {
        // The link is handled after the navigation request has been answered.
        QTimer::singleShot(0, this, [this, sName] { fRunner->CallTestItem(sName); });
    });
    connect(fDocView, &TDocumentViewBase::DefineValues, this,
            [this](const QString& sAnswer) { AnswerDefineQuery(sAnswer); });
    connect(fDocView, &TDocumentViewBase::NavigationHandled, this, [this] {
        activateWindow();
        setFocus();
    });
}

void TfrmMain::CreateDefaultDialogs()
{
    fFinalDlg = new TfrmFinalDlg(this);
    fAboutBox = new TAboutBox(this);
    fErrorDlg = new TfrmErrorDlg(this);
    fErrorReport.SetActive(true);
    fErrorReport.Clear();
    fErrorReport.SetView(fErrorDlg);
    fErrorDlg->SetOnPrint([](TErrorReport& aReport) { aReport.Print(); });

    fDialogs.fnInformation = [this](const QString& sText) {
        QMessageBox::information(this, csAppTitle, sText);
    };
    fDialogs.fnError = [this](const QString& sText) { QMessageBox::critical(this, csAppTitle, sText); };
    fDialogs.fnWarning = [this](const QString& sText) { QMessageBox::warning(this, csAppTitle, sText); };
    fDialogs.fnOpenFile = [this] {
        QFileDialog dialog(this, QStringLiteral("Open test file"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        // The Qt dialog matches the pattern without regard to case (.TZD and .tzd alike).
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilter(QStringLiteral("TZK test files (*.TZD)"));
        if (!fsCurrentFileName.isEmpty())
            dialog.setDirectory(QFileInfo(fsCurrentFileName).absolutePath());
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
    fDialogs.fnOperatorInput = [this](const QString& sDefault) {
        return TOperatorNameBox::InputBox(this, sDefault);
    };
    fDialogs.fnFinalDialog = [this](bool bPassed, const QStringList& aFailed) {
        return fFinalDlg->ShowResult(bPassed, aFailed);
    };
    fDialogs.fnExtras = [this] {
        TfrmExtras extras(this);
        extras.ShowResultDatabase(fResults.get());
        if (fStation)
            extras.ShowSockets(fStation->Count(), TRegIO::Instance().UserFileName());
        if (fResults)
            extras.SetShowReport([this] { ShowTodaysReport(); });
        return extras.Execute(TRegIO::Instance());
    };
    fDialogs.fnAbout = [this] {
        fAboutBox->SetDeviceModules(fSession.Context().Types().Info());
        fAboutBox->exec();
    };
}

void TfrmMain::ParseCommandLine()
{
    const auto find = [this](const QString& sSwitch) -> std::optional<QString> {
        for (const QString& sArg : fSetup.slArguments) {
            if (sArg.startsWith(sSwitch))
                return sArg.mid(sSwitch.size());
        }
        return std::nullopt;
    };
    fbDebugOn = find(QStringLiteral("+DebugOn")).has_value();
    fsParamFile = find(QStringLiteral("+File:"));
    // A file manager (and the desktop entry) passes the definition as a plain argument; a relative
    // one, typed in a shell, names a file in the current folder.
    if (!fsParamFile) {
        for (const QString& sArg : fSetup.slArguments) {
            if (!sArg.startsWith(QLatin1Char('+')) && !sArg.startsWith(QLatin1Char('-'))) {
                fsParamFile = QFileInfo(sArg).absoluteFilePath();
                break;
            }
        }
    }
    fbParamAutoStart = find(QStringLiteral("+AutoStart")).has_value();
}

void TfrmMain::ProcessAction(void (TProcessRunner::*aAction)())
{
    if (fStation && aAction == &TProcessRunner::Start) {
        StartAllSockets();
        return;
    }
    ((*fRunner).*aAction)();
    // A triggered check item flips its own mark; the runner's state decides it.
    ApplyActions();
}

void TfrmMain::ApplyActions()
{
    const TProcessActions& actions = fRunner->Actions();
    const auto apply = [](QAction* aAction, const TActionState& aState) {
        aAction->setEnabled(aState.bEnabled);
        if (aAction->isCheckable())
            aAction->setChecked(aState.bChecked);
    };
    apply(acProcessStart, actions.Start);
    apply(acProcessStep, actions.Step);
    apply(acProcessPause, actions.Pause);
    apply(acProcessContinue, actions.Continue);
    apply(acProcessStop, actions.Stop);
    apply(acProcessReset, actions.Reset);
    apply(acProcessBreak, actions.SetBreakPoint);
    acProcessDisableEnable->setEnabled(actions.bToggleEnabled);
    mnuFile->menuAction()->setEnabled(actions.bFileMenu);
    acFileOpen->setEnabled(actions.bOpen);
    acFileReload->setEnabled(actions.bReload);
    if (fStation) {
        // Start serves every ready socket; a new definition waits until no socket runs.
        bool bAnyStart = false;
        bool bAnyStop = false;
        bool bFiles = true;
        for (int i = 1; i <= fStation->Count(); ++i) {
            const TProcessRunner* pSocketRunner = fStation->Session(i).Runner();
            if (!pSocketRunner)
                continue; // not attached yet
            const TProcessRunner& runner = *pSocketRunner;
            const TProcessActions& socket = runner.Actions();
            bAnyStart = bAnyStart || (socket.Start.bEnabled && runner.ProcessState() == EProcessState::Ready);
            bAnyStop = bAnyStop || socket.Stop.bEnabled;
            bFiles = bFiles && socket.bFileMenu && socket.bOpen;
        }
        acProcessStart->setEnabled(bAnyStart);
        acProcessStopAll->setEnabled(bAnyStop);
        mnuFile->menuAction()->setEnabled(bFiles);
        acFileOpen->setEnabled(bFiles);
        acFileReload->setEnabled(bFiles);
    }
    fTreeView->SetRunning(actions.Start.bChecked);
    // A start ends the last run's outcome; the page changes only while it is the ready page (not
    // the definition's document, nor a page a document display navigated to).
    const EProcessState eState = fRunner->ProcessState();
    const bool bStarted = eState == EProcessState::RunningFromStart || eState == EProcessState::SingleStep ||
                          eState == EProcessState::RunningFromNode;
    if (bStarted && fsLastOutcome)
        fsLastOutcome.reset();
    if (fsUiScriptHtml == fsUiReadyHtml && fDocView->Page() == fsUiReadyHtml &&
        ReadyPageBody() != fsReadyBody)
        ShowReadyPage();
    if (!fsBreakPrompt.isEmpty() && fRunner->ProcessState() != EProcessState::Paused) {
        fsBreakPrompt.clear();
        ShowStatusText();
    }
}

void TfrmMain::ShowStatusText()
{
    // What the operator has to do now stands in front of the last hint while it lasts.
    if (!fsWaitPrompt.isEmpty())
        fStatus1->setText(fsWaitPrompt);
    else if (!fsBreakPrompt.isEmpty())
        fStatus1->setText(fsBreakPrompt);
    else
        fStatus1->setText(fsHint);
}

QString TfrmMain::ReadyPageBody() const
{
    if (fsCurrentFileName.isEmpty())
        return QString();
    QString sName = fErrorReport.FileInfo();
    if (sName.isEmpty())
        sName = QFileInfo(fsCurrentFileName).fileName();
    const QString sStart = Format(QStringLiteral("<b>Start</b> (%s)"),
                                  {acProcessStart->shortcut().toString(QKeySequence::NativeText)});
    QString sBody = Format(QStringLiteral("<h1>%s</h1>\n<p class=\"file\">%s</p>\n"),
                           {sName.toHtmlEscaped(), fsCurrentFileName.toHtmlEscaped()});
    const EProcessState eState = fRunner->ProcessState();
    if (fsLastOutcome) {
        sBody +=
            Format(QStringLiteral("<p class=\"outcome %s\">%s</p>\n<p>Test the next unit with %s.</p>\n"),
                   {QString::fromLatin1(fbLastPassed ? "passed" : "failed"), fsLastOutcome->toHtmlEscaped(),
                    sStart});
    } else if (eState == EProcessState::Ready || eState == EProcessState::NothingToRun) {
        sBody += Format(QStringLiteral("<p>Start the test process with %s.</p>\n"), {sStart});
    } else {
        sBody += QStringLiteral("<p>The test process is running.</p>\n");
    }
    return sBody;
}

void TfrmMain::ShowReadyPage()
{
    fsReadyBody = ReadyPageBody();
    if (fsReadyBody.isEmpty()) {
        fDocView->ShowPage(fsUiReadyHtml);
        return;
    }
    // The page's own head (its style) stays; its body gives way to what the window has to say.
    QString sPage;
    QFile file(fsUiReadyHtml);
    if (fsUiReadyHtml != csAboutBlank && file.open(QIODevice::ReadOnly))
        sPage = QString::fromUtf8(file.readAll());
    const QString sBodyTag = QStringLiteral("<body>");
    int iBodyStart = sPage.indexOf(sBodyTag);
    int iBodyEnd = sPage.lastIndexOf(QStringLiteral("</body>"));
    if (iBodyStart < 0 || iBodyEnd < iBodyStart) {
        sPage = QStringLiteral(
            "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>TZK</title></head>\n"
            "<body>\n</body>\n</html>\n");
        iBodyStart = sPage.indexOf(sBodyTag);
        iBodyEnd = sPage.lastIndexOf(QStringLiteral("</body>"));
    }
    const int iInner = iBodyStart + int(sBodyTag.size());
    sPage.replace(iInner, iBodyEnd - iInner, QLatin1Char('\n') + fsReadyBody);
    fDocView->ShowPageText(fsUiReadyHtml, sPage);
}

void TfrmMain::ForgetDefinitionTexts()
{
    fFileLabel->setText(QString());
    fFileLabel->setToolTip(QString());
    fHeader->setText(csNoTestCase);
    fFinalDlg->setWindowTitle(QString());
    fsHint.clear();
    fsWaitPrompt.clear();
    fsBreakPrompt.clear();
    ShowStatusText();
}

bool TfrmMain::LoadDefinitionFile(const QString& sFileName)
{
    if (fbLoading) {
        // Loads are strictly sequential: end the waiting one, then run this one after it.
        CancelDefineQuery();
        fsPendingLoad = sFileName;
        return false;
    }
    fMsgLog.Clear();
    fIndicatorStrip->setFixedHeight(0);

    QString sFile = sFileName;
    if (sFile.isEmpty() || !QFileInfo(sFile).isFile())
        sFile = fDialogs.fnOpenFile();
    TMsg::Info(QStringLiteral("Load test process \"%s\""), {sFile});
    if (sFile.isEmpty() || !QFileInfo(sFile).isFile())
        return false;
    sFile = QFileInfo(sFile).absoluteFilePath();

    fsCurrentFileName.clear();
    fsLastOutcome.reset();
    fsUiScriptHtml = fsUiReadyHtml;
    fKeyControl->Clear();
    acViewLastErrorDlg->setEnabled(false);
    ShowReadyPage();
    ForgetDefinitionTexts();
    setWindowTitle(csAppTitle);
    // Nothing may run a half-built tree while a define query lets events through.
    SetProcessStates(EProcessState::NothingToRun);

    fbLoading = true;
    const TLoadReport report = fStation ? LoadStation(sFile) : fSession.Load(sFile, *this);
    const QString sHint = Format(QStringLiteral("Loaded File: \"%s\""), {sFile});
    if (!report.sFailure.isEmpty()) {
        // A reader or preprocessor error: nothing of the definition stays.
        ForgetDefinitionTexts();
        fbLoading = false;
        if (TApplication* app = TApplication::Instance())
            app->HandleException(report.sFailure);
        else
            TMsg::Fatal(report.sFailure);
    } else if (report.eOutcome == ELoadOutcome::Cancelled) {
        TMsg::Info(QStringLiteral("File loading cancelled: \"%s\""), {sFile});
        ForgetDefinitionTexts();
    } else if (report.eOutcome == ELoadOutcome::Errors) {
        fDocView->ShowPage(fsUiScriptErrorHtml);
        if (report.bRunnable) {
            fsCurrentFileName = sFile;
            setWindowTitle(
                Format(QStringLiteral(" %s - %s with Errors"), {csAppTitle, QFileInfo(sFile).fileName()}));
            TMsg::Hint(sHint);
            fTreeView->ExpandDefault();
            fMenuFileList->Insert(sFile);
            SetProcessStates(EProcessState::Ready);
            TMsg::Info(QStringLiteral("Test process loaded with Errors."));
        } else {
            // Emptied before the box: the status bar must not show the last step the load read
            // while the box says that nothing was loaded.
            ForgetDefinitionTexts();
            fDialogs.fnError(QStringLiteral("Error(s) while loading definition file!"));
        }
    } else {
        fsCurrentFileName = sFile;
        setWindowTitle(Format(QStringLiteral(" %s - %s"), {csAppTitle, sFile}));
        TMsg::Hint(sHint);
        fTreeView->ExpandDefault();
        fMenuFileList->Insert(sFile);
        TMsg::Info(QStringLiteral("Test process loaded successfully."));
        SetProcessStates(EProcessState::Ready);
        if (fsUiScriptHtml != fsUiReadyHtml)
            fDocView->ShowPage(fsUiScriptHtml);
        else
            ShowReadyPage();
    }
    const bool bResult = report.eOutcome == ELoadOutcome::Loaded;
    fbLoading = false;
    RefreshTiles();

    if (fsPendingLoad) {
        const QString sNext = *fsPendingLoad;
        fsPendingLoad.reset();
        QTimer::singleShot(0, this, [this, sNext] { LoadDefinitionFile(sNext); });
    }
    return bResult;
}

void TfrmMain::InitNewDefFile(const QString& sFileName, bool bAutoStart)
{
    fsNewDefFileName = sFileName;
    fbAutoStart = bAutoStart;
    QMetaObject::invokeMethod(this, &TfrmMain::HandleNewDefFile, Qt::QueuedConnection);
}

void TfrmMain::HandleNewDefFile()
{
    const QString sFile = fsNewDefFileName;
    fsNewDefFileName.clear();
    if (!QFileInfo(sFile).isFile())
        throw EMsg(TMsgId(0x01040A), 0);
    LoadDefinitionFile(sFile);
    update();
    if (fbAutoStart)
        ProcessAction(&TProcessRunner::Start);
}

void TfrmMain::showEvent(QShowEvent* aEvent)
{
    QMainWindow::showEvent(aEvent);
    if (!fbInitialized)
        QMetaObject::invokeMethod(this, &TfrmMain::FormActivate, Qt::QueuedConnection);
}

void TfrmMain::FormActivate()
{
    if (fbInitialized)
        return;
    fbInitialized = true;
    TRegIO& settings = TRegIO::Instance();
    QString sLastFile;
    bool bLoaded = false;
    try {
        bLoaded = settings.CurrentUserLoad();
    } catch (const std::exception& e) {
        TMsg::Error(ExceptionText(e));
    }
    try {
        TCodePage::SetStation(TCodePage::FromSettings(settings.UserFileName()));
    } catch (const std::exception& e) {
        TMsg::Error(ExceptionText(e) + QStringLiteral("; 8-bit files are read and written as ") +
                    TCodePage::Station().Name());
    }
    if (bLoaded) {
        ApplySettings();
        sLastFile = settings.LastFile();
    }
    ApplyViewSettings();
    fErrorReport.SetActive(settings.ShowErrorReportDlg());
    if (fStation)
        for (int i = 1; i <= fStation->Count(); ++i)
            fStation->Session(i).ErrorReport().SetActive(settings.ShowErrorReportDlg());
    OpenResultDatabase();

    if (fsParamFile) {
        const QString sPath = ResolveFileName(*fsParamFile, false);
        if (!sPath.isEmpty() && QFileInfo(sPath).isFile()) {
            InitNewDefFile(sPath, fbParamAutoStart);
        } else {
            ShowReadyPage();
            TMsg::Error(QStringLiteral("Application parameter file not found: ") +
                        (sPath.isEmpty() ? *fsParamFile : sPath));
        }
    } else if (!sLastFile.isEmpty() && QFileInfo(sLastFile).isFile()) {
        InitNewDefFile(sLastFile, false);
    } else {
        ShowReadyPage();
    }
    update();
}

void TfrmMain::OpenResultDatabase()
{
    const TResultDatabaseSettings settings = TResultDatabaseSettings::Load(TRegIO::Instance().UserFileName());
    if (!settings.Configured())
        return;
    // Kept when its spool cannot be opened (the log says why), so that the Extras dialog says so.
    fResults = std::make_unique<TResultDatabase>(settings);
    if (!fResults->Start())
        return;
    if (!fStation) {
        fResultRecorder = std::make_unique<TResultRecorder>(*fRunner, *fResults, fErrorReport);
        return;
    }
    for (int i = 1; i <= fStation->Count(); ++i) {
        TSession& session = fStation->Session(i);
        fStationRecorders.push_back(
            std::make_unique<TResultRecorder>(*session.Runner(), *fResults, session.ErrorReport()));
    }
}

void TfrmMain::ShowTodaysReport()
{
    if (!fResults)
        return;
    if (!fReportJob) {
        fReportJob = std::make_unique<TReportJob>();
        connect(fReportJob.get(), &TReportJob::Finished, this,
                [this](const QString& sFile, const QString& sError) {
                    if (!sError.isEmpty())
                        TMsg::Warning(QStringLiteral("Report: %s"), {sError});
                    fDocView->ShowPage(sFile);
                });
    }
    TReportOptions options = TReportOptions::Today();
    options.sConnection = fResults->Settings().sConnection;
    options.sStation = fResults->Settings().sStationName.isEmpty() ? QSysInfo::machineHostName()
                                                                   : fResults->Settings().sStationName;
    // A file, not the page's text: the view takes a text of at most 2 MB.
    const QDir folder = QFileInfo(TRegIO::Instance().UserFileName()).absoluteDir();
    folder.mkpath(QStringLiteral("."));
    const QString sFile = folder.filePath(QStringLiteral("TZK2-report-today.html"));
    if (fReportJob->Start(options, sFile))
        TMsg::Info(QStringLiteral("Report: today's runs of %s from the result database"), {options.sStation});
}

void TfrmMain::ApplySettings()
{
    TRegIO& settings = TRegIO::Instance();
    const TRect position = settings.Position();
    if (position != TRect()) {
        move(position.Left, position.Top);
        resize(position.Right - position.Left, position.Bottom - position.Top);
    }
    if (settings.SplitterPosH() <= 0)
        settings.SetSplitterPosH(1);
    if (settings.SplitterPosV() <= 0)
        settings.SetSplitterPosV(1);
    const QList<int> widths = fSplitterV->sizes();
    const int iWidth = std::max(widths.value(0) + widths.value(1), settings.SplitterPosH() + 1);
    fSplitterV->setSizes({settings.SplitterPosH(), iWidth - settings.SplitterPosH()});
    const QList<int> heights = fSplitterH->sizes();
    const int iHeight = std::max(heights.value(0) + heights.value(1), settings.SplitterPosV() + 40);
    fSplitterH->setSizes({iHeight - settings.SplitterPosV(), settings.SplitterPosV()});
    fMenuFileList->LoadFileList(settings.RecentFileList());
    acViewMsgTrace->setChecked(settings.ViewMsgTrace());
    acOptionsSkipErrors->setChecked(settings.OptionsSkipErrors());
}

void TfrmMain::ApplyViewSettings()
{
    const TRegIO& settings = TRegIO::Instance();
    static_cast<TTipFilter*>(fTipFilter)->bShowTips = settings.ShowToolbarTips();
    // The buttons exist once the toolbar has laid them out; installing twice keeps one filter.
    for (QToolButton* button : fToolBar->findChildren<QToolButton*>())
        button->installEventFilter(fTipFilter);
    if (settings.ShowToolbarCaption()) {
        fToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        fToolBar->setIconSize(QSize(20, 20));
    } else {
        fToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        fToolBar->setIconSize(QSize(16, 16));
    }
    fTreeView->setRootIsDecorated(settings.ShowTreeButtonAndLines());
    fTreeView->setItemsExpandable(true);
}

void TfrmMain::CollectSettings()
{
    TRegIO& settings = TRegIO::Instance();
    const QPoint topLeft = pos();
    settings.SetPosition({topLeft.x(), topLeft.y(), topLeft.x() + width(), topLeft.y() + height()});
    settings.SetSplitterPosH(fSplitterV->sizes().value(0));
    settings.SetSplitterPosV(fSplitterH->sizes().value(1));
    settings.SetLastFile(fsCurrentFileName);
    settings.SetRecentFileList(fMenuFileList->GetFileList());
    settings.SetViewMsgTrace(acViewMsgTrace->isChecked());
    settings.SetOptionsSkipErrors(acOptionsSkipErrors->isChecked());
}

void TfrmMain::closeEvent(QCloseEvent* aEvent)
{
    CancelDefineQuery();
    CollectSettings();
    TRegIO& settings = TRegIO::Instance();
    if (!settings.CurrentUserSave())
        fDialogs.fnWarning(settings.LastError());
    fSession.ReleaseDefinition();
    if (fStation)
        for (int i = fStation->Count(); i >= 1; --i)
            fStation->Session(i).ReleaseDefinition();
    aEvent->accept();
}

void TfrmMain::resizeEvent(QResizeEvent* aEvent)
{
    QMainWindow::resizeEvent(aEvent);
    ResizeStatusPanels();
}

void TfrmMain::ResizeStatusPanels()
{
    const int iOperatorWidth = fStatus2->fontMetrics().horizontalAdvance(fStatus2->text()) + 8;
    fStatus2->setFixedWidth(iOperatorWidth);
    fStatus1->setFixedWidth(std::max(0, width() - iOperatorWidth - 30));
}

void TfrmMain::SetOperatorName(const QString& sName)
{
    fRunner->SetOperatorName(sName);
    if (fStation)
        for (int i = 1; i <= fStation->Count(); ++i)
            fStation->Session(i).Runner()->SetOperatorName(sName);
    fStatus2->setText(QStringLiteral("Operator: ") + sName);
    ResizeStatusPanels();
}

bool TfrmMain::CancelDefineQuery()
{
    if (!fsDefineQueryAnswer.isEmpty())
        return false;
    AnswerDefineQuery(csCancelled);
    return true;
}

void TfrmMain::AnswerDefineQuery(const QString& sAnswer)
{
    fsDefineQueryAnswer = sAnswer;
    if (fDefineQueryLoop)
        fDefineQueryLoop->quit();
}

void TfrmMain::DefineQuery(QString& sText)
{
    fsDefineQueryAnswer.clear();
    fDocView->ShowPage(sText);
    // The page answers through its link (or the load is cancelled); the events go on meanwhile.
    QEventLoop loop;
    fDefineQueryLoop = &loop;
    if (fsDefineQueryAnswer.isEmpty())
        loop.exec();
    fDefineQueryLoop = nullptr;
    if (fsDefineQueryAnswer == csCancelled || fsUiScriptHtml == fsUiReadyHtml)
        ShowReadyPage();
    else
        fDocView->ShowPage(fsUiScriptHtml);
    sText = fsDefineQueryAnswer;
}

bool TfrmMain::HandleKey(int iQtKey, bool bKeypad)
{
    bool bHandled = false;
    TProcessRunner* pKeyRunner = KeyRunner();
    if (pKeyRunner->HasKeyHook())
        bHandled = pKeyRunner->OfferKey(iQtKey);
    if (bHandled || QApplication::activeModalWidget())
        return bHandled;
    const int iCode = VirtualKeyCode(iQtKey, bKeypad);
    if (acViewKeyCodes->isChecked())
        TMsg::Info(QStringLiteral("Keyboard key 0x%x pressed"), {iCode});
    return fKeyControl->ReadIn(iCode);
}

void TfrmMain::EditCopy()
{
    if (fLogView->hasFocus()) {
        fLogView->CopySelection();
        return;
    }
    if (QWidget* focus = QApplication::focusWidget())
        QMetaObject::invokeMethod(focus, "copy");
}

void TfrmMain::SetDefaultDocument(const QString& sFileName)
{
    QString sFull;
    SetScriptDoc(sFileName, sFull);
}

void TfrmMain::SetFileInfo(const QString& sLabel, const QString& sVersion)
{
    fErrorReport.SetFileInfo(sLabel);
    fErrorReport.SetFileVersion(sVersion);
    fFinalDlg->setWindowTitle(sLabel);
    fFileLabel->setText(Format(QStringLiteral("  %s"), {sLabel}));
    fFileLabel->setToolTip(
        Format(QStringLiteral("Test File Label: \"%s\"; Version: %s"), {sLabel, sVersion}));
}

bool TfrmMain::SetScriptDoc(const QString& aFileName, QString& aFullFileName)
{
    aFullFileName = ResolveFileName(aFileName, false);
    if (aFullFileName.isEmpty() || !QFileInfo(aFullFileName).isFile())
        return false;
    fsUiScriptHtml = aFullFileName;
    return true;
}

bool TfrmMain::AssignKey(int iKeyCode, const QString& sAction)
{
    return fKeyControl->AppendKey(iKeyCode, sAction);
}

bool TfrmMain::SkipErrors() const
{
    return acOptionsSkipErrors->isChecked();
}

QString TfrmMain::AskForName() const
{
    return TOperatorNameBox::Ask(fRunner->OperatorName(), fDialogs.fnOperatorInput, fDialogs.fnError, [] {
        const TApplication* app = TApplication::Instance();
        return app && app->Terminating();
    });
}

std::optional<QString> TfrmMain::AskOperatorName()
{
    const QString sName = AskForName();
    // The box closed because the session ends the program: no name, so that the run stops
    // instead of asking again.
    if (sName.isEmpty() && TApplication::Instance() && TApplication::Instance()->Terminating())
        return std::nullopt;
    if (!sName.isEmpty()) {
        fStatus2->setText(QStringLiteral("Operator: ") + sName);
        ResizeStatusPanels();
    }
    return sName;
}

void TfrmMain::ShowInformation(const QString& sText)
{
    fDialogs.fnInformation(sText);
}

bool TfrmMain::ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailedJobs)
{
    fsLastOutcome = sLabel;
    fbLastPassed = bPassed;
    if (fDocView->Page() == fsUiReadyHtml)
        ShowReadyPage();
    return fDialogs.fnFinalDialog(bPassed, aFailedJobs);
}

TTreeNode* TfrmMain::SelectedNode() const
{
    return fTreeView->SelectedNode();
}

void TfrmMain::SelectNode(TTreeNode* aNode)
{
    fTreeView->SelectNode(aNode);
    fTreeView->setFocus();
}

void TfrmMain::ClearSelection()
{
    fTreeView->clearSelection();
    fFileLabel->setFocus();
}

void TfrmMain::MakeVisible(TTreeNode* aNode)
{
    if (QTreeWidgetItem* item = fTreeView->Item(aNode))
        fTreeView->scrollToItem(item);
}

void TfrmMain::SetTestCaseHeader(const QString& sText)
{
    fHeader->setText(sText);
}

void TfrmMain::AddLogSeparator()
{
    fMsgLog.AddSeparator();
}

void TfrmMain::ConnectRunner(TProcessRunner& aRunner)
{
    TProcessRunner* pRunner = &aRunner;
    // Every socket's change may change what Start and Stop all can do.
    connect(pRunner, &TProcessRunner::ActionsChanged, this, &TfrmMain::ApplyActions);
    connect(pRunner, &TProcessRunner::KeyWaitChanged, this, [this, pRunner](bool bWaiting) {
        if (pRunner != fRunner)
            return;
        // The step's label may be cut off in the tree: the status bar tells what it waits for.
        const TTreeNode* pNode = fRunner->CurrentNode();
        fsWaitPrompt = bWaiting && pNode ? pNode->Text() : QString();
        ShowStatusText();
    });
    connect(pRunner, &TProcessRunner::PausedAtBreakPoint, this, [this, pRunner] {
        if (pRunner != fRunner)
            return;
        fsBreakPrompt = Format(QStringLiteral("Paused at break point: %s continues, %s steps"),
                               {acProcessContinue->shortcut().toString(QKeySequence::NativeText),
                                acProcessStep->shortcut().toString(QKeySequence::NativeText)});
        ShowStatusText();
    });
}

void TfrmMain::CreateStation()
{
    fStation = std::make_unique<TStation>(fiSockets, fSetup.pTypes, &TRegIO::Instance());
    auto labels = std::make_shared<std::map<const void*, QString>>();
    for (int i = 1; i <= fStation->Count(); ++i) {
        TSession& session = fStation->Session(i);
        TSocketTile& tile = *fSocketStrip->Tile(i);
        fSocketHosts.push_back(
            std::make_unique<TSocketHost>(*this, *fStation, i, tile, fsStationDefineAnswer));
        TSocketHost& host = *fSocketHosts.back();
        if (fSetup.fLoaderFactory)
            session.SetLoaderFactory(fSetup.fLoaderFactory);
        session.Context().SetDialogs(&host.Dialogs());
        session.Context().SetIndicators(fIndicatorStrip);
        session.Context().SetDocuments(fDocView);
        session.Context().SetDefinitionOpener(this);
        session.ErrorReport().SetActive(true);
        session.ErrorReport().Clear();
        session.ErrorReport().SetView(&host);
        TProcessRunner& runner = fStation->AttachRunner(i, host);
        ConnectRunner(runner);
        connect(&runner, &TProcessRunner::ActionsChanged, &host, &TSocketHost::Refresh);
        connect(&runner, &TProcessRunner::NodeStarted, &host, &TSocketHost::Refresh);
        connect(&runner, &TProcessRunner::KeyWaitChanged, &host, &TSocketHost::Refresh);
        runner.SetProcessState(EProcessState::NothingToRun);
        (*labels)[&session.Context().Msg()] = QStringLiteral("[%1] ").arg(i);

        connect(&tile, &TSocketTile::Clicked, this, [this](int iSocket) { SelectSocket(iSocket); });
        connect(&tile, &TSocketTile::StartClicked, this, [this](int iSocket) { StartSocket(iSocket); });
        connect(&tile, &TSocketTile::ReportClicked, this, [this](int iSocket) {
            SelectSocket(iSocket);
            SocketHost(iSocket)->OpenReport();
        });
        if (i <= 9) {
            auto* select = new QAction(this);
            select->setObjectName(QStringLiteral("acSelectSocket%1").arg(i));
            select->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + i)));
            select->setShortcutContext(Qt::ApplicationShortcut);
            connect(select, &QAction::triggered, this, [this, i] { SelectSocket(i); });
            addAction(select);
        }
    }
    fMsgLog.SetSourceLabel([labels](const void* aSender) {
        const auto it = labels->find(aSender);
        return it == labels->end() ? QString() : it->second;
    });
    fTileTimer = new QTimer(this);
    fTileTimer->setInterval(1000);
    connect(fTileTimer, &QTimer::timeout, this, &TfrmMain::RefreshTiles);
    fTileTimer->start();
    SelectSocket(1);
    RefreshTiles();
}

TSocketHost* TfrmMain::SocketHost(int iSocket) const
{
    if (iSocket < 1 || iSocket > int(fSocketHosts.size()))
        return nullptr;
    return fSocketHosts[std::size_t(iSocket - 1)].get();
}

void TfrmMain::SelectSocket(int iSocket)
{
    TSocketHost* host = SocketHost(iSocket);
    if (!host)
        return;
    if (iSocket != fiSelectedSocket) {
        if (TSocketHost* previous = SocketHost(fiSelectedSocket))
            previous->RememberSelection(fTreeView->SelectedNode());
        fiSelectedSocket = iSocket;
        TSession& session = fStation->Session(iSocket);
        fRunner = session.Runner();
        fTreeView->SetTree(&session.Tree());
        fTreeView->ExpandDefault();
        if (TTreeNode* pNode = host->RememberedSelection())
            fTreeView->SelectNode(pNode);
        fHeader->setText(host->Header().isEmpty() ? csNoTestCase : host->Header());
        fSocketStrip->SetSelected(iSocket);
        const TTreeNode* pNode = fRunner->CurrentNode();
        fsWaitPrompt = fRunner->HasKeyHook() && pNode ? pNode->Text() : QString();
        fsBreakPrompt.clear();
        ApplyLogFilter();
        ApplyActions();
        ShowStatusText();
    }
    // Choosing a socket that waits for the operator brings its question to the front.
    host->Dialogs().RaiseQuestion();
}

std::optional<QString> TfrmMain::StationOperatorName()
{
    const QString sKnown = fRunner->OperatorName();
    if (!sKnown.isEmpty())
        return sKnown;
    const std::optional<QString> sName = AskOperatorName();
    if (sName && !sName->trimmed().isEmpty())
        SetOperatorName(sName->trimmed());
    return sName;
}

bool TfrmMain::StartSocket(int iSocket)
{
    TSocketHost* host = SocketHost(iSocket);
    if (!host)
        return false;
    const std::optional<QString> sName = StationOperatorName();
    if (!sName || sName->trimmed().isEmpty())
        return false;
    const bool bStarted = host->Start();
    ApplyActions();
    return bStarted;
}

void TfrmMain::StartAllSockets()
{
    const std::optional<QString> sName = StationOperatorName();
    if (sName && !sName->trimmed().isEmpty())
        for (const std::unique_ptr<TSocketHost>& host : fSocketHosts)
            host->Start();
    ApplyActions();
}

void TfrmMain::RefreshTiles()
{
    for (const std::unique_ptr<TSocketHost>& host : fSocketHosts)
        host->Refresh();
}

TLoadReport TfrmMain::LoadStation(const QString& sFile)
{
    TLoadReport station;
    for (int i = 1; i <= fStation->Count(); ++i) {
        TSocketHost& host = *SocketHost(i);
        host.RememberSelection(nullptr);
        TSession& session = fStation->Session(i);
        const TLoadReport report = session.Load(sFile, host);
        if (i == 1) {
            station = report;
            if (!report.sFailure.isEmpty() || report.eOutcome == ELoadOutcome::Cancelled) {
                // Nothing of the definition stays in any socket.
                for (int j = 2; j <= fStation->Count(); ++j)
                    fStation->Session(j).ReleaseDefinition();
                return station;
            }
        } else if (report.eOutcome != ELoadOutcome::Loaded && station.eOutcome == ELoadOutcome::Loaded) {
            station.eOutcome = ELoadOutcome::Errors;
            station.bRunnable = report.bRunnable;
        }
        if (report.bRunnable || report.eOutcome == ELoadOutcome::Loaded) {
            fStation->Loaded(i);
            session.Runner()->SetSkippedAtLoad(report.iSkipped);
        }
    }
    return station;
}

void TfrmMain::SetProcessStates(EProcessState eState)
{
    if (!fStation) {
        fRunner->SetProcessState(eState);
        return;
    }
    for (int i = 1; i <= fStation->Count(); ++i)
        fStation->Session(i).Runner()->SetProcessState(eState);
}

void TfrmMain::ApplyLogFilter()
{
    if (!fStation)
        return;
    if (acViewAllSockets->isChecked()) {
        fLogView->SetLineFilter(nullptr);
        return;
    }
    static const QRegularExpression socketLabel(QStringLiteral("^\\[\\d+\\] "));
    const QString sOwn = QStringLiteral("[%1] ").arg(fiSelectedSocket);
    fLogView->SetLineFilter([sOwn](const QString& sLine) {
        return sLine.startsWith(sOwn) || !socketLabel.match(sLine).hasMatch();
    });
}

TProcessRunner* TfrmMain::KeyRunner() const
{
    if (!fStation || fRunner->HasKeyHook())
        return fRunner;
    for (int i = 1; i <= fStation->Count(); ++i) {
        TProcessRunner* pRunner = fStation->Session(i).Runner();
        if (pRunner->HasKeyHook())
            return pRunner;
    }
    return fRunner;
}

TErrorReport& TfrmMain::CurrentErrorReport()
{
    return fStation ? fStation->Session(fiSelectedSocket).ErrorReport() : fErrorReport;
}
