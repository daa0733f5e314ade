#include "TestContext.h"
#include "devices/audio/AudioWave.h"
#include "devices/audio/DeviceAudioIn.h"
#include "devices/audio/DeviceAudioOut.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include "FakeRunnerHost.h"
#include "PulseTestServer.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

using namespace audio;

namespace {

// The RMS of the synthesizer's tone: amplitude 32440.32 / sqrt(2), within 1 %.
constexpr int ciRmsMin = 22709;
constexpr int ciRmsMax = 23168;

// Playing on a null sink and capturing its monitor, for real: the devices talk to a private
// server with the sinks "TZK-Speakers-Stereo" (2 channels) and "TZK-Speakers-Mono" (1 channel).
class DeviceAudioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fServer.Running())
            GTEST_FAIL() << fServer.Error().toStdString();
        audio::RegisterDevices(TestDeviceTypes());
        fLog.SetShowTrace(true);
        fLog.Attach();
        TRegIO::Instance().SetEndOnFailure(false);
        fOut = Load(QStringLiteral("AudioOutput; Out; TZK-Speakers-Stereo"));
        fIn = Load(QStringLiteral("AudioInput; In; Monitor of TZK-Speakers-Stereo"));
    }
    void TearDown() override
    {
        ReleaseTestDeviceList();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TRegIO::InstanceRelease();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    static TDevice* Load(const QString& sDefinition) { return TestDeviceList().Append(sDefinition); }
    static TCommand* Make(TDevice* aDevice, const QString& sFunction, const QString& sParameter)
    {
        return aDevice->Command(sFunction)->Init(sFunction, sParameter);
    }
    // Executes a command and waits (bounded) for its conclusion; aWhileWaiting runs once after
    // iAfterMs while it waits.
    static ECmdResult Run(TCommand* aCmd, int iTimeoutMs = 8000, int iAfterMs = -1,
                          const std::function<void()>& aWhileWaiting = {})
    {
        bool bConcluded = false;
        aCmd->SetOnResult([&bConcluded](TCommand*) { bConcluded = true; });
        QTimer timer;
        if (aWhileWaiting) {
            timer.setSingleShot(true);
            QObject::connect(&timer, &QTimer::timeout, aWhileWaiting);
            timer.start(iAfterMs);
        }
        aCmd->Execute(QString());
        const bool bInTime = RunEventsUntil([&bConcluded] { return bConcluded; }, iTimeoutMs);
        aCmd->SetOnResult(nullptr);
        EXPECT_TRUE(bInTime) << "the command did not conclude in time";
        return bInTime ? aCmd->CmdResult() : crUnknown;
    }
    static void Wait(int iMs)
    {
        QElapsedTimer timer;
        timer.start();
        RunEventsUntil([&timer, iMs] { return timer.elapsed() >= iMs; }, iMs + 1000);
    }
    bool Logged(const QString& sText) const { return LogHas(fLog, sText); }
    std::string LogText() const
    {
        QStringList lines;
        for (const TLogLine& line : fLog.Lines())
            lines << line.sText;
        return lines.join(QLatin1Char('\n')).toStdString();
    }
    bool LogContains(const QString& sText) const
    {
        return std::any_of(fLog.Lines().begin(), fLog.Lines().end(),
                           [&sText](const TLogLine& line) { return line.sText.contains(sText); });
    }
    ECmdResult StartTone(TDevice* aOut, const QString& sParameter = QStringLiteral("\"tone\";1000"))
    {
        return Run(Make(aOut, QStringLiteral("Start.Sine"), sParameter));
    }
    // An idle null sink renders in blocks of two seconds: the first sound of a tone reaches its
    // monitor up to two seconds after the tone started, later sound at once. This starts the tone
    // and returns once the monitor hears it.
    void StartToneHeard()
    {
        ASSERT_EQ(StartTone(fOut), crDone);
        ASSERT_EQ(
            Run(Make(fIn, QStringLiteral("Check.RMS"), QStringLiteral("\"heard\";1000:32767;1000:32767"))),
            crOk);
    }
    ECmdResult Stop(TDevice* aDevice) { return Run(aDevice->Command(QStringLiteral("Stop"))); }

    TPulseTestServer fServer{TPulseTestServer::StandardSinks()};
    TMsgLog fLog;
    TTestTree fTree;
    TFakeRunnerHost fHost;
    TProcessRunner fRunner{fTree, fHost, TestContext()}; // the key hook of the open-ended checks
    TDevice* fOut = nullptr;
    TDevice* fIn = nullptr;
};

} // namespace

