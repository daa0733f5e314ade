#include "Session.h"

#include "language/DefFileInterpreter.h"
#include "language/InterpreterHost.h"
#include "language/SocketNames.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "execution/Job.h"

#include <QFileInfo>

TSession::TSession(const TDeviceTypes* aTypes, TRegIO* aSettings) : fLoaderFactory(CreateInterpreterLoader)
{
    fContext.SetTypes(aTypes);
    fContext.SetSettings(aSettings);
    fTree.SetMsg(&fContext.Msg());
    fTree.SetOwnerContext(&fContext);
    fErrorReport.SetVariables(&fContext.Variables());
    CreateDefinitionParts();
}

TSession::~TSession()
{
    fRunner.reset();
    ReleaseDefinition();
    fContext.SetDevices(nullptr);
    fDevices.reset();
    fContext.SetValueLog(nullptr);
    fValueLog.reset();
    fContext.SetVariables(nullptr);
    fVariables.reset();
}

void TSession::CreateDefinitionParts()
{
    fVariables = std::make_unique<TVariableManager>();
    fContext.SetVariables(fVariables.get());
    fVariables->DeclareReadOnly(QLatin1String(csSocketVariable), fContext.Socket());
    fValueLog = std::make_unique<TValueLog>();
    fContext.SetValueLog(fValueLog.get());
    fDevices = std::make_unique<TDeviceList>(fContext);
    fContext.SetDevices(fDevices.get());
    fErrorReport.SetVariables(fVariables.get());
}

void TSession::SetSocket(int iSocket)
{
    fContext.SetSocket(iSocket);
    fVariables->DeclareReadOnly(QLatin1String(csSocketVariable), iSocket);
}

TProcessRunner& TSession::AttachRunner(IRunnerHost& aHost)
{
    fRunner = std::make_unique<TProcessRunner>(fTree, aHost, fContext);
    fRunner->SetFailureReport(&fErrorReport);
    return *fRunner;
}

void TSession::DetachRunner()
{
    fRunner.reset();
}

void TSession::ReleaseDefinition()
{
    fTree.Clear();
    // The runner forgets its positions in the old tree.
    if (fRunner) {
        fRunner->AttachJobs();
        fRunner->SetSkippedAtLoad(0);
    }
    // The devices go first: their commands may still refer to variables and the value log.
    fDevices->Clear();
    fContext.SetDevices(nullptr);
    fDevices.reset();
    fContext.SetValueLog(nullptr);
    fValueLog.reset();
    fErrorReport.SetVariables(nullptr);
    fContext.SetVariables(nullptr);
    fVariables.reset();
    CreateDefinitionParts();
    fErrorReport.Clear();
}

TLoadReport TSession::Load(const QString& sFile, IInterpreterHost& aHost)
{
    ReleaseDefinition();
    TLoadReport report;
    report.sFile = QFileInfo(sFile).absoluteFilePath();
    if (!QFileInfo(report.sFile).isFile()) {
        report.sFailure = QStringLiteral("definition file not found");
        return report;
    }
    // The "TZD:" prefix of file names refers to the definition being loaded, already while it is
    // read and preprocessed.
    fContext.Settings().SetLastFile(report.sFile);
    TInterpreterResult eResult = irError;
    try {
        const std::unique_ptr<IDefinitionLoader> loader = fLoaderFactory(aHost, fContext);
        try {
            loader->FileLoad(report.sFile);
            eResult = loader->LoadDefinition(fTree);
        } catch (...) {
            report.sLoadInfos = loader->LoadInfos();
            throw;
        }
        report.sLoadInfos = loader->LoadInfos();
        report.iWarnings = loader->WarningCount();
        report.iSkipped = loader->SkippedLines() + TJob::DummyNodes(fTree);
    } catch (const EOperationCancelled& e) {
        fContext.Msg().Debug(e.Message());
        eResult = irCancelled;
    } catch (const std::exception& e) {
        report.sFailure = ExceptionText(e);
    }

    if (report.sFailure.isEmpty()) {
        if (eResult == irCancelled)
            report.eOutcome = ELoadOutcome::Cancelled;
        else if (eResult == irSuccess)
            report.eOutcome = ELoadOutcome::Loaded;
    }
    report.bRunnable = report.eOutcome == ELoadOutcome::Loaded ||
                       (report.eOutcome == ELoadOutcome::Errors && report.sFailure.isEmpty() &&
                        aHost.SkipErrors() && !fTree.Empty());
    if (!report.bRunnable) {
        ReleaseDefinition();
        return report;
    }
    fErrorReport.SetFileName(report.sFile);
    if (fRunner) {
        fRunner->AttachJobs();
        fRunner->SetSkippedAtLoad(report.iSkipped);
    }
    return report;
}
