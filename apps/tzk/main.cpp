#include "core/MsgClasses.h"
#include "devices/system/DeviceSys.h"
#include "ui/Application.h"
#include "ui/DocumentView.h"
#include "ui/InterpreterLoader.h"
#include "ui/formMain.h"

#include "core/RegIO.h"

int main(int argc, char** argv)
{
    TDocumentView::PrepareEngine();
    TApplication app(argc, argv);
    app.InstallTerminationHandler();

    RegisterSystemDevice();

    TfrmMainSetup setup;
    setup.slArguments = app.arguments().mid(1);
    setup.fLoaderFactory = CreateInterpreterLoader;
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
