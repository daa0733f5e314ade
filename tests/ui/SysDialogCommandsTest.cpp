// The System Control dialog steps as the operator meets them in the window.

#include "TestContext.h"
#include "UiTestSupport.h"

#include "ui/WidgetOperatorDialogs.h"

#include "core/MsgClasses.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "devices/system/DeviceSys.h"
#include "execution/DeviceContext.h"

#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class SysDialogCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fContext.SetDialogs(&fDialogs);
        fSys = std::make_unique<sys::TDeviceSys>(fContext);
    }
    void TearDown() override
    {
        fSys.reset();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }
    // Runs one line of the function; the dialog steps conclude inside Execute.
    TCommand* Run(const QString& sFunction, const QString& sParameter)
    {
        TCommand* pCmd = fSys->Command(sFunction)->Init(sFunction, sParameter);
        pCmd->Execute(QString());
        return pCmd;
    }

    QMainWindow fWindow;
    TWidgetOperatorDialogs fDialogs{&fWindow};
    TTestDeviceContext fContext;
    std::unique_ptr<sys::TDeviceSys> fSys;
};

TEST_F(SysDialogCommandsTest, DialogTakesTheButtonsAndEscape)
{
    {
        TModalCloser closer([](QWidget* aModal) {
            auto* box = qobject_cast<QMessageBox*>(aModal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Check"));
            box->button(QMessageBox::No)->click();
        });
        TCommand* pCmd =
            Run(QStringLiteral("Dialog"), QStringLiteral("\"LED\";Check;Is the LED on?;ButtonYesNo"));
        EXPECT_EQ(pCmd->CmdResult(), crFailed);
        EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("Closed with [No]"));
    }
    TModalCloser closer([](QWidget* aModal) { QTest::keyClick(aModal, Qt::Key_Escape); });
    TCommand* pCmd = Run(QStringLiteral("Dialog"), QStringLiteral("\"LED\";Check;Go on?;ButtonOkCancel"));
    EXPECT_EQ(pCmd->CmdResult(), crFailed);
    EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("Closed with [Cancel]")) << "Escape counts as Cancel";
}

TEST_F(SysDialogCommandsTest, InputStringTakesTheTypedText)
{
    TVariableManager::Instance().SetValue(QStringLiteral("Serial"), QString());
    TModalCloser closer([](QWidget* aModal) {
        auto* dialog = qobject_cast<QInputDialog*>(aModal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->textValue(), QStringLiteral("SN-"));
        dialog->setTextValue(QStringLiteral("SN-1234"));
        dialog->accept();
    });
    TCommand* pCmd =
        Run(QStringLiteral("Dialog.Input.String"), QStringLiteral(";Label;Serial number;SN-;SN-????;Serial"));
    EXPECT_EQ(pCmd->CmdResult(), crOk);
    EXPECT_EQ(TVariableManager::Instance().GetAsStr(QStringLiteral("Serial")), QStringLiteral("SN-1234"));
}

TEST_F(SysDialogCommandsTest, InputValueAsksAgainUntilANumberComes)
{
    QStringList slPrompts;
    TModalCloser closer([&slPrompts](QWidget* aModal) {
        auto* dialog = qobject_cast<QInputDialog*>(aModal);
        ASSERT_NE(dialog, nullptr);
        slPrompts.append(dialog->labelText());
        dialog->setTextValue(slPrompts.size() == 1 ? QStringLiteral("abc") : QStringLiteral("5.1"));
        dialog->accept();
    });
    TCommand* pCmd = Run(QStringLiteral("Dialog.Input.Value"),
                         QStringLiteral(";Gauge;Read the gauge;A number, please;;4.5;5.5"));
    EXPECT_EQ(pCmd->CmdResult(), crOk);
    EXPECT_EQ(slPrompts, (QStringList{QStringLiteral("Read the gauge"), QStringLiteral("A number, please")}));
}

} // namespace
