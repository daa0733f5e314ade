#include "TestContext.h"
#include "devices/audio/DeviceAudioOut.h"

#include "execution/Job.h"

#include "DeviceFixture.h"
#include "PulseTestServer.h"

#include <gtest/gtest.h>

// Audio definitions through the real load path, on a private sound server.
class DeviceAudioLoadTest : public TDeviceFixture
{
protected:
    DeviceAudioLoadTest() { audio::RegisterDevices(TestDeviceTypes()); }
    void SetUp() override
    {
        if (!fServer.Running())
            GTEST_FAIL() << fServer.Error().toStdString();
    }

    TPulseTestServer fServer{TPulseTestServer::StandardSinks()};
};

TEST_F(DeviceAudioLoadTest, ADefinitionPlaysAToneAndChecksIt)
{
    ASSERT_TRUE(LoadOk(QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                                      "Device.Create(AudioOutput; Speaker; TZK-Speakers-Stereo)\r\n"
                                      "Device.Create(AudioInput; Monitor; Monitor of TZK-Speakers-Stereo)\r\n"
                                      "Test.Case(\"Tone\")\r\n{\r\n"
                                      "    Speaker.SetVolume(\"Full\"; dB; 0; 0)\r\n"
                                      "    Speaker.Start.Sine(\"Tone\"; 1000)\r\n"
                                      "    Monitor.Check.RMS(\"RMS\"; 22709:23168; 22709:23168)\r\n"
                                      "    Speaker.Stop(\"Off\")\r\n"
                                      "    Monitor.Stop(\"Idle\")\r\n}\r\n")));
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    EXPECT_EQ(Step(QStringLiteral("Off"))->Cmd()->CmdResult(), crOk);
    EXPECT_EQ(Step(QStringLiteral("Idle"))->Cmd()->CmdResult(), crDone);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Channel 1 passed: 22709 <= "))) << LogText().toStdString();
}

TEST_F(DeviceAudioLoadTest, LineErrorsAppearWhileLoading)
{
    const QString sDevices =
        QStringLiteral("Device.Create(AudioOutput; Out; TZK-Speakers-Stereo)\r\n"
                       "Device.Create(AudioInput; In; Monitor of TZK-Speakers-Mono)\r\n");
    struct
    {
        const char* sLine;
        const char* sError;
    } const cases[] = {
        {"Out.SetVolume(\"v\"; dB; -3; -3; -3)",
         "Audio Volume Error: Value count = 3 > 2 available channels!"},
        {"In.SetVolume(\"v\"; db; 0)", "no error"},
        {"In.Check.RMS(\"x\"; 100)", "Invalid limit value definition \"100\"! (414100:0)"},
        {"In.Check.RMS(\"x\"; 0:100; 5)", "Invalid limit value definition \"5\"! (414101:0)"},
        {"In.Start.AVG.Check(\"x\"; Run; 1:2:3)", "Invalid parameter count for channel 0! (417100:3)"},
        {"In.Start.Peak.Check(\"x\"; 1:2:3:4:5; 1:2)", "Invalid parameter count for channel 1! (418100:2)"},
        {"Out.Start.File(\"x\"; \"missing.wav\")", "File not found: "},
        {"Out.Start.Sine(\"x\")", "Number of parameters found: 1 < 2 needed parameters!"},
    };
    for (const auto& c : cases) {
        const QString sError = LineError(QString::fromLatin1(c.sLine), sDevices);
        EXPECT_TRUE(sError.startsWith(QString::fromLatin1(c.sError)))
            << c.sLine << ": " << sError.toStdString();
    }
}
