// The FTDI port on a simulated USB bus: identification, opening steps, the exchange through the
// port framework, modem lines and CBUS pins, and a converter pulled out while open.

#include "PortTestFixture.h"
#include "TestContext.h"

#include "DeviceFixture.h"

#include "devices/ports/DevicePortFtdi.h"
#include "transport/FtdiRs232.h"
#include "transport/FtdiUtils.h"

#include "core/VariableManager.h"

#include "FakeFtdi.h"

#include <atomic>
#include <thread>

using namespace ports;

namespace {

class DevicePortFtdiTest : public PortTest
{
protected:
    void SetUp() override
    {
        PortTest::SetUp();
        fFtdi.Install(TestContext());
        fA = &fFtdi.Plug(QStringLiteral("FT12AB34"), QStringLiteral("DUT cable A"), 0x231);
        fMeter = &fFtdi.Plug(QStringLiteral("XFT12Z"), QStringLiteral("Meter cable"), 0x1142);
        fB = &fFtdi.Plug(QStringLiteral("AB99"), QStringLiteral("DUT cable B"), 0);
    }
    void TearDown() override
    {
        PortTest::TearDown();
        TFakeFtdi::Uninstall(TestContext());
        TFtdiDetector::InstanceRelease();
    }

    IFtdiLibrary& Library() { return TestContext().Part<IFtdiLibrary>(); }
    TDevicePortFtdi& Ftdi(const QString& sIdentification = QStringLiteral("SN:FT12AB34"), int iBaud = 115200,
                          int iTimeout = 1000)
    {
        return Device<TDevicePortFtdi>(QStringLiteral("FTDI; Dut%1; %2; %3; %4")
                                           .arg(++fiDevices)
                                           .arg(iTimeout)
                                           .arg(sIdentification)
                                           .arg(iBaud));
    }
    TDevicePortFtdi& OpenFtdi()
    {
        TDevicePortFtdi& port = Ftdi();
        port.Open();
        return port;
    }
    // A device under test behind converter A: every write is answered with sAnswer.
    void Answer(const QByteArray& aAnswer)
    {
        fA->SetOnWrite([this, aAnswer](const QByteArray&) { fA->Feed(aAnswer); });
    }

