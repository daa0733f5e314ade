#include "ui/Application.h"
#include "ui/DocumentView.h"

#include <QtGlobal>

#include <memory>

// The web view's tests: the engine is prepared before the application object, as the program does.
std::unique_ptr<QCoreApplication> TzkCreateTestApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TDocumentView::PrepareEngine();
    return std::make_unique<TApplication>(argc, argv);
}
