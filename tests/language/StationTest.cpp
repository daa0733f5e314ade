#include "language/Station.h"

#include "StationFixture.h"
#include "TestContext.h"
#include "TestEnvironment.h"

#include "core/RegIO.h"
#include "core/VariableManager.h"
#include "devices/system/DeviceSys.h"
#include "execution/CmdCreateCmd.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "language/InterpreterHost.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace {

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

// Three sockets write one value-log file: a whole line per socket run, each with its socket.
TEST(StationTest, ValueLogLinesSayTheirSocket)
{
    TTestDir dir;
    const QString sFile = dir.WriteText(QStringLiteral("log.TZD"),
                                        QStringLiteral("Set(ValueLog; \"TZD:log.csv\"; \"yyyy\")\r\n"
                                                       "Device.Create(SystemControl; Sys)\r\n"
                                                       "Test.Case(\"Wait\")\r\n{\r\n"
                                                       "    Sys.Delay(\"Settle\"\u00A7Settle; 20)\r\n}\r\n"));
    TStationFixture fixture(3);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    const QStringList slLines = QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("log.csv"))))
                                    .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(slLines.size(), 4) << slLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(slLines[0], QStringLiteral("Start;Duration;Settle;Socket;Result;Operator"));
    QStringList slSockets;
    for (int i = 1; i < 4; ++i) {
        const QStringList slFields = slLines[i].split(QLatin1Char(';'));
        ASSERT_EQ(slFields.size(), 6) << slLines[i].toStdString();
        slSockets.append(slFields[3]);
        EXPECT_EQ(slFields[4], QStringLiteral("Passed"));
    }
    slSockets.sort();
    EXPECT_EQ(slSockets, QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
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

// The failure policy belongs to the socket: socket 1 goes on after failures, socket 2 keeps the
// station's setting and ends its run at the first failed case; the station's setting is unchanged.
TEST(StationTest, FailurePolicyIsEachSocketsOwn)
{
    TTestDir dir;
    const QString sFile =
        dir.WriteText(QStringLiteral("policy.TZD"),
                      QStringLiteral("Set(Integer; Reached)\r\n"
                                     "Device.Create(SystemControl; Sys)\r\n"
                                     "Test.Case(\"Policy\")\r\n{\r\n"
                                     "#if __Socket = 1\r\n"
                                     "    Sys.Process(\"Go on\"; ContinueOnFailure)\r\n"
                                     "#endif\r\n"
                                     "    Sys.Delay(\"Settle\"; 30)\r\n}\r\n"
                                     "Test.Case(\"Fails\")\r\n{\r\n"
                                     "    Sys.Evaluate(\"Never\"; 1 = 2)\r\n}\r\n"
                                     "Test.Case(\"After\")\r\n{\r\n"
                                     "    Sys.AssignVariable(\"Mark\"; 1; Reached)\r\n}\r\n"));
    TRegIO::Instance().SetEndOnFailure(true);
    TStationFixture fixture(2);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    EXPECT_EQ(fixture.station.Session(1).Variables().GetAsInt(QStringLiteral("Reached")), 1);
    EXPECT_EQ(fixture.station.Session(2).Variables().GetAsInt(QStringLiteral("Reached")), 0);
    EXPECT_TRUE(TRegIO::Instance().EndOnFailure());
}

// The command of a step, if any.
const TDevice* StepDevice(const TTreeNode* aNode)
{
    const TJob* pJob = aNode ? aNode->Job() : nullptr;
    return pJob && pJob->Cmd() ? pJob->Cmd()->Owner() : nullptr;
}

// Three sockets share one meter: it is made once, used by one socket at a time (each holds it for
// its whole test case while the others wait), and its commands act on the holding socket's
// variables and value log.
TEST(StationTest, SharedDeviceServesOneSocketAtATime)
{
    TTestDir dir;
    const QString sFile = dir.WriteText(
        QStringLiteral("shared.TZD"), QStringLiteral("Set(ValueLog; \"TZD:log__Socket.csv\"; \"yyyy\")\r\n"
                                                     "Set(Integer; Seen)\r\n"
                                                     "Device.Create(SystemControl; Sys)\r\n"
                                                     "Device.Shared(SystemControl; Meter)\r\n"
                                                     "Test.Case(\"Own\")\r\n{\r\n"
                                                     "    Sys.Delay(\"Own work\"; 5)\r\n}\r\n"
                                                     "Test.Case(\"Measure\")\r\n{\r\n"
                                                     "    Meter.Delay(\"Range\"\u00A7Range; 40)\r\n"
                                                     "    Meter.AssignVariable(\"Read\"; %_Socket; Seen)\r\n"
                                                     "    Meter.Delay(\"Settle\"; 20)\r\n}\r\n"
                                                     "Test.Case(\"After\")\r\n{\r\n"
                                                     "    Sys.Delay(\"Own again\"; 5)\r\n}\r\n"));
    TStationFixture fixture(3);
    fixture.LoadAll(sFile);
    TSharedDevices& shared = fixture.station.SharedDevices();
    ASSERT_EQ(shared.Count(), 1);
    const TDevice* pMeter = shared.Device(QStringLiteral("Meter"));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(fixture.station.Session(i).Devices().Device(QStringLiteral("Meter")), pMeter);

    // The sockets whose meter steps finished, in order: a socket holds the meter for its whole
    // test case, so each socket's three steps follow each other without another socket's between.
    std::vector<int> finishedBy;
    bool bHolderWasUser = true;
    bool bSomeoneWaited = false;
    for (int i = 1; i <= 3; ++i) {
        TProcessRunner* pRunner = fixture.station.Session(i).Runner();
        TDeviceContext* pContext = &fixture.station.Session(i).Context();
        QObject::connect(pRunner, &TProcessRunner::NodeStarted, [&](TTreeNode* aNode) {
            if (StepDevice(aNode) != pMeter)
                return;
            for (int k = 1; k <= 3; ++k)
                bSomeoneWaited = bSomeoneWaited || shared.WaitingFor(fixture.station.Session(k).Context()) ==
                                                       QLatin1String("Meter");
        });
        QObject::connect(pRunner, &TProcessRunner::NodeFinished, [&, i, pContext](TTreeNode* aNode) {
            if (StepDevice(aNode) != pMeter)
                return;
            finishedBy.push_back(i);
            bHolderWasUser = bHolderWasUser && shared.Holder(QStringLiteral("Meter")) == pContext;
        });
    }
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(10000));
    ASSERT_EQ(finishedBy.size(), 9u);
    for (std::size_t i = 0; i < finishedBy.size(); ++i)
        EXPECT_EQ(finishedBy[i], finishedBy[i - i % 3]) << "step " << i;
    EXPECT_TRUE(bHolderWasUser);
    EXPECT_TRUE(bSomeoneWaited);
    EXPECT_EQ(shared.Holder(QStringLiteral("Meter")), nullptr);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(fixture.hosts[std::size_t(i - 1)]->finals.back().bPassed) << i;
        EXPECT_EQ(fixture.station.Session(i).Variables().GetAsInt(QStringLiteral("Seen")), i);
        const QString sLog =
            QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("log%1.csv").arg(i))));
        EXPECT_TRUE(sLog.contains(QStringLiteral("Range"))) << i << sLog.toStdString();
        EXPECT_TRUE(sLog.contains(QStringLiteral(";Passed;op1"))) << i << sLog.toStdString();
    }
}

