#include "PortTestFixture.h"

#include "devices/ports/DevicePortTcp.h"

#include "DutSimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace ports;

namespace {

class DevicePortTcpTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fuPort = fSim.ListenTcp();
        ASSERT_NE(fuPort, 0);
    }
    TDevicePortTcp& Client(int iTimeout = 1000, quint16 uPort = 0)
    {
        return Device<TDevicePortTcp>(
            QStringLiteral("TCP.Client; Dut; %1; 127.0.0.1:%2").arg(iTimeout).arg(uPort ? uPort : fuPort));
    }
    QString Id() const { return QStringLiteral("TCP client 127.0.0.1:%1").arg(fuPort); }
    // A loopback port on which nothing listens.
    static quint16 ClosedPort()
    {
        TDutSimulator probe;
        return probe.ListenTcp(); // closed again when the probe goes
    }

    TDutSimulator fSim;
    quint16 fuPort = 0;
};

TEST_F(DevicePortTcpTest, ExchangeWithTheDevice)
{
    fSim.AddRule({"*IDN?\n", {"SIM,", "TZK\n"}, 20, false});
    fSim.AddRule({"MEAS?\n", {"U=12.25\n"}, 0, false});
    TDevicePortTcp& tcp = Client();
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("TCP.Client"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("Port: TCP Client"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.01"));
    EXPECT_EQ(tcp.PortId(), Id());

    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged("Trace: TCP.Client - TCP client connecting"));
    EXPECT_TRUE(Logged("Trace: TCP.Client - TCP client connection established"));
    EXPECT_EQ(tcp.Client().State(), TTcpBase::ciEstablished);

    // A response in two reads: each trace shows the whole buffer so far.
    TCommand* idn = Make(tcp, "Send", "\"i\";*IDN?\\n;;\\n;SIM,TZK");
    EXPECT_EQ(Run(idn), crOk);
    EXPECT_EQ(fSim.Received(), QByteArray("*IDN?\n"));
    EXPECT_TRUE(Logged(Id() + ": <\"SIM,\";  53 49 4D 2C"));
    EXPECT_TRUE(Logged(Id() + ": <\"SIM,TZK\\0A\";  53 49 4D 2C 54 5A 4B 0A"));
    EXPECT_TRUE(Logged(Id() + ": >\"*IDN?\\0A\";  2A 49 44 4E 3F 0A"));
    EXPECT_TRUE(Logged("Debug: TCP.Client - Tx *IDN?\n"));

    TCommand* value = Make(tcp, "Evaluate.Value", "\"v\";MEAS?\\n;U=;\\n;12;12.5");
    EXPECT_EQ(Run(value), crOk);

    // Silence: the timer concludes.
    TCommand* silent = Make(tcp, "Send", "\"s\";NOTHING\\n;;\\n;OK");
    EXPECT_EQ(Run(silent), crFailed);
    EXPECT_EQ(silent->ErrorText(), QStringLiteral("Timeout!"));

    // A second Open keeps the connection.
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged("Warning: " + Id() + " already open."));
    EXPECT_EQ(fSim.ConnectionCount(), 1);

    EXPECT_EQ(Run(Make(tcp, "Close", "\"c\"")), crOk);
    ASSERT_TRUE(RunEventsUntil([&] { return tcp.Client().State() == TTcpBase::ciDisconnected; }));
    TCommand* closed = Make(tcp, "Send", "\"x\";*IDN?\\n;;\\n;SIM,TZK");
    EXPECT_EQ(Run(closed), crFailed);
    EXPECT_EQ(closed->ErrorText(), Id() + " send failed!");
}

TEST_F(DevicePortTcpTest, PeerClosesTheConnection)
{
    fSim.AddRule({"BYE\n", {"OK\n"}, 0, true});
    TDevicePortTcp& tcp = Client();
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(tcp, "Send", "\"b\";BYE\\n;;\\n;OK")), crOk);
    ASSERT_TRUE(RunEventsUntil([&] { return tcp.Client().State() == TTcpBase::ciDisconnected; }));
    EXPECT_TRUE(Logged("Trace: TCP.Client - TCP client disconnect"));
    EXPECT_FALSE(LoggedContaining("TCP connection error")) << "a closing peer is no error";

    TCommand* after = Make(tcp, "Send", "\"a\";PING\\n;;\\n;PONG");
    Start(after);
    EXPECT_EQ(Conclusions(after), 1) << "the failed send concludes at once";
    EXPECT_EQ(after->CmdResult(), crFailed);
    EXPECT_EQ(after->ErrorText(), Id() + " send failed!");
    EXPECT_TRUE(Logged("Error: TCP.Client - Invalid state (2) to send data"));

    // Open connects again.
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(fSim.ConnectionCount(), 2);
}

