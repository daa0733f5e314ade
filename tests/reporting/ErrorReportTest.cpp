#include "reporting/ErrorReport.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/Job.h"
#include "execution/TestTree.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class TFailingCmd : public TCommand
{
public:
    using TCommand::TCommand;
    void Execute(const QString&) override {}
    void Fail(const QString& sError)
    {
        SetErrorText(sError);
        Conclude(crFailed);
    }
};

class TCountingView : public IErrorReportView
{
public:
    void ShowReport(TErrorReport& aReport) override
    {
        ++iShown;
        sFunction = aReport.TestFunction();
        sOperator = aReport.OperatorName();
        aReport.SetExitAfterFailure(bTickStop);
    }
    int iShown = 0;
    bool bTickStop = false;
    QString sFunction;
    QString sOperator;
};

class ErrorReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fReport.SetPrinterNames([] { return QStringList{QStringLiteral("Label_Printer")}; });
        fReport.SetView(&fView);
        fTemplate = fDir.WriteText(QStringLiteral("report.rtf"), QStringLiteral("{\\rtf1 %FUNCTION}"));
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& s) {
            if (aId.TypeNo() == eWarning)
                fWarnings.push_back(s);
        });
    }
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    QString Parameter(const QString& sPrinter = QStringLiteral("label_printer"),
                      const QString& sOrientation = QStringLiteral(" landscape "))
    {
        return QStringLiteral("ErrorReport; \"%1\"; \"%2\"; %3; 10; 20; 30; 40")
            .arg(fTemplate, sPrinter, sOrientation);
    }

    // A failed job with the given error text.
    TJob& Failed(const QString& sLabel, const QString& sError)
    {
        fCommands.push_back(std::make_unique<TFailingCmd>(nullptr));
        TFailingCmd* pCmd = fCommands.back().get();
        TTreeNode* node = TJob::CreateNewJob(sLabel, fTree, nullptr, pCmd, ecWorkCase, false);
        node->Job()->Execute(node->Text());
        pCmd->Fail(sError);
        return *node->Job();
    }

    TTestDir fDir;
    QString fTemplate;
    TErrorReport fReport;
    TCountingView fView;
    // Commands outlive the jobs that refer to them, as devices outlive the tree.
    std::vector<std::unique_ptr<TFailingCmd>> fCommands;
    TTestTree fTree;
    std::vector<QString> fWarnings;
};

TEST_F(ErrorReportTest, InitReadsTheSetLine)
{
    fReport.Init(Parameter());
    EXPECT_TRUE(fReport.Initialized());
    EXPECT_EQ(fReport.TemplateFile(), fTemplate);
    EXPECT_EQ(fReport.PrinterName(), QStringLiteral("label_printer"));
    EXPECT_EQ(fReport.PrintOrientation(), poLandscape);
    EXPECT_DOUBLE_EQ(fReport.PrintMarginLeft(), 10.0);
    EXPECT_DOUBLE_EQ(fReport.PrintMarginBottom(), 40.0);
}

TEST_F(ErrorReportTest, InitErrors)
{
    struct
    {
        QString sParameter;
        std::uint32_t dwId;
    } const cases[] = {
        {QStringLiteral("ErrorReport; \"%1\"; x; Portrait; 0;0;0;0")
             .arg(fDir.FilePath(QStringLiteral("no.rtf"))),
         0x02010A},
        {QStringLiteral("ErrorReport; \"%1\"; x; Portrait; 0;0;0;0").arg(fDir.Path()), 0x02010A},
        {Parameter(QStringLiteral("Other")), 0x0B1114},
        {Parameter(QStringLiteral("Label_Printer"), QStringLiteral("Upright")), 0x0B111E},
    };
    for (const auto& c : cases) {
        try {
            fReport.Init(c.sParameter);
            ADD_FAILURE() << "no error for " << c.sParameter.toStdString();
        } catch (const EMsg& e) {
            EXPECT_EQ(e.Id().Value, c.dwId) << c.sParameter.toStdString();
        }
        EXPECT_FALSE(fReport.Initialized());
    }
    EXPECT_THROW(
        fReport.Init(QStringLiteral("ErrorReport; \"%1\"; Label_Printer; Portrait; 1").arg(fTemplate)),
        EError);
    EXPECT_THROW(
        fReport.Init(QStringLiteral("ErrorReport; \"%1\"; Label_Printer; Portrait; 1;x;0;0").arg(fTemplate)),
        EConvertError);
    EXPECT_FALSE(fReport.Initialized());
}

