#include "DutSimulator.h"
#include "StationFixture.h"

#include "devices/ports/DevicePortBase.h"
#include "devices/ports/DevicePortRs232.h"

#include "core/RegIO.h"
#include "execution/DeviceList.h"

#include <QSettings>

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

// A socket's own port takes its socket's wiring; a shared port is the station's and takes the
// station's wiring, whichever socket loads it.
TEST(StationPortsTest, SharedPortsTakeTheStationsWiring)
{
    ports::RegisterDevices(TestDeviceTypes());
    TStationFixture fixture(2);
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SerialPorts/COM7"), QStringLiteral("/dev/station-line"));
        settings.setValue(QStringLiteral("Socket1/SerialPorts/COM7"), QStringLiteral("/dev/socket1-line"));
        settings.setValue(QStringLiteral("Socket2/SerialPorts/COM7"), QStringLiteral("/dev/socket2-line"));
    }
    TTestDir dir;
    const QString sFile = dir.WriteText(QStringLiteral("wiring.TZD"),
                                        QStringLiteral("Device.Shared(RS232; Common; 500; 7; 9600; 0)\r\n"
                                                       "Device.Create(RS232; Own; 500; 7; 9600; 0)\r\n"
                                                       "Test.Case(\"Nothing\")\r\n{\r\n}\r\n"));
    fixture.LoadAll(sFile);
    const auto* pShared = dynamic_cast<const ports::TDevicePortRs232*>(
        fixture.station.SharedDevices().Device(QStringLiteral("Common")));
    ASSERT_TRUE(pShared);
    EXPECT_EQ(pShared->Serial().Port(), QStringLiteral("/dev/station-line"));
    for (int i = 1; i <= 2; ++i) {
        const auto* pOwn = dynamic_cast<const ports::TDevicePortRs232*>(
            fixture.station.Session(i).Context().Devices().Device(QStringLiteral("Own")));
        ASSERT_TRUE(pOwn) << i;
        EXPECT_EQ(pOwn->Serial().Port(), QStringLiteral("/dev/socket%1-line").arg(i));
    }
}

} // namespace
