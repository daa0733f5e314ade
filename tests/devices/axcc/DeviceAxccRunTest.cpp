#include "TestContext.h"
#include "devices/axcc/DeviceAxcc.h"

#include "AxcsTestBus.h"

#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/Job.h"

#include "DeviceFixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// AXCC definitions through the real load path, run by the runner against the stand-in server.
class DeviceAxccRunTest : public TDeviceFixture
{
protected:
    static void SetUpTestSuite() { fBus = std::make_unique<TAxcsTestBus>(); }
    static void TearDownTestSuite() { fBus.reset(); }

    DeviceAxccRunTest() { axcc::RegisterDevices(TestDeviceTypes()); }
    void SetUp() override
    {
        ASSERT_FALSE(fBus->Address().isEmpty()) << fBus->Error().toStdString();
        ASSERT_TRUE(fBus->StartServer()) << fBus->Error().toStdString();
    }
    void TearDown() override
    {
        fSession.ReleaseDefinition();
        fBus->StopServer();
    }

    static QString Declaration(int iTimeout = 3000)
    {
        return QStringLiteral("Device.Create(AXCC; Axcs; %1; \"%2\")\r\n").arg(iTimeout).arg(fBus->Address());
    }
    QString ErrorOf(const QString& sStep)
    {
        TJob* pJob = Step(sStep);
        return pJob ? pJob->Cmd()->ErrorText() : QStringLiteral("no step \"%1\"").arg(sStep);
    }

    static inline std::unique_ptr<TAxcsTestBus> fBus;
};

TEST_F(DeviceAxccRunTest, DefinitionRunsAgainstTheServer)
{
    fOperator.AnswerButton(TDialogAnswer::Yes);
    ASSERT_TRUE(
        LoadOk(QStringLiteral("Set(String; Serial)\r\n") + Declaration() +
               QStringLiteral("Test.Case(\"Automation\")\r\n{\r\n"
                              "    Axcs.Timeout(\"Too early\"; 4000)\r\n"
                              "    Axcs.Open(\"Connect\")\r\n"
                              "    Axcs.Execute(\"Serial\"§SN; \"Echo SN-0042\"; \"SN-*\"; Serial)\r\n"
                              "    Axcs.Execute(\"Later\"; \"Later 20 %Serial\"; \"%Serial\")\r\n"
                              "    Axcs.Execute(\"Ask\"; \"Ask ShowMsgDlg:Text=Card in?;Button=[Yes,No]\"; "
                              "AGREED)\r\n"
                              "    Axcs.Execute(\"Broken\"; \"Fail -3 No card\"; \"*\")\r\n"
                              "    Axcs.Close(\"Disconnect\")\r\n"
                              "    Axcs.Execute(\"Closed\"; \"Echo x\"; \"x\")\r\n"
                              "}\r\n")));
    fSession.Runner()->SetProcessMode(pmContinueOnFailure);
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
    EXPECT_EQ(fHost.finals.back().failed.size(), 3u) << LogText().toStdString();
    EXPECT_EQ(ErrorOf(QStringLiteral("Too early")), QStringLiteral("Cannot set timeout!"));
    EXPECT_EQ(Step(QStringLiteral("Connect"))->Cmd()->CmdResult(), crOk);
    EXPECT_EQ(fSession.Variables().GetAsStr(QStringLiteral("Serial")), QStringLiteral("SN-0042"));
    EXPECT_EQ(fSession.ValueLog().Value(QStringLiteral("SN")), QStringLiteral("SN-0042"));
    EXPECT_EQ(Step(QStringLiteral("Later"))->Cmd()->CmdResult(), crOk);
    EXPECT_EQ(Step(QStringLiteral("Ask"))->Cmd()->CmdResult(), crOk);
    EXPECT_EQ(fOperator.questions.size(), 1u);
    EXPECT_EQ(ErrorOf(QStringLiteral("Broken")), QStringLiteral("Function error -3: No card!"));
    EXPECT_EQ(ErrorOf(QStringLiteral("Closed")), QStringLiteral("AXCC error!"));
    EXPECT_TRUE(Logged(QStringLiteral("Info: AXCC Server opened: AXCS stand-in server V1.0")));
}

TEST_F(DeviceAxccRunTest, LoadErrorsNameTheLine)
{
    struct
    {
        const char* sLine;
        const char* sError;
    } const cases[] = {
        {"Axcs.Execute(\"x\"; \"Echo\")", "Number of parameters found: 2 < 3 needed parameters!"},
        {"Axcs.Execute(\"x\"; \"Echo\"; \"*\"; Nowhere)", "Variable \"Nowhere\" is not defined! (29210A:0)"},
        {"Axcs.Timeout(\"x\"; later)", "'later' is not a valid integer value"},
        {"Axcs.Execute(\"x\"; \"Echo\"; \"*\")", "no error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineError(QString::fromUtf8(c.sLine), Declaration()).toStdString(), c.sError) << c.sLine;
    EXPECT_TRUE(
        LineError(QStringLiteral("Axcs.Run(\"x\")"), Declaration()).contains(QStringLiteral("\"Run\"")));
    EXPECT_EQ(LineError(QString(), QStringLiteral("Device.Create(AXCC; Axcs)")).toStdString(),
              "Number of parameters found: 2 < 3 needed parameters!");
}

} // namespace