// Two shared devices used in opposite orders by two sockets: each socket takes both in the one
// order of their declaration, so neither waits for the other forever.
TEST(StationTest, TwoSharedDevicesNeverDeadlock)
{
    TTestDir dir;
    const QString sFile =
        dir.WriteText(QStringLiteral("two.TZD"), QStringLiteral("Device.Shared(SystemControl; A)\r\n"
                                                                "Device.Shared(SystemControl; B)\r\n"
                                                                "#if __Socket = 1\r\n"
                                                                "Test.Case(\"AB\")\r\n{\r\n"
                                                                "    A.Delay(\"a\"; 30)\r\n"
                                                                "    B.Delay(\"b\"; 30)\r\n}\r\n"
                                                                "#else\r\n"
                                                                "Test.Case(\"BA\")\r\n{\r\n"
                                                                "    B.Delay(\"b\"; 30)\r\n"
                                                                "    A.Delay(\"a\"; 30)\r\n}\r\n"
                                                                "#endif\r\n"));
    TStationFixture fixture(2);
    fixture.LoadAll(sFile);
    fixture.StartAll();
    ASSERT_TRUE(fixture.AllFinished(5000));
    EXPECT_TRUE(fixture.hosts[0]->finals.back().bPassed);
    EXPECT_TRUE(fixture.hosts[1]->finals.back().bPassed);
}

