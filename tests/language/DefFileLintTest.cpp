#include "language/DefFileLint.h"

#include "language/DefFileInterpreterBase.h"
#include "language/DefFilePreprocessor.h"

#include "core/MsgClasses.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceTypes.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class DefFileLintTest : public ::testing::Test
{
protected:
    DefFileLintTest() { sys::RegisterDevices(fTypes); }

    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    // Reads and preprocesses the text as main.TZD (with further files already written to the
    // folder) and checks it as the interpreter does.
    std::vector<TDefFileLint::TWarning> Check(const QString& sText)
    {
        const QString sFile = fDir.WriteText(QStringLiteral("main.TZD"), sText);
        TInterpreterReader reader;
        reader.FileLoad(sFile);
        TDefFileLint lint(reader, fTypes);
        TDefFilePreprocessor(reader).Run();
        lint.Check(reader);
        return lint.Warnings();
    }

    static std::string Listing(const std::vector<TDefFileLint::TWarning>& warnings)
    {
        std::string s;
        for (const auto& w : warnings)
            s += QStringLiteral("%1:%2: %3\n").arg(w.sFileName).arg(w.iLine).arg(w.sText).toStdString();
        return s;
    }

    TTestDir fDir;
    TDeviceTypes fTypes;
};

// A definition a careful test engineer writes: variables in conditions, jumps forward and back,
// sibling cases, a final case, defines in preprocessor conditions.
const char* const csClean = R"(Set(FileInfo; "Clean"; "1.0")
#define VARIANT 2
#define LIMIT VARIANT * 10
Set(Integer; Count)
Set(String; Name)
Device.Create(SystemControl; Sys)
#if VARIANT = 2 and LIMIT > 10
Set(Float; Extra)
#elif __PrinterInstalled("Label printer")
#endif
#if true
#endif
Test.Case("Start")
{
    Sys.Delay("Settle"; 10)
    Sys.Goto("Again"; "start"; %Count < 3 and '%Name' = 'abc' or sqrt(pi) > 1 or $ff > 1.5e2)
    Sys.Goto("Skip"; "Settle")
    Sys.Evaluate("Check"; round(%Count * 2.5) div 2 >= 1)
    Sys.SetTestCaseStatus("Switch"; "Done"; Disabled)
    Sys.SetTestCaseStatus("Switch by name"; "%Name"; Enabled)
}
Test.Final("Done")
{
    Sys.Calculate("Count"; %Count + 1; Count)
}
)";

TEST_F(DefFileLintTest, CleanDefinitionGivesNoWarning)
{
    const auto warnings = Check(QString::fromUtf8(csClean));
    EXPECT_TRUE(warnings.empty()) << Listing(warnings);
}

// Each fixture has exactly one mistake; the warning names its line and what is wrong.
TEST_F(DefFileLintTest, EachMistakeGivesOneWarningAtItsLine)
{
    struct
    {
        const char* sName;
        const char* sText;
        int iLine;
        const char* sWarning;
    } const cases[] = {
        {"Goto to a missing case",
         "Device.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n Sys.Goto(\"Back\"; \"Strat\")\n}\n", 4,
         "Goto target \"Strat\" names no test case"},
        {"SetTestCaseStatus of a missing case",
         "Device.Create(SystemControl; S2)\nTest.Case(\"A\")\n{\n S2.SetTestCaseStatus(\"x\"; Retest; "
         "Enabled)\n}\n",
         4, "SetTestCaseStatus target \"Retest\" names no test case"},
        {"two cases of one name (case ignored)",
         "Test.Case(\"Power\")\n}\nTest.Case(\"A\")\n}\nTest.Final(\"power\")\n}\n", 5,
         "Test case \"power\" has the same name as the test case in line 1 of "},
        {"function line without closing parenthesis",
         "Device.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n Sys.Delay(\"x\"; 10\n}\n", 4,
         "\"Sys.Delay(\" has no closing parenthesis: its parameters are read as empty"},
        {"case left open", "Test.Case(\"A\")\n{\nTest.Case(\"B\")\n{\n}\n", 1,
         "Test case \"A\" is still open at the end of the file (a \"}\" is missing)"},
        {"unknown name in a Goto condition",
         "Set(Integer; Count)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.Goto(\"x\"; \"A\"; Count < 3)\n}\n",
         5, "Name \"Count\" in the Goto condition \"Count < 3\" is neither a declared variable"},
        {"reference to no variable in Evaluate",
         "Set(Integer; Count)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.Evaluate(\"x\"; %Cuont > 1)\n}\n",
         5, "\"%Cuont\" in the Evaluate term \"%Cuont > 1\" refers to no declared variable"},
        {"unknown function-like name in Calculate",
         "Set(Float; U)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.Calculate(\"x\"; %U * gain; U)\n}\n",
         5, "Name \"gain\" in the Calculate term \"%U * gain\""},
        {"unknown name in an #if", "#define VARIANT 2\n#if VARAINT = 2\n#endif\nTest.Case(\"A\")\n}\n", 2,
         "Name \"VARAINT\" in the #if condition \"VARAINT = 2\""},
        // The printer term is replaced by "true", which is a condition only on its own.
        {"printer term compared in an #if",
         "#if __PrinterInstalled(\"Labels\") = 1\n#endif\nTest.Case(\"A\")\n}\n", 1,
         "Name \"true\" in the #if condition \"__PrinterInstalled(\"Labels\") = 1\""},
        {"unknown name inside a define used by #elif",
         "#define LIMIT LIMTI_BASE + 1\n#if false\n#elif LIMIT > 2\n#endif\nTest.Case(\"A\")\n}\n", 3,
         "Name \"LIMTI_BASE\" in the #elif condition \"LIMIT > 2\""},
        {"define without value in #if", "#define DEBUG\n#if DEBUG = 1\n#endif\nTest.Case(\"A\")\n}\n", 2,
         "(it is defined without a value; test that with #ifdef)"},
        {"misspelled reference in a program's parameters",
         "Set(String; Label)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.Execute(\"x\"; \"/bin/echo\"; \"%Label %sLable\"; ; 10)\n}\n",
         5, "\"%sLable\" names no declared variable: the text keeps it as written"},
        {"misspelled reference in a dialog text, percent signs around it",
         "Set(String; Label)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.Dialog(\"x\"; \"100% sure\"; \"%%Label is %Lable, 5 %.\"; ButtonOk)\n}\n",
         5, "\"%Lable\" names no declared variable"},
        {"reference in any device's parameters",
         "Set(String; Cmd)\nTest.Case(\"A\")\n{\n Port.Send(\"x\"§Cmd; \"%Cmd\"; \"%Cdm\")\n}\n", 4,
         "\"%Cdm\" names no declared variable"},
        {"a number format is no reference",
         "Set(Integer; Id)\nSet(String; S)\nDevice.Create(SystemControl; Sys)\nTest.Case(\"A\")\n{\n"
         " Sys.VarIntToStr(\"x\"; Id; \"%d\"; S)\n Sys.Dialog(\"%Undeclared label\"; \"c\"; \"%Num\"; "
         "ButtonOk)\n}\n",
         7, "\"%Num\" names no declared variable"},
    };
    for (const auto& c : cases) {
        const auto warnings = Check(QString::fromUtf8(c.sText));
        ASSERT_EQ(warnings.size(), 1u) << c.sName << "\n" << Listing(warnings);
        EXPECT_EQ(warnings[0].sFileName, fDir.FilePath(QStringLiteral("main.TZD"))) << c.sName;
        EXPECT_EQ(warnings[0].iLine, c.iLine) << c.sName;
        EXPECT_TRUE(warnings[0].sText.contains(QString::fromUtf8(c.sWarning)))
            << c.sName << ": " << warnings[0].sText.toStdString();
    }
}

TEST_F(DefFileLintTest, DefinitionWithoutTestCase)
{
    const auto warnings = Check(QStringLiteral("Device.Create(SystemControl; Sys)\nSys.Beep(\"x\")\n"));
    ASSERT_EQ(warnings.size(), 1u) << Listing(warnings);
    EXPECT_EQ(warnings[0].iLine, 1);
    EXPECT_EQ(warnings[0].sText,
              QStringLiteral("The definition has no test case: nothing will run (a test case starts with "
                             "Test.Case(...))"));
}

TEST_F(DefFileLintTest, VariableWrittenWithoutPercentGetsAHint)
{
    const auto warnings = Check(QStringLiteral("Set(Integer; Count)\nDevice.Create(SystemControl; Sys)\n"
                                               "Test.Case(\"A\")\n}\nSys.Goto(\"x\"; \"A\"; count > 1)\n"));
    ASSERT_EQ(warnings.size(), 1u) << Listing(warnings);
    EXPECT_TRUE(warnings[0].sText.endsWith(QStringLiteral("(the variable is written \"%Count\")")))
        << warnings[0].sText.toStdString();
}

// The checks see what the keyword pass sees: dropped branches and substituted names count, and
// lines in included files are reported with their own file and line.
TEST_F(DefFileLintTest, ChecksThePreprocessedLinesWithTheirLocations)
{
    fDir.WriteText(QStringLiteral("cases.inc"), QStringLiteral("\n\nSys.Goto(\"x\"; \"Missing\")\n"));
    const auto warnings = Check(QStringLiteral("#define TARGET First\n"
                                               "Device.Create(SystemControl; Sys)\n"
                                               "Test.Case(\"First\")\n"
                                               "{\n"
                                               "#ifdef OTHER\n"
                                               "    Sys.Goto(\"dropped\"; \"Nowhere\")\n"
                                               "#endif\n"
                                               "    Sys.Goto(\"back\"; \"TARGET\")\n"
                                               "#include \"cases.inc\"\n"
                                               "}\n"));
    ASSERT_EQ(warnings.size(), 1u) << Listing(warnings);
    EXPECT_EQ(warnings[0].sFileName, fDir.FilePath(QStringLiteral("cases.inc")));
    EXPECT_EQ(warnings[0].iLine, 3);
    EXPECT_TRUE(warnings[0].sText.contains(QStringLiteral("\"Missing\"")));
}

// Variables are looked up as they are inserted: the first declared name that follows the "%"
// wins, and a reference must match the declared spelling.
TEST_F(DefFileLintTest, VariableReferencesFollowTheInsertionRules)
{
    const auto warnings = Check(QStringLiteral("Set(Integer; Id)\nSet(Integer; IdText)\nSet(Integer; Count)\n"
                                               "Device.Create(SystemControl; Sys)\nTest.Case(\"A\")\n}\n"
                                               "Sys.Goto(\"x\"; \"A\"; %IdText > 1)\n"
                                               "Sys.Goto(\"y\"; \"A\"; %count > 1)\n"
                                               "Sys.Goto(\"z\"; \"A\"; 200 * 5 % > 1)\n"));
    ASSERT_EQ(warnings.size(), 2u) << Listing(warnings);
    EXPECT_EQ(warnings[0].iLine, 7);
    EXPECT_TRUE(warnings[0].sText.contains(QStringLiteral("Name \"Text\""))) << "%Id takes the reference";
    EXPECT_EQ(warnings[1].iLine, 8);
    EXPECT_TRUE(warnings[1].sText.contains(QStringLiteral("\"%count\" in the Goto condition")));
}

// Functions of other devices may carry the same names; only the System Control device's flow
// commands are checked.
TEST_F(DefFileLintTest, OnlySystemControlFunctionsAreChecked)
{
    const auto warnings = Check(QStringLiteral("Device.Create(RS232; Port)\nTest.Case(\"A\")\n}\n"
                                               "Port.Goto(\"x\"; \"Nowhere\"; what > 1)\n"));
    EXPECT_TRUE(warnings.empty()) << Listing(warnings);
}

// What the lint knows of a function's fields it reads from the type's registration, for any type.
TEST_F(DefFileLintTest, FieldsComeFromTheRegistration)
{
    fTypes.Register(QStringLiteral("Sequencer"), QStringLiteral("Sequencer"), QStringLiteral("V1"), nullptr,
                    {{QStringLiteral("Jump"), {EParamField::Label, EParamField::TestCase}},
                     {QStringLiteral("Check"), {EParamField::Label, EParamField::Term}},
                     {QStringLiteral("Format"), {EParamField::Label, EParamField::NumberFormat}}});
    const auto warnings = Check(QStringLiteral("Device.Create(Sequencer; Seq)\nTest.Case(\"A\")\n{\n"
                                               " Seq.Jump(\"x\"; \"Nowhere\")\n"
                                               " Seq.Check(\"y\"; what > 1)\n"
                                               " Seq.Format(\"z\"; \"%nothing\")\n}\n"));
    const std::string sListing = Listing(warnings);
    ASSERT_EQ(warnings.size(), 2u) << sListing;
    EXPECT_NE(sListing.find(":4: Jump target \"Nowhere\" names no test case"), std::string::npos) << sListing;
    EXPECT_NE(sListing.find(":5: Name \"what\" in the Check term \"what > 1\""), std::string::npos)
        << sListing;
}

} // namespace