TEST_F(DeviceAudioTest, RmsCheckOfAToneThroughTheMonitor)
{
    ASSERT_EQ(StartTone(fOut), crDone);
    struct
    {
        const char* sParameter;
        ECmdResult eResult;
        const char* sError; // the error text starts with it
        const char* sLogged;
    } const cases[] = {
        {"\"rms\"\xC2\xA7Rms;22709:23168;22709:23168", crOk, "", "Channel 1 passed: 22709 <= "},
        {"\"one\";22709:23168;0:0", crOk, "", "Channel 1 value ignored"},
        {"\"three\";22709:23168;22709:23168;0:100", crFailed, "2: 0<=?<=100; ",
         "No measured values for channel 2 (0 <= ? <= 100)!"},
        {"\"low\";0:100;22709:23168", crFailed, "0: 0<=", "Channel 0 failed: 0 <= "},
    };
    for (const auto& c : cases) {
        TCommand* check = Make(fIn, QStringLiteral("Check.RMS"), QString::fromUtf8(c.sParameter));
        EXPECT_EQ(Run(check), c.eResult) << c.sParameter;
        EXPECT_EQ(check->ErrorText().left(int(std::strlen(c.sError))).toStdString(), c.sError)
            << c.sParameter;
        EXPECT_TRUE(LogContains(QString::fromLatin1(c.sLogged))) << c.sLogged << "\n" << LogText();
    }
    const int iRms = TValueLog::Instance().Value(QStringLiteral("Rms0")).toInt();
    EXPECT_GE(iRms, ciRmsMin);
    EXPECT_LE(iRms, ciRmsMax);
    EXPECT_EQ(Stop(fOut), crOk);
    EXPECT_EQ(Stop(fOut), crDone) << "nothing plays any more";
    EXPECT_EQ(Stop(fIn), crDone);
}

TEST_F(DeviceAudioTest, RecorderWritesTheSamplesItHeard)
{
    TTestDir dir;
    const QString sFile = dir.FilePath(QStringLiteral("heard.wav"));
    ASSERT_NO_FATAL_FAILURE(StartToneHeard());
    TCommand* recorder =
        Make(fIn, QStringLiteral("Start.Recorder"), QStringLiteral("\"rec\";\"%1\"").arg(sFile));
    ASSERT_EQ(Run(recorder), crDone);
    TCommand* second =
        Make(fIn, QStringLiteral("Start.Recorder"), QStringLiteral("\"rec2\";\"%1.2\"").arg(sFile));
    EXPECT_EQ(Run(second), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Device \"In\" is running already!")));
    Wait(600);
    EXPECT_EQ(Stop(fIn), crOk);
    EXPECT_EQ(Stop(fOut), crOk);

    const QByteArray file = ReadFileBytes(sFile);
    ASSERT_GT(file.size(), 46 + 48000 * 4 / 4) << "at least a quarter second";
    tWAVEFORMATEX format{};
    std::memcpy(&format, file.constData() + 20, sizeof(format));
    EXPECT_EQ(format.wFormatTag, cWaveFormatPcm);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format.wBitsPerSample, 16);

    // Find a crest of the tone and compare a whole period after it with the synthesizer's own.
    TWaveRenderFile readBack;
    readBack.LoadData(file);
    const auto* pSamples = reinterpret_cast<const std::int16_t*>(file.constData() + readBack.DataStart());
    const std::size_t nFrames = (readBack.DataEnd() - readBack.DataStart()) / 4;
    std::optional<std::size_t> crest;
    for (std::size_t i = 0; i + 48 < nFrames && !crest; ++i) {
        if (pSamples[2 * i] == 32440)
            crest = i;
    }
    ASSERT_TRUE(crest.has_value()) << "the recording holds the tone's crest";
    TWaveRenderSynthesizer sine;
    sine.SetFormat(format);
    std::vector<std::int16_t> expected(2 * 60);
    sine.Read(reinterpret_cast<std::uint8_t*>(expected.data()), 60);
    for (std::size_t k = 0; k < 48; ++k) {
        ASSERT_EQ(pSamples[2 * (*crest + k)], expected[2 * (12 + k)]) << "frame " << k << " after the crest";
        ASSERT_EQ(pSamples[2 * (*crest + k) + 1], expected[2 * (12 + k) + 1]);
    }
}

