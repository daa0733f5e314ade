#include "language/DefFileInterpreter.h"
#include "TestContext.h"
#include "language/DefFileKeys.h"
#include "language/InterpreterHost.h"

#include "TestDevices.h"

#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/Job.h"
#include "execution/TestTree.h"
#include "reporting/ErrorReport.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class TFakeHost : public IInterpreterHost
{
public:
    bool SkipErrors() const override { return bSkipErrors; }
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override
    {
        this->sLabel = sLabel;
        this->sVersion = sVersion;
    }
    bool AssignKey(int iKey, const QString& sCaption) override
    {
        if (sCaption != QLatin1String("Start"))
            return false;
        keys.emplace_back(iKey, sCaption);
        return true;
    }
    void SetDefaultDocument(const QString& sFile) override { sDocument = sFile; }
    TErrorReport* ErrorReport() override { return &report; }

    bool bSkipErrors = false;
    QString sLabel, sVersion, sDocument;
    std::vector<std::pair<int, QString>> keys;
    TErrorReport report;
};

class InterpreterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TTestDevice::Register();
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& s) {
            if (aId.TypeNo() >= eWarning)
                fMessages.push_back(s);
        });
        fHost.report.SetPrinterNames([] { return QStringList{QStringLiteral("Label_Printer")}; });
    }
    void TearDown() override
    {
        fTree.Clear();
        ReleaseTestDeviceList();
        TVariableManager::InstanceRelease();
        TValueLog::InstanceRelease();
        TRegIO::InstanceRelease();
        TFormatSettings::ResetApp();
        TTestDevice::Unregister();
        TMsgClass::ReleaseSingleton();
    }

    // Loads the lines as a definition file in the test's folder.
    TInterpreterResult Load(const QString& sText)
    {
        const QString sFile = fDir.WriteText(QStringLiteral("main.TZD"), sText);
        TInterpreter interpreter(fHost, TestContext());
        interpreter.FileLoad(sFile);
        const TInterpreterResult eResult = interpreter.LoadDefinition(fTree);
        fsLoadInfo = interpreter.LastErrors();
        fsCheckWarnings = interpreter.CheckWarnings();
        return eResult;
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (int i = 0; i < fTree.Count(); ++i)
            texts.append(QString(fTree.Node(i)->Level(), QLatin1Char(' ')) + fTree.Node(i)->Text());
        return texts;
    }

    TTestDir fDir;
    TFakeHost fHost;
    TTestTree fTree;
    QString fsLoadInfo;
    QString fsCheckWarnings;
    std::vector<QString> fMessages;
};

TEST_F(InterpreterTest, BuildsTheTestTree)
{
    const TInterpreterResult eResult = Load(QStringLiteral("Device.Create(TestDevice; Port1)\n"
                                                           "Port1.Run(\"Root level\")\n"
                                                           "Test.Case(\"Supply\"; Expanded)\n"
                                                           "{\n"
                                                           "  Port1.Run(\"Measure\"\u00A7U1; 5)\n"
                                                           "  Test.Case(\"Inner\")\n"
                                                           "  {\n"
                                                           "    Port1.Shared(no label)\n"
                                                           "  }\n"
                                                           "}\n"
                                                           "Test.Final(\"Cleanup\")\n"
                                                           "{ Port1.Run(\"ignored with the brace\")\n"
                                                           "  Port1.Other(\"Power off\")\n"
                                                           "} trailing text is ignored\n"));
    EXPECT_EQ(eResult, irSuccess) << fsLoadInfo.toStdString();
    EXPECT_EQ(Texts(), (QStringList{QStringLiteral("1. Root level"), QStringLiteral("2. Supply"),
                                    QStringLiteral(" 2.1. Measure"), QStringLiteral(" 2.2. Inner"),
                                    QStringLiteral("  2.2.1. "), QStringLiteral("3. Cleanup"),
                                    QStringLiteral(" 3.1. Power off")}));
    EXPECT_TRUE(fTree.Node(1)->Job()->Expanded());
    EXPECT_FALSE(fTree.Node(3)->Job()->Expanded());
    EXPECT_EQ(fTree.Node(5)->Job()->CaseType(), ecFinalCase);
    EXPECT_EQ(fTree.Node(2)->Job()->Cmd()->LogValName(), QStringLiteral("U1"));
    auto* pCmd = static_cast<TTestCmd*>(fTree.Node(2)->Job()->Cmd());
    EXPECT_EQ(pCmd->fsDefinition, QStringLiteral("\"Measure\"\u00A7U1; 5"));
}

