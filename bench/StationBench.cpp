// Several test sockets of one station side by side, each in a session of its own, all on the one
// main thread: steps that wait on their own unit over TCP, a simulated meter that the sockets
// share, and steps that conclude at once.

#include "BenchLoadHost.h"
#include "BenchRunnerHost.h"
#include "MeterSimulator.h"

#include "core/MsgClasses.h"
#include "devices/DeviceFamilies.h"
#include "execution/DeviceTypes.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "language/Station.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// A unit under test over TCP: answers every line after iDelayMs.
class TSlowUnit
{
public:
    explicit TSlowUnit(int iDelayMs) : fiDelayMs(iDelayMs)
    {
        fServer.listen(QHostAddress::LocalHost);
        QObject::connect(&fServer, &QTcpServer::newConnection, [this] {
            QTcpSocket* pSocket = fServer.nextPendingConnection();
            QObject::connect(pSocket, &QTcpSocket::readyRead, pSocket, [this, pSocket] {
                while (pSocket->canReadLine()) {
                    pSocket->readLine();
                    QTimer::singleShot(fiDelayMs, Qt::PreciseTimer, pSocket,
                                       [pSocket] { pSocket->write("5.02\n"); });
                }
            });
        });
    }
    quint16 Port() const { return fServer.serverPort(); }

private:
    int fiDelayMs;
    QTcpServer fServer;
};

const TDeviceTypes& Types()
{
    static const std::unique_ptr<TDeviceTypes> types = [] {
        auto registered = std::make_unique<TDeviceTypes>();
        RegisterDeviceFamilies(*registered);
        return registered;
    }();
    return *types;
}

// Runs every socket of aStation together once, each with an operator side of its own, and returns
// the wall time in seconds; false in *pbPassed when a socket did not pass. The runners go again.
double RunSockets(TStation& aStation, bool* pbPassed)
{
    std::vector<std::unique_ptr<TBenchRunnerHost>> hosts;
    QEventLoop loop;
    for (int i = 1; i <= aStation.Count(); ++i) {
        hosts.push_back(std::make_unique<TBenchRunnerHost>());
        hosts.back()->fOnDone = [&] {
            for (const auto& host : hosts)
                if (!host->fbDone)
                    return;
            loop.quit();
        };
        TProcessRunner& runner = aStation.AttachRunner(i, *hosts.back());
        runner.AttachJobs();
        runner.SetProcessState(EProcessState::Ready);
    }
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= aStation.Count(); ++i)
        aStation.Session(i).Runner()->Start();
    loop.exec();
    const double rSeconds = double(clock.nsecsElapsed()) / 1e9;
    *pbPassed = true;
    for (const auto& host : hosts)
        *pbPassed = *pbPassed && host->fbPassed;
    for (int i = 1; i <= aStation.Count(); ++i)
        aStation.Session(i).DetachRunner();
    return rSeconds;
}

// Loads the definition sText into every socket, runs all sockets together once and returns the
// wall time in seconds; false in *pbPassed when a socket did not pass.
double RunStation(TStation& aStation, const QString& sText, bool* pbPassed)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("station.TZD")));
    file.open(QIODevice::WriteOnly);
    file.write(sText.toUtf8());
    file.close();
    for (int i = 1; i <= aStation.Count(); ++i) {
        TBenchLoadHost loadHost;
        aStation.Session(i).Load(file.fileName(), loadHost);
        aStation.Loaded(i);
    }
    return RunSockets(aStation, pbPassed);
}