// A recorder that received no packet before its stop writes no file: at once after the start on
// a live input, and on an input that delivers nothing at all (a suspended sink's monitor, as a
// stalled interface), where the stop must end the capture all the same.
TEST_F(DeviceAudioTest, RecorderStoppedBeforeAnyPacketWritesNoFile)
{
    TTestDir dir;
    struct
    {
        const char* sName;
        bool bSuspended;
        int iWaitMs; // between the start and the stop
    } const cases[] = {
        {"at-once.wav", false, 0},
        {"suspended.wav", true, 1200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        fServer.Pactl({QStringLiteral("suspend-sink"), QStringLiteral("tzk_stereo"),
                       QString::number(c.bSuspended ? 1 : 0)});
        ASSERT_EQ(fServer.Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")})
                      .split(QLatin1Char('\n'))
                      .filter(QStringLiteral("tzk_stereo.monitor"))
                      .join(QString())
                      .contains(QStringLiteral("SUSPENDED")),
                  c.bSuspended);
        fLog.Clear();
        const QString sFile = dir.FilePath(QString::fromLatin1(c.sName));
        ASSERT_EQ(
            Run(Make(fIn, QStringLiteral("Start.Recorder"), QStringLiteral("\"rec\";\"%1\"").arg(sFile))),
            crDone);
        if (c.iWaitMs > 0)
            Wait(c.iWaitMs);
        // The capture thread wakes every half second; two wakes bound the stop.
        EXPECT_EQ(Run(fIn->Command(QStringLiteral("Stop")), 1500), crOk);
        EXPECT_TRUE(Logged(QStringLiteral("Error in device \"In\": Wave header update failed!")))
            << LogText();
        EXPECT_FALSE(QFile::exists(sFile)) << QFileInfo(sFile).size() << " bytes written";
        const auto* in = static_cast<const TDeviceAudioIn*>(fIn);
        ASSERT_TRUE(RunEventsUntil([in] { return in->State() == easStopped; }, 1000)) << "the thread ended";
    }
}

// A suspended output takes nothing after the first few packets; the stop ends the tone all the
// same, and releasing the devices ends a tone left playing there.
TEST_F(DeviceAudioTest, StopEndsAToneOnASuspendedOutput)
{
    fServer.Pactl({QStringLiteral("suspend-sink"), QStringLiteral("tzk_stereo"), QStringLiteral("1")});
    ASSERT_EQ(StartTone(fOut), crDone);
    Wait(300);
    EXPECT_EQ(Run(fOut->Command(QStringLiteral("Stop")), 1500), crOk);
    const auto* out = static_cast<const TDeviceAudioOut*>(fOut);
    EXPECT_TRUE(RunEventsUntil([out] { return out->State() == easStopped; }, 1000));

    ASSERT_EQ(StartTone(fOut), crDone);
    Wait(300);
    QElapsedTimer timer;
    timer.start();
    ReleaseTestDeviceList();
    EXPECT_LT(timer.elapsed(), 1500) << "the render thread ended with its device";
}

TEST_F(DeviceAudioTest, AverageAndPeakChecksEndWithTheOperatorsKey)
{
    ASSERT_NO_FATAL_FAILURE(StartToneHeard());
    const auto enter = [this] { fRunner.OfferKey(Qt::Key_Return); };
    const auto escape = [this] { fRunner.OfferKey(Qt::Key_Escape); };

    TCommand* avg = Make(fIn, QStringLiteral("Start.AVG.Check"),
                         QString::fromUtf8("\"avg\"\xC2\xA7"
                                           "A;Run;0:0:0:0;0:0:0:0"));
    // Enter after two wakes of the capture thread: about a second of sound.
    EXPECT_EQ(Run(avg, 8000, 1200, enter), crOk) << avg->ErrorText().toStdString();
    // The tone's rectified average is 20622 (the analysers' test checks it exactly); a gap in the
    // monitor's sound, as on a machine under load, lowers it, nothing raises it.
    const int iAverage = TValueLog::Instance().Value(QStringLiteral("AAVG0")).toInt();
    EXPECT_GE(iAverage, 20622 * 8 / 10);
    EXPECT_LE(iAverage, 20622 + 250);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("APeak1")), QStringLiteral("32440"));
    EXPECT_GT(TValueLog::Instance().Value(QStringLiteral("ACount0")).toLongLong(), 20000);

    TCommand* autoError =
        Make(fIn, QStringLiteral("Start.AVG.Check"), QStringLiteral("\"auto\";autoerror;0:0:100:0;0:0:0:0"));
    EXPECT_EQ(Run(autoError), crFailed) << "stops by itself at the first average above the limit";
    EXPECT_TRUE(autoError->ErrorText().startsWith(QStringLiteral("AVG 0: ")))
        << autoError->ErrorText().toStdString();
    EXPECT_TRUE(autoError->ErrorText().endsWith(QStringLiteral(">100; ")));

    TCommand* escaped =
        Make(fIn, QStringLiteral("Start.AVG.Check"), QStringLiteral("\"esc\";Run;0:0:0:0;0:0:0:0"));
    EXPECT_EQ(Run(escaped, 8000, 600, escape), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Testcase cancelled by ESC!")));

    TCommand* peak = Make(fIn, QStringLiteral("Start.Peak.Check"),
                          QStringLiteral("\"peak\";-32768:32767:0:0:0;-32768:32767:65535:0:0"));
    EXPECT_EQ(Run(peak, 8000, 700, enter), crOk) << "ended with Enter and no limit exceeded";
    EXPECT_TRUE(LogContains(QStringLiteral("sample update: -32440 {64880} 32440")));

    // Only channel 0 configured: channel 1's notifications are ignored, its limits exceeded.
    TCommand* tight =
        Make(fIn, QStringLiteral("Start.Peak.Check"), QStringLiteral("\"tight\";-100:32767:0:0:0"));
    EXPECT_EQ(Run(tight, 8000, 700, enter), crFailed) << "a limit was exceeded";
    EXPECT_TRUE(LogContains(QStringLiteral(" < -100)!")));
    EXPECT_EQ(Stop(fOut), crOk);
}

