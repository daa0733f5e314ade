#include "TestContext.h"
#include "UiTestSupport.h"

#include "TestDevices.h"

#include "language/DefFileInterpreter.h"
#include "ui/Application.h"
#include "ui/DocumentViewBase.h"
#include "ui/KeypadKeyControl.h"
#include "ui/MessageLogView.h"
#include "ui/RecentMenuFileList.h"
#include "ui/TestTreeView.h"
#include "ui/formErrorDlg.h"
#include "ui/formFinalDlg.h"
#include "ui/formMain.h"

#include "core/EscTaggedString.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "reporting/results/ResultDatabase.h"

#include "TestEnvironment.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include <map>

namespace {

// One definition as the fake interpreter builds it.
struct TFakeDefinition
{
    std::function<void(IInterpreterHost& aHost, TTestTree& aTree)> fBuild;
    TInterpreterResult eOutcome = irSuccess;
    bool bFailRead = false;
    QString sLastFileWhileReading;
};

class TFakeLoader : public IDefinitionLoader
{
public:
    TFakeLoader(IInterpreterHost& aHost, std::map<QString, TFakeDefinition>& aDefinitions, int& iAlive)
        : fHost(aHost), fDefinitions(aDefinitions), fiAlive(iAlive)
    {
        ++fiAlive;
    }
    ~TFakeLoader() override { --fiAlive; }

    void FileLoad(const QString& sFileName) override
    {
        fsFile = sFileName;
        fDefinitions[fsFile].sLastFileWhileReading = TRegIO::Instance().LastFile();
        if (fDefinitions[fsFile].bFailRead)
            throw EMsg(QStringLiteral("To much include file recursions!"), TMsgId(0x030214), 20);
    }
    TInterpreterResult LoadDefinition(TTestTree& aTree) override
    {
        const TFakeDefinition& definition = fDefinitions[fsFile];
        if (definition.fBuild)
            definition.fBuild(fHost, aTree);
        return definition.eOutcome;
    }
    int SkippedLines() const override { return 0; }

private:
    IInterpreterHost& fHost;
    std::map<QString, TFakeDefinition>& fDefinitions;
    int& fiAlive;
    QString fsFile;
};

class formMainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TTestDevice::Register();
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
        TApplication::Instance()->SetErrorBox([this](const QString& sText) { fErrorBoxes.append(sText); });
    }
    void TearDown() override
    {
        fWindow.reset();
        TApplication::Instance()->SetErrorBox(nullptr);
        TTestDevice::Unregister();
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TfrmMain& Create(const QStringList& slArguments = {})
    {
        TfrmMainSetup setup;
        setup.pTypes = &TestDeviceTypes();
        setup.slArguments = slArguments;
        setup.sProgramDir = fDir.Path();
        setup.fLoaderFactory = [this](IInterpreterHost& aHost,
                                      TDeviceContext& aContext) -> std::unique_ptr<IDefinitionLoader> {
            if (fbRealInterpreter)
                return CreateInterpreterLoader(aHost, aContext);
            return std::make_unique<TFakeLoader>(aHost, fDefinitions, fiLoadersAlive);
        };
        fWindow = std::make_unique<TfrmMain>(setup);
        TfrmMainDialogs& dialogs = fWindow->Dialogs();
        dialogs.fnInformation = [this](const QString& sText) { fInformation.append(sText); };
        dialogs.fnError = [this](const QString& sText) { fErrors.append(sText); };
        dialogs.fnWarning = [this](const QString& sText) { fWarnings.append(sText); };
        dialogs.fnOpenFile = [this] {
            ++fiOpenDialogs;
            return fsOpenAnswer;
        };
        dialogs.fnOperatorInput = [this](const QString&) { return std::optional<QString>(fsOperator); };
        dialogs.fnFinalDialog = [this](bool bPassed, const QStringList& aFailed) {
            fFinals.push_back({bPassed, aFailed});
            return false;
        };
        dialogs.fnExtras = [] { return false; };
        dialogs.fnAbout = [] {};
        return *fWindow;
    }

    // A definition file on disk with a fake content: cases of work nodes with preset results.
    // The last iFinalCases cases are final cases.
    QString Definition(const QString& sName, std::vector<std::pair<QString, std::vector<ECmdResult>>> aCases,
                       TInterpreterResult eOutcome = irSuccess, int iFinalCases = 0)
    {
        const QString sFile = fDir.WriteText(sName, QStringLiteral("; fake\r\n"));
        TFakeDefinition& definition = fDefinitions[sFile];
        definition.eOutcome = eOutcome;
        definition.fBuild = [this, aCases, iFinalCases](IInterpreterHost& aHost, TTestTree& aTree) {
            aHost.SetFileInfo(QStringLiteral("Board A"), QStringLiteral("1.0"));
            TDevice* device = fWindow->Session().Devices().Append(QStringLiteral("TestDevice; Dev1"));
            std::size_t iCase = 0;
            for (const auto& [sCase, results] : aCases) {
                const bool bFinal = ++iCase + std::size_t(iFinalCases) > aCases.size();
                const ECaseType eType = bFinal ? ecFinalCase : ecNormalCase;
                TTreeNode* node = TJob::CreateNewJob(sCase, aTree, nullptr, nullptr, eType, true);
                int iWork = 0;
                for (ECmdResult eResult : results) {
                    auto cmd = std::make_unique<TTestCmd>(device);
                    cmd->feImmediate = eResult;
                    fCommands.push_back(cmd.get());
                    TCommand* pCmd =
                        device->AddCommand(QStringLiteral("C%1").arg(fCommands.size()), std::move(cmd));
                    TJob::CreateNewJob(QStringLiteral("%1 step %2").arg(sCase).arg(++iWork), aTree, node,
                                       pCmd, ecWorkCase, false);
                }
            }
        };
        return QFileInfo(sFile).absoluteFilePath();
    }

    bool Logged(const QString& sEnd) const
    {
        for (const TLogLine& line : fWindow->MsgLog().Lines()) {
            if (line.sText.endsWith(sEnd))
                return true;
        }
        return false;
    }
    EProcessState State() const { return fWindow->Runner().ProcessState(); }
    int LoggedCount(const QString& sPart) const
    {
        int iCount = 0;
        for (const TLogLine& line : fWindow->MsgLog().Lines())
            iCount += line.sText.contains(sPart) ? 1 : 0;
        return iCount;
    }

    struct TFinal
    {
        bool bPassed;
        QStringList failed;
    };

    TTestDir fDir;
    std::map<QString, TFakeDefinition> fDefinitions;
    std::vector<TTestCmd*> fCommands;
    int fiLoadersAlive = 0;
    bool fbRealInterpreter = false;
    std::unique_ptr<TfrmMain> fWindow;
    QStringList fInformation;
    QStringList fErrors;
    QStringList fWarnings;
    QStringList fErrorBoxes;
    QString fsOpenAnswer;
    int fiOpenDialogs = 0;
    QString fsOperator = QStringLiteral("Op");
    std::vector<TFinal> fFinals;
};

