// The headless runner: runs definition files without the desktop program.

#include "console/ConsoleDefinitionOpener.h"
#include "console/ConsoleDocumentDisplay.h"
#include "console/ConsoleIndicatorStrip.h"
#include "console/ConsoleLoader.h"
#include "console/ConsoleLogPrinter.h"
#include "console/ConsoleOperatorDialogs.h"
#include "console/ConsoleRun.h"
#include "console/ConsoleStatusLine.h"
#include "console/ExitStatus.h"
#include "console/InterruptHandler.h"
#include "console/OperatorAnswers.h"
#include "console/RunCommandLine.h"
#include "console/StationRun.h"
#include "core/CodePage.h"
#include "core/EscTaggedString.h"
#include "core/HeapPages.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "devices/DeviceFamilies.h"
#include "language/DefFilePreprocess.h"
#include "language/Session.h"
#include "language/Station.h"
#include "reporting/results/ResultDatabase.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Loads aOptions.sFile into the session; the file label becomes the final dialog's caption.
int LoadDefinition(const TRunOptions& aOptions, TSession& aSession, QString& sCaption, TLoadReport& aReport,
                   QTextStream& aErr)
{
    TConsoleLoader loader(aSession, aOptions.bSkipErrors);
    loader.SetCheckOnly(aOptions.eMode == TRunOptions::rmCheck);
    if (aOptions.eMode == TRunOptions::rmCheck && !aOptions.bDevices)
        aSession.Context().SetHardwareAttached(false);
    aReport = loader.Load(aOptions.sFile, aErr);
    sCaption = loader.FileLabel();
    if (aReport.bRunnable && aReport.iWarnings > 0 && aOptions.bWError) {
        aErr << QStringLiteral("%1: %2 warning(s) treated as errors")
                    .arg(aOptions.sFile)
                    .arg(aReport.iWarnings)
             << Qt::endl;
        return ciExitLoadError;
    }
    return LoadExitStatus(aReport);
}

// The station's result database: the settings' group "ResultDatabase", its connection replaced
// by --results-db; none when neither configures one.
std::unique_ptr<TResultDatabase> OpenResultDatabase(const TRunOptions& aOptions)
{
    TResultDatabaseSettings settings = TResultDatabaseSettings::Load(TRegIO::Instance().UserFileName());
    if (aOptions.sResultsDb) {
        settings.sConnection = *aOptions.sResultsDb;
        settings.bEnabled = true;
    }
    if (!settings.Configured())
        return nullptr;
    auto database = std::make_unique<TResultDatabase>(settings);
    if (!database->Start())
        return nullptr;
    return database;
}

// Gives the database a few seconds for the runs still queued; what it cannot take waits in the
// spool for the next start.
void DrainResultDatabase(TResultDatabase* aDatabase)
{
    constexpr int ciDrainMs = 10000;
    if (!aDatabase || aDatabase->Drain(ciDrainMs))
        return;
    TMsg::Warning(QStringLiteral("Result database: %d run(s) left in the spool for the next start"),
                  {aDatabase->QueuedRuns()});
}

