// Every integer of a port definition takes the decimal, "$" and "0x" forms; the port inside an
// address text is part of a text and stays decimal.

#include "PortTestFixture.h"

#include "devices/ports/DevicePortRs232.h"
#include "devices/ports/DevicePortTcp.h"
#include "devices/ports/DevicePortUdp.h"

using namespace ports;

namespace {

class IntegerFieldTest : public PortTest
{};

TEST_F(IntegerFieldTest, DeviceCreateFieldsTakeEveryIntegerForm)
{
    struct
    {
        const char* sDefinition;
        int iTimeout;
        const char* sPortId;
    } const cases[] = {
        {"TCP.Client; T1; 1000; 127.0.0.1:5025", 1000, "TCP client 127.0.0.1:5025"},
        {"TCP.Client; T2; $3E8; 127.0.0.1:5025", 1000, "TCP client 127.0.0.1:5025"},
        {"TCP.Client; T3; 0x3e8; 127.0.0.1:5025", 1000, "TCP client 127.0.0.1:5025"},
        {"UDP; U1; 250; 127.0.0.1:9000; 47338", 250, "UDP127.0.0.1:9000,47338"},
        {"UDP; U2; $FA; 127.0.0.1:9000; $B8EA", 250, "UDP127.0.0.1:9000,47338"},
        {"UDP; U3; 0xFA; 127.0.0.1:9000; 0XB8EA", 250, "UDP127.0.0.1:9000,47338"},
        {"RS232; R1; 500; 12; 9600; 2", 500, "COM12"},
        {"RS232; R2; $1F4; $C; $2580; $2", 500, "COM12"},
        {"RS232; R3; 0x1F4; 0xc; 0x2580; 0x2", 500, "COM12"},
    };
    for (const auto& c : cases) {
        TDevicePortBase& port = Device(QString::fromUtf8(c.sDefinition));
        EXPECT_EQ(port.TimerInterval(), c.iTimeout) << c.sDefinition;
        EXPECT_EQ(port.PortId().toStdString(), c.sPortId) << c.sDefinition;
        if (auto* pSerial = dynamic_cast<TDevicePortRs232*>(&port)) {
            EXPECT_EQ(pSerial->Serial().Baudrate(), 9600) << c.sDefinition;
            EXPECT_EQ(pSerial->SendByteInterval(), 2) << c.sDefinition;
        }
    }
}

TEST_F(IntegerFieldTest, FunctionFieldsTakeEveryIntegerForm)
{
    TDevicePortBase& port = Device(QStringLiteral("TCP.Client; Dut; 1000; 127.0.0.1:5025"));
    for (const char* sTime : {"$7D0", "0x7d0", "-0x7D0"}) {
        EXPECT_EQ(Run(Make(port, "Timeout", QStringLiteral("\"t\";") + QLatin1String(sTime))), crDone)
            << sTime;
        EXPECT_EQ(port.TimerInterval(), 2000) << sTime;
    }
    // The monitor's own port is an integer; the destination's is part of an address text.
    EXPECT_EQ(Run(Make(port, "Monitor.Initialize", "\"m\";UDP;127.0.0.1:9000;$B8EA")), crOk);
    ASSERT_NE(port.Monitor(), nullptr);
    EXPECT_EQ(port.Monitor()->ListeningPort(), 0xB8EA);

    TDevicePortBase& other = Device(QStringLiteral("TCP.Client; Dut2; 1000; 127.0.0.1:5025"));
    EXPECT_EQ(Run(Make(other, "Monitor.Initialize", "\"m\";UDP;127.0.0.1:9000;0x10000")), crFailed)
        << "beyond the UDP ports";
    EXPECT_TRUE(LoggedContaining("Invalid monitor configuration"));
}

TEST_F(IntegerFieldTest, PortsInAddressTextsStayDecimal)
{
    auto& tcp = Device<TDevicePortTcp>(QStringLiteral("TCP.Client; Dut; 1000; 127.0.0.1:$B8F3"));
    EXPECT_EQ(tcp.Address().Port, -1);
    EXPECT_EQ(tcp.PortId(), QStringLiteral("TCP client 127.0.0.1"));
    auto& udp = Device<TDevicePortUdp>(QStringLiteral("UDP; Udp; 1000; 127.0.0.1:0x2328; 0"));
    EXPECT_EQ(udp.Address().Port, -1);
}

} // namespace