QStringList MenuTexts(const QMenu* aMenu)
{
    QStringList texts;
    for (const QAction* action : aMenu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

TEST_F(formMainTest, ActionsCarryTheirCaptionsHintsAndShortcuts)
{
    TfrmMain& w = Create();
    struct TRow
    {
        QAction* action;
        const char* sCaption;
        const char* sShort;
        const char* sLong;
        QKeySequence shortcut;
    };
    const TRow rows[] = {
        {w.acFileOpen, "&Open...", "Open", "Open a file", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {w.acFileReload, "Reload", "Reload", "Reload current file", {}},
        {w.acFileExit, "E&xit", "Exit", "Exit application", {}},
        {w.acProcessReset, "Reset", "Reset", "Reset test process", {}},
        {w.acProcessStart, "Start", "Start", "Start test process from the beginning",
         QKeySequence(Qt::Key_F5)},
        {w.acProcessStep, "Step", "Step",
         "Single step at the selected test case. Ctrl+Left click on test function executes the function. "
         "Ctrl+Left click on test case executes whole case.",
         QKeySequence(Qt::Key_F6)},
        {w.acProcessPause, "Pause", "Pause", "Pause test process at next test case",
         QKeySequence(Qt::Key_F7)},
        {w.acProcessContinue, "Continue", "Continue", "Continue test process from the selected test case",
         QKeySequence(Qt::Key_F8)},
        {w.acProcessStop, "Stop", "Stop", "Stop test process", QKeySequence(Qt::Key_F9)},
        {w.acProcessBreak, "Set Break Point", "Break", "Toggle break point of the selected test case", {}},
        {w.acProcessDisableEnable,
         "Toggle disable/enable test case",
         "Disable/Enable",
         "Toggle disable/enable selected test function or whole test case (Shift+Left click)",
         {}},
        {w.acViewTreeViewExpant,
         "Expand Test Case List",
         "Expand",
         "Expand test case list to view all test items",
         {}},
        {w.acViewTreeViewExpandDefault,
         "Expand Default Test Case List",
         "Expand Default",
         "Show default expanded test case list",
         {}},
        {w.acViewTreeViewCollapse,
         "Collapse Test Case List",
         "Collapse",
         "Collapse test case list to view main test items",
         {}},
        {w.acViewLastErrorDlg,
         "Show Last Error Report",
         "Error Report",
         "Show last Error Report if available",
         {}},
        {w.acViewListAssignedKeys,
         "List Assigned Keyboard Keys",
         "List keyboard keys assigned to functions in protocol window",
         "List keyboard keys assigned to functions in protocol window",
         {}},
        {w.acViewKeyCodes,
         "Show Key Codes",
         "Show notified key codes in protocol window",
         "Show notified key codes in protocol window",
         {}},
        {w.acViewMsgTrace,
         "Show Trace Messages",
         "Show trace messages in protocol window",
         "Show trace messages in protocol window",
         {}},
        {w.acViewMsgDebug,
         "Show Debug Messages",
         "Show debug messages in protocol window",
         "Show debug messages in protocol window",
         {}},
        {w.acOptionsSkipErrors,
         "Skip Errors",
         "Skip errors: Function dummies for missing devices and invalid functions are ignored",
         "Skip errors: Function dummies for missing devices and invalid functions are ignored",
         {}},
        {w.acOptionsExtras, "Extras...", "Extras", "Open dialog for special settings", {}},
        {w.acHelpHomePage,
         "Open Home Page: Norbeck Software Design",
         "Home Page",
         "Opens home page in default internet browser",
         {}},
        {w.EditCopy1, "&Copy", "Copy", "Copies the selection and puts it on the Clipboard",
         QKeySequence(Qt::CTRL | Qt::Key_C)},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.sCaption);
        EXPECT_EQ(row.action->text(), QString::fromLatin1(row.sCaption));
        EXPECT_EQ(row.action->toolTip(), QString::fromLatin1(row.sShort));
        EXPECT_EQ(row.action->statusTip(), QString::fromLatin1(row.sLong));
        EXPECT_EQ(row.action->shortcut(), row.shortcut);
    }
    EXPECT_EQ(w.acOptionsSetOperatorName->text(), QStringLiteral("Set Operator Name..."));
    EXPECT_EQ(w.acHelpAbout->text(), QStringLiteral("&About..."));
    EXPECT_EQ(w.acSelectTree->text(), QStringLiteral("Select Tree"));
    EXPECT_EQ(w.acProcessDisableEnable->iconText(), QStringLiteral("Toggle"));
    EXPECT_EQ(w.acViewTreeViewExpandDefault->iconText(), QStringLiteral("Expand Default"));
    for (QAction* check : {w.acViewKeyCodes, w.acViewMsgTrace, w.acViewMsgDebug, w.acOptionsSkipErrors})
        EXPECT_TRUE(check->isCheckable()) << check->text().toStdString();
    EXPECT_FALSE(w.acViewMsgDebug->isVisible()) << "hidden unless +DebugOn";
    EXPECT_EQ(w.ActionList().size(), 26u);
}

TEST_F(formMainTest, MenusAndToolbarInTheirOrder)
{
    TfrmMain& w = Create();
    const QList<QAction*> menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    QStringList titles;
    for (QAction* menu : menus)
        titles.append(menu->text().remove(QLatin1Char('&')));
    EXPECT_EQ(titles, (QStringList{"File", "Process", "View", "Options", "Help"}));

    EXPECT_EQ(MenuTexts(w.mnuFile), (QStringList{"&Open...", "Reload", "-", "-", "E&xit"}));
    EXPECT_EQ(MenuTexts(w.mnuProcess),
              (QStringList{"Reset", "-", "Start", "-", "Step", "Pause", "Continue", "-", "Stop", "-",
                           "Set Break Point", "-", "Toggle disable/enable test case"}));
    EXPECT_EQ(MenuTexts(w.mnuView), (QStringList{"Expand Test Case List", "Expand Default Test Case List",
                                                 "Collapse Test Case List", "-", "Show Last Error Report",
                                                 "-", "-", "List Assigned Keyboard Keys", "Show Key Codes",
                                                 "Show Trace Messages", "Show Debug Messages"}));
    EXPECT_EQ(MenuTexts(w.mnuOptions),
              (QStringList{"Set Operator Name...", "-", "Skip Errors", "-", "Extras..."}));
    EXPECT_EQ(MenuTexts(w.mnuHelp),
              (QStringList{"Open Home Page: Norbeck Software Design", "-", "&About..."}));

    QStringList toolbar;
    for (QAction* action : w.ToolBar()->actions())
        toolbar.append(action->isSeparator() ? QStringLiteral("-") : action->iconText());
    EXPECT_EQ(toolbar, (QStringList{"Open",   "Reload", "-",      "Reset",           "-",
                                    "Start",  "-",      "Step",   "Pause",           "Continue",
                                    "-",      "Stop",   "-",      "Set Break Point", "-",
                                    "Toggle", "-",      "Expand", "Expand Default",  "Collapse"}));
}

TEST_F(formMainTest, CreationShowsNothingToRun)
{
    TfrmMain& w = Create();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("TZK"));
    EXPECT_EQ(w.ReadyPage(), QStringLiteral("about:blank")) << "no Ui folder beside the program";
    EXPECT_EQ(w.ErrorPage(), QStringLiteral("about:blank"));
    EXPECT_EQ(w.IndicatorStrip()->height(), 0);
    EXPECT_EQ(w.FileLabelPanel()->text(), QStringLiteral("  Test file label"));
    EXPECT_EQ(w.TestCaseHeader()->text(), QStringLiteral("  Test Case: No test case in process"));
    for (QAction* action : {w.acProcessStart, w.acProcessStep, w.acProcessPause, w.acProcessContinue,
                            w.acProcessStop, w.acProcessReset, w.acProcessBreak, w.acProcessDisableEnable})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(w.acFileOpen->isEnabled());
    EXPECT_TRUE(w.acFileReload->isEnabled());
}

TEST_F(formMainTest, UiPagesBesideTheProgram)
{
    fDir.WriteText(QStringLiteral("Ui/Ready.html"), QStringLiteral("<p>ready</p>"));
    fDir.WriteText(QStringLiteral("Ui/ScriptError.html"), QStringLiteral("<p>error</p>"));
    TfrmMain& w = Create();
    EXPECT_EQ(w.ReadyPage(), QDir(fDir.Path()).absoluteFilePath(QStringLiteral("Ui/Ready.html")));
    EXPECT_EQ(w.ErrorPage(), QDir(fDir.Path()).absoluteFilePath(QStringLiteral("Ui/ScriptError.html")));
    EXPECT_EQ(w.ScriptPage(), w.ReadyPage());
}

TEST_F(formMainTest, ReadyPageNamesTheDefinitionAndKeepsTheLastOutcomeUntilTheNextStart)
{
    fDir.WriteText(QStringLiteral("Ui/Ready.html"),
                   QStringLiteral("<html><head><style>.outcome{}</style></head>\n<body>\n<h1>TZK ready</h1>\n"
                                  "</body></html>\n"));
    const QString sFailing =
        Definition(QStringLiteral("board.tzd"), {{QStringLiteral("Supply"), {crDone, crFailed}}});
    const QString sPassing = Definition(QStringLiteral("pass.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    fDir.WriteText(QStringLiteral("manual.html"), QStringLiteral("<p>manual</p>"));
    const QString sWithManual =
        Definition(QStringLiteral("manual.tzd"), {{QStringLiteral("Supply"), {crFailed}}});
    fDefinitions[sWithManual].fBuild = [build = fDefinitions[sWithManual].fBuild,
                                        this](IInterpreterHost& aHost, TTestTree& aTree) {
        build(aHost, aTree);
        QString sFull;
        EXPECT_TRUE(fWindow->SetScriptDoc(QStringLiteral("TZD:manual.html"), sFull));
    };
    TfrmMain& w = Create();
    const TDocumentViewBase* view = w.DocumentView();
    QStringList pagesAtTheFinalDialog;
    w.Dialogs().fnFinalDialog = [&](bool, const QStringList&) {
        pagesAtTheFinalDialog.append(view->PageText());
        return false;
    };
    const auto run = [&] {
        const qsizetype iFinals = pagesAtTheFinalDialog.size();
        w.acProcessStart->trigger();
        return RunUntil(
            [&] { return pagesAtTheFinalDialog.size() > iFinals && State() == EProcessState::Ready; });
    };

    ASSERT_TRUE(w.LoadDefinitionFile(sFailing));
    EXPECT_EQ(view->Page(), w.ReadyPage());
    const QString sLoaded = view->PageText();
    EXPECT_TRUE(sLoaded.startsWith(QStringLiteral("<html><head><style>.outcome{}</style></head>\n<body>\n")))
        << "the page's own head stays: " << sLoaded.toStdString();
    EXPECT_FALSE(sLoaded.contains(QStringLiteral("TZK ready"))) << sLoaded.toStdString();
    EXPECT_TRUE(sLoaded.contains(QStringLiteral("<h1>Board A</h1>"))) << sLoaded.toStdString();
    EXPECT_TRUE(sLoaded.contains(QStringLiteral("<b>Start</b> (F5)"))) << sLoaded.toStdString();

    ASSERT_TRUE(run());
    ASSERT_EQ(pagesAtTheFinalDialog.size(), 1);
    EXPECT_TRUE(
        pagesAtTheFinalDialog[0].contains(QStringLiteral("<p class=\"outcome failed\">1x Failed</p>")))
        << "behind the final dialog: " << pagesAtTheFinalDialog[0].toStdString();
    EXPECT_EQ(view->PageText(), pagesAtTheFinalDialog[0]) << "the outcome stays after the dialog";

    w.acProcessStart->trigger();
    EXPECT_FALSE(view->PageText().contains(QStringLiteral("Failed"))) << "a start ends the last outcome";
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Ready; }));

    ASSERT_TRUE(w.LoadDefinitionFile(sPassing));
    EXPECT_FALSE(view->PageText().contains(QStringLiteral("class=\"outcome")))
        << "a load forgets the outcome";
    ASSERT_TRUE(run());
    EXPECT_TRUE(view->PageText().contains(QStringLiteral("<p class=\"outcome passed\">Passed</p>")))
        << view->PageText().toStdString();

    // The definition's own document stays in front of the ready page.
    ASSERT_TRUE(w.LoadDefinitionFile(sWithManual));
    ASSERT_TRUE(run());
    EXPECT_EQ(view->Page(), w.ScriptPage());
    EXPECT_EQ(view->PageText(), QString());
}

