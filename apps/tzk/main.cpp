#include "console/ConsoleLogPrinter.h"
#include "core/MsgClasses.h"
#include "devices/DeviceFamilies.h"
#include "execution/DeviceList.h"
#include "ui/Application.h"
#include "ui/DocumentView.h"
#include "ui/WidgetOperatorDialogs.h"
#include "ui/formMain.h"

#include "core/RegIO.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// TZK_LOG_FILE names a file that receives every line of the message log as the window shows it,
// so that an unattended run (and its tests) can read what the operator would have seen.
class TLogFile
{
public:
    TLogFile(const QString& sFileName, TMsgLog& aLog) : fFile(sFileName)
    {
        if (!fFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            TMsg::Warning(QStringLiteral("Cannot write the log file \"%s\": %s"),
                          {sFileName, fFile.errorString()});
            return;
        }
        fStream.setDevice(&fFile);
        fPrinter = std::make_unique<TConsoleLogPrinter>(aLog, fStream);
    }

private:
    QFile fFile;
    QTextStream fStream;
    std::unique_ptr<TConsoleLogPrinter> fPrinter;
};

const char* const csHelp =
    "Usage: tzk [+File:DEFINITION | DEFINITION] [+AutoStart] [+DebugOn]\n"
    "The desktop program of the TZK test sequencer: the operator opens a test definition (.TZD),\n"
    "starts it, answers its questions and sees each step and the unit passed or failed.\n"
    "\n"
    "Options:\n"
    "  +File:DEFINITION  load this definition at the start instead of the last one\n"
    "  DEFINITION        the same as +File:DEFINITION\n"
    "  +AutoStart        start the test process once the definition is loaded\n"
    "  +DebugOn          show debug messages and name the operator \"De Bug\"\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Environment:\n"
    "  TZK_LOG_FILE      append every line of the message log to this file\n"
    "\n"
    "The headless runner tzk-run runs a definition without a window.\n";

// --help and --version are answered before the web engine and the window system start, so that
// they work without a display.
std::optional<int> AnswerInformationOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(csHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tzk %s\n", TZK_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> iStatus = AnswerInformationOption(argc, argv))
        return *iStatus;
    TDocumentView::PrepareEngine();
    TApplication app(argc, argv);
    app.InstallTerminationHandler();

    TDeviceTypes types;
    RegisterDeviceFamilies(types);

    TfrmMainSetup setup;
    setup.slArguments = app.arguments().mid(1);
    setup.pTypes = &types;
    setup.fDocumentViewFactory = [](QWidget* aParent) { return new TDocumentView(aParent); };
    int iResult = 0;
    {
        TfrmMain frmMain(std::move(setup));
        const QString sLogFile = qEnvironmentVariable("TZK_LOG_FILE");
        std::unique_ptr<TLogFile> logFile;
        if (!sLogFile.isEmpty())
            logFile = std::make_unique<TLogFile>(sLogFile, frmMain.MsgLog());
        frmMain.show();
        iResult = app.exec();
    }
    TRegIO::InstanceRelease();
    return iResult;
}
