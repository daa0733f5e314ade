#include "ConsoleRun.h"

#include "ConsoleDefinitionOpener.h"
#include "ConsoleErrorReport.h"
#include "ConsoleRunnerHost.h"
#include "ConsoleStatusLine.h"
#include "ExitStatus.h"
#include "InterruptHandler.h"
#include "JUnitWriter.h"
#include "OperatorAnswers.h"
#include "RunCommandLine.h"
#include "RunSummary.h"

#include "core/MsgClasses.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "reporting/ErrorReport.h"
#include "reporting/results/ResultRecorder.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

// The error report shows through the console while the run lasts.
class TReportViewScope
{
public:
    TReportViewScope(TErrorReport* aReport, IErrorReportView* aView) : fReport(aReport)
    {
        if (fReport)
            fReport->SetView(aView);
    }
    ~TReportViewScope()
    {
        if (fReport)
            fReport->SetView(nullptr);
    }
    TReportViewScope(const TReportViewScope&) = delete;
    TReportViewScope& operator=(const TReportViewScope&) = delete;

private:
    TErrorReport* fReport;
};

// The status line follows the runner while it exists.
class TStatusLineScope
{
public:
    TStatusLineScope(TConsoleStatusLine* aStatus, TProcessRunner& aRunner, const TRunSummary& aSummary)
        : fStatus(aStatus)
    {
        if (fStatus)
            fStatus->Attach(aRunner, aSummary);
    }
    ~TStatusLineScope()
    {
        if (fStatus)
            fStatus->Detach();
    }
    TStatusLineScope(const TStatusLineScope&) = delete;
    TStatusLineScope& operator=(const TStatusLineScope&) = delete;

private:
    TConsoleStatusLine* fStatus;
};

// The answered steps of an abandoned run hear nothing more of the runner that is going away.
void DetachJobs(const TTestTree& aTree)
{
    for (int i = 0; i < aTree.Count(); ++i) {
        if (TJob* pJob = aTree.Node(i)->Job())
            pJob->SetOnFinished(nullptr);
    }
}

} // namespace

// An answers file that does not fit the questions fails the program as wrong usage, so that CI
// notices even runs that passed. Answers left over after an interrupt are no mistake of the file,
// nor are answers a failed run did not take: a failure skips the questions behind it.
int AnswersExitStatus(const TRunContext& aContext, int iStatus)
{
    const TOperatorAnswers& answers = aContext.aAnswers;
    if (answers.Source() != TOperatorAnswers::asList)
        return iStatus;
    if (answers.OutOfStepBeforeFailure())
        return ciExitUsage;
    if (answers.OutOfStep())
        return iStatus == ciExitOk ? ciExitUsage : iStatus;
    if (aContext.pInterrupt && aContext.pInterrupt->WasInterrupted())
        return iStatus;
    const TOperatorAnswer* pUnused = answers.NextAnswer();
    if (!pUnused)
        return iStatus;
    if (iStatus != ciExitOk) {
        TMsg::Warning(QStringLiteral("Answer line %d \"%s\" was not asked for after a failure "
                                     "(%d answer(s) left over)"),
                      {pUnused->iLine, pUnused->sText, answers.Remaining()});
        return iStatus;
    }
    TMsg::Error(QStringLiteral("Answer line %d \"%s\" was never asked for (%d answer(s) left over)"),
                {pUnused->iLine, pUnused->sText, answers.Remaining()});
    return ciExitUsage;
}

TOperatorAnswers AnswersForOptions(const TRunOptions& aOptions, int iInputFd, QTextStream& aPrompt)
{
    if (!aOptions.sAnswersFile.isEmpty())
        return TOperatorAnswers::FromFile(aOptions.sAnswersFile);
    if (iInputFd >= 0 && ::isatty(iInputFd))
        return TOperatorAnswers::Console(iInputFd, aPrompt);
    return TOperatorAnswers();
}