TEST_F(formMainTest, ANewStationsWindowUsesTheScreen)
{
    TfrmMain& w = Create();
    w.show();
    ASSERT_TRUE(RunUntil([&] { return w.Initialized(); }));
    const QRect available = w.screen()->availableGeometry();
    EXPECT_GE(w.width(), available.width() * 8 / 10);
    EXPECT_GE(w.height(), available.height() * 8 / 10);
    EXPECT_TRUE(available.contains(w.geometry())) << "the whole window is on the screen";
}

TEST_F(formMainTest, SuccessfulLoadMakesTheProcessReady)
{
    const QString sFile =
        Definition(QStringLiteral("defs/board.TZD"), {{QStringLiteral("Supply"), {crDone, crOk}}});
    fDir.WriteText(QStringLiteral("defs/manual.html"), QStringLiteral("<p>manual</p>"));
    fDefinitions[sFile].fBuild = [build = fDefinitions[sFile].fBuild, this](IInterpreterHost& aHost,
                                                                            TTestTree& aTree) {
        build(aHost, aTree);
        QString sFull;
        EXPECT_TRUE(fWindow->SetScriptDoc(QStringLiteral("TZD:manual.html"), sFull));
        EXPECT_EQ(sFull, QFileInfo(fDir.FilePath(QStringLiteral("defs/manual.html"))).absoluteFilePath());
        EXPECT_FALSE(fWindow->SetScriptDoc(QStringLiteral("TZD:missing.html"), sFull));
    };
    TfrmMain& w = Create();
    TMsg::Info(QStringLiteral("old line"));
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));

    EXPECT_EQ(fiLoadersAlive, 0) << "the interpreter is freed when the load ends";
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" TZK - ") + sFile);
    EXPECT_EQ(w.CurrentFileName(), sFile);
    EXPECT_EQ(TRegIO::Instance().LastFile(), sFile);
    EXPECT_FALSE(Logged(QStringLiteral("old line"))) << "the log is emptied first";
    EXPECT_TRUE(Logged(QStringLiteral("Info: Load test process \"") + sFile + QStringLiteral("\"")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process loaded successfully.")));
    EXPECT_EQ(w.StatusPanel(0)->text(), QStringLiteral("Loaded File: \"") + sFile + QStringLiteral("\""));
    EXPECT_EQ(w.FileLabelPanel()->text(), QStringLiteral("  Board A"));
    EXPECT_EQ(w.FileLabelPanel()->toolTip(), QStringLiteral("Test File Label: \"Board A\"; Version: 1.0"));
    EXPECT_EQ(w.Session().ErrorReport().FileInfo(), QStringLiteral("Board A"));
    EXPECT_EQ(w.Session().ErrorReport().FileVersion(), QStringLiteral("1.0"));
    EXPECT_EQ(w.Session().ErrorReport().FileName(), sFile);
    EXPECT_EQ(w.DocumentView()->Page(), w.ScriptPage()) << "the definition's default document is shown";
    EXPECT_TRUE(w.ScriptPage().endsWith(QStringLiteral("manual.html")));
    EXPECT_EQ(w.RecentFiles().Files(), QStringList{sFile});
    EXPECT_EQ(w.TreeView()->topLevelItemCount(), 1);
    EXPECT_TRUE(w.TreeView()->topLevelItem(0)->isExpanded()) << "default expansion";

    EXPECT_EQ(State(), EProcessState::Ready);
    EXPECT_TRUE(w.acProcessStart->isEnabled());
    EXPECT_TRUE(w.acProcessStep->isEnabled());
    EXPECT_TRUE(w.acProcessContinue->isEnabled());
    EXPECT_TRUE(w.acProcessReset->isEnabled());
    EXPECT_FALSE(w.acProcessPause->isEnabled());
    EXPECT_FALSE(w.acProcessStop->isEnabled());
    EXPECT_TRUE(w.acFileOpen->isEnabled());
}

TEST_F(formMainTest, LoadWithErrorsDependsOnSkipErrors)
{
    const QString sFile =
        Definition(QStringLiteral("bad.tzd"), {{QStringLiteral("Supply"), {crDone}}}, irError);
    TfrmMain& w = Create();

    ASSERT_FALSE(w.LoadDefinitionFile(sFile));
    EXPECT_EQ(fErrors, QStringList{QStringLiteral("Error(s) while loading definition file!")});
    EXPECT_EQ(w.Tree().Count(), 0);
    EXPECT_EQ(State(), EProcessState::NothingToRun);
    EXPECT_FALSE(w.acProcessStart->isEnabled());
    EXPECT_EQ(fWindow->Session().Devices().Count(), 0) << "the devices are released";
    EXPECT_EQ(w.DocumentView()->Page(), w.ErrorPage());
    EXPECT_TRUE(w.CurrentFileName().isEmpty());
    EXPECT_TRUE(w.RecentFiles().Files().isEmpty());

    fErrors.clear();
    w.acOptionsSkipErrors->setChecked(true);
    EXPECT_FALSE(w.LoadDefinitionFile(sFile)) << "only an error-free load counts as success";
    EXPECT_TRUE(fErrors.isEmpty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" TZK - bad.tzd with Errors"));
    EXPECT_EQ(w.CurrentFileName(), sFile);
    EXPECT_EQ(w.Tree().Count(), 2) << "the partly built tree stays";
    EXPECT_EQ(State(), EProcessState::Ready);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process loaded with Errors.")));
    EXPECT_EQ(w.RecentFiles().Files(), QStringList{sFile});

    // The tree can be run.
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(fFinals[0].bPassed);
}

TEST_F(formMainTest, AnExceptionFromAStepsSlotFailsTheStepInsteadOfLeavingItWaiting)
{
    TRegIO::Instance().SetEndOnFailure(false);
    const QString sFile = Definition(QStringLiteral("port.tzd"), {{QStringLiteral("Port"), {crDone}}});
    fDefinitions[sFile].fBuild = [this, build = fDefinitions[sFile].fBuild](IInterpreterHost& aHost,
                                                                            TTestTree& aTree) {
        build(aHost, aTree);
        TDevice* device = fWindow->Session().Devices().Device(QStringLiteral("Dev1"));
        auto cmd = std::make_unique<TTestAsyncCmd>(device);
        cmd->fOnTimer = [](TTestAsyncCmd&) { throw EError(QStringLiteral("device gone")); };
        TJob::CreateNewJob(QStringLiteral("read"), aTree, aTree.Node(0),
                           device->AddCommand(QStringLiteral("Read"), std::move(cmd)), ecWorkCase, false);
    };
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); })) << "the step concluded instead of waiting";
    EXPECT_FALSE(fFinals[0].bPassed);
    EXPECT_TRUE(Logged(QStringLiteral("device gone")));
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, TheWindowKnowsTheEscapeTags)
{
    Create();
    EXPECT_EQ(TEscTaggedString::Transform(QStringLiteral("\\STXa\\ETX\\r\\n")), QStringLiteral("\x02"
                                                                                               "a\x03\r\n"));
}