// Stopping the socket that holds the shared device hands it on; a stopped socket that waits for it
// fails that step without running it; both still run their final cases.
TEST(StationTest, StopDuringSharedUseReleasesAndForgetsTheWait)
{
    TTestDir dir;
    const QString sFile = dir.WriteText(
        QStringLiteral("stop.TZD"), QStringLiteral("Set(Integer; Tidied)\r\n"
                                                   "Set(Integer; Measured)\r\n"
                                                   "Device.Create(SystemControl; Sys)\r\n"
                                                   "Device.Shared(SystemControl; Meter)\r\n"
                                                   "Test.Case(\"Measure\")\r\n{\r\n"
                                                   "    Meter.Delay(\"Long\"; 300)\r\n"
                                                   "    Meter.AssignVariable(\"Mark\"; 1; Measured)\r\n}\r\n"
                                                   "Test.Final(\"Tidy\")\r\n{\r\n"
                                                   "    Sys.AssignVariable(\"Mark\"; 1; Tidied)\r\n}\r\n"));
    TStationFixture fixture(3);
    fixture.LoadAll(sFile);
    TSharedDevices& shared = fixture.station.SharedDevices();
    fixture.StartAll();
    // Wait until one socket holds the meter and the two others wait for it.
    int iHolder = 0;
    ASSERT_TRUE(RunEventsUntil(
        [&] {
            int iWaiting = 0;
            for (int i = 1; i <= 3; ++i) {
                const TDeviceContext& context = fixture.station.Session(i).Context();
                if (shared.Holder(QStringLiteral("Meter")) == &context)
                    iHolder = i;
                iWaiting += shared.WaitingFor(context) == QLatin1String("Meter") ? 1 : 0;
            }
            return iHolder != 0 && iWaiting == 2;
        },
        5000));
    const int iWaiter = iHolder == 3 ? 2 : 3;
    const int iOther = 6 - iHolder - iWaiter;
    EXPECT_TRUE(fixture.station.StopSocket(iWaiter));
    EXPECT_TRUE(fixture.station.StopSocket(iHolder));
    ASSERT_TRUE(fixture.AllFinished(10000));
    const auto Session = [&](int i) -> TSession& { return fixture.station.Session(i); };
    EXPECT_FALSE(fixture.hosts[std::size_t(iHolder - 1)]->finals.back().bPassed);
    EXPECT_FALSE(fixture.hosts[std::size_t(iWaiter - 1)]->finals.back().bPassed);
    EXPECT_TRUE(fixture.hosts[std::size_t(iOther - 1)]->finals.back().bPassed);
    EXPECT_EQ(Session(iHolder).Variables().GetAsInt(QStringLiteral("Measured")), 0);
    EXPECT_EQ(Session(iWaiter).Variables().GetAsInt(QStringLiteral("Measured")), 0);
    EXPECT_EQ(Session(iOther).Variables().GetAsInt(QStringLiteral("Measured")), 1);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(Session(i).Variables().GetAsInt(QStringLiteral("Tidied")), 1) << i;
    const TTreeNode* pWaitedStep = Session(iWaiter).Tree().Node(1);
    ASSERT_NE(pWaitedStep, nullptr);
    EXPECT_EQ(pWaitedStep->Job()->ErrorText(),
              QStringLiteral("Cancelled while waiting for the shared device \"Meter\""));
    EXPECT_EQ(shared.Holder(QStringLiteral("Meter")), nullptr);
}

