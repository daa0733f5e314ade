#include "language/Station.h"

#include "FakeRunnerHost.h"
#include "TestContext.h"
#include "TestEnvironment.h"

#include "core/RegIO.h"
#include "core/VariableManager.h"
#include "devices/system/DeviceSys.h"
#include "execution/ProcessRunner.h"
#include "language/InterpreterHost.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class TQuietHost : public IInterpreterHost
{
public:
    explicit TQuietHost(TSession& aSession) : fSession(aSession) {}
    bool SkipErrors() const override { return false; }
    void SetFileInfo(const QString&, const QString&) override {}
    bool AssignKey(int, const QString&) override { return true; }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return &fSession.ErrorReport(); }

private:
    TSession& fSession;
};

// A station whose sockets each have a runner with a fake operator face.
struct TStationFixture
{
    explicit TStationFixture(int iSockets) : station(iSockets, &TestDeviceTypes(), &TRegIO::Instance())
    {
        sys::RegisterDevices(TestDeviceTypes());
        for (int i = 1; i <= station.Count(); ++i) {
            hosts.push_back(std::make_unique<TFakeRunnerHost>());
            station.Session(i).AttachRunner(*hosts.back());
        }
    }
    ~TStationFixture()
    {
        for (int i = 1; i <= station.Count(); ++i)
            station.Session(i).DetachRunner();
        TRegIO::InstanceRelease();
        TVariableManager::InstanceRelease();
    }

    void LoadAll(const QString& sFile)
    {
        for (int i = 1; i <= station.Count(); ++i) {
            TQuietHost host(station.Session(i));
            const TLoadReport report = station.Session(i).Load(sFile, host);
            ASSERT_TRUE(report.bRunnable)
                << i << ": " << report.sFailure.toStdString() << report.sLoadInfos.toStdString();
        }
    }
    void StartAll()
    {
        for (int i = 1; i <= station.Count(); ++i) {
            station.Session(i).Runner()->SetProcessState(EProcessState::Ready);
            station.Session(i).Runner()->Start();
        }
    }
    bool AllFinished(int iTimeoutMs)
    {
        return RunEventsUntil(
            [&] {
                for (const auto& host : hosts)
                    if (host->finals.empty())
                        return false;
                return true;
            },
            iTimeoutMs);
    }

    TStation station;
    std::vector<std::unique_ptr<TFakeRunnerHost>> hosts;
};

// One definition, three sockets: the predefined name and the read-only variable give each copy its
// own socket's number, in preprocessor conditions, in substituted values and in texts.
TEST(StationTest, EachSocketSeesItsOwnNumber)
{
    TTestDir dir;
    const QString sFile =
        dir.WriteText(QStringLiteral("station.TZD"),
                      QStringLiteral("#define PORT 500__Socket\r\n"
                                     "#if __Socket = 2\r\n"
                                     "Set(Integer; OnlySecond)\r\n"
                                     "#endif\r\n"
                                     "Set(Integer; Port)\r\n"
                                     "Set(String; Text)\r\n"
                                     "Device.Create(SystemControl; Sys)\r\n"
                                     "Test.Case(\"Wiring\")\r\n{\r\n"
                                     "    Sys.AssignVariable(\"Port\"; PORT; Port)\r\n"
                                     "    Sys.AssignVariable(\"Text\"; \"unit %_Socket\"; Text)\r\n"
                                     "    Sys.Evaluate(\"Number\"; %_Socket = __Socket)\r\n}\r\n"));
    TStationFixture fixture(3);
    ASSERT_EQ(fixture.station.Count(), 3);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    for (int i = 1; i <= 3; ++i) {
        TSession& session = fixture.station.Session(i);
        EXPECT_EQ(session.Socket(), i);
        EXPECT_TRUE(fixture.hosts[std::size_t(i - 1)]->finals.back().bPassed) << i;
        EXPECT_EQ(session.Variables().GetAsInt(QStringLiteral("Port")), 5000 + i);
        EXPECT_EQ(session.Variables().GetAsStr(QStringLiteral("Text")), QStringLiteral("unit %1").arg(i));
        EXPECT_EQ(session.Variables().Confirm(QStringLiteral("OnlySecond"), ectIsDeclared), i == 2) << i;
        // A reset of the variables keeps the socket number.
        session.Variables().ResetValues();
        EXPECT_EQ(session.Variables().GetAsInt(QStringLiteral("_Socket")), i);
    }
}