    TFakeFtdi fFtdi;
    int fiDevices = 0;
    TFakeFtdiConverter* fA = nullptr;
    TFakeFtdiConverter* fMeter = nullptr;
    TFakeFtdiConverter* fB = nullptr;
};

TEST_F(DevicePortFtdiTest, IdentificationByLocationSerialNumberAndDescription)
{
    struct
    {
        const char* sName;
        const char* sSerialNo; // empty: not found
        const char* sText;     // the indication, or the error text
    } const cases[] = {
        {"SN:\"FT12\"", "FT12AB34", "USB0231 [SN:\"FT12\"]"},
        {"SN: FT12", "FT12AB34", "USB0231 [SN: FT12]"},
        {"SN:FT12Z", "XFT12Z", "USB1142 [SN:FT12Z]"},
        {"sn:FT12", "", "Unknown port identification: sn:FT12"},
        {"COM3", "", "Unknown port identification: COM3"},
        {"USB0231", "FT12AB34", "USB0231 [USB0231]"},
        {"USB231", "FT12AB34", "USB0231 [USB231]"},
        {"USB1142", "XFT12Z", "USB1142 [USB1142]"},
        {"USB0232", "", "No FTDI device found at USB0232"},
        {"USBxyz", "", "No FTDI device found at USBxyz"},
        {"DS:Meter", "XFT12Z", "USB1142 [DS:Meter]"},
        {"DS:\"cable B\"", "AB99", "USB3 [DS:\"cable B\"]"},
        {"DS:cable", "FT12AB34", "USB0231 [DS:cable]"},
        {"DS:cable a", "", "No FTDI device found with [DS:cable a]"},
        {"SN:", "", "No FTDI device found with [SN:]"},
        {"SN:\"\"", "", "No FTDI device found with [SN:\"\"]"},
    };
    TFtdiDetector detector(Library());
    for (const auto& c : cases) {
        const QString sName = QString::fromUtf8(c.sName);
        const bool bFound = detector.Find(sName);
        EXPECT_EQ(bFound, *c.sSerialNo != 0) << c.sName;
        if (bFound) {
            EXPECT_EQ(detector.DeviceSerialNo().toStdString(), c.sSerialNo) << c.sName;
            EXPECT_EQ(detector.DeviceIndication().toStdString(), c.sText) << c.sName;
        } else {
            EXPECT_EQ(detector.ErrorText().toStdString(), c.sText) << c.sName;
        }
    }
    EXPECT_EQ(detector.UsbLocationId(), 0x231u) << "the last converter found";
    EXPECT_EQ(fFtdi.ListCount(), 1) << "the converters are listed once";
}

TEST_F(DevicePortFtdiTest, NoConvertersNoList)
{
    TFakeFtdi empty;
    const auto library = empty.CreateLibrary();
    TFtdiDetector detector(*library);
    EXPECT_FALSE(detector.Find(QStringLiteral("SN:FT12")));
    EXPECT_EQ(detector.ErrorText(), QStringLiteral("No FTDI devices available!"));
    // An empty list is read again: a converter plugged in now is found.
    empty.Plug(QStringLiteral("FT12"), QStringLiteral("late"), 0x12);
    EXPECT_TRUE(detector.Find(QStringLiteral("SN:FT12")));
    EXPECT_EQ(empty.ListCount(), 2);

    TFakeFtdi broken;
    broken.Plug(QStringLiteral("FT12"), QStringLiteral("cable"), 0x12);
    broken.FailList(ftIoError);
    const auto brokenLibrary = broken.CreateLibrary();
    EXPECT_FALSE(TFtdiDetector(*brokenLibrary).Find(QStringLiteral("USB12")));
    broken.FailList(ftOk);
    broken.SetAvailable(false);
    TFtdiDetector unavailable(*brokenLibrary);
    EXPECT_FALSE(unavailable.Find(QStringLiteral("USB12")));
    EXPECT_EQ(unavailable.ErrorText(), QStringLiteral("No FTDI devices available!"));
}

TEST_F(DevicePortFtdiTest, DetectorIsSharedWhileDevicesHoldIt)
{
    TDevicePortFtdi& first = Ftdi(QStringLiteral("SN:FT12AB34"));
    fFtdi.Plug(QStringLiteral("LATE1"), QStringLiteral("plugged in later"), 0x2411);
    // The definition's list stays: the converter plugged in after it was read is not there.
    EXPECT_EQ(TFtdiDetector::Instance(Library())->Find(QStringLiteral("SN:LATE1")), false);
    EXPECT_EQ(RaisedMsg([&] { Ftdi(QStringLiteral("SN:LATE1")); }).Id().Value, 0x220114u);
    EXPECT_EQ(fFtdi.ListCount(), 1);
    EXPECT_EQ(first.DevSerialNo(), QStringLiteral("FT12AB34"));

    // The next definition lists the converters again.
    ReleaseTestDeviceList();
    EXPECT_EQ(Ftdi(QStringLiteral("SN:LATE1")).PortId(), QStringLiteral("USB2411 [SN:LATE1]"));
    EXPECT_EQ(fFtdi.ListCount(), 2);
}

TEST_F(DevicePortFtdiTest, DeviceListEntries)
{
    TFtdiD2xxDeviceList list(Library());
    ASSERT_EQ(list.Load(), 3);
    EXPECT_EQ(list.SerialNumber(1), QStringLiteral("XFT12Z"));
    EXPECT_EQ(list.Description(2), QStringLiteral("DUT cable B"));
    EXPECT_EQ(list.LocId(0), 0x231u);
    EXPECT_EQ(list.Id(0), 0x12340001u);
    EXPECT_EQ(list.DeviceHandle(0), 0u);
    EXPECT_EQ(TFtdiD2xxDeviceList::DeviceTypeName(list.DeviceType(0)), QStringLiteral("232R"));
    EXPECT_EQ(list.Find(0x1142), 1);
    EXPECT_EQ(list.Find(0x9999), -1);
    EXPECT_EQ(list.Find(eiDescription, QStringLiteral("cable B")), 2);
    EXPECT_EQ(list.Find(eiSerialNr, QStringLiteral("ft12")), -1) << "case-sensitive";
    EXPECT_EQ(RaisedText([&] { list.Find(static_cast<EDeviceInfoNoteField>(7), QStringLiteral("x")); }),
              QStringLiteral("Unknown device info note field: 7!"));
    EXPECT_EQ(RaisedText([&] { list.SerialNumber(3); }), QStringLiteral("Invalid list index 3 (3)!"));
    EXPECT_EQ(RaisedText([&] { list.Flags(-1); }), QStringLiteral("Invalid list index -1 (3)!"));

    const char* const names[] = {"232BM", "232AM", "100AX", "Unknown", "2232C", "232R", "2232H", "4232H"};
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(TFtdiD2xxDeviceList::DeviceTypeName(i).toStdString(), names[i]);
    EXPECT_EQ(TFtdiD2xxDeviceList::DeviceTypeName(0x1A), QStringLiteral("Undefined 0x1A"));

    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(0x231u), QStringLiteral("0231"));
    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(0x2A4B1u), QStringLiteral("2A4B1"));
    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(QStringLiteral("2a4b1")), 0x2A4B1);
    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(QStringLiteral("0x12")), -1);
    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(QStringLiteral("")), -1);
    EXPECT_EQ(TFtdiD2xxBase::UsbPortId(QStringLiteral("G1")), -1);

    fFtdi.SetAvailable(false);
    EXPECT_EQ(RaisedText([&] { list.Load(); }), QStringLiteral("File \"libftdi1\" not found!"));
}

