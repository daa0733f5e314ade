#include "ConsoleRunTest.h"

#include "console/ExitStatus.h"
#include "core/ValueLog.h"
#include "execution/ProcessRunner.h"
#include "reporting/ErrorReport.h"

#include "TestEnvironment.h"

#include <QRegularExpression>

namespace {

TEST_F(ConsoleRunTest, PassingRunPrintsTheLogHeaderAndPassed)
{
    TTestDir dir;
    TValueLog::Instance().Init(dir.FilePath(QStringLiteral("log.csv")), QString());
    TTreeNode* pCase = fBuilder.Case(nullptr, QStringLiteral("Supply"));
    fBuilder.Work(pCase, QStringLiteral("a"));
    fBuilder.Work(pCase, QStringLiteral("b"));
    fsCaption = QStringLiteral("Board 7");

    EXPECT_EQ(Run(), ciExitOk);
    const QString sOut = Out();
    // The log's own lines with their time stamps, the separator, the header and the dialog.
    // No blank separator line before the first line.
    EXPECT_TRUE(sOut.startsWith(QStringLiteral("12:00:00.000 Info: START ("))) << sOut.toStdString();
    EXPECT_TRUE(sOut.contains(QStringLiteral("Test Case: 1. Supply\n12:00:00.000 Info: 1. Supply\n")));
    EXPECT_FALSE(sOut.contains(QStringLiteral("Trace:"))) << "trace lines only with --trace";
    EXPECT_TRUE(sOut.endsWith(QStringLiteral("12:00:00.000 Info: Test process successfully finished\n"
                                             "Board 7: Passed\n"
                                             "Steps: 2 passed, 0 failed, 0 skipped\n")))
        << sOut.toStdString();
    EXPECT_TRUE(ReadFileBytes(dir.FilePath(QStringLiteral("log.csv"))).endsWith(";Passed;op1\r\n"));
}

TEST_F(ConsoleRunTest, FailedRunSaysWhyAndCountsTheSkippedSteps)
{
    TTreeNode* pCase = fBuilder.Case(nullptr, QStringLiteral("Supply"));
    fBuilder.Work(pCase, QStringLiteral("voltage"), crFailed, QStringLiteral("too low\r\nby 3 V"));
    fBuilder.Work(pCase, QStringLiteral("current"));
    TTreeNode* pDisabled = fBuilder.Work(pCase, QStringLiteral("disabled"));
    pDisabled->Job()->SetEnabled(false);
    TTreeNode* pFinal = fBuilder.Case(nullptr, QStringLiteral("Off"), ecFinalCase);
    TTreeNode* pOff = fBuilder.Work(pFinal, QStringLiteral("power off"));
    fBuilder.Work(pFinal, QStringLiteral("no reason"), crFailed);

    EXPECT_EQ(Run(), ciExitFailed);
    const QString sOut = Out();
    EXPECT_TRUE(
        sOut.contains(QStringLiteral("12:00:00.000 Error: Failure occured in test case \"1.1. voltage\"\n"
                                     "> too low\n"
                                     "> by 3 V\n")))
        << sOut.toStdString();
    EXPECT_TRUE(sOut.endsWith(QStringLiteral("Info: Test process ended with 2 Error(s)\n"
                                             "2x Failed\n"
                                             "  Error: 1.1. voltage: too low by 3 V\n"
                                             "  Error: 2.2. no reason\n"
                                             "Steps: 1 passed, 2 failed, 2 skipped\n")))
        << sOut.toStdString();
    EXPECT_EQ(fBuilder.CmdOf(pOff)->fiExecutions, 1);
}

TEST_F(ConsoleRunTest, AnExceptionFromAStepsSlotFailsTheStepNotTheProgram)
{
    TRegIO::Instance().SetEndOnFailure(false);
    TTreeNode* pCase = fBuilder.Case(nullptr, QStringLiteral("Port"));
    fBuilder.Throwing(pCase, QStringLiteral("read"), QStringLiteral("device gone"));
    fBuilder.Work(pCase, QStringLiteral("after"));

    EXPECT_EQ(Run(), ciExitFailed);
    const QString sOut = Out();
    EXPECT_TRUE(sOut.contains(QStringLiteral("device gone"))) << sOut.toStdString();
    EXPECT_TRUE(sOut.contains(QStringLiteral("Error: 1.1. read: device gone"))) << sOut.toStdString();
    // The run went on after the failed step.
    EXPECT_TRUE(sOut.contains(QStringLiteral("Steps: 1 passed, 1 failed"))) << sOut.toStdString();
}

TEST_F(ConsoleRunTest, OperatorNameFromTheOptionThenFromTheAnswers)
{
    TTestDir dir;
    TValueLog::Instance().Init(dir.FilePath(QStringLiteral("log.csv")), QString());
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));

    // Nobody to ask: nothing runs, and that is no pass.
    EXPECT_EQ(Run(TOperatorAnswers(), std::nullopt), ciExitFailed);
    EXPECT_TRUE(Out().contains(QStringLiteral("Error: No operator answer available")));
    EXPECT_EQ(fBuilder.CmdOf(pWork)->fiExecutions, 0);

    // A blank name on the command line counts as none; the answers give the name.
    EXPECT_EQ(Run(Answers("  Anna Smith  \n"), QStringLiteral("  ")), ciExitOk);
    EXPECT_TRUE(Out().contains(QStringLiteral("Operator: Anna Smith\n")));
    EXPECT_TRUE(ReadFileBytes(dir.FilePath(QStringLiteral("log.csv"))).endsWith(";Passed;Anna Smith\r\n"));
}

