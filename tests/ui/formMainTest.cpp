#include "UiTestSupport.h"

#include "execution/TestDevices.h"

#include "ui/Application.h"
#include "ui/DocumentViewBase.h"
#include "ui/KeypadKeyControl.h"
#include "ui/RecentMenuFileList.h"
#include "ui/TestTreeView.h"
#include "ui/formMain.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"

#include "TestEnvironment.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <map>

namespace {

// One definition as the fake interpreter builds it.
struct TFakeDefinition
{
    std::function<void(IDefinitionHost& aHost, TTestTree& aTree)> fBuild;
    TLoadOutcome eOutcome = TLoadOutcome::Success;
    bool bFailRead = false;
};

class TFakeLoader : public IDefinitionLoader
{
public:
    TFakeLoader(IDefinitionHost& aHost, std::map<QString, TFakeDefinition>& aDefinitions, int& iAlive)
        : fHost(aHost), fDefinitions(aDefinitions), fiAlive(iAlive)
    {
        ++fiAlive;
    }
    ~TFakeLoader() override { --fiAlive; }

    void FileLoad(const QString& sFileName) override
    {
        fsFile = sFileName;
        if (fDefinitions[fsFile].bFailRead)
            throw EMsg(QStringLiteral("To much include file recursions!"), TMsgId(0x030214), 20);
    }
    TLoadOutcome LoadDefinition(TTestTree& aTree) override
    {
        const TFakeDefinition& definition = fDefinitions[fsFile];
        if (definition.fBuild)
            definition.fBuild(fHost, aTree);
        return definition.eOutcome;
    }

private:
    IDefinitionHost& fHost;
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
        setup.slArguments = slArguments;
        setup.sProgramDir = fDir.Path();
        setup.fLoaderFactory = [this](IDefinitionHost& aHost) {
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
    QString Definition(const QString& sName, std::vector<std::pair<QString, std::vector<ECmdResult>>> aCases,
                       TLoadOutcome eOutcome = TLoadOutcome::Success)
    {
        const QString sFile = fDir.WriteText(sName, QStringLiteral("; fake\r\n"));
        TFakeDefinition& definition = fDefinitions[sFile];
        definition.eOutcome = eOutcome;
        definition.fBuild = [this, aCases](IDefinitionHost& aHost, TTestTree& aTree) {
            aHost.SetFileLabel(QStringLiteral("Board A"), QStringLiteral("1.0"));
            TDevice* device = TDeviceList::Instance().Append(QStringLiteral("TestDevice; Dev1"));
            for (const auto& [sCase, results] : aCases) {
                TTreeNode* node = TJob::CreateNewJob(sCase, aTree, nullptr, nullptr, ecNormalCase, true);
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
    int State() const { return fWindow->Runner().ProcessState(); }

    struct TFinal
    {
        bool bPassed;
        QStringList failed;
    };

    TTestDir fDir;
    std::map<QString, TFakeDefinition> fDefinitions;
    std::vector<TTestCmd*> fCommands;
    int fiLoadersAlive = 0;
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
