#include "ResultRecorder.h"

#include "ResultDatabase.h"

#include "core/ValueLog.h"
#include "execution/Command.h"
#include "execution/DeviceContext.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "reporting/ErrorReport.h"

#include <QSysInfo>

namespace {

// A node's text is its number, a blank and its label.
QString NodeLabel(const TTreeNode* aNode)
{
    const QString& sText = aNode->Text();
    const int iBlank = sText.indexOf(QLatin1Char(' '));
    return iBlank < 0 ? sText : sText.mid(iBlank + 1);
}

QString NodeNumber(const TTreeNode* aNode)
{
    const QString& sText = aNode->Text();
    const int iBlank = sText.indexOf(QLatin1Char(' '));
    return iBlank < 0 ? QString() : sText.left(iBlank);
}

QString NodePath(const TTreeNode* aNode)
{
    QStringList slLabels;
    for (const TTreeNode* p = aNode; p; p = p->Parent())
        slLabels.prepend(NodeLabel(p));
    return slLabels.join(QStringLiteral(" / "));
}

} // namespace

TResultRecorder::TResultRecorder(TProcessRunner& aRunner, TResultDatabase& aDatabase,
                                 const TErrorReport& aReport, QObject* aParent)
    : QObject(aParent), fRunner(aRunner), fDatabase(aDatabase), fReport(aReport)
{
    connect(&aRunner, &TProcessRunner::NodeStarted, this, &TResultRecorder::NodeStarted);
    connect(&aRunner, &TProcessRunner::NodeFinished, this, &TResultRecorder::NodeFinished);
    connect(&aRunner, &TProcessRunner::ProcessFinishing, this, &TResultRecorder::ProcessFinishing);
    connect(&aRunner, &TProcessRunner::ActionsChanged, this, &TResultRecorder::ActionsChanged);
}

void TResultRecorder::NodeStarted(TTreeNode* /*aNode*/)
{
    if (!fRun) {
        fRun.emplace();
        fRun->RunId = QUuid::createUuid();
        fRun->dtStart = QDateTime::currentDateTimeUtc();
        fRunClock.start();
        fbStopped = false;
    }
    fdtStepStart = QDateTime::currentDateTimeUtc();
    fStepClock.start();
}

void TResultRecorder::NodeFinished(TTreeNode* aNode)
{
    const TJob* pJob = aNode ? aNode->Job() : nullptr;
    // Test-case headers and placeholders of undeclared devices are no steps.
    if (!fRun || !pJob || !pJob->Cmd())
        return;
    const TCommand* pCmd = pJob->Cmd();
    TResultStep step;
    step.iSeq = int(fRun->Steps.size()) + 1;
    step.sNodeNumber = NodeNumber(aNode);
    step.sNodePath = NodePath(aNode);
    step.sLabel = NodeLabel(aNode);
    if (pJob->Passed()) {
        step.sResult = QStringLiteral("passed");
    } else {
        // The runner reads the operator's request after this signal: it is still standing.
        switch (fRunner.OperatorRequest()) {
        case EOperatorRequest::Pause:
            step.sResult = QStringLiteral("paused");
            break;
        case EOperatorRequest::Stop:
            step.sResult = QStringLiteral("stopped");
            fbStopped = true;
            break;
        case EOperatorRequest::None:
            step.sResult = QStringLiteral("failed");
            break;
        }
        step.sErrorText = pJob->ErrorText();
    }
    if (!pCmd->LogValName().isEmpty()) {
        // A single blank is a column nobody set since the run (or the last intermediate line)
        // began.
        const QString sValue = fRunner.Context().ValueLog().Value(pCmd->LogValName());
        if (sValue != QLatin1String(" "))
            step.sLogValue = sValue;
    }
    step.Measurement = pCmd->Measurement();
    step.dtStart = fdtStepStart;
    step.iDurationMs = fStepClock.isValid() ? fStepClock.elapsed() : 0;
    fRun->Steps.push_back(std::move(step));
}

void TResultRecorder::ProcessFinishing(bool bPassed)
{
    if (!fRun)
        return;
    TResultRun run = std::move(*fRun);
    fRun.reset();
    run.sHostName = QSysInfo::machineHostName();
    run.sStationName = fDatabase.Settings().sStationName;
    run.sDefinitionFile = fReport.FileName();
    run.sFileLabel = fReport.FileInfo();
    run.sFileVersion = fReport.FileVersion();
    run.sOperator = fRunner.OperatorName();
    run.iDurationMs = fRunClock.elapsed();
    run.sResult = fbStopped ? QStringLiteral("stopped")
                  : bPassed ? QStringLiteral("passed")
                            : QStringLiteral("failed");
    run.iFailedSteps = fRunner.JobFailureCounter();
    run.iSocket = fRunner.Context().Socket();
    // The line the value log has just written; with the log off, the line it would write.
    const TValueLog& log = fRunner.Context().ValueLog();
    for (const auto& [sName, sValue] :
         log.FileName().isEmpty() ? log.Line(bPassed, run.sOperator) : log.LastLine())
        run.Values.push_back({sName, sValue});
    fDatabase.Submit(run);
}

void TResultRecorder::ActionsChanged()
{
    // A run the operator left (paused, then back to ready) or a definition released never ends:
    // the next step begins a new one.
    const EProcessState eState = fRunner.ProcessState();
    if (eState == EProcessState::Ready || eState == EProcessState::NothingToRun)
        fRun.reset();
}