TEST_F(DevicePortFtdiTest, Definition)
{
    TDevicePortFtdi& port = Ftdi(QStringLiteral("  USB1142 "), 2400, 700);
    EXPECT_EQ(port.PortId(), QStringLiteral("USB1142 [USB1142]"));
    EXPECT_EQ(port.DevSerialNo(), QStringLiteral("XFT12Z"));
    EXPECT_EQ(port.TimerInterval(), 700);
    EXPECT_EQ(port.Ftdi()->Baudrate(), 2400u);
    EXPECT_TRUE(
        Logged("Trace: Device FTDI: USB1142 [USB1142], serial number XFT12Z, 2400 bps, Timeout=700ms"));
    // The about box's name and version are registration data of the type.
    const TDeviceTypes::TTypeInfo* pInfo = TestDeviceTypes().TypeInfo(QStringLiteral("FTDI"));
    ASSERT_NE(pInfo, nullptr);
    const QString sName = pInfo->sName;
    const QString sVersion = pInfo->sVersion;
    EXPECT_EQ(sName, QStringLiteral("Port: FTDI"));
    EXPECT_EQ(sVersion, QStringLiteral("V2.20.07"));
    EXPECT_FALSE(fMeter->IsOpen()) << "a definition does not open the converter";

    const EMsg notFound = RaisedMsg([&] { Ftdi(QStringLiteral("DS:nothing")); });
    EXPECT_EQ(notFound.Id().Value, 0x220114u);
    EXPECT_EQ(notFound.Text(), QStringLiteral("No FTDI device found with [DS:nothing]"));
    EXPECT_EQ(RaisedText([&] { Ftdi(QStringLiteral("DS:nothing")); }),
              QStringLiteral("No FTDI device found with [DS:nothing]\r\nID: 220114:0"));
    // The baud rate is read before the identification.
    EXPECT_EQ(RaisedText([&] { Device(QStringLiteral("FTDI; X; 500; DS:nothing; fast")); }),
              QStringLiteral("'fast' is not a valid integer value"));

    // Without a usable library nothing of the line is read.
    fFtdi.SetAvailable(false);
    const EMsg noLibrary = RaisedMsg([&] { Device(QStringLiteral("FTDI; Y; x; y; z")); });
    EXPECT_EQ(noLibrary.Id().Value, 0x22010Au);
    EXPECT_EQ(noLibrary.Text(), QStringLiteral("FTDI D2xx driver not found!"));
}

TEST_F(DevicePortFtdiTest, OpenSetsTheLineUpAndCloseReleasesTheConverter)
{
    TDevicePortFtdi& port = Ftdi(QStringLiteral("DS:cable A"), 57600);
    TCommand* open = Make(port, QStringLiteral("Open"), QString());
    EXPECT_EQ(Run(open), crOk);
    EXPECT_TRUE(fA->IsOpen());
    EXPECT_EQ(fA->ResetCount(), 1);
    EXPECT_EQ(fA->Baudrate(), 57600u);
    EXPECT_EQ(fA->DataBits(), 8);
    EXPECT_EQ(fA->StopBits(), ciFtdiStopBits1);
    EXPECT_EQ(fA->Parity(), 0);
    EXPECT_EQ(fA->FlowControl(), cwFtdiFlowNone);
    EXPECT_EQ(fA->XOnByte(), 17);
    EXPECT_EQ(fA->XOffByte(), 19);

    EXPECT_EQ(Run(open), crOk);
    EXPECT_TRUE(Logged("Warning: FTDI device USB0231 [DS:cable A] already open."));
    EXPECT_EQ(fA->OpenCount(), 1);

    EXPECT_EQ(Run(Make(port, QStringLiteral("Close"), QString())), crOk);
    EXPECT_FALSE(fA->IsOpen());
    EXPECT_EQ(Run(open), crOk) << "Open and Close may be repeated";
    EXPECT_EQ(fA->OpenCount(), 2);

    // Unloading the definition closes the converter.
    ReleaseTestDeviceList();
    EXPECT_FALSE(fA->IsOpen());
}

