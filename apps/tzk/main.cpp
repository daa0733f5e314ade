#include "core/MsgClasses.h"
#include "language/DefFileInterpreterBase.h"
#include "ui/Application.h"
#include "ui/DocumentView.h"
#include "ui/formMain.h"

#include "core/RegIO.h"

namespace {

// Reads and checks a definition with its includes; the keyword pass is not part of this
// program yet, so every load ends with errors and nothing to run.
class TReaderLoader : public IDefinitionLoader
{
public:
    explicit TReaderLoader(IDefinitionHost& aHost) : fHost(aHost)
    {
        fReader.SetOnDefineQuery([this](QString& sText) { fHost.DefineQuery(sText); });
    }
    void FileLoad(const QString& sFileName) override { fReader.FileLoad(sFileName); }
    TLoadOutcome LoadDefinition(TTestTree& /*aTree*/) override
    {
        TMsg::Error(QStringLiteral("Definition keywords are not available in this build"));
        return TLoadOutcome::Errors;
    }

private:
    IDefinitionHost& fHost;
    TInterpreterReader fReader;
};

} // namespace

int main(int argc, char** argv)
{
    TDocumentView::PrepareEngine();
    TApplication app(argc, argv);
    app.InstallTerminationHandler();

    TfrmMainSetup setup;
    setup.slArguments = app.arguments().mid(1);
    setup.fLoaderFactory = [](IDefinitionHost& aHost) { return std::make_unique<TReaderLoader>(aHost); };
    setup.fDocumentViewFactory = [](QWidget* aParent) { return new TDocumentView(aParent); };
    int iResult = 0;
    {
        TfrmMain frmMain(std::move(setup));
        frmMain.show();
        iResult = app.exec();
    }
    TRegIO::InstanceRelease();
    return iResult;
}
