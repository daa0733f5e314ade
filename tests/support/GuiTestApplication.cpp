#include <QGuiApplication>
#include <QtGlobal>

#include <memory>

// Printing lays text out with real fonts, which takes a GUI application; these suites run it on
// the off-screen platform.
std::unique_ptr<QCoreApplication> TzkCreateTestApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}
