#include "TestContext.h"
#include "TestEnvironment.h"
#include "UiTestSupport.h"

#include "ui/Application.h"
#include "ui/MessageLogView.h"
#include "ui/SocketHost.h"
#include "ui/SocketTile.h"
#include "ui/TestTreeView.h"
#include "ui/formMain.h"

#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/Job.h"
#include "language/DefinitionLoader.h"
#include "language/Station.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A station window of four sockets running real definitions of System Control steps.
class StationWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sys::RegisterDevices(TestDeviceTypes());
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
        TApplication::Instance()->SetErrorBox([this](const QString& sText) { fErrorBoxes.append(sText); });
    }
    void TearDown() override
    {
        fWindow.reset();
        TApplication::Instance()->SetErrorBox(nullptr);
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TfrmMain& Create(int iSockets)
    {
        TfrmMainSetup setup;
        setup.pTypes = &TestDeviceTypes();
        setup.sProgramDir = fDir.Path();
        setup.iSockets = iSockets;
        setup.fLoaderFactory = [](IInterpreterHost& aHost, TDeviceContext& aContext) {
            return CreateInterpreterLoader(aHost, aContext);
        };
        fWindow = std::make_unique<TfrmMain>(setup);
        TfrmMainDialogs& dialogs = fWindow->Dialogs();
        dialogs.fnInformation = [this](const QString& sText) { fInformation.append(sText); };
        dialogs.fnError = [this](const QString& sText) { fErrors.append(sText); };
        dialogs.fnWarning = [](const QString&) {};
        dialogs.fnOpenFile = [] { return QString(); };
        dialogs.fnOperatorInput = [this](const QString&) {
            ++fiOperatorQuestions;
            return std::optional<QString>(QStringLiteral("Anna"));
        };
        dialogs.fnFinalDialog = [this](bool, const QStringList&) {
            ++fiFinalDialogs;
            return false;
        };
        dialogs.fnExtras = [] { return false; };
        dialogs.fnAbout = [] {};
        if (TStation* station = fWindow->Station())
            for (int i = 1; i <= station->Count(); ++i)
                station->Session(i).ErrorReport().SetPrinterNames(
                    [] { return QStringList{QStringLiteral("Labels")}; });
        return *fWindow;
    }

    // Four sockets: each names its unit "SN-k" and soaks; socket 2's unit fails its supply check;
    // socket 1 soaks iLongMs in steps of 100 ms, the others iShortMs.
    QString Definition(int iLongMs, int iShortMs)
    {
        QString sLong;
        for (int i = 0; i < iLongMs / 100; ++i)
            sLong += QStringLiteral("    Sys.Delay(\"Soak %1\"; 100)\n").arg(i + 1);
        fDir.WriteText(QStringLiteral("report.rtf"), QStringLiteral("{\\rtf1 %FUNCTION}"));
        const QString sText = QStringLiteral(R"(Set(FileInfo; "Four sockets"; "1.0")
Set(ErrorReport; "TZD:report.rtf"; "Labels"; Portrait; 10; 10; 10; 10)
Set(String; Serial)
Device.Create(SystemControl; Sys)
Test.Case("Identify")
{
    Sys.AssignVariable("Read the serial number"; "SN-%_Socket"; Serial)
}
Test.Case("Soak")
{
#if __Socket = 1
%1#else
    Sys.Delay("Soak"; %2)
#endif
    Sys.Evaluate("Supply of socket %_Socket"; %_Socket <> 2)
}
)")
                                  .arg(sLong)
                                  .arg(iShortMs);
        return fDir.WriteText(QStringLiteral("four.tzd"), sText);
    }

    TSocketTile& Tile(int iSocket) const { return *fWindow->SocketStrip()->Tile(iSocket); }
    QString State(int iSocket) const { return Tile(iSocket).StateText(); }
    bool Ended(int iSocket) const
    {
        const ESocketState eState = Tile(iSocket).State();
        return eState == ESocketState::Passed || eState == ESocketState::Failed ||
               eState == ESocketState::Stopped;
    }
    // The log lines the view shows.
    QStringList ShownLines() const
    {
        QStringList lines;
        const TMsgLog& log = fWindow->MsgLog();
        const QAbstractItemModel* pModel = fWindow->LogView()->model();
        for (int i = 0; i < pModel->rowCount(); ++i) {
            lines.append(pModel->index(i, 0).data(Qt::DisplayRole).toString());
            EXPECT_EQ(lines.last(), log.Lines()[std::size_t(fWindow->LogView()->ShownLine(i))].sText);
        }
        return lines;
    }
    static bool AnyStartsWith(const QStringList& aLines, const QString& sPrefix)
    {
        for (const QString& sLine : aLines)
            if (sLine.startsWith(sPrefix))
                return true;
        return false;
    }

    TTestDir fDir;
    std::unique_ptr<TfrmMain> fWindow;
    QStringList fInformation;
    QStringList fErrors;
    QStringList fErrorBoxes;
    int fiOperatorQuestions = 0;
    int fiFinalDialogs = 0;
};