TEST_F(ConsoleRunTest, NextStartsAnotherRunAndAnyFailureFailsTheWhole)
{
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));
    TTestCmd* pCmd = fBuilder.CmdOf(pWork);
    pCmd->fOnExecute = [pCmd] {
        if (pCmd->fiExecutions == 2)
            pCmd->feImmediate = crFailed;
    };

    EXPECT_EQ(Run(Answers("# two units\nnext\n\ncancel\n")), ciExitFailed);
    EXPECT_EQ(pCmd->fiExecutions, 2);
    const QString sOut = Out();
    EXPECT_LT(sOut.indexOf(QStringLiteral("\nPassed\nSteps: 1 passed, 0 failed, 0 skipped\nNext run\n")),
              sOut.indexOf(QStringLiteral("\n1x Failed\n")));
    EXPECT_TRUE(sOut.endsWith(QStringLiteral("Steps: 0 passed, 1 failed, 0 skipped\n")))
        << "each run counts its own steps";
}

TEST_F(ConsoleRunTest, NextRunWithoutAnActiveNodeLogsTheErrorAndEnds)
{
    // The first run disables everything: the second finds nothing to do.
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));
    TTestCmd* pCmd = fBuilder.CmdOf(pWork);
    pCmd->fOnExecute = [pWork] { pWork->Job()->SetEnabled(false); };
    EXPECT_EQ(Run(Answers("next\n")), ciExitFailed);
    EXPECT_EQ(pCmd->fiExecutions, 1);
    EXPECT_TRUE(Out().endsWith(QStringLiteral("Passed\nSteps: 1 passed, 0 failed, 0 skipped\nNext run\n\n"
                                              "12:00:00.000 Error: No active test item found!\n")))
        << Out().toStdString();
}

TEST_F(ConsoleRunTest, NoActiveNodeEndsAtOnce)
{
    TTreeNode* pWork = fBuilder.Work(nullptr, QStringLiteral("a"));
    pWork->Job()->SetEnabled(false);
    EXPECT_EQ(Run(), ciExitFailed);
    EXPECT_TRUE(Out().contains(QStringLiteral("Error: No active test item found!")));
}

