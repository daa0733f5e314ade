#include "devices/audio/AudioControl.h"
#include "TestContext.h"
#include "devices/audio/DeviceAudioIn.h"
#include "devices/audio/DeviceAudioOut.h"

#include "core/MsgChannel.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceList.h"

#include "PulseTestServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace audio;

namespace {

class AudioControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fServer.Running())
            GTEST_FAIL() << fServer.Error().toStdString();
        audio::RegisterDevices(TestDeviceTypes());
        fLog.SetShowDebug(true);
        fLog.Attach();
    }
    void TearDown() override
    {
        ReleaseTestDeviceList();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        fLog.Detach();
        TMsgClass::ReleaseSingleton();
    }

    TAudioEndpoint Endpoint(EAudioIoType eType, const QString& sId)
    {
        return fPlatform->Endpoint(eType, sId);
    }
    QString Load(const QString& sDefinition)
    {
        try {
            TestDeviceList().Append(sDefinition);
        } catch (const std::exception& e) {
            return ExceptionText(e);
        }
        return QStringLiteral("no error");
    }

    TPulseTestServer fServer{TPulseTestServer::StandardSinks()};
    std::unique_ptr<IAudioPlatform> fPlatform = IAudioPlatform::CreateDefault();
    TMsgLog fLog;
    TMsgChannel fMsg;
};

} // namespace

TEST_F(AudioControlTest, FindsEndpointsByTheStartOfTheirName)
{
    struct
    {
        EAudioIoType eType;
        const char* sName;
        const char* sId; // empty: none found
        const char* sFullName;
    } const cases[] = {
        {eaOutput, "TZK-Speakers", "tzk_stereo", "TZK-Speakers-Stereo"}, // the first in the server's order
        {eaOutput, "TZK-Speakers-Mono", "tzk_mono", "TZK-Speakers-Mono"},
        {eaInput, "Monitor of TZK-Speakers", "tzk_stereo.monitor", "Monitor of TZK-Speakers-Stereo"},
        {eaInput, "Monitor of TZK-Speakers-M", "tzk_mono.monitor", "Monitor of TZK-Speakers-Mono"},
        {eaOutput, "tzk-speakers", "", ""}, // case-sensitive
        {eaInput, "TZK-Speakers", "", ""},  // a sink is no capture endpoint
        {eaOutput, "", "", ""},             // an empty name matches none
    };
    for (const auto& c : cases) {
        QString sId, sFullName;
        const bool bFound =
            TAudioDeviceList::GetDevice(*fPlatform, c.eType, QString::fromLatin1(c.sName), sId, sFullName);
        EXPECT_EQ(bFound, *c.sId != '\0') << c.sName;
        EXPECT_EQ(sId.toStdString(), c.sId) << c.sName;
        if (bFound) {
            EXPECT_EQ(sFullName.toStdString(), c.sFullName) << c.sName;
        }
    }
}

TEST_F(AudioControlTest, VolumeInDecibelAndScalarWithTheirChecks)
{
    TAudioControl control(*fPlatform, fMsg);
    EXPECT_EQ(control.Info(), QStringLiteral("No audio device initialized!"));
    EXPECT_EQ(RaisedText([&] { control.SetVolume({0.0f}); }),
              QStringLiteral("Audio Volume Error: Volume interface not assigned!"));
    ASSERT_TRUE(control.Init(eaOutput, QStringLiteral("TZK-Speakers-St")));
    EXPECT_EQ(control.ChannelCount(), 2);
    EXPECT_TRUE(control.Info().startsWith(QStringLiteral(
        "Device \"TZK-Speakers-Stereo\", Channels = 2, Volume Range = -200.0000 .. 0.0000 dB, Step = ")))
        << control.Info().toStdString();

    control.SetVolume({-6.0f});
    TAudioEndpoint endpoint = Endpoint(eaOutput, QStringLiteral("tzk_stereo"));
    EXPECT_NEAR(endpoint.volumesDb[0], -6.0, 0.01);
    EXPECT_NEAR(endpoint.volumesDb[1], 0.0, 0.01) << "a channel without a value keeps its volume";

    control.SetVolumeScalar({0.5f, 0.25f});
    endpoint = Endpoint(eaOutput, QStringLiteral("tzk_stereo"));
    EXPECT_NEAR(endpoint.volumesScalar[0], 0.5, 0.001);
    EXPECT_NEAR(endpoint.volumesScalar[1], 0.25, 0.001);

    control.SetVolume({-200.0f, 0.0f});
    endpoint = Endpoint(eaOutput, QStringLiteral("tzk_stereo"));
    EXPECT_EQ(endpoint.volumesScalar[0], 0.0f) << "the minimum is accepted and mutes the channel";
    EXPECT_NEAR(endpoint.volumesDb[1], 0.0, 0.01);

    const struct
    {
        std::vector<float> values;
        bool bScalar;
        const char* sError;
    } errors[] = {
        {{-1.0f, -1.0f, -1.0f}, false, "Audio Volume Error: Value count = 3 > 2 available channels!"},
        {{-3.0f, 0.5f}, false, "Audio Volume Error: Value 0.5000 out of range! (min=-200.0000, max=0.0000)"},
        {{-201.0f}, false, "Audio Volume Error: Value -201.0000 out of range! (min=-200.0000, max=0.0000)"},
        {{0.1f, 0.2f, 0.3f}, true, "Audio Volume Error: Scalar value count = 3 > 2 available channels!"},
        {{1.5f}, true, "Audio Volume Error: Scalar value 1.5000 out of range! (min=0.0, max=1.0)"},
    };
    for (const auto& e : errors) {
        const QString sError = RaisedText([&] {
            if (e.bScalar)
                control.SetVolumeScalar(e.values);
            else
                control.SetVolume(e.values);
        });
        EXPECT_EQ(sError.toStdString(), e.sError);
    }
    endpoint = Endpoint(eaOutput, QStringLiteral("tzk_stereo"));
    EXPECT_EQ(endpoint.volumesScalar[0], 0.0f) << "values are checked before any is set";
}

