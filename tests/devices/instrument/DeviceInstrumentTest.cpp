// The multimeter end to end: definitions, Open, Close and Check against a simulated meter that
// streams frames at 2400 baud on a pseudo-terminal, and one meter behind a simulated FTDI converter.

#include "InstrumentFixture.h"
#include "TestContext.h"

#include "devices/instrument/Instrument.h"

#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

using namespace instrument;

namespace {

class DeviceInstrumentTest : public TInstrumentFixture
{
protected:
    TDeviceInstrument& Dmm()
    {
        return dynamic_cast<TDeviceInstrument&>(*fSession.Devices().Device(QStringLiteral("DMM")));
    }
    // The result and error text of the step with that label after the run.
    void ExpectStep(const QString& sLabel, bool bPassed, const QString& sErrorText)
    {
        TJob* job = Step(sLabel);
        ASSERT_NE(job, nullptr) << sLabel.toStdString();
        EXPECT_EQ(job->Passed(), bPassed) << sLabel.toStdString() << "\n" << LogText().toStdString();
        EXPECT_EQ(job->Cmd()->ErrorText(), sErrorText) << sLabel.toStdString();
    }
    // The reading threads of instruments that live in this process.
    static int ReadingThreads()
    {
        int iCount = 0;
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& sTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks.filePath(sTask + QStringLiteral("/comm")));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "tzk-instrument")
                ++iCount;
        }
        return iCount;
    }
};

TEST_F(DeviceInstrumentTest, BadDefinitionsAreLoadErrors)
{
    struct TCase
    {
        const char* sPort;
        const char* sStep;
        const char* sError;
    };
    const TCase cases[] = {
        {"MS8219; COM1", "", "Unknown instrument type \"MS8219\"!"},
        {"ms8218; COM1", "", "Unknown instrument type \"ms8218\"!"},
        {"MS8218; COM0", "", "Invalid RS232 port definition: COM0"},
        {"MS8218; COM", "", "Invalid RS232 port definition: COM"},
        {"MS8218; COMx", "", "Invalid RS232 port definition: COMx"},
        {"MS8218; SN:NOPE", "", "No FTDI device found with [SN:NOPE]"},
        {"MS8218; COM1", "DMM.Check(\"C\"; \"DC02:1.0\"; 1; 0)",
         "Number of parameters found: 4 < 5 needed parameters!"},
        {"MS8218; COM1", "DMM.Check(\"C\"; \"DC02:1.0\"; one; 0; 1)", "'one' is not a valid integer value"},
        {"MS8218; COM1", "DMM.Check(\"C\"; \"DC02:1.0\"; 1; 0; 1; rNone)",
         "Variable \"rNone\" is not defined or wrong type!"},
    };
    fFtdi.Plug(QStringLiteral("FT8218"), QStringLiteral("MS8218 cable"), 0x231);
    for (const TCase& c : cases) {
        const QString sText = QStringLiteral("Set(Float; rU)\r\nDevice.Create(SystemControl; Sys)\r\n"
                                             "Device.Create(Instrument; DMM; %1)\r\n"
                                             "Test.Case(\"Case\")\r\n{\r\nSys.Delay(\"D\"; 1)\r\n%2\r\n}\r\n")
                                  .arg(QLatin1String(c.sPort), QLatin1String(c.sStep));
        const QStringList errors = LoadErrors(sText);
        EXPECT_TRUE(errors.join(QLatin1Char('\n')).contains(QLatin1String(c.sError)))
            << c.sPort << " " << c.sStep << ": " << errors.join(QLatin1Char('\n')).toStdString();
    }
    // COM12 is a valid definition; it fails when it is opened.
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("COM12"), QStringLiteral("DMM.Open(\"Open\")"))));
    ASSERT_TRUE(Run());
    ExpectStep(QStringLiteral("Open"), false, QString());
    EXPECT_TRUE(Logged(QStringLiteral("Error in serial port 12 init")));
    EXPECT_TRUE(Logged(QStringLiteral("Cannot open instrument port COM12!")));
}

TEST_F(DeviceInstrumentTest, PortNumberTakesEveryIntegerForm)
{
    for (const char* sPort : {"COM12", "COM$C", "COM0x0c", "COM 12"}) {
        ASSERT_TRUE(LoadOk(Definition(QLatin1String(sPort), QString()))) << sPort;
        const auto* pMeter = dynamic_cast<const TInstMS8218*>(Dmm().Instrument());
        ASSERT_NE(pMeter, nullptr) << sPort;
        EXPECT_EQ(pMeter->PortNo(), 12u) << sPort;
        EXPECT_EQ(pMeter->PortIndication(), QLatin1String(sPort)) << sPort;
    }
}