// A tile lays out the step's text at most every tenth of a second: a burst of steps ends with the
// last one shown, elided to the tile, with the whole text as its tip.
TEST(SocketTileTest, StepTextFollowsABurstOfStepsAndShowsTheLast)
{
    TSocketTile tile(2);
    for (int i = 1; i <= 1000; ++i)
        tile.SetStep(QStringLiteral("3. Supply"), QStringLiteral("3.%1. Step").arg(i));
    EXPECT_EQ(tile.StepText(), QStringLiteral("3. Supply / 3.1000. Step"));
    ASSERT_TRUE(RunUntil([&] { return tile.StepLabel()->toolTip() == tile.StepText(); }, 2000));
    EXPECT_EQ(tile.StepLabel()->text(), QStringLiteral("3. Supply / 3.1000. Step"));
    const QString sLong = QString(200, QLatin1Char('x'));
    tile.SetStep(sLong, QString());
    ASSERT_TRUE(RunUntil([&] { return tile.StepLabel()->toolTip() == sLong; }, 2000));
    EXPECT_LT(tile.StepLabel()->text().size(), sLong.size());
    EXPECT_TRUE(tile.StepLabel()->text().endsWith(QChar(0x2026)));
}

TEST_F(StationWindowTest, TheSocketCountComesFromTheSettingsAndOneSocketKeepsThePlainWindow)
{
    TfrmMain& single = Create(0);
    EXPECT_EQ(single.SocketCount(), 1);
    EXPECT_EQ(single.SocketStrip(), nullptr);
    EXPECT_EQ(single.Station(), nullptr);
    EXPECT_EQ(single.acProcessStopAll, nullptr);
    EXPECT_EQ(single.acViewAllSockets, nullptr);
    EXPECT_EQ(single.centralWidget(), static_cast<QWidget*>(single.SplitterLeftRight()));
    fWindow.reset();

    fDir.WriteText(QStringLiteral("settings/TZK2.ini"), QStringLiteral("[Sockets]\nCount=4\n"));
    TfrmMain& station = Create(0);
    ASSERT_EQ(station.SocketCount(), 4);
    ASSERT_NE(station.SocketStrip(), nullptr);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_NE(station.findChild<TSocketTile*>(QStringLiteral("socketTile%1").arg(i)), nullptr);
        EXPECT_NE(station.findChild<QPushButton*>(QStringLiteral("socketTileStart%1").arg(i)), nullptr);
    }
    EXPECT_TRUE(station.mnuProcess->actions().contains(station.acProcessStopAll));
    EXPECT_TRUE(station.mnuView->actions().contains(station.acViewAllSockets));
}