TEST_F(ErrorReportTest, HoldsOneFailureUntilShown)
{
    TJob& first = Failed(QStringLiteral("first"), QStringLiteral("Timeout"));
    fReport.SetFailedJob(first);
    EXPECT_FALSE(fReport.Pending()) << "off until a Set line configured it";

    fReport.Init(Parameter());
    fReport.SetFailedJob(Failed(QStringLiteral("silent"), QString()));
    EXPECT_FALSE(fReport.Pending()) << "a failure without error text is not taken";

    fReport.SetFailedJob(first);
    EXPECT_TRUE(fReport.Pending());
    EXPECT_EQ(fReport.TestFunction(), QStringLiteral("1. first"));
    EXPECT_EQ(fReport.ErrorText(), QStringLiteral("Timeout"));

    fReport.SetFailedJob(Failed(QStringLiteral("second"), QStringLiteral("Inv. Rsp")));
    EXPECT_EQ(fReport.TestFunction(), QStringLiteral("1. first"));
    ASSERT_EQ(fWarnings.size(), 1u);
    EXPECT_EQ(fWarnings[0],
              QStringLiteral("Pending error report ignores new error: \"3. second\": \"Inv. Rsp\""));

    fView.bTickStop = true;
    fReport.SetRemark(QStringLiteral("old"));
    fReport.ShowQueuedError(QStringLiteral("op1"));
    EXPECT_EQ(fView.iShown, 1);
    EXPECT_EQ(fView.sOperator, QStringLiteral("op1"));
    EXPECT_TRUE(fReport.Remark().isEmpty());
    EXPECT_TRUE(fReport.ExitAfterFailure());
    EXPECT_FALSE(fReport.Pending());
    EXPECT_EQ(fReport.TestFunction(), QStringLiteral("1. first")) << "kept for Show Last Error Report";

    fReport.ShowQueuedError(QStringLiteral("op1"));
    EXPECT_EQ(fView.iShown, 1) << "nothing pending, nothing shown";
    EXPECT_FALSE(fReport.ExitAfterFailure()) << "the stop box is cleared anyway";
}

TEST_F(ErrorReportTest, SwitchingOnDropsAPendingReport)
{
    fReport.Init(Parameter());
    fReport.SetFailedJob(Failed(QStringLiteral("x"), QStringLiteral("e")));
    fReport.SetActive(false);
    EXPECT_FALSE(fReport.Pending());
    fReport.SetActive(true);
    EXPECT_FALSE(fReport.Pending());
    EXPECT_TRUE(fReport.TestFunction().isEmpty());
    fReport.Clear();
    EXPECT_FALSE(fReport.Initialized());
    EXPECT_EQ(fReport.PrintOrientation(), poLandscape) << "orientation and margins survive Clear";
}

TEST_F(ErrorReportTest, ReplacesReportFieldsInOrder)
{
    fReport.SetFileInfo(QStringLiteral("Board A"));
    fReport.SetFileName(QStringLiteral("C:\\tests\\a.TZD"));
    fReport.SetFileVersion(QStringLiteral("1.2"));
    fReport.SetOperatorName(QStringLiteral("op1"));
    fReport.SetTestFunction(QStringLiteral("2.1. Measure"));
    fReport.SetErrorText(QStringLiteral("%OPERATOR"));
    fReport.SetRemark(QStringLiteral("one\r\ntwo\r\nthree"));
    EXPECT_EQ(fReport.ReplaceReportFields(
                  QStringLiteral("%FILEINFO|%FILENAME|%FILEVERSION|%FUNCTION|%ERRORTEXT|%REMARK|%DATE")),
              QStringLiteral(
                  "Board A|C:\\\\tests\\\\a.TZD|1.2|2.1. Measure|%OPERATOR|one\\par two\\par three|%DATE"));
}

} // namespace