TEST_F(DevicePortFtdiTest, EachFailingOpeningStep)
{
    struct
    {
        EFakeFtdiStep eStep;
        int iStatus;
        std::uint32_t dwId;
        int iValue;
        const char* sText;
    } const cases[] = {
        {EFakeFtdiStep::Open, ftDeviceNotOpened, 0x22030F, ftDeviceNotOpened,
         "No FTDI device found at USB0231 [SN:FT12AB34]!"},
        {EFakeFtdiStep::Reset, ftIoError, 0x22030E, ftIoError,
         "FTDI device reset failed at USB0231 [SN:FT12AB34]!"},
        {EFakeFtdiStep::Baudrate, ftInvalidBaudRate, 0x22030D, ftInvalidBaudRate,
         "Invalid baudrate \"115200\" for FTDI device at USB0231 [SN:FT12AB34]!"},
        {EFakeFtdiStep::DataCharacteristics, ftInvalidParameter, 0x220314, eoSetDataBits, ""},
        {EFakeFtdiStep::FlowControl, ftIoError, 0x220314, eoSetFlowMode, ""},
    };
    TDevicePortFtdi& port = Ftdi();
    for (const auto& c : cases) {
        fA->FailAt(c.eStep, c.iStatus);
        const EMsg e = RaisedMsg([&] { port.Open(); });
        EXPECT_EQ(e.Id().Value, c.dwId) << c.sText;
        EXPECT_EQ(e.Value(), c.iValue) << c.sText;
        EXPECT_EQ(e.Text().toStdString(), c.sText);
        EXPECT_FALSE(fA->IsOpen()) << "a converter that failed is closed again: " << c.sText;
        EXPECT_FALSE(port.Ftdi()->IsOpen());
        fA->FailAt(c.eStep, ftOk);
    }
    EXPECT_NO_THROW(port.Open()) << "no failure left behind";
    EXPECT_TRUE(fA->IsOpen());
}

TEST_F(DevicePortFtdiTest, OpenFailuresReachTheOpenCommand)
{
    // A rate the converter refuses loads without error and fails at Open.
    fA->SetMaxBaudrate(3000000);
    TDevicePortFtdi& port = Ftdi(QStringLiteral("SN:FT12AB34"), 5000000);
    TCommand* open = Make(port, QStringLiteral("Open"), QString());
    EXPECT_EQ(Run(open), crFailed);
    EXPECT_EQ(open->ErrorText(), QStringLiteral("Cannot open port!"));
    EXPECT_TRUE(Logged("Error: Cannot open port \"USB0231 [SN:FT12AB34]\"!"));
    EXPECT_TRUE(LoggedContaining("Invalid baudrate \"5000000\" for FTDI device at USB0231 [SN:FT12AB34]!"));

    // Unplugged between the definition and the opening.
    TDevicePortFtdi& meter = Device<TDevicePortFtdi>(QStringLiteral("FTDI; Meter; 500; SN:XFT12Z; 2400"));
    fFtdi.Unplug(QStringLiteral("XFT12Z"));
    EXPECT_EQ(RaisedMsg([&] { meter.Open(); }).Id().Value, 0x22030Fu);
}

TEST_F(DevicePortFtdiTest, AccessDeniedNamesTheUdevRule)
{
    fFtdi.PlugDenied(0x2213);
    TDevicePortFtdi& port = Ftdi(QStringLiteral("USB2213"));
    EXPECT_TRUE(
        LoggedContaining("Warning: FTDI converter at USB2213: this user may not open the USB converter: "
                         "install the udev rule /etc/udev/rules.d/60-tzk-ftdi.rules"));
    const EMsg e = RaisedMsg([&] { port.Open(); });
    EXPECT_EQ(e.Id().Value, 0x22030Fu);
    EXPECT_EQ(e.Value(), int(ftAccessDenied));
    EXPECT_TRUE(
        LoggedContaining("Error: FTDI device USB2213 [USB2213]: this user may not open the USB converter"));
}

TEST_F(DevicePortFtdiTest, ConvertersWithoutSerialNumberOpenAtTheirLocation)
{
    TFakeFtdiConverter& first = fFtdi.Plug(QString(), QStringLiteral("no serial 1"), 0x31);
    TFakeFtdiConverter& second = fFtdi.Plug(QString(), QStringLiteral("no serial 2"), 0x32);
    TDevicePortFtdi& port = Ftdi(QStringLiteral("USB32"));
    EXPECT_EQ(port.DevSerialNo(), QString());
    port.Open();
    EXPECT_TRUE(second.IsOpen());
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(Ftdi(QStringLiteral("DS:serial 1")).UsbLocationId(), 0x31u);
}