TEST_F(DevicePortTcpTest, ResetConnectionIsAnErrorWithItsCode)
{
    // A peer that answers a request by resetting the connection (a zero linger time makes its
    // close a reset).
    QTcpServer peer;
    ASSERT_TRUE(peer.listen(QHostAddress::LocalHost));
    std::unique_ptr<QTcpSocket> connection;
    QObject::connect(&peer, &QTcpServer::newConnection, [&] {
        connection.reset(peer.nextPendingConnection());
        QObject::connect(connection.get(), &QIODevice::readyRead, [&] {
            const linger noLinger{1, 0};
            ::setsockopt(int(connection->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger,
                         sizeof noLinger);
            connection->abort();
        });
    });
    TDevicePortTcp& tcp = Client(3000, peer.serverPort());
    const QString sId = QStringLiteral("TCP client 127.0.0.1:%1").arg(peer.serverPort());
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);

    TCommand* send = Make(tcp, "Send", "\"s\";PING\\n;;\\n;PONG");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Run(send), crFailed);
    EXPECT_LT(clock.elapsed(), 1500) << "the step does not wait out its timeout";
    EXPECT_EQ(send->ErrorText(), sId + " \"TCP connection error: 10054\"");
    EXPECT_EQ(tcp.Client().State(), TTcpBase::ciError);
    EXPECT_TRUE(Logged("Trace: TCP.Client - TCP connection error: 10054"));
    EXPECT_TRUE(Logged("Error: " + sId + " \"TCP connection error: 10054\""));
    EXPECT_FALSE(Logged("Trace: TCP.Client - TCP client disconnect")) << "the error ended the connection";

    TCommand* after = Make(tcp, "Send", "\"a\";PING\\n;;\\n;PONG");
    EXPECT_EQ(Run(after), crFailed);
    EXPECT_EQ(after->ErrorText(), sId + " send failed!");
    EXPECT_TRUE(Logged("Error: TCP.Client - Invalid state (1) to send data"));

    // Open connects again.
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(tcp.Client().State(), TTcpBase::ciEstablished);
}

TEST_F(DevicePortTcpTest, DumpsOfLongReadsAreBounded)
{
    TDevicePortTcp& tcp = Client(300);
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    TCommand* wait = Make(tcp, "WaitForResponse", "\"w\";;\\n;OK");
    Start(wait);
    fSim.SendToAll(QByteArray(3000, 'z'));
    ASSERT_TRUE(WaitConcluded(wait));
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Timeout!"));
    // The last trace shows the head of the whole buffer and counts the rest.
    EXPECT_TRUE(LoggedContaining(QStringLiteral(" 7A ... (+%1 bytes)").arg(3000 - ciDumpHeadBytes)));
    bool bRx = false;
    for (const auto& line : fLog.Lines()) {
        EXPECT_LT(line.sText.size(), 4 * ciDumpHeadBytes + 200) << line.sText.left(80).toStdString();
        bRx = bRx || line.sText.contains(QLatin1String("TCP.Client - Rx zzz"));
    }
    EXPECT_TRUE(bRx);
}

