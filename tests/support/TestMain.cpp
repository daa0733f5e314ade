#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// A suite that needs a GUI application defines this; the others run with a core application.
std::unique_ptr<QCoreApplication> TzkCreateTestApplication(int& argc, char** argv) __attribute__((weak));

// Every test process gets its own HOME and XDG folders, so that no test reads or writes the
// user's settings and no test depends on another.
int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary HOME\n");
        return 1;
    }
    const QByteArray aHome = home.path().toUtf8();
    qputenv("HOME", aHome);
    qputenv("XDG_CONFIG_HOME", aHome + "/.config");
    qputenv("XDG_DATA_HOME", aHome + "/.local/share");
    qputenv("XDG_CACHE_HOME", aHome + "/.cache");
    qputenv("XDG_RUNTIME_DIR", aHome + "/runtime");
    QDir().mkpath(home.filePath(QStringLiteral(".config")));
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("LC_ALL", "C");
    const std::unique_ptr<QCoreApplication> app = TzkCreateTestApplication
                                                      ? TzkCreateTestApplication(argc, argv)
                                                      : std::make_unique<QCoreApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
