#include "AxcsStandIn.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>

// Serves org.tzk.Axcs on the session bus (or the bus given with --bus) until it is ended. Prints
// "ready" on standard output once the name is owned, so that whoever started it knows when to go on.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-axcs-standin"));
    QCoreApplication::setApplicationVersion(QStringLiteral("V1.0"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A stand-in automation server for the AXCC device."));
    parser.addHelpOption();
    const QCommandLineOption bus(QStringLiteral("bus"), QStringLiteral("The D-Bus address to serve on."),
                                 QStringLiteral("address"));
    parser.addOption(bus);
    parser.process(app);

    QDBusConnection connection =
        parser.isSet(bus) ? QDBusConnection::connectToBus(parser.value(bus), QStringLiteral("axcs"))
                          : QDBusConnection::sessionBus();
    if (!connection.isConnected()) {
        std::fprintf(stderr, "tzk-axcs-standin: no bus: %s\n", qPrintable(connection.lastError().message()));
        return 1;
    }
    TAxcsStandIn server(connection);
    if (!connection.registerObject(QStringLiteral("/org/tzk/Axcs"), &server,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)) {
        std::fprintf(stderr, "tzk-axcs-standin: cannot register /org/tzk/Axcs\n");
        return 1;
    }
    if (!connection.registerService(QStringLiteral("org.tzk.Axcs"))) {
        std::fprintf(stderr, "tzk-axcs-standin: cannot own org.tzk.Axcs: %s\n",
                     qPrintable(connection.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