TEST_F(formMainTest, ReaderErrorLeavesAnEmptyTree)
{
    const QString sGood = Definition(QStringLiteral("good.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    const QString sBad = Definition(QStringLiteral("loop.tzd"), {});
    fDefinitions[sBad].bFailRead = true;
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sGood));

    EXPECT_FALSE(w.LoadDefinitionFile(sBad));
    ASSERT_EQ(fErrorBoxes.size(), 1);
    EXPECT_EQ(fErrorBoxes[0], QStringLiteral("To much include file recursions!\r\nID: 030214:20"));
    EXPECT_TRUE(Logged(QStringLiteral("> ID: 030214:20")));
    EXPECT_TRUE(Logged(QStringLiteral("Fatal: To much include file recursions!")));
    EXPECT_EQ(w.Tree().Count(), 0);
    EXPECT_FALSE(w.acProcessStart->isEnabled());
    EXPECT_EQ(fDefinitions[sBad].sLastFileWhileReading, sBad) << "\"TZD:\" refers to the file being read";
    EXPECT_EQ(fiLoadersAlive, 0);
    w.close();
    EXPECT_TRUE(TRegIO::Instance().LastFile().isEmpty()) << "a file that could not be read is not reopened";
}

TEST_F(formMainTest, MissingFileAsksAndCancellingChangesNothing)
{
    const QString sFile = Definition(QStringLiteral("a.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));

    EXPECT_FALSE(w.LoadDefinitionFile(fDir.FilePath(QStringLiteral("gone.tzd"))));
    EXPECT_EQ(fiOpenDialogs, 1);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Load test process \"\"")));
    EXPECT_EQ(w.CurrentFileName(), sFile) << "nothing else changes";
    EXPECT_EQ(w.Tree().Count(), 2);
    EXPECT_EQ(State(), EProcessState::Ready);

    // Open asks; the chosen file is loaded.
    const QString sOther = Definition(QStringLiteral("b.TZD"), {{QStringLiteral("Other"), {crDone}}});
    fsOpenAnswer = sOther;
    w.acFileOpen->trigger();
    EXPECT_EQ(fiOpenDialogs, 2);
    EXPECT_EQ(w.CurrentFileName(), sOther);
    EXPECT_EQ(w.RecentFiles().Files(), (QStringList{sOther, sFile}));

    // Reload takes the current file without asking.
    w.acFileReload->trigger();
    EXPECT_EQ(fiOpenDialogs, 2);
    EXPECT_EQ(w.CurrentFileName(), sOther);
}

