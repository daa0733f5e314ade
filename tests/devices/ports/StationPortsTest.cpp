#include "DutSimulator.h"
#include "StationFixture.h"

#include "devices/ports/DevicePortBase.h"
#include "devices/ports/DevicePortRs232.h"

#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "execution/DeviceList.h"

#include <QHostAddress>
#include <QSettings>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <map>
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
    TTestDir dir;
    TStationFixture fixture(2);
    // Settings of this test alone: the wiring must not reach the tests after it.
    TRegIO::Instance().SetUserFileName(dir.FilePath(QStringLiteral("wiring.ini")));
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SerialPorts/COM7"), QStringLiteral("/dev/station-line"));
        settings.setValue(QStringLiteral("Socket1/SerialPorts/COM7"), QStringLiteral("/dev/socket1-line"));
        settings.setValue(QStringLiteral("Socket2/SerialPorts/COM7"), QStringLiteral("/dev/socket2-line"));
    }
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

// The TCP client below a port reports as the session whose device owns it: socket 1's unit refuses
// the connection, socket 2's accepts it, and each socket's lines carry its own label and show up in
// no other socket's part of the log.
TEST(StationPortsTest, ConnectionLinesCarryTheirSocket)
{
    ports::RegisterDevices(TestDeviceTypes());
    QTcpServer refusing;
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost));
    const quint16 uRefused = refusing.serverPort();
    refusing.close();
    QTcpServer accepting;
    ASSERT_TRUE(accepting.listen(QHostAddress::LocalHost));
    TTestDir dir;
    const QString sFile =
        dir.WriteText(QStringLiteral("connect.TZD"),
                      QStringLiteral("#if __Socket = 1\r\n#define PORT %1\r\n#elif __Socket = 2\r\n"
                                     "#define PORT %2\r\n#endif\r\n"
                                     "Device.Create(SystemControl; Sys)\r\n"
                                     "Device.Create(TCP.Client; Dut; 500; 127.0.0.1:PORT)\r\n"
                                     "Test.Case(\"Unit\")\r\n{\r\n    Dut.Open(\"Connect\")\r\n}\r\n"
                                     "Test.Final(\"End\")\r\n{\r\n    Dut.Close(\"Disconnect\")\r\n}\r\n")
                          .arg(uRefused)
                          .arg(accepting.serverPort()));

    TMsgLog log;
    TStationFixture fixture(2);
    std::map<const void*, QString> labels;
    for (int i = 1; i <= 2; ++i)
        labels[&fixture.station.Session(i).Context().Msg()] = QStringLiteral("[%1] ").arg(i);
    log.SetSourceLabel([&labels](const void* aSender) {
        const auto it = labels.find(aSender);
        return it == labels.end() ? QStringLiteral("[none] ") : it->second;
    });
    log.SetShowTrace(true);
    log.Attach();
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    log.Detach();
    EXPECT_FALSE(fixture.hosts[0]->finals.back().bPassed);
    EXPECT_TRUE(fixture.hosts[1]->finals.back().bPassed);

    // The lines of the connection, by the label in front of them.
    std::map<QString, QStringList> connection;
    for (const TLogLine& line : log.Lines()) {
        const int iText = line.sText.indexOf(QStringLiteral("TCP.Client - "));
        if (iText >= 0)
            connection[line.sText.left(line.sText.indexOf(QLatin1Char(']')) + 2)] << line.sText.mid(iText);
    }
    const QString sRefused = QStringLiteral("TCP.Client - TCP connection error: 10061");
    const QString sEstablished = QStringLiteral("TCP.Client - TCP client connection established");
    EXPECT_TRUE(connection[QStringLiteral("[1] ")].contains(sRefused))
        << connection[QStringLiteral("[1] ")].join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(connection[QStringLiteral("[1] ")].contains(sEstablished));
    EXPECT_TRUE(connection[QStringLiteral("[2] ")].contains(sEstablished))
        << connection[QStringLiteral("[2] ")].join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(connection[QStringLiteral("[2] ")].contains(sRefused));
    EXPECT_TRUE(connection[QStringLiteral("[none] ")].isEmpty())
        << connection[QStringLiteral("[none] ")].join(QLatin1Char('\n')).toStdString();
}

} // namespace
