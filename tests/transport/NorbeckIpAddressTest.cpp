// The address texts of the network ports: host or dotted address, port and the free third part.

#include "transport/NorbeckIpAddress.h"

#include <gtest/gtest.h>

using namespace ports;

namespace {

TEST(NorbeckIpAddressTest, ParseAndText)
{
    struct
    {
        const char* sText;
        const char* sHost;
        const char* sIPv4;
        int iPort;
        const char* sExtension;
        const char* sBack;
    } const cases[] = {
        {"localhost:7000", "localhost", "", 7000, "", "localhost:7000"},
        {"192.168.1.20:7000", "", "192.168.1.20", 7000, "", "192.168.1.20:7000"},
        {"192.168.1.300:7000", "192.168.1.300", "", 7000, "", "192.168.1.300:7000"},
        {"1.2.3:80", "1.2.3", "", 80, "", "1.2.3:80"},
        {"10.0.0.9", "", "10.0.0.9", -1, "", "10.0.0.9"},
        {":8000", "", "", 8000, "", ":8000"},
        {"dut:http", "dut", "", -1, "", "dut"},
        {"dut:0:x", "dut", "", 0, "x", "dut:0:x"},
        {"", "", "", -1, "", ""},
    };
    for (const auto& c : cases) {
        const TNorbeckIpAddress a = TNorbeckIpAddress::FromText(QString::fromUtf8(c.sText));
        EXPECT_EQ(a.Host.toStdString(), c.sHost) << c.sText;
        EXPECT_EQ(a.IPv4.toStdString(), c.sIPv4) << c.sText;
        EXPECT_EQ(a.Port, c.iPort) << c.sText;
        EXPECT_EQ(a.Extension.toStdString(), c.sExtension) << c.sText;
        EXPECT_EQ(a.ToText().toStdString(), c.sBack) << c.sText;
    }
}

} // namespace
