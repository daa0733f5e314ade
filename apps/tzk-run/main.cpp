// The headless runner: runs definition files without the desktop program.

#include "console/ConsoleLoader.h"
#include "console/ConsoleLogPrinter.h"
#include "console/ConsoleRun.h"
#include "console/ExitStatus.h"
#include "console/InterruptHandler.h"
#include "console/OperatorAnswers.h"
#include "console/RunCommandLine.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceList.h"
#include "execution/TestTree.h"
#include "language/DefFilePreprocess.h"
#include "reporting/ErrorReport.h"

#include <QGuiApplication>
#include <QTextStream>

#include <unistd.h>

namespace {

// Loads aOptions.sFile into aTree; the file label becomes the final dialog's caption.
int LoadDefinition(const TRunOptions& aOptions, TTestTree& aTree, TErrorReport& aReport, QString& sCaption,
                   int& iWarnings, QTextStream& aErr)
{
    TConsoleLoader loader(aReport, aOptions.bSkipErrors);
    const ELoadOutcome eOutcome = loader.Load(aOptions.sFile, aTree, aErr);
    sCaption = loader.FileLabel();
    iWarnings = loader.WarningCount();
    if (eOutcome == loLoaded && iWarnings > 0 && aOptions.bWError) {
        aErr << QStringLiteral("%1: %2 warning(s) treated as errors").arg(aOptions.sFile).arg(iWarnings)
             << Qt::endl;
        return ciExitLoadError;
    }
    return LoadExitStatus(eOutcome);
}

int Run(const TRunOptions& aOptions, TMsgLog& aLog, QTextStream& aOut, QTextStream& aErr)
{
    switch (aOptions.eMode) {
    case TRunOptions::rmHelp:
    case TRunOptions::rmVersion:
        break;
    case TRunOptions::rmPreprocess:
        return PreprocessFile(aOptions.sFile, aOut, aErr);
    case TRunOptions::rmCheck: {
        TTestTree tree;
        TErrorReport report;
        QString sCaption;
        int iWarnings = 0;
        const int iStatus = LoadDefinition(aOptions, tree, report, sCaption, iWarnings, aErr);
        if (iStatus == ciExitOk && iWarnings == 0)
            aOut << QStringLiteral("%1: no errors").arg(aOptions.sFile) << Qt::endl;
        else if (iStatus == ciExitOk)
            aOut << QStringLiteral("%1: no errors, %2 warning(s)").arg(aOptions.sFile).arg(iWarnings)
                 << Qt::endl;
        return iStatus;
    }
    case TRunOptions::rmRun: {
        std::optional<TOperatorAnswers> answers;
        try {
            answers = AnswersForOptions(aOptions, STDIN_FILENO, aErr);
        } catch (const std::exception& e) {
            aErr << ExceptionText(e) << Qt::endl;
            return ciExitUsage;
        }
        TInterruptHandler interrupt;
        answers->SetInterruptFd(interrupt.NotifyFd());
        TTestTree tree;
        TErrorReport report;
        QString sCaption;
        int iWarnings = 0;
        const int iStatus = LoadDefinition(aOptions, tree, report, sCaption, iWarnings, aErr);
        if (iStatus != ciExitOk)
            return iStatus;
        TRunContext context{aOut, *answers, &aLog, &report, &interrupt, sCaption};
        return RunProcess(tree, aOptions, context);
    }
    }
    return ciExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    // Printing lays text out with fonts, which takes a GUI application; the runner never shows a
    // window, so it needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZK_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

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
    RegisterSystemDevice();

    // Messages appear as the log shows them.
    TMsgLog log;
    TConsoleLogPrinter printer(log, out);
    printer.SetLevels(options.bTrace, options.bDebug);
    log.Attach();

    const int iStatus = Run(options, log, out, err);
    TDeviceList::InstanceRelease();
    log.Detach();
    TMsgClass::ReleaseSingleton();
    return iStatus;
}