// Start runs every socket at once; a failing socket ends alone, its error report waits at its
// tile and nothing modal opens; every tile shows its unit and outcome; choosing a socket shows
// its tree and its lines.
TEST_F(StationWindowTest, FourSocketsRunSideBySideAndTheSelectionSwitchesTreeAndLog)
{
    TfrmMain& w = Create(4);
    ASSERT_TRUE(w.LoadDefinitionFile(Definition(300, 100)));
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(State(i), QStringLiteral("Ready"));
    EXPECT_EQ(w.TreeView()->topLevelItemCount(), 2);

    TModalCloser closer;
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return w.SocketHost(1)->Session().Runner()->CurrentNode() != nullptr; }));
    EXPECT_EQ(State(1), QStringLiteral("Running"));
    const bool bEnded = RunUntil([&] { return Ended(1) && Ended(2) && Ended(3) && Ended(4); }, 10000);
    ASSERT_TRUE(bEnded);
    EXPECT_EQ(closer.Closed(), 0) << "nothing modal: no final dialog, no error report box";
    EXPECT_EQ(fiFinalDialogs, 0);
    EXPECT_EQ(fiOperatorQuestions, 1) << "one operator for the station";
    const QString sExpected[] = {QString(), QStringLiteral("Passed"), QStringLiteral("Failed"),
                                 QStringLiteral("Passed"), QStringLiteral("Passed")};
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(State(i), sExpected[i]) << i;
        EXPECT_EQ(Tile(i).IdLabel()->text(), QStringLiteral("ID: SN-%1").arg(i));
        EXPECT_EQ(Tile(i).ReportButton()->isVisibleTo(&Tile(i)), i == 2) << i;
        EXPECT_TRUE(Tile(i).StartButton()->isEnabled()) << i;
    }

    // The first socket is chosen at the start; a click on a tile chooses another.
    EXPECT_TRUE(Tile(1).Selected());
    QStringList lines = ShownLines();
    EXPECT_TRUE(AnyStartsWith(lines, QStringLiteral("[1] ")));
    EXPECT_FALSE(AnyStartsWith(lines, QStringLiteral("[2] ")));
    QTest::mouseClick(&Tile(2), Qt::LeftButton);
    EXPECT_EQ(w.SelectedSocket(), 2);
    EXPECT_TRUE(Tile(2).Selected());
    EXPECT_FALSE(Tile(1).Selected());
    EXPECT_EQ(&w.Runner(), w.Station()->Session(2).Runner()) << "the process actions act on socket 2";
    ASSERT_EQ(w.TreeView()->topLevelItemCount(), 2);
    EXPECT_EQ(w.TreeView()->Node(w.TreeView()->topLevelItem(0)), w.Station()->Session(2).Tree().Node(0));
    lines = ShownLines();
    EXPECT_TRUE(AnyStartsWith(lines, QStringLiteral("[2] ")));
    EXPECT_FALSE(AnyStartsWith(lines, QStringLiteral("[1] ")));
    EXPECT_TRUE(lines.filter(QStringLiteral("Expression is false")).size() >= 1);
    EXPECT_FALSE(lines.filter(QStringLiteral("Info: Test process loaded successfully.")).isEmpty())
        << "the station's own lines stay in every socket's view";

    w.acViewAllSockets->setChecked(true);
    lines = ShownLines();
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(AnyStartsWith(lines, QStringLiteral("[%1] ").arg(i))) << i;
    w.acViewAllSockets->setChecked(false);
    EXPECT_FALSE(AnyStartsWith(ShownLines(), QStringLiteral("[3] ")));

    // The report the failing socket keeps opens from its tile, modally, as the operator chose.
    Tile(2).ReportButton()->click();
    EXPECT_EQ(closer.Closed(), 1);
    EXPECT_FALSE(Tile(2).ReportButton()->isVisibleTo(&Tile(2)));
}

// A socket whose unit is done starts again from its tile while another one still runs; Stop ends
// the selected socket alone, Stop all the rest.
TEST_F(StationWindowTest, ATileRestartsItsSocketAndStopEndsOneOrAll)
{
    TfrmMain& w = Create(4);
    ASSERT_TRUE(w.LoadDefinitionFile(Definition(6000, 100)));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(2) && Ended(3) && Ended(4); }, 5000));
    EXPECT_EQ(State(1), QStringLiteral("Running"));
    EXPECT_FALSE(Tile(1).StartButton()->isEnabled());
    EXPECT_TRUE(w.acProcessStart->isEnabled()) << "ready sockets can start";

    int iRuns = 0;
    QObject::connect(w.Station()->Session(3).Runner(), &TProcessRunner::ProcessFinished,
                     [&iRuns](bool) { ++iRuns; });
    QTest::mouseClick(Tile(3).StartButton(), Qt::LeftButton);
    EXPECT_NE(State(3), QStringLiteral("Passed")) << "the last outcome goes with the new start";
    ASSERT_TRUE(RunUntil([&] { return iRuns == 1 && Ended(3); }, 5000));
    EXPECT_EQ(State(3), QStringLiteral("Passed"));
    EXPECT_EQ(State(1), QStringLiteral("Running")) << "socket 1 went on meanwhile";

    // Socket 1 still runs: Stop with socket 1 selected ends it alone.
    QTest::mouseClick(Tile(4).StartButton(), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return Ended(4); }, 5000));
    w.SelectSocket(1);
    ASSERT_TRUE(w.acProcessStop->isEnabled());
    w.acProcessStop->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(1); }, 5000));
    EXPECT_EQ(State(1), QStringLiteral("Stopped"));
    EXPECT_EQ(State(2), QStringLiteral("Failed"));
    EXPECT_EQ(State(4), QStringLiteral("Passed"));
}

