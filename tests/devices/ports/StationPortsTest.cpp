#include "DutSimulator.h"
#include "StationFixture.h"

#include "devices/ports/DevicePortBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Three sockets, each with its own unit over TCP; the second unit drops its connection after its
// first answer. That socket fails alone; the others pass.
TEST(StationPortsTest, AUnitThatDisconnectsFailsItsSocketAlone)
{
    ports::RegisterDevices(TestDeviceTypes());
    std::vector<std::unique_ptr<TDutSimulator>> units;
    QString sDefines;
    for (int i = 1; i <= 3; ++i) {
        units.push_back(std::make_unique<TDutSimulator>());
        units.back()->AddRule({"SN?\n", {"SN=" + QByteArray::number(i) + "\n"}, 0, i == 2});
        units.back()->AddRule({"MEAS?\n", {"5.0\n"}});
        const quint16 uPort = units.back()->ListenTcp();
        ASSERT_NE(uPort, 0);
        sDefines += QStringLiteral("%1 __Socket = %2\r\n#define PORT %3\r\n")
                        .arg(i == 1 ? QStringLiteral("#if") : QStringLiteral("#elif"))
                        .arg(i)
                        .arg(uPort);
    }
    TTestDir dir;
    const QString sFile = dir.WriteText(
        QStringLiteral("units.TZD"),
        sDefines + QStringLiteral("#endif\r\n"
                                  "Set(Float; rValue)\r\n"
                                  "Device.Create(SystemControl; Sys)\r\n"
                                  "Device.Create(TCP.Client; Dut; 500; 127.0.0.1:PORT)\r\n"
                                  "Test.Case(\"Unit\")\r\n{\r\n"
                                  "    Dut.Open(\"Connect\")\r\n"
                                  "    Dut.Send(\"Serial\"; \"SN?\\0A\"; \"SN=\"; \"\\0A\"; \"?\")\r\n"
                                  "    Sys.Delay(\"Settle\"; 50)\r\n"
                                  "    Dut.Evaluate.Value(\"Measure\"; \"MEAS?\\0A\"; \"\"; \"\\0A\"; 4.5; "
                                  "5.5; rValue)\r\n}\r\n"
                                  "Test.Final(\"End\")\r\n{\r\n"
                                  "    Dut.Close(\"Disconnect\")\r\n}\r\n"));
    TStationFixture fixture(3);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(fixture.hosts[std::size_t(i - 1)]->finals.back().bPassed, i != 2) << i;
        EXPECT_EQ(fixture.station.Session(i).Variables().GetAsReal(QStringLiteral("rValue")),
                  i == 2 ? 0.0 : 5.0)
            << i;
    }
    const QStringList slFailed = fixture.hosts[1]->finals.back().failed;
    ASSERT_EQ(slFailed.size(), 1) << slFailed.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(slFailed.front().contains(QStringLiteral("Measure"))) << slFailed.front().toStdString();
}

} // namespace
