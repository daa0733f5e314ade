#include "UiTestSupport.h"

#include "ui/WidgetOperatorDialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WidgetOperatorDialogsTest : public ::testing::Test
{
protected:
    QMainWindow fWindow;
    TWidgetOperatorDialogs fDialogs{&fWindow};
};

TEST_F(WidgetOperatorDialogsTest, MessageBoxButtons)
{
    const struct
    {
        TDialogButtons eButtons;
        QMessageBox::StandardButton eClick; // NoButton: Escape
        TDialogAnswer eAnswer;
    } cases[] = {
        {TDialogButtons::Ok, QMessageBox::Ok, TDialogAnswer::Ok},
        {TDialogButtons::Ok, QMessageBox::NoButton, TDialogAnswer::Ok},
        {TDialogButtons::OkCancel, QMessageBox::Ok, TDialogAnswer::Ok},
        {TDialogButtons::OkCancel, QMessageBox::Cancel, TDialogAnswer::Cancel},
        {TDialogButtons::OkCancel, QMessageBox::NoButton, TDialogAnswer::Cancel},
        {TDialogButtons::YesNo, QMessageBox::Yes, TDialogAnswer::Yes},
        {TDialogButtons::YesNo, QMessageBox::No, TDialogAnswer::No},
    };
    for (const auto& c : cases) {
        QString sCaption;
        QString sText;
        TModalCloser closer([&](QWidget* aModal) {
            auto* box = qobject_cast<QMessageBox*>(aModal);
            ASSERT_NE(box, nullptr);
            sCaption = box->windowTitle();
            sText = box->text();
            if (c.eClick == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(c.eClick)->click();
        });
        EXPECT_EQ(fDialogs.MessageBox(QStringLiteral("Check"), QStringLiteral("Is the LED on?"), c.eButtons),
                  c.eAnswer)
            << int(c.eButtons) << " " << int(c.eClick);
        EXPECT_EQ(sCaption, QStringLiteral("Check"));
        EXPECT_EQ(sText, QStringLiteral("Is the LED on?"));
    }
}

TEST_F(WidgetOperatorDialogsTest, InputBoxGivesTheEditOrTheDefault)
{
    {
        TModalCloser closer([](QWidget* aModal) {
            auto* dialog = qobject_cast<QInputDialog*>(aModal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->textValue(), QStringLiteral("SN-"));
            EXPECT_EQ(dialog->labelText(), QStringLiteral("Serial number"));
            dialog->setTextValue(QStringLiteral("SN-1234"));
            dialog->accept();
        });
        EXPECT_EQ(fDialogs.InputBox(QStringLiteral("Label"), QStringLiteral("Serial number"),
                                    QStringLiteral("SN-")),
                  QStringLiteral("SN-1234"));
    }
    TModalCloser closer([](QWidget* aModal) {
        qobject_cast<QInputDialog*>(aModal)->setTextValue(QStringLiteral("typed"));
        QTest::keyClick(aModal, Qt::Key_Escape);
    });
    EXPECT_EQ(
        fDialogs.InputBox(QStringLiteral("Label"), QStringLiteral("Serial number"), QStringLiteral("SN-")),
        QStringLiteral("SN-"))
        << "Cancel gives the default text unchanged";
}

TEST_F(WidgetOperatorDialogsTest, CloseActiveDialogWithdrawsTheOpenQuestion)
{
    EXPECT_FALSE(fDialogs.CloseActiveDialog()) << "nothing is open";
    bool bClosed = false;
    QTimer::singleShot(50, [&] { bClosed = fDialogs.CloseActiveDialog(); });
    EXPECT_EQ(
        fDialogs.MessageBox(QStringLiteral("Server"), QStringLiteral("Go on?"), TDialogButtons::OkCancel),
        TDialogAnswer::Cancel);
    EXPECT_TRUE(bClosed);
    EXPECT_FALSE(fDialogs.CloseActiveDialog()) << "the closed box is no longer active";
}

} // namespace