// The resident and the peak resident size of this process in kB.
qint64 StatusKb(const char* sField)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(sField))
            return line.mid(int(qstrlen(sField))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

TEST_F(DevicePortTcpTest, FloodingPeerKeepsMemoryBounded)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer keeps freed memory in quarantine";
#endif
    // A peer thread that sends 200 MB without a frame end, each send bounded in time.
    const int iListen = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(iListen, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    ASSERT_EQ(::bind(iListen, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(iListen, 1), 0);
    ASSERT_EQ(::getsockname(iListen, reinterpret_cast<sockaddr*>(&address), &nLength), 0);
    constexpr qint64 ciFlood = 200LL * 1024 * 1024;
    std::atomic<qint64> iSent{0};
    std::atomic<bool> bDone{false};
    std::thread flooder([&] {
        pollfd wait{iListen, POLLIN, 0};
        if (::poll(&wait, 1, 10000) == 1) {
            const int iPeer = ::accept(iListen, nullptr, nullptr);
            const timeval limit{10, 0};
            ::setsockopt(iPeer, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            const QByteArray block(64 * 1024, 'f');
            while (iSent < ciFlood) {
                const ssize_t n = ::send(iPeer, block.constData(), std::size_t(block.size()), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                iSent += n;
            }
            ::close(iPeer);
        }
        bDone = true;
    });

    TDevicePortTcp& tcp = Client(1000, ntohs(address.sin_port));
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool bPeakReset = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    clearRefs.close();
    const qint64 iBefore = StatusKb(bPeakReset ? "VmRSS:" : "VmHWM:");
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    TCommand* wait = Make(tcp, "WaitForResponse", "\"w\";;\\n;OK");
    Start(wait);
    const bool bFlooded = RunEventsUntil([&] { return bDone.load(); }, 120000);
    Idle(100);
    const qint64 iPeak = StatusKb("VmHWM:");
    flooder.join();
    ::close(iListen);

    ASSERT_TRUE(bFlooded);
    EXPECT_EQ(iSent.load(), ciFlood);
    ASSERT_TRUE(WaitConcluded(wait));
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Timeout!"));
    EXPECT_LE(tcp.RxData().size(), TDevicePortBase::ciRxDataLimit);
    EXPECT_LT(iPeak - iBefore, 50 * 1024)
        << "peak resident size grew from " << iBefore << " kB to " << iPeak << " kB";
}

TEST_F(DevicePortTcpTest, RefusedConnectionFailsAtOnce)
{
    const quint16 uClosed = ClosedPort();
    TDevicePortTcp& tcp = Client(1000, uClosed);
    const QString sId = QStringLiteral("TCP client 127.0.0.1:%1").arg(uClosed);
    TCommand* open = Make(tcp, "Open", "\"o\"");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Run(open), crFailed);
    EXPECT_LT(timer.elapsed(), TDevicePortTcp::ciConnectWait / 2) << "no waiting out a definite refusal";
    EXPECT_EQ(open->ErrorText(), QStringLiteral("Cannot open port!"));
    EXPECT_TRUE(Logged("Error: " + sId + " \"TCP connection error: 10061\""));
    EXPECT_TRUE(Logged("Error: Cannot open port \"" + sId + "\"!"));
    EXPECT_TRUE(LoggedContaining(sId + " connection error \"TCP connection error: 10061\"!"));
    EXPECT_TRUE(LoggedContaining("ID: 24010A:0"));

    // The error is the port's until the next send clears it.
    TCommand* send = Make(tcp, "Send", "\"s\";X;;;OK");
    EXPECT_EQ(Run(send), crFailed);
    EXPECT_EQ(send->ErrorText(), sId + " send failed!");
}

TEST_F(DevicePortTcpTest, AddressWithoutPortFailsAtOnce)
{
    TDevicePortTcp& tcp = Device<TDevicePortTcp>(QStringLiteral("TCP.Client; Dut; 1000; 127.0.0.1"));
    EXPECT_EQ(tcp.PortId(), QStringLiteral("TCP client 127.0.0.1"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crFailed);
    EXPECT_LT(timer.elapsed(), TDevicePortTcp::ciConnectWait / 2);
    EXPECT_TRUE(LoggedContaining("TCP client 127.0.0.1 connection error \"\"!"));
}

TEST_F(DevicePortTcpTest, InstructRetargets)
{
    TDevicePortTcp& tcp = Device<TDevicePortTcp>(QStringLiteral("TCP.Client; Dut; 1000; dut.invalid:1"));
    struct
    {
        const char* sStatement;
        const char* sId;
    } const steps[] = {
        {"10.0.0.9", "TCP client 10.0.0.9:1"},
        {":8000", "TCP client 10.0.0.9:8000"},
        {"station:0", "TCP client station:8000"},
        {"", "TCP client station:8000"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(Run(Make(tcp, "Instruct", QStringLiteral("\"i\";") + step.sStatement)), crDone);
        EXPECT_EQ(tcp.PortId().toStdString(), step.sId) << step.sStatement;
    }
    // Variables are inserted; the next Open goes to the new address.
    TVariableManager::Instance().SetValue(QStringLiteral("iPort"), int(fuPort));
    EXPECT_EQ(Run(Make(tcp, "Instruct", "\"i\";127.0.0.1:%iPort")), crDone);
    EXPECT_EQ(tcp.PortId(), Id());
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(fSim.ConnectionCount(), 1);
}

TEST_F(DevicePortTcpTest, HostNameIsLookedUp)
{
    fSim.SetEcho(true);
    TDevicePortTcp& tcp =
        Device<TDevicePortTcp>(QStringLiteral("TCP.Client; Dut; 1000; localhost:%1").arg(fuPort));
    EXPECT_EQ(tcp.Address().Host, QStringLiteral("localhost"));
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged("Trace: TCP.Client - TCP client look up"));
    EXPECT_EQ(Run(Make(tcp, "Send", "\"e\";echo;;;echo")), crOk);
}

} // namespace