// A shared loudspeaker: a tone it starts plays on until the run ends, as an audio output's does.
// It records what it hears, with the socket it works for at that moment.
class TToneDevice : public TDevice
{
public:
    explicit TToneDevice(TDeviceContext& aContext) : TDevice(aContext)
    {
        TCmdCreateCmd::AddTo(*this, Functions());
    }
    void Init(const QString&) override {}
    void RunStarted() override { fslEvents.push_back(QStringLiteral("start %1").arg(Context().Socket())); }
    void RunEnded() override
    {
        fslEvents.push_back(QStringLiteral("end %1").arg(Context().Socket()) +
                            (fbPlaying ? QStringLiteral(" stops the tone") : QString()));
        fbPlaying = false;
    }

    static const TCmdCreateCmd::TTable& Functions();
    QStringList fslEvents;
    bool fbPlaying = false;
};

class TCmdPlay : public TCommand
{
public:
    using TCommand::TCommand;
    void Execute(const QString&) override
    {
        auto& tone = static_cast<TToneDevice&>(*Owner());
        tone.fbPlaying = true;
        tone.fslEvents.push_back(QStringLiteral("play %1").arg(tone.Context().Socket()));
        Conclude(crDone);
    }

protected:
    TCommand* CommandFor(const QString&, const QString&) override { return this; }
};

const TCmdCreateCmd::TTable& TToneDevice::Functions()
{
    static const TCmdCreateCmd::TTable table{
        {QStringLiteral("Tone TCmdCreateCmd.Init: \"%s\" \"%s\""), 0x7F0163, 0x7F020A, QStringLiteral("T1")},
        {{"Play", CreateCommand<TCmdPlay>, nullptr, {}, TCmdCreateCmd::eShared}}};
    return table;
}

