#include "ui/Application.h"

#include <QtGlobal>

#include <memory>

// The widget tests run on the off-screen platform with the program's own application object.
std::unique_ptr<QCoreApplication> TzkCreateTestApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<TApplication>(argc, argv);
}
