#include "TestContext.h"
#include "UiTestSupport.h"

#include "language/DefFileInterpreter.h"
#include "ui/Application.h"
#include "ui/formErrorDlg.h"
#include "ui/formMain.h"

#include "core/MsgClasses.h"
#include "core/RegIO.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceList.h"
#include "execution/ProcessRunner.h"

#include "CupsTestServer.h"
#include "PdfTools.h"
#include "TestEnvironment.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

// The printing example in the window, with the real interpreter, on a private printing system
// that has the example's printer.
class PrintingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fCups.Running()) << fCups.Error().toStdString();
        ASSERT_TRUE(fCups.AddQueue(fsQueue));
        sys::RegisterDevices(TestDeviceTypes());
        TRegIO::Instance().SetUserFileName(fDir.FilePath(QStringLiteral("settings/TZK2.ini")));
        TRegIO::Instance().SetEndOnFailure(false);
        TApplication::Instance()->SetErrorBox([this](const QString& sText) { fErrorBoxes.append(sText); });

        TfrmMainSetup setup;
        setup.pTypes = &TestDeviceTypes();
        setup.sProgramDir = fDir.Path();
        fWindow = std::make_unique<TfrmMain>(setup);
        TfrmMainDialogs& dialogs = fWindow->Dialogs();
        dialogs.fnError = [this](const QString& sText) { fErrorBoxes.append(sText); };
        dialogs.fnOperatorInput = [](const QString&) {
            return std::optional<QString>(QStringLiteral("Anna"));
        };
        dialogs.fnFinalDialog = [this](bool, const QStringList&) {
            ++fiFinals;
            return false;
        };
    }
    void TearDown() override
    {
        fWindow.reset();
        TApplication::Instance()->SetErrorBox(nullptr);
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    TCupsTestServer fCups;
    const QString fsQueue = QStringLiteral("TZK_Labels");
    TTestDir fDir;
    std::unique_ptr<TfrmMain> fWindow;
    QStringList fErrorBoxes;
    int fiFinals = 0;
};

TEST_F(PrintingTest, ExamplePrintsItsLabelAndTheErrorReportFromTheDialog)
{
    const QString sExample = QStringLiteral(TZK_EXAMPLES_DIR "/printing.TZD");
    ASSERT_TRUE(fWindow->LoadDefinitionFile(sExample));
    ASSERT_TRUE(fWindow->Session().ErrorReport().Initialized());

    int iShown = 0;
    {
        TModalCloser closer([&](QWidget* aModal) {
            TfrmErrorDlg* pDialog = fWindow->ErrorDlg();
            ASSERT_EQ(aModal, static_cast<QWidget*>(pDialog));
            ++iShown;
            EXPECT_EQ(pDialog->OperatorBox()->text(), QStringLiteral("Anna"));
            ASSERT_TRUE(pDialog->PrintButton()->isEnabled());
            pDialog->RemarkBox()->setPlainText(
                QStringLiteral("Label {B7} looked fine\nsecond line\nthird line"));
            pDialog->PrintButton()->click();
        });
        fWindow->acProcessStart->trigger();
        ASSERT_TRUE(RunUntil([this] { return fiFinals > 0; }, 20000));
    }
    EXPECT_EQ(iShown, 1);
    EXPECT_TRUE(fErrorBoxes.isEmpty()) << fErrorBoxes.join(QLatin1Char('\n')).toStdString();

    ASSERT_TRUE(fCups.WaitForCompletedJobs(fsQueue, 2));
    EXPECT_EQ(fCups.JobTitles(fsQueue),
              (QStringList{QStringLiteral("Unit label"), QStringLiteral("TZK Error Report")}));
    const QString sReport = ReadPdfText(fCups.OutputFile(fsQueue));
    for (const QString& sExpected :
         {QStringLiteral("Operator: Anna"), QStringLiteral("Test function: 2.1. Switch on the retest"),
          QStringLiteral("Remark: Label {B7} looked fine\nsecond line\nthird line\n")})
        EXPECT_TRUE(sReport.contains(sExpected)) << sExpected.toStdString() << "\n" << sReport.toStdString();
}

} // namespace