TEST_F(StationWindowTest, StopAllStopsEverySocketThatRuns)
{
    TfrmMain& w = Create(4);
    ASSERT_TRUE(w.LoadDefinitionFile(Definition(6000, 6000)));
    EXPECT_FALSE(w.acProcessStopAll->isEnabled());
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] {
        for (int i = 1; i <= 4; ++i)
            if (State(i) != QStringLiteral("Running"))
                return false;
        return true;
    }));
    // Stop of socket 3 alone first.
    w.SelectSocket(3);
    w.acProcessStop->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(3); }));
    EXPECT_EQ(State(3), QStringLiteral("Stopped"));
    for (int i : {1, 2, 4})
        EXPECT_EQ(State(i), QStringLiteral("Running")) << i;

    ASSERT_TRUE(w.acProcessStopAll->isEnabled());
    w.acProcessStopAll->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(1) && Ended(2) && Ended(4); }));
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(State(i), QStringLiteral("Stopped")) << i;
    EXPECT_FALSE(w.acProcessStopAll->isEnabled());
}

// A question of socket 3 waits beside the window at its tile while socket 1 goes on; the answer
// reaches the asker when the operator gives it, whenever that is.
TEST_F(StationWindowTest, AQuestionOfOneSocketDoesNotHoldAnother)
{
    TfrmMain& w = Create(4);
    ASSERT_TRUE(w.LoadDefinitionFile(Definition(3000, 100)));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(3); }));

    std::optional<TDialogAnswer> answer;
    w.Station()->Session(3).Context().Dialogs()->AskMessageBox(
        QStringLiteral("Fixture"), QStringLiteral("Is the lid of socket 3 closed?"), TDialogButtons::YesNo,
        [&answer](TDialogAnswer eAnswer) { answer = eAnswer; });
    EXPECT_FALSE(answer.has_value());
    EXPECT_EQ(State(3), QStringLiteral("Waiting for operator"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    auto* box = qobject_cast<QMessageBox*>(w.SocketHost(3)->Dialogs().OpenQuestion());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("[3] Fixture"));

    // Socket 1 walks on through its soak while the question is open.
    const TTreeNode* pBefore = w.Station()->Session(1).Runner()->CurrentNode();
    ASSERT_TRUE(RunUntil([&] { return w.Station()->Session(1).Runner()->CurrentNode() != pBefore; }));
    EXPECT_EQ(State(1), QStringLiteral("Running"));
    EXPECT_FALSE(answer.has_value());

    // Choosing the socket brings its question up; the operator answers it.
    QTest::mouseClick(&Tile(3), Qt::LeftButton);
    EXPECT_EQ(w.SelectedSocket(), 3);
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, TDialogAnswer::Yes);
    EXPECT_EQ(State(3), QStringLiteral("Passed"));

    // An input question answers with the edited text; withdrawn, with its preset.
    std::optional<QString> sText;
    TSocketOperatorDialogs& dialogs = w.SocketHost(3)->Dialogs();
    dialogs.AskInputBox(QStringLiteral("Label"), QStringLiteral("Batch"), QStringLiteral("B1"),
                        [&sText](std::optional<QString> s) { sText = s; });
    EXPECT_TRUE(dialogs.Waiting());
    EXPECT_TRUE(dialogs.CloseActiveDialog());
    ASSERT_TRUE(sText.has_value());
    EXPECT_EQ(*sText, QStringLiteral("B1"));
    EXPECT_FALSE(dialogs.Waiting());
    w.acProcessStopAll->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(1); }));

    // A question still open when the window goes answers nobody: its asker is gone with it.
    bool bAnswered = false;
    dialogs.AskMessageBox(QStringLiteral("Fixture"), QStringLiteral("Open the lid?"), TDialogButtons::Ok,
                          [&bAnswered](TDialogAnswer) { bAnswered = true; });
    fWindow.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(bAnswered);
}

// Keys go to the socket that waits for one, when the selected socket does not.
TEST_F(StationWindowTest, AKeyGoesToTheSocketThatWaitsForIt)
{
    const QString sFile =
        fDir.WriteText(QStringLiteral("keys.tzd"), QStringLiteral(R"(Device.Create(SystemControl; Sys)
Test.Case("Fixture")
{
#if __Socket = 2
    Sys.Pause("Press Enter when the unit of socket 2 is in place")
#else
    Sys.Delay("Settle"; 10)
#endif
}
)"));
    TfrmMain& w = Create(2);
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(1) && State(2) == QStringLiteral("Waiting for operator"); }));
    EXPECT_EQ(w.SelectedSocket(), 1);
    EXPECT_TRUE(w.HandleKey(Qt::Key_Return, false));
    ASSERT_TRUE(RunUntil([&] { return Ended(2); }));
    EXPECT_EQ(State(2), QStringLiteral("Passed"));
}