TEST_F(AudioControlTest, MuteAndDefault)
{
    TAudioControl mono(*fPlatform, fMsg);
    ASSERT_TRUE(mono.Init(eaOutput, QStringLiteral("TZK-Speakers-Mono")));
    mono.SetMute(true);
    EXPECT_TRUE(Endpoint(eaOutput, QStringLiteral("tzk_mono")).bMuted);
    EXPECT_FALSE(Endpoint(eaOutput, QStringLiteral("tzk_stereo")).bMuted);
    mono.SetMute(false);
    EXPECT_FALSE(Endpoint(eaOutput, QStringLiteral("tzk_mono")).bMuted);

    mono.SetDefaultEndpointDevice();
    EXPECT_TRUE(Endpoint(eaOutput, QStringLiteral("tzk_mono")).bDefault);
    TAudioControl monitor(*fPlatform, fMsg);
    ASSERT_TRUE(monitor.Init(eaInput, QStringLiteral("Monitor of TZK-Speakers-Stereo")));
    monitor.SetDefaultEndpointDevice();
    EXPECT_TRUE(Endpoint(eaInput, QStringLiteral("tzk_stereo.monitor")).bDefault);
    EXPECT_TRUE(Endpoint(eaOutput, QStringLiteral("tzk_mono")).bDefault) << "the default sink stays";
    EXPECT_EQ(RaisedText([this] {
                  TAudioControl(*IAudioPlatform::CreateDefault(), fMsg).SetDefaultEndpointDevice();
              }),
              QStringLiteral("No audio device assigned!"));
}

TEST_F(AudioControlTest, DevicesAtLoadTime)
{
    EXPECT_EQ(Load(QStringLiteral("AudioOutput; Out; TZK-Speakers")), QStringLiteral("no error"));
    EXPECT_EQ(Load(QStringLiteral("AudioInput; In; \"Monitor of TZK-Speakers-Mono\"")),
              QStringLiteral("no error"));
    EXPECT_TRUE(LogHas(
        fLog, QStringLiteral("Initialized Audio Device \"Monitor of TZK-Speakers-Mono\", Channels = 1, "
                             "Volume Range = -200.0000 .. 0.0000 dB, Step = 0.0031")));
    EXPECT_EQ(Load(QStringLiteral("AudioOutput; Out2; Headphones")),
              QStringLiteral("Audio output device \"Headphones\" not found!\r\nID: 42010A:0"));
    EXPECT_EQ(Load(QStringLiteral("AudioInput; In2; TZK-Speakers")),
              QStringLiteral("Audio input device \"TZK-Speakers\" not found!\r\nID: 41110A:0"));

    TDevice* out = TestDeviceList().Device(QStringLiteral("Out"));
    ASSERT_NE(out, nullptr);
    const auto* pOutInfo = TestDeviceTypes().TypeInfo(QStringLiteral("AudioOutput"));
    ASSERT_NE(pOutInfo, nullptr);
    EXPECT_EQ(pOutInfo->sName + QLatin1Char(' ') + pOutInfo->sVersion,
              QStringLiteral("Audio Output V1.00.00"));
    TDevice* in = TestDeviceList().Device(QStringLiteral("In"));
    const auto* pInInfo = TestDeviceTypes().TypeInfo(QStringLiteral("AudioInput"));
    ASSERT_NE(pInInfo, nullptr);
    EXPECT_EQ(pInInfo->sName + QLatin1Char(' ') + pInInfo->sVersion, QStringLiteral("Audio Input V1.01.01"));
    EXPECT_EQ(out->Command(QStringLiteral("MuteOn"))->Init(QStringLiteral("MuteOn"), QString()),
              out->Command(QStringLiteral("MuteOn")));

    const auto setVolume = [&](TDevice* aDevice, const char* sParameter) {
        try {
            aDevice->Command(QStringLiteral("SetVolume"))
                ->Init(QStringLiteral("SetVolume"), QString::fromLatin1(sParameter));
        } catch (const std::exception& e) {
            return ExceptionText(e).toStdString();
        }
        return std::string("no error");
    };
    EXPECT_EQ(setVolume(out, "\"v\";dB;-3;-3;-3"),
              "Audio Volume Error: Value count = 3 > 2 available channels!");
    EXPECT_EQ(setVolume(out, "\"v\";Percent;50"), "Unknown volume value type \"Percent\"!\r\nID: 402100:0");
    EXPECT_EQ(setVolume(out, "\"v\";scalar;2"),
              "Audio Volume Error: Scalar value 2.0000 out of range! (min=0.0, max=1.0)");
    EXPECT_EQ(setVolume(out, "\"v\";db;-12"), "no error");
    EXPECT_NEAR(Endpoint(eaOutput, QStringLiteral("tzk_stereo")).volumesDb[0], -12.0, 0.01)
        << "set while loading";
    EXPECT_NEAR(Endpoint(eaOutput, QStringLiteral("tzk_stereo")).volumesDb[1], 0.0, 0.01);
    EXPECT_EQ(setVolume(in, "\"v\";Scalar"), "no error") << "no value sets nothing";
    EXPECT_EQ(RaisedText([&] {
                  out->Command(QStringLiteral("SetVolume"))->Init(QStringLiteral("Volume"), QString());
              }),
              QStringLiteral("Unknown function \"Volume\" found!\r\nID: 401100:0"));
}