TEST_F(DeviceAudioTest, CaptureErrorsFailTheWaitingCheck)
{
    TDevice* mono = Load(QStringLiteral("AudioInput; MonoIn; Monitor of TZK-Speakers-Mono"));
    TCommand* avg =
        Make(mono, QStringLiteral("Start.AVG.Check"), QStringLiteral("\"avg\";Run;0:0:0:0;0:0:0:0"));
    EXPECT_EQ(Run(avg), crFailed);
    EXPECT_EQ(avg->ErrorText(), QStringLiteral("No measured values"));
    EXPECT_TRUE(Logged(QStringLiteral(
        "Error in device \"MonoIn\": Definied offset count 2 differs from hardware channel count 1!")));

    const int iModule = fServer.AddSink({QStringLiteral("tzk_usb"), QStringLiteral("TZK-USB-Headset"), 2});
    ASSERT_GE(iModule, 0);
    TDevice* usb = Load(QStringLiteral("AudioInput; Usb; Monitor of TZK-USB"));
    TCommand* rms = Make(usb, QStringLiteral("Check.RMS"), QStringLiteral("\"rms\";0:100"));
    TCommand* peak = Make(usb, QStringLiteral("Start.Peak.Check"), QStringLiteral("\"peak\";-1:1:0:0:0"));
    ASSERT_TRUE(fServer.RemoveModule(iModule));
    EXPECT_EQ(Run(rms), crFailed);
    EXPECT_EQ(rms->ErrorText(), QStringLiteral("No measured values"));
    EXPECT_TRUE(Logged(
        QStringLiteral("Error in device \"Usb\": Audio capture device \"Monitor of TZK-USB\" not found!")));
    EXPECT_EQ(Run(peak), crFailed) << "a peak check after a capture error";
}