// A break point set with a socket selected is that socket's alone: it pauses there while the
// others run to their end; Continue goes on with it.
TEST_F(StationWindowTest, BreakPointsAndContinueActOnTheSelectedSocket)
{
    TfrmMain& w = Create(4);
    ASSERT_TRUE(w.LoadDefinitionFile(Definition(100, 100)));
    QTest::mouseClick(&Tile(3), Qt::LeftButton);
    TTestTree& tree3 = w.Station()->Session(3).Tree();
    TTreeNode* pSoak3 = tree3.Node(2); // the case "Soak"
    ASSERT_EQ(pSoak3->Text(), QStringLiteral("2. Soak"));
    w.TreeView()->SelectNode(pSoak3);
    w.acProcessBreak->trigger();
    EXPECT_TRUE(pSoak3->Job()->BreakPoint());
    for (int i : {1, 2, 4})
        EXPECT_FALSE(w.Station()->Session(i).Tree().Node(2)->Job()->BreakPoint()) << i;

    w.acProcessStart->trigger();
    ASSERT_TRUE(
        RunUntil([&] { return Ended(1) && Ended(2) && Ended(4) && State(3) == QStringLiteral("Paused"); }));
    EXPECT_EQ(w.StatusPanel(0)->text(), QStringLiteral("Paused at break point: F8 continues, F6 steps"));
    w.TreeView()->SelectNode(pSoak3);
    w.acProcessContinue->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(3); }));
    EXPECT_EQ(State(3), QStringLiteral("Passed"));
}

// A socket that waits for a shared device says which one.
TEST_F(StationWindowTest, ATileNamesTheSharedDeviceItsSocketWaitsFor)
{
    const QString sFile =
        fDir.WriteText(QStringLiteral("shared.tzd"), QStringLiteral(R"(Device.Shared(SystemControl; Ids)
Test.Case("Label")
{
#if __Socket = 1
    Ids.Delay("Hold the label printer"; 4000)
#else
    Ids.Delay("Print the label"; 10)
#endif
}
)"));
    TfrmMain& w = Create(2);
    ASSERT_TRUE(w.LoadDefinitionFile(sFile));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] { return State(2) == QStringLiteral("Waiting for Ids"); }));
    EXPECT_EQ(Tile(2).StateLabel()->text(), QStringLiteral("Waiting for Ids"));
    EXPECT_EQ(State(1), QStringLiteral("Running"));
    w.acProcessStopAll->trigger();
    ASSERT_TRUE(RunUntil([&] { return Ended(1) && Ended(2); }));
    EXPECT_EQ(State(1), QStringLiteral("Stopped"));
}

// A hand-over to another definition in one socket loads it into every socket, also into one
// whose run was still going; the station then runs the new definition.
TEST_F(StationWindowTest, AHandOverInOneSocketLoadsTheNextDefinitionIntoAll)
{
    fDir.WriteText(QStringLiteral("second.tzd"), QStringLiteral(R"(Device.Create(SystemControl; Sys)
Test.Case("Second definition")
{
    Sys.Delay("Settle"; 10)
}
)"));
    const QString sFirst =
        fDir.WriteText(QStringLiteral("first.tzd"), QStringLiteral(R"(Device.Create(SystemControl; Sys)
Test.Case("First definition")
{
#if __Socket = 1
    Sys.Delay("Settle"; 200)
    Sys.OpenTZD("Hand over"; "TZD:second.tzd"; AutoStart)
#else
    Sys.Delay("Soak"; 3000)
#endif
}
)"));
    TfrmMain& w = Create(2);
    ASSERT_TRUE(w.LoadDefinitionFile(sFirst));
    w.acProcessStart->trigger();
    ASSERT_TRUE(RunUntil([&] {
        return w.CurrentFileName() ==
               QFileInfo(fDir.FilePath(QStringLiteral("second.tzd"))).absoluteFilePath();
    }));
    ASSERT_TRUE(RunUntil(
        [&] { return State(1) == QStringLiteral("Passed") && State(2) == QStringLiteral("Passed"); }));
    EXPECT_EQ(w.Station()->Session(2).Tree().Node(0)->Text(), QStringLiteral("1. Second definition"));
}

} // namespace