int RunProcess(TTestTree& aTree, const TRunOptions& aOptions, TRunContext& aContext)
{
    if (aContext.pInterrupt && aContext.pInterrupt->WasInterrupted()) {
        TMsg::Warning(QStringLiteral("Interrupted before the test process started"));
        return ciExitInterruptBase + SIGINT;
    }

    TConsoleRunnerHost host(aContext.aAnswers, aContext.aOut, aContext.pLog);
    host.SetCaption(aContext.sCaption);
    if (aOptions.sOperator)
        host.SetOperatorName(*aOptions.sOperator);
    host.SetRunsLeft(aContext.piRunsLeft);
    host.SetCanStart([&aTree] { return TJob::AnyEnabled(aTree); });

    // A tree without a session (a test's) runs in a context of its own.
    TDeviceContext ownContext;
    TProcessRunner runner(aTree, host, aContext.pDevices ? *aContext.pDevices : ownContext);
    // The operator stays when the station hands over to another definition.
    runner.SetOperatorName(aContext.sOperatorName);
    TRunSummary summary(runner, aTree);
    host.SetSummary(&summary);
    const TStatusLineScope statusScope(aContext.pStatus, runner, summary);
    TConsoleErrorReportView reportView(aContext.aAnswers, aContext.aOut);
    const TReportViewScope viewScope(aContext.pErrorReport, &reportView);
    runner.SetFailureReport(aContext.pErrorReport);
    std::unique_ptr<TResultRecorder> results;
    if (aContext.pResults && aContext.pErrorReport)
        results = std::make_unique<TResultRecorder>(runner, *aContext.pResults, *aContext.pErrorReport);
    TConsoleKeyAnswerer keys(runner, aContext.aAnswers, aContext.aOut);

    std::unique_ptr<TJUnitWriter> junit;
    if (!aOptions.sJUnitFile.isEmpty()) {
        QString sSuite = aContext.sCaption;
        if (sSuite.isEmpty())
            sSuite = QFileInfo(aOptions.sFile).completeBaseName();
        if (sSuite.isEmpty())
            sSuite = QStringLiteral("tzk");
        junit = std::make_unique<TJUnitWriter>(runner, aTree, aOptions.sJUnitFile, sSuite);
    }

    int iRuns = 0;
    bool bAllPassed = true;
    QObject::connect(&runner, &TProcessRunner::ProcessFinished, [&](bool bPassed) {
        ++iRuns;
        bAllPassed = bAllPassed && bPassed;
    });
    aContext.aAnswers.SetFailureQuery([&] { return !bAllPassed || runner.JobFailureCounter() > 0; });

    QEventLoop loop;
    bool bStarted = false;
    bool bPauseQueued = false;
    const auto GoOnAfterPause = [&] {
        bPauseQueued = false;
        if (runner.ProcessState() != EProcessState::Paused)
            return;
        // Nobody can choose where to go on: the run goes on with the next node.
        TTreeNode* pNext = runner.CurrentNode() ? TJob::NextEnabled(aTree, runner.CurrentNode()) : nullptr;
        if (!pNext) {
            TMsg::Warning(QStringLiteral("Process paused after the last test: the headless run ends here"));
            bAllPassed = bAllPassed && runner.JobFailureCounter() == 0;
            ++iRuns;
            loop.quit();
            return;
        }
        host.SelectNode(pNext);
        runner.Continue();
    };
    QObject::connect(&runner, &TProcessRunner::ActionsChanged, &loop, [&] {
        if (!bStarted)
            return;
        const EProcessState eState = runner.ProcessState();
        if (eState == EProcessState::NothingToRun || eState == EProcessState::Ready) {
            loop.quit();
        } else if (eState == EProcessState::RunningFromStart && host.NothingToStart()) {
            // A next run without an active node: Start logs the error and nothing more happens.
            bAllPassed = false;
            loop.quit();
        } else if (eState == EProcessState::Paused && !bPauseQueued) {
            bPauseQueued = true;
            QTimer::singleShot(0, &loop, GoOnAfterPause);
        }
    });
    if (aContext.pInterrupt) {
        QObject::connect(aContext.pInterrupt, &TInterruptHandler::Interrupted, &loop, [&](int) {
            TMsg::Warning(
                QStringLiteral("Interrupted: stopping the test process (interrupt again to end at once)"));
            if (runner.Actions().Stop.bEnabled && runner.OperatorRequest() != EOperatorRequest::Stop)
                runner.Stop();
        });
    }

    if (aContext.pOpener) {
        // After the current event, as the window does: the run is left where it stands, without its
        // final cases, final dialog or value-log line, and the next definition takes over.
        aContext.pOpener->SetOnRequest([&] { QTimer::singleShot(0, &loop, [&] { loop.quit(); }); });
    }

    runner.AttachJobs();
    runner.SetSkippedAtLoad(aContext.iSkippedAtLoad);
    runner.SetProcessState(EProcessState::Ready);
    QTimer::singleShot(0, &loop, [&] {
        bStarted = true;
        runner.Start();
        // Start found nothing to run ("No active test item found!"): nothing is queued.
        if (runner.ProcessState() == EProcessState::RunningFromStart && !runner.CurrentNode())
            loop.quit();
    });
    loop.exec();
    aContext.aAnswers.SetFailureQuery(nullptr);
    aContext.sOperatorName = runner.OperatorName();
    const bool bHandedOver = aContext.pOpener && aContext.pOpener->Pending();
    if (aContext.pOpener)
        aContext.pOpener->SetOnRequest(nullptr);
    if (bHandedOver) {
        DetachJobs(aTree);
        return ciExitOk;
    }

    // A run cut short without its end (paused at the last node) still gets its report.
    if (junit && junit->WriteFailed())
        return ciExitFailed;
    if (junit && iRuns > 0 && !junit->Write()) {
        TMsg::Error(QStringLiteral("JUnit report not written: %s"), {junit->LastError()});
        return ciExitFailed;
    }
    return RunExitStatus(iRuns > 0 && bAllPassed);
}
