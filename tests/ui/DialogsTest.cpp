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
#include "reporting/results/ResultDatabase.h"
#include "reporting/results/ResultRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    using TAnswers = std::vector<std::optional<QString>>;
    const std::optional<QString> cancel;
    const QString sEmpty = QStringLiteral("Operator name cannot be empty!");
    struct TCase
    {
        QString sCurrent;
        TAnswers answers;
        QString sResult;
        int iErrorBoxes;
    };
    const TCase cases[] = {
        {QStringLiteral("Old"),
         {QStringLiteral("   "), QString(), QStringLiteral("  Eve ")},
         QStringLiteral("Eve"),
         2},
        {QStringLiteral("Old"), {cancel}, QStringLiteral("Old"), 0},
        // Without a previous name, Cancel is no way out of the question.
        {QString(), {cancel, QStringLiteral(" "), cancel, QStringLiteral("Ann")}, QStringLiteral("Ann"), 3},
    };
    for (const TCase& c : cases) {
        QStringList errors;
        std::size_t iNext = 0;
        const auto input = [&](const QString& sDefault) {
            EXPECT_EQ(sDefault, c.sCurrent);
            return c.answers.at(iNext++);
        };
        const auto error = [&](const QString& sText) { errors.append(sText); };
        EXPECT_EQ(TOperatorNameBox::Ask(c.sCurrent, input, error), c.sResult) << c.sResult.toStdString();
        EXPECT_EQ(iNext, c.answers.size()) << c.sResult.toStdString();
        EXPECT_EQ(errors, QStringList(c.iErrorBoxes, sEmpty)) << c.sResult.toStdString();
    }
}

TEST(OperatorNameBoxTest, GivesUpWithoutAnErrorBoxWhenNobodyCanAnswer)
{
    int iAsked = 0;
    QStringList errors;
    const QString sName = TOperatorNameBox::Ask(
        QString(),
        [&](const QString&) {
            ++iAsked;
            return std::optional<QString>();
        },
        [&](const QString& sText) { errors.append(sText); }, [&] { return iAsked >= 2; });
    EXPECT_TRUE(sName.isEmpty());
    EXPECT_EQ(iAsked, 2);
    EXPECT_EQ(errors.size(), 1) << "the box only while somebody can still answer";
}

TEST(ErrorDlgPlacementTest, CentredOnTheMainWindowEveryTime)
{
    QWidget main;
    main.setGeometry(120, 90, 900, 700);
    main.show();
    TfrmErrorDlg dialog(&main);
    TErrorReport report;
    report.SetTestFunction(QStringLiteral("1.2. Volt"));
    report.SetErrorText(QStringLiteral("Value 3.1 above 3.0"));
    for (int iShowing = 1; iShowing <= 2; ++iShowing) {
        QRect shown;
        {
            TModalCloser closer([&](QWidget*) {
                shown = dialog.frameGeometry();
                dialog.CloseButton()->click();
            });
            dialog.ShowReport(report);
        }
        const QPoint offset = shown.center() - main.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4)
            << "showing " << iShowing << ": " << offset.x() << ", " << offset.y();
        EXPECT_TRUE(main.frameGeometry().contains(shown)) << "showing " << iShowing;
    }
    TMsgClass::ReleaseSingleton();
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

// A station's dialog lists its sockets with each one's own settings group; the dialog of one
// socket has no such part.
TEST(ExtrasTest, ShowsTheSocketsAndEachSocketsWiring)
{
    QTemporaryDir dir;
    const QString sFile = dir.filePath(QStringLiteral("TZK2.ini"));
    QFile file(sFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Sockets]\nCount=3\n[SerialPorts]\nCOM3=/dev/ttyUSB0\n"
               "[Socket2]\nSerialPorts\\COM3=/dev/ttyUSB1\nSerialPorts\\COM4=/dev/ttyUSB2\n");
    file.close();

    TfrmExtras plain;
    EXPECT_EQ(plain.SocketsText(), nullptr);
    EXPECT_EQ(plain.findChildren<QGroupBox*>().size(), 3);

    TfrmExtras extras;
    extras.ShowSockets(3, sFile);
    ASSERT_NE(extras.SocketsText(), nullptr);
    EXPECT_EQ(extras.SocketsText()->text(),
              QStringLiteral("Sockets: 3 (settings value Sockets/Count)\n"
                             "Socket 1: the station's wiring\n"
                             "Socket 2: SerialPorts/COM3=/dev/ttyUSB1, SerialPorts/COM4=/dev/ttyUSB2\n"
                             "Socket 3: the station's wiring"));
}

TEST(ExtrasTest, ShowsWhereTheResultDatabaseStands)
{
    TfrmExtras extras;
    EXPECT_EQ(extras.ResultDatabaseState()->text(), QStringLiteral("Not configured"));

    // A database out of reach: the run waits in the spool, and the open dialog follows.
    QTemporaryDir dir;
    TResultDatabaseSettings settings;
    settings.sConnection =
        QStringLiteral("host=") + dir.filePath(QStringLiteral("none")) + QStringLiteral(" port=1");
    settings.sSpoolFolder = dir.filePath(QStringLiteral("spool"));
    TResultDatabase database(settings);
    database.SetRetryDelays(60000, 60000);
    ASSERT_TRUE(database.Start());
    extras.ShowResultDatabase(&database);
    EXPECT_EQ(extras.ResultDatabaseState()->text(), QStringLiteral("Connecting; 0 run(s) queued"));
    TResultRun run;
    run.RunId = QUuid::createUuid();
    run.sResult = QStringLiteral("passed");
    ASSERT_TRUE(database.Submit(run));
    ASSERT_TRUE(RunUntil([&] { return database.State() == EResultDbState::Unreachable; }));
    EXPECT_TRUE(
        extras.ResultDatabaseState()->text().startsWith(QStringLiteral("Not reachable; 1 run(s) queued: ")))
        << extras.ResultDatabaseState()->text().toStdString();
    TMsgClass::ReleaseSingleton();
}

TEST(ExtrasTest, TodaysReportClosesTheDialogAndAsksForTheReport)
{
    TfrmExtras extras;
    EXPECT_FALSE(extras.ShowReportButton()->isEnabled()) << "no database, no report";
    int iAsked = 0;
    extras.SetShowReport([&] { ++iAsked; });
    ASSERT_TRUE(extras.ShowReportButton()->isEnabled());
    TRegIO settings;
    QTimer::singleShot(0, &extras, [&] { extras.ShowReportButton()->click(); });
    EXPECT_FALSE(extras.Execute(settings)) << "the settings stay as they were";
    EXPECT_EQ(iAsked, 1);
}

TEST(AboutBoxTest, ListsTheDeviceModules)
{
    TAboutBox about;
    about.SetDeviceModules({{QStringLiteral("System"), QStringLiteral("2.1")},
                            {QStringLiteral("RS232"), QStringLiteral("1.4")}});
    ASSERT_EQ(about.Modules()->count(), 2);
    EXPECT_EQ(about.Modules()->item(1)->text(), QStringLiteral("RS232 1.4"));
}
