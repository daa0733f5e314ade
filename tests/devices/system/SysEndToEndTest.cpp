// The dialog, variable and ID functions through the real load path, run to the final dialog.

#include "DeviceFixture.h"

#include "core/VariableManager.h"
#include "execution/Command.h"
#include "execution/Job.h"

namespace {

class SysEndToEndTest : public TDeviceFixture
{};

TEST_F(SysEndToEndTest, LinesThatDoNotLoad)
{
    fDir.Write(QStringLiteral("nostart.txt"), "Header\r\n1\r\n");
    struct
    {
        const char* sLine;
        const char* sError;
    } const cases[] = {
        {"Sys.Dialog(\"x\"; Check; Text; ButtonYesno)", "Unknown button definition \"ButtonYesno\"!"},
        {"Sys.AssignValueLog(\"Supply\"; 5)", "Missing value log name: \u00A7Sample!"},
        {"Sys.AssignVariable(\"x\"; 12; Count)", "Variable \"Count\" is not defined!"},
        {"Sys.GetNextID(\"x\"; \"TZD:nostart.txt\"; Id)", "Directive \"#Start\" missed in ID file: "},
        {"Sys.RegisterID(\"x\"; \"TZD:missing.txt\"; Id)", "File not found: "},
        {"Sys.Calculate(\"x\"; 1 + 1; Id)", "no error"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(LineError(QString::fromUtf8(c.sLine), QStringLiteral("Set(Integer; Id)"))
                        .startsWith(QString::fromUtf8(c.sError)))
            << c.sLine << " gave "
            << LineError(QString::fromUtf8(c.sLine), QStringLiteral("Set(Integer; Id)")).toStdString();
}

TEST_F(SysEndToEndTest, AskComputeAndRegister)
{
    const QString sIds = fDir.Write(QStringLiteral("ids.txt"), "#ranges 1000..1999\r\n#start\r\n1000\r\n");
    fOperator.AnswerButton(TDialogAnswer::Yes);
    fOperator.AnswerText(QStringLiteral("SN-1234"));
    fOperator.AnswerText(QStringLiteral("5.02"));
    ASSERT_TRUE(
        LoadOk(QStringLiteral("Set(String; Label)\r\n"
                              "Set(Float; Supply)\r\n"
                              "Set(Integer; mVolt)\r\n"
                              "Set(Integer; Id)\r\n"
                              "Device.Create(SystemControl; Sys)\r\n"
                              "Test.Case(\"Operator\")\r\n{\r\n"
                              "Sys.Dialog(\"Ready\"; Unit; Is the unit in place?; ButtonYesNo)\r\n"
                              "Sys.Dialog.Input.String(\"Label\"; L; Label?; SN-; SN-????; Label)\r\n"
                              "Sys.Dialog.Input.Value(\"Supply\"; G; Volts?; Again; ; 4.5; 5.5; Supply)\r\n"
                              "}\r\n"
                              "Test.Case(\"Compute\")\r\n{\r\n"
                              "Sys.Calculate(\"mV\"; %Supply * 1000; mVolt)\r\n"
                              "Sys.Evaluate(\"In range\"; %mVolt > 4800 and %mVolt < 5200)\r\n"
                              "}\r\n"
                              "Test.Case(\"Serial\")\r\n{\r\n"
                              "Sys.GetNextID(\"Draw\"; \"TZD:ids.txt\"; Id)\r\n"
                              "Sys.RegisterID(\"Register\"; \"TZD:ids.txt\"; Id)\r\n"
                              "}\r\n")));
    ASSERT_TRUE(Run()) << LogText().toStdString();
    EXPECT_TRUE(Passed()) << LogText().toStdString();
    EXPECT_EQ(fOperator.PendingAnswers(), 0);
    EXPECT_EQ(Step(QStringLiteral("In range"))->Cmd()->CmdResult(), crOk);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Result in \"mVolt\" = 5020 from 5.02 * 1000 ")));
    EXPECT_EQ(ReadFileBytes(sIds), QByteArray("#ranges 1000..1999\r\n#start\r\n1000\r\n1001\r\n"));

    // The next run draws the next number; an operator who answers No fails the first step.
    fOperator.AnswerButton(TDialogAnswer::No);
    fOperator.AnswerText(QStringLiteral("SN-1234"));
    fOperator.AnswerText(QStringLiteral("5.02"));
    ASSERT_TRUE(Run());
    EXPECT_FALSE(Passed());
    EXPECT_EQ(Step(QStringLiteral("Ready"))->ErrorText(), QStringLiteral("Closed with [No]"));
}

} // namespace