TEST_F(DeviceInstrumentTest, CheckPassesOnAFreshReadingWithinTheLimits)
{
    // The user's settings map COM3 to the meter's line.
    {
        QSettings settings(TRegIO::Instance().UserFileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SerialPorts/COM3"), StartMeter(TMeterSimulator::Frame(2, 12345)));
    }
    ASSERT_TRUE(
        LoadOk(Definition(QStringLiteral("COM3"),
                          QStringLiteral("DMM.Open(\"Open\")\r\n"
                                         "DMM.Open(\"Open again\")\r\n"
                                         "DMM.Check(\"Volts\"§Volts; \"DC02:0.001\"; 3; 12.3; 12.4; rU)"))));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    ExpectStep(QStringLiteral("Open again"), true, QString());
    EXPECT_TRUE(Logged(QStringLiteral("Instrument reading already active!")));
    ExpectStep(QStringLiteral("Volts"), true, QString());
    EXPECT_TRUE(Step(QStringLiteral("Volts"))->Cmd()->CmdResult() == crOk);
    EXPECT_DOUBLE_EQ(fSession.Variables().GetAsReal(QStringLiteral("rU")), 12.345);
    EXPECT_EQ(fSession.ValueLog().Value(QStringLiteral("Volts")), QStringLiteral("12.345"));
    EXPECT_TRUE(Logged(QStringLiteral("Response Passed in 0s: 12.3 <= 12.345 <= 12.4")) ||
                Logged(QStringLiteral("Response Passed in 1s: 12.3 <= 12.345 <= 12.4")))
        << LogText().toStdString();
    EXPECT_EQ(Dmm().Instrument() != nullptr, true);
}

TEST_F(DeviceInstrumentTest, ReadingsThatCannotPassEndWithTheirTexts)
{
    struct TCase
    {
        const char* sName;
        QByteArray frame;
        const char* sCheck; // mode; timeout; min; max
        const char* sErrorText;
        const char* sLogged;
        double rStored;
    };
    const TCase cases[] = {
        {"out of limits until the time is over", TMeterSimulator::Frame(2, 12345), "\"DC02:0.001\"; 1; 1; 2",
         "1s: 1 <= 12.345 <= 2", "Response Failed in 1s: 1 <= 12.345 <= 2!", 12.345},
        {"out of limits without time", TMeterSimulator::Frame(2, 12345), "\"DC02:0.001\"; 0; 1; 2",
         "Timeout!", "Timeout after 0s!", 0.0},
        {"wrong mode", TMeterSimulator::Frame(10, 12345), "\"DC02:1.0\"; 1; 0; 99999", "Timeout!",
         "Wrong measure mode \"Ohm\" (DC02:1.0)", 0.0},
        {"overload", TMeterSimulator::Frame(2, 0, 0, false, true), "\"DC02:1.0\"; 1; 0; 99999", "Timeout!",
         "Range overload", 0.0},
        {"bad factor", TMeterSimulator::Frame(2, 5), "\"DC02:1,5\"; 1; 0; 99999", "Timeout!",
         "Invalid value read \"1,5\" (2)", 0.0},
        {"mode string too short", TMeterSimulator::Frame(2, 5), "\"DC02:1\"; 1; 0; 99999",
         "Measurement failed!", "Instrument measurement failed: Invalid mode definition: \"DC02:1\"", 0.0},
    };
    for (const TCase& c : cases) {
        const QString sLine = StartMeter(c.frame);
        fSession.Variables().SetValue(QStringLiteral("rU"), -1.0);
        ASSERT_TRUE(
            LoadOk(Definition(sLine, QStringLiteral("DMM.Open(\"Open\")\r\nDMM.Check(\"Check\"; %1; rU)")
                                         .arg(QLatin1String(c.sCheck)))));
        ASSERT_TRUE(Run());
        ExpectStep(QStringLiteral("Check"), false, QLatin1String(c.sErrorText));
        EXPECT_TRUE(Logged(QLatin1String(c.sLogged))) << c.sName << "\n" << LogText().toStdString();
        EXPECT_DOUBLE_EQ(fSession.Variables().GetAsReal(QStringLiteral("rU")), c.rStored) << c.sName;
    }
    EXPECT_TRUE(Logged(QStringLiteral("Timeout after 1s!")));
}

TEST_F(DeviceInstrumentTest, CheckWithReadingOffAndALineThatGoesAway)
{
    const QString sLine = StartMeter(TMeterSimulator::Frame(2, 100));
    ASSERT_TRUE(
        LoadOk(Definition(sLine, QStringLiteral("DMM.Check(\"Not open\"; \"DC02:1.0\"; 1; 0; 200)"))));
    ASSERT_TRUE(Run());
    ExpectStep(QStringLiteral("Not open"), false, QStringLiteral("Measurement failed!"));
    EXPECT_TRUE(Logged(QStringLiteral("Instrument measurement failed: Port not open: ") + sLine));

    // Close switches reading off at once.
    ASSERT_TRUE(LoadOk(Definition(sLine, QStringLiteral("DMM.Open(\"Open\")\r\n"
                                                        "DMM.Check(\"Open\"; \"DC02:1.0\"; 2; 0; 200)\r\n"
                                                        "DMM.Close(\"Close\")\r\n"
                                                        "DMM.Check(\"Closed\"; \"DC02:1.0\"; 1; 0; 200)"))));
    ASSERT_TRUE(Run());
    ExpectStep(QStringLiteral("Open"), true, QString());
    ExpectStep(QStringLiteral("Closed"), false, QStringLiteral("Measurement failed!"));

    // The meter's line goes away while reading: the line's error, then reading is off.
    ASSERT_TRUE(LoadOk(Definition(sLine, QStringLiteral("DMM.Open(\"Open\")\r\n"
                                                        "DMM.Check(\"Before\"; \"DC02:1.0\"; 2; 0; 200)\r\n"
                                                        "Sys.Delay(\"Wait\"; 300)\r\n"
                                                        "DMM.Check(\"After\"; \"DC02:1.0\"; 1; 0; 200)"))));
    QTimer unplug;
    QObject::connect(&unplug, &QTimer::timeout, [&] {
        if (Step(QStringLiteral("Before"))->Passed()) {
            unplug.stop();
            fMeter.Stop();
        }
    });
    unplug.start(20);
    ASSERT_TRUE(Run());
    ExpectStep(QStringLiteral("Before"), true, QString());
    ExpectStep(QStringLiteral("After"), false, QStringLiteral("Measurement failed!"));
    EXPECT_TRUE(LogText().contains(QLatin1String("Error: Serial port error event number ")))
        << LogText().toStdString();
    EXPECT_TRUE(Logged(QStringLiteral("Instrument measurement failed: Port not open: ") + sLine));
}

TEST_F(DeviceInstrumentTest, StoppingTheRunEndsAWaitingCheck)
{
    const QString sLine = StartMeter(TMeterSimulator::Frame(10, 100));
    ASSERT_TRUE(LoadOk(Definition(sLine, QStringLiteral("DMM.Open(\"Open\")\r\n"
                                                        "DMM.Check(\"Check\"; \"DC02:1.0\"; 30; 0; 200)"))));
    const auto looks = [this] { return LogText().count(QLatin1String("Wrong measure mode")); };
    QTimer stop;
    QObject::connect(&stop, &QTimer::timeout, [&] {
        if (looks() >= 2) {
            stop.stop();
            fSession.Runner()->Stop();
        }
    });
    stop.start(20);
    ASSERT_TRUE(Run(10000));
    EXPECT_FALSE(Step(QStringLiteral("Check"))->Passed());
    // The check looks no more.
    const int iLooks = looks();
    RunEventsUntil([] { return false; }, 1000);
    EXPECT_EQ(looks(), iLooks);
}

TEST_F(DeviceInstrumentTest, ReleasingTheDefinitionEndsTheReadingThread)
{
    const QString sLine = StartMeter(TMeterSimulator::Frame(2, 100));
    ASSERT_TRUE(LoadOk(Definition(sLine, QStringLiteral("DMM.Open(\"Open\")"))));
    EXPECT_EQ(ReadingThreads(), 1);
    ASSERT_TRUE(Run());
    fSession.ReleaseDefinition();
    EXPECT_EQ(ReadingThreads(), 0);

    // A definition that fails to load after the instrument was made is released with it.
    const QStringList errors =
        LoadErrors(Definition(sLine, QStringLiteral("DMM.Check(\"C\"; \"DC02:1.0\"; x; 0; 1)")));
    EXPECT_FALSE(errors.isEmpty());
    EXPECT_EQ(ReadingThreads(), 0);
}

TEST_F(DeviceInstrumentTest, CheckOverAnFtdiConverter)
{
    TFakeFtdiConverter& converter =
        fFtdi.Plug(QStringLiteral("FT8218"), QStringLiteral("MS8218 cable"), 0x231);
    ASSERT_TRUE(LoadOk(Definition(QStringLiteral("DS:MS8218 cable"),
                                  QStringLiteral("DMM.Open(\"Open\")\r\n"
                                                 "DMM.Check(\"Volts\"; \"DC02:0.01\"; 2; -1.3; -1.2; rU)\r\n"
                                                 "DMM.Close(\"Close\")"))));
    EXPECT_EQ(Dmm().Instrument() != nullptr, true);
    EXPECT_EQ(dynamic_cast<TInstMS8218&>(*Dmm().Instrument()).PortIndication(),
              QStringLiteral("USB0231 [DS:MS8218 cable]"));
    // The meter sends its frame every 50 ms.
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (converter.IsOpen())
            converter.Feed(TMeterSimulator::Frame(2, 125, 0, true));
    });
    feeder.start(50);
    ASSERT_TRUE(Run());
    ExpectStep(QStringLiteral("Volts"), true, QString());
    EXPECT_DOUBLE_EQ(fSession.Variables().GetAsReal(QStringLiteral("rU")), -1.25);
    EXPECT_EQ(converter.Baudrate(), 2400u);
    // The reading thread closes the converter after Close, with the cable's supply lines off.
    ASSERT_TRUE(RunEventsUntil([&] { return !converter.IsOpen(); }));
    EXPECT_FALSE(converter.Dtr());
    EXPECT_FALSE(converter.Rts());
}

} // namespace
