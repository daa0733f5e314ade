#include "PortTestFixture.h"
#include "UdpPeer.h"

#include "devices/ports/DevicePortTcp.h"
#include "devices/ports/DevicePortUdp.h"
#include "devices/ports/PortMonitor.h"

#include "DutSimulator.h"

using namespace ports;

namespace {

class PortMonitorTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fuPort = fSim.ListenTcp();
        ASSERT_NE(fuPort, 0);
    }
    TDevicePortTcp& Client()
    {
        return Device<TDevicePortTcp>(
            QStringLiteral("TCP.Client; Dut%1; 1000; 127.0.0.1:%2").arg(++fiDevices).arg(fuPort));
    }

    TDutSimulator fSim;
    quint16 fuPort = 0;
    int fiDevices = 0;
};

TEST_F(PortMonitorTest, MirrorsTheExchangeAndInjectsDatagrams)
{
    fSim.AddRule({"*IDN?\n", {"SIM,TZK\n"}, 0, false});
    fSim.AddRule({"AT\r", {"OK\r"}, 0, false});
    TUdpPeer listener;
    TDevicePortTcp& tcp = Client();
    ASSERT_EQ(Run(Make(tcp, "Monitor.Initialize",
                       QStringLiteral("\"m\";UDP;127.0.0.1:%1;;VERBOSE, silent").arg(listener.Port()))),
              crOk);
    TPortMonitor* monitor = tcp.Monitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->Verbose());
    EXPECT_TRUE(monitor->Silent());
    EXPECT_FALSE(monitor->IsOpen()) << "closed until the port opens";

    ASSERT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    ASSERT_TRUE(monitor->IsOpen());
    const quint16 uMonitorPort = monitor->BoundPort();
    EXPECT_NE(uMonitorPort, 0) << "a port of the system's choice";

    EXPECT_EQ(Run(Make(tcp, "Send", "\"i\";*IDN?\\n;;\\n;SIM,TZK")), crOk);
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Blocks().size() >= 2; }));
    EXPECT_EQ(listener.Blocks()[0], QByteArray("*IDN?\n"));
    EXPECT_EQ(listener.Blocks()[1], QByteArray("SIM,TZK\n"));
    EXPECT_TRUE(Logged(QStringLiteral("Trace: UDP Monitor [127.0.0.1:%1]: >*IDN?\n").arg(listener.Port())));

    // A tool injects A, T and carriage return: the device under test gets exactly those bytes, and
    // the port mirrors the block like any it sends.
    listener.SendTo(uMonitorPort, QByteArray("AT\r"));
    ASSERT_TRUE(RunEventsUntil([&] { return fSim.Received().endsWith("AT\r"); }));
    // The log line ends at the carriage return.
    EXPECT_TRUE(Logged(QStringLiteral("Trace: UDP Monitor [127.0.0.1:%1]: <AT").arg(listener.Port())));
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Blocks().size() >= 4; }));
    EXPECT_EQ(listener.Blocks()[2], QByteArray("AT\r"));
    EXPECT_EQ(listener.Blocks()[3], QByteArray("OK\r"));

    // Bytes above 127 pass unchanged.
    listener.SendTo(uMonitorPort, QByteArray("\xB5\xFF\x80", 3));
    ASSERT_TRUE(RunEventsUntil([&] { return fSim.Received().endsWith(QByteArray("\xB5\xFF\x80", 3)); }));

    // Closing the port closes the monitor: nothing more is mirrored.
    EXPECT_EQ(Run(Make(tcp, "Close", "\"c\"")), crOk);
    EXPECT_FALSE(monitor->IsOpen());
}

TEST_F(PortMonitorTest, MirrorsASerialExchangeInOrder)
{
    TDutSimulator serial;
    const QString sPath = serial.OpenPty();
    ASSERT_FALSE(sPath.isEmpty());
    serial.AddRule({"*IDN?\r", {"SIM,", "RS232\r"}, 20, false});
    TUdpPeer listener;
    TDevicePortBase& port = Device(QStringLiteral("RS232; Serial; 1000; %1; 115200; 0").arg(sPath));
    ASSERT_EQ(
        Run(Make(port, "Monitor.Initialize", QStringLiteral("\"m\";UDP;127.0.0.1:%1").arg(listener.Port()))),
        crOk);
    ASSERT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(port, "Send", "\"i\";*IDN?\\r;;\\r;SIM,RS232")), crOk);
    ASSERT_TRUE(RunEventsUntil([&] {
        QByteArray received;
        for (std::size_t i = 1; i < listener.Blocks().size(); ++i)
            received += listener.Blocks()[i];
        return received == "SIM,RS232\r";
    })) << listener.Blocks().size()
        << " blocks";
    EXPECT_EQ(listener.Blocks()[0], QByteArray("*IDN?\r")) << "the sent block first";
    EXPECT_EQ(Run(Make(port, "Close", "\"c\"")), crOk);
}