TEST_F(InterpreterTest, LineErrorsAreCollectedWithFileAndLine)
{
    const TInterpreterResult eResult = Load(QStringLiteral("Device.Create(TestDevice; Port1)\n"
                                                           "}\n"
                                                           "Test.Cases(\"x\")\n"
                                                           "Port2.Run(\"x\")\n"
                                                           "Port1.Nothing(\"x\")\n"
                                                           "set(Integer; x)\n"
                                                           "Device.Create(TestDevice; Port1)\n"
                                                           "Port1.Run(\"bad\")\n"
                                                           "Port1.Run(\"fine\")\n"));
    EXPECT_EQ(eResult, irError);
    const QString sFile = fDir.FilePath(QStringLiteral("main.TZD"));
    const QStringList expected = {
        QStringLiteral("Error: %1, 2: Invalid block end found (06010A:0)"),
        QStringLiteral("Error: %1, 3: Unkown test case \"Test.Cases(\"x\")\" in command line. (06030A:0)"),
        QStringLiteral("Error: %1, 4: Device \"Port2\" not declared, command \"Run\" skipped. (06040A:0)"),
        // The identifier stays with the message; the device's functions follow as a hint.
        QStringLiteral("Error: %1, 5: Unkown command \"Nothing\" in device \"Port1\" skipped. (060414:0)\r\n"
                       "Known functions of \"Port1\": Run, Other, Shared"),
        QStringLiteral("Error: %1, 6: Device \"\" not declared, command \"\" skipped. (06040A:0)"),
        QStringLiteral("Error: %1, 7: Device name \"Port1\" already defined (10010A:1)"),
        QStringLiteral("Error: %1, 8: bad parameter (7F0001:0)"),
    };
    QString sExpected;
    for (const QString& s : expected)
        sExpected += QStringLiteral("\r\n") + s.arg(sFile);
    EXPECT_EQ(fsLoadInfo, sExpected);
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("1. fine")}) << "an error does not stop the pass";
    // The definition check's warnings follow the load errors in a message of their own.
    ASSERT_GE(fMessages.size(), 2u);
    EXPECT_TRUE(fMessages[fMessages.size() - 2].startsWith(
        QStringLiteral("While loading definition file...\r\nError: ")));
    EXPECT_TRUE(
        fMessages.back().startsWith(QStringLiteral("While checking definition file...\r\nWarning: ")));
}

TEST_F(InterpreterTest, CheckWarningsLeaveTheLoadAsItIs)
{
    const TInterpreterResult eResult =
        Load(QStringLiteral("Test.Case(\"Power\")\n}\nTest.Case(\"power\")\n}\n"));
    EXPECT_EQ(eResult, irSuccess) << "warnings of the check are no load errors";
    EXPECT_TRUE(fsLoadInfo.isEmpty());
    EXPECT_EQ(Texts(), (QStringList{QStringLiteral("1. Power"), QStringLiteral("2. power")}));
    const QString sWarning =
        QStringLiteral("\r\nWarning: %1, 3: Test case \"power\" has the same name as the "
                       "test case in line 1 of %1: jumps and status changes reach only that one")
            .arg(fDir.FilePath(QStringLiteral("main.TZD")));
    EXPECT_EQ(fsCheckWarnings, sWarning);
    EXPECT_EQ(fMessages,
              std::vector<QString>{QStringLiteral("While checking definition file...") + sWarning});
}

TEST_F(InterpreterTest, TestCasesNestAtMostAThousandDeep)
{
    // Test cases without "}" nest every later one inside; 20,000 of them used to take minutes.
    QString sText;
    for (int i = 0; i < 20000; ++i)
        sText += QStringLiteral("Test.Case(x)\n");
    EXPECT_EQ(Load(sText), irError);
    ASSERT_EQ(fTree.Count(), TKeyTestCase::ciMaxNesting);
    EXPECT_EQ(fTree.Node(fTree.Count() - 1)->Text(),
              QStringLiteral("1.").repeated(TKeyTestCase::ciMaxNesting) + QStringLiteral(" x"));
    const QString sFirstError =
        QStringLiteral("\r\nError: %1, 1001: Test cases nested deeper than 1000 levels! (060314:0)")
            .arg(fDir.FilePath(QStringLiteral("main.TZD")));
    EXPECT_TRUE(fsLoadInfo.startsWith(sFirstError + QStringLiteral("\r\n")))
        << fsLoadInfo.left(300).toStdString();

    // The deepest level still takes work lines, and numbers keep counting siblings.
    fTree.Clear();
    sText =
        QStringLiteral("Device.Create(TestDevice; Port1)\n") +
        QStringLiteral("Test.Case(\"c\")\n").repeated(TKeyTestCase::ciMaxNesting - 1) +
        QStringLiteral("Test.Case(\"deep\")\nPort1.Run(\"a\")\nPort1.Run(\"b\")\n}\nTest.Case(\"next\")\n");
    EXPECT_EQ(Load(sText), irSuccess) << fsLoadInfo.left(300).toStdString();
    const QString sPrefix = QStringLiteral("1.").repeated(TKeyTestCase::ciMaxNesting - 1);
    ASSERT_EQ(fTree.Count(), TKeyTestCase::ciMaxNesting + 3);
    EXPECT_EQ(fTree.Node(fTree.Count() - 2)->Text(), sPrefix + QStringLiteral("1.2. b"));
    EXPECT_EQ(fTree.Node(fTree.Count() - 1)->Text(), sPrefix + QStringLiteral("2. next"));
}