TEST_F(AudioControlTest, FunctionsOnAVanishedEndpointFailTheStep)
{
    const int iModule = fServer.AddSink({QStringLiteral("tzk_usb"), QStringLiteral("TZK-USB-Headset"), 2});
    ASSERT_GE(iModule, 0);
    ASSERT_EQ(Load(QStringLiteral("AudioOutput; Usb; TZK-USB")), QStringLiteral("no error"));
    TDevice* usb = TestDeviceList().Device(QStringLiteral("Usb"));
    TCommand* volume = usb->Command(QStringLiteral("SetVolume"))
                           ->Init(QStringLiteral("SetVolume"), QStringLiteral("\"v\";dB;-1"));

    struct
    {
        const char* sFunction;
        const char* sError;
    } const cases[] = {
        {"MuteOn", "Cannot mute \"Usb\" device!"},
        {"MuteOff", "Cannot reset device mute \"Usb\"!"},
        {"SetAsDefault", "Cannot set \"Usb\" as default device!"},
    };
    for (const auto& c : cases) {
        TCommand* cmd = usb->Command(QString::fromLatin1(c.sFunction));
        cmd->Execute(QString());
        EXPECT_EQ(cmd->CmdResult(), crDone) << c.sFunction << " while the endpoint is there";
    }
    volume->Execute(QString());
    EXPECT_EQ(volume->CmdResult(), crDone);

    ASSERT_TRUE(fServer.RemoveModule(iModule));
    for (const auto& c : cases) {
        TCommand* cmd = usb->Command(QString::fromLatin1(c.sFunction));
        cmd->Execute(QString());
        EXPECT_EQ(cmd->CmdResult(), crFailed) << c.sFunction;
        EXPECT_EQ(cmd->ErrorText().toStdString(), c.sError);
        EXPECT_TRUE(LogHas(fLog, QString::fromLatin1(c.sError)));
    }
    EXPECT_TRUE(LogHas(fLog, QStringLiteral("COM Error: No such entity")));
    volume->Execute(QString());
    EXPECT_EQ(volume->CmdResult(), crFailed);
    EXPECT_TRUE(volume->ErrorText().startsWith(QStringLiteral("Cannot set volume: Audio Volume COM Error: ")))
        << volume->ErrorText().toStdString();
}

// Without a reachable sound server an audio device is not found; loading neither hangs nor
// starts a server.
TEST(AudioNoServerTest, DevicesAreNotFound)
{
    TTestDir dir;
    const QByteArray aPrevious = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + dir.FilePath(QStringLiteral("none")).toUtf8());
    audio::RegisterDevices(TestDeviceTypes());
    TMsgLog log;
    log.Attach();
    QString sError;
    try {
        TestDeviceList().Append(QStringLiteral("AudioOutput; Out; TZK-Speakers"));
    } catch (const std::exception& e) {
        sError = ExceptionText(e);
    }
    EXPECT_EQ(sError, QStringLiteral("Audio output device \"TZK-Speakers\" not found!\r\nID: 42010A:0"));
    EXPECT_TRUE(LogHas(log, QStringLiteral("Sound server: Connection refused")));
    ReleaseTestDeviceList();
    log.Detach();
    TMsgClass::ReleaseSingleton();
    if (aPrevious.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", aPrevious);
}