TEST_F(PortMonitorTest, ListensOnLoopbackOnlyForALocalDestination)
{
    const struct
    {
        const char* sDestination;
        const char* sBound;
    } cases[] = {
        {"127.0.0.1:9000", "127.0.0.1"}, {"localhost:9000", "127.0.0.1"}, {"192.0.2.1:9000", "0.0.0.0"}};
    for (const auto& c : cases) {
        TDevicePortTcp& tcp = Client();
        ASSERT_EQ(
            Run(Make(tcp, "Monitor.Initialize", QStringLiteral("\"m\";UDP;%1;;silent").arg(c.sDestination))),
            crOk);
        ASSERT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
        EXPECT_EQ(tcp.Monitor()->BoundAddress().toStdString(), c.sBound) << c.sDestination;
        EXPECT_EQ(Run(Make(tcp, "Close", "\"c\"")), crOk);
    }
}

TEST_F(PortMonitorTest, ErrorsAreLoggedUnlessSilent)
{
    fSim.SetEcho(true);
    quint16 uClosed = 0;
    {
        TUdpPeer probe;
        uClosed = probe.Port();
    }
    TDevicePortTcp& tcp = Client();
    ASSERT_EQ(Run(Make(tcp, "Monitor.Initialize", QStringLiteral("\"m\";udp;127.0.0.1:%1").arg(uClosed))),
              crOk);
    EXPECT_FALSE(tcp.Monitor()->Verbose());
    ASSERT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(tcp, "Send", "\"e\";PING\\n;;\\n;PING")), crOk) << "the monitor never fails the port";
    ASSERT_TRUE(
        RunEventsUntil([&] { return Logged("Error: UDP Monitor \"Destination not reached\" - 10054"); }));
    EXPECT_FALSE(LoggedContaining("UDP Monitor [")) << "no traffic lines without Verbose";
}

TEST_F(PortMonitorTest, BadConfigurationsFail)
{
    struct
    {
        const char* sLine;
        const char* sLogged;
    } const cases[] = {
        {"\"m\";UDP;127.0.0.1:9000;abc",
         "Error: Invalid monitor configuration: <\"m\";UDP;127.0.0.1:9000;abc;>"},
        {"\"m\";UDP", "Error: Invalid monitor configuration: <\"m\";UDP;>"},
        {"\"m\";UDP; ;7000", "Error: Invalid monitor configuration: <\"m\";UDP; ;7000;>"},
    };
    for (const auto& c : cases) {
        TDevicePortTcp& tcp = Client();
        TCommand* line = Make(tcp, "Monitor.Initialize", QString::fromUtf8(c.sLine));
        EXPECT_EQ(Run(line), crFailed) << c.sLine;
        EXPECT_EQ(line->ErrorText(), QStringLiteral("Invalid configuration!")) << c.sLine;
        EXPECT_TRUE(Logged(QString::fromUtf8(c.sLogged))) << c.sLine;
        EXPECT_EQ(tcp.Monitor(), nullptr);
    }

    // A listening port another socket holds: the port opens and works without mirroring.
    TUdpPeer holder;
    TDevicePortTcp& tcp = Client();
    ASSERT_EQ(Run(Make(tcp, "Monitor.Initialize",
                       QStringLiteral("\"m\";UDP;127.0.0.1:9000;%1").arg(holder.Port()))),
              crOk);
    EXPECT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_FALSE(tcp.Monitor()->IsOpen());
    EXPECT_TRUE(Logged("Error: UDP Monitor \"Start: Cannot Bind Socket.\""));
}