TEST_F(InterpreterTest, SkipErrorsKeepsUndeclaredDevicesAsDummies)
{
    fHost.bSkipErrors = true;
    EXPECT_EQ(Load(QStringLiteral("Device.Create(TestDevice; Port1)\nPort2.Run(\"missing\")\n")), irSuccess);
    ASSERT_EQ(fTree.Count(), 1);
    EXPECT_EQ(fTree.Node(0)->Job()->CaseType(), ecDummy);
    EXPECT_EQ(fTree.Node(0)->ImageIndex(), StateImageIndex(EImage::Dummy));
    EXPECT_EQ(Load(QStringLiteral("Device.Create(TestDevice; Port1)\nPort1.Missing(\"x\")\n")), irError)
        << "an unknown function of a declared device is still an error";
}

TEST_F(InterpreterTest, Settings)
{
    fDir.WriteText(QStringLiteral("manual.html"), QStringLiteral("<p>manual</p>"));
    fDir.WriteText(QStringLiteral("report.rtf"), QStringLiteral("{\\rtf1 }"));
    TRegIO::Instance().SetLastFile(fDir.FilePath(QStringLiteral("main.TZD")));
    const TInterpreterResult eResult =
        Load(QStringLiteral("Set(FileInfo; \"Board A\"; \"2.1\")\n"
                            "Set(DecimalSeparator; \",\")\n"
                            "Set(ThousandSeparator; \".\")\n"
                            "Set(DefaultDoc; \"TZD:manual.html\")\n"
                            "Set(KeyCodeToFunction; $74; \"Start\")\n"
                            "Set(ValueLog; \"TZD:log.csv\"; \"yyyy\")\n"
                            "Set(ErrorReport; \"TZD:report.rtf\"; Label_Printer; Portrait; 1,5; 0; 0; 0)\n"
                            "Set(Float; Voltage)\n"
                            "Set(integer; Count)\n"
                            "Set(STRING; Serial)\n"
                            "Set(Float; voltage)\n"
                            "Test.Case(\"Settings only\")\n}\n"));
    EXPECT_EQ(eResult, irSuccess) << fsLoadInfo.toStdString();
    EXPECT_EQ(fHost.sLabel, QStringLiteral("Board A"));
    EXPECT_EQ(fHost.sVersion, QStringLiteral("2.1"));
    EXPECT_EQ(fHost.sDocument, fDir.FilePath(QStringLiteral("manual.html")));
    EXPECT_EQ(fHost.keys, (std::vector<std::pair<int, QString>>{{0x74, QStringLiteral("Start")}}));
    EXPECT_EQ(TFormatSettings::App().cDecimalSeparator, QLatin1Char(','));
    EXPECT_TRUE(fHost.report.Initialized());
    EXPECT_DOUBLE_EQ(fHost.report.PrintMarginLeft(), 1.5) << "the new decimal separator applies at once";
    TVariableManager& variables = TVariableManager::Instance();
    EXPECT_EQ(variables.GetType(QStringLiteral("Voltage")), evtFloat);
    EXPECT_EQ(variables.GetType(QStringLiteral("Count")), evtInteger);
    EXPECT_EQ(variables.GetType(QStringLiteral("Serial")), evtString);
    EXPECT_EQ(fMessages, std::vector<QString>{QStringLiteral("Variable \"voltage\" is already defined!")});
}

TEST_F(InterpreterTest, SettingErrors)
{
    struct
    {
        const char* sLine;
        const char* sItem;
    } const cases[] = {
        {"Set(FileInfo; \"label only\")", "Invalid csv index 2 to list count 2!"},
        {"Set(DecimalSeparator; \",,\")", "Invalid decimal separator \",,\" defined (060229:0)"},
        {"Set(ThousandSeparator; \"\")", "Invalid thousand group separator \"\" defined (06022A:0)"},
        {"Set(DefaultDoc; \"TZD:nothing.html\")", "Default test document not found: \""},
        {"Set(Author; me)", " (060214:0)"},
        {"Set(KeyCodeToFunction; 116; \"Nowhere\")", "Function \"Nowhere\" not found in menu! (06021E:0)"},
        {"Set(Double; x)", "Unknown type \"Double\" in declaration set(). (06025A:0)"},
        {"Set(ValueLog; \"/nonexistent/folder/log.csv\")", "Value log file directory does not exist: "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(QString::fromUtf8(c.sLine)), irError) << c.sLine;
        EXPECT_TRUE(fsLoadInfo.contains(QString::fromUtf8(c.sItem))) << c.sLine << "\n"
                                                                     << fsLoadInfo.toStdString();
    }
}

TEST_F(InterpreterTest, NodeLabelsCanShowTheWholeLine)
{
    TRegIO::Instance().SetShowCmdLineInTreeView(true);
    Load(QStringLiteral("Device.Create(TestDevice; Port1)\nPort1.Run(\"Label\"; 1)\n"));
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("1. Port1.Run(\"Label\"; 1)")});
}

} // namespace
