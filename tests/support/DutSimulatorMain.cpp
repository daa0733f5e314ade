// tzk-dut-sim: a device under test for examples and manual trials. It listens on a TCP port of
// 127.0.0.1 (with --udp: takes datagrams on a UDP port) and answers the dialogue of a script file
// (see TDutSimulator::ParseDialogue).
//   tzk-dut-sim --script <file> [--port <n>] [--udp] [--echo] [--exit-after <seconds>]
#include "DutSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    TDutSimulator simulator;
    quint16 uPort = 0;
    int iExitAfter = 0;
    bool bUdp = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& sArg = args.at(i);
        const QString sNext = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (sArg == QLatin1String("--script")) {
            QFile file(sNext);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "tzk-dut-sim: cannot read %s\n", qPrintable(sNext));
                return 2;
            }
            for (TDutRule& rule : TDutSimulator::ParseDialogue(QString::fromLatin1(file.readAll())))
                simulator.AddRule(std::move(rule));
            ++i;
        } else if (sArg == QLatin1String("--port")) {
            uPort = quint16(sNext.toUInt());
            ++i;
        } else if (sArg == QLatin1String("--exit-after")) {
            iExitAfter = sNext.toInt();
            ++i;
        } else if (sArg == QLatin1String("--udp")) {
            bUdp = true;
        } else if (sArg == QLatin1String("--echo")) {
            simulator.SetEcho(true);
        } else {
            std::fprintf(
                stderr,
                "usage: tzk-dut-sim --script <file> [--port <n>] [--udp] [--echo] [--exit-after <s>]\n");
            return 2;
        }
    }
    const quint16 uListening = bUdp ? simulator.ListenUdp(uPort) : simulator.ListenTcp(uPort);
    if (uListening == 0) {
        std::fprintf(stderr, "tzk-dut-sim: cannot listen on port %u\n", unsigned(uPort));
        return 1;
    }
    std::printf("listening on %u\n", unsigned(uListening));
    std::fflush(stdout);
    if (iExitAfter > 0)
        QTimer::singleShot(iExitAfter * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