// A step that writes the socket number fails that step; the other steps and sockets go on.
TEST(StationTest, SocketVariableIsReadOnly)
{
    TTestDir dir;
    const QString sFile =
        dir.WriteText(QStringLiteral("write.TZD"),
                      QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                                     "Test.Case(\"Write\")\r\n{\r\n"
                                     "    Sys.AssignVariable(\"Overwrite\"; 9; _Socket)\r\n}\r\n"));
    TStationFixture fixture(2);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    for (int i = 1; i <= 2; ++i) {
        EXPECT_FALSE(fixture.hosts[std::size_t(i - 1)]->finals.back().bPassed);
        EXPECT_EQ(fixture.station.Session(i).Variables().GetAsInt(QStringLiteral("_Socket")), i);
    }
}

// Stopping one socket ends its run (its final case still runs); the others finish on their own.
TEST(StationTest, StopOneSocketLeavesTheOthersRunning)
{
    TTestDir dir;
    const QString sFile = dir.WriteText(
        QStringLiteral("stop.TZD"), QStringLiteral("Set(Integer; Finals)\r\n"
                                                   "Device.Create(SystemControl; Sys)\r\n"
                                                   "Test.Case(\"Wait\")\r\n{\r\n"
                                                   "    Sys.Delay(\"Long\"; 300)\r\n}\r\n"
                                                   "Test.Final(\"Tidy\")\r\n{\r\n"
                                                   "    Sys.AssignVariable(\"Mark\"; 1; Finals)\r\n}\r\n"));
    TStationFixture fixture(3);
    fixture.LoadAll(sFile);
    EXPECT_FALSE(fixture.station.StopSocket(2)); // nothing runs yet
    fixture.StartAll();
    EXPECT_TRUE(fixture.station.StopSocket(2));
    EXPECT_FALSE(fixture.station.StopSocket(4));
    ASSERT_TRUE(RunEventsUntil([&] { return !fixture.hosts[1]->finals.empty(); }, 10000));
    EXPECT_TRUE(fixture.hosts[0]->finals.empty());
    EXPECT_TRUE(fixture.hosts[2]->finals.empty());
    ASSERT_TRUE(fixture.AllFinished(10000));
    EXPECT_FALSE(fixture.hosts[1]->finals.back().bPassed);
    EXPECT_TRUE(fixture.hosts[0]->finals.back().bPassed);
    EXPECT_TRUE(fixture.hosts[2]->finals.back().bPassed);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(fixture.station.Session(i).Variables().GetAsInt(QStringLiteral("Finals")), 1) << i;
}

TEST(StationTest, SettingsGiveTheSocketCountAndWiring)
{
    TTestDir dir;
    const QString sFile = dir.FilePath(QStringLiteral("station.ini"));
    EXPECT_EQ(TStation::SocketCountSetting(sFile), 1);
    const struct
    {
        const char* sValue;
        int iCount;
    } cases[] = {{"4", 4}, {"1", 1}, {"0", 1}, {"65", 1}, {"four", 1}, {"64", 64}};
    for (const auto& c : cases) {
        {
            QSettings settings(sFile, QSettings::IniFormat);
            settings.setValue(QStringLiteral("Sockets/Count"), QString::fromLatin1(c.sValue));
        }
        EXPECT_EQ(TStation::SocketCountSetting(sFile), c.iCount) << c.sValue;
    }
}

} // namespace