int Run(const TRunOptions& aOptions, const TDeviceTypes& aTypes, TMsgLog& aLog, QTextStream& aOut,
        QTextStream& aErr, TConsoleStatusLine* aStatus)
{
    switch (aOptions.eMode) {
    case TRunOptions::rmHelp:
    case TRunOptions::rmVersion:
        break;
    case TRunOptions::rmPreprocess:
        return PreprocessFile(aOptions.sFile, aOut, aErr);
    case TRunOptions::rmCheck: {
        TSession session(&aTypes, &TRegIO::Instance());
        QString sCaption;
        TLoadReport report;
        const int iStatus = LoadDefinition(aOptions, session, sCaption, report, aErr);
        if (iStatus == ciExitOk && report.iWarnings == 0)
            aOut << QStringLiteral("%1: no errors").arg(aOptions.sFile) << Qt::endl;
        else if (iStatus == ciExitOk)
            aOut << QStringLiteral("%1: no errors, %2 warning(s)").arg(aOptions.sFile).arg(report.iWarnings)
                 << Qt::endl;
        return iStatus;
    }
    case TRunOptions::rmRun: {
        const int iSockets = aOptions.iSockets > 0
                                 ? aOptions.iSockets
                                 : TStation::SocketCountSetting(TRegIO::Instance().UserFileName());
        if (iSockets > 1) {
            TRunOptions options = aOptions;
            options.iSockets = iSockets;
            TInterruptHandler interrupt;
            const std::unique_ptr<TResultDatabase> results = OpenResultDatabase(aOptions);
            const int iStatus = RunStation(options, aTypes, aLog, aOut, aErr, aStatus, interrupt,
                                           results.get(), STDIN_FILENO);
            DrainResultDatabase(results.get());
            return iStatus;
        }
        std::optional<TOperatorAnswers> answers;
        try {
            answers = AnswersForOptions(aOptions, STDIN_FILENO, aErr);
        } catch (const std::exception& e) {
            aErr << ExceptionText(e) << Qt::endl;
            return ciExitUsage;
        }
        TInterruptHandler interrupt;
        answers->SetInterruptFd(interrupt.NotifyFd());
        // The dialogs outlive the session: its devices may still ask while they are released.
        TConsoleOperatorDialogs dialogs(*answers);
        TConsoleIndicatorStrip indicators;
        TConsoleDocumentDisplay documents;
        TConsoleDefinitionOpener opener;
        TRunOptions options = aOptions;
        bool bRun = true;
        int iRunsLeft = aOptions.iRuns;
        QString sOperatorName;
        const std::unique_ptr<TResultDatabase> results = OpenResultDatabase(aOptions);
        // OpenTZD hands over to another definition: each one gets a fresh session, the previous one
        // released first; the operator and the answers go on, and the exit status is that of the
        // last definition (its load, or its runs when it was started).
        for (;;) {
            TSession session(&aTypes, &TRegIO::Instance());
            session.Context().SetDialogs(&dialogs);
            session.Context().SetIndicators(&indicators);
            session.Context().SetDocuments(&documents);
            session.Context().SetDefinitionOpener(&opener);
            QString sCaption;
            TLoadReport report;
            const int iLoadStatus = LoadDefinition(options, session, sCaption, report, aErr);
            TRunContext context{aOut,       *answers, &aLog,   &session.ErrorReport(),
                                &interrupt, sCaption, aStatus, report.iSkipped};
            if (iLoadStatus != ciExitOk || !bRun) {
                DrainResultDatabase(results.get());
                return iLoadStatus == ciExitOk ? AnswersExitStatus(context, iLoadStatus) : iLoadStatus;
            }
            context.pOpener = &opener;
            context.pDevices = &session.Context();
            context.pResults = results.get();
            context.sOperatorName = sOperatorName;
            context.piRunsLeft = aOptions.iRuns > 0 ? &iRunsLeft : nullptr;
            const int iStatus = RunProcess(session.Tree(), options, context);
            sOperatorName = context.sOperatorName;
            if (!opener.Pending()) {
                DrainResultDatabase(results.get());
                return AnswersExitStatus(context, iStatus);
            }
            opener.Clear();
            options.sFile = opener.FileName();
            bRun = opener.AutoStart();
        }
    }
    }
    return ciExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    UseHugePageHeap(argc, argv, ciHugePageHeapMinBytes);
    // Printing lays text out with fonts, which takes a GUI application; the runner never shows a
    // window, so it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The platform's start-up remarks (a missing XDG_RUNTIME_DIR, say) concern no definition and
    // would only clutter the console; what stops the program is still said.
    const QtMessageHandler previousHandler =
        qInstallMessageHandler([](QtMsgType eType, const QMessageLogContext&, const QString& sText) {
            if (eType != QtCriticalMsg && eType != QtFatalMsg)
                return;
            std::fprintf(stderr, "%s\n", sText.toLocal8Bit().constData());
            if (eType == QtFatalMsg)
                std::abort();
        });
    QGuiApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZK_VERSION));

    // At a terminal a run shows a live status line; every write to the terminal goes around it.
    TConsoleStatusLine status(STDOUT_FILENO);
    TTerminalDevice outTerminal(STDOUT_FILENO, status);
    TTerminalDevice errTerminal(STDERR_FILENO, status);
    const bool bTerminal = ::isatty(STDOUT_FILENO) != 0;
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (bTerminal) {
        out.setDevice(&outTerminal);
        // Questions and errors share the screen only when standard error is a terminal, too.
        if (::isatty(STDERR_FILENO))
            err.setDevice(&errTerminal);
    }

    TRunCommandLine commandLine;
    if (!commandLine.Parse(QCoreApplication::arguments())) {
        err << commandLine.ErrorText() << Qt::endl << Qt::endl << commandLine.HelpText();
        err.flush();
        return ciExitUsage;
    }
    const TRunOptions& options = commandLine.Options();
    if (options.eMode == TRunOptions::rmHelp) {
        out << commandLine.HelpText();
        out.flush();
        return ciExitOk;
    }
    if (options.eMode == TRunOptions::rmVersion) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return ciExitOk;
    }

    // The user's settings (EndOnFailure and the rest) are read, never written back.
    try {
        TRegIO::Instance().CurrentUserLoad();
    } catch (const std::exception& e) {
        err << QStringLiteral("Settings not read: ") << ExceptionText(e) << Qt::endl;
    }
    try {
        TCodePage::SetStation(TCodePage::FromSettings(TRegIO::Instance().UserFileName()));
    } catch (const std::exception& e) {
        err << QStringLiteral("Settings: ") << ExceptionText(e)
            << QStringLiteral("; 8-bit files are read and written as ") << TCodePage::Station().Name()
            << Qt::endl;
    }
    TDeviceTypes types;
    RegisterDeviceFamilies(types);
    // "\STX", "\r" and the rest of the escape tags, as the window has them.
    TEscTaggedString::Instance().AddDefaultTags();

    // Messages appear as the log shows them.
    TMsgLog log;
    TConsoleLogPrinter printer(log, out);
    printer.SetLevels(options.bTrace, options.bDebug);
    log.Attach();

    const int iStatus = Run(options, types, log, out, err, bTerminal ? &status : nullptr);
    log.Detach();
    TEscTaggedString::InstanceRelease();
    TMsgClass::ReleaseSingleton();
    return iStatus;
}