// Answers that do not fit the run's questions make even a passing run wrong usage.
TEST_F(ConsoleRunTest, AnswersOutOfStepAreWrongUsage)
{
    const struct
    {
        const char* sAnswers;
        int iStatus;
        const char* sOutput;
    } cases[] = {
        {"cancel\n", ciExitOk, "Passed\n"},
        {"cancel\nnext\n", ciExitUsage,
         "Error: Answer line 2 \"next\" was never asked for (1 answer(s) left over)"},
        {"key:Enter\n", ciExitUsage,
         "Error: Answer line 1 \"key:Enter\" is no answer to \"Next run or cancel\""},
    };
    for (const auto& c : cases) {
        TTreeBuilder builder;
        builder.Work(nullptr, QStringLiteral("a"));
        EXPECT_EQ(Run(builder, Answers(c.sAnswers)), c.iStatus) << c.sAnswers;
        EXPECT_TRUE(Out().contains(QString::fromUtf8(c.sOutput))) << c.sAnswers << Out().toStdString();
    }
}

TEST_F(ConsoleRunTest, KeyWaitsTakeTheNextAnswer)
{
    const struct
    {
        const char* sAnswers;
        int iStatus;
        std::vector<int> keys;
        const char* sOutput;
    } cases[] = {
        {"key:Enter\n", ciExitOk, {Qt::Key_Return}, "Key: Enter\n"},
        {"KEY: escape\n",
         ciExitFailed,
         {Qt::Key_Escape},
         "Error: Failure occured in test case \"1.1. press\""},
        {"", ciExitFailed, {ciKeyNoAnswer}, "Error: Failure occured in test case \"1.1. press\""},
        {"key:Space\nkey:F5\nkey:Enter\n",
         ciExitOk,
         {Qt::Key_Space, Qt::Key_F5, Qt::Key_Return},
         "The waiting command ignores the key F5\n"},
        // An answer out of step ends the answers: the key wait has none, and the run is wrong usage.
        {"cancel\nkey:Enter\n",
         ciExitUsage,
         {ciKeyNoAnswer},
         "Error: Answer line 1 \"cancel\" is no answer to \"Key for 1.1. press\" (a key expected)"},
    };
    for (const auto& c : cases) {
        TTreeBuilder builder;
        TTreeNode* pCase = builder.Case(nullptr, QStringLiteral("Keys"));
        TTreeNode* pWait = builder.KeyWait(pCase, QStringLiteral("press"));
        builder.Work(pCase, QStringLiteral("after"));
        EXPECT_EQ(Run(builder, Answers(c.sAnswers)), c.iStatus) << c.sAnswers;
        const TKeyWaitCmd* pCmd = TTreeBuilder::KeyCmdOf(pWait);
        EXPECT_EQ(pCmd->fKeys, c.keys) << c.sAnswers;
        EXPECT_FALSE(pCmd->fbKeyInsideExecute) << "keys come from the event loop";
        EXPECT_TRUE(Out().contains(QString::fromUtf8(c.sOutput))) << c.sAnswers << Out().toStdString();
    }
}

TEST_F(ConsoleRunTest, ErrorReportTakesTheStopBoxFromTheAnswers)
{
    TTestDir dir;
    const QString sTemplate =
        dir.WriteText(QStringLiteral("report.rtf"), QStringLiteral("{\\rtf1 %FUNCTION}"));
    const struct
    {
        const char* sAnswers;
        int iThirdRuns;
    } cases[] = {{"stop\n", 0}, {"nostop\n", 1}, {"", 1}};
    for (const auto& c : cases) {
        TErrorReport report;
        report.SetPrinterNames([] { return QStringList{QStringLiteral("Labels")}; });
        report.Init(QStringLiteral("ErrorReport; \"%1\"; Labels; Portrait; 0; 0; 0; 0").arg(sTemplate));
        fpReport = &report;
        TRegIO::Instance().SetEndOnFailure(false);

        TTreeBuilder builder;
        builder.Work(builder.Case(nullptr, QStringLiteral("One")), QStringLiteral("x"));
        builder.Work(builder.Case(nullptr, QStringLiteral("Two")), QStringLiteral("x"), crFailed,
                     QStringLiteral("too low\r\nby 3 V"));
        TTreeNode* pThird = builder.Work(builder.Case(nullptr, QStringLiteral("Three")), QStringLiteral("x"));

        EXPECT_EQ(Run(builder, Answers(c.sAnswers)), ciExitFailed);
        EXPECT_EQ(TTreeBuilder::CmdOf(pThird)->fiExecutions, c.iThirdRuns) << c.sAnswers;
        EXPECT_TRUE(Out().contains(QStringLiteral("Error Report\n"
                                                  "Test Function: 2.1. x\n"
                                                  "Error: too low\n"
                                                  "> by 3 V\n"
                                                  "Operator: op1\n")))
            << Out().toStdString();
        EXPECT_FALSE(report.Pending()) << "the report was shown and closed";
        fpReport = nullptr;
    }
}