TEST_F(PortMonitorTest, MirrorsEachDatagramOfAUdpPortOnceAndInjectsThroughIt)
{
    TDutSimulator dut;
    const quint16 uDut = dut.ListenUdp();
    ASSERT_NE(uDut, 0);
    dut.AddRule({"*IDN?\n", {"SIM,", "UDP\n"}, 20, false});
    dut.AddRule({"AT\r", {"OK\r"}, 0, false});
    TUdpPeer listener;
    TDevicePortUdp& udp = Device<TDevicePortUdp>(
        QStringLiteral("UDP; Dut; 1000; 127.0.0.1:%1; %2").arg(uDut).arg(FreeUdpPort()));
    ASSERT_EQ(
        Run(Make(udp, "Monitor.Initialize", QStringLiteral("\"m\";UDP;127.0.0.1:%1").arg(listener.Port()))),
        crOk);
    ASSERT_EQ(Run(Make(udp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(udp, "Send", "\"i\";*IDN?\\n;;\\n;SIM,UDP")), crOk);

    // The trace shows the whole buffer at each datagram; the monitor gets every byte once.
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Blocks().size() >= 3; }));
    EXPECT_EQ(listener.Blocks(), (std::vector<QByteArray>{"*IDN?\n", "SIM,", "UDP\n"}));

    listener.SendTo(udp.Monitor()->BoundPort(), "AT\r");
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Blocks().size() >= 5; }));
    EXPECT_EQ(dut.Received(), QByteArray("*IDN?\nAT\r"));
    EXPECT_EQ(listener.Blocks()[3], QByteArray("AT\r"));
    EXPECT_EQ(listener.Blocks()[4], QByteArray("OK\r"));
    EXPECT_FALSE(LoggedContaining("UDP Monitor [")) << "the monitor's own traces need Verbose";
    EXPECT_EQ(Run(Make(udp, "Close", "\"c\"")), crOk);
}

TEST_F(PortMonitorTest, DoesNotInjectWhatItMirroredToItself)
{
    fSim.SetEcho(true);
    const quint16 uSelf = FreeUdpPort();
    TDevicePortTcp& tcp = Client();
    ASSERT_EQ(Run(Make(tcp, "Monitor.Initialize", QStringLiteral("\"m\";UDP;127.0.0.1:%1;%1").arg(uSelf))),
              crOk);
    ASSERT_EQ(Run(Make(tcp, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(tcp, "Send", "\"p\";PING\\n;;\\n;PING")), crOk);
    ASSERT_TRUE(RunEventsUntil([&] {
        return Logged(
            QStringLiteral("Warning: UDP Monitor [127.0.0.1:%1]: own datagrams are not injected").arg(uSelf));
    }));
    Idle(100);
    EXPECT_EQ(fSim.Received(), QByteArray("PING\n")) << "the mirrored blocks did not come back as commands";
    EXPECT_EQ(LoggedCount(QStringLiteral("own datagrams are not injected")), 1);
    EXPECT_EQ(Run(Make(tcp, "Close", "\"c\"")), crOk);
}

TEST_F(PortMonitorTest, SilentKeepsSocketErrorsOutOfTheLog)
{
    const quint16 uClosed = FreeUdpPort();
    // One block each, nothing answered: the silent monitor mirrors first, so the system's answer
    // from the closed port reaches it before the loud one's.
    TDevicePortTcp& silent = Client();
    TDevicePortTcp& loud = Client();
    ASSERT_EQ(Run(Make(silent, "Monitor.Initialize",
                       QStringLiteral("\"m\";UDP;127.0.0.1:%1;;Silent").arg(uClosed))),
              crOk);
    ASSERT_EQ(Run(Make(loud, "Monitor.Initialize", QStringLiteral("\"m\";UDP;127.0.0.1:%1").arg(uClosed))),
              crOk);
    ASSERT_EQ(Run(Make(silent, "Open", "\"o\"")), crOk);
    ASSERT_EQ(Run(Make(loud, "Open", "\"o\"")), crOk);
    EXPECT_EQ(Run(Make(silent, "Send", "\"s\";A\\n;;;")), crDone);
    ASSERT_TRUE(RunEventsUntil([&] { return fSim.Received() == "A\n"; }));
    EXPECT_EQ(Run(Make(loud, "Send", "\"l\";B\\n;;;")), crDone);
    const QString sError = QStringLiteral("UDP Monitor \"Destination not reached\" - 10054");
    ASSERT_TRUE(RunEventsUntil([&] { return LoggedCount(sError) > 0; }));
    Idle(50);
    EXPECT_EQ(LoggedCount(sError), 1) << "the loud monitor's block only";
}

} // namespace
