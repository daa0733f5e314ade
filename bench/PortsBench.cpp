// Request and response through a port device, one runner step per exchange, against the same
// exchange on a bare socket (or terminal) in the same process: what the port framework adds to a
// round trip.

#include "BenchRunnerHost.h"

#include "devices/ports/DevicePortRs232.h"
#include "devices/ports/DevicePortTcp.h"

#include "core/MsgClasses.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/RunnerHost.h"
#include "execution/TestTree.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

const QByteArray caRequest("MEAS:VOLT?\n");

// Answers every request line with a fixed response, on the main thread like a simulator would.
class TEchoServer
{
public:
    TEchoServer()
    {
        QObject::connect(&fServer, &QTcpServer::newConnection, &fServer, [this] {
            while (QTcpSocket* pSocket = fServer.nextPendingConnection())
                QObject::connect(pSocket, &QIODevice::readyRead, pSocket, [pSocket] {
                    const QByteArray data = pSocket->readAll();
                    for (int i = 0; i < data.count('\n'); ++i)
                        pSocket->write("U=5.02\n");
                });
        });
        fServer.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return fServer.serverPort(); }

private:
    QTcpServer fServer;
};

// The same device on the simulator's side of a pseudo-terminal.
class TPtyEcho
{
public:
    TPtyEcho()
    {
        fiMaster = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(fiMaster);
        unlockpt(fiMaster);
        fsPath = QString::fromLocal8Bit(ptsname(fiMaster));
        termios settings{};
        tcgetattr(fiMaster, &settings);
        cfmakeraw(&settings);
        tcsetattr(fiMaster, TCSANOW, &settings);
        fNotifier = std::make_unique<QSocketNotifier>(fiMaster, QSocketNotifier::Read);
        QObject::connect(fNotifier.get(), &QSocketNotifier::activated, fNotifier.get(), [this] {
            char buffer[256];
            const ssize_t n = ::read(fiMaster, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[i] == '\n')
                    (void)!::write(fiMaster, "U=5.02\n", 7);
        });
    }
    ~TPtyEcho()
    {
        fNotifier.reset();
        ::close(fiMaster);
    }
    const QString& Path() const { return fsPath; }

private:
    int fiMaster = -1;
    QString fsPath;
    std::unique_ptr<QSocketNotifier> fNotifier;
};

// iExchanges runner steps, each a Send of the request with its expected response.
void RunExchanges(benchmark::State& state, TDevice& aPort)
{
    const int iExchanges = int(state.range(0));
    TCommand* pSend = aPort.Command(QStringLiteral("Send"))
                          ->Init(QStringLiteral("Send"), QStringLiteral("\"m\";MEAS:VOLT?\\0A;;\\0A;U=5.02"));
    TTestTree tree;
    for (int i = 0; i < iExchanges; ++i)
        TJob::CreateNewJob(QStringLiteral("Exchange"), tree, nullptr, pSend, ecWorkCase, false);
    TBenchRunnerHost host;
    TProcessRunner runner(tree, host, BenchContext());
    runner.AttachJobs();
    runner.SetProcessState(EProcessState::Ready);
    for (auto _ : state) {
        runner.Start();
        host.fLoop.exec();
        if (!host.fbPassed)
            state.SkipWithError("an exchange failed");
    }
    state.counters["us_per_exchange"] =
        benchmark::Counter(double(iExchanges) * double(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TcpThroughTzk(benchmark::State& state)
{
    TEchoServer server;
    ports::TDevicePortTcp port(BenchContext());
    port.Init(QStringLiteral("TCP.Client; Dut; 2000; 127.0.0.1:%1").arg(server.Port()));
    port.Open();
    RunExchanges(state, port);
    port.Close();
}
BENCHMARK(BM_TcpThroughTzk)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same exchange on a bare channel: write, then let the event loop run until the whole
// response is there.
void RunBareExchanges(benchmark::State& state, QIODevice& aChannel)
{
    const int iExchanges = int(state.range(0));
    QByteArray received;
    for (auto _ : state) {
        for (int i = 0; i < iExchanges; ++i) {
            aChannel.write(caRequest);
            received.clear();
            while (!received.endsWith('\n')) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                received += aChannel.readAll();
            }
            if (received != "U=5.02\n")
                state.SkipWithError("wrong response");
        }
    }
    state.counters["us_per_exchange"] =
        benchmark::Counter(double(iExchanges) * double(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TcpBare(benchmark::State& state)
{
    TEchoServer server;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.Port());
    while (socket.state() != QAbstractSocket::ConnectedState)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    RunBareExchanges(state, socket);
}
BENCHMARK(BM_TcpBare)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_PtyThroughTzk(benchmark::State& state)
{
    TPtyEcho device;
    ports::TDevicePortRs232 port(BenchContext());
    port.Init(QStringLiteral("RS232; Dut; 2000; %1; 115200; 0").arg(device.Path()));
    port.Open();
    RunExchanges(state, port);
    port.Close();
}
BENCHMARK(BM_PtyThroughTzk)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_PtyBare(benchmark::State& state)
{
    TPtyEcho device;
    QSerialPort serial;
    serial.setPortName(device.Path());
    serial.open(QIODevice::ReadWrite);
    serial.setBaudRate(115200);
    RunBareExchanges(state, serial);
}
BENCHMARK(BM_PtyBare)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace
