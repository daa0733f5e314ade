#include "SysCommandFixture.h"

#include "core/EscTaggedString.h"

namespace {

using VariableCommandsTest = SysCommandFixture;

TEST_F(VariableCommandsTest, LoadErrors)
{
    Variables().SetValue(QStringLiteral("Count"), 0);
    Variables().SetValue(QStringLiteral("Text"), QStringLiteral(""));
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"AssignValueLog", "\"Supply\"", "Number of parameters found: 1 < min. 2 needed parameters!"},
        {"AssignValueLog", "\"Supply\";5", "Missing value log name: \u00A7Sample!"},
        {"AssignValueLog", "\"Supply\"\u00A7U1;5", "no error"},
        {"AssignVariable", ";12", "Number of parameters found: 2 < 3 needed parameters!"},
        {"AssignVariable", ";12;Nope", "Variable \"Nope\" is not defined!"},
        {"AssignVariable", ";12;count", "no error"},
        {"AssignVariableEx", ";\\02;Nope", "Variable \"Nope\" is not defined!"},
        {"AssignVarConditionally", ";1>0;a;b", "Number of parameters found: 4 < 5 needed parameters!"},
        {"AssignVarConditionally", ";1>0;a;b;Nope", "Variable \"Nope\" is not defined!"},
        {"VarIntToStr", ";Count;%d", "Invalid csv index 3 to list count 3!"},
        {"VarIntToStr", ";Text;%d;Out", "Variable \"Text\" is not defined or wrong type!\r\nID: 11920A:0"},
        {"VarIntToStr", ";Count;%.4d;NotYetDeclared", "no error"},
        {"VarStrToStr", ";Nope;##;Out", "Variable \"Nope\" is not defined!\r\nID: 11930A:0"},
        {"Calculate", ";1 + 1", "Invalid csv index 2 to list count 2!"},
        {"Calculate", ";1 + 1;Undeclared", "no error"},
        {"Evaluate", "\"x\"", "Invalid csv index 1 to list count 1!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitError(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter)).toStdString(),
                  c.sError)
            << c.sFunction << "(" << c.sParameter << ")";
}

TEST_F(VariableCommandsTest, CalculateRoundsIntoTheVariablesType)
{
    Variables().SetValue(QStringLiteral("Int"), 0);
    Variables().SetValue(QStringLiteral("Real"), 0.0);
    Variables().SetValue(QStringLiteral("Text"), QStringLiteral(""));
    Variables().SetValue(QStringLiteral("Volt"), 1.25);
    struct
    {
        const char* sTerm;
        const char* sVariable;
        const char* sResult;
    } const cases[] = {
        {"10 / 4", "Int", "2"}, // halves go to the even neighbour
        {"14 / 4", "Int", "4"},    {"-5 / 2", "Int", "-2"},      {"10 / 4", "Real", "2.5"},
        {"10 / 4", "Text", "2.5"}, {"2 / 3", "Text", "0.66667"}, {"%Volt * 1000", "Int", "1250"},
    };
    for (const auto& c : cases) {
        const QString sVariable = QString::fromUtf8(c.sVariable);
        EXPECT_EQ(Run(QStringLiteral("Calculate"),
                      QStringLiteral(";%1;%2").arg(QString::fromUtf8(c.sTerm), sVariable)),
                  crDone)
            << c.sTerm;
        EXPECT_EQ(Variables().GetAsStr(sVariable).toStdString(), c.sResult)
            << c.sTerm << " into " << c.sVariable;
    }
    EXPECT_TRUE(Logged(QStringLiteral("Info: Result in \"Int\" = 1250 from 1.25 * 1000 ")));
}

TEST_F(VariableCommandsTest, CalculateFailures)
{
    Variables().SetValue(QStringLiteral("Int"), 7);
    struct
    {
        const char* sParameter;
        const char* sLogged; // the end of a logged line
        const char* sErrorText;
    } const cases[] = {
        {";10 / 4;Nope", "Invalid term \"10 / 4\": Unknown variable type \"Nope\"",
         "Calculation failed: 10 / 4!"},
        {";10 / ;Int", "Invalid term \"10 /\": ", "Calculation failed: 10 /!"},
        {";99999999999 * 99999999999;Int", "is out of the integer range!",
         "Calculation failed: 99999999999 * 99999999999!"},
    };
    for (const auto& c : cases) {
        TCommand* pCmd = Make(QStringLiteral("Calculate"), QString::fromUtf8(c.sParameter));
        EXPECT_EQ(Run(pCmd), crFailed) << c.sParameter;
        EXPECT_EQ(pCmd->ErrorText().toStdString(), c.sErrorText);
        const bool bLogged = std::any_of(fLog.Lines().begin(), fLog.Lines().end(), [&](const TLogLine& line) {
            return line.sText.contains(QString::fromUtf8(c.sLogged));
        });
        EXPECT_TRUE(bLogged) << c.sLogged;
    }
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Int")), 7) << "a failed calculation keeps the value";
}

TEST_F(VariableCommandsTest, CalculateWritesItsValueLogColumn)
{
    Variables().SetValue(QStringLiteral("mVolt"), 0.0);
    EXPECT_EQ(Run(QStringLiteral("Calculate"), QStringLiteral("\"Convert\"\u00A7mV;0.5 * 3;mVolt")), crDone);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("mV")), QStringLiteral("1.5"));
}

TEST_F(VariableCommandsTest, EvaluatePassesOnlyATrueCondition)
{
    Variables().SetValue(QStringLiteral("Temp"), 45);
    struct
    {
        const char* sTerm;
        ECmdResult eResult;
        const char* sLogged;
    } const cases[] = {
        {"%Temp > 40", crOk, "Info: Expression is true: 45 > 40"},
        {"%Temp < 40", crFailed, "Error: Expression is false or evaluation failed: 45 < 40!"},
        {"1 + 1", crFailed, "Expression is not boolean"},
        {"(1 >", crFailed, "Error: Expression is false or evaluation failed: (1 >!"},
    };
    for (const auto& c : cases) {
        TCommand* pCmd = Make(QStringLiteral("Evaluate"), QStringLiteral(";") + QString::fromUtf8(c.sTerm));
        EXPECT_EQ(Run(pCmd), c.eResult) << c.sTerm;
        EXPECT_TRUE(std::any_of(fLog.Lines().begin(), fLog.Lines().end(), [&](const TLogLine& line) {
            return line.sText.contains(QString::fromUtf8(c.sLogged));
        })) << c.sLogged;
    }
    EXPECT_TRUE(
        Logged(QStringLiteral("Error: Invalid expression 1 + 1: Error in math expression: Expression is not "
                              "boolean")));
    TCommand* pFalse = Make(QStringLiteral("Evaluate"), QStringLiteral(";1 > 2"));
    Run(pFalse);
    EXPECT_EQ(pFalse->ErrorText(), QStringLiteral("Expression is false: 1 > 2!"));
}

TEST_F(VariableCommandsTest, AssignVariableConvertsToTheType)
{
    Variables().SetValue(QStringLiteral("Count"), 5);
    Variables().SetValue(QStringLiteral("Name"), QStringLiteral(""));
    EXPECT_EQ(Run(QStringLiteral("AssignVariable"), QStringLiteral(";12;Count")), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Count")), 12);
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Updated variable Count = 12")));

    EXPECT_EQ(Run(QStringLiteral("AssignVariable"), QStringLiteral(";abc;Count")), crFailed);
    EXPECT_TRUE(Logged(QStringLiteral("Can not convert \"abc\" to integer \"Count\"")));
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Count")), 12);

    // The value is unquoted; variable values are inserted.
    EXPECT_EQ(Run(QStringLiteral("AssignVariable"), QStringLiteral(";\"Unit %Count; ok\";Name")), crDone);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("Name")), QStringLiteral("Unit 12; ok"));
}

TEST_F(VariableCommandsTest, AssignVariableExTakesEscapeTags)
{
    Variables().SetValue(QStringLiteral("Frame"), QStringLiteral(""));
    Variables().SetValue(QStringLiteral("Count"), 0);
    TEscTaggedString::Instance().AddDefaultTags();
    struct
    {
        const char* sValue;
        const char* sVariable;
        ECmdResult eResult;
        const char* sStored;
    } const cases[] = {
        {"\\02ABC\\03", "Frame", crDone,
         "\x02"
         "ABC\x03"},
        {"\\STX1\\ETX", "Frame", crDone,
         "\x02"
         "1\x03"},
        {"\\0D\\0A", "Frame", crDone, "\r\n"},
        {"\\31\\32", "Count", crDone, "12"},
        {"\\XYZ", "Frame", crFailed, "\r\n"},
        {"\\41", "Count", crFailed, "12"},
    };
    for (const auto& c : cases) {
        const QString sVariable = QString::fromUtf8(c.sVariable);
        TCommand* pCmd = Make(QStringLiteral("AssignVariableEx"),
                              QStringLiteral(";%1;%2").arg(QString::fromUtf8(c.sValue), sVariable));
        EXPECT_EQ(Run(pCmd), c.eResult) << c.sValue;
        EXPECT_EQ(Variables().GetAsStr(sVariable).toStdString(), c.sStored) << c.sValue;
    }
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Updated variable Frame = \"\\02ABC\\03\"; 02 41 42 43 03")));
    EXPECT_TRUE(std::any_of(fLog.Lines().begin(), fLog.Lines().end(), [](const TLogLine& line) {
        return line.sText.contains(QStringLiteral("Variable assigment failed: Unknown tag in string"));
    }));
    TCommand* pBad = Make(QStringLiteral("AssignVariableEx"), QStringLiteral(";\\41;Count"));
    Run(pBad);
    EXPECT_EQ(pBad->ErrorText(), QStringLiteral("Update \"Count\" with \"A\" failed!"));
    TEscTaggedString::InstanceRelease();
}

TEST_F(VariableCommandsTest, AssignVarConditionallyChoosesByTheCondition)
{
    Variables().SetValue(QStringLiteral("Temp"), 45);
    Variables().SetValue(QStringLiteral("State"), QStringLiteral(""));
    const QString sLine = QStringLiteral(";%Temp > 40;hot %Temp;cold;State");
    EXPECT_EQ(Run(QStringLiteral("AssignVarConditionally"), sLine), crDone);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("State")), QStringLiteral("hot 45"));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Condition is TRUE: 45 > 40")));

    Variables().SetValue(QStringLiteral("Temp"), 40);
    EXPECT_EQ(Run(QStringLiteral("AssignVarConditionally"), sLine), crDone);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("State")), QStringLiteral("cold"));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Condition is FALSE: 40 > 40")));

    TCommand* pBad = Make(QStringLiteral("AssignVarConditionally"), QStringLiteral(";%Temp >;a;b;State"));
    EXPECT_EQ(Run(pBad), crFailed);
    EXPECT_TRUE(pBad->ErrorText().startsWith(QStringLiteral("Conditional variable assignment failed: ")));
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("State")), QStringLiteral("cold"));

    // An empty condition is false.
    Variables().SetValue(QStringLiteral("Temp"), 1);
    EXPECT_EQ(Run(QStringLiteral("AssignVarConditionally"), QStringLiteral(";;yes;2;Temp")), crDone);
    EXPECT_EQ(Variables().GetAsInt(QStringLiteral("Temp")), 2);
    TCommand* pNoInt = Make(QStringLiteral("AssignVarConditionally"), QStringLiteral(";1 > 0;yes;2;Temp"));
    EXPECT_EQ(Run(pNoInt), crFailed);
    EXPECT_EQ(pNoInt->ErrorText(), QStringLiteral("Update \"Temp\" with \"yes\" failed!"));
}

TEST_F(VariableCommandsTest, VarToStrFormatsIntoAStringVariable)
{
    Variables().SetValue(QStringLiteral("Count"), 7);
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral("123456"));
    Variables().SetValue(QStringLiteral("Number"), 0);
    EXPECT_EQ(Run(QStringLiteral("VarIntToStr"), QStringLiteral(";Count;%.4d;Padded")), crDone);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("Padded")), QStringLiteral("0007"));
    EXPECT_TRUE(Logged(QStringLiteral("Trace: Variable Count=7 saved formatted in Padded=\"0007\"")));
    EXPECT_EQ(Run(QStringLiteral("VarIntToStr"), QStringLiteral(";Count;%s;Padded")), crFailed)
        << "a format without an integer placeholder";

    EXPECT_EQ(Run(QStringLiteral("VarStrToStr"), QStringLiteral(";Serial;##.##.##;Dotted")), crDone);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("Dotted")), QStringLiteral("12.34.56"));
    EXPECT_TRUE(
        Logged(QStringLiteral("Trace: Variable Serial=\"123456\" saved formatted in Dotted=\"12.34.56\"")));

    // A target of another type cannot take the text: the step still concludes.
    TCommand* pWrongType = Make(QStringLiteral("VarStrToStr"), QStringLiteral(";Serial;##;Number"));
    EXPECT_EQ(Run(pWrongType), crFailed);
    EXPECT_TRUE(
        pWrongType->ErrorText().startsWith(QStringLiteral("Invalid data type for variable \"Number\"!")));
}

TEST_F(VariableCommandsTest, AssignValueLogFillsItsColumn)
{
    Variables().SetValue(QStringLiteral("U"), 4.75);
    EXPECT_EQ(Run(QStringLiteral("AssignValueLog"), QStringLiteral("\"Supply\"\u00A7U1;%U V")), crDone);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("U1")), QStringLiteral("4.75 V"));
    EXPECT_FALSE(Logged(QStringLiteral("Warning: Log value \"U1\" multiple used!")));

    Make(QStringLiteral("AssignValueLog"), QStringLiteral("\"Again\"\u00A7U1;%U;MultipleUse"));
    EXPECT_FALSE(Logged(QStringLiteral("Warning: Log value \"U1\" multiple used!")));
    Make(QStringLiteral("AssignValueLog"), QStringLiteral("\"Third\"\u00A7U1;x"));
    EXPECT_TRUE(Logged(QStringLiteral("Warning: Log value \"U1\" multiple used!")));
}

} // namespace
