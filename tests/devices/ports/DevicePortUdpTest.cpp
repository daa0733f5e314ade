#include "PortTestFixture.h"
#include "UdpPeer.h"

#include "devices/ports/DevicePortUdp.h"
#include "transport/UdpSocket.h"

#include <QEventLoop>
#include <QTimer>

#include <ctime>

using namespace ports;

namespace {

class DevicePortUdpTest : public PortTest
{
protected:
    TDevicePortUdp& Udp(quint16 uListen, quint16 uDestination, int iTimeout = 1000)
    {
        return Device<TDevicePortUdp>(
            QStringLiteral("UDP; Dut; %1; 127.0.0.1:%2; %3").arg(iTimeout).arg(uDestination).arg(uListen));
    }
};

TEST_F(DevicePortUdpTest, ExchangeWithTheDevice)
{
    TUdpPeer peer;
    peer.Answer({"SIM,", "TZK\n"});
    const quint16 uListen = FreeUdpPort();
    TDevicePortUdp& udp = Udp(uListen, peer.Port());
    QString sName, sVersion;
    udp.Info(sName, sVersion);
    EXPECT_EQ(sName, QStringLiteral("Port: UDP"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.03"));
    const QString sId = QStringLiteral("UDP127.0.0.1:%1,%2").arg(peer.Port()).arg(uListen);
    EXPECT_EQ(udp.PortId(), sId);

    // Not open yet.
    TCommand* early = Make(udp, "Send", "\"e\";*IDN?\\n;;\\n;SIM,TZK");
    EXPECT_EQ(Run(early), crFailed);
    EXPECT_EQ(early->ErrorText(), QStringLiteral("UDP is not open!"));
    EXPECT_TRUE(Logged(
        QStringLiteral("Error: UDP Socket 127.0.0.1:%1,%2 is not open!").arg(peer.Port()).arg(uListen)));

    EXPECT_EQ(Run(Make(udp, "Open", "\"o\"")), crOk);
    ASSERT_NE(udp.Socket(), nullptr);
    EXPECT_EQ(udp.Socket()->LocalPort(), uListen);

    // A response in two datagrams: each trace shows the whole buffer so far.
    EXPECT_EQ(Run(Make(udp, "Send", "\"i\";*IDN?\\n;;\\n;SIM,TZK")), crOk);
    EXPECT_EQ(peer.Received(), QByteArray("*IDN?\n"));
    const QString sPeer = QStringLiteral("UDP 127.0.0.1:%1: ").arg(peer.Port());
    EXPECT_TRUE(Logged(sPeer + ">\"*IDN?\\0A\";  2A 49 44 4E 3F 0A"));
    EXPECT_TRUE(Logged(sPeer + "<\"SIM,\";  53 49 4D 2C"));
    EXPECT_TRUE(Logged(sPeer + "<\"SIM,TZK\\0A\";  53 49 4D 2C 54 5A 4B 0A"));

    // A datagram from an unrelated sender is taken like a response.
    TUdpPeer stranger;
    TCommand* wait = Make(udp, "Send", "\"w\";;;\\n;READY");
    Start(wait);
    EXPECT_TRUE(Logged("Trace: UDP : No command wait for data only"));
    stranger.SendTo(uListen, "READY\n");
    ASSERT_TRUE(WaitConcluded(wait));
    EXPECT_EQ(wait->CmdResult(), crOk);
    EXPECT_TRUE(
        Logged(QStringLiteral("UDP 127.0.0.1:%1: <\"READY\\0A\";  52 45 41 44 59 0A").arg(stranger.Port())));

    // A second Open only warns; Close frees the socket.
    EXPECT_EQ(Run(Make(udp, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged(QStringLiteral("Warning: UDP port %1 already open.").arg(peer.Port())));
    EXPECT_EQ(Run(Make(udp, "Close", "\"c\"")), crOk);
    EXPECT_EQ(udp.Socket(), nullptr);
}

TEST_F(DevicePortUdpTest, FailuresConcludeWithTheSocketsMessage)
{
    const quint16 uClosed = FreeUdpPort();
    TDevicePortUdp& udp = Udp(FreeUdpPort(), uClosed, 3000);
    ASSERT_EQ(Run(Make(udp, "Open", "\"o\"")), crOk);

    // Too big for one datagram: refused before anything is sent, without waiting for the timer.
    TCommand* big =
        Make(udp, "Send", QStringLiteral("\"b\";%1;;\\n;OK").arg(QString(9000, QLatin1Char('A'))));
    EXPECT_EQ(Run(big, 1000), crFailed);
    EXPECT_EQ(big->ErrorText(), QStringLiteral("UDP SendData: Packet Too Big (8192 Bytes Max)."));
    EXPECT_TRUE(Logged("Error: UDP SendData: Packet Too Big (8192 Bytes Max)."));

    // Nobody listens at the destination: the system's answer ends the wait.
    TCommand* lost = Make(udp, "Send", "\"l\";PING\\n;;\\n;PONG");
    EXPECT_EQ(Run(lost, 2000), crFailed);
    EXPECT_EQ(lost->ErrorText(), QStringLiteral("UDP OnReceive: Connection reset by peer! (10054)"));
}

TEST_F(DevicePortUdpTest, ListeningPortZeroOrTakenCannotOpen)
{
    TDevicePortUdp& zero = Udp(0, 7000);
    TCommand* open = Make(zero, "Open", "\"o\"");
    EXPECT_EQ(Run(open), crFailed);
    EXPECT_EQ(open->ErrorText(), QStringLiteral("Cannot open port!"));
    EXPECT_TRUE(LoggedContaining("23010A"));

    // A port that another socket holds: the socket stays, so a second Open only warns.
    TUdpPeer holder;
    TDevicePortUdp& taken =
        Device<TDevicePortUdp>(QStringLiteral("UDP; Taken; 1000; 127.0.0.1:7000; %1").arg(holder.Port()));
    EXPECT_EQ(Run(Make(taken, "Open", "\"o\"")), crFailed);
    EXPECT_TRUE(Logged("Error: UDP Start: Cannot Bind Socket."));
    EXPECT_EQ(Run(Make(taken, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged("Warning: UDP port 7000 already open."));

    const QString sBadPort = RaisedText(
        [] { TDeviceList::Instance().Append(QStringLiteral("UDP; Bad; 1000; 127.0.0.1:7000; 70000")); });
    EXPECT_TRUE(sBadPort.startsWith(QStringLiteral("Invalid UDP port 70000!"))) << sBadPort.toStdString();
}

TEST_F(DevicePortUdpTest, InstructRetargetsTheNextDatagram)
{
    TUdpPeer first;
    TUdpPeer second;
    second.Answer({"PONG\n"});
    const quint16 uListen = FreeUdpPort();
    TDevicePortUdp& udp = Udp(uListen, first.Port());
    ASSERT_EQ(Run(Make(udp, "Open", "\"o\"")), crOk);

    EXPECT_EQ(Run(Make(udp, "Instruct", "\"i\";10.0.0.8:7001")), crDone);
    EXPECT_EQ(udp.PortId(), QStringLiteral("UDP10.0.0.8:7001,%1").arg(uListen));
    EXPECT_EQ(Run(Make(udp, "Instruct", QStringLiteral("\"i\";127.0.0.1:%1").arg(second.Port()))), crDone);
    EXPECT_EQ(udp.PortId(), QStringLiteral("UDP127.0.0.1:%1,%2").arg(second.Port()).arg(uListen));

    EXPECT_EQ(Run(Make(udp, "Send", "\"p\";PING\\n;;\\n;PONG")), crOk);
    EXPECT_EQ(second.Received(), QByteArray("PING\n"));
    EXPECT_TRUE(first.Received().isEmpty());
}

TEST(UdpSocketTest, ErrorTextsAndCodes)
{
    EXPECT_EQ(TUdpSocket::ErrorText(10054), QStringLiteral("Connection reset by peer!"));
    EXPECT_EQ(TUdpSocket::ErrorText(11001), QStringLiteral("Host not found!"));
    EXPECT_EQ(TUdpSocket::ErrorText(10090), QStringLiteral("#10090 is not a WinSock error!"));
    EXPECT_EQ(TUdpSocket::ErrorCode(ECONNREFUSED), 10054);
    EXPECT_EQ(TUdpSocket::ErrorCode(EADDRINUSE), 10048);
    EXPECT_EQ(TUdpSocket::ErrorCode(EHOSTUNREACH), 10065);

    // Sending without host, without socket, and to a host that does not exist.
    TUdpSocket socket;
    QStringList reports;
    socket.FOnError = [&](const QString& sMessage, int iCode) {
        reports << QStringLiteral("%1|%2").arg(sMessage).arg(iCode);
    };
    EXPECT_EQ(socket.SendData(QString(), 7000, "x"), 0);
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), 7000, "x"), 0);
    ASSERT_TRUE(socket.Start(0));
    EXPECT_EQ(socket.SendData(QStringLiteral("no-such-host.invalid"), 7000, "x"), 0);
    EXPECT_EQ(reports, QStringList({"SendData: No Host Specified.|0", "SendData: Socket Not Bound.|0",
                                    "SendData: Host Not Found.|0"}));
}

TEST(UdpSocketTest, SettlesAfterASendReportedTheDestinationsAnswer)
{
    // The first datagram's answer from the closed port is reported by the second send; the
    // socket must not stay readable for the answer's details.
    TUdpSocket socket;
    QStringList reports;
    socket.FOnError = [&](const QString& sMessage, int iCode) {
        reports << QStringLiteral("%1|%2").arg(sMessage).arg(iCode);
    };
    ASSERT_TRUE(socket.Start(0));
    const quint16 uClosed = FreeUdpPort();
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "a"), 1);
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "b"), 0);
    const std::clock_t cpuStart = std::clock();
    QEventLoop idle;
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
    const double rCpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_LT(rCpuSeconds, 0.1) << "the event loop spun on the socket";
    EXPECT_EQ(reports, QStringList({"SendData: Connection reset by peer!|10054"}));

    // Still usable: the next answer from the closed port is reported when it arrives.
    EXPECT_EQ(socket.SendData(QStringLiteral("127.0.0.1"), uClosed, "c"), 1);
    ASSERT_TRUE(RunEventsUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(reports[1], QStringLiteral("OnReceive: Connection reset by peer!|10054"));
}

} // namespace
