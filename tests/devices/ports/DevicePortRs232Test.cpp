#include "PortTestFixture.h"
#include "TestContext.h"

#include "devices/ports/DevicePortRs232.h"
#include "transport/Serial.h"

#include "DutSimulator.h"

#include <QSettings>

using namespace ports;

namespace {

class DevicePortRs232Test : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fsPath = fSim.OpenPty();
        ASSERT_FALSE(fsPath.isEmpty());
    }
    TDevicePortRs232& Serial(int iInterval = 0, int iTimeout = 1000)
    {
        return Device<TDevicePortRs232>(
            QStringLiteral("RS232; Dut; %1; %2; 115200; %3").arg(iTimeout).arg(fsPath).arg(iInterval));
    }
    QString InitError(const QString& sDefinition)
    {
        try {
            TestDeviceList().Append(sDefinition);
        } catch (const std::exception& e) {
            return ExceptionText(e);
        }
        return QStringLiteral("no error");
    }

    TDutSimulator fSim;
    QString fsPath;
};

TEST_F(DevicePortRs232Test, Definition)
{
    struct
    {
        const char* sDefinition;
        const char* sError;
    } const cases[] = {
        {"RS232; A; 500; 0; 9600; 0", "COM0 is not valid!"},
        {"RS232; B; 500; 0; 9601; 0", "Baudrate 9601 is not valid!"},
        {"RS232; C; 500; 256; 9600; 0", "COM256 is not valid!"},
        {"RS232; D; 500; 3; 9600; x", "'x' is not a valid integer value"},
        {"RS232; E; 500; ttyUSB0; 9600; 0", "'ttyUSB0' is not a valid integer value"},
        {"RS232; F; 500; 3; 19200; 0", "no error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitError(QString::fromUtf8(c.sDefinition)).toStdString(), c.sError) << c.sDefinition;
    EXPECT_TRUE(Logged("Trace: Device RS232: COM3, 19200 bps, SBI=0ms, Timeout=500ms"));

    // A number is looked up in the user's settings, else it is the on-board port.
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SerialPorts/COM7"),
                          QStringLiteral("/dev/serial/by-id/usb-adapter"));
    }
    EXPECT_EQ(TDevicePortRs232::DevicePath(TRegIO::Instance().UserFileName(), 7),
              QStringLiteral("/dev/serial/by-id/usb-adapter"));
    EXPECT_EQ(TDevicePortRs232::DevicePath(TRegIO::Instance().UserFileName(), 1),
              QStringLiteral("/dev/ttyS0"));
    // A test socket's own group comes first; a socket without one keeps the station's mapping.
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Socket2/SerialPorts/COM7"), QStringLiteral("/dev/ttyUSB2"));
    }
    EXPECT_EQ(TDevicePortRs232::DevicePath(TRegIO::Instance().UserFileName(), 7, 2),
              QStringLiteral("/dev/ttyUSB2"));
    EXPECT_EQ(TDevicePortRs232::DevicePath(TRegIO::Instance().UserFileName(), 7, 1),
              QStringLiteral("/dev/serial/by-id/usb-adapter"));
    auto& numbered = Device<TDevicePortRs232>(QStringLiteral("RS232; G; 500; 7; 9600; 0"));
    EXPECT_EQ(numbered.PortId(), QStringLiteral("COM7"));
    EXPECT_EQ(numbered.Serial().Port(), QStringLiteral("/dev/serial/by-id/usb-adapter"));
    TDevicePortRs232& byPath = Serial();
    EXPECT_EQ(byPath.PortId(), fsPath);
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("RS232"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("Port: RS232"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.10"));
}

TEST_F(DevicePortRs232Test, ExchangeOnAPseudoTerminal)
{
    fSim.AddRule({"*IDN?\r", {"SIM,", "RS232\r"}, 20, false});
    fSim.AddRule({"U?\r", {"U= 4.95\r"}, 0, false});
    TDevicePortRs232& port = Serial();
    EXPECT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    TCommand* idn = Make(port, "Send", "\"i\";*IDN?\\r;;\\r;SIM,RS232");
    EXPECT_EQ(Run(idn), crOk);
    EXPECT_TRUE(Logged("Trace: " + fsPath + ": >\"*IDN?\\0D\";  2A 49 44 4E 3F 0D"));
    EXPECT_EQ(Run(Make(port, "Evaluate.Value", "\"u\";U?\\r;=;\\r;4.9;5.1")), crOk);

    TCommand* silent = Make(port, "Send", "\"s\";X\\r;;\\r;OK");
    EXPECT_EQ(Run(silent), crFailed);
    EXPECT_EQ(silent->ErrorText(), QStringLiteral("Timeout!"));

    EXPECT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    EXPECT_TRUE(Logged("Warning: " + fsPath + " already open"));

    TCommand* instruct = Make(port, "Instruct", "\"i\";anything");
    EXPECT_EQ(Run(instruct), crFailed);
    EXPECT_EQ(instruct->ErrorText(), QStringLiteral("Instructions not supported!"));

    EXPECT_EQ(Run(Make(port, "Close", "\"c\"")), crOk);
    TCommand* closed = Make(port, "Send", "\"c\";*IDN?\\r;;\\r;SIM,RS232");
    EXPECT_EQ(Run(closed), crFailed);
    EXPECT_EQ(closed->ErrorText(), QStringLiteral("Port is not open!"));
    EXPECT_TRUE(Logged("Error: Port " + fsPath + " is not open!"));
}

TEST_F(DevicePortRs232Test, MissingDeviceDoesNotOpen)
{
    auto& port = Device<TDevicePortRs232>(QStringLiteral("RS232; Gone; 500; /dev/tzk-no-such-port; 9600; 0"));
    TCommand* open = Make(port, "Open", "\"o\"");
    EXPECT_EQ(Run(open), crFailed);
    EXPECT_EQ(open->ErrorText(), QStringLiteral("Cannot open port!"));
    EXPECT_TRUE(Logged("Failed to open /dev/tzk-no-such-port!"));
    EXPECT_FALSE(port.Serial().Active());
    TCommand* send = Make(port, "Send", "\"s\";Q;;;OK");
    EXPECT_EQ(Run(send), crFailed);
    EXPECT_EQ(send->ErrorText(), QStringLiteral("Port is not open!"));
}

TEST_F(DevicePortRs232Test, ByteByByteWithPauses)
{
    // The device answers the first byte already; the answer counts once the last byte is out.
    fSim.AddRule({"A", {"ack"}, 0, false});
    TDevicePortRs232& port = Serial(20);
    ASSERT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    TCommand* send = Make(port, "Send", "\"s\";ABC;;;ack");
    Start(send);
    EXPECT_EQ(Conclusions(send), 0);
    ASSERT_TRUE(WaitConcluded(send));
    EXPECT_EQ(send->CmdResult(), crOk);
    EXPECT_EQ(fSim.Received(), QByteArray("ABC"));
    EXPECT_EQ(fSim.ReceivedChunks(), (std::vector<QByteArray>{"A", "B", "C"})) << "one byte per pause";
}

TEST_F(DevicePortRs232Test, BlockLargerThanTheTransmitQueue)
{
    TDevicePortRs232& port = Serial();
    ASSERT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    const QString sBlock(5000, QLatin1Char('x'));
    ASSERT_GT(sBlock.size(), port.Serial().TxQueueSize());
    TVariableManager::Instance().SetValue(QStringLiteral("sBlock"), sBlock);
    EXPECT_EQ(Run(Make(port, "Send", "\"b\";%sBlock;;;")), crDone);
    EXPECT_TRUE(RunEventsUntil([&] { return fSim.Received().size() == sBlock.size(); }));
}

TEST_F(DevicePortRs232Test, DeviceVanishesWhileWaiting)
{
    TDevicePortRs232& port = Serial();
    ASSERT_EQ(Run(Make(port, "Open", "\"o\"")), crOk);
    TCommand* wait = Make(port, "Send", "\"w\";Q;;;OK");
    Start(wait);
    fSim.ClosePty();
    ASSERT_TRUE(WaitConcluded(wait, 900)) << "the error concludes before the response time is over";
    EXPECT_EQ(wait->CmdResult(), crFailed);
    EXPECT_TRUE(wait->ErrorText().startsWith(fsPath + " error: ")) << wait->ErrorText().toStdString();
    EXPECT_TRUE(LoggedContaining(fsPath + " system error code "));
    EXPECT_FALSE(port.Serial().Active());

    TCommand* after = Make(port, "Send", "\"a\";Q;;;OK");
    EXPECT_EQ(Run(after), crFailed);
    EXPECT_EQ(after->ErrorText(), QStringLiteral("Port is not open!"));
}

TEST_F(DevicePortRs232Test, SerialMessageModeAndSignals)
{
    TSerial serial(TestContext().Msg());
    serial.SetNotifyErrors(neEvent);
    int iErrors = 0;
    serial.OnError = [&](TSerial*) { ++iErrors; };
    std::vector<QByteArray> messages;
    serial.SetRxEventMode(rxMessage);
    serial.SetMessageBytes(2, 3, 2);
    serial.OnMessage = [&](TSerial*, const QByteArray& aMessage) { messages.push_back(aMessage); };

    char c = 0;
    EXPECT_EQ(serial.Read(c), 0);
    EXPECT_EQ(serial.ErrorCode(), -20) << "an inactive port reports its own code";
    EXPECT_FALSE(serial.Write(QByteArray("x")));
    EXPECT_EQ(serial.ErrorCode(), -12);
    EXPECT_EQ(iErrors, 2);

    serial.SetPort(fsPath);
    EXPECT_THROW(serial.SetBaudrate(1000), EError);
    serial.SetActive(true);
    ASSERT_TRUE(serial.Active());
    EXPECT_TRUE(serial.Operating()) << "a line without modem signals still opens";
    fSim.SendToAll(QByteArray("junk\x02"
                              "A\x03xy\x03"
                              "zz\x02"
                              "B\x02"
                              "C\x03",
                              17));
    ASSERT_TRUE(RunEventsUntil([&] { return messages.size() == 1; }));
    RunEventsUntil([&] { return messages.size() > 1; }, 100);
    EXPECT_EQ(messages, (std::vector<QByteArray>{QByteArray("\x02"
                                                            "A\x03xy")}))
        << "bytes outside a message are ignored, a second start byte restarts";
    fSim.SendToAll(QByteArray("12"));
    ASSERT_TRUE(RunEventsUntil([&] { return messages.size() == 2; }));
    EXPECT_EQ(messages.back(), QByteArray("\x02"
                                          "C\x03"
                                          "12"));

    // A pseudo-terminal has no DTR: a clear error, and the line stays usable.
    const int iBefore = iErrors;
    EXPECT_FALSE(serial.SetSignal(msDTR, false));
    EXPECT_GT(iErrors, iBefore);
    EXPECT_TRUE(serial.Active());
    EXPECT_TRUE(serial.Write(QByteArray("ok")));
    EXPECT_TRUE(RunEventsUntil([&] { return fSim.Received().endsWith("ok"); }));
}

} // namespace