TEST_F(DevicePortFtdiTest, ExchangeThroughThePortFramework)
{
    TDevicePortFtdi& port = OpenFtdi();
    Answer(QByteArray("xx\x02V=2.1\x03", 9));
    TCommand* send =
        Make(port, QStringLiteral("Send"), QStringLiteral("\"v\"; \"VER?\\r\"; \\STX; \\ETX; \"V=2.*\""));
    EXPECT_EQ(Run(send), crOk);
    EXPECT_EQ(fA->TakeWritten(), QByteArray("VER?\r"));
    EXPECT_TRUE(Logged("Trace: FTDI USB0231 [SN:FT12AB34]: >\"VER?\\0D\";  56 45 52 3F 0D"));
    EXPECT_TRUE(LoggedContaining("Trace: FTDI USB0231 [SN:FT12AB34]: <\"xx"));

    // A response in chunks, the second one after a pause.
    fA->SetOnWrite(nullptr);
    TCommand* wait =
        Make(port, QStringLiteral("WaitForResponse"), QStringLiteral("\"w\"; \"\"; \"\\r\"; \"OK 42\""));
    Start(wait);
    fA->Feed("OK ");
    Idle(150);
    EXPECT_EQ(Conclusions(wait), 0);
    fA->Feed("42\r");
    ASSERT_TRUE(WaitConcluded(wait));
    EXPECT_EQ(wait->CmdResult(), crOk);

    // A value with limits; then nothing comes back.
    Answer("4.98\r");
    EXPECT_EQ(Run(Make(port, QStringLiteral("Evaluate.Value"),
                       QStringLiteral("\"u\"; \"U?\"; \"\"; \"\\r\"; 4.9; 5.1"))),
              crOk);
    fA->SetOnWrite(nullptr);
    EXPECT_EQ(Run(Make(port, QStringLiteral("Timeout"), QStringLiteral("\"t\"; 200"))), crDone);
    TCommand* silent = Make(port, QStringLiteral("Send"), QStringLiteral("\"q\"; \"Q\"; \"\"; \"\"; OK"));
    EXPECT_EQ(Run(silent), crFailed);
    EXPECT_EQ(silent->ErrorText(), QStringLiteral("Timeout!"));
}

TEST_F(DevicePortFtdiTest, WritesThatFail)
{
    TDevicePortFtdi& port = Ftdi();
    TCommand* closed = Make(port, QStringLiteral("Send"), QStringLiteral("\"s\"; \"X\"; \"\"; \"\"; OK"));
    EXPECT_EQ(Run(closed), crFailed);
    EXPECT_EQ(closed->ErrorText(), QStringLiteral("Port is not open!"));
    EXPECT_TRUE(Logged("Error: Port USB0231 [SN:FT12AB34] is not open!"));

    port.Open();
    fA->SetWriteLimit(2);
    EXPECT_EQ(Run(Make(port, QStringLiteral("Timeout"), QStringLiteral("\"t\"; 100"))), crDone);
    TCommand* partial = Make(port, QStringLiteral("Send"), QStringLiteral("\"s\"; \"ABCD\"; \"\"; \"\"; OK"));
    EXPECT_EQ(Run(partial), crFailed);
    EXPECT_EQ(partial->ErrorText(), QStringLiteral("Data not send completely!"));
    EXPECT_TRUE(Logged("Error: FDTI USB0231 [SN:FT12AB34]: Data not send completely!"));
    EXPECT_EQ(fA->Written(), QByteArray("AB"));

    fA->SetWriteLimit(-1);
    fA->FailAt(EFakeFtdiStep::Write, ftIoError);
    TCommand* broken = Make(port, QStringLiteral("Send"), QStringLiteral("\"s\"; \"EF\"; \"\"; \"\"; OK"));
    EXPECT_EQ(Run(broken), crFailed);
    EXPECT_EQ(broken->ErrorText(), QStringLiteral("Data not send completely!"));

    // An empty text sends nothing and waits for data.
    fA->FailAt(EFakeFtdiStep::Write, ftOk);
    TCommand* waitOnly =
        Make(port, QStringLiteral("Send"), QStringLiteral("\"s\"; \"\"; \"\"; \"\"; NoResponse"));
    EXPECT_EQ(Run(waitOnly), crOk);
    EXPECT_TRUE(Logged("Trace: FTDI USB0231 [SN:FT12AB34]: No command wait for data only"));
}

