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

#include <memory>

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

} // namespace

int main(int argc, char** argv)
{
    TDocumentView::PrepareEngine();
    TApplication app(argc, argv);
    app.InstallTerminationHandler();

    RegisterDeviceFamilies();

    TfrmMainSetup setup;
    setup.slArguments = app.arguments().mid(1);
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
