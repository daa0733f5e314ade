#include "SysCommandFixture.h"

#include "core/FormatSettings.h"

#include <QTimer>

namespace {

using DialogCommandsTest = SysCommandFixture;

TEST_F(DialogCommandsTest, LoadErrors)
{
    Variables().SetValue(QStringLiteral("Count"), 0);
    Variables().SetValue(QStringLiteral("Level"), 0.0);
    struct
    {
        const char* sFunction;
        const char* sParameter;
        const char* sError;
    } const cases[] = {
        {"Dialog", ";Check;Text;ButtonYesno", "Unknown button definition \"ButtonYesno\"!\r\nID: 11310A:0"},
        {"Dialog", ";Check;Text", "Invalid csv index 3 to list count 3!"},
        {"Dialog", ";Check;Text;ButtonOkCancel", "no error"},
        {"Dialog.Input.String", ";Label;Serial;SN-;SN-????;Nope",
         "Variable \"Nope\" is not defined!\r\nID: 11520A:0"},
        {"Dialog.Input.String", ";Label;Serial;SN-", "Invalid csv index 4 to list count 4!"},
        {"Dialog.Input.String", ";Label;Serial;SN-;SN-????", "no error"},
        {"Dialog.Input.Value", ";Gauge;Value?;Again;0;4,x;5.5",
         "Unknown format for value min \"4,x\"!\r\nID: 11410A:0"},
        {"Dialog.Input.Value", ";Gauge;Value?;Again;0;4.5;high",
         "Unknown format for value max \"high\"!\r\nID: 114114:0"},
        {"Dialog.Input.Value", ";Gauge;Value?;Again;0;4.5", "Invalid csv index 6 to list count 6!"},
        {"Dialog.Input.Value", ";Gauge;Value?;Again;0;4.5;5.5;Count",
         "Variable \"Count\" is not defined or wrong type!\r\nID: 11520A:0"},
        {"Dialog.Input.Value", ";Gauge;Value?;Again;0;4.5;5.5;Level", "no error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitError(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter)).toStdString(),
                  c.sError)
            << c.sFunction << "(" << c.sParameter << ")";
}

TEST_F(DialogCommandsTest, DialogJudgesTheButton)
{
    Variables().SetValue(QStringLiteral("Led"), QStringLiteral("red"));
    struct
    {
        const char* sButtons;
        TDialogButtons eButtons;
        TDialogAnswer eAnswer;
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {"ButtonYesNo", TDialogButtons::YesNo, TDialogAnswer::Yes, crOk, ""},
        {"ButtonYesNo", TDialogButtons::YesNo, TDialogAnswer::No, crFailed, "Closed with [No]"},
        {"ButtonOkCancel", TDialogButtons::OkCancel, TDialogAnswer::Ok, crOk, ""},
        {"ButtonOkCancel", TDialogButtons::OkCancel, TDialogAnswer::Cancel, crFailed, "Closed with [Cancel]"},
        {"ButtonOk", TDialogButtons::Ok, TDialogAnswer::Ok, crOk, ""},
        {"ButtonOk", TDialogButtons::Ok, TDialogAnswer::None, crFailed, "No operator answer available"},
    };
    for (const auto& c : cases) {
        fDialogs.questions.clear();
        if (c.eAnswer != TDialogAnswer::None)
            fDialogs.AnswerButton(c.eAnswer);
        TCommand* pCmd =
            Make(QStringLiteral("Dialog"),
                 QStringLiteral("\"LED\";%Led;\"Is the %Led LED on?\";") + QString::fromUtf8(c.sButtons));
        EXPECT_EQ(Run(pCmd), c.eResult) << c.sButtons << " " << int(c.eAnswer);
        EXPECT_EQ(pCmd->ErrorText().toStdString(), c.sError);
        ASSERT_EQ(fDialogs.questions.size(), 1u);
        EXPECT_EQ(fDialogs.questions[0].sCaption, QStringLiteral("%Led")) << "the caption is used as written";
        EXPECT_EQ(fDialogs.questions[0].sText, QStringLiteral("Is the red LED on?"));
        EXPECT_EQ(fDialogs.questions[0].eButtons, c.eButtons);
    }
}

TEST_F(DialogCommandsTest, InputStringMatchesThePattern)
{
    struct
    {
        const char* sPattern;
        std::optional<const char*> sAnswer; // none: Cancel
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {"SN-????", "SN-1234", crOk, ""},
        {"SN-????", "SN-123", crFailed, "\"SN-????\"<>\"SN-123\""},
        {"SN-????", "sn-1234", crFailed, "\"SN-????\"<>\"sn-1234\""},
        {"*", "", crOk, ""},              // the value log writes an empty value as "Empty String"
        {"SN-*", std::nullopt, crOk, ""}, // Cancel submits the default "SN-7"
        {"SN-????", std::nullopt, crFailed, "\"SN-????\"<>\"SN-7\""},
    };
    Variables().SetValue(QStringLiteral("Unit"), 7);
    for (const auto& c : cases) {
        fDialogs.questions.clear();
        if (c.sAnswer)
            fDialogs.AnswerText(QString::fromUtf8(*c.sAnswer));
        else
            fDialogs.CancelInput();
        TCommand* pCmd =
            Make(QStringLiteral("Dialog.Input.String"),
                 QStringLiteral("\"Label\"\u00A7Serial;Label;\"Serial of unit %Unit\";SN-%Unit;") +
                     QString::fromUtf8(c.sPattern));
        EXPECT_EQ(Run(pCmd), c.eResult) << c.sPattern << " " << (c.sAnswer ? *c.sAnswer : "cancel");
        EXPECT_EQ(pCmd->ErrorText().toStdString(), c.sError);
        ASSERT_EQ(fDialogs.questions.size(), 1u);
        EXPECT_EQ(fDialogs.questions[0].sText, QStringLiteral("Serial of unit 7"));
        EXPECT_EQ(fDialogs.questions[0].sDefault, QStringLiteral("SN-7"));
        const QString sLogged = c.sAnswer ? QString::fromUtf8(*c.sAnswer) : QStringLiteral("SN-7");
        EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Serial")),
                  sLogged.isEmpty() ? QStringLiteral("Empty String") : sLogged);
    }
    EXPECT_TRUE(Logged(QStringLiteral("Info: Input Passed: Expected= \"SN-????\" Input= \"SN-1234\"")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Input Failed: Expected= \"SN-????\" Input= \"SN-123\"")));