TEST_F(formMainTest, DefineQueryIsAnsweredByTheDocumentOrCancelledByTheFileMenu)
{
    const QString sFile = Definition(QStringLiteral("q.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    QStringList answers;
    QString sPageDuringQuery;
    auto build = fDefinitions[sFile].fBuild;
    fDefinitions[sFile].fBuild = [&, build](IInterpreterHost& aHost, TTestTree& aTree) {
        QString sText = QStringLiteral("file:///defs/variant.html");
        aHost.DefineQuery(sText);
        answers.append(sText);
        if (sText != QStringLiteral("Cancelled"))
            build(aHost, aTree);
    };
    TfrmMain& w = Create();

    // The document's link gives the answer.
    QTimer::singleShot(50, &w, [&] {
        sPageDuringQuery = w.DocumentView()->Page();
        Q_EMIT w.DocumentView()->DefineValues(QStringLiteral("VARIANT=2"));
    });
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    EXPECT_EQ(answers, QStringList{QStringLiteral("VARIANT=2")});
    EXPECT_EQ(sPageDuringQuery, QStringLiteral("file:///defs/variant.html"));

    // Opening the File menu cancels the waiting query and so the load.
    fDefinitions[sFile].eOutcome = irCancelled;
    QTimer::singleShot(50, &w, [&] { Q_EMIT w.mnuFile->aboutToShow(); });
    EXPECT_FALSE(w.LoadDefinitionFile(sFile));
    EXPECT_EQ(answers.last(), QStringLiteral("Cancelled"));
    EXPECT_EQ(w.DocumentView()->Page(), w.ReadyPage());
    EXPECT_TRUE(Logged(QStringLiteral("Info: File loading cancelled: \"") + sFile + QStringLiteral("\"")));
    EXPECT_EQ(w.Tree().Count(), 0);
    EXPECT_EQ(State(), EProcessState::NothingToRun);
    EXPECT_FALSE(w.CancelDefineQuery()) << "no query waits any more";
}

TEST_F(formMainTest, OpenDuringADefineQueryLoadsAfterTheCancelledLoad)
{
    const QString sQuery = Definition(QStringLiteral("q.tzd"), {});
    const QString sOther = Definition(QStringLiteral("other.tzd"), {{QStringLiteral("Other"), {crDone}}});
    fDefinitions[sQuery].fBuild = [](IInterpreterHost& aHost, TTestTree&) {
        QString sText = QStringLiteral("about:blank");
        aHost.DefineQuery(sText);
    };
    fDefinitions[sQuery].eOutcome = irCancelled;
    TfrmMain& w = Create();
    fsOpenAnswer = sOther;
    QTimer::singleShot(50, &w, [&] { w.acFileOpen->trigger(); });
    EXPECT_FALSE(w.LoadDefinitionFile(sQuery));
    EXPECT_EQ(w.Tree().Count(), 0) << "the second load did not run inside the first";
    ASSERT_TRUE(RunUntil([&] { return w.CurrentFileName() == sOther; }));
    EXPECT_EQ(w.Tree().Count(), 2);
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, ProcessStatesFollowRunPauseStopAndBreak)
{
    const QString sFile =
        Definition(QStringLiteral("run.tzd"),
                   {{QStringLiteral("Supply"), {crDone, crUnknown}}, {QStringLiteral("End"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    TTestCmd* waiting = fCommands[1];

    // Run until the waiting command executes, then pause.
    w.acProcessStart->trigger();
    EXPECT_TRUE(w.acProcessStart->isChecked());
    EXPECT_FALSE(w.acProcessStart->isEnabled());
    EXPECT_TRUE(w.acProcessPause->isEnabled());
    EXPECT_FALSE(w.acFileOpen->isEnabled()) << "no load while a run is in progress";
    ASSERT_TRUE(RunUntil([&] { return waiting->fiExecutions == 1; }));
    EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("Operator: Op"));
    EXPECT_EQ(w.TestCaseHeader()->text(), QStringLiteral(" Test Case: 1. Supply"));

    w.acProcessPause->trigger();
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Paused; }));
    EXPECT_TRUE(w.acProcessPause->isChecked());
    EXPECT_FALSE(w.acProcessPause->isEnabled());
    EXPECT_TRUE(w.acProcessContinue->isEnabled());
    EXPECT_TRUE(w.acProcessStop->isEnabled());
    EXPECT_EQ(waiting->fiCancels, 1);
    EXPECT_EQ(w.TreeView()->SelectedNode(), w.Tree().Node(2)) << "the interrupted node is selected";

    // Stop from the pause cancels the paused node once more; the run ends with both listed.
    w.acProcessStop->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_FALSE(fFinals[0].bPassed);
    EXPECT_EQ(fFinals[0].failed, (QStringList{QStringLiteral("Paused: 1.2. Supply step 2"),
                                              QStringLiteral("Stopped: 1.2. Supply step 2")}));
    EXPECT_EQ(State(), EProcessState::Ready);
    EXPECT_FALSE(w.acProcessStop->isChecked());

    // A break point on the second case pauses before it.
    waiting->feImmediate = crDone;
    fFinals.clear();
    w.TreeView()->SelectNode(w.Tree().Node(3));
    w.acProcessBreak->trigger();
    EXPECT_TRUE(w.Tree().Node(3)->Job()->BreakPoint());
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Paused; }));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Pause at break point: \"2. End\"")));
    EXPECT_TRUE(w.acProcessStep->isEnabled());
    EXPECT_TRUE(w.acProcessContinue->isEnabled());
    EXPECT_FALSE(w.acProcessStart->isChecked());
    w.acProcessContinue->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(fFinals[0].bPassed);
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, DocumentLinkCallsATest)
{
    const QString sFile = Definition(QStringLiteral("run.tzd"), {{QStringLiteral("Supply"), {crDone}},
                                                                 {QStringLiteral("Volt"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    Q_EMIT w.DocumentView()->CallTestItem(QStringLiteral("volt"));
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(Logged(QStringLiteral("Info: 2. Volt")));
    EXPECT_FALSE(Logged(QStringLiteral("Info: 1. Supply"))) << "the run began at the called test";
}

TEST_F(formMainTest, AssignedKeysRunActionsBeforeTheirShortcuts)
{
    const QString sFile = Definition(QStringLiteral("keys.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    std::vector<bool> assigned;
    auto build = fDefinitions[sFile].fBuild;
    fDefinitions[sFile].fBuild = [&, build](IInterpreterHost& aHost, TTestTree& aTree) {
        build(aHost, aTree);
        assigned.push_back(aHost.AssignKey(0x41, QStringLiteral("Start")));
        assigned.push_back(aHost.AssignKey(0x74, QStringLiteral("Toggle disable/enable test case")));
        assigned.push_back(aHost.AssignKey(0x4F, QStringLiteral("Open")));
    };
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    EXPECT_EQ(assigned, (std::vector<bool>{true, true, false})) << "\"Open\" is not a caption";

    w.show();
    QApplication::setActiveWindow(&w);
    w.TreeView()->setFocus();
    ASSERT_TRUE(RunUntil([&] { return w.Initialized(); }));

    // F5 is assigned to the toggle: the assignment wins over Start's own shortcut.
    QTest::keyClick(w.TreeView(), Qt::Key_F5);
    EXPECT_EQ(fInformation, QStringList{QStringLiteral("Select a test step!")});
    EXPECT_EQ(State(), EProcessState::Ready);

    w.acViewKeyCodes->setChecked(true);
    QTest::keyClick(w.TreeView(), Qt::Key_A);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Keyboard key 0x41 pressed")));
    EXPECT_TRUE(w.acProcessStart->isChecked()) << "A runs Start through the assignment";
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));

    w.acViewListAssignedKeys->trigger();
    EXPECT_TRUE(Logged(QStringLiteral("Info: 2 assigned keys in \"Board A\":")));
    EXPECT_TRUE(Logged(QStringLiteral("Info: 1: Key 0x41 = Function \"Start\"")));

    // Every load forgets the assignments.
    fDefinitions[sFile].fBuild = build;
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    EXPECT_FALSE(w.HandleKey(Qt::Key_A, false));
}

TEST_F(formMainTest, WaitingCommandSeesKeysFirst)
{
    const QString sFile = Definition(QStringLiteral("k.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    ASSERT_TRUE(w.AssignKey(0x41, QStringLiteral("Start")));
    std::vector<int> offered;
    w.Runner().SetOnKeyContinue([&](int iKey) {
        offered.push_back(iKey);
        return iKey == Qt::Key_A;
    });
    EXPECT_TRUE(w.HandleKey(Qt::Key_A, false));
    EXPECT_EQ(State(), EProcessState::Ready) << "the command consumed the key";
    w.Runner().ClearOnKeyContinue();
    EXPECT_EQ(offered, std::vector<int>{Qt::Key_A});
}

TEST_F(formMainTest, SettingsAreSavedAtCloseAndRestoredAtTheNextStart)
{
    const QString sFile = Definition(QStringLiteral("s.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    const QString sOlder = Definition(QStringLiteral("older.tzd"), {{QStringLiteral("Old"), {crDone}}});
    {
        TfrmMain& w = Create();
        w.show();
        ASSERT_TRUE(RunUntil([&] { return w.Initialized(); }));
        ASSERT_TRUE(w.LoadDefinitionFile(sOlder));
        ASSERT_TRUE(w.LoadDefinitionFile(sFile));
        w.acViewMsgTrace->setChecked(true);
        w.acOptionsSkipErrors->setChecked(true);
        w.resize(800, 600);
        w.SplitterLeftRight()->setSizes({210, 590});
        w.SplitterUpperLower()->setSizes({400, 150});
        QCoreApplication::processEvents();
        ASSERT_TRUE(w.close());
        EXPECT_TRUE(fWarnings.isEmpty());
        fWindow.reset();
    }
    TRegIO::InstanceRelease();
    TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
    ASSERT_TRUE(TRegIO::Instance().CurrentUserLoad());
    EXPECT_EQ(TRegIO::Instance().LastFile(), sFile);
    EXPECT_EQ(TRegIO::Instance().SplitterPosH(), 210);
    EXPECT_TRUE(TRegIO::Instance().ViewMsgTrace());
    EXPECT_TRUE(TRegIO::Instance().OptionsSkipErrors());
    const TRect position = TRegIO::Instance().Position();
    EXPECT_EQ(position.Right - position.Left, 800);
    EXPECT_EQ(position.Bottom - position.Top, 600);
    const int iLogHeight = TRegIO::Instance().SplitterPosV();
    TRegIO::InstanceRelease();
    TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));

    TfrmMain& w = Create();
    w.show();
    ASSERT_TRUE(RunUntil([&] { return w.CurrentFileName() == sFile; })) << "the last file is loaded again";
    EXPECT_TRUE(w.acViewMsgTrace->isChecked());
    EXPECT_TRUE(w.MsgLog().ShowTrace());
    EXPECT_TRUE(w.acOptionsSkipErrors->isChecked());
    EXPECT_EQ(w.RecentFiles().Files(), (QStringList{sFile, sOlder}));
    EXPECT_EQ(w.size(), QSize(800, 600));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.SplitterLeftRight()->sizes().value(0), 210);
    EXPECT_EQ(w.SplitterUpperLower()->sizes().value(1), iLogHeight);
}

TEST_F(formMainTest, SplitterValuesBelowOneAreClamped)
{
    TRegIO& settings = TRegIO::Instance();
    settings.SetSplitterPosH(0);
    settings.SetSplitterPosV(-5);
    ASSERT_TRUE(settings.CurrentUserSave());
    TfrmMain& w = Create();
    w.FormActivate();
    EXPECT_EQ(settings.SplitterPosH(), 1);
    EXPECT_EQ(settings.SplitterPosV(), 1);
    EXPECT_GE(w.SplitterLeftRight()->sizes().value(0), 1);
}

TEST_F(formMainTest, SavingFailureShowsTheSettingsError)
{
    // A folder where the settings file should be cannot be written.
    QDir().mkpath(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
    TfrmMain& w = Create();
    w.close();
    EXPECT_EQ(fWarnings, QStringList{TRegIO::Instance().LastError()});
    EXPECT_FALSE(fWarnings.value(0).isEmpty());
}

TEST_F(formMainTest, CommandLineFileMissing)
{
    const QString sLast = Definition(QStringLiteral("last.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    TRegIO::Instance().SetLastFile(sLast);
    ASSERT_TRUE(TRegIO::Instance().CurrentUserSave());
    const QString sMissing = fDir.FilePath(QStringLiteral("nothere.tzd"));
    TfrmMain& w = Create({QStringLiteral("+File:") + sMissing});
    w.FormActivate();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Logged(QStringLiteral("Error: Application parameter file not found: ") + sMissing));
    EXPECT_EQ(w.DocumentView()->Page(), w.ReadyPage());
    EXPECT_TRUE(w.CurrentFileName().isEmpty()) << "the last file is not opened";
}

TEST_F(formMainTest, CommandLineFileWithAutoStartRuns)
{
    const QString sFile =
        Definition(QStringLiteral("auto.tzd"), {{QStringLiteral("Supply"), {crDone, crDone}}});
    TfrmMain& w = Create({QStringLiteral("+AutoStart"), QStringLiteral("+File:") + sFile});
    w.FormActivate();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(fFinals[0].bPassed);
    EXPECT_EQ(w.CurrentFileName(), sFile);
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, APlainArgumentNamesTheDefinitionFromTheCurrentFolder)
{
    const QString sFile =
        Definition(QStringLiteral("work/plain.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    const QString sOther = Definition(QStringLiteral("other.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    const QString sPrevious = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(fDir.FilePath(QStringLiteral("work"))));
    struct TCase
    {
        QStringList arguments;
        QString sLoaded;
    } cases[] = {
        {{QStringLiteral("plain.tzd")}, sFile},
        {{QStringLiteral("+AutoStart"), QStringLiteral("-style=fusion"), QStringLiteral("plain.tzd")}, sFile},
        {{QStringLiteral("plain.tzd"), QStringLiteral("+File:") + sOther}, sOther}, // +File: wins
    };
    for (const TCase& test : cases) {
        TfrmMain& w = Create(test.arguments);
        w.FormActivate();
        EXPECT_TRUE(RunUntil([&] { return w.CurrentFileName() == test.sLoaded; }))
            << test.arguments.join(QLatin1Char(' ')).toStdString();
        fWindow.reset();
    }
    QDir::setCurrent(sPrevious);
}

TEST_F(formMainTest, AutoStartAfterAFailedLoadReportsNothingToRun)
{
    const QString sFile =
        Definition(QStringLiteral("bad.tzd"), {{QStringLiteral("Supply"), {crDone}}}, irError);
    TfrmMain& w = Create({QStringLiteral("+File:") + sFile, QStringLiteral("+AutoStart")});
    w.FormActivate();
    ASSERT_TRUE(RunUntil([this] { return Logged(QStringLiteral("Error: No active test item found!")); }));
    EXPECT_TRUE(fFinals.empty());
}

TEST_F(formMainTest, DeferredLoadOfAMissingFileRaises)
{
    TfrmMain& w = Create();
    w.InitNewDefFile(fDir.FilePath(QStringLiteral("none.tzd")), false);
    ASSERT_TRUE(RunUntil([this] { return !fErrorBoxes.isEmpty(); }));
    EXPECT_EQ(fErrorBoxes[0], QStringLiteral("01040A:0"));
    EXPECT_TRUE(Logged(QStringLiteral("Fatal: 01040A:0")));
}

TEST_F(formMainTest, DebugSwitchShowsDebugMessagesAndNamesTheOperator)
{
    TfrmMain& w = Create({QStringLiteral("+DebugOn")});
    EXPECT_TRUE(w.acViewMsgDebug->isVisible());
    EXPECT_TRUE(w.acViewMsgDebug->isChecked());
    EXPECT_TRUE(w.MsgLog().ShowDebug());
    EXPECT_EQ(w.Runner().OperatorName(), QStringLiteral("De Bug"));
    EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("Operator: De Bug"));
    w.acViewMsgDebug->trigger();
    EXPECT_FALSE(w.MsgLog().ShowDebug());
}

TEST_F(formMainTest, OperatorNameAndLastErrorReportEntries)
{
    TfrmMain& w = Create();
    fsOperator = QStringLiteral("  Eve ");
    w.acOptionsSetOperatorName->trigger();
    EXPECT_EQ(w.Runner().OperatorName(), QStringLiteral("Eve"));
    EXPECT_EQ(w.StatusPanel(1)->text(), QStringLiteral("Operator: Eve"));
    w.resize(700, 500);
    w.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.StatusPanel(0)->width(), 700 - w.StatusPanel(1)->width() - 30)
        << "panel 1 takes the width the operator panel leaves";
    const int iShortWidth = w.StatusPanel(1)->width();
    fsOperator = QStringLiteral("Evelyn Long-Surname");
    w.acOptionsSetOperatorName->trigger();
    EXPECT_GT(w.StatusPanel(1)->width(), iShortWidth) << "the operator panel is as wide as its text";
    EXPECT_EQ(w.StatusPanel(0)->width(), 700 - w.StatusPanel(1)->width() - 30);

    Q_EMIT w.mnuView->aboutToShow();
    EXPECT_FALSE(w.acViewLastErrorDlg->isEnabled()) << "no report yet";
}

TEST_F(formMainTest, FailureShowsTheErrorReportDialogAndItsStopBoxEndsTheRun)
{
    TRegIO::Instance().SetEndOnFailure(false);
    fDir.WriteText(QStringLiteral("defs/label.rtf"), QStringLiteral("{\\rtf1 %FUNCTION}"));
    const QString sFile = fDir.WriteText(QStringLiteral("defs/report.tzd"), QStringLiteral("; fake\r\n"));
    fDefinitions[sFile].fBuild = [this](IInterpreterHost& aHost, TTestTree& aTree) {
        // "TZD:" already refers to the file being loaded.
        aHost.ErrorReport()->Init(QStringLiteral("ErrorReport; TZD:label.rtf; P1; Portrait; 0; 0; 0; 0"));
        TDevice* device = fWindow->Session().Devices().Append(QStringLiteral("TestDevice; Dev1"));
        TTreeNode* c1 =
            TJob::CreateNewJob(QStringLiteral("Supply"), aTree, nullptr, nullptr, ecNormalCase, true);
        auto failing = std::make_unique<TTestCmd>(device);
        TTestCmd* pFailing = failing.get();
        failing->feImmediate = crUnknown;
        failing->fOnExecute = [pFailing] {
            pFailing->Finish(crFailed, QStringLiteral("Value 3.4 above 3.3"));
        };
        TJob::CreateNewJob(QStringLiteral("Volt"), aTree, c1,
                           device->AddCommand(QStringLiteral("F"), std::move(failing)), ecWorkCase, false);
        auto passing = std::make_unique<TTestCmd>(device);
        fCommands.push_back(passing.get());
        TJob::CreateNewJob(QStringLiteral("Current"), aTree, c1,
                           device->AddCommand(QStringLiteral("P"), std::move(passing)), ecWorkCase, false);
    };
    TfrmMain& w = Create();
    w.Session().ErrorReport().SetPrinterNames([] { return QStringList{QStringLiteral("P1")}; });
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    ASSERT_TRUE(w.Session().ErrorReport().Initialized());

    QStringList shown;
    {
        TModalCloser closer([&](QWidget* aModal) {
            ASSERT_EQ(aModal, static_cast<QWidget*>(w.ErrorDlg()));
            shown.append(w.ErrorDlg()->TestCaseLabel()->text() + QStringLiteral("|") +
                         w.ErrorDlg()->ErrorTextLabel()->text() + QStringLiteral("|") +
                         w.ErrorDlg()->OperatorBox()->text());
            w.ErrorDlg()->StopBox()->setChecked(true);
            w.ErrorDlg()->CloseButton()->click();
        });
        w.acProcessStart->trigger();
        ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    }
    EXPECT_EQ(shown, QStringList{QStringLiteral(" 1.1. Volt| Value 3.4 above 3.3|Op")});
    EXPECT_EQ(fCommands[0]->fiExecutions, 0) << "the ticked stop box ends the run after the failed node";
    EXPECT_EQ(fFinals[0].failed, QStringList{QStringLiteral("Error: 1.1. Volt")});

    // The last report can be shown again from the View menu.
    Q_EMIT w.mnuView->aboutToShow();
    ASSERT_TRUE(w.acViewLastErrorDlg->isEnabled());
    {
        TModalCloser closer;
        w.acViewLastErrorDlg->trigger();
        EXPECT_EQ(closer.Closed(), 1);
    }
    EXPECT_EQ(w.ErrorDlg()->TestCaseLabel()->text(), QStringLiteral(" 1.1. Volt"));
}

TEST_F(formMainTest, ExtrasReapplyTheViewSettingsAndTheErrorReportSwitch)
{
    TfrmMain& w = Create();
    w.FormActivate();
    EXPECT_TRUE(w.Session().ErrorReport().Active());
    EXPECT_EQ(w.ToolBar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
    w.show();
    // A tool tip, once shown, fades out slowly: each look uses another button.
    const auto tipShown = [&](QAction* aAction) {
        auto* button = qobject_cast<QToolButton*>(w.ToolBar()->widgetForAction(aAction));
        EXPECT_NE(button, nullptr);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(button, &help);
        return QToolTip::isVisible() && QToolTip::text() == aAction->toolTip();
    };
    EXPECT_TRUE(tipShown(w.acFileOpen));
    w.Dialogs().fnExtras = [] {
        TRegIO::Instance().SetShowToolbarTips(false);
        TRegIO::Instance().SetShowErrorReportDlg(false);
        TRegIO::Instance().SetShowToolbarCaption(true);
        TRegIO::Instance().SetShowTreeButtonAndLines(true);
        return true;
    };
    w.acOptionsExtras->trigger();
    EXPECT_FALSE(w.Session().ErrorReport().Active());
    EXPECT_EQ(w.ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_TRUE(w.TreeView()->rootIsDecorated());
    EXPECT_FALSE(tipShown(w.acFileReload)) << "tool tips switched off";
}

TEST_F(formMainTest, RunsGoToTheResultDatabaseTheSettingsName)
{
    const QString sFile =
        Definition(QStringLiteral("r.tzd"), {{QStringLiteral("Supply"), {crDone, crFailed}}});
    // Without the settings' group there is no database, and nothing is spooled.
    {
        TfrmMain& w = Create();
        w.FormActivate();
        EXPECT_EQ(w.ResultDatabase(), nullptr);
        fWindow.reset();
        TRegIO::InstanceRelease();
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
    }
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("ResultDatabase/Connection"),
                          QStringLiteral("host=") + fDir.FilePath(QStringLiteral("none")) +
                              QStringLiteral(" port=1"));
        settings.setValue(QStringLiteral("ResultDatabase/StationName"), QStringLiteral("Line 3"));
    }
    TfrmMain& w = Create();
    w.FormActivate();
    ASSERT_NE(w.ResultDatabase(), nullptr);
    EXPECT_EQ(w.ResultDatabase()->Settings().sStationName, QStringLiteral("Line 3"));
    EXPECT_EQ(w.ResultDatabase()->Settings().sSpoolFolder,
              fDir.FilePath(QStringLiteral("settings/TZK2-results-spool")));
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    // The run is in the spool; the database out of reach does not hold the window up.
    EXPECT_EQ(w.ResultDatabase()->QueuedRuns(), 1);
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, TodaysReportOfTheStationOpensInTheDocumentView)
{
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("ResultDatabase/Connection"),
                          QStringLiteral("host=") + fDir.FilePath(QStringLiteral("none")) +
                              QStringLiteral(" port=1"));
        settings.setValue(QStringLiteral("ResultDatabase/StationName"), QStringLiteral("Line <3>"));
    }
    TfrmMain& w = Create();
    w.FormActivate();
    ASSERT_NE(w.ResultDatabase(), nullptr);
    const QString sFile = fDir.FilePath(QStringLiteral("settings/TZK2-report-today.html"));
    w.ShowTodaysReport();
    ASSERT_TRUE(RunUntil([&] { return w.DocumentView()->Page() == sFile; }, 20000));
    // The database is out of reach: the page says so, for this station and today.
    QFile page(sFile);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString sPage = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(sPage.contains(QStringLiteral("No report: cannot reach the result database: ")))
        << sPage.toStdString();
    EXPECT_TRUE(sPage.contains(QStringLiteral("station Line &lt;3&gt;")));
    EXPECT_TRUE(sPage.contains(QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(" 00:00")));
    EXPECT_EQ(LoggedCount(QStringLiteral("Warning: Report: cannot reach the result database: ")), 1);
}

TEST_F(formMainTest, ShiftAndCtrlClicksInTheTree)
{
    const QString sFile = Definition(QStringLiteral("c.tzd"), {{QStringLiteral("Supply"), {crDone, crDone}},
                                                               {QStringLiteral("Volt"), {crDone}},
                                                               {QStringLiteral("End"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.resize(900, 700);
    w.show();
    TTestTreeView* tree = w.TreeView();
    tree->expandAll();
    QCoreApplication::processEvents();

    // Shift+click disables the whole case.
    TTreeNode* supply = w.Tree().Node(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      tree->visualItemRect(tree->Item(supply)).center());
    EXPECT_FALSE(supply->Job()->Enabled());
    EXPECT_FALSE(w.Tree().Node(1)->Job()->Enabled());
    EXPECT_EQ(supply->ImageIndex(), StateImageIndex(EImage::Disabled));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      tree->visualItemRect(tree->Item(supply)).center());
    EXPECT_TRUE(supply->Job()->Enabled());

    // Ctrl+click runs the case and pauses at the first node after it.
    TTreeNode* volt = w.Tree().Node(3);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tree->visualItemRect(tree->Item(volt)).center());
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Paused; }));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Pause after test case end on test: \"3. End\"")));
    EXPECT_EQ(tree->SelectedNode(), w.Tree().Node(5));

    // A click in the tree leaves the paused process.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree->visualItemRect(tree->Item(supply)).center());
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, CopyTakesTheSelectedLogLinesWhenTheLogHasTheFocus)
{
    TfrmMain& w = Create();
    w.show();
    QApplication::setActiveWindow(&w);
    TMsg::Warning(QStringLiteral("first"));
    TMsg::Error(QStringLiteral("second"));
    w.LogView()->setFocus();
    ASSERT_TRUE(RunUntil([&] { return w.LogView()->hasFocus(); }));
    w.LogView()->selectAll();
    QApplication::clipboard()->clear();
    w.EditCopy1->trigger();
    const QStringList lines = QApplication::clipboard()->text().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("Warning: first")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("Error: second")));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(formMainTest, OpenDialogOffersDefinitionsWhateverTheCaseOfTheirExtension)
{
    fDir.WriteText(QStringLiteral("open/upper.TZD"), QStringLiteral("x"));
    fDir.WriteText(QStringLiteral("open/lower.tzd"), QStringLiteral("x"));
    fDir.WriteText(QStringLiteral("open/other.txt"), QStringLiteral("x"));
    const QString sFolder = fDir.FilePath(QStringLiteral("open"));
    TfrmMainSetup setup;
    setup.pTypes = &TestDeviceTypes();
    setup.sProgramDir = fDir.Path();
    setup.fLoaderFactory = [this](IInterpreterHost& aHost, TDeviceContext&) {
        return std::make_unique<TFakeLoader>(aHost, fDefinitions, fiLoadersAlive);
    };
    fWindow = std::make_unique<TfrmMain>(setup);
    QStringList visible;
    QString sTitle;
    {
        TModalCloser closer([&](QWidget* aModal) {
            auto* dialog = qobject_cast<QFileDialog*>(aModal);
            ASSERT_NE(dialog, nullptr);
            sTitle = dialog->windowTitle();
            dialog->setDirectory(sFolder);
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            ASSERT_NE(list, nullptr);
            RunUntil([&] { return list->model()->rowCount(list->rootIndex()) >= 2; }, 3000);
            for (int i = 0; i < list->model()->rowCount(list->rootIndex()); ++i)
                visible.append(list->model()->index(i, 0, list->rootIndex()).data().toString());
            dialog->reject();
        });
        EXPECT_TRUE(fWindow->Dialogs().fnOpenFile().isEmpty());
    }
    visible.sort();
    EXPECT_EQ(sTitle, QStringLiteral("Open test file"));
    EXPECT_EQ(visible, (QStringList{QStringLiteral("lower.tzd"), QStringLiteral("upper.TZD")}));
}