// N sockets, each a plan of 20 steps that wait 100 ms for their own unit over TCP.
void BM_SocketsWaitingOnTheirUnits(benchmark::State& state)
{
    const int iSockets = int(state.range(0));
    std::vector<std::unique_ptr<TSlowUnit>> units;
    QString sText;
    for (int i = 1; i <= iSockets; ++i) {
        units.push_back(std::make_unique<TSlowUnit>(100));
        sText += QStringLiteral("%1 __Socket = %2\r\n#define PORT %3\r\n")
                     .arg(i == 1 ? QStringLiteral("#if") : QStringLiteral("#elif"))
                     .arg(i)
                     .arg(units.back()->Port());
    }
    sText += QStringLiteral("#endif\r\nSet(Float; rValue)\r\n"
                            "Device.Create(TCP.Client; Dut; 2000; 127.0.0.1:PORT)\r\n"
                            "Test.Case(\"Plan\")\r\n{\r\n    Dut.Open(\"Connect\")\r\n");
    for (int s = 1; s <= 20; ++s)
        sText +=
            QStringLiteral(
                "    Dut.Evaluate.Value(\"Step %1\"; \"MEAS?\\0A\"; \"\"; \"\\0A\"; 4.5; 5.5; rValue)\r\n")
                .arg(s);
    sText += QStringLiteral("    Dut.Close(\"Disconnect\")\r\n}\r\n");
    for (auto _ : state) {
        TStation station(iSockets, &Types(), nullptr);
        bool bPassed = false;
        state.SetIterationTime(RunStation(station, sText, &bPassed));
        if (!bPassed)
            state.SkipWithError("a socket failed");
    }
}
BENCHMARK(BM_SocketsWaitingOnTheirUnits)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Eight sockets share one simulated multimeter on a pseudo-terminal (the tests' meter simulator):
// each socket's test case opens it, takes three readings and closes it. The meter's serial time is
// eight times what one socket alone takes for the same test case, measured in the same iteration
// just before; the station should add little to it while it hands the meter from socket to socket.
void BM_EightSocketsShareOneMeter(benchmark::State& state)
{
    constexpr int ciSockets = 8;
    TMeterSimulator meter;
    meter.SetFrame(TMeterSimulator::Frame(2, 12345));
    const QString sLine = meter.Start();
    if (sLine.isEmpty()) {
        state.SkipWithError("no pseudo-terminal for the meter");
        return;
    }
    QString sText = QStringLiteral("Set(Float; rValue)\r\nDevice.Shared(Instrument; DMM; MS8218; %1)\r\n"
                                   "Test.Case(\"Measure\")\r\n{\r\n    DMM.Open(\"Reading on\")\r\n")
                        .arg(sLine);
    for (int r = 1; r <= 3; ++r)
        sText +=
            QStringLiteral("    DMM.Check(\"Reading %1\"; \"DC02:0.001\"; 3; 11.9; 12.6; rValue)\r\n").arg(r);
    sText += QStringLiteral("    DMM.Close(\"Reading off\")\r\n}\r\n");
    double rOneSocket = 0.0;
    double rShared = 0.0;
    for (auto _ : state) {
        bool bPassed = false;
        {
            TStation alone(1, &Types(), nullptr);
            rOneSocket += RunStation(alone, sText, &bPassed);
        }
        TStation station(ciSockets, &Types(), nullptr);
        bool bAllPassed = false;
        const double rSeconds = RunStation(station, sText, &bAllPassed);
        rShared += rSeconds;
        state.SetIterationTime(rSeconds);
        if (!bPassed || !bAllPassed)
            state.SkipWithError("a socket failed");
    }
    const double rIterations = double(state.iterations());
    state.counters["one_socket_ms"] = 1000.0 * rOneSocket / rIterations;
    state.counters["serial_time_ms"] = 1000.0 * ciSockets * rOneSocket / rIterations;
    state.counters["vs_serial_time"] = rShared / (ciSockets * rOneSocket);
    // Every socket opened the meter's line in its turn, never two at once.
    const TMeterSimulator::TUse use = meter.Use();
    state.counters["meter_opens"] = use.iConnections;
    state.counters["meter_overlaps"] = use.iOverlaps;
    if (use.iOverlaps != 0)
        state.SkipWithError("two sockets had the meter's line open at once");
}
BENCHMARK(BM_EightSocketsShareOneMeter)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// N sockets of 100,000 steps each that conclude at once: the steps per second of the station.
void BM_SynchronousSteps(benchmark::State& state)
{
    const int iSockets = int(state.range(0));
    constexpr int ciSteps = 100000;
    for (auto _ : state) {
        TStation station(iSockets, &Types(), nullptr);
        std::vector<std::unique_ptr<TDevice>> devices;
        for (int i = 1; i <= iSockets; ++i) {
            TSession& session = station.Session(i);
            class TStepDevice : public TDevice
            {
            public:
                using TDevice::TDevice;
                void Init(const QString&) override {}
            };
            devices.push_back(std::make_unique<TStepDevice>(session.Context()));
            TCommand* pCmd = devices.back()->AddCommand(QStringLiteral("S1"),
                                                        std::make_unique<TInstantCmd>(devices.back().get()));
            for (int s = 0; s < ciSteps; ++s)
                TJob::CreateNewJob(QStringLiteral("Step"), session.Tree(), nullptr, pCmd, ecWorkCase, false);
        }
        bool bPassed = false;
        const double rSeconds = RunSockets(station, &bPassed);
        if (!bPassed)
            state.SkipWithError("a socket did not pass");
        state.SetIterationTime(rSeconds);
        state.counters["steps_per_s"] = double(iSockets) * ciSteps / rSeconds;
        for (int i = 1; i <= iSockets; ++i)
            station.Session(i).Tree().Clear();
    }
}
BENCHMARK(BM_SynchronousSteps)->Arg(1)->Arg(8)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