TEST_F(DevicePortFtdiTest, ModemLinesAndCbusPins)
{
    TDevicePortFtdi& port = Ftdi();
    TCommand* early = Make(port, QStringLiteral("Instruct"), QStringLiteral("\"i\"; SetDTR"));
    EXPECT_EQ(Run(early), crFailed);
    EXPECT_EQ(early->ErrorText(), QStringLiteral("Port is not open!"));
    port.Open();

    struct
    {
        const char* sStatement;
        bool bDtr;
        bool bRts;
    } const lines[] = {
        {"setdtr", true, false}, {"SetRTS", true, true}, {"CLRDTR", false, true}, {"ClrRTS", false, false}};
    for (const auto& c : lines) {
        EXPECT_EQ(Run(Make(port, QStringLiteral("Instruct"), QStringLiteral("\"i\"; %1").arg(c.sStatement))),
                  crDone)
            << c.sStatement;
        EXPECT_EQ(fA->Dtr(), c.bDtr) << c.sStatement;
        EXPECT_EQ(fA->Rts(), c.bRts) << c.sStatement;
    }

    struct
    {
        const char* sStatement;
        int iMask;
    } const cbus[] = {{"CBBB[0xF1]", 0xF1},
                      {"CBBB[ 17 ]", 0x11},
                      {"CBBB[$A2]", 0xA2},
                      {"CBBB[0x3F0]", 0xF0},
                      {"CBBB[-1]", 0xFF}};
    for (const auto& c : cbus) {
        EXPECT_TRUE(port.Instruct(QString::fromUtf8(c.sStatement))) << c.sStatement;
        EXPECT_EQ(fA->BitMask(), c.iMask) << c.sStatement;
        EXPECT_EQ(fA->BitMode(), cbyFtdiBitModeCbus) << c.sStatement;
    }
    for (const char* sBad : {"CBBB[x]", "CBBB 5", "CBBB[", "CBBB[]", "CBBB]5["}) {
        const EMsg e = RaisedMsg([&] { port.Instruct(QString::fromUtf8(sBad)); });
        EXPECT_EQ(e.Id().Value, 0x220000u) << sBad;
        EXPECT_EQ(e.Text(), QStringLiteral("Invalid CBUS statement \"%1\"!").arg(QString::fromUtf8(sBad)));
    }

    TCommand* unknown = Make(port, QStringLiteral("Instruct"), QStringLiteral("\"i\"; cbbb[1]"));
    EXPECT_EQ(Run(unknown), crFailed) << "the CBUS keyword is case-sensitive";
    EXPECT_EQ(unknown->ErrorText(), QStringLiteral("Unknown statement!"));
    EXPECT_TRUE(Logged("Error: Unknown statement: cbbb[1]"));

    // A library call that fails gives false without a text of its own.
    fA->FailAt(EFakeFtdiStep::ModemLines, ftIoError);
    fA->FailAt(EFakeFtdiStep::BitMode, ftIoError);
    port.ClearErrorText();
    EXPECT_FALSE(port.Instruct(QStringLiteral("SetDTR")));
    EXPECT_FALSE(port.Instruct(QStringLiteral("CBBB[1]")));
    EXPECT_EQ(port.ErrorText(), QString());
    EXPECT_EQ(port.Ftdi()->LastError(), int(ftIoError));
}

TEST_F(DevicePortFtdiTest, UnplugWhileOpen)
{
    TDevicePortFtdi& port = OpenFtdi();
    const int iErrors = int(fLog.Lines().size());
    fFtdi.Unplug(QStringLiteral("FT12AB34"));
    ASSERT_TRUE(RunEventsUntil([&] { return !port.Ftdi()->IsOpen(); }, 2000));
    EXPECT_EQ(port.Ftdi()->ErrorCode(), int(ftDeviceGone));
    for (std::size_t i = std::size_t(iErrors); i < fLog.Lines().size(); ++i)
        EXPECT_NE(fLog.Lines()[i].eType, eError) << "closed without a message";
    TCommand* send = Make(port, QStringLiteral("Send"), QStringLiteral("\"s\"; \"X\"; \"\"; \"\"; OK"));
    EXPECT_EQ(Run(send), crFailed);
    EXPECT_EQ(send->ErrorText(), QStringLiteral("Port is not open!"));
    EXPECT_TRUE(Run(Make(port, QStringLiteral("Close"), QString())) == crOk) << "closing a lost converter";
}