TEST_F(ConsoleRunTest, BreakGoesOnWithTheNextNode)
{
    TTreeNode* pCase = fBuilder.Case(nullptr, QStringLiteral("Case"));
    fBuilder.Work(pCase, QStringLiteral("break"), crBreak);
    TTreeNode* pAfter = fBuilder.Work(pCase, QStringLiteral("after"));
    EXPECT_EQ(Run(), ciExitOk);
    EXPECT_EQ(fBuilder.CmdOf(pAfter)->fiExecutions, 1);

    // A break as the very last node: nothing is left to go on with, the run ends as it stands.
    TTreeBuilder last;
    last.Work(nullptr, QStringLiteral("a"));
    last.Work(nullptr, QStringLiteral("break"), crBreak);
    EXPECT_EQ(Run(last, TOperatorAnswers()), ciExitOk);
    EXPECT_TRUE(Out().contains(QStringLiteral("the headless run ends here")));
}

TEST_F(ConsoleRunTest, ConsoleAnswersAreReadFromTheTerminal)
{
    TTreeNode* pCase = fBuilder.Case(nullptr, QStringLiteral("Keys"));
    TTreeNode* pWait = fBuilder.KeyWait(pCase, QStringLiteral("press"));
    TTreeNode* pSecond = fBuilder.KeyWait(pCase, QStringLiteral("again"));

    TPipe input;
    // Name; a typo and then an empty line (Enter) for the first key; Escape for the second; a
    // word that is no button, then cancel.
    input.Write("Anna\nbogus\n\nkey:Escape\nmaybe\ncancel\n");
    QString sPrompts;
    QTextStream prompt(&sPrompts);
    EXPECT_EQ(Run(TOperatorAnswers::Console(input.ReadFd(), prompt), std::nullopt), ciExitFailed);
    prompt.flush();
    EXPECT_EQ(TTreeBuilder::KeyCmdOf(pWait)->fKeys, std::vector<int>{Qt::Key_Return});
    EXPECT_EQ(TTreeBuilder::KeyCmdOf(pSecond)->fKeys, std::vector<int>{Qt::Key_Escape});
    EXPECT_TRUE(
        sPrompts.startsWith(QStringLiteral("Operator name: Key for 1.1. press [Enter, Escape or "
                                           "a key name]: Please answer with a key. Key for 1.1. press")))
        << sPrompts.toStdString();
    EXPECT_TRUE(sPrompts.contains(QStringLiteral("Please answer with a button.")));
}

TEST_F(ConsoleRunTest, ConsoleInputEndingGivesNoAnswers)
{
    TTreeNode* pWait = fBuilder.KeyWait(nullptr, QStringLiteral("press"));
    TPipe input;
    input.Write("Anna\n");
    input.CloseWrite();
    QString sPrompts;
    QTextStream prompt(&sPrompts);
    EXPECT_EQ(Run(TOperatorAnswers::Console(input.ReadFd(), prompt), std::nullopt), ciExitFailed);
    EXPECT_EQ(TTreeBuilder::KeyCmdOf(pWait)->fKeys, std::vector<int>{ciKeyNoAnswer});
}

} // namespace
