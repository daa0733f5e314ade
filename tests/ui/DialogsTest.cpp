#include "UiTestSupport.h"

#include "ui/AboutBox.h"
#include "ui/OperatorNameBox.h"
#include "ui/formErrorDlg.h"
#include "ui/formExtras.h"
#include "ui/formFinalDlg.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "reporting/ErrorReport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(FinalDlgTest, PassedAndFailedFaces)
{
    TfrmFinalDlg dialog;
    dialog.SetControls(true);
    EXPECT_EQ(dialog.ResultLabel()->text(), QStringLiteral("Passed"));
    EXPECT_EQ(dialog.Panel()->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_FALSE(dialog.PassedPicture()->isHidden());
    EXPECT_TRUE(dialog.FailedPicture()->isHidden());
    EXPECT_TRUE(dialog.FailedJobs()->isHidden());

    dialog.AddFailedJob(QStringLiteral("Error: 1.2. Volt"));
    dialog.AddFailedJob(QStringLiteral("Paused: 2.1. Wait"));
    dialog.SetControls(false);
    EXPECT_EQ(dialog.ResultLabel()->text(), QStringLiteral("2x Failed"));
    EXPECT_EQ(dialog.Panel()->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(dialog.PassedPicture()->isHidden());
    EXPECT_FALSE(dialog.FailedPicture()->isHidden());
    EXPECT_FALSE(dialog.FailedJobs()->isHidden());
    EXPECT_EQ(dialog.FailedJobs()->currentText(), QStringLiteral("Error: 1.2. Volt"));
    EXPECT_TRUE(dialog.NextButton()->isDefault());
}

TEST(FinalDlgTest, NextAndCancelAndTheListEmptiesOnClose)
{
    TfrmFinalDlg dialog;
    int iCount = -1;
    {
        TModalCloser closer([&](QWidget*) {
            iCount = dialog.FailedJobs()->count();
            dialog.NextButton()->click();
        });
        EXPECT_TRUE(dialog.ShowResult(false, {QStringLiteral("Error: a"), QStringLiteral("Stopped: b")}));
    }
    EXPECT_EQ(iCount, 2);
    EXPECT_EQ(dialog.FailedJobs()->count(), 0);
    {
        TModalCloser closer([&](QWidget*) { dialog.CancelButton()->click(); });
        EXPECT_FALSE(dialog.ShowResult(true, {}));
    }
}

namespace {

class ErrorDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fReport.SetTestFunction(QStringLiteral("1.2. Volt"));
        fReport.SetErrorText(QStringLiteral("Value 3.1 above 3.0"));
    }
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    TErrorReport fReport;
    TfrmErrorDlg fDialog;
};

} // namespace

TEST_F(ErrorDlgTest, ShowsTheFailureAndHandsBackTheEntries)
{
    fReport.SetOperatorName(QStringLiteral("Ann"));
    bool bPrintEnabled = false;
    QWidget* focus = nullptr;
    {
        TModalCloser closer([&](QWidget*) {
            bPrintEnabled = fDialog.PrintButton()->isEnabled();
            focus = fDialog.focusWidget();
            fDialog.RemarkBox()->setPlainText(QStringLiteral("Scratch on case\r\nsecond line"));
            fDialog.StopBox()->setChecked(true);
            fDialog.CloseButton()->click();
        });
        fDialog.ShowReport(fReport);
    }
    EXPECT_EQ(fDialog.TestCaseLabel()->text(), QStringLiteral(" 1.2. Volt"));
    EXPECT_EQ(fDialog.ErrorTextLabel()->text(), QStringLiteral(" Value 3.1 above 3.0"));
    EXPECT_EQ(fDialog.windowTitle(), QStringLiteral("Error Report"));
    EXPECT_TRUE(bPrintEnabled);
    EXPECT_EQ(focus, fDialog.RemarkBox()) << "with a name the remark takes the focus";
    EXPECT_TRUE(fReport.ExitAfterFailure());
    EXPECT_TRUE(fReport.Remark().startsWith(QStringLiteral("Scratch on case")));
}