TEST_F(formMainTest, TreeClicksWhileAFinalCaseRunsAfterAStopChangeNothing)
{
    const QString sFile = Definition(
        QStringLiteral("final.tzd"),
        {{QStringLiteral("Supply"), {crUnknown, crDone}}, {QStringLiteral("Off"), {crUnknown, crDone}}},
        irSuccess, 1);
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.resize(900, 700);
    w.show();
    TTestTreeView* tree = w.TreeView();
    QCoreApplication::processEvents();
    TTestCmd* first = fCommands[0];
    TTestCmd* finalStep = fCommands[2];

    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return first->fiExecutions == 1; }));
    w.acProcessStop->trigger();
    ASSERT_TRUE(RunUntil([&] { return finalStep->fiExecutions == 1; })) << "the stop skips to the final case";
    ASSERT_EQ(w.Runner().CurrentNode(), w.Tree().Node(4));
    const EProcessState eState = State();

    // A plain click would forget the running node and offer Start; a Ctrl+click would begin a
    // second walk beside the running one.
    const QPoint at = tree->visualItemRect(tree->Item(w.Tree().Node(0))).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    EXPECT_EQ(State(), eState);
    EXPECT_EQ(w.Runner().CurrentNode(), w.Tree().Node(4));
    EXPECT_FALSE(w.acProcessStart->isEnabled());
    EXPECT_FALSE(w.acFileOpen->isEnabled());
    EXPECT_TRUE(Logged(QStringLiteral("Warning: Call ignored - Test process in progress!")));

    finalStep->Finish(crDone);
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_EQ(fCommands[3]->fiExecutions, 1) << "the final case runs to its end";
    EXPECT_EQ(first->fiExecutions, 1) << "no second walk began";
    EXPECT_EQ(fFinals[0].failed, QStringList{QStringLiteral("Stopped: 1.1. Supply step 1")});
    EXPECT_EQ(State(), EProcessState::Ready);
}