TEST_F(DeviceAudioTest, OneWaitingCommandPerDevice)
{
    TCommand* rms = Make(fIn, QStringLiteral("Check.RMS"), QStringLiteral("\"rms\";0:1"));
    bool bConcluded = false;
    rms->SetOnResult([&bConcluded](TCommand*) { bConcluded = true; });
    rms->Execute(QString());
    TCommand* stop = fIn->Command(QStringLiteral("Stop"));
    stop->Execute(QString());
    EXPECT_EQ(stop->CmdResult(), crFailed);
    EXPECT_EQ(stop->ErrorText(), QStringLiteral("AudioIn \"Stop\" not finished last time!\r\nID: 412100:0"));
    ASSERT_TRUE(RunEventsUntil([&bConcluded] { return bConcluded; }, 8000));
    EXPECT_EQ(rms->CmdResult(), crOk) << "silence: RMS 0 within 0:1";
}

TEST_F(DeviceAudioTest, RefusedCheckLeavesTheWaitingCheckMeasuring)
{
    ASSERT_NO_FATAL_FAILURE(StartToneHeard());
    TCommand* peak = Make(fIn, QStringLiteral("Start.Peak.Check"),
                          QStringLiteral("\"peak\";-32768:32767:0:0:0;-32768:32767:65535:0:0"));
    bool bConcluded = false;
    peak->SetOnResult([&bConcluded](TCommand*) { bConcluded = true; });
    peak->Execute(QString());
    Wait(700); // the capture runs

    TCommand* rms = Make(fIn, QStringLiteral("Check.RMS"), QStringLiteral("\"rms\";1000:32767;1000:32767"));
    rms->Execute(QString());
    EXPECT_EQ(rms->CmdResult(), crFailed);
    EXPECT_EQ(rms->ErrorText(),
              QStringLiteral("AudioIn \"Check.RMS\" not finished last time!\r\nID: 414200:0"));
    EXPECT_FALSE(RunEventsUntil([&bConcluded] { return bConcluded; }, 1500))
        << "the refused check must not stop the capture of the waiting one";

    fRunner.OfferKey(Qt::Key_Return);
    ASSERT_TRUE(RunEventsUntil([&bConcluded] { return bConcluded; }, 8000));
    EXPECT_EQ(peak->CmdResult(), crOk);
    EXPECT_EQ(Stop(fOut), crOk);
}

TEST_F(DeviceAudioTest, ToneDurationAndSecondStart)
{
    // A tone sounds at least its duration, and at least the first block of one second.
    const struct
    {
        const char* sParameter;
        int iAtLeastMs;
    } cases[] = {{"\"short\";1000;200", 1000}, {"\"long\";1000;1500", 1500}};
    const auto* out = static_cast<const TDeviceAudioOut*>(fOut);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sParameter);
        TCommand* tone = Make(fOut, QStringLiteral("Start.Sine"), QString::fromLatin1(c.sParameter));
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(Run(tone), crDone);
        EXPECT_EQ(StartTone(fOut), crFailed) << "one playback at a time";
        EXPECT_TRUE(Logged(QStringLiteral("Device \"Out\" is running already!")));
        ASSERT_TRUE(RunEventsUntil([out] { return out->State() == easStopped; }, 5000)) << "ends by itself";
        EXPECT_GE(timer.elapsed(), c.iAtLeastMs);
        EXPECT_EQ(Stop(fOut), crDone);
        EXPECT_TRUE(Logged(QStringLiteral("Device \"Out\" idle - stop ignored")));
    }
}