// A socket's run start and end reach the shared device it takes: the start when it first takes the
// device in that run, the end while the device works for it. A socket whose run ends while another
// socket holds the device leaves that socket's tone playing.
TEST(StationTest, SharedDeviceHearsItsHoldersRunsStartAndEnd)
{
    // The type is known for this test only, however it ends.
    struct TToneType
    {
        TToneType()
        {
            TestDeviceTypes().Register(
                QStringLiteral("Tone"), QStringLiteral("Tone"), QStringLiteral("V1"),
                [](TDeviceContext& aContext) { return std::make_unique<TToneDevice>(aContext); },
                TCmdCreateCmd::Infos({&TToneDevice::Functions()}));
        }
        ~TToneType() { TestDeviceTypes().Unregister(QStringLiteral("Tone")); }
    } toneType;
    const struct
    {
        const char* sCase;
        int iSecondWaitsMs; // socket 1's run ends at about 300 ms
        QStringList slEvents;
    } cases[] = {
        {"the first socket's run ends with the speaker free",
         600,
         {"start 1", "play 1", "end 1 stops the tone", "start 2", "play 2", "end 2 stops the tone"}},
        {"the first socket's run ends while the second holds the speaker",
         50,
         {"start 1", "play 1", "start 2", "play 2", "end 2 stops the tone"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sCase);
        TTestDir dir;
        const QString sFile = dir.WriteText(
            QStringLiteral("tone.TZD"),
            QStringLiteral("Device.Create(SystemControl; Sys)\r\n"
                           "Device.Shared(Tone; Speaker)\r\n"
                           "#if __Socket = 1\r\n"
                           "Test.Case(\"Beep\")\r\n{\r\n    Speaker.Play(\"Tone on\")\r\n}\r\n"
                           "Test.Case(\"Own\")\r\n{\r\n    Sys.Delay(\"Own work\"; 300)\r\n}\r\n"
                           "#else\r\n"
                           "Test.Case(\"Wait\")\r\n{\r\n    Sys.Delay(\"Socket 1 first\"; %1)\r\n}\r\n"
                           "Test.Case(\"Beep\")\r\n{\r\n    Speaker.Play(\"Tone on\")\r\n"
                           "    Sys.Delay(\"Listen\"; 600)\r\n}\r\n"
                           "#endif\r\n")
                .arg(c.iSecondWaitsMs));
        TStationFixture fixture(2);
        fixture.LoadAll(sFile);
        auto* pTone =
            dynamic_cast<TToneDevice*>(fixture.station.SharedDevices().Device(QStringLiteral("Speaker")));
        ASSERT_NE(pTone, nullptr);
        fixture.StartAll();
        ASSERT_TRUE(fixture.AllFinished(10000));
        EXPECT_EQ(pTone->fslEvents, c.slEvents);
        EXPECT_FALSE(pTone->fbPlaying);
        EXPECT_EQ(fixture.station.SharedDevices().Holder(QStringLiteral("Speaker")), nullptr);

        // The next run is told again.
        pTone->fslEvents.clear();
        fixture.hosts[0]->finals.clear();
        fixture.hosts[1]->finals.clear();
        fixture.StartAll();
        ASSERT_TRUE(fixture.AllFinished(10000));
        EXPECT_EQ(pTone->fslEvents, c.slEvents);
    }
}

// Four sockets draw serial numbers from one ID file, through a shared System Control device (each
// holds it from drawing to registering) or through each socket's own device (all draw before any
// registers): no number is handed out twice and none is refused.
TEST(StationTest, SerialNumbersOfFourSocketsAreDistinct)
{
    for (const char* sDeclaration :
         {"Device.Shared(SystemControl; Ids)", "Device.Create(SystemControl; Ids)"}) {
        SCOPED_TRACE(sDeclaration);
        TTestDir dir;
        dir.WriteText(QStringLiteral("ids.txt"),
                      QStringLiteral("Station ids\r\n#ranges 100..199\r\n#start\r\n100\r\n"));
        const QString sFile = dir.WriteText(
            QStringLiteral("ids.TZD"),
            QStringLiteral("Set(Integer; Id)\r\n"
                           "Device.Create(SystemControl; Sys)\r\n") +
                QLatin1String(sDeclaration) +
                QStringLiteral("\r\nTest.Case(\"Serial\")\r\n{\r\n"
                               "    Ids.GetNextID(\"Draw\"; \"TZD:ids.txt\"; Id)\r\n"
                               "    Sys.Delay(\"Print the label\"; 20)\r\n"
                               "    Ids.RegisterID(\"Register\"; \"TZD:ids.txt\"; Id)\r\n}\r\n"));
        TStationFixture fixture(4);
        fixture.LoadAll(sFile);
        fixture.StartAll();
        ASSERT_TRUE(fixture.AllFinished(20000));
        std::set<std::int64_t> ids;
        for (int i = 1; i <= 4; ++i) {
            EXPECT_TRUE(fixture.hosts[std::size_t(i - 1)]->finals.back().bPassed) << i;
            ids.insert(fixture.station.Session(i).Variables().GetAsInt(QStringLiteral("Id")));
        }
        EXPECT_EQ(ids, (std::set<std::int64_t>{101, 102, 103, 104}));
        const QStringList slIds = QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("ids.txt"))))
                                      .split(QStringLiteral("\r\n"));
        const QStringList slRegistered = slIds.mid(3, 5);
        EXPECT_EQ(std::set<QString>(slRegistered.begin(), slRegistered.end()),
                  (std::set<QString>{QStringLiteral("100"), QStringLiteral("101"), QStringLiteral("102"),
                                     QStringLiteral("103"), QStringLiteral("104")}))
            << slIds.join(QLatin1Char('|')).toStdString();
    }
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