TEST_F(DevicePortFtdiTest, UnplugEndsAWaitThatHasNoTimeout)
{
    TDevicePortFtdi& port = Ftdi(QStringLiteral("SN:FT12AB34"), 9600, 0);
    port.Open();
    TCommand* wait =
        Make(port, QStringLiteral("WaitForResponse"), QStringLiteral("\"w\"; \"\"; \"\\r\"; OK"));
    Start(wait);
    Idle(120);
    EXPECT_EQ(Conclusions(wait), 0);
    fFtdi.Unplug(QStringLiteral("FT12AB34"));
    ASSERT_TRUE(WaitConcluded(wait, 2000)) << "a lost converter must not leave the run waiting";
    EXPECT_EQ(wait->CmdResult(), crFailed);
    EXPECT_EQ(wait->ErrorText(), QStringLiteral("Port is not open!"));
}

TEST_F(DevicePortFtdiTest, ConverterClassOpensByEveryIdentifierAndReadsOnAnyThread)
{
    TFtdiRs232 ftdi(Library(), TestContext().Msg());
    ftdi.SetBaudrate(2400);
    ftdi.SetParity(epEven);
    ftdi.SetStopBits(es2bit);
    ftdi.SetDataBits(ed7bit);
    ftdi.SetFlowControl(efXonXoff);
    EXPECT_EQ(ftdi.OpenEx(QStringLiteral("1142"), ciFtdiOpenByLocation), eoOpened);
    EXPECT_TRUE(fMeter->IsOpen());
    EXPECT_EQ(fMeter->Baudrate(), 2400u);
    EXPECT_EQ(fMeter->Parity(), 2);
    EXPECT_EQ(fMeter->DataBits(), 7);
    EXPECT_EQ(fMeter->StopBits(), ciFtdiStopBits2);
    EXPECT_EQ(fMeter->FlowControl(), cwFtdiFlowXonXoff);

    // Opening again closes first.
    EXPECT_EQ(ftdi.OpenEx(QStringLiteral("DUT cable B"), ciFtdiOpenByDescription), eoOpened);
    EXPECT_FALSE(fMeter->IsOpen());
    EXPECT_TRUE(fB->IsOpen());
    EXPECT_EQ(ftdi.OpenEx(QStringLiteral("no hex"), ciFtdiOpenByLocation), eoOpenDevice);
    EXPECT_EQ(ftdi.LastError(), int(ftInvalidParameter));
    EXPECT_EQ(ftdi.OpenEx(QStringLiteral("nobody"), ciFtdiOpenBySerialNumber), eoOpenDevice);
    EXPECT_EQ(ftdi.LastError(), int(ftDeviceNotFound));
    ASSERT_TRUE(ftdi.Open(QStringLiteral("XFT12Z"), ciFtdiOpenBySerialNumber));

    // Modem inputs: read at will, and a change raises the event on the main thread.
    int iSignals = 0;
    ftdi.OnModemSignal = [&](TFtdiRs232*) { ++iSignals; };
    EXPECT_EQ(ftdi.GetModemCTS(), 0);
    fMeter->SetModemStatus(cdwFtdiModemCts | cdwFtdiModemDsr);
    EXPECT_TRUE(RunEventsUntil([&] { return iSignals == 1; }, 2000));
    EXPECT_EQ(ftdi.GetModemCTS(), 1);
    EXPECT_EQ(ftdi.GetModemSignal(), int(cdwFtdiModemCts | cdwFtdiModemDsr));
    EXPECT_TRUE(ftdi.SetSignal(emRTS, true));
    EXPECT_TRUE(fMeter->Rts());

    // A reader thread (an instrument's) takes the bytes the poller collected, in order.
    QByteArray expected;
    for (int i = 0; i < 40; ++i)
        expected.append(char(i));
    std::atomic<bool> bDone{false};
    QByteArray received;
    std::thread reader([&] {
        for (int i = 0; i < 200 && received.size() < expected.size(); ++i) {
            char buffer[7];
            const int iRead = ftdi.Read(buffer, int(sizeof buffer));
            if (iRead > 0)
                received.append(buffer, iRead);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        bDone = true;
    });
    for (int i = 0; i < expected.size(); i += 8) {
        fMeter->Feed(expected.mid(i, 8));
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    RunEventsUntil([&] { return bool(bDone); }, 5000);
    reader.join();
    EXPECT_EQ(received, expected);

    ftdi.Close();
    EXPECT_FALSE(fMeter->IsOpen());
    QByteArray none;
    EXPECT_EQ(ftdi.Read(none), -2) << "reading a closed converter fails";
    EXPECT_EQ(ftdi.GetModemCTS(), -1);
    EXPECT_FALSE(ftdi.SetModemStatus(emDTR, true));
}

TEST_F(DevicePortFtdiTest, UnreadBytesKeepTheirNewestPart)
{
    TFtdiRs232 ftdi(Library(), TestContext().Msg());
    ASSERT_TRUE(ftdi.Open(QStringLiteral("AB99"), ciFtdiOpenBySerialNumber));
    QByteArray stream(TFtdiD2xx::ciRxQueueLimit + 1000, 'a');
    stream.replace(stream.size() - 4, 4, "tail");
    fB->Feed(stream.left(1000));
    fB->Feed(stream.mid(1000));
    ASSERT_TRUE(RunEventsUntil([&] { return fB->ReadCount() >= 3; }, 2000));
    QByteArray kept;
    EXPECT_EQ(ftdi.Read(kept), TFtdiD2xx::ciRxQueueLimit);
    EXPECT_TRUE(kept.endsWith("tail"));
}

TEST_F(DevicePortFtdiTest, FailingCloseIsReported)
{
    TFtdiRs232 ftdi(Library(), TestContext().Msg());
    ASSERT_TRUE(ftdi.Open(QStringLiteral("AB99"), ciFtdiOpenBySerialNumber));
    fB->FailAt(EFakeFtdiStep::Close, ftIoError);
    EXPECT_EQ(RaisedText([&] { ftdi.Close(); }), QStringLiteral("Device closing failed!"));
    EXPECT_FALSE(ftdi.IsOpen()) << "the converter is dropped all the same";
}

// Definitions with FTDI devices through the real load path.
class FtdiDefinitionTest : public TDeviceFixture
{
protected:
    FtdiDefinitionTest()
    {
        ports::RegisterDevices(TestDeviceTypes());
        fFtdi.Install(fSession.Context());
    }
    ~FtdiDefinitionTest() override
    {
        fSession.ReleaseDefinition();
        TFtdiDetector::InstanceRelease();
    }

    TFakeFtdi fFtdi;
};

TEST_F(FtdiDefinitionTest, DefinitionRunsOverTheConverter)
{
    TFakeFtdiConverter& dut = fFtdi.Plug(QStringLiteral("FT12AB34"), QStringLiteral("DUT cable"), 0x231);
    dut.SetOnWrite([&](const QByteArray& aData) {
        if (aData == "VER?\r")
            dut.Feed(QByteArray("\x02V=2.1.7\x03", 9));
    });
    ASSERT_TRUE(LoadOk(
        QStringLiteral("Set(String; sVersion)\n"
                       "Device.Create(FTDI; Dut; 1000; SN:\"FT12\"; 115200)\n"
                       "Test.Case(\"Run\")\n{\n"
                       "    Dut.Open(\"Open\")\n"
                       "    Dut.Instruct(\"Power\"; SetDTR)\n"
                       "    Dut.Instruct(\"Relays\"; CBBB[0xF1])\n"
                       "    Dut.Send(\"Version\"; \"VER?\\r\"; \"\\STXV=\"; \\ETX; \"2.?.*\"; sVersion)\n"
                       "    Dut.Close(\"Close\")\n}\n")));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    EXPECT_EQ(fSession.Variables().GetAsStr(QStringLiteral("sVersion")), QStringLiteral("2.1.7"));
    EXPECT_EQ(dut.Written(), QByteArray("VER?\r"));
    EXPECT_TRUE(dut.Dtr());
    EXPECT_EQ(dut.BitMask(), 0xF1);
    EXPECT_FALSE(dut.IsOpen());
}

TEST_F(FtdiDefinitionTest, ConvertersAreListedOncePerLoadedDefinition)
{
    fFtdi.Plug(QStringLiteral("FT12AB34"), QStringLiteral("DUT cable"), 0x231);
    const QString sDefinition = QStringLiteral("Device.Create(SystemControl; Sys)\n"
                                               "Device.Create(FTDI; Dut; 1000; %1; 9600)\n"
                                               "Test.Case(\"Run\")\n{\n"
                                               "    Sys.Delay(\"d\"; 1)\n}\n");
    ASSERT_TRUE(LoadOk(sDefinition.arg(QStringLiteral("SN:FT12"))));
    fFtdi.Plug(QStringLiteral("LATE1"), QStringLiteral("plugged in later"), 0x2411);
    EXPECT_FALSE(
        TFtdiDetector::Instance(fSession.Context().Part<IFtdiLibrary>())->Find(QStringLiteral("SN:LATE1")))
        << "not in the list of the loaded definition";
    // Loading again reads the list again.
    ASSERT_TRUE(LoadOk(sDefinition.arg(QStringLiteral("SN:LATE1"))));
    EXPECT_EQ(fFtdi.ListCount(), 2);

    const QStringList errors = LoadErrors(sDefinition.arg(QStringLiteral("sn:FT12")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("2: Unknown port identification: sn:FT12")))
        << errors[0].toStdString();
}

} // namespace