TEST_F(formMainTest, KeysFromTheWindowSystemAreHandledOnce)
{
    const QString sFile = Definition(QStringLiteral("keys.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    auto build = fDefinitions[sFile].fBuild;
    fDefinitions[sFile].fBuild = [build](IInterpreterHost& aHost, TTestTree& aTree) {
        build(aHost, aTree);
        // A keypad key: Alt followed by the digits 1 and 2.
        aHost.AssignKey(0x123132, QStringLiteral("Start"));
    };
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.show();
    QApplication::setActiveWindow(&w);
    w.TreeView()->setFocus();
    ASSERT_TRUE(
        RunUntil([&] { return w.Initialized() && QGuiApplication::focusWindow() == w.windowHandle(); }));
    w.acViewKeyCodes->setChecked(true);

    const QString sKeyLine = QStringLiteral("Keyboard key 0x");
    for (const Qt::Key eKey : {Qt::Key_F2, Qt::Key_A, Qt::Key_1, Qt::Key_Return}) {
        const int iBefore = LoggedCount(sKeyLine);
        QTest::keyClick(w.windowHandle(), eKey);
        EXPECT_EQ(LoggedCount(sKeyLine), iBefore + 1) << "key 0x" << std::hex << int(eKey);
    }

    // Typed at once, the three keys form the assigned sequence.
    QTest::keyClick(w.windowHandle(), Qt::Key_Alt);
    QTest::keyClick(w.windowHandle(), Qt::Key_1);
    QTest::keyClick(w.windowHandle(), Qt::Key_2);
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); })) << "Alt, 1, 2 started the process";
}

