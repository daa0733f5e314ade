// The port devices through the real load path: a definition text loaded into a session and run.

#include "DeviceFixture.h"
#include "DutSimulator.h"
#include "TestContext.h"

#include "devices/ports/DevicePortBase.h"

#include "core/EscTaggedString.h"
#include "core/VariableManager.h"
#include "execution/Job.h"

using namespace ports;

namespace {

class DevicePortFixtureTest : public TDeviceFixture
{
protected:
    DevicePortFixtureTest()
    {
        ports::RegisterDevices(TestDeviceTypes());
        TEscTaggedString::Instance().AddDefaultTags();
    }
    ~DevicePortFixtureTest() override { TEscTaggedString::InstanceRelease(); }
};

TEST_F(DevicePortFixtureTest, DefinitionRunsAgainstTheSimulator)
{
    TDutSimulator sim;
    sim.AddRule({"VER?\r", {"xx\x02V=2.1.7\x03"}, 0, false});
    sim.AddRule({"U?\r", {"4.98\r"}, 0, false});
    const quint16 uPort = sim.ListenTcp();
    ASSERT_NE(uPort, 0);
    ASSERT_TRUE(LoadOk(
        QStringLiteral("Set(String; sVersion)\n"
                       "Set(Float; rU)\n"
                       "Device.Create(TCP.Client; Dut; 1000; 127.0.0.1:%1)\n"
                       "Test.Case(\"Run\")\n{\n"
                       "    Dut.Open(\"Connect\")\n"
                       "    Dut.Send(\"Version\"; \"VER?\\r\"; \"\\STXV=\"; \\ETX; \"2.?.*\"; sVersion)\n"
                       "    Dut.Evaluate.Value(\"Supply\"; \"U?\\r\"; \"\"; \"\\r\"; 4.9; 5.1; rU)\n"
                       "    Dut.Send(\"Quiet\"; \"\"; \"\"; \"\"; NoResponse)\n"
                       "    Dut.Close(\"Disconnect\")\n}\n")
            .arg(uPort)));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    EXPECT_EQ(fSession.Variables().GetAsStr(QStringLiteral("sVersion")), QStringLiteral("2.1.7"));
    EXPECT_DOUBLE_EQ(fSession.Variables().GetAsReal(QStringLiteral("rU")), 4.98);
    EXPECT_EQ(sim.Received(), QByteArray("VER?\rU?\r"));
}

TEST_F(DevicePortFixtureTest, LoadErrorsCarryTheirLines)
{
    const QString sDevices = QStringLiteral("Device.Create(TCP.Client; Dut; 1000; 127.0.0.1:5025)\n"
                                            "Device.Create(RS232; Com; 500; 1; 9600; 0)");
    EXPECT_EQ(LineError(QStringLiteral("Dut.WaitForResponse(\"w\"; \"\"; \"\")"), sDevices),
              QStringLiteral("Number of parameters found: 3 < 4 needed parameters!"));
    EXPECT_EQ(LineError(QStringLiteral("Dut.Send(\"s\"; \"x\"; \"\"; \"\"; OK; nothing)"), sDevices),
              QStringLiteral("Variable \"nothing\" is not defined! (20210A:0)"));
    EXPECT_EQ(LineError(QStringLiteral("Com.Send(\"s\"; \"\\XYZ\"; \"\"; \"\"; OK)"), sDevices),
              QStringLiteral("Unknown tag in string \"\\XYZ\"!"));
    EXPECT_TRUE(LoadErrors(QStringLiteral("Device.Create(RS232; Bad; 500; 0; 9601; 0)"))
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("Baudrate 9601 is not valid!")));
}

} // namespace
