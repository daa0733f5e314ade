#include "SysCommandFixture.h"

#include "HeldOperatorDialogs.h"
#include "StationFixture.h"

#include "core/FormatSettings.h"

#include <QTimer>

#include <map>
#include <string>

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

TEST_F(DialogCommandsTest, InputValueAsksAgainWithoutNestingDeeper)
{
    // An operator who answers at once with one non-number after another (a terminal fed without
    // end) is asked again and again in one loop, never one call deeper per answer.
    const int iRefusals = 50000;
    for (int i = 0; i < iRefusals; ++i)
        fDialogs.AnswerText(QStringLiteral("abc"));
    fDialogs.AnswerText(QStringLiteral("1"));
    EXPECT_EQ(Run(QStringLiteral("Dialog.Input.Value"), QStringLiteral(";G;P;Again;x;0;2")), crOk);
    EXPECT_EQ(fDialogs.questions.size(), std::size_t(iRefusals + 1));
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

namespace {

// Answers question iQuestion: a message box with "Yes", "No", "Ok", "Cancel" or "None", an
// input box with the text (null: nobody answers).
void Reply(THeldOperatorDialogs& aHeld, std::size_t iQuestion, const char* sAnswer)
{
    if (aHeld.Questions().at(iQuestion).bInput) {
        aHeld.AnswerText(iQuestion,
                         sAnswer ? std::optional<QString>(QString::fromUtf8(sAnswer)) : std::nullopt);
        return;
    }
    static const std::map<std::string, TDialogAnswer> buttons = {{"Yes", TDialogAnswer::Yes},
                                                                 {"No", TDialogAnswer::No},
                                                                 {"Ok", TDialogAnswer::Ok},
                                                                 {"Cancel", TDialogAnswer::Cancel},
                                                                 {"None", TDialogAnswer::None}};
    aHeld.AnswerButton(iQuestion, buttons.at(sAnswer));
}

// The dialog commands with an operator face that answers later, as a window with several test
// sockets has: the step stays pending after Execute until the answer comes.
class LaterDialogsTest : public SysCommandFixture
{
protected:
    void SetUp() override
    {
        SysCommandFixture::SetUp();
        fContext.SetDialogs(&fHeld);
    }

    // Executes pCmd, counting its conclusions in fiConclusions.
    void Execute(TCommand* pCmd)
    {
        pCmd->SetOnResult([this](TCommand*) { ++fiConclusions; });
        pCmd->Execute(QString());
    }

    THeldOperatorDialogs fHeld;
    int fiConclusions = 0;
};

TEST_F(LaterDialogsTest, TheAnswerThatComesLaterConcludesTheStep)
{
    Variables().SetValue(QStringLiteral("Level"), -1.0);
    struct
    {
        const char* sFunction;
        const char* sParameter;
        std::vector<const char*> answers; // one per question, in order
        ECmdResult eResult;
        const char* sError;
    } const cases[] = {
        {"Dialog", ";Check;Lamp on?;ButtonYesNo", {"Yes"}, crOk, ""},
        {"Dialog", ";Check;Lamp on?;ButtonYesNo", {"No"}, crFailed, "Closed with [No]"},
        {"Dialog", ";Check;Lamp on?;ButtonOkCancel", {"Cancel"}, crFailed, "Closed with [Cancel]"},
        {"Dialog", ";Check;Lamp on?;ButtonOk", {"None"}, crFailed, "No operator answer available"},
        {"Dialog.Input.String", ";L;Serial;SN-;SN-????", {"SN-1234"}, crOk, ""},
        {"Dialog.Input.String", ";L;Serial;SN-;SN-????", {"SN-123"}, crFailed, "\"SN-????\"<>\"SN-123\""},
        {"Dialog.Input.Value",
         ";G;Read the gauge;Not a number, again;x;4.5;5.5;Level",
         {"abc", "x", "5"},
         crOk,
         ""},
        {"Dialog.Input.Value",
         ";G;Read the gauge;Not a number, again;x;4.5;5.5;Level",
         {"6"},
         crFailed,
         "4.5 <= 6 <= 5.5"},
        {"Dialog.Input.Value",
         ";G;Read the gauge;Not a number, again;x;4.5;5.5;Level",
         {"abc", nullptr},
         crFailed,
         "No operator answer available"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sFunction) + "(" + c.sParameter + "), last answer " +
                     (c.answers.back() ? c.answers.back() : "none"));
        THeldOperatorDialogs held; // each case its own, so that question numbers start at 0
        fContext.SetDialogs(&held);
        fiConclusions = 0;
        TCommand* pCmd = Make(QString::fromUtf8(c.sFunction), QString::fromUtf8(c.sParameter));
        Execute(pCmd);
        for (std::size_t i = 0; i < c.answers.size(); ++i) {
            ASSERT_EQ(held.Questions().size(), i + 1) << "one question at a time";
            EXPECT_EQ(held.OpenQuestions(), 1);
            EXPECT_EQ(fiConclusions, 0) << "the step waits for the answer";
            Reply(held, i, c.answers[i]);
        }
        EXPECT_EQ(fiConclusions, 1);
        EXPECT_EQ(pCmd->CmdResult(), c.eResult);
        EXPECT_EQ(pCmd->ErrorText().toStdString(), c.sError);
        EXPECT_EQ(held.Questions().size(), c.answers.size());
        EXPECT_EQ(held.iBlocking, 0) << "a blocking question would hold the other sockets";
        if (c.answers.size() > 1) {
            EXPECT_EQ(held.Questions().front().sText, QStringLiteral("Read the gauge"));
            EXPECT_EQ(held.Questions().back().sText, QStringLiteral("Not a number, again"));
        }
    }
    fContext.SetDialogs(&fHeld);
    EXPECT_DOUBLE_EQ(Variables().GetAsReal(QStringLiteral("Level")), 5.0);
    EXPECT_TRUE(Logged(QStringLiteral("Info: Input Passed: 4.5 <= 5 <= 5.5")));
    EXPECT_TRUE(Logged(QStringLiteral("Error: Input Failed: Expected= \"SN-????\" Input= \"SN-123\"")));
}

TEST_F(LaterDialogsTest, AnAnswerAfterCancelNeverReachesTheStep)
{
    TCommand* pCmd = Make(QStringLiteral("Dialog"), QStringLiteral(";Check;Go on?;ButtonYesNo"));
    Execute(pCmd);
    pCmd->Cancel();
    EXPECT_EQ(fHeld.iWithdrawn, 1) << "cancelling withdraws the open question";
    EXPECT_EQ(fHeld.OpenQuestions(), 0);
    Reply(fHeld, 0, "Yes"); // late, after the withdrawn dialog already answered No
    EXPECT_EQ(pCmd->CmdResult(), crCancelled);
    EXPECT_EQ(fiConclusions, 0);

    // Executed again: the first question's late answer is not the second's.
    Execute(pCmd);
    ASSERT_EQ(fHeld.Questions().size(), 2u);
    Reply(fHeld, 0, "Yes");
    EXPECT_EQ(fiConclusions, 0);
    Reply(fHeld, 1, "No");
    Reply(fHeld, 1, "Yes"); // answered twice: the step concluded with the first
    EXPECT_EQ(fiConclusions, 1);
    EXPECT_EQ(pCmd->CmdResult(), crFailed);
    EXPECT_EQ(pCmd->ErrorText(), QStringLiteral("Closed with [No]"));
}

TEST_F(LaterDialogsTest, CancelWhileAskingAgainWithdrawsTheRepeatedQuestion)
{
    Variables().SetValue(QStringLiteral("Level"), -1.0);
    TCommand* pCmd = Make(QStringLiteral("Dialog.Input.Value"), QStringLiteral(";G;P;Again;x;0;10;Level"));
    Execute(pCmd);
    Reply(fHeld, 0, "abc");
    ASSERT_EQ(fHeld.OpenQuestions(), 1);
    pCmd->Cancel();
    EXPECT_EQ(fHeld.iWithdrawn, 1);
    Reply(fHeld, 1, "5");
    EXPECT_EQ(fiConclusions, 0);
    EXPECT_EQ(pCmd->CmdResult(), crCancelled);
    EXPECT_DOUBLE_EQ(Variables().GetAsReal(QStringLiteral("Level")), -1.0);
    EXPECT_EQ(fHeld.Questions().size(), 2u) << "a late answer asks nothing again";
}

TEST_F(LaterDialogsTest, AnAnswerAfterTheDeviceWentChangesNothing)
{
    Variables().SetValue(QStringLiteral("Serial"), QStringLiteral("none"));
    TCommand* pCmd = Make(QStringLiteral("Dialog.Input.String"), QStringLiteral(";L;P;;*;Serial"));
    Execute(pCmd);
    fSys.reset();
    EXPECT_EQ(fHeld.iWithdrawn, 1) << "the command's question goes with it";
    Reply(fHeld, 0, "SN-1");
    EXPECT_EQ(fiConclusions, 0);
    EXPECT_EQ(Variables().GetAsStr(QStringLiteral("Serial")), QStringLiteral("none"));
}

// Two test sockets of one station, each with its own operator face: one socket's open question
// never holds the other.
class LaterDialogsStationTest : public ::testing::Test
{
protected:
    LaterDialogsStationTest()
    {
        for (int i = 1; i <= 2; ++i)
            fStation.station.Session(i).Context().SetDialogs(&fHeld[i - 1]);
        fStation.LoadAll(fDir.WriteText(
            QStringLiteral("manual.TZD"),
            QStringLiteral(
                "Set(Float; Level)\r\n"
                "Device.Create(SystemControl; Sys)\r\n"
                "Test.Case(\"Manual\")\r\n{\r\n"
                "    Sys.Dialog(\"Lamp\"; Socket; \"Is the lamp of socket %_Socket on?\"; ButtonYesNo)\r\n"
                "    Sys.Dialog.Input.Value(\"Gauge\"; Gauge; Read the gauge; Again; 0; 4.5; 5.5; Level)\r\n"
                "}\r\n")));
        fStation.StartAll();
    }

    bool Asked(int iSocket, std::size_t iQuestions)
    {
        return RunEventsUntil([&] { return Held(iSocket).Questions().size() == iQuestions; });
    }
    THeldOperatorDialogs& Held(int iSocket) { return fHeld[iSocket - 1]; }
    TFakeRunnerHost& Host(int iSocket) { return *fStation.hosts[std::size_t(iSocket - 1)]; }
    TSession& Session(int iSocket) { return fStation.station.Session(iSocket); }

    TTestDir fDir;
    THeldOperatorDialogs fHeld[2];
    TStationFixture fStation{2};
};

TEST_F(LaterDialogsStationTest, TheSocketAnsweredFirstConcludesFirst)
{
    ASSERT_TRUE(Asked(1, 1));
    ASSERT_TRUE(Asked(2, 1));
    EXPECT_EQ(Held(1).Questions()[0].sText, QStringLiteral("Is the lamp of socket 1 on?"));
    EXPECT_EQ(Held(2).Questions()[0].sText, QStringLiteral("Is the lamp of socket 2 on?"));

    Held(2).AnswerButton(0, TDialogAnswer::Yes);
    ASSERT_TRUE(Asked(2, 2));
    Held(2).AnswerText(1, QStringLiteral("abc"));
    ASSERT_TRUE(Asked(2, 3));
    Held(2).AnswerText(2, QStringLiteral("5"));
    ASSERT_TRUE(RunEventsUntil([&] { return !Host(2).finals.empty(); }));
    EXPECT_TRUE(Host(2).finals.back().bPassed);
    EXPECT_TRUE(Host(1).finals.empty()) << "the first socket still waits for its answer";
    EXPECT_EQ(Held(1).OpenQuestions(), 1);

    Held(1).AnswerButton(0, TDialogAnswer::Yes);
    ASSERT_TRUE(Asked(1, 2));
    Held(1).AnswerText(1, QStringLiteral("4.75"));
    ASSERT_TRUE(RunEventsUntil([&] { return !Host(1).finals.empty(); }));
    EXPECT_TRUE(Host(1).finals.back().bPassed);
    EXPECT_EQ(Session(1).Variables().GetAsStr(QStringLiteral("Level")), QStringLiteral("4.75"));
    EXPECT_EQ(Session(2).Variables().GetAsStr(QStringLiteral("Level")), QStringLiteral("5"));
    EXPECT_EQ(Held(1).iBlocking + Held(2).iBlocking, 0);
}

TEST_F(LaterDialogsStationTest, StoppingASocketWithdrawsOnlyItsQuestion)
{
    ASSERT_TRUE(Asked(1, 1));
    ASSERT_TRUE(Asked(2, 1));
    ASSERT_TRUE(fStation.station.StopSocket(1));
    EXPECT_EQ(Held(1).iWithdrawn, 1);
    EXPECT_EQ(Held(2).iWithdrawn, 0);
    EXPECT_EQ(Held(2).OpenQuestions(), 1);
    ASSERT_TRUE(RunEventsUntil([&] { return !Host(1).finals.empty(); }));
    EXPECT_FALSE(Host(1).finals.back().bPassed);

    Held(1).AnswerButton(0, TDialogAnswer::Yes); // late: the run already ended
    Held(2).AnswerButton(0, TDialogAnswer::Yes);
    ASSERT_TRUE(Asked(2, 2));
    Held(2).AnswerText(1, QStringLiteral("5"));
    ASSERT_TRUE(RunEventsUntil([&] { return !Host(2).finals.empty(); }));
    EXPECT_TRUE(Host(2).finals.back().bPassed);
    EXPECT_EQ(Host(1).finals.size(), 1u);
    EXPECT_EQ(Held(1).Questions().size(), 1u);
}

} // namespace