    // Without an answer the step fails at once.
    EXPECT_EQ(Run(QStringLiteral("Dialog.Input.String"), QStringLiteral(";L;P;;*")), crFailed);
}

TEST_F(DialogCommandsTest, InputStringStoresAMatchingInput)
{
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral(""));
    Variables().SetValue(QStringLiteral("Number"), 0);
    fDialogs.AnswerText(QStringLiteral("SN-1234"));
    EXPECT_EQ(Run(QStringLiteral("Dialog.Input.String"), QStringLiteral(";L;P;;SN-*;Serial")), crOk);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("Serial")), QStringLiteral("SN-1234"));

    fDialogs.AnswerText(QStringLiteral("12a"));
    TCommand* pCmd = Make(QStringLiteral("Dialog.Input.String"), QStringLiteral(";L;P;;*;Number"));
    EXPECT_EQ(Run(pCmd), crFailed);
    EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("Update Number with \"12a\" failed!"));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Invalid data type for variable Number")));
}

TEST_F(DialogCommandsTest, InputValueChecksTheLimits)
{
    Variables().SetValue(QStringLiteral("Level"), -1.0);
    struct
    {
        std::vector<const char*> answers;
        ECmdResult eResult;
        double rStored; // the variable afterwards
        const char* sError;
    } const cases[] = {
        {{"4.5"}, crOk, 4.5, ""},
        {{" 5.5 "}, crOk, 5.5, ""},
        {{"5.51"}, crFailed, 5.5, "4.5 <= 5.51 <= 5.5"},
        {{"abc", "", "5"}, crOk, 5.0, ""},
    };
    for (const auto& c : cases) {
        fDialogs.questions.clear();
        for (const char* s : c.answers)
            fDialogs.AnswerText(QString::fromUtf8(s));
        TCommand* pCmd = Make(
            QStringLiteral("Dialog.Input.Value"),
            QStringLiteral("\"Gauge\"\u00A7Level;Gauge;Read the gauge;Not a number, again;x;4.5;5.5;Level"));
        EXPECT_EQ(Run(pCmd), c.eResult) << c.answers.back();
        EXPECT_EQ(pCmd->ErrorText().toStdString(), c.sError);
        EXPECT_DOUBLE_EQ(Variables().GetAsReal(QStringLiteral("Level")), c.rStored);
        ASSERT_EQ(fDialogs.questions.size(), c.answers.size());
        EXPECT_EQ(fDialogs.questions.front().sText, QStringLiteral("Read the gauge"));
        if (c.answers.size() > 1) {
            EXPECT_EQ(fDialogs.questions.back().sText, QStringLiteral("Not a number, again"));
        }
    }
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("Level")), QStringLiteral("5"));
    EXPECT_TRUE(Logged(QStringLiteral("Info: Input Passed: 4.5 <= 4.5 <= 5.5")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Input Failed: 4.5 <= 5.51 <= 5.5!")));

    // Answers that run out while no number came fail the step instead of asking for ever.
    fDialogs.AnswerText(QStringLiteral("abc"));
    EXPECT_EQ(Run(QStringLiteral("Dialog.Input.Value"), QStringLiteral(";G;P;Again;x;0;1")), crFailed);
}

TEST_F(DialogCommandsTest, InputValueReadsThousandSeparators)
{
    TFormatSettings::App().cThousandSeparator = QLatin1Char('\'');
    fDialogs.AnswerText(QStringLiteral("1'200"));
    TCommand* pCmd =
        Make(QStringLiteral("Dialog.Input.Value"), QStringLiteral("\"x\"\u00A7V;G;P;Again;0;1'000;2'000"));
    EXPECT_EQ(Run(pCmd), crOk);
    EXPECT_EQ(TValueLog::Instance().Value(QStringLiteral("V")), QStringLiteral("1200"));
    TFormatSettings::ResetApp();
}

TEST_F(DialogCommandsTest, CancellingTheStepWithdrawsTheOpenDialog)
{
    fDialogs.AnswerButton(TDialogAnswer::Yes, 3000);
    TCommand* pCmd = Make(QStringLiteral("Dialog"), QStringLiteral(";Check;Go on?;ButtonYesNo"));
    int iConclusions = 0;
    pCmd->SetOnResult([&](TCommand*) { ++iConclusions; });
    QTimer::singleShot(20, [pCmd] { pCmd->Cancel(); });
    pCmd->Execute(QString());
    EXPECT_EQ(fDialogs.iWithdrawn, 1);
    EXPECT_EQ(pCmd->CmdResult(), crCancelled);
    EXPECT_EQ(iConclusions, 0) << "a cancelled step does not conclude";
}

TEST_F(DialogCommandsTest, WithoutAnOperatorTheStepFails)
{
    fContext.SetDialogs(nullptr);
    TCommand* pCmd = Make(QStringLiteral("Dialog"), QStringLiteral(";Check;Go on?;ButtonOk"));
    EXPECT_EQ(Run(pCmd), crFailed);
    EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("No operator answer available"));
}

} // namespace
