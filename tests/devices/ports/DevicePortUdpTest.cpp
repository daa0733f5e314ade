#include "PortTestFixture.h"
#include "TestContext.h"
#include "UdpPeer.h"

#include "devices/ports/DevicePortUdp.h"
#include "transport/UdpSocket.h"

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
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("UDP"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
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

    const QString sBadPort =
        RaisedText([] { TestDeviceList().Append(QStringLiteral("UDP; Bad; 1000; 127.0.0.1:7000; 70000")); });
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

} // namespace
