// tzk-meter-sim: an MS8218 multimeter on a pseudo-terminal for examples and manual trials. It
// prints the path of the terminal side ("pty <path>") and sends one reading until it is stopped
// (SIGTERM, SIGINT or --exit-after). With --record it writes what it saw of its clients to FILE as
// it stops: one line "connections <n> overlaps <n> most-at-once <n>" (see TMeterSimulator::Use).
//   tzk-meter-sim [--mode <code>] [--digits <n>] [--exponent <n>] [--negative] [--overload]
//                 [--exit-after <seconds>] [--record <file>]
#include "MeterSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t siStopSignal = 0;

void OnStopSignal(int)
{
    siStopSignal = 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    int iMode = 2;
    int iDigits = 0;
    int iExponent = 0;
    int iExitAfter = 0;
    bool bNegative = false;
    bool bOverload = false;
    QString sRecord;
    for (int i = 1; i < args.size(); ++i) {
        const QString& sArg = args.at(i);
        bool bOk = true;
        const int iNext = i + 1 < args.size() ? args.at(i + 1).toInt(&bOk) : 0;
        if (sArg == QLatin1String("--negative")) {
            bNegative = true;
            continue;
        }
        if (sArg == QLatin1String("--overload")) {
            bOverload = true;
            continue;
        }
        if (sArg == QLatin1String("--record") && i + 1 < args.size()) {
            sRecord = args.at(++i);
            continue;
        }
        if (!bOk || i + 1 >= args.size()) {
            std::fprintf(stderr, "tzk-meter-sim: %s needs a number\n", qPrintable(sArg));
            return 2;
        }
        if (sArg == QLatin1String("--mode")) {
            iMode = iNext;
        } else if (sArg == QLatin1String("--digits")) {
            iDigits = iNext;
        } else if (sArg == QLatin1String("--exponent")) {
            iExponent = iNext;
        } else if (sArg == QLatin1String("--exit-after")) {
            iExitAfter = iNext;
        } else {
            std::fprintf(stderr, "usage: tzk-meter-sim [--mode <code>] [--digits <n>] [--exponent <n>] "
                                 "[--negative] [--overload] [--exit-after <s>] [--record <file>]\n");
            return 2;
        }
        ++i;
    }
    TMeterSimulator meter;
    meter.SetFrame(TMeterSimulator::Frame(iMode, iDigits, iExponent, bNegative, bOverload));
    const QString sPath = meter.Start();
    if (sPath.isEmpty()) {
        std::fprintf(stderr, "tzk-meter-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("pty %s\n", qPrintable(sPath));
    std::fflush(stdout);
    if (iExitAfter > 0)
        QTimer::singleShot(iExitAfter * 1000, &app, &QCoreApplication::quit);
    // A stop by signal ends like --exit-after, so that the record is written.
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    QTimer signalPoll;
    QObject::connect(&signalPoll, &QTimer::timeout, &app, [] {
        if (siStopSignal)
            QCoreApplication::quit();
    });
    signalPoll.start(20);
    const int iStatus = app.exec();
    meter.Stop();
    if (!sRecord.isEmpty()) {
        QFile record(sRecord);
        if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "tzk-meter-sim: cannot write %s\n", qPrintable(sRecord));
            return 1;
        }
        record.write(TMeterSimulator::UseText(meter.Use()).toLatin1() + '\n');
    }
    return iStatus;
}