TEST_F(formMainTest, ALoadClearsWhatThePreviousDefinitionShowed)
{
    const QString sGood = Definition(QStringLiteral("good.tzd"), {{QStringLiteral("Supply"), {crDone}}});
    const QString sOther = Definition(QStringLiteral("other.tzd"), {{QStringLiteral("Volt"), {crDone}}});
    const QString sErrors =
        Definition(QStringLiteral("errors.tzd"), {{QStringLiteral("Volt"), {crDone}}}, irError);
    const QString sCancelled =
        Definition(QStringLiteral("cancel.tzd"), {{QStringLiteral("Volt"), {crDone}}}, irCancelled);
    const QString sUnreadable = Definition(QStringLiteral("loop.tzd"), {{QStringLiteral("Volt"), {crDone}}});
    fDefinitions[sUnreadable].bFailRead = true;
    const QString sNoCase = QStringLiteral("  Test Case: No test case in process");
    TfrmMain& w = Create();
    const auto runGood = [&] {
        ASSERT_TRUE(w.LoadDefinitionFile(sGood));
        fFinals.clear();
        w.acProcessStart->trigger();
        ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
        ASSERT_EQ(w.TestCaseHeader()->text(), QStringLiteral(" Test Case: 1. Supply"));
    };

    runGood();
    ASSERT_TRUE(w.LoadDefinitionFile(sOther));
    EXPECT_EQ(w.TestCaseHeader()->text(), sNoCase) << "the header kept the previous file's case";
    EXPECT_EQ(w.FileLabelPanel()->text(), QStringLiteral("  Board A"));

    // A failed load (whichever way) leaves nothing of the failed definition either.
    for (const QString& sFailing : {sErrors, sCancelled, sUnreadable}) {
        runGood();
        EXPECT_FALSE(w.LoadDefinitionFile(sFailing));
        const std::string sWhich = QFileInfo(sFailing).fileName().toStdString();
        EXPECT_EQ(w.TestCaseHeader()->text(), sNoCase) << sWhich;
        EXPECT_EQ(w.StatusPanel(0)->text(), QString()) << sWhich << ": not the last step read";
        EXPECT_EQ(w.FileLabelPanel()->text(), QString()) << sWhich;
        EXPECT_EQ(w.FileLabelPanel()->toolTip(), QString()) << sWhich;
        EXPECT_EQ(w.Session().ErrorReport().FileInfo(), QString()) << sWhich;
        EXPECT_EQ(w.FinalDlg()->windowTitle(), QString()) << sWhich;
    }
}

// The status bar shows each step as the load creates it; a load that fails has emptied it by the
// time it says so in a box, and afterwards.
TEST_F(formMainTest, AFailedLoadOfARealDefinitionLeavesNoStepTextInTheStatusBar)
{
    fbRealInterpreter = true;
    sys::RegisterDevices(TestDeviceTypes());
    const QString sGood =
        fDir.WriteText(QStringLiteral("good.tzd"), QStringLiteral(R"(Set(FileInfo; "Good"; "1.0")
Device.Create(SystemControl; Sys)
Test.Case("Tone")
{
    Sys.Delay("Let it settle"; 10)
}
)"));
    const struct
    {
        const char* sName;
        QString sText;
    } failing[] = {
        {"unknown function",
         QStringLiteral("Device.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
                        "    Sys.Delay(\"Let it settle\"; 10)\n    Sys.NoSuch(\"x\")\n}\n")},
        {"unknown device", QStringLiteral("Device.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
                                          "    Sys.Delay(\"Let it settle\"; 10)\n    Dev.Read(\"x\")\n}\n")},
        {"missing include", QStringLiteral("#include \"nothere.tzd\"\n")},
    };
    TfrmMain& w = Create();
    QStringList statusAtTheBox;
    w.Dialogs().fnError = [&](const QString&) { statusAtTheBox.append(w.StatusPanel(0)->text()); };
    TApplication::Instance()->SetErrorBox(
        [&](const QString&) { statusAtTheBox.append(w.StatusPanel(0)->text()); });
    for (const auto& test : failing) {
        ASSERT_TRUE(w.LoadDefinitionFile(sGood));
        fFinals.clear();
        w.acProcessStart->trigger();
        ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
        statusAtTheBox.clear();
        EXPECT_FALSE(w.LoadDefinitionFile(fDir.WriteText(QStringLiteral("bad.tzd"), test.sText)))
            << test.sName;
        QCoreApplication::processEvents();
        EXPECT_EQ(statusAtTheBox, QStringList{QString()})
            << test.sName << ": one box, with an empty status bar";
        EXPECT_EQ(w.StatusPanel(0)->text(), QString()) << test.sName;
    }
}

TEST_F(formMainTest, BreakPointsTellWhichKeysContinueOrStep)
{
    const QString sFile =
        Definition(QStringLiteral("brk.tzd"),
                   {{QStringLiteral("Supply"), {crBreak, crDone}}, {QStringLiteral("End"), {crDone}}});
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    const QString sHint = w.StatusPanel(0)->text();
    const QString sPaused = QStringLiteral("Paused at break point: F8 continues, F6 steps");

    // A Break command pauses after itself; the operator selects where to go on.
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Paused; }));
    EXPECT_EQ(w.StatusPanel(0)->text(), sPaused);
    w.TreeView()->SelectNode(w.Tree().Node(2));
    w.acProcessContinue->trigger();
    EXPECT_EQ(w.StatusPanel(0)->text(), sHint) << "the text goes when the process goes on";
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));

    // A break point on a node pauses before it.
    fCommands[0]->feImmediate = crDone;
    fFinals.clear();
    w.Tree().Node(3)->Job()->SetBreakPoint(true);
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return State() == EProcessState::Paused; }));
    EXPECT_EQ(w.StatusPanel(0)->text(), sPaused);
    w.acProcessStep->trigger();
    ASSERT_TRUE(RunUntil(
        [&] { return State() == EProcessState::Paused && w.Runner().CurrentNode() == w.Tree().Node(4); }));
    EXPECT_EQ(w.StatusPanel(0)->text(), sHint) << "a step pause is no break point";
}

TEST_F(formMainTest, WaitingStepShowsItsLabelAndSkippedLinesAreNamedAtTheEnd)
{
    fbRealInterpreter = true;
    sys::RegisterDevices(TestDeviceTypes());
    const QString sFile =
        fDir.WriteText(QStringLiteral("skip.tzd"), QStringLiteral(R"(Set(FileInfo; "Skipping"; "1.0")
Device.Create(SystemControl; Sys)
Test.Case("Fixture")
{
    Sys.Pause("Press Enter when the board is in place")
    Meter.Read("Undeclared meter")
    Sys.NoSuchCommand("Unknown command")
}
)"));
    TfrmMain& w = Create();
    w.acOptionsSkipErrors->setChecked(true);
    EXPECT_FALSE(w.LoadDefinitionFile(sFile));
    ASSERT_EQ(State(), EProcessState::Ready) << "loaded with errors";
    const QString sHint = w.StatusPanel(0)->text();

    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return w.Runner().HasKeyHook(); }));
    EXPECT_EQ(w.StatusPanel(0)->text(), QStringLiteral("1.1. Press Enter when the board is in place"));
    EXPECT_TRUE(w.HandleKey(Qt::Key_Return, false));
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(fFinals[0].bPassed);
    EXPECT_EQ(w.StatusPanel(0)->text(), sHint);
    // One line with an error and one function dummy.
    EXPECT_TRUE(
        Logged(QStringLiteral("Info: Test process successfully finished with 2 lines skipped at load")));

    // A clean load runs without the remark.
    const QString sClean =
        fDir.WriteText(QStringLiteral("clean.tzd"), QStringLiteral(R"(Device.Create(SystemControl; Sys)
Test.Case("Short")
{
    Sys.Delay("Settle"; 1)
}
)"));
    ASSERT_TRUE(w.LoadDefinitionFile(sClean));
    fFinals.clear();
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process successfully finished")));
    EXPECT_EQ(LoggedCount(QStringLiteral("skipped at load")), 0);
}

// OpenTZD in a running definition: the window loads the named definition once the step's event is
// over, and with "AutoStart" runs it; the rest of the first definition never runs.
TEST_F(formMainTest, OpenTzdLoadsAndStartsTheNextDefinition)
{
    fbRealInterpreter = true;
    sys::RegisterDevices(TestDeviceTypes());
    fDir.WriteText(QStringLiteral("second.tzd"), QStringLiteral(R"(Set(Integer; Passes)
Device.Create(SystemControl; Sys)
Test.Case("Second definition")
{
    Sys.Evaluate("Fresh variables"; %Passes < 1)
}
)"));
    const QString sFirst = fDir.WriteText(QStringLiteral("first.tzd"), QStringLiteral(R"(Set(Integer; Passes)
Device.Create(SystemControl; Sys)
Test.Case("First definition")
{
    Sys.Calculate("Count"; 1; Passes)
    Sys.OpenTZD("Hand over"; "TZD:second.tzd"; AutoStart)
    Sys.Evaluate("Never reached"; 1 > 2)
}
)"));
    TfrmMain& w = Create();
    ASSERT_TRUE(w.LoadDefinitionFile(sFirst));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([this] { return !fFinals.empty(); }));
    EXPECT_EQ(w.CurrentFileName(), QFileInfo(fDir.FilePath(QStringLiteral("second.tzd"))).absoluteFilePath());
    ASSERT_EQ(fFinals.size(), 1U) << "only the second definition's run ends with the final dialog";
    EXPECT_TRUE(fFinals[0].bPassed);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Test process successfully finished")));
    EXPECT_EQ(LoggedCount(QStringLiteral("Never reached")), 0);
    EXPECT_EQ(State(), EProcessState::Ready);
}
