// tzk-meter-sim: an MS8218 multimeter on a pseudo-terminal for examples and manual trials. It
// prints the path of the terminal side ("pty <path>") and sends one reading until it is stopped.
//   tzk-meter-sim [--mode <code>] [--digits <n>] [--exponent <n>] [--negative] [--overload]
//                 [--exit-after <seconds>]
#include "MeterSimulator.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>

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
                                 "[--negative] [--overload] [--exit-after <s>]\n");
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
    return app.exec();
}