TEST_F(DeviceAudioTest, WaveFilesPlayWhenTheirFormatMatches)
{
    TTestDir dir;
    // 2.5 s of a recorded tone at 48 kHz: the one-second first block and three half-second blocks.
    const auto write = [&dir](const QString& sName, int iChannels) {
        TWaveCaptureStream stream;
        tWAVEFORMATEX format{
            cWaveFormatPcm, std::uint16_t(iChannels), 48000, 0, std::uint16_t(2 * iChannels), 16, 0};
        format.nAvgBytesPerSec = 48000u * format.nBlockAlign;
        stream.SetFormat(format);
        stream.SetFileName(dir.FilePath(sName));
        TWaveRenderSynthesizer sine;
        sine.SetFormat(format);
        std::vector<std::uint8_t> block(120000 * std::size_t(format.nBlockAlign));
        sine.Read(block.data(), 120000);
        stream.Write(block.data(), 120000);
        stream.Complete();
        return dir.FilePath(sName);
    };
    const QString sStereo = write(QStringLiteral("stereo.wav"), 2);
    const QString sMono = write(QStringLiteral("mono.wav"), 1);

    TCommand* play = Make(fOut, QStringLiteral("Start.File"), QStringLiteral("\"play\";\"%1\"").arg(sStereo));
    TCommand* rms = Make(fIn, QStringLiteral("Check.RMS"), QStringLiteral("\"rms\";22709:23168;22709:23168"));
    ASSERT_EQ(Run(play), crDone);
    EXPECT_EQ(Run(rms), crOk) << "the file's tone arrives at the monitor";
    const auto* out = static_cast<const TDeviceAudioOut*>(fOut);
    ASSERT_TRUE(RunEventsUntil([out] { return out->State() == easStopped; }, 5000))
        << "the file plays to its end";

    TCommand* mono = Make(fOut, QStringLiteral("Start.File"), QStringLiteral("\"mono\";\"%1\"").arg(sMono));
    EXPECT_EQ(Run(mono), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Error in device \"Out\": Different channel count HW=2 <> 1=Wave")));

    EXPECT_EQ(RaisedText([&] {
                  Make(fOut, QStringLiteral("Start.File"),
                       QStringLiteral("\"x\";\"%1\"").arg(dir.FilePath(QStringLiteral("none.wav"))));
              }).left(16),
              QStringLiteral("File not found: "))
        << "a missing file is an error of the line";
    const QString sBroken = dir.Write(QStringLiteral("broken.wav"), QByteArray("RIFF\4\0\0\0AVI fmt ", 16));
    TCommand* broken = Make(fOut, QStringLiteral("Start.File"), QStringLiteral("\"b\";\"%1\"").arg(sBroken));
    EXPECT_EQ(Run(broken), crFailed);
    EXPECT_EQ(broken->ErrorText(), QStringLiteral("Invalid RIFF type \"AVI \" instead of \"WAVE\"!"));
    EXPECT_EQ(Stop(fOut), crDone) << "the refused file left nothing playing";
}

// Releasing the definition stops and joins the threads of a tone and a capture left running.
TEST_F(DeviceAudioTest, ReleasingTheDevicesEndsTheirStreams)
{
    ASSERT_NO_FATAL_FAILURE(StartToneHeard());
    ASSERT_EQ(Run(Make(fIn, QStringLiteral("Start.RMS.Measurements"), QStringLiteral("\"rms\""))), crDone);
    Wait(700);
    EXPECT_TRUE(LogContains(QStringLiteral("Measured sample RMS: Channel 1 = ")));
    EXPECT_FALSE(
        fServer.Pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")})
            .isEmpty());
    ReleaseTestDeviceList();
    // The server notices the closed streams a moment later.
    EXPECT_TRUE(RunEventsUntil(
        [this] {
            return fServer
                       .Pactl(
                           {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")})
                       .isEmpty() &&
                   fServer
                       .Pactl({QStringLiteral("list"), QStringLiteral("short"),
                               QStringLiteral("source-outputs")})
                       .isEmpty();
        },
        3000));
}