TEST_F(ErrorDlgTest, PrintNeedsAnOperatorAndStaysOpenWhenPrintingFails)
{
    int iPrints = 0;
    bool bFail = true;
    fDialog.SetOnPrint([&](TErrorReport& aReport) {
        ++iPrints;
        EXPECT_EQ(aReport.OperatorName(), QStringLiteral("B"));
        if (bFail)
            throw EMsg(QStringLiteral("Printer \"%s\" not found!"), {QStringLiteral("P1")}, TMsgId(0x0B210A),
                       0);
    });
    bool bInitiallyEnabled = true;
    bool bEnabledAfterTyping = false;
    int iStep = 0;
    {
        TModalCloser closer([&](QWidget* aModal) {
            if (aModal != &fDialog) {
                // The error box of the failed print: the report dialog stays open behind it.
                bFail = false;
                qobject_cast<QDialog*>(aModal)->reject();
                return;
            }
            if (iStep++ == 0) {
                bInitiallyEnabled = fDialog.PrintButton()->isEnabled();
                QTest::keyClicks(fDialog.OperatorBox(), QStringLiteral("B"));
                bEnabledAfterTyping = fDialog.PrintButton()->isEnabled();
            }
            fDialog.PrintButton()->click();
        });
        fDialog.ShowReport(fReport);
    }
    EXPECT_FALSE(bInitiallyEnabled) << "an empty Operator box disables Print";
    EXPECT_TRUE(bEnabledAfterTyping);
    EXPECT_EQ(iPrints, 2) << "the failed print left the dialog open for the second";
    EXPECT_EQ(fReport.OperatorName(), QStringLiteral("B"));
}

TEST(OperatorNameBoxTest, AsksUntilANameIsGivenAndCancelKeepsThePrevious)
{
    QStringList errors;
    std::vector<std::optional<QString>> answers = {QStringLiteral("   "), QString(),
                                                   QStringLiteral("  Eve ")};
    std::size_t iNext = 0;
    const auto input = [&](const QString& sDefault) {
        EXPECT_EQ(sDefault, QStringLiteral("Old"));
        return answers.at(iNext++);
    };
    const auto error = [&](const QString& sText) { errors.append(sText); };
    EXPECT_EQ(TOperatorNameBox::Ask(QStringLiteral("Old"), input, error), QStringLiteral("Eve"));
    EXPECT_EQ(errors, QStringList(2, QStringLiteral("Operator name cannot be empty!")));

    answers = {std::nullopt};
    iNext = 0;
    EXPECT_EQ(TOperatorNameBox::Ask(QStringLiteral("Old"), input, error), QStringLiteral("Old"));
}

TEST(ExtrasTest, CheckBoxesFollowTheSettings)
{
    TRegIO settings;
    settings.SetShowToolbarTips(false);
    settings.SetShowToolbarCaption(true);
    settings.SetShowTreeButtonAndLines(true);
    settings.SetShowCmdLineInTreeView(false);
    settings.SetShowErrorReportDlg(false);
    settings.SetEndOnFailure(true);

    TfrmExtras extras;
    EXPECT_EQ(extras.windowTitle(), QStringLiteral("Extras"));
    {
        TModalCloser closer([&](QWidget*) {
            EXPECT_FALSE(extras.ShowToolbarTips()->isChecked());
            EXPECT_TRUE(extras.ShowToolbarCaption()->isChecked());
            EXPECT_TRUE(extras.ShowTreeButtonAndLines()->isChecked());
            EXPECT_FALSE(extras.ShowErrorReportDlg()->isChecked());
            extras.EndOnFailure()->setChecked(false);
            extras.ShowCmdLineInTreeView()->setChecked(true);
            extras.reject();
        });
        EXPECT_FALSE(extras.Execute(settings));
    }
    EXPECT_TRUE(settings.EndOnFailure()) << "Cancel stores nothing";
    {
        TModalCloser closer([&](QWidget*) {
            extras.EndOnFailure()->setChecked(false);
            extras.ShowCmdLineInTreeView()->setChecked(true);
            extras.accept();
        });
        EXPECT_TRUE(extras.Execute(settings));
    }
    EXPECT_FALSE(settings.EndOnFailure());
    EXPECT_TRUE(settings.ShowCmdLineInTreeView());
    EXPECT_FALSE(settings.ShowToolbarTips());
}

TEST(AboutBoxTest, ListsTheDeviceModules)
{
    TAboutBox about;
    about.SetDeviceModules({{QStringLiteral("System"), QStringLiteral("2.1")},
                            {QStringLiteral("RS232"), QStringLiteral("1.4")}});
    ASSERT_EQ(about.Modules()->count(), 2);
    EXPECT_EQ(about.Modules()->item(1)->text(), QStringLiteral("RS232 1.4"));
}
