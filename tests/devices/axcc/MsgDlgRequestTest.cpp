#include "devices/axcc/MsgDlgRequest.h"

#include <gtest/gtest.h>

using namespace axcc;

TEST(MsgDlgRequestTest, ReadsTextAndButtons)
{
    struct
    {
        const char* sRequest;
        const char* sText;
        const char* sButtons; // Y N O C A of the buttons asked for
        TDialogButtons eButtons;
    } const cases[] = {
        {"ShowMsgDlg:Text=\"Insert card\";Button=[OK,Cancel]", "Insert card", "OC", TDialogButtons::OkCancel},
        {"ShowMsgDlg: text = Plain words ; BUTTON = [ yes , No ]", "Plain words", "YN",
         TDialogButtons::YesNo},
        {"ShowMsgDlg:Text=Open \"quoted", "quoted", "", TDialogButtons::Ok},
        {"ShowMsgDlg:Text=\"a\" and \"b\";Button=[ok]", "a", "O", TDialogButtons::Ok},
        {"ShowMsgDlg:Text=x;Button=[Abort,Retry,Ignore]", "x", "A", TDialogButtons::OkCancel},
        {"ShowMsgDlg:Button=[Yes,No,Cancel];Text=Order does not matter", "Order does not matter", "YNC",
         TDialogButtons::YesNo},
        {"ShowMsgDlg:Button=[OK,Cancel", "", "OC", TDialogButtons::OkCancel},
        {"ShowMsgDlg:Button=OK", "", "", TDialogButtons::Ok},
        // Only ";" splits: a blank inside the text does not, a ";" inside quotes does.
        {"ShowMsgDlg:Text=\"one; two\"", "one", "", TDialogButtons::Ok},
        // The request is the text after the first ":", wherever "ShowMsgDlg:" stands.
        {"Ask:ShowMsgDlg:Text=t", "", "", TDialogButtons::Ok},
    };
    for (const auto& c : cases) {
        const auto request = TMsgDlgRequest::Parse(QString::fromUtf8(c.sRequest));
        ASSERT_TRUE(request) << c.sRequest;
        EXPECT_EQ(request->sText.toStdString(), c.sText) << c.sRequest;
        QString sButtons;
        sButtons += request->bYes ? QStringLiteral("Y") : QString();
        sButtons += request->bNo ? QStringLiteral("N") : QString();
        sButtons += request->bOk ? QStringLiteral("O") : QString();
        sButtons += request->bCancel ? QStringLiteral("C") : QString();
        sButtons += request->bAbort ? QStringLiteral("A") : QString();
        EXPECT_EQ(sButtons.toStdString(), c.sButtons) << c.sRequest;
        EXPECT_EQ(request->Buttons(), c.eButtons) << c.sRequest;
    }
}

TEST(MsgDlgRequestTest, OtherRequestsAreNoDialogRequests)
{
    for (const char* s : {"", "Hello", "showmsgdlg:Text=x", "ShowMsgDlg Text=x"})
        EXPECT_FALSE(TMsgDlgRequest::Parse(QString::fromUtf8(s))) << s;
}
